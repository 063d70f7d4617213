// Vector3 polar and Cartesian conversions and the ray/plane intersection of
// Plane.
#include "vecmath/Vector3.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veldan::vecmath {

Vector3 Vector3::FromPolar(double theta, double phi, double r) {
    const double c = std::cos(phi);
    return {r * c * std::cos(theta), r * c * std::sin(theta), r * std::sin(phi)};
}

double Vector3::Length() const { return std::sqrt(x * x + y * y + z * z); }

Polar Vector3::ToPolar() const {
    Polar p;
    p.r = Length();
    if (p.r == 0.0) return p;
    // Rounding can push z/r a hair beyond +-1 for vectors along the axis.
    p.phi = std::asin(std::clamp(z / p.r, -1.0, 1.0));
    double theta = std::atan2(y, x);
    if (theta < 0.0) theta += 2.0 * std::numbers::pi;
    // atan2 of a tiny negative y gives -0 or a value that rounds to 2*pi.
    if (theta >= 2.0 * std::numbers::pi) theta = 0.0;
    p.theta = theta;
    return p;
}

Plane::Plane(const Vector3& point, const Vector3& a, const Vector3& b)
    : point_(point), a_(a), b_(b), normal_(a.Cross(b)) {
    const double aa = a.Dot(a), ab = a.Dot(b), bb = b.Dot(b);
    const double det = aa * bb - ab * ab;
    // Relative test: parallel or zero directions span no plane.
    if (det > 1e-24 * (aa * bb) && aa > 0.0 && bb > 0.0) {
        gaa_ = bb / det;
        gab_ = -ab / det;
        gbb_ = aa / det;
        valid_ = true;
    }
}

std::optional<PlaneHit> Plane::IntersectLine(const Vector3& direction) const {
    if (!valid_) return std::nullopt;
    const double dn = direction.Dot(normal_);
    const double scale = direction.Length() * normal_.Length();
    if (scale == 0.0 || std::fabs(dn) <= 1e-12 * scale) return std::nullopt;
    PlaneHit hit;
    hit.lambda = point_.Dot(normal_) / dn;
    // q lies in the plane's direction space; solve q = s*a + t*b.
    const Vector3 q = direction * hit.lambda - point_;
    const double qa = q.Dot(a_), qb = q.Dot(b_);
    hit.s = gaa_ * qa + gab_ * qb;
    hit.t = gab_ * qa + gbb_ * qb;
    return hit;
}

}  // namespace veldan::vecmath
