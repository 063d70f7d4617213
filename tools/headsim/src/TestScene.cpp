// MakeTestScene: the synthetic equirectangular scene (hue by azimuth,
// brightness by elevation, grid lines, texture).
#include "TestScene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace veldan::headsim {

namespace {
void HsvToRgb(double h, double s, double v, double rgb[3]) {
    h = std::fmod(h, 360.0);
    if (h < 0) h += 360.0;
    const double c = v * s;
    const double x = c * (1.0 - std::fabs(std::fmod(h / 60.0, 2.0) - 1.0));
    const double m = v - c;
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h / 60.0)) {
        case 0: r = c, g = x; break;
        case 1: r = x, g = c; break;
        case 2: g = c, b = x; break;
        case 3: g = x, b = c; break;
        case 4: r = x, b = c; break;
        default: r = c, b = x; break;
    }
    rgb[0] = r + m;
    rgb[1] = g + m;
    rgb[2] = b + m;
}

// Smooth value noise on a lattice, deterministic.
double Hash(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double Noise(double x, double y) {
    int x0 = static_cast<int>(std::floor(x));
    int y0 = static_cast<int>(std::floor(y));
    double fx = x - x0, fy = y - y0;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    double a = Hash(x0, y0), b = Hash(x0 + 1, y0), c = Hash(x0, y0 + 1), d = Hash(x0 + 1, y0 + 1);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

void BaseColour(double az, double el, double rgb[3]) {
    const double value = 0.30 + 0.60 * (el + 90.0) / 180.0;
    HsvToRgb(az, 0.75, value, rgb);
}
}  // namespace

void TestSceneBaseColour(double azimuthDeg, double elevationDeg, uint8_t rgb[3]) {
    double c[3];
    BaseColour(azimuthDeg, elevationDeg, c);
    for (int k = 0; k < 3; ++k) rgb[k] = static_cast<uint8_t>(std::lround(std::clamp(c[k], 0.0, 1.0) * 255.0));
}

RgbImage MakeTestScene(int width, int height) {
    RgbImage img(width, height);
    if (width <= 0 || height <= 1) return img;
    const double degPerPixel = 360.0 / width;
    for (int y = 0; y < height; ++y) {
        const double el = 90.0 - y * 180.0 / (height - 1);
        for (int x = 0; x < width; ++x) {
            const double az = x * degPerPixel;
            double c[3];
            BaseColour(az, el, c);
            // Texture: two octaves of noise on a grid of about 1.5° and 0.4°,
            // a gentle ±12 % change of brightness.
            const double n = 0.65 * Noise(az / 1.5, el / 1.5) + 0.35 * Noise(az / 0.4 + 100.0, el / 0.4 + 100.0);
            double k = 0.88 + 0.24 * n;
            // Grid lines, about a pixel wide at any size (at least 0.15°).
            const double halfWidth = std::max(degPerPixel * 0.75, 0.15);
            auto near = [&](double angle, double step) {
                double r = std::fmod(std::fabs(angle), step);
                return std::min(r, step - r) <= halfWidth;
            };
            bool major = near(az, 30.0) || near(el, 30.0);
            bool minor = near(az, 10.0) || near(el, 10.0);
            bool axis = std::min(az, 360.0 - az) <= halfWidth * 1.5 || std::fabs(el) <= halfWidth * 1.5;
            if (axis)
                k = 0.0;
            else if (major)
                k = 0.25;
            else if (minor)
                k *= 0.6;
            uint8_t* p = img.At(x, y);
            for (int i = 0; i < 3; ++i)
                p[i] = static_cast<uint8_t>(std::lround(std::clamp(c[i] * k, 0.0, 1.0) * 255.0));
        }
    }
    return img;
}

}  // namespace veldan::headsim
