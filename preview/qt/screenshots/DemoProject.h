#pragma once
#include <cstdint>
#include <filesystem>

class VELDANPanoramaProject;

namespace veldan::preview::demo {

// The painted landscape of the demo pictures (sky, sun, a ridge, a chequered
// field) in the direction (theta azimuth, phi elevation) in degrees, as
// 0xAARRGGBB.
uint32_t SceneColour(double theta, double phi);

// A planned full-sphere project (36 x 24 mm sensor, 50 mm lens, 10 %
// overlap: 88 tiles, rows from the bottom) named "Demo" in folder.
void PlanDemoProject(VELDANPanoramaProject& project, const std::filesystem::path& folder);

// Writes a JPEG of width x height for every tile of the first `shots` tiles
// in path order (a painted landscape as seen at the tile's angles) and
// gives it to the tile's first image. Returns the number written.
uint32_t ShootDemoPictures(VELDANPanoramaProject& project, const std::filesystem::path& folder, uint32_t shots,
                           uint32_t width, uint32_t height);

}  // namespace veldan::preview::demo
