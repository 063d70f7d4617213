// The composite preview: the warped images of all tiles drawn over each
// other in list order, or blended with weights that fall off from each
// image's centre, into one picture kept by the stitcher.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "RealtimeParallel.h"
#include "VELDANPanorama/PanoramaStitcher.h"
#include "imaging/Bitmap.h"
#include "imaging/Draw.h"

using veldan::imaging::Bitmap;
using veldan::imaging::PixelLayout;

namespace {

constexpr uint16_t kOutside = 0xFFFF;

Bitmap* AsBitmap(void* p) { return static_cast<Bitmap*>(p); }

// 0.5^(d^2) with d = 6 * v / 50000 for every stored weight value v: 1 at the
// image centre, 2^-9 in the middle of an edge, 2^-18 in the corners. The
// weight values are integers, so a table gives exactly the per-pixel result.
const double* BlendWeights() {
    static const std::vector<double> kTable = [] {
        std::vector<double> t(0x10000);
        for (uint32_t v = 0; v < 0x10000; ++v) {
            const double d = double(v) / 50000 * 6;
            t[v] = std::pow(0.5, d * d);
        }
        return t;
    }();
    return kTable.data();
}

// Region of the picture being composed, in picture pixels.
struct Region {
    int64_t x0, y0, x1, y1;  // [x0, x1) x [y0, y1)
};

// A tile taking part: its rectangle and the image whose warped picture it
// shows.
struct Part {
    VELDANPanoramaImage* image;
    int64_t left, top;
    uint32_t width, height;
};

// Source-over drawing of a warped picture, limited to the region: pixels of
// other tiles outside it stay as they were composed.
void DrawClipped(Bitmap& target, const Bitmap& source, int64_t left, int64_t top, const Region& r) {
    const int64_t x0 = std::max(r.x0, left), x1 = std::min(r.x1, left + int64_t(source.Width()));
    const int64_t y0 = std::max(r.y0, top), y1 = std::min(r.y1, top + int64_t(source.Height()));
    if (x0 >= x1 || y0 >= y1) return;
    for (int64_t y = y0; y < y1; ++y) {
        auto* out = reinterpret_cast<uint32_t*>(target.Row(uint32_t(y)));
        for (int64_t x = x0; x < x1; ++x) {
            const uint32_t s = source.GetArgb(uint32_t(x - left), uint32_t(y - top));
            const uint32_t alpha = s >> 24;
            if (alpha == 255)
                out[x] = s;
            else if (alpha != 0)
                out[x] = veldan::imaging::BlendOver(out[x], s);
        }
    }
}

}  // namespace

VELDANPanoramaStitcher::VELDANPanoramaStitcher() = default;

VELDANPanoramaStitcher::VELDANPanoramaStitcher(const VELDANPanoramaStitcher& other) : project(other.project) {
    auto& source = const_cast<VELDANPanoramaStitcher&>(other);
    if (!source.lock.EnterReadAccess()) return;
    if (source.composite) {
        auto copy = AsBitmap(source.composite)->Clone();
        if (copy) composite = new (std::nothrow) Bitmap(std::move(copy).value());
    }
    source.lock.LeaveReadAccess();
}

VELDANPanoramaStitcher& VELDANPanoramaStitcher::operator=(const VELDANPanoramaStitcher& other) {
    if (this == &other) return *this;
    Bitmap* copy = nullptr;
    auto& source = const_cast<VELDANPanoramaStitcher&>(other);
    if (source.lock.EnterReadAccess()) {
        if (source.composite) {
            auto clone = AsBitmap(source.composite)->Clone();
            if (clone) copy = new (std::nothrow) Bitmap(std::move(clone).value());
        }
        source.lock.LeaveReadAccess();
    }
    if (!lock.EnterWriteAccess()) {
        delete copy;
        return *this;
    }
    project = other.project;
    delete AsBitmap(composite);
    composite = copy;
    lock.LeaveWriteAccess();
    return *this;
}

VELDANPanoramaStitcher::~VELDANPanoramaStitcher() {
    lock.PreDestruct();
    delete AsBitmap(composite);
    composite = nullptr;
}

