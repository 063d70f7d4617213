#pragma once
// A drive learns its calibration (steps per turn, speed base) from the
// answers to its start-up queries, which go out only after its reference
// run. A move ordered before that is refused by the drive, so a move waits
// for the calibration first.
#include <cstdint>

#include "ControlHandle.h"
#include "DeviceAccess.h"

namespace veldan::control {

// Waits with the device lock released until the drive at `address` knows its
// calibration, at most timeoutMs and ended by an abort (then null). `dev`
// holds the drive on return; the drive, or null when there is none. A drive
// still uncalibrated after the time is returned as it is.
CPelkorDeviceDrive* AwaitCalibratedDrive(VELDANcontrolRecord& h, LockedDevice& dev, int address, uint64_t timeoutMs);

}  // namespace veldan::control
