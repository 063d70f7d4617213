#pragma once
// JPEG through libjpeg-turbo (libjpeg API).
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>
#include "imaging/Bitmap.h"
#include "imaging/ImageInfo.h"
#include "imaging/Result.h"

namespace veldan::imaging {

// Size and EXIF orientation from the markers before the first scan; reads no
// entropy-coded data, so a file cut off after its frame header still gives
// its size.
VELDAN_API Result<ImageInfo> ReadJpegInfo(std::span<const uint8_t> data);
VELDAN_API Result<ImageInfo> ReadJpegInfoFile(const std::filesystem::path& path);

// The DCT scale numerator n (scale n/8, n in 1..8) for decoding a picture of
// width x height so that the result is the smallest one not below
// want_width x want_height. 8 (full size) when nothing is wanted (0 x 0) or
// the wanted size is not below the picture. A wanted dimension of 0 does not
// constrain that direction.
VELDAN_API uint32_t ChooseJpegScale(uint32_t width, uint32_t height, uint32_t want_width, uint32_t want_height);

// Decodes a JPEG (baseline, progressive, greyscale, CMYK) into the layout of
// `options`, DCT-scaled per options.want_*. Truncated or damaged entropy data
// is an error (kCorrupt), not a grey-filled picture.
VELDAN_API Result<Bitmap> DecodeJpeg(std::span<const uint8_t> data, const DecodeOptions& options = {});
VELDAN_API Result<Bitmap> DecodeJpegFile(const std::filesystem::path& path, const DecodeOptions& options = {});

struct JpegEncodeOptions {
    int quality = 75;  // 1..100; 75 is the usual encoder default
    bool progressive = false;
    bool optimize_coding = false;
};

// Encodes either layout (alpha is dropped) as baseline JFIF, 4:2:0.
VELDAN_API Result<std::vector<uint8_t>> EncodeJpeg(const Bitmap& bitmap, const JpegEncodeOptions& options = {});
// Encodes and writes atomically (the target has its old or its new content).
VELDAN_API Status SaveJpeg(const Bitmap& bitmap, const std::filesystem::path& path,
                           const JpegEncodeOptions& options = {});

}  // namespace veldan::imaging
