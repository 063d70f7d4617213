// Rendering the view of the head's camera from the equirectangular source
// panorama.
#include "ViewRenderer.h"

#include <cmath>

namespace veldan::headsim {

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;

struct Vec3 {
    double x, y, z;
};

Vec3 Polar(double theta, double phi, double r) {
    return {r * std::cos(phi) * std::cos(theta), r * std::cos(phi) * std::sin(theta), r * std::sin(phi)};
}
}  // namespace

void ViewDirection(const ViewSpec& view, double s, double t, double& azimuthDeg, double& elevationDeg) {
    const double theta = view.azimuthDeg * kDeg;
    const double phi = view.elevationDeg * kDeg;
    const double across = view.portrait ? view.sensorHeightMm : view.sensorWidthMm;
    const double down = view.portrait ? view.sensorWidthMm : view.sensorHeightMm;
    const Vec3 c = Polar(theta, phi, 1.0);
    const Vec3 a = Polar(theta + kPi / 2.0, 0.0, across / view.focalMm);
    const Vec3 b = Polar(theta, phi - kPi / 2.0, down / view.focalMm);
    const Vec3 d{c.x + s * a.x + t * b.x, c.y + s * a.y + t * b.y, c.z + s * a.z + t * b.z};
    const double r = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    double az = std::atan2(d.y, d.x);
    if (az < 0) az += 2.0 * kPi;
    azimuthDeg = az / kDeg;
    elevationDeg = std::asin(std::fmax(-1.0, std::fmin(1.0, d.z / r))) / kDeg;
}

void SamplePanorama(const RgbImage& pano, double azimuthDeg, double elevationDeg, uint8_t rgb[3]) {
    double u = std::fmod(azimuthDeg, 360.0);
    if (u < 0) u += 360.0;
    u = u * pano.width / 360.0;
    double v = (90.0 - elevationDeg) * (pano.height - 1) / 180.0;
    v = std::fmax(0.0, std::fmin(static_cast<double>(pano.height - 1), v));
    int x0 = static_cast<int>(std::floor(u));
    int y0 = static_cast<int>(std::floor(v));
    double fx = u - x0;
    double fy = v - y0;
    x0 %= pano.width;
    int x1 = (x0 + 1) % pano.width;
    int y1 = y0 + 1 < pano.height ? y0 + 1 : y0;
    const uint8_t* p00 = pano.At(x0, y0);
    const uint8_t* p10 = pano.At(x1, y0);
    const uint8_t* p01 = pano.At(x0, y1);
    const uint8_t* p11 = pano.At(x1, y1);
    for (int k = 0; k < 3; ++k) {
        double top = p00[k] + (p10[k] - p00[k]) * fx;
        double bottom = p01[k] + (p11[k] - p01[k]) * fx;
        double value = top + (bottom - top) * fy;
        rgb[k] = static_cast<uint8_t>(std::lround(std::fmax(0.0, std::fmin(255.0, value))));
    }
}

RgbImage RenderUprightView(const RgbImage& panorama, const ViewSpec& view) {
    const int w = view.portrait ? view.height : view.width;
    const int h = view.portrait ? view.width : view.height;
    RgbImage out(w, h);
    if (panorama.Empty()) return out;
    for (int j = 0; j < h; ++j) {
        const double t = (j + 0.5) / h - 0.5;
        for (int i = 0; i < w; ++i) {
            const double s = (i + 0.5) / w - 0.5;
            double az, el;
            ViewDirection(view, s, t, az, el);
            SamplePanorama(panorama, az, el, out.At(i, j));
        }
    }
    return out;
}

RgbImage TurnClockwise(const RgbImage& image) {
    // Turned a quarter clockwise: the top row becomes the right column.
    RgbImage out(image.height, image.width);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const uint8_t* src = image.At(y, image.height - 1 - x);
            uint8_t* dst = out.At(x, y);
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
    return out;
}

RgbImage RenderView(const RgbImage& panorama, const ViewSpec& view) {
    RgbImage upright = RenderUprightView(panorama, view);
    return view.portrait ? TurnClockwise(upright) : upright;
}

}  // namespace veldan::headsim
