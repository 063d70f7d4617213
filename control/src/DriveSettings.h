#pragma once
// The constraints and per-address settings the control library gives a
// drive before every move.
class CVeldanConfig;
class CPelkorDeviceDrive;

namespace veldan::control {

// Horizontal axis: turns endlessly; with a twisting limit it is kept
// between 0 and the limit instead.
void ApplyHorizontalConstraints(CPelkorDeviceDrive& drive, const CVeldanConfig& config);
// Vertical axis: no wrap, between the configured lower and upper limit.
void ApplyVerticalConstraints(CPelkorDeviceDrive& drive, const CVeldanConfig& config);
// Acceleration time (when not 0), holding and running power of the bus
// address from the configuration.
void ApplyDriveSettings(CPelkorDeviceDrive& drive, const CVeldanConfig& config, int busAddress);

}  // namespace veldan::control
