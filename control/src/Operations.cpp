// HeadOperations: the script operations on the real head (moves, waits,
// pre-shoot, shoot and release contacts).
#include "Operations.h"

#include <initializer_list>

#include "ControlHandle.h"
#include "DeviceAccess.h"
#include "DriveCalibration.h"
#include "DriveSettings.h"
#include "Pelkor.h"
#include "platform/Tick.h"
#include "settings/VELDANsettings.h"

namespace veldan::control {

using platform::GetTickCount64;

namespace {

enum class ModuleWait { Idle, Aborted, Vanished };

// Waits with the lock released until the module's queues are empty (its
// relay commands have gone out). `dev` holds the module on entry and on an
// Idle return.
ModuleWait WaitModuleIdle(VELDANcontrolRecord& h, LockedDevice& dev, int address) {
    while (dev.Control() && dev.Control()->GetStatusBusy()) {
        dev.Release();
        if (h.abortEvent.Wait(100)) return ModuleWait::Aborted;
        dev.Lookup(address);
        if (!dev.Control()) return ModuleWait::Vanished;
    }
    return dev.Control() ? ModuleWait::Idle : ModuleWait::Vanished;
}

bool ValidRelay(int relay) { return relay >= 0 && relay <= 9; }

// Switches a contact on and waits until the command has gone out.
bool ContactOn(VELDANcontrolRecord& h, int address, int relay) {
    LockedDevice dev(h.enclosure.get(), address);
    if (!dev || !dev.Control()) return false;
    // A refused relay command means the camera would not fire: report it
    // instead of carrying on as if the shot had been taken.
    if (!ValidRelay(relay) || !dev.Control()->SetRelayState(static_cast<uint8_t>(relay), true)) return false;
    return WaitModuleIdle(h, dev, address) == ModuleWait::Idle;
}

// A script that moved an uncalibrated drive would shoot at the wrong place:
// its moves wait up to kCalibrationWaitMs for the calibration.
constexpr uint64_t kCalibrationWaitMs = 10000;

}  // namespace

bool HeadOperations::MoveHorizontal(double degrees) {
    VELDANcontrolRecord& h = *h_;
    const CVeldanConfig& c = *h.config;
    if (h.abortEvent.IsSet() || c.hDriveAddress == -1) return false;
    h.WriteVerbose(L"Moving horizontal to %.02fdeg\n", degrees);
    LockedDevice dev(h.enclosure.get(), c.hDriveAddress);
    CPelkorDeviceDrive* drive = AwaitCalibratedDrive(h, dev, c.hDriveAddress, kCalibrationWaitMs);
    if (!drive) return false;
    ApplyHorizontalConstraints(*drive, c);
    ApplyDriveSettings(*drive, c, c.hDriveAddress);
    return drive->Goto(degrees, c.horizontalSpeed * c.globalSpeed);
}

bool HeadOperations::MoveVertical(double degrees) {
    VELDANcontrolRecord& h = *h_;
    const CVeldanConfig& c = *h.config;
    if (h.abortEvent.IsSet() || c.vDriveAddress == -1) return false;
    h.WriteVerbose(L"Moving vertical to %.02fdeg\n", degrees);
    LockedDevice dev(h.enclosure.get(), c.vDriveAddress);
    CPelkorDeviceDrive* drive = AwaitCalibratedDrive(h, dev, c.vDriveAddress, kCalibrationWaitMs);
    if (!drive) return false;
    ApplyVerticalConstraints(*drive, c);
    ApplyDriveSettings(*drive, c, c.vDriveAddress);
    return drive->Goto(degrees, c.verticalSpeed * c.globalSpeed);
}

bool HeadOperations::Wait(int milliseconds) {
    VELDANcontrolRecord& h = *h_;
    h.WriteVerbose(L"Waiting...");
    if (milliseconds != -1) {
        h.WriteVerbose(L"%dms\n", milliseconds);
        h.abortEvent.Wait(milliseconds > 0 ? static_cast<uint32_t>(milliseconds) : 0u);
        return true;
    }
    CPelkorEnclosure& enclosure = *h.enclosure;
    int passes = 0;
    while (enclosure.IsBusy()) {
        if (h.abortEvent.Wait(100)) return true;
        // A bus that has gone away never reports idle again: the drives did
        // not arrive, so the wait must not report success.
        if (!enclosure.IsReady()) {
            h.WriteVerbose(L"failed\n");
            return false;
        }
        if (++passes % 10 == 0) {
            h.WriteVerbose(L".");
            for (uint32_t i = 0; CPelkorDevice* device = enclosure.GetDevice(i, true); ++i) {
                if (device->GetStatusBusy()) device->UpdateStatusBusy();
                enclosure.ReleaseDeviceLock();
            }
        }
    }
    h.WriteVerbose(L"ready\n");
    return true;
}

bool HeadOperations::WaitRecover(int milliseconds) {
    VELDANcontrolRecord& h = *h_;
    const uint64_t last = h.lastReleaseTick.load();
    const uint64_t now = GetTickCount64();
    const int64_t elapsed = last == 0 ? milliseconds : static_cast<int64_t>(now - last);
    if (elapsed >= milliseconds) {
        h.WriteVerbose(L"Camera ready\n");
    } else {
        const int remaining = static_cast<int>(milliseconds - elapsed);
        h.WriteVerbose(L"Waiting on camera %dms... ", remaining);
        if (h.abortEvent.Wait(static_cast<uint32_t>(remaining))) {
            h.WriteVerbose(L"aborted\n");
            return false;
        }
        h.WriteVerbose(L"ready\n");
    }
    return !h.abortEvent.IsSet();
}

bool HeadOperations::Preshoot() {
    VELDANcontrolRecord& h = *h_;
    h.WriteVerbose(L"Preshoot\n");
    return ContactOn(h, h.config->preshotAddress, h.config->preshotRelay);
}

bool HeadOperations::Shoot() {
    VELDANcontrolRecord& h = *h_;
    h.WriteVerbose(L"Shoot\n");
    return ContactOn(h, h.config->shutterAddress, h.config->shutterRelay);
}

bool HeadOperations::Release() {
    VELDANcontrolRecord& h = *h_;
    const CVeldanConfig& c = *h.config;
    h.WriteVerbose(L"Release\n");

    // Switches the relays off on one module and waits for the commands.
    auto switchOff = [&](int address, std::initializer_list<int> relays, bool wait) -> ModuleWait {
        LockedDevice dev(h.enclosure.get(), address);
        if (!dev.Control()) return ModuleWait::Idle;  // missing or no control module: skipped
        for (int relay : relays)
            if (ValidRelay(relay)) dev.Control()->SetRelayState(static_cast<uint8_t>(relay), false);
        return wait ? WaitModuleIdle(h, dev, address) : ModuleWait::Idle;
    };

    ModuleWait result;
    if (c.preshotAddress == c.shutterAddress) {
        result = switchOff(c.preshotAddress, {c.preshotRelay, c.shutterRelay}, true);
    } else {
        result = switchOff(c.preshotAddress, {c.preshotRelay}, true);
        if (result == ModuleWait::Idle) {
            result = switchOff(c.shutterAddress, {c.shutterRelay}, true);
        } else {
            // The shutter contact is opened even when the first wait ended
            // early: a shutter left closed would keep the camera exposing.
            switchOff(c.shutterAddress, {c.shutterRelay}, false);
        }
    }
    if (result == ModuleWait::Vanished) return false;
    h.lastReleaseTick = GetTickCount64();
    return result == ModuleWait::Idle;
}

}  // namespace veldan::control
