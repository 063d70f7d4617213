#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include "platform/Profile.h"
#include "preview/capture/CaptureFolderMonitor.h"
#include "preview/head/VRHeadControl.h"

namespace veldan::preview {

// The head control's monitor seam served by the capture-folder monitor:
// every switch-on starts a new CaptureFolderMonitor over the head's queue,
// stop event, monitor lock, documents and bound view, which reads the
// capture directory from the profile at that moment.
//
// The collecting mode asks its questions through ui when stopped. A ui that
// answers on the window thread needs that thread to keep serving events
// while it waits for the stop (CVRHeadControl::Close with a serve function).
class HeadFolderMonitor : public HeadMonitor {
public:
    HeadFolderMonitor(CaptureMonitorUi& ui, veldan::platform::Profile& profile);
    // Waits for a monitor thread that still runs (its stop event must be set).
    ~HeadFolderMonitor() override;
    HeadFolderMonitor(const HeadFolderMonitor&) = delete;
    HeadFolderMonitor& operator=(const HeadFolderMonitor&) = delete;

    // For the monitors started from now on.
    void SetTimings(const CaptureMonitorTimings& timings);

    void Start(CVRHeadControl& head) override;
    void Join() override;
    // Waits up to timeoutMs for the current monitor's end; true when none runs.
    bool WaitFinished(uint32_t timeoutMs);

private:
    std::shared_ptr<CaptureFolderMonitor> Current();

    CaptureMonitorUi& ui_;
    veldan::platform::Profile& profile_;
    std::mutex lock_;
    std::optional<CaptureMonitorTimings> timings_;
    std::shared_ptr<CaptureFolderMonitor> monitor_;
};

}  // namespace veldan::preview
