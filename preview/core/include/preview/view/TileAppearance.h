#pragma once
#include <cstdint>

// How a tile looks in the preview: its tint and border colours from its
// display flags and the status of its picture, and the rectangle of a box
// too small for a picture.
namespace veldan::preview {

struct IntRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }   // one past the last column
    int Bottom() const { return top + height; }  // one past the last row
    bool operator==(const IntRect&) const = default;
};

// Tint (ARGB) laid over the tile's picture. The alpha is 0x40, 0x80 when
// hovered, plus 0x40 for selected and 0x40 for being shot, in 32-bit
// arithmetic (all three together wrap to alpha 0). A picture that cannot be
// loaded is tinted red; no flag means no tint; being shot alone is green.
uint32_t TileTint(uint32_t flags, uint32_t status);
// Border colour: black (dark grey when hovered), plus 0x808080 when
// selected and 0x008000 when being shot (added as 32-bit numbers).
uint32_t TileBorder(uint32_t flags);
// One colour channel after the tint: (1 - a) * channel + a * tint channel
// with a = tint alpha / 255.
uint8_t TintChannel(uint8_t channel, uint8_t tint, uint8_t alpha);

// A box narrower or lower than 16 pixels is drawn as a rectangle of its
// border colour, at least 5 x 5; a side of 4 pixels or less is centred on
// the box.
bool IsSmallBox(const IntRect& box);
IntRect SmallBoxRect(const IntRect& box);

// Which placeholder stands in for a missing picture.
enum class Placeholder { Square, Wide, Tall };
Placeholder PlaceholderFor(double aspectRatio);

}  // namespace veldan::preview
