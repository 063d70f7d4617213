#pragma once
// PNG through libpng: every colour type and bit depth is read (palette,
// greyscale with and without alpha, 1..16 bits, transparency chunks,
// interlacing) and delivered as 8-bit BGR or ARGB.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>
#include "imaging/Bitmap.h"
#include "imaging/ImageInfo.h"
#include "imaging/Result.h"

namespace veldan::imaging {

// Size from the IHDR chunk (the first 24 bytes of the file).
VELDAN_API Result<ImageInfo> ReadPngInfo(std::span<const uint8_t> data);
VELDAN_API Result<ImageInfo> ReadPngInfoFile(const std::filesystem::path& path);

// 16-bit samples are scaled to 8 bits with rounding. Decoding into BGR drops
// the alpha channel; decoding into ARGB makes pictures without alpha opaque.
VELDAN_API Result<Bitmap> DecodePng(std::span<const uint8_t> data, const DecodeOptions& options = {});
VELDAN_API Result<Bitmap> DecodePngFile(const std::filesystem::path& path, const DecodeOptions& options = {});

struct PngEncodeOptions {
    int compression_level = 6;  // zlib level 0..9
};

// BGR bitmaps are written as 8-bit RGB; ARGB bitmaps as RGBA, or as RGB when
// every pixel is opaque (smaller, same picture).
VELDAN_API Result<std::vector<uint8_t>> EncodePng(const Bitmap& bitmap, const PngEncodeOptions& options = {});
VELDAN_API Status SavePng(const Bitmap& bitmap, const std::filesystem::path& path,
                          const PngEncodeOptions& options = {});

}  // namespace veldan::imaging
