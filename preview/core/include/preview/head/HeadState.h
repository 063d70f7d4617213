#pragma once
#include <cstdint>

namespace veldan::preview {

enum class HeadState : int {
    Off = 1,         // no library handle; initial state
    Starting = 2,    // HeadStart is running
    Stopping = 3,    // HeadStop is running
    Ready = 4,       // device initialised and idle
    ManualMove = 5,  // the pad has started a move that has not yet ended
    Capturing = 6,   // a capture run is active
    Paused = 7,      // a capture run is paused
    Cancelling = 8,  // a stop was requested and the device has not yet reported idle
};

const char* HeadStateName(HeadState state);

// What the head pane shows for a state: which controls are enabled, what
// the On/Off button does, and the extra actions of a refresh.
struct HeadControls {
    bool start = false;
    bool stop = false;
    bool pause = false;  // Break
    bool pad = false;    // enabled (it also needs a handle)
    bool slow = false;
    bool zero = false;
    bool park = false;
    bool prefs = false;
    bool timings = false;
    // On/Off button: shows its switched-on pictures; is re-enabled after
    // 100 ms (timer) or disabled at once.
    bool onOffShowsOn = false;
    bool onOffTimer = false;
    // Extras: positions show "----°", the empty-battery picture is shown,
    // the timing boxes are filled, the key grab is taken or given back.
    bool positionsDashed = false;
    bool emptyBattery = false;
    bool fillTimings = false;
    bool grabKeys = false;
    bool releaseKeys = false;
};

// The control table. startable: a view is bound, its document's project has
// at least one tile and a handle exists; hasHandle: a handle exists.
HeadControls ControlsForState(HeadState state, bool startable, bool hasHandle);

}  // namespace veldan::preview
