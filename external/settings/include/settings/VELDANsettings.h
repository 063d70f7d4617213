#pragma once
// The settings library: device configuration, head assemblies and shooting
// scripts with their text files.
#include "platform/Export.h"
#include "settings/VeldanAssembly.h"
#include "settings/VeldanConfig.h"
#include "settings/VeldanScript.h"

#define VELDANSETTINGS_VERSION_MAJOR 1
#define VELDANSETTINGS_VERSION_MINOR 0
#define VELDANSETTINGS_VERSION_BUILD 0

// Writes 1, 0, 0; each pointer may be null.
VELDAN_C_API void VELDANsettings_version(int* major, int* minor, int* build);
