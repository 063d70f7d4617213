// Waiting for a drive's calibration (steps per turn, speed base) before a move
// is ordered.
#include "DriveCalibration.h"

#include "platform/Tick.h"

namespace veldan::control {

using platform::GetTickCount64;

CPelkorDeviceDrive* AwaitCalibratedDrive(VELDANcontrolRecord& h, LockedDevice& dev, int address, uint64_t timeoutMs) {
    const uint64_t end = GetTickCount64() + timeoutMs;
    CPelkorDeviceDrive* drive = dev.Drive();
    while (drive && (drive->GetStepsPerTurn() == 0 || drive->GetSpeedBase() == 0) && GetTickCount64() < end) {
        dev.Release();
        if (h.abortEvent.Wait(20)) return nullptr;
        dev.Lookup(address);
        drive = dev.Drive();
    }
    return drive;
}

}  // namespace veldan::control
