// The head pane's enabled controls and names for each head state.
#include "preview/head/HeadState.h"

namespace veldan::preview {

const char* HeadStateName(HeadState state) {
    switch (state) {
        case HeadState::Off: return "Off";
        case HeadState::Starting: return "Starting";
        case HeadState::Stopping: return "Stopping";
        case HeadState::Ready: return "Ready";
        case HeadState::ManualMove: return "ManualMove";
        case HeadState::Capturing: return "Capturing";
        case HeadState::Paused: return "Paused";
        case HeadState::Cancelling: return "Cancelling";
    }
    return "?";
}

HeadControls ControlsForState(HeadState state, bool startable, bool hasHandle) {
    HeadControls c;
    c.onOffShowsOn = state != HeadState::Off && state != HeadState::Starting;
    switch (state) {
        case HeadState::Off:
            c.prefs = true;
            c.onOffTimer = true;
            c.positionsDashed = true;
            c.emptyBattery = true;
            break;
        case HeadState::Starting: c.positionsDashed = true; break;
        case HeadState::Stopping: c.emptyBattery = true; break;
        case HeadState::Ready:
            c.start = startable && hasHandle;
            c.pad = true;
            c.slow = hasHandle;
            c.zero = true;
            c.park = true;
            c.onOffTimer = true;
            c.timings = true;
            c.fillTimings = true;
            c.releaseKeys = true;
            break;
        case HeadState::ManualMove:
            c.pad = true;
            c.grabKeys = true;
            break;
        case HeadState::Capturing:
            c.stop = true;
            c.pause = true;
            c.grabKeys = true;
            break;
        case HeadState::Paused:
            c.start = true;
            c.stop = true;
            break;
        case HeadState::Cancelling: break;
    }
    return c;
}

}  // namespace veldan::preview
