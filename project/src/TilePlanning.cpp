// Tile planning: rows of constant elevation, each with enough frames to
// cover the horizontal range with the requested overlap.
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "PlannedBracketing.h"
#include "VELDANPanorama/PanoramaProject.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = 180.0 / kPi;
constexpr double kRad = kPi / 180.0;

// A plan above this many tiles (or placeholder images) cannot be shot by any
// head (a 1000 mm lens covers the sphere in about 30000 frames); it comes
// from nonsensical lens data and is refused instead of exhausting memory.
constexpr uint64_t kMaxPlannedTiles = 100000;
constexpr uint64_t kMaxPlannedImages = 1000000;

// Ceiling results become unsigned 32-bit counts by truncation; values that do
// not fit (or are not numbers) saturate instead of being undefined.
uint32_t CountOf(double value) {
    if (!(value >= 0)) return 0;
    if (value >= 4294967295.0) return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

// More rows than this cannot come from a real lens.
constexpr uint32_t kMaxRows = 1000000;

// Called once per planned row with its elevation and column count.
using RowVisitor = std::function<void(double phi, uint32_t columns)>;

struct Plan {
    double hfov = 0, vfov = 0;
    double d = 0;  // margin added beyond both ends of the elevation range
    uint32_t rows = 0;
};

double Clamp(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

void PlanDefault(const VELDANPanoramaProject& p, double h, double v, Plan& plan, const RowVisitor& visit) {
    const double ov = p.options.overlap;
    const double dTheta = p.fov.end_theta - p.fov.begin_theta;
    const double dPhi = p.fov.end_phi - p.fov.begin_phi;
    const double vf = 2.0 * std::atan(v / std::sqrt(h * h + 4.0)) * kDeg;
    const uint32_t n = dPhi <= vf ? 1 : CountOf(std::ceil((dPhi - vf) / (vf * (1.0 - ov)))) + 1;
    if (n == 0 || n > kMaxRows) return;
    plan.rows = n;
    const double surplus = std::max(0.0, (n - 1) * vf * (1.0 - ov) + vf - dPhi);
    plan.d = surplus / (n + 1);
    for (uint32_t r = 0; r < n; ++r) {
        const double phi = p.fov.begin_phi + vf / 2.0 - plan.d + r * (vf * (1.0 - ov) - plan.d);
        double x = h / 2.0;
        if (p.options.multirow_optimization) {
            const double pr = phi * kRad;
            x = h / std::fabs(v * std::fabs(std::sin(pr)) + 2.0 * std::cos(pr));
        }
        const double hf = 2.0 * std::atan(x) * kDeg;
        visit(phi, std::max<uint32_t>(1, CountOf(std::ceil(dTheta / (hf * (1.0 - ov))))));
    }
}

void PlanLegacy(const VELDANPanoramaProject& p, Plan& plan, const RowVisitor& visit) {
    const double ov = p.options.overlap;
    const double dTheta = p.fov.end_theta - p.fov.begin_theta;
    const double dPhi = p.fov.end_phi - p.fov.begin_phi;
    const double hs = plan.hfov * (1.0 - ov);
    const double vs = plan.vfov * (1.0 - ov);
    const uint32_t ceilRows = CountOf(std::ceil(dPhi / vs));
    if (ceilRows >= kMaxRows) return;
    const uint32_t n = ceilRows + 1;
    plan.rows = n;
    const double spacing = n > 1 ? dPhi / (n - 1) : 0.0;
    for (uint32_t r = 0; r < n; ++r) {
        const double phi = n == 1 ? (p.fov.begin_phi + p.fov.end_phi) / 2.0 : p.fov.begin_phi + r * spacing;
        uint32_t m;
        if (phi == -90.0 || phi == 90.0) {
            m = 1;
        } else if (p.options.multirow_optimization) {
            double shifted = phi;
            if (n > 1) shifted = phi > 0 ? phi - spacing / 2.0 : phi + spacing / 2.0;
            m = CountOf(std::ceil((dTheta / hs) * std::fabs(std::cos(shifted * kRad))));
        } else {
            m = CountOf(std::ceil(dTheta / hs));
        }
        visit(phi, std::max<uint32_t>(1, m));
    }
}

}  // namespace

uint32_t VELDANPanoramaProject::ComputeTiles(bool count_only) {
    if (!count_only) {
        DeleteAllItems();
        path.DeleteAllItems();
    }
    fov.begin_theta = Clamp(fov.begin_theta, 0.0, 360.0);
    fov.end_theta = Clamp(fov.end_theta, 0.0, 360.0);
    if (fov.end_theta < fov.begin_theta) std::swap(fov.begin_theta, fov.end_theta);
    fov.begin_phi = Clamp(fov.begin_phi, -90.0, 90.0);
    fov.end_phi = Clamp(fov.end_phi, -90.0, 90.0);
    if (fov.end_phi < fov.begin_phi) std::swap(fov.begin_phi, fov.end_phi);
    options.overlap = Clamp(options.overlap, 0.0, 0.99);
    // Ranges that are not numbers cannot be planned.
    if (std::isnan(fov.begin_theta) || std::isnan(fov.end_theta) || std::isnan(fov.begin_phi) ||
        std::isnan(fov.end_phi) || std::isnan(options.overlap))
        return 0;

    if (!(lens.focal_length > 0) || !(sensor.dimension_x > 0) || !(sensor.dimension_y > 0)) return 0;
    if (hdri.enabled && hdri.count > veldan::project::plan::kMaxImagesPerBracketing) return 0;
    const double h = (camera.orientation == 1 ? sensor.dimension_x : sensor.dimension_y) / lens.focal_length;
    const double v = (camera.orientation == 1 ? sensor.dimension_y : sensor.dimension_x) / lens.focal_length;
    if (!std::isfinite(h) || !std::isfinite(v)) return 0;

    Plan plan;
    plan.hfov = 2.0 * std::atan(h / 2.0) * kDeg;
    plan.vfov = 2.0 * std::atan(v / 2.0) * kDeg;
    const auto run = [&](const RowVisitor& visit) {
        if (options.legacy_arrangement)
            PlanLegacy(*this, plan, visit);
        else
            PlanDefault(*this, h, v, plan, visit);
    };
    // First pass: count only, nothing allocated.
    uint64_t total = 0;
    run([&](double, uint32_t columns) { total += columns; });
    if (plan.rows == 0 || total == 0) return 0;
    const uint32_t count = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
    if (count_only) return count;
    if (total > kMaxPlannedTiles || total * (hdri.enabled ? hdri.count : 1) > kMaxPlannedImages) return 0;

    const double dTheta = fov.end_theta - fov.begin_theta;
    run([&](double phi, uint32_t columns) {
        const double step = dTheta / columns;
        for (uint32_t c = 0; c < columns; ++c) {
            auto* tile = new VELDANPanoramaTile();
            if (columns == 1)
                tile->pos_x = (fov.begin_theta + fov.end_theta) / 2.0;
            else if (options.legacy_arrangement)
                tile->pos_x = fov.begin_theta + (c + 0.5) * dTheta / columns;
            else
                tile->pos_x = fov.begin_theta + step / 2.0 + c * step;
            tile->pos_y = phi;
            tile->fov_x = plan.hfov;
            tile->fov_y = plan.vfov;
            AppendTile(tile);
            veldan::project::plan::AddPlannedBracketing(*tile, hdri, camera.orientation, hdri.enabled ? hdri.count : 1,
                                                        hdri.enabled);
        }
    });
    if (!options.legacy_arrangement) {
        fov.begin_phi -= plan.d;
        fov.end_phi += plan.d;
        if (dTheta == 0) {
            fov.begin_theta = -plan.hfov / 2.0;
            fov.end_theta = plan.hfov / 2.0;
        }
    }
    return count;
}
