// The constraints and per-address settings given to a drive before every move,
// from the configuration.
#include "DriveSettings.h"

#include "Pelkor.h"
#include "settings/VELDANsettings.h"

namespace veldan::control {

void ApplyHorizontalConstraints(CPelkorDeviceDrive& drive, const CVeldanConfig& config) {
    drive.SetConstraint(ConstraintWrapAxis, nullptr, 0);
    drive.ClearConstraint(ConstraintMinAngle);
    drive.ClearConstraint(ConstraintMaxAngle);
    if (config.twistingLimit != -1.0) {
        const double lower = 0.0;
        const double upper = config.twistingLimit;
        drive.ClearConstraint(ConstraintWrapAxis);
        drive.SetConstraint(ConstraintMinAngle, &lower, sizeof lower);
        drive.SetConstraint(ConstraintMaxAngle, &upper, sizeof upper);
    }
}

void ApplyVerticalConstraints(CPelkorDeviceDrive& drive, const CVeldanConfig& config) {
    const double lower = config.lowerLimit;
    const double upper = config.upperLimit;
    drive.ClearConstraint(ConstraintWrapAxis);
    drive.SetConstraint(ConstraintMinAngle, &lower, sizeof lower);
    drive.SetConstraint(ConstraintMaxAngle, &upper, sizeof upper);
}

void ApplyDriveSettings(CPelkorDeviceDrive& drive, const CVeldanConfig& config, int busAddress) {
    if (busAddress < 0 || busAddress >= CVeldanConfig::kBusAddressCount) return;
    if (config.accelerationTime[busAddress] != 0)
        drive.SetupAccelerationTime(config.accelerationTime[busAddress] * 0.001);
    drive.SetupSleepPower(config.holdingPower[busAddress] * 0.01);
    drive.SetupWorkPower(config.runningPower[busAddress] * 0.01);
}

}  // namespace veldan::control
