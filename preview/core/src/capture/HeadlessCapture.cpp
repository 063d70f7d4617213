// RunHeadlessCapture: a whole project shot without a screen with the desktop
// program's head control and monitor.
#include "preview/capture/HeadlessCapture.h"

#include <stdlib.h>

#include <memory>
#include "platform/Profile.h"
#include "platform/Tick.h"
#include "platform/Window.h"
#include "preview/app/LogText.h"
#include "preview/capture/ConsoleMonitorUi.h"
#include "preview/capture/HeadFolderMonitor.h"

namespace veldan::preview {

using platform::GetTickCount64;
using platform::HWND;
using platform::Message;
using platform::MessageQueueWindow;
using platform::Profile;

namespace {

// The monitor reads its capture folder from a profile. This run's folder
// goes into a profile of its own in a temporary directory, which is removed
// at the end.
class RunProfile {
public:
    bool Create(const std::filesystem::path& captureDirectory, std::string& error) {
        std::string pattern = (std::filesystem::temp_directory_path() / "veldan-capture-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            error = "cannot create a temporary folder for the run's settings";
            return false;
        }
        dir_ = pattern;
        profile_ = std::make_unique<Profile>(dir_ / "capture.ini");
        if (!captureDirectory.empty() &&
            !profile_->WriteString(L"settings", L"CAPTURE_DIRECTORY",
                                   std::filesystem::absolute(captureDirectory).wstring())) {
            error = "cannot write the run's settings";
            return false;
        }
        return true;
    }
    ~RunProfile() {
        profile_.reset();
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    Profile& Get() { return *profile_; }

private:
    std::filesystem::path dir_;
    std::unique_ptr<Profile> profile_;
};

void TakeLog(MessageQueueWindow& logWindow, const HeadlessCaptureOptions& options) {
    Message m;
    while (logWindow.GetMessage(m, 0)) {
        if (m.message != WM_LOG_TEXT) continue;
        std::unique_ptr<wchar_t[]> text = TakeLogText(m.wParam);
        if (options.log && text) options.log(text.get());
    }
}

// True when the view was told of a changed tile (a shooting mark or a filed
// image) since the last call.
bool TakeTileChanges(MessageQueueWindow& viewWindow) {
    bool changed = false;
    Message m;
    while (viewWindow.GetMessage(m, 0)) changed |= m.message == WM_TILE_CHANGED;
    return changed;
}

// Clears the log window for the process however the run ends.
struct LogWindowBinding {
    explicit LogWindowBinding(HWND window) { SetLogWindow(window); }
    ~LogWindowBinding() { SetLogWindow(nullptr); }
};

}  // namespace

HeadlessCaptureStatus RunHeadlessCapture(DocumentList& documents, CVELDANpreviewDoc& doc,
                                         const HeadlessCaptureOptions& options, std::string& error) {
    auto save = [&] {
        if (options.save) options.save();
    };
    auto cancelRequested = [&] { return options.cancelRequested && options.cancelRequested(); };

    MessageQueueWindow headWindow, logWindow, viewWindow;
    HeadControlOptions controlOptions;
    controlOptions.extraSwitches = {L"-o", L"port=" + std::to_wstring(options.port)};
    RunProfile runProfile;
    if (!runProfile.Create(options.captureDirectory, error)) return HeadlessCaptureStatus::NoProfile;
    ConsoleMonitorUi monitorUi;
    // Declared before the head control, which stops it and goes first.
    HeadFolderMonitor monitor(monitorUi, runProfile.Get());
    CVRHeadControl head(documents, controlOptions);
    head.SetWindow(headWindow.Handle());
    head.SetMonitor(&monitor);
    // Unbound again before the head control goes down.
    LogWindowBinding logBinding(logWindow.Handle());
    HeadView view{viewWindow.Handle(), &doc};

    enum class Phase { Starting, Capturing, Filing, Stopping, Done } phase = Phase::Starting;
    // While filing: the queue's length and when it last changed.
    size_t waiting = 0;
    uint64_t waitingSince = 0;
    bool failed = false;
    bool cancelled = false;
    head.OnOnOff();
    bool sawStart = false;
    while (phase != Phase::Done) {
        Message m;
        if (headWindow.GetMessage(m, 50)) {
            // The start thread posts a refresh once it left Off: a start that
            // fails at once is seen even when the loop never samples Starting.
            if (m.message == WM_HEAD_REFRESH) sawStart = true;
            head.HandleMessage(m);
        }
        const bool tileChanged = TakeTileChanges(viewWindow);
        TakeLog(logWindow, options);
        if (tileChanged) save();
        const HeadState state = head.State();
        if (state != HeadState::Off) sawStart = true;
        if (!cancelled && cancelRequested()) {
            cancelled = true;
            if (phase == Phase::Capturing) head.OnStop();
        }
        switch (phase) {
            case Phase::Starting:
                if (sawStart && state == HeadState::Off) {
                    failed = true;
                    phase = Phase::Done;
                } else if (state == HeadState::Ready) {
                    if (cancelled) {
                        head.OnOnOff();
                        phase = Phase::Stopping;
                        break;
                    }
                    head.SetView(&view);
                    if (options.beforeRun) options.beforeRun(head);
                    head.OnStart();
                    phase = Phase::Capturing;
                }
                break;
            case Phase::Capturing:
                if (state == HeadState::Ready) {
                    head.JoinWorkers();
                    if (options.afterRun) options.afterRun(head);
                    // The run ends with the move back to 0/0 under way; switching
                    // off now would halt it.
                    if (ControlHandle h = head.Handle()) head.Entries().op_wait(h, -1);
                    waiting = head.Queue().Count();
                    waitingSince = GetTickCount64();
                    if (waiting && head.MonitorRunning()) LogText(L"Waiting for the last pictures...\n");
                    phase = Phase::Filing;
                }
                break;
            case Phase::Filing: {
                // Switching off drops what the queue still waits for, so the head
                // stays on while pictures keep arriving.
                const size_t now = head.Queue().Count();
                if (now != waiting) {
                    waiting = now;
                    waitingSince = GetTickCount64();
                }
                const bool quiet = GetTickCount64() - waitingSince >= options.lastPicturesWaitMs;
                // Without a monitor nobody files them; it has said why.
                const bool monitoring = head.MonitorRunning();
                if (waiting == 0 || cancelled || !monitoring || quiet) {
                    if (waiting && monitoring)
                        LogText(
                            L"ERROR: %lu picture(s) did not arrive in the capture folder; their images stay without a "
                            L"file.\n",
                            static_cast<unsigned long>(waiting));
                    save();
                    head.OnOnOff();
                    phase = Phase::Stopping;
                }
                break;
            }
            case Phase::Stopping:
                if (state == HeadState::Off) phase = Phase::Done;
                break;
            case Phase::Done: break;
        }
    }
    head.JoinWorkers();
    TakeLog(logWindow, options);
    // Images the monitor filed while the head was switched off.
    if (TakeTileChanges(viewWindow) && !failed) save();
    if (failed) {
        error = "the head could not be initialised";
        return HeadlessCaptureStatus::HeadFailed;
    }
    return cancelled ? HeadlessCaptureStatus::Cancelled : HeadlessCaptureStatus::Done;
}

}  // namespace veldan::preview
