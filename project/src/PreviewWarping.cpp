// Warping one image onto the equirectangular preview: every preview pixel of
// the tile's drawing rectangle casts its viewing ray onto the tile's image
// plane and takes the nearest source pixel.
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <vector>

#include "ImageJobs.h"
#include "PreviewGeometry.h"
#include "RealtimeParallel.h"
#include "VELDANPanorama/PanoramaStitcher.h"
#include "VELDANPanorama/ThreadPool.h"
#include "imaging/Bitmap.h"
#include "platform/Window.h"
#include "vecmath/Vector3.h"

using veldan::imaging::Bitmap;
using veldan::imaging::PixelLayout;
using veldan::vecmath::Vector3;

namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;
constexpr uint16_t kOutside = 0xFFFF;

// The tile's rectangle without writing the tile: background warps run on
// pool threads while the user-interface thread uses the same tile.
bool RectOf(VELDANPanoramaProject& project, const VELDANPanoramaTile& tile, uint32_t W, uint32_t H,
            veldan::project::PreviewMapping& map, int32_t& left, int32_t& top, uint32_t& width, uint32_t& height) {
    if (!map.Set(project.fov, W, H)) return false;
    const _FOV box = veldan::project::WarpedBoundingBoxOf(tile.pos_x, tile.pos_y, tile.fov_x, tile.fov_y);
    return veldan::project::DrawingRectOf(map, box, left, top, width, height);
}

// Ray/plane intersection of the image plane C + s*a + t*b. For a direction
// d the line lambda*d meets the plane at lambda = (C.n)/(d.n) with n = a x b,
// and q = lambda*d - C = s*a + t*b solved with the inverse Gram matrix of a
// and b gives s = (S.d)/(n.d) + s0 and t = (T.d)/(n.d) + t0 with fixed
// vectors S, T: three dot products and one division per pixel.
struct ImagePlane {
    Vector3 n, S, T;
    double cn = 0, s0 = 0, t0 = 0;
    bool valid = false;

    ImagePlane(double theta_c, double phi_c, double hx, double hy) {
        const Vector3 c = Vector3::FromPolar(theta_c, phi_c, 1);
        const Vector3 a =
            Vector3::FromPolar(theta_c + std::numbers::pi / 2, 0, 2 * std::tan(hx));  // increasing azimuth
        const Vector3 b = Vector3::FromPolar(theta_c, phi_c - std::numbers::pi / 2, 2 * std::tan(hy));  // down
        n = a.Cross(b);
        cn = c.Dot(n);
        const double aa = a.Dot(a), ab = a.Dot(b), bb = b.Dot(b);
        const double det = aa * bb - ab * ab;
        valid = std::isfinite(det) && det > 1e-24 * aa * bb && aa > 0 && bb > 0 && cn != 0;
        if (!valid) return;
        const double gaa = bb / det, gab = -ab / det, gbb = aa / det;
        S = (a * gaa + b * gab) * cn;
        T = (a * gab + b * gbb) * cn;
        s0 = -(gaa * c.Dot(a) + gab * c.Dot(b));
        t0 = -(gab * c.Dot(a) + gbb * c.Dot(b));
    }
};

// Per-column parts of the dot products with d = (cos phi cos theta,
// cos phi sin theta, sin phi): the x/y terms depend on the column only.
struct ColumnTerms {
    std::vector<double> n, s, t;
};

struct WarpJob {
    std::shared_ptr<VELDANImageJobs> jobs;
    VELDANPanoramaProject* project;
    VELDANPanoramaTile* tile;
    VELDANPanoramaImage* image;
    uint32_t W, H;
};

void DisposeWarpJob(void* context) { delete static_cast<WarpJob*>(context); }

