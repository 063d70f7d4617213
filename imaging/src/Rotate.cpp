// Quarter turns, horizontal mirroring and the EXIF orientations built from
// them.
#include "imaging/Rotate.h"

#include <cstring>
#include <utility>

namespace veldan::imaging {
namespace {

// Writes source pixel (x, y) to target (tx, ty) for every pixel, the map
// given by `where`.
template <class Map>
void Remap(const Bitmap& src, Bitmap& dst, Map where) {
    const uint32_t bpp = src.BytesPerPixel();
    for (uint32_t y = 0; y < src.Height(); ++y) {
        const uint8_t* s = src.Row(y);
        for (uint32_t x = 0; x < src.Width(); ++x, s += bpp) {
            auto [tx, ty] = where(x, y);
            std::memcpy(dst.Row(ty) + size_t(tx) * bpp, s, bpp);
        }
    }
}

}  // namespace

Result<Bitmap> Rotate(const Bitmap& source, QuarterTurns turns) {
    if (source.Empty()) return Error{ErrorCode::kInvalidArgument, "cannot turn an empty bitmap"};
    const uint32_t w = source.Width(), h = source.Height();
    switch (turns) {
        case QuarterTurns::k0: return source.Clone();
        case QuarterTurns::k180: {
            auto out = Bitmap::Create(w, h, source.Layout(), Bitmap::Fill::kUninitialized, Limits::None());
            if (out) Remap(source, *out, [&](uint32_t x, uint32_t y) { return std::pair{w - 1 - x, h - 1 - y}; });
            return out;
        }
        case QuarterTurns::k90: {
            auto out = Bitmap::Create(h, w, source.Layout(), Bitmap::Fill::kUninitialized, Limits::None());
            if (out) Remap(source, *out, [&](uint32_t x, uint32_t y) { return std::pair{h - 1 - y, x}; });
            return out;
        }
        case QuarterTurns::k270: {
            auto out = Bitmap::Create(h, w, source.Layout(), Bitmap::Fill::kUninitialized, Limits::None());
            if (out) Remap(source, *out, [&](uint32_t x, uint32_t y) { return std::pair{y, w - 1 - x}; });
            return out;
        }
    }
    return Error{ErrorCode::kInvalidArgument, "invalid turn"};
}

Result<Bitmap> MirrorHorizontally(const Bitmap& source) {
    if (source.Empty()) return Error{ErrorCode::kInvalidArgument, "cannot mirror an empty bitmap"};
    const uint32_t w = source.Width();
    auto out = Bitmap::Create(w, source.Height(), source.Layout(), Bitmap::Fill::kUninitialized, Limits::None());
    if (out) Remap(source, *out, [&](uint32_t x, uint32_t y) { return std::pair{w - 1 - x, y}; });
    return out;
}

Result<Bitmap> ApplyExifOrientation(const Bitmap& source, uint16_t orientation) {
    switch (orientation) {
        case 2: return MirrorHorizontally(source);
        case 3: return Rotate(source, QuarterTurns::k180);
        case 4: {  // mirrored top to bottom = mirrored left to right, turned 180
            auto m = MirrorHorizontally(source);
            if (!m) return m;
            return Rotate(*m, QuarterTurns::k180);
        }
        case 5: {  // transposed
            auto m = MirrorHorizontally(source);
            if (!m) return m;
            return Rotate(*m, QuarterTurns::k270);
        }
        case 6: return Rotate(source, QuarterTurns::k90);
        case 7: {  // transversed
            auto m = MirrorHorizontally(source);
            if (!m) return m;
            return Rotate(*m, QuarterTurns::k90);
        }
        case 8: return Rotate(source, QuarterTurns::k270);
        default: return source.Clone();
    }
}

}  // namespace veldan::imaging
