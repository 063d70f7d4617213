#pragma once
#include <filesystem>
#include <vector>

namespace veldan::preview {

// Where the Help command looks for the manual "VELDANpreview.pdf", in this
// order: beside the program (the build tree, or an installation that keeps
// it there), the documentation folder of the installation the program runs
// from (<program folder>/../share/doc/VELDAN), and the configured
// installation's documentation folder.
std::vector<std::filesystem::path> ManualCandidates();

// The first candidate that is a regular file, or an empty path.
std::filesystem::path ManualFile();

}  // namespace veldan::preview
