// Drawing one bitmap onto another: clipped copy with layout conversion and
// source-over blending.
#include "imaging/Draw.h"

#include <algorithm>

namespace veldan::imaging {
namespace {

struct Clip {
    uint32_t sx = 0, sy = 0, tx = 0, ty = 0, w = 0, h = 0;
};

bool ClipRect(const Bitmap& target, const Bitmap& source, int64_t x, int64_t y, Clip& c) {
    if (target.Empty() || source.Empty()) return false;
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(x + int64_t(source.Width()), target.Width());
    const int64_t bottom = std::min<int64_t>(y + int64_t(source.Height()), target.Height());
    if (left >= right || top >= bottom) return false;
    c.tx = uint32_t(left);
    c.ty = uint32_t(top);
    c.sx = uint32_t(left - x);
    c.sy = uint32_t(top - y);
    c.w = uint32_t(right - left);
    c.h = uint32_t(bottom - top);
    return true;
}

inline uint8_t Div255(uint32_t v) { return uint8_t((v + 127) / 255); }

}  // namespace

uint32_t BlendOver(uint32_t target, uint32_t source) {
    const uint32_t sa = source >> 24;
    if (sa == 255) return source;
    if (sa == 0) return target;
    const uint32_t da = target >> 24;
    // All in units of 1/(255*255): source weight sa*255, target weight
    // da*(255-sa).
    const uint32_t ws = sa * 255, wt = da * (255 - sa), wo = ws + wt;
    uint32_t out = uint32_t(Div255(wo)) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t sc = (source >> shift) & 255, tc = (target >> shift) & 255;
        out |= ((sc * ws + tc * wt + wo / 2) / wo) << shift;
    }
    return out;
}

void DrawOver(Bitmap& target, const Bitmap& source, int64_t x, int64_t y) {
    if (source.Layout() == PixelLayout::kBgr24) return CopyInto(target, source, x, y);
    Clip c;
    if (!ClipRect(target, source, x, y, c)) return;
    const bool target_argb = target.Layout() == PixelLayout::kArgb32;
    const uint32_t tb = target.BytesPerPixel();
    for (uint32_t r = 0; r < c.h; ++r) {
        const uint8_t* s = source.Row(c.sy + r) + size_t(c.sx) * 4;
        uint8_t* t = target.Row(c.ty + r) + size_t(c.tx) * tb;
        for (uint32_t i = 0; i < c.w; ++i, s += 4, t += tb) {
            const uint32_t sa = s[3];
            if (sa == 0) continue;
            if (sa == 255) {
                t[0] = s[0];
                t[1] = s[1];
                t[2] = s[2];
                if (target_argb) t[3] = 255;
                continue;
            }
            if (target_argb) {
                const uint32_t blended =
                    BlendOver(MakeArgb(t[3], t[2], t[1], t[0]), MakeArgb(uint8_t(sa), s[2], s[1], s[0]));
                t[0] = uint8_t(blended);
                t[1] = uint8_t(blended >> 8);
                t[2] = uint8_t(blended >> 16);
                t[3] = uint8_t(blended >> 24);
            } else {
                for (int k = 0; k < 3; ++k) t[k] = Div255(s[k] * sa + t[k] * (255 - sa));
            }
        }
    }
}

void CopyInto(Bitmap& target, const Bitmap& source, int64_t x, int64_t y) {
    Clip c;
    if (!ClipRect(target, source, x, y, c)) return;
    const uint32_t sb = source.BytesPerPixel(), tb = target.BytesPerPixel();
    const bool same = source.Layout() == target.Layout();
    for (uint32_t r = 0; r < c.h; ++r) {
        const uint8_t* s = source.Row(c.sy + r) + size_t(c.sx) * sb;
        uint8_t* t = target.Row(c.ty + r) + size_t(c.tx) * tb;
        if (same) {
            std::copy(s, s + size_t(c.w) * sb, t);
            continue;
        }
        for (uint32_t i = 0; i < c.w; ++i, s += sb, t += tb) {
            t[0] = s[0];
            t[1] = s[1];
            t[2] = s[2];
            if (tb == 4) t[3] = 255;
        }
    }
}

}  // namespace veldan::imaging
