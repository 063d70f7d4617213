// A tile's tint and border colours and the rectangle of a box too small for a
// picture.
#include "preview/view/TileAppearance.h"
#include <cmath>
#include "preview/view/DisplayMode.h"

namespace veldan::preview {

namespace {
constexpr uint32_t kCannotLoad = 0x20000100;
}

uint32_t TileTint(uint32_t flags, uint32_t status) {
    uint32_t alpha = (flags & kTileHovered) ? 0x80u : 0x40u;
    if (flags & kTileSelected) alpha += 0x40;
    if (flags & kTileBeingShot) alpha += 0x40;
    // Shifted as a 32-bit number: an alpha of 0x100 leaves 0.
    const uint32_t a = static_cast<uint32_t>(static_cast<uint64_t>(alpha) << 24);
    if (status == kCannotLoad) return a | 0xFF0000u;
    if (flags == 0) return 0;
    if (flags == kTileBeingShot) return 0x4000FF00u;
    return a | 0xFFFFFFu;
}

uint32_t TileBorder(uint32_t flags) {
    uint32_t colour = (flags & kTileHovered) ? 0xFF404040u : 0xFF000000u;
    if (flags & kTileSelected) colour += 0x808080u;
    if (flags & kTileBeingShot) colour += 0x008000u;
    return colour;
}

uint8_t TintChannel(uint8_t channel, uint8_t tint, uint8_t alpha) {
    const double a = alpha / 255.0;
    return static_cast<uint8_t>(std::lround((1.0 - a) * channel + a * tint));
}

bool IsSmallBox(const IntRect& box) { return box.width < 16 || box.height < 16; }

IntRect SmallBoxRect(const IntRect& box) {
    IntRect r;
    r.width = box.width < 5 ? 5 : box.width;
    r.height = box.height < 5 ? 5 : box.height;
    r.left = box.width <= 4 ? box.left + box.width / 2 - 2 : box.left;
    r.top = box.height <= 4 ? box.top + box.height / 2 - 2 : box.top;
    return r;
}

Placeholder PlaceholderFor(double aspectRatio) {
    if (aspectRatio > 1) return Placeholder::Wide;
    if (aspectRatio < 1) return Placeholder::Tall;
    return Placeholder::Square;
}

}  // namespace veldan::preview
