#pragma once
// Small three-dimensional vector type for the preview geometry: directions on
// the viewing sphere in polar form (azimuth, elevation, length) and Cartesian
// form, and the ray/plane intersection used to project a picture's image plane
// onto the panorama.
#include <cmath>
#include <optional>

#include "platform/Export.h"

namespace veldan::vecmath {

// A point or direction in polar form. Angles are radians: theta is the
// azimuth in [0, 2*pi), phi the elevation in [-pi/2, pi/2], r the length.
struct Polar {
    double theta = 0.0;
    double phi = 0.0;
    double r = 0.0;
};

struct VELDAN_API Vector3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr Vector3() = default;
    constexpr Vector3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    // (r*cos(phi)*cos(theta), r*cos(phi)*sin(theta), r*sin(phi)); any phi is
    // accepted, so an elevation beyond a pole simply points over it.
    static Vector3 FromPolar(double theta, double phi, double r);
    static Vector3 FromPolar(const Polar& p) { return FromPolar(p.theta, p.phi, p.r); }

    // Length, elevation asin(z/r) and azimuth atan2(y, x) brought into
    // [0, 2*pi). The zero vector gives all zeros.
    Polar ToPolar() const;

    double Length() const;
    double Dot(const Vector3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vector3 Cross(const Vector3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }

    Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vector3 operator*(double f) const { return {x * f, y * f, z * f}; }
    Vector3& operator+=(const Vector3& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    Vector3& operator-=(const Vector3& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
};

// Where a line through the origin meets a plane, in the plane's own
// coordinates: point + s*a + t*b lies on the line at lambda*direction.
struct PlaneHit {
    double s = 0.0;
    double t = 0.0;
    double lambda = 0.0;  // > 0: the plane lies in the direction looked at
    double Length() const { return std::sqrt(s * s + t * t); }
};

// The plane through `point` spanned by the directions `a` and `b`.
class VELDAN_API Plane {
public:
    Plane(const Vector3& point, const Vector3& a, const Vector3& b);

    // Intersection with the line {lambda*direction}; empty when the line is
    // parallel to the plane or the plane is degenerate (a and b parallel).
    std::optional<PlaneHit> IntersectLine(const Vector3& direction) const;

    const Vector3& Point() const { return point_; }
    const Vector3& A() const { return a_; }
    const Vector3& B() const { return b_; }

private:
    Vector3 point_, a_, b_, normal_;
    // Inverse of the Gram matrix of a and b, for the plane coordinates.
    double gaa_ = 0.0, gab_ = 0.0, gbb_ = 0.0;
    bool valid_ = false;
};

}  // namespace veldan::vecmath
