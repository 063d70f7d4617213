#pragma once
#include <cstdint>
#include <filesystem>

namespace veldan::projectpicture {

// Reads the pixel size of a picture file from its header only (JPEG and PNG;
// other formats are read by the imaging layer). False when the file cannot
// be read or its format is not recognised.
bool ReadPictureSize(const std::filesystem::path& path, uint32_t& width, uint32_t& height);

}  // namespace veldan::projectpicture
