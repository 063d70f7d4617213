// The azimuth/elevation range that a tile's frame covers, and the preview
// mapping and drawing rectangle built on it.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "PreviewGeometry.h"
#include "vecmath/Vector3.h"

namespace veldan::project {

using vecmath::Polar;
using vecmath::Vector3;

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kDeg = 180.0 / kPi;
}  // namespace

HalfAngles HalfAnglesOf(double fov_x, double fov_y) {
    if (fov_x == 0) return {15.0 / kDeg, 20.0 / kDeg};
    return {fov_x / 2 / kDeg, fov_y / 2 / kDeg};
}

_FOV WarpedBoundingBoxOf(double pos_x, double pos_y, double fov_x, double fov_y) {
    // The frame is built at azimuth 180 degrees, so that its azimuth range
    // cannot cross 0/360, and moved to pos_x at the end.
    const double phic = pos_y / kDeg;
    const HalfAngles half = HalfAnglesOf(fov_x, fov_y);
    const Vector3 c = Vector3::FromPolar(kPi, phic, 1);
    const Vector3 hh = Vector3::FromPolar(3 * kPi / 2, 0, std::tan(half.hx));
    const Vector3 vh = Vector3::FromPolar(kPi, phic + kPi / 2, std::tan(half.hy));
    const Polar p[8] = {
        (c - hh + vh).ToPolar(), (c + vh).ToPolar(), (c + hh + vh).ToPolar(),  // top row
        (c - hh).ToPolar(),      (c + hh).ToPolar(),                           // middle row
        (c - hh - vh).ToPolar(), (c - vh).ToPolar(), (c + hh - vh).ToPolar(),  // bottom row
    };
    const double top = std::max({phic, p[0].phi, p[1].phi, p[2].phi});
    const double bottom = std::min({phic, p[5].phi, p[6].phi, p[7].phi});
    _FOV box;
    bool pole = false;
    if (bottom == phic) {
        box.begin_phi = -90;
        pole = true;
    } else {
        box.begin_phi = bottom * kDeg;
    }
    if (top == phic) {
        box.end_phi = 90;
        pole = true;
    } else {
        box.end_phi = top * kDeg;
    }
    const auto outside = [](const Polar& q) { return q.theta < kPi / 2 || q.theta > 3 * kPi / 2; };
    if (outside(p[0]) || outside(p[1]) || outside(p[2])) {  // the top edge passed over the zenith
        box.end_phi = 90;
        pole = true;
    }
    if (outside(p[5]) || outside(p[6]) || outside(p[7])) {  // the bottom edge passed under the nadir
        box.begin_phi = -90;
        pole = true;
    }
    if (pole) {
        box.begin_theta = 0;
        box.end_theta = 360;
    } else {
        box.begin_theta = pos_x + (std::min({p[0].theta, kPi, p[3].theta, p[5].theta}) * kDeg - 180);
        box.end_theta = pos_x + (std::max({kPi, p[2].theta, p[4].theta, p[7].theta}) * kDeg - 180);
    }
    return box;
}

bool PreviewMapping::Set(const _FOV& fov, uint32_t width, uint32_t height) {
    theta0 = fov.begin_theta;
    dtheta = fov.end_theta - fov.begin_theta;
    phi0 = fov.begin_phi;
    dphi = fov.end_phi - fov.begin_phi;
    W = width;
    H = height;
    if (width == 0 || height == 0) return false;
    if (!(std::isfinite(dtheta) && dtheta > 0) || !(std::isfinite(dphi) && dphi > 0)) return false;
    // A full circle wraps: column 0's left edge and column W-1's right edge
    // are the same meridian. Otherwise the outer columns lie on the edges.
    m = dtheta == 360 ? double(width) : double(width > 1 ? width - 1 : 1);
    return true;
}

bool DrawingRectOf(const PreviewMapping& map, const _FOV& box, int32_t& left, int32_t& top, uint32_t& width,
                   uint32_t& height) {
    const double rows = double(map.H) - 1;
    const double xa = std::floor((box.begin_theta - map.theta0) * map.m / map.dtheta);
    const double xb = std::ceil((box.end_theta - map.theta0) * map.m / map.dtheta);
    const double ya = rows - std::floor((box.begin_phi - map.phi0) * rows / map.dphi);
    const double yb = rows - std::ceil((box.end_phi - map.phi0) * rows / map.dphi);
    const double l = std::min(xa, xb), w = std::fabs(xb - xa) + 1;
    const double t = std::min(ya, yb), h = std::fabs(ya - yb) + 1;
    constexpr double kMin = -2147483648.0, kMax = 2147483647.0;
    if (!(l >= kMin && l <= kMax && t >= kMin && t <= kMax && w <= kMax && h <= kMax)) return false;
    left = int32_t(l);
    top = int32_t(t);
    width = uint32_t(w);
    height = uint32_t(h);
    return true;
}

}  // namespace veldan::project

void VELDANPanoramaTile::ComputeWarpedBoundingBox() {
    warped_fov = veldan::project::WarpedBoundingBoxOf(pos_x, pos_y, fov_x, fov_y);
}
