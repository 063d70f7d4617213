// PelkorMonitor: the polling thread that runs one round of a device's polling
// every period until stopped.
#include "PelkorMonitor.h"

#include "ThreadId.h"

namespace veldan::driver {

void PelkorMonitor::Start(CPelkorDevice* device, uint32_t periodMs, Round round) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_.load() || thread_.joinable()) return;
    // The identity is set before the thread runs, so that "runs" holds from
    // this call on.
    threadId_ = 1;
    thread_ = std::thread([this, device, periodMs, round] { Body(device, periodMs, round); });
}

void PelkorMonitor::Stop() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        stopEvent_.Set();
        thread = std::move(thread_);
    }
    if (thread.joinable()) thread.join();
    threadId_ = 0;
}

void PelkorMonitor::Body(CPelkorDevice* device, uint32_t periodMs, Round round) {
    threadId_ = CurrentThreadId();
    while (!stopped_.load()) {
        if (stopEvent_.Wait(periodMs)) break;
        if (stopped_.load()) break;
        round(device);
    }
    threadId_ = 0;
}

}  // namespace veldan::driver
