#pragma once
// A handle made the way the initialisation makes it, without opening a bus:
// for the parts of the library that need no head on the line (script store,
// runner, status word, timing setters).
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "ControlHandle.h"
#include "ControlTestSupport.h"
#include "Operations.h"
#include "StatusWord.h"
#include "platform/Event.h"
#include "platform/Window.h"
#include "settings/VELDANsettings.h"

namespace veldan::test {

struct InternalHandle {
    InternalHandle() : h(veldan::control::CreateHandle()) { h->output.Set(&CaptureOutput); }
    ~InternalHandle() { veldan::control::DestroyHandle(h); }
    InternalHandle(const InternalHandle&) = delete;
    InternalHandle& operator=(const InternalHandle&) = delete;

    // As after a successful device initialisation.
    void MakeReady() { h->status.SetHigh(veldan::control::kHighReady); }
    ControlHandle h;
};

// Waits for the status word to satisfy `predicate`, woken by the WM_APP+10
// messages the library posts to `window` at every change.
template <typename P>
bool AwaitStatus(ControlHandle h, veldan::platform::MessageQueueWindow& window, P predicate,
                 unsigned timeoutMs = 5000) {
    veldan::platform::Message m;
    for (unsigned waited = 0; waited <= timeoutMs; waited += 50) {
        if (predicate(VELDANcontrol_status(h))) return true;
        window.GetMessage(m, 50);
    }
    return predicate(VELDANcontrol_status(h));
}

// An operation set that records what the runner asks for. Waits and the
// contacts can be held at a gate until the test opens it, so that a test
// can act while an operation is in progress.
class RecordingOps : public veldan::control::OperationSet {
public:
    explicit RecordingOps(ControlHandle h) : h_(h) {}

    bool MoveHorizontal(double d) override { return Record("H" + std::to_string(static_cast<int>(d)), true); }
    bool MoveVertical(double d) override { return Record("V" + std::to_string(static_cast<int>(d)), true); }
    bool Wait(int ms) override {
        Record("W" + std::to_string(ms), true);
        if (holdWaits) {
            entered.Set();
            veldan::platform::Event* events[] = {&gate, &h_->abortEvent};
            veldan::platform::Event::WaitAny(events);
        }
        return true;
    }
    bool WaitRecover(int ms) override { return Record("R" + std::to_string(ms), true); }
    bool Preshoot() override { return Record("P", preshootResult); }
    bool Shoot() override { return Record("S", true); }
    bool Release() override { return Record("L", true); }

    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    bool AwaitCall(const std::string& call, unsigned timeoutMs = 5000) {
        for (unsigned waited = 0; waited <= timeoutMs; waited += 10) {
            {
                std::lock_guard lock(mutex_);
                if (std::find(calls_.begin(), calls_.end(), call) != calls_.end()) return true;
            }
            changed.Wait(10);
        }
        return false;
    }

    bool holdWaits = false;
    bool preshootResult = true;
    veldan::platform::Event gate{true};
    veldan::platform::Event entered{false};
    veldan::platform::Event changed{false};

private:
    bool Record(std::string call, bool result) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        changed.Set();
        return result;
    }
    ControlHandle h_;
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

}  // namespace veldan::test
