#pragma once
// Helpers of the preview tests: projects whose tiles hold pictures written
// to disk, and thumbnails made before warping so that a synchronous warp has
// its picture at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Png.h"
#include "platform/Text.h"

namespace veldan::test {

using veldan::imaging::Bitmap;
using veldan::imaging::PixelLayout;

inline Bitmap& B(void* p) { return *static_cast<Bitmap*>(p); }

inline Bitmap Solid(uint32_t w, uint32_t h, uint32_t argb) {
    Bitmap b = std::move(Bitmap::Create(w, h, PixelLayout::kBgr24).value());
    b.FillWith(argb);
    return b;
}

// Appends a tile with one bracketing of one image showing `picture` (PNG
// written to `file`; no file when the picture is empty).
inline VELDANPanoramaTile* AddTile(VELDANPanoramaProject& project, double x, double y, double fx, double fy,
                                   const Bitmap& picture, const std::filesystem::path& file) {
    auto* tile = new_VELDANPanoramaTile(1);
    tile->pos_x = x;
    tile->pos_y = y;
    tile->fov_x = fx;
    tile->fov_y = fy;
    auto* bracketing = new_VELDANPanoramaBracketing(1);
    bracketing->SetImageCnt(1);
    tile->bracketings.AddItem(bracketing, 0, true);
    project.AppendTile(tile);
    if (!picture.Empty()) {
        EXPECT_TRUE(veldan::imaging::SavePng(picture, file).ok());
        bracketing->GetImage(0)->SetFilename(veldan::platform::PathToWide(file).c_str());
    }
    return tile;
}

inline VELDANPanoramaImage* ImageOf(VELDANPanoramaTile* tile) { return tile->Bracketing(0)->GetImage(0); }

// Makes the thumbnail that WarpImage asks for (twice the drawing rectangle,
// at most the picture), synchronously.
inline void PrepareThumb(VELDANPanoramaProject& project, VELDANPanoramaTile* tile, uint32_t W, uint32_t H) {
    int32_t l, t;
    uint32_t w, h;
    ASSERT_TRUE(VELDANPanoramaStitcher::GetDrawingRect(&project, tile, W, H, l, t, w, h));
    VELDANPanoramaImage* image = ImageOf(tile);
    image->GenerateThumb(nullptr, std::min(2 * w, image->GetWidth()), std::min(2 * h, image->GetHeight()));
}

inline uint8_t Red(uint32_t argb) { return uint8_t(argb >> 16); }
inline uint8_t Green(uint32_t argb) { return uint8_t(argb >> 8); }
inline uint8_t Blue(uint32_t argb) { return uint8_t(argb); }
inline uint8_t Alpha(uint32_t argb) { return uint8_t(argb >> 24); }

}  // namespace veldan::test
