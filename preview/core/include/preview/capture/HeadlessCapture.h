#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/head/VRHeadControl.h"

namespace veldan::preview {

// One capture of a whole project without a screen, with the same head
// control, capture run and capture-folder monitor as the desktop program:
// the head is switched on, the project's path is shot, the head returns to
// 0°/0° and, once the pictures still on their way are filed, is switched
// off. The head control's window, the log window and
// the view are message queues that the calling thread empties. The monitor
// reads its capture folder from a profile of the run's own in a temporary
// folder, which leaves the user's stored settings untouched; it files each
// image the camera writes there into the project folder.
struct HeadlessCaptureOptions {
    int port = -1;                           // COM number; -1: the control library finds the head
    std::filesystem::path captureDirectory;  // folder the camera writes into; empty: none watched
    // A text of the log window as the library posted it (some lines come in
    // pieces); null: the texts are dropped.
    std::function<void(const std::wstring&)> log;
    // The project on disk should follow: a shooting mark, a filed image, the
    // end of the run.
    std::function<void()> save;
    // Polled between messages; once true the run is stopped (or the start
    // given up), the head returns to 0°/0° and is switched off.
    std::function<bool()> cancelRequested;
    // Right before the run starts, the head ready (timings may be set here),
    // and right after it ended, its workers joined, before the move home.
    std::function<void(CVRHeadControl&)> beforeRun;
    std::function<void(CVRHeadControl&)> afterRun;
    // After the last shot the camera may still be writing its last pictures:
    // the head stays on while the monitor files them, until the queue is empty
    // or no picture has arrived for this long.
    uint32_t lastPicturesWaitMs = 30000;
};

enum class HeadlessCaptureStatus {
    Done,        // every tile of the path was shot
    Cancelled,   // cancelRequested stopped the run
    NoProfile,   // the run's settings could not be written
    HeadFailed,  // the head could not be initialised
};

// Runs the capture of `doc` (opened from its file, so that the monitor knows
// the project folder). `error` says why for NoProfile and HeadFailed.
HeadlessCaptureStatus RunHeadlessCapture(DocumentList& documents, CVELDANpreviewDoc& doc,
                                         const HeadlessCaptureOptions& options, std::string& error);

}  // namespace veldan::preview
