// The demo project of the screenshots: its plan, the painted landscape and the
// pictures shot from it.
#include "DemoProject.h"
#include <cmath>
#include <cstdio>
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"
#include "platform/Text.h"

namespace veldan::preview::demo {

using platform::PathToWide;

namespace {

constexpr double kPi = 3.141592653589793;

}  // namespace

// The colour of the painted scene in the direction (theta, phi), degrees.
uint32_t SceneColour(double theta, double phi) {
    const double ridge = 6 + 5 * std::sin(theta * kPi / 45) + 3 * std::sin(theta * kPi / 13 + 1);
    if (phi > ridge) {
        const double sun = std::hypot(std::remainder(theta - 120, 360), phi - 35);
        if (sun < 6) return imaging::MakeArgb(255, 255, 240, 180);
        const double t = std::min(1.0, (phi - ridge) / 90);
        return imaging::MakeArgb(255, uint8_t(150 - 110 * t), uint8_t(190 - 90 * t), uint8_t(235 - 40 * t));
    }
    if (phi > 0) return imaging::MakeArgb(255, 70, uint8_t(90 + phi * 3), 110);
    const bool stripe = static_cast<int>(std::floor(theta / 15) + std::floor(-phi / 10)) % 2 == 0;
    const double d = std::min(1.0, -phi / 90);
    return imaging::MakeArgb(255, uint8_t((stripe ? 120 : 95) - 40 * d), uint8_t((stripe ? 150 : 120) - 50 * d),
                             uint8_t(60 - 20 * d));
}

void PlanDemoProject(VELDANPanoramaProject& project, const std::filesystem::path& folder) {
    project.description.Set(L"Demo");
    project.project_path.Set(PathToWide(folder).c_str());
    project.lens.focal_length = 50;
    project.sensor.dimension_x = 36;
    project.sensor.dimension_y = 24;
    project.camera.orientation = 1;
    project.fov.begin_theta = 0;
    project.fov.end_theta = 360;
    project.fov.begin_phi = -90;
    project.fov.end_phi = 90;
    project.options.overlap = 0.1;
    project.ComputeTiles(false);
    project.ComputePath(0);
}

uint32_t ShootDemoPictures(VELDANPanoramaProject& project, const std::filesystem::path& folder, uint32_t shots,
                           uint32_t width, uint32_t height) {
    auto bitmap = imaging::Bitmap::Create(width, height, imaging::PixelLayout::kBgr24);
    if (!bitmap.ok()) return 0;
    imaging::Bitmap& b = bitmap.value();
    uint32_t written = 0;
    for (uint32_t k = 0; k < shots && k < project.path.GetItemCount(); ++k) {
        VELDANPanoramaTile* tile = project.Tile(static_cast<uint32_t>(project.path.Node(k)->tile_nr));
        VELDANPanoramaBracketing* bracketing = tile ? tile->Bracketing(tile->variant) : nullptr;
        VELDANPanoramaImage* image = bracketing ? bracketing->GetImage(0) : nullptr;
        if (!image) continue;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const double theta = tile->pos_x + (x / double(width) - 0.5) * tile->fov_x;
                const double phi = tile->pos_y - (y / double(height) - 0.5) * tile->fov_y;
                b.SetArgb(x, y, SceneColour(theta, phi));
            }
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04u.JPG", k + 1);
        const std::filesystem::path file = folder / name;
        if (!imaging::SaveJpeg(b, file).ok()) continue;
        image->orientation = 0;  // written upright
        image->SetFilename(PathToWide(file).c_str());
        ++written;
    }
    return written;
}

}  // namespace veldan::preview::demo
