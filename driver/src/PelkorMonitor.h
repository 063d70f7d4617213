#pragma once
// The polling thread of a device: calls one round of the device's polling
// every period until it is told to stop.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/Event.h"

class CPelkorDevice;

namespace veldan::driver {

class PelkorMonitor {
public:
    using Round = void (*)(CPelkorDevice*);

    PelkorMonitor() = default;
    ~PelkorMonitor() { Stop(); }
    PelkorMonitor(const PelkorMonitor&) = delete;
    PelkorMonitor& operator=(const PelkorMonitor&) = delete;

    // Starts the thread unless it runs or the monitor was stopped for good.
    void Start(CPelkorDevice* device, uint32_t periodMs, Round round);
    // Ends the thread for good and waits for it. The caller must not hold a
    // lock that a round takes.
    void Stop();
    bool Running() const { return threadId_.load() != 0; }

private:
    void Body(CPelkorDevice* device, uint32_t periodMs, Round round);

    std::mutex mutex_;
    std::thread thread_;
    platform::Event stopEvent_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<uint32_t> threadId_{0};
};

}  // namespace veldan::driver
