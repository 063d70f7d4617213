// Bitmap: creation with checked dimensions, wrapping caller memory, cloning,
// filling and layout conversion.
#include "imaging/Bitmap.h"

#include <cstring>
#include <new>
#include <string>

#include "imaging/Limits.h"

namespace veldan::imaging {

Bitmap::Bitmap(Bitmap&& other) noexcept { *this = std::move(other); }

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this != &other) {
        owned_ = std::move(other.owned_);
        pixels_ = other.pixels_;
        width_ = other.width_;
        height_ = other.height_;
        stride_ = other.stride_;
        layout_ = other.layout_;
        other.pixels_ = nullptr;
        other.width_ = other.height_ = 0;
        other.stride_ = 0;
    }
    return *this;
}

Bitmap::~Bitmap() = default;

void Bitmap::Reset() {
    owned_.reset();
    pixels_ = nullptr;
    width_ = height_ = 0;
    stride_ = 0;
}

Result<Bitmap> Bitmap::Create(uint32_t width, uint32_t height, PixelLayout layout, Fill fill, const Limits& limits) {
    if (width == 0 || height == 0) return Error{ErrorCode::kInvalidArgument, "bitmap size must not be 0"};
    if (Status s = CheckDimensions(width, height, limits); !s) return s.error();
    if (uint64_t(width) * height > (uint64_t(1) << 40))
        return Error{ErrorCode::kTooLarge, "bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                                               " pixels cannot be addressed"};
    const size_t stride = (size_t(width) * imaging::BytesPerPixel(layout) + 3) & ~size_t(3);
    const size_t bytes = stride * height;
    std::unique_ptr<uint8_t[]> memory(new (std::nothrow) uint8_t[bytes]);
    if (!memory) {
        return Error{ErrorCode::kOutOfMemory,
                     "no memory for a " + std::to_string(width) + " x " + std::to_string(height) + " bitmap"};
    }
    if (fill == Fill::kZero) std::memset(memory.get(), 0, bytes);
    Bitmap b;
    b.pixels_ = memory.get();
    b.owned_ = std::move(memory);
    b.width_ = width;
    b.height_ = height;
    b.stride_ = stride;
    b.layout_ = layout;
    return b;
}

Result<Bitmap> Bitmap::Wrap(uint8_t* pixels, uint32_t width, uint32_t height, size_t stride, PixelLayout layout) {
    if (pixels == nullptr || width == 0 || height == 0)
        return Error{ErrorCode::kInvalidArgument, "wrapped bitmap needs pixels and a size"};
    if (stride < size_t(width) * imaging::BytesPerPixel(layout))
        return Error{ErrorCode::kInvalidArgument, "stride shorter than a row"};
    Bitmap b;
    b.pixels_ = pixels;
    b.width_ = width;
    b.height_ = height;
    b.stride_ = stride;
    b.layout_ = layout;
    return b;
}

Result<Bitmap> Bitmap::Clone() const {
    if (Empty()) return Error{ErrorCode::kInvalidArgument, "cannot copy an empty bitmap"};
    Result<Bitmap> copy = Create(width_, height_, layout_, Fill::kUninitialized, Limits::None());
    if (!copy) return copy;
    const size_t row_bytes = size_t(width_) * BytesPerPixel();
    for (uint32_t y = 0; y < height_; ++y) std::memcpy(copy->Row(y), Row(y), row_bytes);
    return copy;
}

Result<Bitmap> Bitmap::ConvertTo(PixelLayout layout) const {
    if (layout == layout_) return Clone();
    if (Empty()) return Error{ErrorCode::kInvalidArgument, "cannot convert an empty bitmap"};
    Result<Bitmap> out = Create(width_, height_, layout, Fill::kUninitialized, Limits::None());
    if (!out) return out;
    for (uint32_t y = 0; y < height_; ++y) {
        const uint8_t* s = Row(y);
        uint8_t* d = out->Row(y);
        if (layout == PixelLayout::kArgb32) {
            for (uint32_t x = 0; x < width_; ++x, s += 3, d += 4) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 255;
            }
        } else {
            for (uint32_t x = 0; x < width_; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
    }
    return out;
}

void Bitmap::FillWith(uint32_t argb) {
    for (uint32_t y = 0; y < height_; ++y)
        for (uint32_t x = 0; x < width_; ++x) SetArgb(x, y, argb);
}

}  // namespace veldan::imaging
