#pragma once
#include <string>

namespace veldan::preview {

// What `VELDANpreview --check-libraries` reports: loads the two libraries the
// program loads by name at run time, by the very search the program uses
// (its own folder, then the installation's library folder), and checks
// them as the head start does: libVELDANcontrol.so must export
// VELDANcontrol_version with interface 1.5 or later and VELDANcontrol_charset
// returning 1; libDSLRRemoteLib.so must export PingCamera and ReleaseShutter
// (neither is called). Also names the folder of the system-wide assembly
// files and the manual, which are reported but never make the check fail.
//
// Appends one line per item to `report`; returns true when both libraries
// were found and passed.
bool CheckRuntimeLibraries(std::string& report);

}  // namespace veldan::preview
