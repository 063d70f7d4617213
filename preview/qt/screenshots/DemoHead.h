#pragma once
// What a demo home needs for the virtual head: a COM number of its own and
// the configuration `make run` writes.
#include <filesystem>

namespace veldan::preview::demo {

// The lowest COM number that has no link in portsFolder and whose serial
// device (the platform's fixed mapping) does not exist on this machine, so
// that a demo can never reach a real device; 0 when there is none.
int FreeComNumber(const std::filesystem::path& portsFolder);

// Writes what a demo home needs for the virtual head on COM<com>, as
// `make run` does: <documents>/VELDANmodular/settings.cfg and the desktop
// program's profile value Settings/CAPTURE_DIRECTORY in
// <configHome>/VELDANpreview/VELDANpreview.conf. False when a file cannot
// be written.
bool WriteDemoConfiguration(const std::filesystem::path& documents, const std::filesystem::path& configHome, int com,
                            const std::filesystem::path& captureFolder);

}  // namespace veldan::preview::demo
