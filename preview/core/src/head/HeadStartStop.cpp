// Switching the head on and off: each runs on its own short-lived thread
// under the start/stop lock, so that a start and a stop never overlap.
#include <mutex>
#include <vector>
#include "preview/app/LogText.h"
#include "preview/head/VRHeadControl.h"

namespace veldan::preview {

using platform::CriticalSection;

void CVRHeadControl::HeadStart() {
    std::lock_guard<CriticalSection> guard(startStopLock_);
    if (Handle()) return;
    SetState(HeadState::Starting);
    PostRefresh();
    LogText(L"Initializing VELDAN VR Head.");

    ControlHandle handle = nullptr;
    std::string reason;
    if (BindControlLibrary(entries_, options_.controlLibrary, &reason)) {
        if (entries_.init_redirect) {
            std::vector<const wchar_t*> switches = {L"-v", L"-p", L"-n"};
            for (const std::wstring& s : options_.extraSwitches) switches.push_back(s.c_str());
            handle = entries_.init_redirect(static_cast<int>(switches.size()), switches.data(), &LogText);
        }
    } else {
        // Why the library was refused, so that the user can repair it.
        LogText(L"ERROR: %s\n", reason.c_str());
    }
    if (!handle) {
        LogText(L"ERROR: UNABLE TO INITIALIZE DEVICE");
        SetState(HeadState::Off);
        PostRefresh();
        return;
    }
    monitorStopEvent_.Reset();
    handle_.store(handle);
    if (monitor_) monitor_->Start(*this);
    entries_.op_wait(handle, -1);
    entries_.set_main_window(handle, Window());
    SetState(HeadState::Ready);
    PostRefresh();
}

void CVRHeadControl::HeadStop() {
    std::lock_guard<CriticalSection> guard(startStopLock_);
    ControlHandle handle = Handle();
    if (!handle) return;
    SetState(HeadState::Stopping);
    PostRefresh();
    LogText(L"Stopping all pending operations...");
    entries_.rc_halt(handle);
    (void)queue_.TakeHead();
    monitorStopEvent_.Set();
    monitorLock_.Enter();
    monitorLock_.Leave();
    if (monitor_) monitor_->Join();
    LogText(L"Uninitializing VELDAN VR Head.");
    entries_.set_main_window(handle, nullptr);
    {
        // No window-thread call may use the handle while it is freed.
        std::unique_lock<std::shared_mutex> exclusive(handleLock_);
        handle_.store(nullptr);
    }
    entries_.deinit(handle);
    SetState(HeadState::Off);
    PostRefresh();
}

}  // namespace veldan::preview
