#pragma once
// Size limits for decoded pictures. A file can declare any size in a few
// bytes of header; every decoder checks the declared size against these
// limits before it allocates anything, so that a damaged or hostile file
// cannot exhaust memory.
#include <cstdint>
#include "imaging/Result.h"
#include "platform/Export.h"

namespace veldan::imaging {

struct Limits {
    uint32_t max_side = 30000;                   // pixels on either side
    uint64_t max_pixels = 400ull * 1000 * 1000;  // width * height

    // No policy limit, only what memory addressing allows.
    static constexpr Limits None() { return Limits{UINT32_MAX, UINT64_MAX}; }
};

// Ok when width and height are non-zero and within `limits`; kTooLarge above
// them, kCorrupt for a zero dimension.
VELDAN_API Status CheckDimensions(uint64_t width, uint64_t height, const Limits& limits = {});

}  // namespace veldan::imaging
