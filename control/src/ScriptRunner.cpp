// The script runner: one pass, endless or synchronous runs on a thread, with
// break, resume and abort requests.
#include "ScriptRunner.h"

#include <array>
#include <memory>

#include "ControlHandle.h"
#include "OutputWriters.h"
#include "Pelkor.h"
#include "platform/Text.h"
#include "settings/VELDANsettings.h"

namespace veldan::control {

using platform::FromUtf8;

namespace {

// The operations of a run thread: the caller's set for tests, else the head's.
std::shared_ptr<OperationSet> OperationsFor(ControlHandle handle, OperationSet* ops) {
    if (ops) return std::shared_ptr<OperationSet>(ops, [](OperationSet*) {});
    return std::make_shared<HeadOperations>(handle);
}

// Busy is claimed; generates the script from the configuration when it is
// empty. False (failed bit set, busy cleared) when it cannot.
bool PrepareRun(VELDANcontrolRecord& h) {
    if (h.config->script.GetOpCnt() == 0 && !h.config->ComputeOps(&h.config->script)) {
        h.status.SetHigh(kHighFailed);
        h.status.ClearHigh(kHighBusy);
        return false;
    }
    return true;
}

// A fresh run starts without a pause or resume left over from the last one.
void ResetRequests(VELDANcontrolRecord& h) {
    h.breakEvent.Reset();
    h.resumeEvent.Reset();
}

// The end of every run: the requests of the caller are withdrawn together
// with the running bit, then busy is given back.
void EndRun(VELDANcontrolRecord& h) {
    {
        std::lock_guard lock(h.requestLock);
        h.runnerMarker = false;
        h.status.ClearLow(kLowRunning | kLowPaused);
        h.abortEvent.Reset();
        h.breakEvent.Reset();
        h.resumeEvent.Reset();
    }
    h.status.ClearHigh(kHighBusy);
}

void RunnerThread(ControlHandle handle, std::shared_ptr<OperationSet> ops, bool endless) {
    VELDANcontrolRecord& h = *handle;
    bool expected = false;
    if (!h.runnerMarker.compare_exchange_strong(expected, true)) {
        h.status.ClearHigh(kHighBusy);
        return;
    }
    h.status.SetHigh(kHighBusy);
    h.status.SetLow(kLowRunning);
    if (!endless) {
        ExecuteScript(handle, h.config->script, 0, *ops);
    } else {
        for (;;) {
            const RunResult r = ExecuteScript(handle, h.config->script, h.endlessIndex.load(), *ops);
            h.endlessIndex = r.nextIndex;
            if (h.stopRunner.load()) break;
            if (h.abortEvent.Wait(100)) {
                // Aborted while idle between passes: the run ends, and the
                // request is consumed so that it does not cut the next
                // operation short.
                h.abortEvent.Reset();
                break;
            }
        }
    }
    EndRun(h);
}

int StartRunnerThread(ControlHandle handle, OperationSet* ops, bool endless) {
    VELDANcontrolRecord& h = *handle;
    // The previous run thread has cleared busy and is ending: wait for it so
    // that only one runner thread ever exists.
    h.JoinRunner();
    std::lock_guard lock(h.runnerLock);
    h.stopRunner = false;
    try {
        h.runnerThread = std::thread(RunnerThread, handle, OperationsFor(handle, ops), endless);
    } catch (...) {
        h.status.ClearHigh(kHighBusy);
        return -1;
    }
    return 0;
}

}  // namespace

RunResult ExecuteScript(ControlHandle handle, const CVeldanScript& script, int index, OperationSet& ops) {
    VELDANcontrolRecord& h = *handle;
    RunResult result;
    int i = index < 0 ? 0 : index;
    while (!result.aborted && script.GetOp(i)) {
        if (h.abortEvent.IsSet()) {
            h.WriteVerbose(L"Recording aborted...\n");
            result.aborted = true;
            break;
        }
        if (h.breakEvent.IsSet()) {
            h.status.SetLow(kLowPaused);
            h.WriteVerbose(L"Recording interrupted...\n");
            std::array<veldan::platform::Event*, 2> events{&h.resumeEvent, &h.abortEvent};
            if (veldan::platform::Event::WaitAny(events) == 0) {
                h.resumeEvent.Reset();
                if (h.Verbose()) WriteToStandardOutput(L"Resuming operation...\n");
            }
            h.status.ClearLow(kLowPaused);
            h.breakEvent.Reset();
            if (h.abortEvent.IsSet()) {
                h.WriteVerbose(L"Recording aborted...\n");
                result.aborted = true;
                break;
            }
        }
        const op* operation = script.GetOp(i);
        if (!operation) break;
        if (operation->text && !h.Quiet()) {
            const std::wstring text = FromUtf8(operation->text);
            h.Write(L"%ls\n", text.c_str());
        }
        bool ok = true;
        switch (operation->kind) {
            case 1: ops.MoveHorizontal(operation->angle); break;
            case 2: ops.MoveVertical(operation->angle); break;
            case 4: ok = ops.Wait(operation->ms); break;
            case 8: ok = ops.WaitRecover(operation->ms); break;
            case 16: ok = ops.Preshoot(); break;
            case 32: ok = ops.Shoot(); break;
            case 64: ok = ops.Release(); break;
            case 256: h.breakEvent.Set(); break;
            case 128:
            case 512:
            case 1024: break;
            default: h.WriteVerbose(L"Unknown operation\n"); break;
        }
        if (!ok) result.aborted = true;
        ++i;
    }
    result.nextIndex = i;
    if (result.aborted) h.abortEvent.Reset();
    return result;
}

int RunOnePass(ControlHandle handle, OperationSet* ops) {
    if (!handle || !handle->config || !handle->Ready()) return -1;
    VELDANcontrolRecord& h = *handle;
    if (!h.status.TryClaimBusy()) return -1;
    if (!PrepareRun(h)) return -1;
    ResetRequests(h);
    return StartRunnerThread(handle, ops, false);
}

int RunEndless(ControlHandle handle, OperationSet* ops) {
    if (!handle || !handle->config || !handle->Ready()) return -1;
    VELDANcontrolRecord& h = *handle;
    if (!h.status.TryClaimBusy()) return -1;
    ResetRequests(h);
    h.endlessIndex = 0;
    return StartRunnerThread(handle, ops, true);
}

int RunSynchronous(ControlHandle handle, OperationSet* ops) {
    if (!handle || !handle->config || !handle->Ready()) return -1;
    VELDANcontrolRecord& h = *handle;
    if (!h.status.TryClaimBusy()) return -1;
    if (!PrepareRun(h)) return -1;
    ResetRequests(h);
    std::shared_ptr<OperationSet> operations = OperationsFor(handle, ops);
    h.status.SetLow(kLowRunning);
    // The caller's thread is blocked: bus notifications to its window would
    // only pile up.
    if (h.enclosure) h.enclosure->notifyWindow = nullptr;
    ExecuteScript(handle, h.config->script, 0, *operations);
    if (h.enclosure && h.forwardNotifications) h.enclosure->notifyWindow = h.mainWindow.load();
    EndRun(h);
    return 0;
}

int BreakRun(ControlHandle handle) {
    if (!handle) return -1;
    std::lock_guard lock(handle->requestLock);
    if (!handle->Running() || handle->status.HasLow(kLowPaused)) return -1;
    handle->breakEvent.Set();
    return 0;
}

int ResumeRun(ControlHandle handle) {
    if (!handle) return -1;
    std::lock_guard lock(handle->requestLock);
    if (!handle->Running() || !handle->status.HasLow(kLowPaused)) return -1;
    handle->resumeEvent.Set();
    return 0;
}

int AbortRun(ControlHandle handle) {
    if (!handle) return -1;
    std::lock_guard lock(handle->requestLock);
    if (!handle->Running()) return -1;
    handle->abortEvent.Set();
    return 0;
}

void StopRunner(ControlHandle handle) {
    if (!handle) return;
    handle->stopRunner = true;
    handle->abortEvent.Set();
    handle->JoinRunner();
}

}  // namespace veldan::control
