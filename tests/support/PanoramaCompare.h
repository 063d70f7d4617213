#pragma once
// How well a stitched equirectangular panorama reproduces the source scene
// it was shot from: PSNR over the directions that the tiles' frames cover.
#include <cstdint>
#include <functional>
#include <vector>

#include "RgbImage.h"
#include "ViewRenderer.h"
#include "imaging/Bitmap.h"

namespace veldan::test {

// Covered by some view's frame, at least `margin` (plane units) inside it:
// the directions a stitcher must reproduce.
bool Covered(const std::vector<headsim::ViewSpec>& views, double azimuthDeg, double elevationDeg, double margin);

struct Psnr {
    double db = 0;
    double covered = 0;  // share of the panorama compared
    bool Computable() const { return covered > 0; }
};

// Direction (azimuth, elevation in degrees) that pixel (x, y) of a stitched
// panorama looks at.
using PanoramaDirection = std::function<void(uint32_t x, uint32_t y, double& az, double& el)>;

// PSNR over the covered pixels (margin 0.01) of a stitched panorama against
// the scene sampled at each pixel's direction.
Psnr Compare(const veldan::imaging::Bitmap& stitched, const headsim::RgbImage& scene,
             const std::vector<headsim::ViewSpec>& views, const PanoramaDirection& direction);

// The preview's full sphere of W x H: column x at azimuth x·360/W (a full
// circle wraps), row 0 the zenith, the last row the nadir.
PanoramaDirection PreviewDirection(uint32_t width, uint32_t height);
// The preview of a project's field of view (azimuth theta0..theta1,
// elevation phi0..phi1, degrees): the outer columns on the edges unless the
// azimuth is a full circle, the outer rows on the edges.
PanoramaDirection PreviewDirection(uint32_t width, uint32_t height, double theta0, double theta1, double phi0,
                                   double phi1);

// nona's equirectangular panorama of 360 x 180 degrees: yaw 0 in the middle,
// pixel centres at half steps.
PanoramaDirection NonaDirection(uint32_t width, uint32_t height);

}  // namespace veldan::test
