#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace veldan::headsim {

// An 8-bit RGB raster, rows top to bottom, three bytes per pixel (R, G, B).
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    RgbImage() = default;
    RgbImage(int w, int h)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0) {}
    bool Empty() const { return width <= 0 || height <= 0; }
    uint8_t* At(int x, int y) {
        return &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) *
                       3];
    }
    const uint8_t* At(int x, int y) const {
        return &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) *
                       3];
    }
};

}  // namespace veldan::headsim
