#pragma once
#include <cstdint>

namespace veldan::projectpicture {

// Reads the pixel size of a picture file (UTF-8 path) from its header only
// (JPEG and PNG; other formats are read by the imaging layer). Only regular
// files are read. False when the file cannot be read or its format is not
// recognised.
bool ReadPictureSize(const char* utf8Path, uint32_t& width, uint32_t& height);

}  // namespace veldan::projectpicture
