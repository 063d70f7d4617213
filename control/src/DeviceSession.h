#pragma once
// Opening the bus of a handle (with the port search) and closing it again
// with the parking moves.
#include "VELDANcontrol.h"

namespace veldan::control {

// Gives the enclosure the bus settings of the configuration and opens the
// configured port, or searches COM99 down to COM1. True when the bus is open.
bool InitDevice(ControlHandle handle);

// Switches both contacts off, parks the drives unless "-n" was given, waits
// until they stand still and closes the bus.
void ShutdownDevice(ControlHandle handle);

}  // namespace veldan::control
