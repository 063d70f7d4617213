#pragma once
// What a picture file is and how it should be decoded.
#include <cstdint>
#include "imaging/Bitmap.h"
#include "imaging/Limits.h"

namespace veldan::imaging {

enum class Format : uint8_t {
    kUnknown,
    kJpeg,
    kPng,
    kTiff,
    kRaw,  // camera raw read through LibRaw (CR2, NEF, ARW, DNG, ...)
};

VELDAN_API const char* FormatName(Format format);

// Header facts of a picture, read without decoding pixels.
struct ImageInfo {
    uint32_t width = 0;  // as stored in the file, before any turn
    uint32_t height = 0;
    Format format = Format::kUnknown;
    // EXIF/TIFF orientation 1..8 (1 = stored upright, 3 = 180 degrees,
    // 6 = needs a quarter turn clockwise, 8 = counter-clockwise, 2/4/5/7
    // mirrored). 1 when the file says nothing or something invalid.
    uint16_t orientation = 1;
};

struct DecodeOptions {
    PixelLayout layout = PixelLayout::kBgr24;
    // Preview load: camera raw gives its embedded preview picture (falling
    // back to the full picture when it has none); other formats give their
    // first frame. Combine with want_* for a cheap small picture.
    bool preview = false;
    // Wanted size. JPEG (also a raw file's embedded JPEG) is decoded at the
    // smallest DCT scale (n/8) whose result is at least this size in both
    // directions; 0 x 0 decodes at full size. Other formats ignore it.
    uint32_t want_width = 0;
    uint32_t want_height = 0;
    Limits limits;
};

}  // namespace veldan::imaging
