#pragma once
// One entry point for every picture format: the format is recognised from
// the bytes (camera raw files, which are mostly TIFF containers, from their
// directory and, for files, their extension), then the matching decoder
// runs. See Jpeg.h, Png.h, Tiff.h and Raw.h for each format's behaviour.
#include <cstdint>
#include <filesystem>
#include <span>
#include "imaging/Bitmap.h"
#include "imaging/ImageInfo.h"
#include "imaging/Result.h"

namespace veldan::imaging {

VELDAN_API Format DetectFormat(std::span<const uint8_t> data);
// kUnknown also when the file cannot be read.
VELDAN_API Format DetectFormatFile(const std::filesystem::path& path);
// True for the file extensions of camera raw formats (.cr2, .nef, .arw,
// .dng, ...), in any letter case.
VELDAN_API bool HasRawExtension(const std::filesystem::path& path);

// Size and orientation from the headers only; the pixels are never read.
VELDAN_API Result<ImageInfo> ReadImageInfo(std::span<const uint8_t> data);
VELDAN_API Result<ImageInfo> ReadImageInfoFile(const std::filesystem::path& path);

// Decodes the first picture of the data or file.
VELDAN_API Result<Bitmap> DecodeImage(std::span<const uint8_t> data, const DecodeOptions& options = {});
VELDAN_API Result<Bitmap> DecodeImageFile(const std::filesystem::path& path, const DecodeOptions& options = {});

}  // namespace veldan::imaging
