// The preview view's rules without a window: tile colours, the smallest
// boxes, the letterbox, hit testing, the path arrows, when the flow chart is
// laid out again, the warped boxes and the tile commands' selection rules.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "platform/Text.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/view/DisplayMode.h"
#include "preview/view/TileAppearance.h"
#include "preview/view/TileCommands.h"
#include "preview/view/ViewLayout.h"
#include "preview/view/ViewWarping.h"

namespace veldan::test {

using namespace veldan::preview;

namespace {

VELDANPanoramaTile* AddTile(VELDANPanoramaProject& p, double l, double t, double r, double b, uint32_t images = 1) {
    auto* tile = new VELDANPanoramaTile();
    tile->display_left = l;
    tile->display_top = t;
    tile->display_right = r;
    tile->display_bottom = b;
    tile->display_x = (l + r) / 2;
    tile->display_y = (t + b) / 2;
    tile->aspect_ratio = (r - l) / (b - t);
    if (images) {
        auto* br = new VELDANPanoramaBracketing();
        br->SetImageCnt(images);
        for (uint32_t i = 0; i < images; ++i) br->GetImage(i)->ev = 3 * static_cast<int32_t>(i) - 3;
        tile->bracketings.AddItem(br, 0);
    }
    p.AppendTile(tile);
    return tile;
}

struct RecordingView : TileView {
    std::vector<uint32_t> redrawn;
    int all = 0;
    std::vector<VELDANPanoramaImage*> previews;
    void RedrawTile(uint32_t t) override { redrawn.push_back(t); }
    void RedrawAll() override { ++all; }
    void ShowImagePreview(VELDANPanoramaImage* image) override { previews.push_back(image); }
};

TEST(TileAppearanceTest, TintAndBorderFollowFlagsAndStatus) {
    EXPECT_EQ(TileTint(0, 0x200), 0u);
    EXPECT_EQ(TileTint(1, 0x200), 0x80FFFFFFu);
    EXPECT_EQ(TileTint(2, 0x200), 0x80FFFFFFu);
    EXPECT_EQ(TileTint(3, 0x200), 0xC0FFFFFFu);
    EXPECT_EQ(TileTint(4, 0x200), 0x4000FF00u);  // being shot alone: green
    EXPECT_EQ(TileTint(5, 0x200), 0xC0FFFFFFu);
    EXPECT_EQ(TileTint(7, 0x200), 0x00FFFFFFu);  // 0x100 wraps to no alpha
    EXPECT_EQ(TileTint(0, 0x20000100), 0x40FF0000u);
    EXPECT_EQ(TileTint(4, 0x20000100), 0x80FF0000u);
    EXPECT_EQ(TileBorder(0), 0xFF000000u);
    EXPECT_EQ(TileBorder(1), 0xFF404040u);
    EXPECT_EQ(TileBorder(2), 0xFF808080u);
    EXPECT_EQ(TileBorder(4), 0xFF008000u);
    EXPECT_EQ(TileBorder(7), 0xFFC140C0u);
    EXPECT_EQ(TintChannel(200, 255, 0), 200);
    EXPECT_EQ(TintChannel(200, 255, 255), 255);
    EXPECT_EQ(TintChannel(0, 255, 0x80), 128);
}

TEST(TileAppearanceTest, SmallBoxesGrowToFiveAndCentreShortSides) {
    EXPECT_EQ(SmallBoxRect({10, 10, 3, 3}), (IntRect{9, 9, 5, 5}));
    EXPECT_EQ(SmallBoxRect({10, 10, 0, 0}), (IntRect{8, 8, 5, 5}));
    EXPECT_EQ(SmallBoxRect({10, 10, 4, 12}), (IntRect{10, 10, 5, 12}));
    EXPECT_EQ(SmallBoxRect({10, 10, 8, 2}), (IntRect{10, 9, 8, 5}));
    EXPECT_TRUE(IsSmallBox({0, 0, 15, 100}));
    EXPECT_FALSE(IsSmallBox({0, 0, 16, 16}));
    EXPECT_EQ(PlaceholderFor(1.5), Placeholder::Wide);
    EXPECT_EQ(PlaceholderFor(0.66), Placeholder::Tall);
    EXPECT_EQ(PlaceholderFor(1.0), Placeholder::Square);
}

TEST(ViewLayoutTest, LetterboxKeepsThePanoramasProportionsCentred) {
    _FOV fov;  // 0..360, -90..90
    EXPECT_EQ(LetterboxArea({0, 0, 400, 300}, fov), (IntRect{0, 50, 400, 200}));
    EXPECT_EQ(LetterboxArea({0, 0, 601, 200}, fov), (IntRect{100, 0, 400, 200}));  // integer halves
    fov.begin_theta = 300;  // reversed ranges count by their size
    fov.end_theta = 120;
    fov.begin_phi = 30;
    fov.end_phi = -30;
    EXPECT_EQ(LetterboxArea({10, 20, 300, 300}, fov), (IntRect{10, 120, 300, 100}));
    fov.end_phi = 30;  // no height: the area stays
    EXPECT_EQ(LetterboxArea({10, 20, 300, 300}, fov), (IntRect{10, 20, 300, 300}));
}

TEST(ViewLayoutTest, HitTestPicksTheNearestCentreAndTheLowerNumberOnATie) {
    VELDANPanoramaProject p;
    AddTile(p, 0, 0, 100, 100);
    AddTile(p, 50, 0, 150, 100);
    AddTile(p, 50, 0, 150, 100);  // same box as tile 1
    EXPECT_EQ(HitTest(p, 10, 50), 0);
    EXPECT_EQ(HitTest(p, 60, 50), 0);    // 10 from tile 0's centre, 40 from tile 1's
    EXPECT_EQ(HitTest(p, 90, 50), 1);    // tie between 1 and 2: the lower
    EXPECT_EQ(HitTest(p, 150, 100), 1);  // edges belong to the box
    EXPECT_EQ(HitTest(p, 151, 50), -1);
    EXPECT_EQ(HitTest(p, -1, 50), -1);
}

TEST(ViewLayoutTest, PathLinksLeaveTheFacingEdgesAndEndInATriangle) {
    VELDANPanoramaProject p;
    VELDANPanoramaTile* a = AddTile(p, 100, 100, 140, 130);
    VELDANPanoramaTile* right = AddTile(p, 200, 105, 240, 135);
    VELDANPanoramaTile* aboveRight = AddTile(p, 200, 20, 240, 50);
    VELDANPanoramaTile* below = AddTile(p, 110, 200, 150, 230);
    VELDANPanoramaTile* left = AddTile(p, 10, 100, 50, 130);
    VELDANPanoramaTile* overlap = AddTile(p, 120, 110, 160, 140);
    PathLinkShape s;
    ASSERT_TRUE(PathLinkGeometry(*a, *right, s));
    EXPECT_EQ(s.start, (PointI{140, 115}));
    EXPECT_EQ(s.control1, (PointI{170, 115}));
    EXPECT_EQ(s.control2, (PointI{170, 120}));
    EXPECT_EQ(s.end, (PointI{193, 120}));
    EXPECT_EQ(s.triangle[0], (PointI{198, 120}));
    EXPECT_EQ(s.triangle[1], (PointI{193, 115}));
    EXPECT_EQ(s.triangle[2], (PointI{193, 125}));

    ASSERT_TRUE(PathLinkGeometry(*a, *aboveRight, s));
    EXPECT_EQ(s.start, (PointI{140, 100}));
    EXPECT_EQ(s.control1, (PointI{190, 50}));
    EXPECT_EQ(s.control2, (PointI{150, 100}));
    EXPECT_EQ(s.end, (PointI{197, 53}));
    EXPECT_EQ(s.triangle[0], (PointI{199, 51}));
    EXPECT_EQ(s.triangle[1], (PointI{199, 58}));
    EXPECT_EQ(s.triangle[2], (PointI{192, 51}));

    ASSERT_TRUE(PathLinkGeometry(*a, *below, s));  // overlapping columns: straight down
    EXPECT_EQ(s.start, (PointI{120, 130}));
    EXPECT_EQ(s.control1, (PointI{120, 165}));
    EXPECT_EQ(s.control2, (PointI{130, 165}));
    EXPECT_EQ(s.end, (PointI{130, 193}));
    EXPECT_EQ(s.triangle[0], (PointI{130, 198}));

    ASSERT_TRUE(PathLinkGeometry(*a, *left, s));
    EXPECT_EQ(s.start, (PointI{100, 115}));
    EXPECT_EQ(s.end, (PointI{56, 115}));
    EXPECT_EQ(s.triangle[0], (PointI{51, 115}));

    EXPECT_FALSE(PathLinkGeometry(*a, *overlap, s));
}

TEST(ViewLayoutTest, RelayoutWhenBoxesLoseTheirProportionsOrAspectRatiosChange) {
    TempHome home;
    VELDANPanoramaProject p;
    VELDANPanoramaTile* tile = AddTile(p, 0, 0, 40, 30);
    EXPECT_FALSE(FlowChartNeedsRelayout(p, 0));
    tile->display_right = 43;  // 43 / 30 / (4/3) = 1.075
    EXPECT_TRUE(FlowChartNeedsRelayout(p, 0));
    tile->display_right = 41;  // within 5 %
    EXPECT_FALSE(FlowChartNeedsRelayout(p, 0));
    // The planned frame gives the aspect ratio while no picture is known.
    tile->fov_x = 30;
    tile->fov_y = 30;
    EXPECT_TRUE(FlowChartNeedsRelayout(p, 0));
    EXPECT_DOUBLE_EQ(tile->aspect_ratio, 1.0);
    // A picture's size wins over the frame.
    const auto file = home.Root() / "a.jpg";
    WriteJpeg(file, 300, 200);
    tile->Bracketing(0)->images[0]->SetFilename(veldan::platform::PathToWide(file).c_str());
    tile->display_right = 45;
    tile->display_bottom = 30;
    EXPECT_TRUE(FlowChartNeedsRelayout(p, 0));
    EXPECT_DOUBLE_EQ(tile->aspect_ratio, 1.5);
    EXPECT_FALSE(FlowChartNeedsRelayout(p, 0));
    tile->display_bottom = 0;  // a box without height
    EXPECT_TRUE(FlowChartNeedsRelayout(p, 0));
}

TEST(ViewLayoutTest, LayoutGivesEveryTileABoxInsideTheCanvas) {
    VELDANPanoramaProject p;
    p.lens.focal_length = 50;
    p.sensor.dimension_x = 36;
    p.sensor.dimension_y = 24;
    p.camera.orientation = 1;
    ASSERT_EQ(p.ComputeTiles(false), 88u);
    for (uint32_t t = 0; t < p.TileCount(); ++t) p.Tile(t)->aspect_ratio = p.Tile(t)->fov_x / p.Tile(t)->fov_y;
    LayoutExtent e;
    LayoutFlowChart(p, 800, 500, e);
    EXPECT_GE(e.left, 0);
    EXPECT_LE(e.right, 800);
    EXPECT_GE(e.top, 0);
    EXPECT_LE(e.bottom, 500);
    for (uint32_t t = 0; t < p.TileCount(); ++t) {
        const VELDANPanoramaTile* tile = p.Tile(t);
        EXPECT_GE(tile->display_left, 0) << t;
        EXPECT_LE(tile->display_right, 800) << t;
        EXPECT_GE(tile->display_top, 0) << t;
        EXPECT_LE(tile->display_bottom, 500) << t;
    }
    // Laid out, nothing needs laying out again.
    EXPECT_FALSE(FlowChartNeedsRelayout(p, 0));
    // Neighbours in a row do not overlap.
    EXPECT_LE(p.Tile(0)->display_right, p.Tile(1)->display_left);
}

TEST(ViewLayoutTest, WarpedBoxesWithoutDrawingRectanglesFollowPositionAndFrame) {
    VELDANPanoramaProject p;
    VELDANPanoramaTile* tile = AddTile(p, 0, 0, 1, 1);
    tile->pos_x = 180;
    tile->pos_y = 0;
    tile->fov_x = 36;
    tile->fov_y = 18;
    PlaceWarpedBoxes(p, DefaultViewWarping(), {10, 20, 360, 181});
    EXPECT_DOUBLE_EQ(tile->display_x, 190);      // column 180 of a 360-wide full circle
    EXPECT_DOUBLE_EQ(tile->display_y, 20 + 90);  // the middle row of 181
    EXPECT_NEAR(tile->display_left, 10 + 162, 1);
    EXPECT_NEAR(tile->display_right - tile->display_left, 37, 1);
    EXPECT_NEAR(tile->display_top, 20 + 81, 1);
    EXPECT_EQ(HitTest(p, 190, 110), 0);
}

class TileCommandsTest : public ::testing::Test {
protected:
    TempHome home;
    DocumentList list;
    CVELDANpreviewDoc doc{list};
    VELDANPanoramaProject& p = doc.Project();
    RecordingView view;
    ScriptedUi ui;
};

TEST_F(TileCommandsTest, HoverMovesAndRedrawsOnlyTheTilesThatChange) {
    for (int t = 0; t < 3; ++t) AddTile(p, 50.0 * t, 0, 50.0 * t + 40, 30);
    UpdateHover(p, 1, view);
    EXPECT_EQ(view.redrawn, std::vector<uint32_t>{1});
    UpdateHover(p, 1, view);  // already hovered: nothing
    EXPECT_EQ(view.redrawn.size(), 1u);
    UpdateHover(p, 2, view);
    EXPECT_EQ(view.redrawn, (std::vector<uint32_t>{1, 1, 2}));
    EXPECT_EQ(p.Tile(1)->display_flags, 0u);
    UpdateHover(p, -1, view);
    EXPECT_EQ(p.Tile(2)->display_flags, 0u);
    EXPECT_EQ(view.redrawn.back(), 2u);
}

TEST_F(TileCommandsTest, SelectionKeepsOtherFlagsAndTheMenuFollowsTheSelection) {
    for (int t = 0; t < 3; ++t) AddTile(p, 50.0 * t, 0, 50.0 * t + 40, 30);
    p.Tile(0)->display_flags = kTileBeingShot;
    ClickTile(p, 0, view);
    EXPECT_EQ(p.Tile(0)->display_flags, kTileBeingShot | kTileSelected);
    ContextMenuModel m = RightClickTile(p, 2, 0, view);
    EXPECT_TRUE(m.tileMenu);
    EXPECT_FALSE(m.multiple);
    EXPECT_EQ(SelectedTiles(p), std::vector<uint32_t>{2});
    EXPECT_EQ(p.Tile(0)->display_flags, kTileBeingShot);
    EXPECT_EQ(m.variantCount, 1u);
    EXPECT_EQ(m.checkedVariant, 0);
    EXPECT_FALSE(m.canShowImage);
    m = RightClickTile(p, -1, 0, view);
    EXPECT_FALSE(m.tileMenu);
    EXPECT_TRUE(SelectedTiles(p).empty());
}

TEST_F(TileCommandsTest, LocateWithMoreFilesThanTilesIgnoresTheRestAndSkipsTilesWithoutImages) {
    AddTile(p, 0, 0, 40, 30);
    AddTile(p, 50, 0, 90, 30, 0);  // no bracketing, no image
    AddTile(p, 100, 0, 140, 30);
    for (int i = 0; i < 5; ++i) {
        const auto f = home.Root() / ("f" + std::to_string(i) + ".jpg");
        WriteJpeg(f, 64, 48);
        ui.files.push_back(veldan::platform::PathToWide(f));
    }
    SelectAll(p, view);
    EXPECT_EQ(LocateImageFiles(doc, 0, ui, view), 2u);
    EXPECT_EQ(std::wstring(p.Tile(0)->Bracketing(0)->images[0]->GetFilename()), ui.files[0]);
    EXPECT_EQ(std::wstring(p.Tile(2)->Bracketing(0)->images[0]->GetFilename()), ui.files[1]);
    EXPECT_TRUE(SelectedTiles(p).empty());
    EXPECT_DOUBLE_EQ(p.Tile(2)->aspect_ratio, 64.0 / 48);
    EXPECT_EQ(ui.progress, (std::vector<uint32_t>{1, 2, 3}));
    // Cancelled: nothing changes.
    doc.SetModifiedFlag(false);
    ui.files.clear();
    SelectAll(p, view);
    EXPECT_EQ(LocateImageFiles(doc, 0, ui, view), 0u);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(SelectedTiles(p).size(), 3u);
}

TEST_F(TileCommandsTest, NewVariantOnATileWithoutBracketingAddsAnEmptyOne) {
    AddTile(p, 0, 0, 40, 30, 0);
    AddTile(p, 50, 0, 90, 30, 3);
    p.Tile(1)->Bracketing(0)->images[0]->orientation = 1;
    SelectAll(p, view);
    NewVariant(doc, view);
    EXPECT_EQ(p.Tile(0)->bracketings.GetItemCount(), 1u);
    EXPECT_EQ(p.Tile(0)->variant, 0u);
    EXPECT_EQ(p.Tile(0)->Bracketing(0)->GetImageCnt(), 0u);
    VELDANPanoramaBracketing* made = p.Tile(1)->Bracketing(1);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->images[0]->ev, -3);
    EXPECT_EQ(made->images[0]->orientation, 1);
    EXPECT_EQ(made->images[2]->ev, 3);
    EXPECT_EQ(made->images[0]->GetFilename(), nullptr);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(RunTileCommand(kCmdVariantFirst + 100, doc, 0, ui, view));
    EXPECT_FALSE(RunTileCommand(kCmdVariantLast + 1, doc, 0, ui, view));
}

}  // namespace

}  // namespace veldan::test
