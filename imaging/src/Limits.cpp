// The size check every decoder makes before allocating, and the names of
// formats and error codes.
#include "imaging/Limits.h"

#include <string>

#include "imaging/ImageInfo.h"

namespace veldan::imaging {

Status CheckDimensions(uint64_t width, uint64_t height, const Limits& limits) {
    if (width == 0 || height == 0)
        return {ErrorCode::kCorrupt,
                "picture declares a size of " + std::to_string(width) + " x " + std::to_string(height)};
    if (width > limits.max_side || height > limits.max_side || width * height > limits.max_pixels) {
        return {ErrorCode::kTooLarge, "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                          " pixels is above the limit of " + std::to_string(limits.max_side) +
                                          " pixels a side or " + std::to_string(limits.max_pixels / 1000000) +
                                          " megapixels"};
    }
    return {};
}

const char* FormatName(Format format) {
    switch (format) {
        case Format::kJpeg: return "JPEG";
        case Format::kPng: return "PNG";
        case Format::kTiff: return "TIFF";
        case Format::kRaw: return "camera raw";
        case Format::kUnknown: break;
    }
    return "unknown";
}

}  // namespace veldan::imaging
