// The manual-move pad (turn, tilt, halt, abort, zero) and the status queries:
// positions, busy mask, battery charge.
#include "RemoteControl.h"

#include <cmath>
#include <limits>

#include "ControlHandle.h"
#include "DeviceAccess.h"
#include "DriveCalibration.h"
#include "DriveSettings.h"
#include "Pelkor.h"
#include "settings/VELDANsettings.h"

namespace veldan::control {

namespace {

// Marks the handle busy for the duration of a pad command. The pad may be
// used while a script runs; then the run owns busy and the pad leaves it.
class PadBusy {
public:
    explicit PadBusy(VELDANcontrolRecord& h) : h_(h), claimed_(h.status.TryClaimBusy()) {}
    ~PadBusy() {
        if (claimed_) h_.status.ClearHigh(kHighBusy);
    }
    PadBusy(const PadBusy&) = delete;
    PadBusy& operator=(const PadBusy&) = delete;

private:
    VELDANcontrolRecord& h_;
    bool claimed_;
};

// A pad press right after the switch-on may come while a drive still waits
// for its calibration answers; it waits for them a moment instead of being
// refused. The pad runs on the caller's window thread, hence the short time.
constexpr uint64_t kPadCalibrationWaitMs = 2000;

bool Usable(ControlHandle handle) { return handle && handle->config && handle->enclosure && handle->Ready(); }

// Stops both drives that move, with the given Stop flags.
void StopMovingDrives(VELDANcontrolRecord& h, bool emergency, bool halt) {
    const CVeldanConfig& c = *h.config;
    {
        LockedDevice dev(h.enclosure.get(), c.hDriveAddress);
        if (CPelkorDeviceDrive* drive = dev.Drive(); drive && drive->GetStatusBusy()) {
            h.WriteVerbose(L"(horizontal)");
            drive->Stop(emergency, halt);
        }
    }
    {
        LockedDevice dev(h.enclosure.get(), c.vDriveAddress);
        if (CPelkorDeviceDrive* drive = dev.Drive(); drive && drive->GetStatusBusy()) {
            h.WriteVerbose(L"(vertical)");
            drive->Stop(emergency, halt);
        }
    }
}

double DrivePosition(ControlHandle handle, bool horizontal) {
    if (!Usable(handle)) return 0.0;
    const CVeldanConfig& c = *handle->config;
    LockedDevice dev(handle->enclosure.get(), horizontal ? c.hDriveAddress : c.vDriveAddress);
    CPelkorDeviceDrive* drive = dev.Drive();
    return drive ? drive->GetCurrentPosition() : 0.0;
}

}  // namespace

int RemoteTurn(ControlHandle handle, Turn direction) {
    if (!Usable(handle)) return -1;
    VELDANcontrolRecord& h = *handle;
    PadBusy busy(h);
    const CVeldanConfig& c = *h.config;
    LockedDevice dev(h.enclosure.get(), c.hDriveAddress);
    CPelkorDeviceDrive* drive = AwaitCalibratedDrive(h, dev, c.hDriveAddress, kPadCalibrationWaitMs);
    if (!drive) return 0;
    if (drive->GetStatusBusy()) {
        // A second press of the pad stops the turn.
        h.WriteVerbose(L"Remote Control: stop horizontal movement\n");
        drive->Stop(false, false);
        return 0;
    }
    h.WriteVerbose(L"Remote Control: ");
    if (c.twistingLimit != -1.0) h.WriteVerbose(L"(using horizontal twisting limitation) ");
    ApplyHorizontalConstraints(*drive, c);
    ApplyDriveSettings(*drive, c, c.hDriveAddress);
    h.WriteVerbose(direction == Turn::Left ? L"go left" : L"go right");
    const double delta = direction == Turn::Left ? -360.0 : 360.0;
    if (!drive->Go(delta, c.horizontalSpeed * c.globalSpeed)) {
        h.WriteVerbose(L" (failed)\n");
        return -1;
    }
    h.WriteVerbose(L"\n");
    return 0;
}

int RemoteTilt(ControlHandle handle, Tilt direction) {
    if (!Usable(handle)) return -1;
    VELDANcontrolRecord& h = *handle;
    PadBusy busy(h);
    const CVeldanConfig& c = *h.config;
    LockedDevice dev(h.enclosure.get(), c.vDriveAddress);
    CPelkorDeviceDrive* drive = AwaitCalibratedDrive(h, dev, c.vDriveAddress, kPadCalibrationWaitMs);
    if (!drive) return 0;
    if (drive->GetStatusBusy()) {
        h.WriteVerbose(L"Remote Control: stop vertical movement\n");
        drive->Stop(false, false);
        return 0;
    }
    ApplyVerticalConstraints(*drive, c);
    ApplyDriveSettings(*drive, c, c.vDriveAddress);
    h.WriteVerbose(direction == Tilt::Up ? L"Remote Control: go up" : L"Remote Control: go down");
    const double target = direction == Tilt::Up ? 90.0 : -90.0;
    if (!drive->Goto(target, c.verticalSpeed * c.globalSpeed)) {
        h.WriteVerbose(L" (failed)\n");
        return -1;
    }
    h.WriteVerbose(L"\n");
    return 0;
}

int RemoteHalt(ControlHandle handle) {
    if (!Usable(handle)) return -1;
    VELDANcontrolRecord& h = *handle;
    PadBusy busy(h);
    h.WriteVerbose(L"Remote Control: halt ");
    StopMovingDrives(h, false, true);
    h.WriteVerbose(L"\n");
    return 0;
}

int RemoteAbort(ControlHandle handle) {
    if (!Usable(handle)) return -1;
    VELDANcontrolRecord& h = *handle;
    PadBusy busy(h);
    h.WriteVerbose(L"Remote Control: emergency abort ");
    StopMovingDrives(h, true, false);
    h.WriteVerbose(L"\n");
    return 0;
}

int RemoteSetZero(ControlHandle handle) {
    if (!Usable(handle)) return -1;
    VELDANcontrolRecord& h = *handle;
    PadBusy busy(h);
    h.WriteVerbose(L"Remote Control: set zero ");
    {
        LockedDevice dev(h.enclosure.get(), h.config->hDriveAddress);
        if (CPelkorDeviceDrive* drive = dev.Drive(); drive && !drive->GetStatusBusy()) drive->SetZeroPoint(false);
    }
    h.WriteVerbose(L"\n");
    return 0;
}

double HorizontalPosition(ControlHandle handle) { return DrivePosition(handle, true); }
double VerticalPosition(ControlHandle handle) { return DrivePosition(handle, false); }

int32_t BatteryPercentOf(double voltage, double empty, double full) {
    if (empty == full) return 100;
    double p = 100.0 * (voltage - empty) / (full - empty);
    if (std::isnan(p) || p < 0.0) p = 0.0;
    // No upper bound is described; only keep the conversion defined.
    if (p >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(p);
}

int32_t BatteryPercent(ControlHandle handle) {
    if (!Usable(handle)) return -1;
    const CVeldanConfig& c = *handle->config;
    double voltage;
    {
        LockedDevice dev(handle->enclosure.get(), c.controlAddress);
        CPelkorDeviceControl* module = dev.Control();
        if (!module) return -1;
        voltage = module->GetVoltage();
    }
    return BatteryPercentOf(voltage, c.batteryEmpty, c.batteryFull);
}

uint64_t BusyMask(ControlHandle handle) {
    if (!handle || !handle->enclosure || !handle->Ready()) return UINT64_MAX;
    uint64_t mask = 0;
    for (int n = 63; n >= 0; --n) {
        LockedDevice dev(handle->enclosure.get(), n);
        if (dev && dev.Get()->GetStatusBusy()) mask |= uint64_t{1} << n;
    }
    return mask;
}

}  // namespace veldan::control
