// Tests of Vector3 polar conversions and of image-plane intersections of a
// tile frame.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "vecmath/Vector3.h"

namespace veldan::test {

using veldan::vecmath::Plane;
using veldan::vecmath::Vector3;

namespace {
constexpr double kPi = std::numbers::pi;
double Rad(double deg) { return deg * kPi / 180.0; }
}  // namespace

TEST(Vector3, PolarRoundTripKeepsAzimuthInRangeAndElevationClamped) {
    for (double theta : {0.0, 0.5, kPi, 1.5 * kPi, 2.0 * kPi - 1e-9}) {
        for (double phi : {-kPi / 2, -0.3, 0.0, 0.7, kPi / 2}) {
            const auto p = Vector3::FromPolar(theta, phi, 2.5).ToPolar();
            EXPECT_NEAR(p.r, 2.5, 1e-12);
            EXPECT_NEAR(p.phi, phi, 1e-9);
            EXPECT_GE(p.theta, 0.0);
            EXPECT_LT(p.theta, 2.0 * kPi);
            if (std::fabs(std::fabs(phi) - kPi / 2) > 1e-6) {
                EXPECT_NEAR(p.theta, theta, 1e-9);
            }
        }
    }
    // An elevation past the zenith points over it to the opposite azimuth.
    const auto over = Vector3::FromPolar(0.0, Rad(100), 1.0).ToPolar();
    EXPECT_NEAR(over.phi, Rad(80), 1e-12);
    EXPECT_NEAR(over.theta, kPi, 1e-12);
    // The zero vector and a vector just below the x axis stay well defined.
    EXPECT_EQ(Vector3().ToPolar().r, 0.0);
    EXPECT_LT(Vector3(1.0, -1e-300, 0.0).ToPolar().theta, 2.0 * kPi);
}

TEST(Plane, ImagePlaneCoordinatesOfATileFrame) {
    // Image plane of a frame looking at azimuth 30, elevation 20 with a
    // 40 x 30 degree opening: the frame spans s, t in [-0.5, 0.5].
    const double tc = Rad(30), pc = Rad(20), hx = Rad(20), hy = Rad(15);
    const Plane plane(Vector3::FromPolar(tc, pc, 1.0), Vector3::FromPolar(tc + kPi / 2, 0.0, 2.0 * std::tan(hx)),
                      Vector3::FromPolar(tc, pc - kPi / 2, 2.0 * std::tan(hy)));
    const auto centre = plane.IntersectLine(Vector3::FromPolar(tc, pc, 3.0));
    ASSERT_TRUE(centre);
    EXPECT_NEAR(centre->s, 0.0, 1e-12);
    EXPECT_NEAR(centre->t, 0.0, 1e-12);
    EXPECT_NEAR(centre->lambda, 1.0 / 3.0, 1e-12);
    EXPECT_NEAR(centre->Length(), 0.0, 1e-12);

    // The frame's upper edge middle lies hy above the centre on the meridian:
    // t = -0.5 because b points down.
    const auto top = plane.IntersectLine(Vector3::FromPolar(tc, pc + hy, 1.0));
    ASSERT_TRUE(top);
    EXPECT_NEAR(top->s, 0.0, 1e-12);
    EXPECT_NEAR(top->t, -0.5, 1e-12);
    EXPECT_GT(top->lambda, 0.0);

    // Looking the other way meets the plane behind the viewer.
    const auto back = plane.IntersectLine(Vector3::FromPolar(tc + kPi, -pc, 1.0));
    ASSERT_TRUE(back);
    EXPECT_LT(back->lambda, 0.0);
}

TEST(Plane, EquatorFrameEdgeAndDegenerateCases) {
    const double hx = Rad(15);
    const Plane plane(Vector3(1, 0, 0), Vector3(0, 2 * std::tan(hx), 0), Vector3(0, 0, -1));
    const auto edge = plane.IntersectLine(Vector3::FromPolar(hx, 0.0, 1.0));
    ASSERT_TRUE(edge);
    EXPECT_NEAR(edge->s, 0.5, 1e-12);
    EXPECT_NEAR(edge->t, 0.0, 1e-12);

    // A line parallel to the plane has no intersection.
    EXPECT_FALSE(plane.IntersectLine(Vector3(0, 1, 0)));
    EXPECT_FALSE(plane.IntersectLine(Vector3()));
    // Parallel spanning directions give no plane at all.
    const Plane flat(Vector3(1, 0, 0), Vector3(0, 1, 0), Vector3(0, 2, 0));
    EXPECT_FALSE(flat.IntersectLine(Vector3(1, 0, 0)));
}

}  // namespace veldan::test
