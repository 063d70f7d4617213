#pragma once
// Shared set-up of the view tests: one QApplication on the offscreen
// platform and the project library's worker pool for the whole run, and
// small projects whose tiles sit in known boxes.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <filesystem>
#include <memory>
#include "QtTestSupport.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"
#include "platform/Text.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::test {

namespace fs = std::filesystem;

// The application and the project library's worker pool for the whole run.
class QtPoolEnvironment : public QtEnvironment {
public:
    QtPoolEnvironment() : QtEnvironment("previewview_tests") {}

protected:
    void Started() override { InitGlobalThreadPool(); }
    void Stopping() override { DeinitGlobalThreadPool(); }
};

// A tile with one bracketing of `images` blank images, placed in the box
// (left, top, width, height) of the flow chart with a fitting aspect ratio.
inline VELDANPanoramaTile* AddBoxedTile(VELDANPanoramaProject& project, double left, double top, double width,
                                        double height, uint32_t images = 1) {
    auto* tile = new VELDANPanoramaTile();
    auto* b = new VELDANPanoramaBracketing();
    b->SetImageCnt(images);
    for (uint32_t i = 0; i < images; ++i) b->GetImage(i);
    tile->bracketings.AddItem(b, 0);
    tile->display_left = left;
    tile->display_top = top;
    tile->display_right = left + width;
    tile->display_bottom = top + height;
    tile->display_x = left + width / 2;
    tile->display_y = top + height / 2;
    tile->aspect_ratio = width / height;
    project.AppendTile(tile);
    return tile;
}

// A tile of 40° x 30° at pan `x` and tilt `y` with one bracketing of one
// blank image; its display box is left to the view's layout.
inline VELDANPanoramaTile* AddPlacedTile(VELDANPanoramaProject& project, double x, double y = 0) {
    auto* tile = new VELDANPanoramaTile();
    tile->pos_x = x;
    tile->pos_y = y;
    tile->fov_x = 40;
    tile->fov_y = 30;
    auto* b = new VELDANPanoramaBracketing();
    b->SetImageCnt(1);
    b->GetImage(0);
    tile->bracketings.AddItem(b, 0);
    project.AppendTile(tile);
    return tile;
}

// Placed tiles at the pans given, visited in that order.
inline void AddTileRow(VELDANPanoramaProject& project, std::initializer_list<double> pans) {
    for (const double x : pans) {
        AddPlacedTile(project, x);
        project.path.Append(static_cast<int32_t>(project.TileCount() - 1));
    }
}

inline VELDANPanoramaImage* FirstImage(VELDANPanoramaTile* tile) { return tile->Bracketing(0)->images[0].get(); }

// A JPEG of one colour.
inline void WriteColouredJpeg(const fs::path& file, uint32_t w, uint32_t h, uint32_t argb) {
    auto bitmap = veldan::imaging::Bitmap::Create(w, h, veldan::imaging::PixelLayout::kBgr24);
    ASSERT_TRUE(bitmap.ok());
    bitmap->FillWith(argb);
    ASSERT_TRUE(veldan::imaging::SaveJpeg(*bitmap, file).ok());
}

inline std::wstring Wide(const fs::path& p) { return veldan::platform::PathToWide(p); }

// Channel distance of two colours.
inline int ColourDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

}  // namespace veldan::test
