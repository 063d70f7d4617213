// The capture run: walks the shooting path of the bound view's project,
// moves the head to every tile and shoots its bracketings with the chosen
// shutter mode, queueing every shot image for the capture-folder monitor.
#include <atomic>
#include <cmath>
#include <mutex>
#include "VELDANPanoramaProject.h"
#include "platform/Tick.h"
#include "preview/app/LogText.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/head/VRHeadControl.h"

namespace veldan::preview {

using platform::CriticalSection;
using platform::HWND;
using platform::PostMessage;
using platform::Sleep;
using platform::WPARAM;

namespace {

int RoundUp(double ms) { return static_cast<int>(std::ceil(ms)); }

// The taken flag and the shooting mark are read by the window thread and
// the monitor while the run writes them.
void SetTaken(VELDANPanoramaImage* image) { std::atomic_ref<uint32_t>(image->taken).store(1); }
bool IsTaken(VELDANPanoramaImage* image) { return std::atomic_ref<uint32_t>(image->taken).load() != 0; }

enum class ShutterMode { None, Manual, Burst, Dslr };

ShutterMode ModeOf(const VELDANPanoramaProject::_HDRI& hdri) {
    if (hdri.shutter == 1 || !hdri.enabled) return ShutterMode::Manual;
    if (hdri.shutter == 2) return ShutterMode::Burst;
    if (hdri.shutter == 3) return ShutterMode::Dslr;
    return ShutterMode::None;
}

}  // namespace

void CVRHeadControl::MarkTile(VELDANPanoramaTile* tile, int tileNr, bool on) {
    std::atomic_ref<uint32_t> flags(tile->display_flags);
    if (on)
        flags.fetch_or(4u);
    else
        flags.fetch_and(~4u);
    if (HWND view = BoundView().window) PostMessage(view, WM_TILE_CHANGED, static_cast<WPARAM>(tileNr), 0);
}

bool CVRHeadControl::MonitorRunning() {
    if (!monitorLock_.TryEnter()) return true;
    monitorLock_.Leave();
    return false;
}

void CVRHeadControl::WaitForMonitor() {
    if (!MonitorRunning()) return;  // nobody would empty the queue
    bool waiting = true;
    while (waiting) {
        const bool empty = queue_.Empty();
        Sleep(100);
        waiting = !empty && CaptureActive();
    }
}

void CVRHeadControl::CaptureRun() {
    std::lock_guard<CriticalSection> captureGuard(captureLock_);
    const ControlHandle h = Handle();
    if (!h || !CaptureActive()) return;
    CVELDANpreviewDoc* doc = BoundView().document;
    if (!doc || !documents_.Hold(doc)) return;  // closed or closing: the state stays

    VELDANPanoramaProject& project = doc->Project();
    const ShutterMode mode = ModeOf(project.hdri);
    for (uint32_t i = 0; CaptureActive() && BoundView().window && i < project.path.GetItemCount(); ++i) {
        VELDANPanoramaPathNode* node = project.path.Node(i);
        if (!node || node->tile_nr < 0) break;
        const int tileNr = node->tile_nr;
        VELDANPanoramaTile* tile = project.Tile(static_cast<uint32_t>(tileNr));
        if (!tile) break;
        bool nextNode = false;
        for (uint32_t j = 0; !nextNode && j < tile->bracketings.GetItemCount(); ++j) {
            VELDANPanoramaBracketing* bracketing = tile->Bracketing(j);
            if (!bracketing) continue;
            const uint32_t count = bracketing->GetImageCnt();
            uint32_t k = 0;
            for (; k < count && CaptureActive(); ++k) {
                VELDANPanoramaImage* image = bracketing->GetImage(k);
                if (image && !IsTaken(image)) break;
            }
            if (k < count && CaptureActive()) {
                MarkTile(tile, tileNr, true);
                entries_.go_to(h, tile->pos_x, tile->pos_y);
            }
            while (State() == HeadState::Paused) Sleep(100);
            if (k >= count) continue;
            if (!CaptureActive()) {
                MarkTile(tile, tileNr, false);
                nextNode = true;
                continue;
            }
            switch (mode) {
                case ShutterMode::Manual: ShootManual(doc, bracketing, tileNr, i, k); break;
                case ShutterMode::Burst: ShootBurst(doc, bracketing, tileNr, i); break;
                case ShutterMode::Dslr:
                    if (!ShootDslr(doc, bracketing, tileNr, i)) nextNode = true;
                    break;
                case ShutterMode::None: break;
            }
            MarkTile(tile, tileNr, false);
            if (!CaptureActive()) nextNode = true;
        }
    }

    documents_.Release(doc);
    entries_.op_release(h);
    entries_.op_h_angle(h, 0.0);
    entries_.op_v_angle(h, 0.0);
    SetState(HeadState::Ready);
    PostRefresh();
}

void CVRHeadControl::ShootManual(CVELDANpreviewDoc* doc, VELDANPanoramaBracketing* bracketing, int tileNr,
                                 uint32_t pathIndex, uint32_t first) {
    LogText(L"Shutter is in manual mode...\n");
    LogText(L"Now shooting frame %lu...\n", static_cast<unsigned long>(pathIndex));
    const ControlHandle h = Handle();
    const uint32_t count = bracketing->GetImageCnt();
    for (uint32_t n = first; n < count; ++n) {
        LogText(L"Frame image %lu/%lu\n...", static_cast<unsigned long>(n), static_cast<unsigned long>(count));
        VELDANPanoramaImage* image = bracketing->GetImage(n);
        if (!image) continue;
        WaitForMonitor();
        if (!CaptureActive()) return;
        entries_.op_preshoot(h);
        entries_.op_wait(h, RoundUp(PreshotTime()));
        entries_.op_wait_recover(h, RoundUp(RecoverTime()));
        if (!CaptureActive()) return;
        const double exposure = ExposureTime() * std::pow(2.0, image->ev / 3.0);
        // The entry is queued before the shutter is released: a camera may
        // write its file before op_shoot returns, and the monitor ignores a
        // file that no entry waits for. The image is marked first: once queued
        // it belongs to the monitor, which writes its file name.
        SetTaken(image);
        const size_t queued = queue_.AppendCounted(doc, image, tileNr, false);
        LogText(L"Added image to file monitor queue (%lu in queue).\n", static_cast<unsigned long>(queued));
        entries_.op_shoot(h);
        entries_.op_wait(h, -1);
        entries_.op_wait(h, std::max(100, RoundUp(exposure)));
        entries_.op_release(h);
        entries_.op_wait(h, -1);
        if (!CaptureActive()) return;
    }
}

void CVRHeadControl::ShootBurst(CVELDANpreviewDoc* doc, VELDANPanoramaBracketing* bracketing, int tileNr,
                                uint32_t pathIndex) {
    LogText(L"Shutter is in burst shot mode...\n");
    LogText(L"Now shooting frame %lu...\n", static_cast<unsigned long>(pathIndex));
    WaitForMonitor();
    if (!CaptureActive()) return;
    const ControlHandle h = Handle();
    const uint32_t count = bracketing->GetImageCnt();
    double sum = 0;
    for (uint32_t n = 0; n < count; ++n)
        if (VELDANPanoramaImage* image = bracketing->GetImage(n)) sum += std::pow(2.0, image->ev / 3.0);
    entries_.op_preshoot(h);
    entries_.op_wait(h, RoundUp(PreshotTime()));
    entries_.op_wait_recover(h, RoundUp(RecoverTime() * count));
    const double hold = count * 10.0 + ExposureTime() * sum;
    entries_.op_preshoot(h);
    // As in manual mode the series' entries wait before the first file can.
    for (uint32_t n = 0; n < count; ++n) {
        VELDANPanoramaImage* image = bracketing->GetImage(n);
        if (!image) continue;
        SetTaken(image);
        const size_t queued = queue_.AppendCounted(doc, image, tileNr, false);
        LogText(L"Added image to file monitor queue (%lu in queue).\n", static_cast<unsigned long>(queued));
    }
    entries_.op_shoot(h);  // the shutter stays pressed for the camera's own series
    entries_.op_wait(h, -1);
    entries_.op_wait(h, std::max(100, RoundUp(hold)));
    entries_.op_release(h);
    entries_.op_wait(h, -1);
}

bool CVRHeadControl::ShootDslr(CVELDANpreviewDoc* doc, VELDANPanoramaBracketing* bracketing, int tileNr,
                               uint32_t pathIndex) {
    LogText(L"Shutter is in Breeze Remote Pro mode...\n");
    LogText(L"Now shooting frame %lu...\n", static_cast<unsigned long>(pathIndex));
    WaitForMonitor();
    if (!CaptureActive()) return true;
    if (!dslr_.Load()) {
        LogText(L"ERROR: Can not load DSLRRemoteLib.dll !\n");
        return true;
    }
    if (!dslr_.HasEntries()) {
        LogText(L"ERROR: Wrong or corrupted DSLRRemoteLib.dll !\n");
        return true;
    }
    int ping = dslr_.Ping();
    switch (ping) {
        case DslrRemote::kReady: LogText(L"Camera ready..."); break;
        case DslrRemote::kNotRunning: LogText(L"ERROR: Breeze Remote Pro is not running !"); break;
        case DslrRemote::kDisconnected: LogText(L"ERROR: Camera disconnected !"); break;
        case DslrRemote::kBusy: LogText(L"Camera busy..."); break;
        default: LogText(L"ERROR: Unknown issue !"); break;
    }
    while (ping == DslrRemote::kBusy && CaptureActive()) {
        Sleep(100);
        ping = dslr_.Ping();
    }
    if (ping != DslrRemote::kReady) return false;  // this tile's images stay untaken
    LogText(L"Releasing shutter...\n");
    const uint32_t count = bracketing->GetImageCnt();
    for (uint32_t n = 0; n < count; ++n) {
        VELDANPanoramaImage* image = bracketing->GetImage(n);
        if (!image) continue;
        SetTaken(image);
        queue_.Append(doc, image, tileNr, true);
    }
    dslr_.ReleaseShutter();
    while (dslr_.Ping() == DslrRemote::kBusy && CaptureActive()) Sleep(100);
    return true;
}

}  // namespace veldan::preview