// The per-pixel loop for a source of BPP bytes per pixel (blue, green, red
// first), over output rows [row0, row1).
template <uint32_t BPP>
void WarpRows(const ImagePlane& plane, const Bitmap& source, const ColumnTerms& columns, const double* cos_phi,
              const double* sin_phi, uint32_t w, uint32_t row0, uint32_t row1, Bitmap& out, uint16_t* weights) {
    const double pw = source.Width(), ph = source.Height();
    const int32_t sw = int32_t(source.Width()), sh = int32_t(source.Height());
    const uint8_t* src = source.Data();
    const size_t stride = source.Stride();
    const double* cn_col = columns.n.data();
    const double* cs_col = columns.s.data();
    const double* ct_col = columns.t.data();
    const double cn = plane.cn, s0 = plane.s0, t0 = plane.t0;
    for (uint32_t j = row0; j < row1; ++j) {
        auto* row = reinterpret_cast<uint32_t*>(out.Row(j));
        uint16_t* wrow = weights + size_t(j) * w;
        const double cp = cos_phi[j], sp = sin_phi[j];
        const double nz = sp * plane.n.z, sz = sp * plane.S.z, tz = sp * plane.T.z;
        for (uint32_t i = 0; i < w; ++i) {
            wrow[i] = kOutside;
            row[i] = 0;
            const double dn = cp * cn_col[i] + nz;
            // Only the half-space the camera looks into (lambda = cn/dn > 0):
            // a ray pointing away would meet the plane behind the camera and
            // show a mirrored ghost.
            if (!(cn * dn > 0)) continue;
            const double inv = 1.0 / dn;
            const double s = (cp * cs_col[i] + sz) * inv + s0;
            const double t = (cp * ct_col[i] + tz) * inv + t0;
            const double u = (s + 0.5) * pw, v = (t + 0.5) * ph;
            if (!(u >= 0 && u < pw && v >= 0 && v < ph)) continue;
            // Non-negative: truncation is the floor.
            const int32_t sx = std::min(int32_t(u), sw - 1), sy = std::min(int32_t(v), sh - 1);
            const uint8_t* p = src + size_t(sy) * stride + size_t(sx) * BPP;
            row[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[0]);
            wrow[i] = uint16_t(50000 * std::sqrt(s * s + t * t));
        }
    }
}

}  // namespace

bool VELDANPanoramaStitcher::GetDrawingRect(VELDANPanoramaProject* project, VELDANPanoramaTile* tile, uint32_t W,
                                            uint32_t H, int32_t& left, int32_t& top, uint32_t& width,
                                            uint32_t& height) {
    if (!project || !tile) return false;
    tile->ComputeWarpedBoundingBox();
    veldan::project::PreviewMapping map;
    if (!map.Set(project->fov, W, H)) return false;
    return veldan::project::DrawingRectOf(map, tile->warped_fov, left, top, width, height);
}

