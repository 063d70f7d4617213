#pragma once
#include <filesystem>
#include <string>

class VELDANPanoramaProject;

namespace veldan::preview {

// <project_path>/<description>.vpp. A "/" in the description cannot name a
// folder inside the file name and becomes "_"; an empty description gives
// the project's default name.
std::filesystem::path ProjectFilePath(const VELDANPanoramaProject& project);
std::wstring ProjectTitle(const VELDANPanoramaProject& project);

// After loading from folder: when the project's stored folder differs from
// folder, every image file name containing "<old>/" gets "<folder>/"
// instead and project_path becomes folder. Returns whether it moved.
bool RelocateProject(VELDANPanoramaProject& project, const std::wstring& folder);

// Every tile's aspect ratio from the size of its images (the last image of
// known size wins; 1 when none is known).
void UpdateAspectRatios(VELDANPanoramaProject& project);

}  // namespace veldan::preview
