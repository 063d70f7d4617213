// PSNR of a stitched panorama against its source scene over the directions the
// tiles cover.
#include "PanoramaCompare.h"

#include <cmath>
#include <numbers>

namespace veldan::test {

namespace {
constexpr double kDeg = std::numbers::pi / 180;
}

bool Covered(const std::vector<headsim::ViewSpec>& views, double az, double el, double margin) {
    const double ca = std::cos(az * kDeg), sa = std::sin(az * kDeg), ce = std::cos(el * kDeg), se = std::sin(el * kDeg);
    const double d[3] = {ce * ca, ce * sa, se};
    for (const headsim::ViewSpec& v : views) {
        const double t0 = v.azimuthDeg * kDeg, p0 = v.elevationDeg * kDeg;
        const double c[3] = {std::cos(p0) * std::cos(t0), std::cos(p0) * std::sin(t0), std::sin(p0)};
        const double dc = d[0] * c[0] + d[1] * c[1] + d[2] * c[2];
        if (dc <= 0) continue;
        // On the plane through c perpendicular to c, the unit directions
        // across (increasing azimuth) and down.
        const double a[3] = {-std::sin(t0), std::cos(t0), 0};
        const double b[3] = {std::sin(p0) * std::cos(t0), std::sin(p0) * std::sin(t0), -std::cos(p0)};
        const double across = (v.portrait ? v.sensorHeightMm : v.sensorWidthMm) / v.focalMm;
        const double down = (v.portrait ? v.sensorWidthMm : v.sensorHeightMm) / v.focalMm;
        const double s = (d[0] * a[0] + d[1] * a[1] + d[2] * a[2]) / dc / across;
        const double t = (d[0] * b[0] + d[1] * b[1] + d[2] * b[2]) / dc / down;
        if (std::fabs(s) < 0.5 - margin && std::fabs(t) < 0.5 - margin) return true;
    }
    return false;
}

Psnr Compare(const veldan::imaging::Bitmap& stitched, const headsim::RgbImage& scene,
             const std::vector<headsim::ViewSpec>& views, const PanoramaDirection& direction) {
    double sum = 0;
    uint64_t n = 0;
    for (uint32_t y = 0; y < stitched.Height(); ++y)
        for (uint32_t x = 0; x < stitched.Width(); ++x) {
            double az, el;
            direction(x, y, az, el);
            if (!Covered(views, az, el, 0.01)) continue;
            uint8_t ref[3];
            headsim::SamplePanorama(scene, az, el, ref);
            const uint32_t p = stitched.GetArgb(x, y);
            const double e[3] = {double(uint8_t(p >> 16)) - ref[0], double(uint8_t(p >> 8)) - ref[1],
                                 double(uint8_t(p)) - ref[2]};
            sum += e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
            n += 3;
        }
    Psnr r;
    const double area = double(stitched.Width()) * stitched.Height();
    r.covered = area > 0 ? double(n / 3) / area : 0;
    // A perfect match has no finite PSNR; it is reported as 99 dB.
    r.db = !n ? 0 : sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
    return r;
}

PanoramaDirection PreviewDirection(uint32_t width, uint32_t height) {
    return PreviewDirection(width, height, 0, 360, -90, 90);
}

PanoramaDirection PreviewDirection(uint32_t width, uint32_t height, double theta0, double theta1, double phi0,
                                   double phi1) {
    const double dtheta = theta1 - theta0, dphi = phi1 - phi0;
    const double m = dtheta == 360 ? double(width) : double(width > 1 ? width - 1 : 1);
    return [=](uint32_t x, uint32_t y, double& az, double& el) {
        az = std::fmod(theta0 + x * dtheta / m + 720, 360.0);
        el = height > 1 ? phi1 - y * dphi / (height - 1) : phi0 + dphi / 2;
    };
}

PanoramaDirection NonaDirection(uint32_t width, uint32_t height) {
    return [width, height](uint32_t x, uint32_t y, double& az, double& el) {
        az = std::fmod((x + 0.5) * 360.0 / width - 180 + 360, 360.0);
        el = 90 - (y + 0.5) * 180.0 / height;
    };
}

}  // namespace veldan::test
