#pragma once
// The manual-move pad: turning, tilting, halt, emergency abort and zeroing,
// and the status queries of the head.
#include <cstdint>

#include "VELDANcontrol.h"

namespace veldan::control {

enum class Turn { Left, Right };
enum class Tilt { Up, Down };

int RemoteTurn(ControlHandle handle, Turn direction);
int RemoteTilt(ControlHandle handle, Tilt direction);
int RemoteHalt(ControlHandle handle);
int RemoteAbort(ControlHandle handle);
int RemoteSetZero(ControlHandle handle);

double HorizontalPosition(ControlHandle handle);
double VerticalPosition(ControlHandle handle);
int32_t BatteryPercent(ControlHandle handle);
uint64_t BusyMask(ControlHandle handle);

// Percent of charge between the empty and the full voltage (no upper bound).
int32_t BatteryPercentOf(double voltage, double empty, double full);

}  // namespace veldan::control
