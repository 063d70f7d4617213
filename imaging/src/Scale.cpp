// Area-averaging (box) resampling, fitting a size within bounds and thumbnails
// made straight from files.
#include "imaging/Scale.h"

#include <algorithm>
#include <vector>

#include "imaging/Decode.h"

namespace veldan::imaging {
namespace {

// Overlap weights along one axis. Destination pixel d covers the source
// interval [d*src, (d+1)*src) and source pixel s covers [s*dst, (s+1)*dst)
// in common units, so the weights are integers that add up to `src` for
// every destination pixel.
struct Axis {
    std::vector<uint32_t> first;   // first source index per destination pixel
    std::vector<uint32_t> offset;  // into weights
    std::vector<uint32_t> count;
    std::vector<uint32_t> weights;
};

Axis MakeAxis(uint32_t src, uint32_t dst) {
    Axis a;
    a.first.resize(dst);
    a.offset.resize(dst);
    a.count.resize(dst);
    a.weights.reserve(size_t(dst) * (src / dst + 2));
    for (uint32_t d = 0; d < dst; ++d) {
        const uint64_t lo = uint64_t(d) * src, hi = uint64_t(d + 1) * src;
        const uint32_t s0 = uint32_t(lo / dst);
        const uint32_t s1 = uint32_t((hi + dst - 1) / dst);  // exclusive
        a.first[d] = s0;
        a.offset[d] = uint32_t(a.weights.size());
        a.count[d] = s1 - s0;
        for (uint32_t s = s0; s < s1; ++s) {
            const uint64_t plo = std::max<uint64_t>(lo, uint64_t(s) * dst);
            const uint64_t phi = std::min<uint64_t>(hi, uint64_t(s + 1) * dst);
            a.weights.push_back(uint32_t(phi - plo));
        }
    }
    return a;
}

// Horizontal pass of one source row. Opaque: per channel sum(v * w).
// Alpha: sum(v * a * w) per colour channel and sum(a * w) for alpha.
template <bool kAlpha>
void HorizontalRow(const uint8_t* row, const Axis& ax, uint32_t dst_w, uint32_t* out) {
    constexpr uint32_t bpp = kAlpha ? 4 : 3;
    for (uint32_t d = 0; d < dst_w; ++d) {
        const uint8_t* p = row + size_t(ax.first[d]) * bpp;
        const uint32_t* w = ax.weights.data() + ax.offset[d];
        uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
        for (uint32_t i = 0; i < ax.count[d]; ++i, p += bpp) {
            if constexpr (kAlpha) {
                const uint32_t aw = p[3] * w[i];
                c0 += p[0] * aw;
                c1 += p[1] * aw;
                c2 += p[2] * aw;
                c3 += aw;
            } else {
                c0 += p[0] * w[i];
                c1 += p[1] * w[i];
                c2 += p[2] * w[i];
            }
        }
        uint32_t* o = out + size_t(d) * bpp;
        o[0] = c0;
        o[1] = c1;
        o[2] = c2;
        if constexpr (kAlpha) o[3] = c3;
    }
}

template <bool kAlpha>
void Resize(const Bitmap& src, Bitmap& dst) {
    constexpr uint32_t bpp = kAlpha ? 4 : 3;
    const uint32_t sw = src.Width(), sh = src.Height(), dw = dst.Width(), dh = dst.Height();
    const Axis ax = MakeAxis(sw, dw);
    const Axis ay = MakeAxis(sh, dh);
    std::vector<uint32_t> hrow(size_t(dw) * bpp);
    std::vector<uint64_t> acc(size_t(dw) * bpp);
    uint32_t cached = UINT32_MAX;  // source row currently in hrow
    const uint64_t total = uint64_t(sw) * sh;
    for (uint32_t dy = 0; dy < dh; ++dy) {
        std::fill(acc.begin(), acc.end(), 0);
        for (uint32_t i = 0; i < ay.count[dy]; ++i) {
            const uint32_t sy = ay.first[dy] + i;
            if (sy != cached) {
                HorizontalRow<kAlpha>(src.Row(sy), ax, dw, hrow.data());
                cached = sy;
            }
            const uint64_t wy = ay.weights[ay.offset[dy] + i];
            for (size_t k = 0; k < acc.size(); ++k) acc[k] += hrow[k] * wy;
        }
        uint8_t* out = dst.Row(dy);
        for (uint32_t dx = 0; dx < dw; ++dx) {
            const uint64_t* a = acc.data() + size_t(dx) * bpp;
            uint8_t* o = out + size_t(dx) * bpp;
            if constexpr (kAlpha) {
                const uint64_t asum = a[3];
                o[3] = uint8_t((asum + total / 2) / total);
                for (int c = 0; c < 3; ++c) o[c] = asum == 0 ? 0 : uint8_t((a[c] + asum / 2) / asum);
            } else {
                for (int c = 0; c < 3; ++c) o[c] = uint8_t((a[c] + total / 2) / total);
            }
        }
    }
}

}  // namespace

Result<Bitmap> ResizeArea(const Bitmap& source, uint32_t width, uint32_t height) {
    if (source.Empty()) return Error{ErrorCode::kInvalidArgument, "cannot scale an empty bitmap"};
    if (width == 0 || height == 0) return Error{ErrorCode::kInvalidArgument, "thumbnail size must not be 0"};
    if (width == source.Width() && height == source.Height()) return source.Clone();
    auto out = Bitmap::Create(width, height, source.Layout(), Bitmap::Fill::kUninitialized);
    if (!out) return out;
    try {
        if (source.Layout() == PixelLayout::kArgb32)
            Resize<true>(source, *out);
        else
            Resize<false>(source, *out);
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "no memory to scale the picture"};
    }
    return out;
}

Size FitWithin(uint32_t width, uint32_t height, uint32_t max_width, uint32_t max_height) {
    if (width == 0 || height == 0) return {};
    max_width = std::min(std::max(max_width, 1u), width);
    max_height = std::min(std::max(max_height, 1u), height);
    // Compare max_width/width with max_height/height without division.
    if (uint64_t(max_width) * height <= uint64_t(max_height) * width) {
        uint32_t h = uint32_t((uint64_t(height) * max_width + width / 2) / width);
        return {max_width, std::max(h, 1u)};
    }
    uint32_t w = uint32_t((uint64_t(width) * max_height + height / 2) / height);
    return {std::max(w, 1u), max_height};
}

Result<Bitmap> MakeThumbnailFromFile(const std::filesystem::path& path, uint32_t width, uint32_t height,
                                     const DecodeOptions& options) {
    if (width == 0 || height == 0) return Error{ErrorCode::kInvalidArgument, "thumbnail size must not be 0"};
    DecodeOptions o = options;
    o.want_width = width;
    o.want_height = height;
    auto picture = DecodeImageFile(path, o);
    if (!picture) return picture;
    if (picture->Width() == width && picture->Height() == height) return picture;
    return ResizeArea(*picture, width, height);
}

}  // namespace veldan::imaging
