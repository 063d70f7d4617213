// The measure of the round trip: PSNR over the covered area tells a faithful
// panorama from a misplaced one, says when nothing was compared, and maps a
// partial preview onto the project's field of view.
#include <gtest/gtest.h>

#include <cmath>

#include "PanoramaCompare.h"
#include "TestScene.h"

namespace veldan::test {

using veldan::imaging::Bitmap;
using veldan::imaging::PixelLayout;

namespace {

// The scene itself resampled at a panorama's directions, `shift` degrees of
// azimuth off.
Bitmap Resampled(const headsim::RgbImage& scene, uint32_t w, uint32_t h, const PanoramaDirection& direction,
                 double shift) {
    Bitmap b = std::move(Bitmap::Create(w, h, PixelLayout::kArgb32).value());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            double az, el;
            direction(x, y, az, el);
            uint8_t p[3];
            headsim::SamplePanorama(scene, std::fmod(az + shift + 360, 360.0), el, p);
            b.SetArgb(x, y, 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    return b;
}

headsim::ViewSpec View(double az, double el) {
    headsim::ViewSpec v;
    v.azimuthDeg = az;
    v.elevationDeg = el;
    v.focalMm = 24;
    return v;
}

}  // namespace

TEST(PanoramaCompare, TellsAFaithfulPanoramaFromAMisplacedOneAndFromNoCoverage) {
    const headsim::RgbImage scene = headsim::MakeTestScene(720, 360);
    const std::vector<headsim::ViewSpec> views = {View(0, 0), View(90, 0), View(180, 30)};
    const PanoramaDirection direction = PreviewDirection(360, 180);
    const Psnr same = Compare(Resampled(scene, 360, 180, direction, 0), scene, views, direction);
    EXPECT_TRUE(same.Computable());
    EXPECT_GE(same.db, 99.0);  // identical: no finite PSNR
    EXPECT_GT(same.covered, 0.05);
    EXPECT_LT(same.covered, 0.5);  // three views cover part of the sphere only
    const Psnr off = Compare(Resampled(scene, 360, 180, direction, 3), scene, views, direction);
    EXPECT_LT(off.db, 25.0);
    EXPECT_DOUBLE_EQ(off.covered, same.covered);
    // No view: nothing compared, no figure.
    const Psnr none = Compare(Resampled(scene, 360, 180, direction, 0), scene, {}, direction);
    EXPECT_FALSE(none.Computable());
}

TEST(PanoramaCompare, MapsAPartialPreviewOntoTheFieldOfView) {
    double az = -1, el = -1;
    const PanoramaDirection partial = PreviewDirection(91, 21, 10, 100, -10, 10);
    partial(0, 0, az, el);  // the outer columns and rows lie on the edges
    EXPECT_DOUBLE_EQ(az, 10);
    EXPECT_DOUBLE_EQ(el, 10);
    partial(90, 20, az, el);
    EXPECT_NEAR(az, 100, 1e-9);
    EXPECT_DOUBLE_EQ(el, -10);
    // A full circle wraps: the last column is one step short of 360.
    const PanoramaDirection full = PreviewDirection(360, 181);
    full(359, 90, az, el);
    EXPECT_DOUBLE_EQ(az, 359);
    EXPECT_DOUBLE_EQ(el, 0);
    // nona: pixel centres, yaw 0 in the middle.
    NonaDirection(360, 180)(180, 0, az, el);
    EXPECT_DOUBLE_EQ(az, 0.5);
    EXPECT_DOUBLE_EQ(el, 89.5);
}

}  // namespace veldan::test
