// HeadFolderMonitor: a new capture-folder monitor over the head's queue at
// every switch-on.
#include "preview/capture/HeadFolderMonitor.h"

namespace veldan::preview {

HeadFolderMonitor::HeadFolderMonitor(CaptureMonitorUi& ui, veldan::platform::Profile& profile)
    : ui_(ui), profile_(profile) {}

HeadFolderMonitor::~HeadFolderMonitor() { Join(); }

void HeadFolderMonitor::SetTimings(const CaptureMonitorTimings& timings) {
    std::lock_guard<std::mutex> guard(lock_);
    timings_ = timings;
}

std::shared_ptr<CaptureFolderMonitor> HeadFolderMonitor::Current() {
    std::lock_guard<std::mutex> guard(lock_);
    return monitor_;
}

void HeadFolderMonitor::Start(CVRHeadControl& head) {
    // The previous switch-on's monitor has ended: the head stops it before
    // it can start again.
    if (auto previous = Current()) previous->Join();
    auto monitor = std::make_shared<CaptureFolderMonitor>(
        head.Queue(), head.MonitorStopEvent(), [&head] { return head.BoundView().window; }, head.Documents(), ui_,
        profile_, &head.MonitorLock());
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (timings_) monitor->SetTimings(*timings_);
        monitor_ = monitor;
    }
    monitor->Start();
}

void HeadFolderMonitor::Join() {
    if (auto monitor = Current()) monitor->Join();
}

bool HeadFolderMonitor::WaitFinished(uint32_t timeoutMs) {
    auto monitor = Current();
    return !monitor || monitor->WaitFinished(timeoutMs);
}

}  // namespace veldan::preview
