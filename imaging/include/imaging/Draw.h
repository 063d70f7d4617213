#pragma once
// Drawing one bitmap onto another at its own size.
#include <cstdint>
#include "imaging/Bitmap.h"

namespace veldan::imaging {

// Draws `source` with its top-left corner at (x, y) of `target`,
// source-over with straight alpha: opaque source pixels replace the target,
// fully transparent ones leave it as it was, others blend. A BGR source is
// opaque; a BGR target stays opaque. Parts outside the target are clipped;
// any offset is allowed.
VELDAN_API void DrawOver(Bitmap& target, const Bitmap& source, int64_t x, int64_t y);

// Copies `source` into `target` at (x, y) without blending (alpha copied
// between ARGB bitmaps, dropped into BGR, 255 from BGR), clipped.
VELDAN_API void CopyInto(Bitmap& target, const Bitmap& source, int64_t x, int64_t y);

// The source-over result of one pixel (ARGB values), exposed for callers
// that blend single pixels.
VELDAN_API uint32_t BlendOver(uint32_t target, uint32_t source);

}  // namespace veldan::imaging
