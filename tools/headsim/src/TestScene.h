#pragma once
#include "RgbImage.h"

namespace veldan::headsim {

// A synthetic equirectangular scene (W × H, mapped as in ViewRenderer.h):
// - the hue follows the azimuth (red at 0°, green at 120°, blue at 240°), the
//   brightness the elevation (light at the zenith, dark at the nadir), so that
//   every direction has its own colour and a misplaced picture shows at once;
// - a grid line every 10° (every 30° stronger, the 0° meridian and the horizon
//   strongest) so that positions can be read off;
// - fine deterministic texture everywhere, so that stitchers find features.
RgbImage MakeTestScene(int width, int height);

// The colour of the scene at a direction without grid or texture (what a
// coarse check of a rendered view compares against).
void TestSceneBaseColour(double azimuthDeg, double elevationDeg, uint8_t rgb[3]);

}  // namespace veldan::headsim