uint32_t VELDANPanoramaStitcher::WarpImage(VELDANPanoramaProject* project, VELDANPanoramaTile* tile,
                                           VELDANPanoramaImage* image, uint32_t W, uint32_t H, uint32_t flags) {
    if (!project || !tile || !image) return VELDAN_IMAGE_FAILURE;
    VELDANPanoramaWarpedImage& warped = image->warped;
    // One warp of an image at a time (see warp_section); a second request
    // waits and then usually finds the fitting result in the size check.
    std::lock_guard<veldan::platform::CriticalSection> one_warp(warped.warp_section);
    if (!image->access.EnterReadAccess()) return VELDAN_IMAGE_FAILURE;
    struct ImageHold {
        AccessControl& lock;
        ~ImageHold() { lock.LeaveReadAccess(); }
    } image_hold{image->access};

    veldan::project::PreviewMapping map;
    int32_t left = 0, top = 0;
    uint32_t w = 0, h = 0;
    if (!RectOf(*project, *tile, W, H, map, left, top, w, h)) return VELDAN_IMAGE_FAILURE;
    const double theta_l = map.Theta(left), theta_r = map.Theta(double(left) + w - 1);
    const double phi_t = map.Phi(top), phi_b = map.Phi(double(top) + h - 1);

    if (!warped.lock.EnterReadAccess()) return VELDAN_IMAGE_FAILURE;
    if (!(flags & PREVIEW_REFRESH) && warped.bitmap) {
        const auto* current = static_cast<const Bitmap*>(warped.bitmap);
        if (current->Width() == w && current->Height() == h) {
            warped.lock.LeaveReadAccess();
            return VELDAN_IMAGE_OK;
        }
    }
    if (flags & PREVIEW_BACKGROUND) {
        auto* job = new WarpJob{image->jobs_, project, tile, image, W, H};
        const auto run = [](void* context) {
            std::unique_ptr<WarpJob> j(static_cast<WarpJob*>(context));
            if (!j->jobs->Begin()) return;  // the image is going away
            WarpImage(j->project, j->tile, j->image, j->W, j->H, 0);
            j->jobs->End();
        };
        if (!InvokeRealtimeWorker(run, job, reinterpret_cast<VELDANJobOwner>(image), &DisposeWarpJob)) delete job;
        warped.lock.LeaveReadAccess();
        return VELDAN_IMAGE_OK;
    }

    // A picture of twice the rectangle's size: the image hands back the best
    // it has now and prepares that size in the background.
    void* picture = nullptr;
    const uint64_t want_w = std::min<uint64_t>(uint64_t(w) * 2, 0xFFFFFFFFu);
    const uint64_t want_h = std::min<uint64_t>(uint64_t(h) * 2, 0xFFFFFFFFu);
    const uint32_t code = image->GetImage(&picture, uint32_t(want_w), uint32_t(want_h));
    if (!picture) {
        warped.lock.LeaveReadAccess();
        return code;
    }
    const Bitmap& source = *static_cast<const Bitmap*>(picture);
    if (source.Empty() || source.Width() == 0 || source.Height() == 0) {
        warped.lock.LeaveReadAccess();
        return VELDAN_IMAGE_CANNOT_LOAD;
    }
    // Every pixel is written by the loop (0 outside the image).
    auto made = Bitmap::Create(w, h, PixelLayout::kArgb32, Bitmap::Fill::kUninitialized);
    // Made here and handed over whole under write access.
    MemBlockDesc weights;
    if (!made.ok() || !weights.Create(size_t(w) * h * sizeof(uint16_t))) {
        warped.lock.LeaveReadAccess();
        return VELDAN_IMAGE_FAILURE;
    }

    // Angles of every column and row; a rectangle one pixel wide or high
    // takes the angle of its centre.
    const veldan::project::HalfAngles half = veldan::project::HalfAnglesOf(tile->fov_x, tile->fov_y);
    const ImagePlane plane(tile->pos_x / kDeg, tile->pos_y / kDeg, half.hx, half.hy);
    ColumnTerms columns;
    std::vector<double> cos_phi(h), sin_phi(h);
    try {
        columns.n.resize(w);
        columns.s.resize(w);
        columns.t.resize(w);
    } catch (const std::bad_alloc&) {
        warped.lock.LeaveReadAccess();
        return VELDAN_IMAGE_FAILURE;
    }
    for (uint32_t i = 0; i < w; ++i) {
        const double theta = w > 1 ? theta_l + (theta_r - theta_l) * i / (w - 1) : (theta_l + theta_r) / 2;
        const double ct = std::cos(theta / kDeg), st = std::sin(theta / kDeg);
        columns.n[i] = plane.n.x * ct + plane.n.y * st;
        columns.s[i] = plane.S.x * ct + plane.S.y * st;
        columns.t[i] = plane.T.x * ct + plane.T.y * st;
    }
    for (uint32_t j = 0; j < h; ++j) {
        const double phi = h > 1 ? phi_b + (phi_t - phi_b) * double(h - 1 - j) / (h - 1) : (phi_t + phi_b) / 2;
        cos_phi[j] = std::cos(phi / kDeg);
        sin_phi[j] = std::sin(phi / kDeg);
    }
    Bitmap& out = made.value();
    auto* weight_data = reinterpret_cast<uint16_t*>(weights.data);
    if (plane.valid) {
        const bool four = source.Layout() == PixelLayout::kArgb32;
        veldan::project::ParallelFor(h, 16, [&](uint32_t row0, uint32_t row1) {
            if (four)
                WarpRows<4>(plane, source, columns, cos_phi.data(), sin_phi.data(), w, row0, row1, out, weight_data);
            else
                WarpRows<3>(plane, source, columns, cos_phi.data(), sin_phi.data(), w, row0, row1, out, weight_data);
        });
    } else {
        std::fill(weight_data, weight_data + size_t(w) * h, kOutside);
        for (uint32_t j = 0; j < h; ++j) std::memset(out.Row(j), 0, out.Stride());
    }

    // Store under write access. The read hold is given back first instead of
    // being upgraded: an upgrade waits for every other reader, and a reader
    // that waits for us in turn would never leave.
    warped.lock.LeaveReadAccess();
    if (!warped.lock.EnterWriteAccess()) return VELDAN_IMAGE_FAILURE;
    auto* stored = new (std::nothrow) Bitmap(std::move(out));
    if (!stored) {
        warped.lock.LeaveWriteAccess();
        return VELDAN_IMAGE_FAILURE;
    }
    warped.weights = std::move(weights);
    delete static_cast<Bitmap*>(warped.bitmap);
    warped.bitmap = stored;
    warped.fov.begin_theta = theta_l;
    warped.fov.end_theta = theta_r;
    warped.fov.begin_phi = phi_b;
    warped.fov.end_phi = phi_t;
    warped.lock.LeaveWriteAccess();

    if (image->notify_message != 0)
        veldan::platform::PostMessage(image->notify_window, image->notify_message, image->notify_wparam,
                                      image->notify_lparam);
    return code;
}
