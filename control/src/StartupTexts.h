#pragma once
// The fixed texts of an initialisation: banner, usage and version lines.
#include "Output.h"

namespace veldan::control {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 5;
inline constexpr int kVersionBuild = 0;

struct LibraryVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
};

// The versions of the two libraries this one is built on, as they report them.
LibraryVersion SettingsLibraryVersion();
LibraryVersion DriverLibraryVersion();
// True when both are the versions this library was written for (1.0 and 2.1).
bool SettingsVersionAccepted(const LibraryVersion& v);
bool DriverVersionAccepted(const LibraryVersion& v);

// Start-up banner, written to the standard output (not the output function).
void WriteBanner();
void WriteUsage(const Output& out);
void WriteVersionLines(const Output& out);

}  // namespace veldan::control
