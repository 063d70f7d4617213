#pragma once
// Thumbnails: area-averaging (box) resampling. Every destination pixel is
// the average of the source area it covers, each source pixel weighted by
// the exact fraction of it inside that area, so downscaling by any factor
// keeps all detail as an average and never aliases. ARGB pictures are
// averaged with alpha weighting, so fully transparent pixels lend no colour.
#include <cstdint>
#include <filesystem>
#include "imaging/Bitmap.h"
#include "imaging/ImageInfo.h"
#include "imaging/Result.h"

namespace veldan::imaging {

// A new bitmap of exactly width x height in the source's layout.
VELDAN_API Result<Bitmap> ResizeArea(const Bitmap& source, uint32_t width, uint32_t height);

// The largest size with the source's aspect ratio that fits max_width x
// max_height (at least 1 x 1; never larger than the source).
struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
};
VELDAN_API Size FitWithin(uint32_t width, uint32_t height, uint32_t max_width, uint32_t max_height);

// Decodes a picture file at the cheapest size that still covers
// width x height (DCT scaling for JPEG; the embedded preview for camera raw
// when options.preview is set) and box-scales it to exactly width x height.
VELDAN_API Result<Bitmap> MakeThumbnailFromFile(const std::filesystem::path& path, uint32_t width, uint32_t height,
                                                const DecodeOptions& options = {});

}  // namespace veldan::imaging
