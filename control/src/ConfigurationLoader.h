#pragma once
// Loading the configuration, assembly and script of a handle with the start
// switches: the search orders of the three files and their messages.
#include <string>

#include "VELDANcontrol.h"

namespace veldan::control {

// The folders the files are searched in.
struct SearchFolders {
    std::wstring documents;  // the user's documents folder
    std::wstring system;     // the system-wide data folder ("Windows folder")
    std::wstring program;    // the folder of the running program
};
SearchFolders CurrentSearchFolders();

// The configuration's sub-folder of the documents folder, with separator.
inline constexpr const wchar_t* kConfigSubfolder = L"VELDANmodular/";

// Applies the switches and loads the files; 0 or -1 (also for "-h", "-?",
// "-V"). Refused with -1 without configuration or enclosure and while a
// script runs.
int LoadConfiguration(ControlHandle handle, int argc, const wchar_t* const* argv);

// Opens and loads a script file along the search order of script names
// (as given, in the configuration folder, the same with ".txt"); 0 or -1.
// `missingIsError` false: no file found is not an error (start switch "-s").
int LoadScriptFile(ControlHandle handle, const std::wstring& name, bool missingIsError);

}  // namespace veldan::control
