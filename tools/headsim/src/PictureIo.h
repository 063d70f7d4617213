#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "RgbImage.h"

namespace veldan::headsim {

// Reads a picture file (the source panorama) into RGB. False with a message
// for a missing, unreadable or undecodable file.
bool LoadPicture(const std::filesystem::path& path, RgbImage& image, std::string& error);

// JPEG bytes of a picture (baseline, 4:2:0).
bool EncodeJpeg(const RgbImage& image, int quality, std::vector<uint8_t>& jpeg, std::string& error);

// Writes the picture as JPEG (atomically: temporary file and rename).
bool SaveJpeg(const std::filesystem::path& path, const RgbImage& image, int quality, std::string& error);

}  // namespace veldan::headsim
