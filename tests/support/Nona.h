#pragma once
// Hugin's nona as the reference stitcher of the checks and benchmarks that
// compare our preview with a real stitch.
#include <cstdint>
#include <filesystem>
#include <string>

namespace veldan::test {

// True when nona is on the PATH (Debian package hugin-tools).
bool HaveNona();

// Sets the panorama size of a Hugin project's "p" line; false when the text
// has no such line or the line lacks its w or h field.
bool SetHuginPanoramaSize(std::string& text, uint32_t w, uint32_t h);

// Stitches a project file into `outBase`.tif (nona's messages go to
// `outBase`.log); false with those messages in `error` when nona fails.
bool RunNona(const std::filesystem::path& project, const std::filesystem::path& outBase, std::string& error);

}  // namespace veldan::test
