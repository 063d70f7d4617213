#pragma once
#include <cstdint>

#include "VELDANPanorama/PanoramaProject.h"

namespace veldan::project::plan {

// No camera brackets more exposures than this; larger slot counts (from a
// project file or a script call) are refused instead of allocating without
// bound.
constexpr uint32_t kMaxImagesPerBracketing = 256;

// Appends one bracketing of `slots` blank images to the tile. The images get
// orientation 0 when the camera orientation is 1, else 1 (a quarter turn).
// With `bracketed` every slot receives its exposure offset from the
// bracketing settings; otherwise only slot 0 is filled, with offset 0.
// A slot count of 0 is taken as 1, so that the tile stays savable.
void AddPlannedBracketing(VELDANPanoramaTile& tile, const VELDANPanoramaProject::_HDRI& hdri,
                          uint32_t camera_orientation, uint32_t slots, bool bracketed);

}  // namespace veldan::project::plan
