#pragma once
#include <filesystem>
#include <string>
#include "platform/Export.h"

namespace veldan::platform {

// The user's documents folder: XDG_DOCUMENTS_DIR (as xdg-user-dir resolves
// it from the environment or ~/.config/user-dirs.dirs), else $HOME/Documents.
// Created when missing. Empty path when no home is known.
VELDAN_API std::filesystem::path DocumentsFolder();

// <documents>/VELDANmodular, created when missing.
VELDAN_API std::filesystem::path ConfigurationFolder();

// The folder of the running program (/proc/self/exe).
VELDAN_API std::filesystem::path ProgramFolder();

// System-wide data folder (<prefix>/share/VELDANmodular); the environment
// variable VELDAN_DATA_DIR overrides it (used by tests and the demo). An
// installed program uses <its folder>/../share/VELDANmodular when that folder
// exists, so a relocated installation reads its own data.
VELDAN_API std::filesystem::path SystemDataFolder();

// The installation's library folder (<prefix>/lib...).
VELDAN_API std::filesystem::path InstalledLibraryFolder();

// The program profile file: $XDG_CONFIG_HOME/<program>/<program>.conf
// (~/.config when XDG_CONFIG_HOME is unset).
VELDAN_API std::filesystem::path ProfileFile(const std::string& program);

}  // namespace veldan::platform
