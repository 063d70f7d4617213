#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include "platform/Export.h"

namespace veldan::platform {

// The shell's "open" verb: opens a file or folder with the desktop's default
// program through xdg-open (found on PATH). Waits at most waitMs for xdg-open
// to report a failure (no program for the file type, missing file); a
// xdg-open still running then counts as success and is reaped in the
// background. False with an error text when it could not be started or
// reported a failure. The desktop has no "edit" verb; callers fall through
// to their next choice.
VELDAN_API bool ShellOpen(const std::filesystem::path& file, std::string* error = nullptr, uint32_t waitMs = 3000);

}  // namespace veldan::platform
