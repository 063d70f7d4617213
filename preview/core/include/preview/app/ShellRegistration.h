#pragma once
#include <filesystem>
#include <string>

namespace veldan::preview {

// The project file type with the desktop: a MIME type
// (application/x-veldan-panorama-project, "*.vpp") and a desktop entry that
// opens such files with the program. Both live in the user's data folder
// ($XDG_DATA_HOME, else ~/.local/share).
constexpr const char* kProjectMimeType = "application/x-veldan-panorama-project";

std::filesystem::path UserDataFolder();
std::filesystem::path DesktopEntryFile();
std::filesystem::path MimeTypeFile();

// Writes (or rewrites) both files for the program at `program`. False with
// a readable error when a file cannot be written.
bool RegisterDocumentType(const std::filesystem::path& program, std::string* error = nullptr);
// Removes both files; missing files are fine.
bool UnregisterDocumentType(std::string* error = nullptr);

// The command-line switches: "/Register" ("--register") and "/Unregister"
// ("/Unregserver", "--unregister"), compared without regard to case.
enum class ShellSwitch { None, Register, Unregister };
ShellSwitch ParseShellSwitch(const std::string& argument);

}  // namespace veldan::preview
