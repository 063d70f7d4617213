#pragma once
// Geometry of the equirectangular preview shared by warping, composition and
// the tile's bounding box.
#include <cstdint>
#include "VELDANPanorama/PanoramaModel.h"
#include "VELDANPanorama/Records.h"

namespace veldan::project {

// Half opening angles of a tile's frame in radians; a tile without a known
// frame (fov_x 0) counts as 30 x 40 degrees.
struct HalfAngles {
    double hx = 0;
    double hy = 0;
};
HalfAngles HalfAnglesOf(double fov_x, double fov_y);

// The azimuth and elevation range (degrees) that a frame at (pos_x, pos_y)
// covers; a frame reaching over a pole covers 0..360 and reaches the pole.
_FOV WarpedBoundingBoxOf(double pos_x, double pos_y, double fov_x, double fov_y);

// Column/row <-> angle mapping of a W x H preview of a field of view.
struct PreviewMapping {
    double theta0 = 0, dtheta = 360, m = 1;
    double phi0 = -90, dphi = 180;
    uint32_t W = 0, H = 0;

    // False for an empty size or a field of view without extent.
    bool Set(const _FOV& fov, uint32_t width, uint32_t height);
    double Theta(double x) const { return theta0 + x * dtheta / m; }
    // A picture one row high shows the middle elevation.
    double Phi(double y) const { return H > 1 ? phi0 + (double(H) - 1 - y) * dphi / (double(H) - 1) : phi0 + dphi / 2; }
};

// The drawing rectangle of a bounding box; false when it does not fit in
// 32-bit coordinates.
bool DrawingRectOf(const PreviewMapping& map, const _FOV& box, int32_t& left, int32_t& top, uint32_t& width,
                   uint32_t& height);

}  // namespace veldan::project
