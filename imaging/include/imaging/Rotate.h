#pragma once
// Turning pictures by quarter turns and mirroring, e.g. to show a picture
// upright from its EXIF orientation.
#include <cstdint>
#include "imaging/Bitmap.h"
#include "imaging/Result.h"

namespace veldan::imaging {

// Clockwise quarter turns.
enum class QuarterTurns : uint8_t { k0 = 0, k90 = 1, k180 = 2, k270 = 3 };

// A new bitmap turned clockwise by `turns` (width and height swap for 90
// and 270), same layout.
VELDAN_API Result<Bitmap> Rotate(const Bitmap& source, QuarterTurns turns);
// A new bitmap mirrored left to right.
VELDAN_API Result<Bitmap> MirrorHorizontally(const Bitmap& source);
// A new bitmap shown upright for EXIF orientation 1..8 (other values: a
// plain copy).
VELDAN_API Result<Bitmap> ApplyExifOrientation(const Bitmap& source, uint16_t orientation);

}  // namespace veldan::imaging
