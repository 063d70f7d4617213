#pragma once
// The bitmap of the imaging layer: a rectangle of pixels in one of two
// layouts, rows top to bottom, each row `Stride()` bytes apart.
//
//   kBgr24   3 bytes per pixel: blue, green, red.
//   kArgb32  4 bytes per pixel holding the 32-bit value 0xAARRGGBB in the
//            machine's (little-endian) order, so the bytes are blue, green,
//            red, alpha. Alpha is straight (not premultiplied); 0 is fully
//            transparent, 255 opaque.
//
// Rows of owned bitmaps start on 4-byte boundaries (stride rounded up to a
// multiple of four). A bitmap either owns its pixels (Create, Clone, all
// decoders) or refers to memory the caller keeps alive (Wrap). Moving is
// cheap and leaves the source empty; copying is explicit through Clone().
#include <cstddef>
#include <cstdint>
#include <memory>
#include "imaging/Limits.h"
#include "imaging/Result.h"
#include "platform/Export.h"

namespace veldan::imaging {

enum class PixelLayout : uint8_t {
    kBgr24,
    kArgb32,
};

constexpr uint32_t BytesPerPixel(PixelLayout layout) { return layout == PixelLayout::kBgr24 ? 3 : 4; }

// Packs an ARGB value from its channels.
constexpr uint32_t MakeArgb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

class VELDAN_API Bitmap {
public:
    enum class Fill { kUninitialized, kZero };

    Bitmap() = default;  // empty: no pixels, 0 x 0
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    ~Bitmap();

    // An owned bitmap of width x height (both > 0). Fails with kTooLarge
    // above `limits` (the picture limits unless the caller passes others)
    // and kOutOfMemory when memory cannot be had.
    static Result<Bitmap> Create(uint32_t width, uint32_t height, PixelLayout layout, Fill fill = Fill::kZero,
                                 const Limits& limits = {});
    // A bitmap over memory the caller owns and keeps alive for the bitmap's
    // life. `stride` must be at least width * BytesPerPixel(layout).
    static Result<Bitmap> Wrap(uint8_t* pixels, uint32_t width, uint32_t height, size_t stride, PixelLayout layout);

    // A deep, owned copy (kOutOfMemory on failure). Copies and the derived
    // bitmaps of Rotate and friends are not held to the picture limits: the
    // source already exists.
    Result<Bitmap> Clone() const;
    // A deep, owned copy in the other layout. ARGB -> BGR drops alpha;
    // BGR -> ARGB makes every pixel opaque.
    Result<Bitmap> ConvertTo(PixelLayout layout) const;

    bool Empty() const { return pixels_ == nullptr; }
    bool OwnsPixels() const { return owned_ != nullptr; }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    PixelLayout Layout() const { return layout_; }
    uint32_t BytesPerPixel() const { return imaging::BytesPerPixel(layout_); }
    size_t Stride() const { return stride_; }
    size_t SizeInBytes() const { return stride_ * height_; }

    uint8_t* Data() { return pixels_; }
    const uint8_t* Data() const { return pixels_; }
    uint8_t* Row(uint32_t y) { return pixels_ + size_t(y) * stride_; }
    const uint8_t* Row(uint32_t y) const { return pixels_ + size_t(y) * stride_; }

    // Pixel access as ARGB in either layout (BGR pixels read as opaque;
    // writing ARGB into a BGR bitmap drops alpha). No bounds checks.
    uint32_t GetArgb(uint32_t x, uint32_t y) const {
        const uint8_t* p = Row(y) + size_t(x) * BytesPerPixel();
        return MakeArgb(layout_ == PixelLayout::kArgb32 ? p[3] : 255, p[2], p[1], p[0]);
    }
    void SetArgb(uint32_t x, uint32_t y, uint32_t argb) {
        uint8_t* p = Row(y) + size_t(x) * BytesPerPixel();
        p[0] = uint8_t(argb);
        p[1] = uint8_t(argb >> 8);
        p[2] = uint8_t(argb >> 16);
        if (layout_ == PixelLayout::kArgb32) p[3] = uint8_t(argb >> 24);
    }

    // Sets every pixel to `argb` (alpha ignored for BGR).
    void FillWith(uint32_t argb);
    // Releases the pixels (owned) or forgets them (wrapped); Empty() after.
    void Reset();

private:
    uint8_t* pixels_ = nullptr;
    std::unique_ptr<uint8_t[]> owned_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    size_t stride_ = 0;
    PixelLayout layout_ = PixelLayout::kBgr24;
};

}  // namespace veldan::imaging