void* VELDANPanoramaStitcher::GetImage(uint32_t W, uint32_t H, uint32_t flags, uint32_t index, uint32_t x, uint32_t y,
                                       uint32_t w, uint32_t h) {
    if (!lock.EnterReadAccess()) return nullptr;
    Bitmap* stored = AsBitmap(composite);
    const bool fits = stored && stored->Width() == W && stored->Height() == H;
    if (fits && !(flags & PREVIEW_REFRESH)) {
        lock.LeaveReadAccess();
        return composite;
    }
    // A region outside the picture composes nothing.
    if (x >= W || y >= H || !project) {
        lock.LeaveReadAccess();
        return composite;
    }
    std::unique_ptr<Bitmap> made;
    if (!fits) {
        auto created = Bitmap::Create(W, H, PixelLayout::kArgb32, Bitmap::Fill::kZero);
        if (!created) {
            lock.LeaveReadAccess();
            return nullptr;
        }
        made.reset(new (std::nothrow) Bitmap(std::move(created).value()));
        if (!made) {
            lock.LeaveReadAccess();
            return nullptr;
        }
    }
    Bitmap& target = made ? *made : *stored;
    if (w == 0 || uint64_t(x) + w > W) w = W - x;
    if (h == 0 || uint64_t(y) + h > H) h = H - y;
    const Region region{x, y, int64_t(x) + w, int64_t(y) + h};
    const bool blend = flags & PREVIEW_BLEND;

    // Drawing over: the region starts empty, so that a tile that lost its
    // picture leaves no trace there.
    if (!blend && !made)
        for (uint32_t r = y; r < y + h; ++r) std::memset(target.Row(r) + size_t(x) * 4, 0, size_t(w) * 4);

    std::vector<Part> parts;
    for (uint32_t k = 0; k < project->TileCount(); ++k) {
        VELDANPanoramaTile* tile = project->Tile(k);
        int32_t L = 0, T = 0;
        uint32_t TW = 0, TH = 0;
        if (!tile || !GetDrawingRect(project, tile, W, H, L, T, TW, TH)) continue;
        if (int64_t(L) + TW < region.x0 || int64_t(T) + TH < region.y0 || L > region.x1 || T > region.y1) continue;
        VELDANPanoramaBracketing* bracketing = tile->Bracketing(tile->variant);
        if (!bracketing || index >= bracketing->GetImageCnt()) continue;
        VELDANPanoramaImage* image = bracketing->GetImage(index);
        if (!image) continue;
        WarpImage(project, tile, image, W, H, flags);
        if (blend) {
            parts.push_back({image, L, T, TW, TH});
            continue;
        }
        if (!image->warped.lock.EnterReadAccess()) continue;
        if (image->warped.bitmap) DrawClipped(target, *AsBitmap(image->warped.bitmap), L, T, region);
        image->warped.lock.LeaveReadAccess();
    }

    if (blend) {
        // Hold every usable warped picture for the whole blend; the pool
        // threads helping with the rows read them too.
        std::vector<Part> held;
        for (const Part& p : parts) {
            VELDANPanoramaWarpedImage& warped = p.image->warped;
            if (!warped.lock.EnterReadAccess()) continue;
            const Bitmap* b = AsBitmap(warped.bitmap);
            if (p.height > 0 && b && b->Width() == p.width && b->Height() == p.height &&
                warped.weights.length == size_t(p.width) * p.height * sizeof(uint16_t))
                held.push_back(p);
            else
                warped.lock.LeaveReadAccess();
        }
        const double* weight_of = BlendWeights();
        const uint32_t rw = w;
        veldan::project::ParallelFor(h, 8, [&](uint32_t row0, uint32_t row1) {
            // Per band: weight sums, then blue/green/red accumulators.
            std::vector<double> sums(size_t(rw) * (row1 - row0), 0.0);
            std::vector<uint16_t> acc(size_t(rw) * (row1 - row0) * 3, 0);
            const int64_t b0 = region.y0 + row0, b1 = region.y0 + row1;
            for (int pass = 0; pass < 2; ++pass) {
                for (const Part& p : held) {
                    const int64_t ys = std::max(b0, p.top), ye = std::min(b1, p.top + int64_t(p.height));
                    const int64_t xs = std::max(region.x0, p.left), xe = std::min(region.x1, p.left + int64_t(p.width));
                    if (ys >= ye || xs >= xe) continue;
                    const Bitmap& b = *AsBitmap(p.image->warped.bitmap);
                    const auto* weights = reinterpret_cast<const uint16_t*>(p.image->warped.weights.data);
                    for (int64_t py = ys; py < ye; ++py) {
                        const uint16_t* wrow = weights + size_t(py - p.top) * p.width;
                        const size_t out_row = size_t(py - b0) * rw;
                        const uint8_t* pixels = b.Row(uint32_t(py - p.top));
                        for (int64_t px = xs; px < xe; ++px) {
                            const uint16_t v = wrow[px - p.left];
                            if (v == kOutside) continue;
                            const size_t at = out_row + size_t(px - region.x0);
                            if (pass == 0) {
                                sums[at] += weight_of[v];
                                continue;
                            }
                            const double f = weight_of[v] / sums[at];
                            const uint8_t* c = pixels + size_t(px - p.left) * 4;
                            uint16_t* a = &acc[at * 3];
                            a[0] = uint16_t(f * (c[0] * 256.0) + a[0]);
                            a[1] = uint16_t(f * (c[1] * 256.0) + a[1]);
                            a[2] = uint16_t(f * (c[2] * 256.0) + a[2]);
                        }
                    }
                }
            }
            for (uint32_t r = row0; r < row1; ++r) {
                auto* out = reinterpret_cast<uint32_t*>(target.Row(uint32_t(region.y0 + r))) + region.x0;
                const uint16_t* a = &acc[size_t(r - row0) * rw * 3];
                for (uint32_t c = 0; c < rw; ++c, a += 3)
                    out[c] = 0xFF000000u | (uint32_t(a[2] >> 8) << 16) | (uint32_t(a[1] >> 8) << 8) | (a[0] >> 8);
            }
        });
        for (const Part& p : held) p.image->warped.lock.LeaveReadAccess();
    }

    if (made) {
        // Given back and taken again rather than upgraded, so that two
        // callers can never wait for each other's read hold.
        lock.LeaveReadAccess();
        if (!lock.EnterWriteAccess()) return nullptr;
        delete AsBitmap(composite);
        composite = made.release();
        lock.LeaveWriteAccess();
        return composite;
    }
    lock.LeaveReadAccess();
    return composite;
}
