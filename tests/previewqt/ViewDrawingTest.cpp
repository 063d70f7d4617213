// The preview view's drawing, checked on rendered pixels: tints and borders
// of tile states, the smallest boxes, unreadable pictures, the refusals
// (too many tiles, too small an area), the flow chart with its path arrows,
// the warped and blended displays over a scripted warping, and a thumbnail
// that arrives from the worker pool by WM_TILE_CHANGED.
#include <QPainter>
#include "PreviewView.h"
#include "TestSupport.h"
#include "ViewTestSupport.h"
#include "preview/view/TileAppearance.h"
#include "preview/view/ViewWarping.h"

namespace veldan::test {

using namespace veldan::preview;

[[maybe_unused]] static ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtPoolEnvironment);

namespace {

constexpr QRgb kPlaceholderGrey = qRgb(0xC8, 0xC8, 0xC8);

class ViewDrawingTest : public ::testing::Test {
protected:
    TempHome home;
    DocumentList list;
    CVELDANpreviewDoc doc{list};
    ScriptedUi ui;
    VELDANPanoramaProject& project = doc.Project();

    QImage Canvas(int w, int h, QRgb fill = qRgb(255, 0, 255)) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(fill);
        return image;
    }
    QImage DrawOneTile(CVELDANpreviewView& view, uint32_t tile) {
        QImage image = Canvas(200, 200, qRgb(255, 255, 255));
        QPainter p(&image);
        EXPECT_TRUE(view.DrawTile(p, tile));
        return image;
    }
    static QRgb Tinted(QRgb base, uint32_t tint) {
        const uint8_t a = static_cast<uint8_t>(tint >> 24);
        return qRgb(TintChannel(qRed(base), (tint >> 16) & 0xFF, a), TintChannel(qGreen(base), (tint >> 8) & 0xFF, a),
                    TintChannel(qBlue(base), tint & 0xFF, a));
    }
};

TEST_F(ViewDrawingTest, SelectedAndShotTileIsTintedWhiteAndBorderedInTheAddedColours) {
    VELDANPanoramaTile* tile = AddBoxedTile(project, 20, 20, 60, 60);
    AddBoxedTile(project, 100, 20, 60, 60);  // no flags: no tint, black border
    tile->display_flags = 2 | 4;
    CVELDANpreviewView view(doc, ui);
    ASSERT_EQ(TileTint(6, 0x200), 0xC0FFFFFFu);
    ASSERT_EQ(TileBorder(6), 0xFF810080u);  // 0xFF808080 + 0x008000

    const QImage image = DrawOneTile(view, 0);
    // The upper left of the placeholder is plain grey, tinted here.
    EXPECT_LE(ColourDistance(image.pixel(32, 32), Tinted(kPlaceholderGrey, 0xC0FFFFFF)), 2)
        << std::hex << image.pixel(32, 32);
    // A border of two pixels on the box's edge.
    for (QPoint edge : {QPoint(20, 50), QPoint(19, 50), QPoint(79, 50), QPoint(50, 20)})
        EXPECT_LE(ColourDistance(image.pixel(edge), 0xFF810080), 2) << edge.x() << "," << edge.y();
    EXPECT_EQ(image.pixel(17, 50), qRgb(255, 255, 255));

    const QImage plain = DrawOneTile(view, 1);
    EXPECT_LE(ColourDistance(plain.pixel(112, 32), kPlaceholderGrey), 1);
    EXPECT_LE(ColourDistance(plain.pixel(100, 50), qRgb(0, 0, 0)), 1);
}

TEST_F(ViewDrawingTest, HoveredSelectedAndShotTileWrapsToNoTint) {
    VELDANPanoramaTile* tile = AddBoxedTile(project, 20, 20, 60, 60);
    tile->display_flags = 1 | 2 | 4;
    CVELDANpreviewView view(doc, ui);
    const QImage image = DrawOneTile(view, 0);
    EXPECT_LE(ColourDistance(image.pixel(32, 32), kPlaceholderGrey), 1);
    EXPECT_LE(ColourDistance(image.pixel(20, 50), TileBorder(7)), 2);
}

TEST_F(ViewDrawingTest, BoxOfThreePixelsIsDrawnFiveByFiveAroundItsCentre) {
    AddBoxedTile(project, 50, 60, 3, 3);
    VELDANPanoramaTile* wide = AddBoxedTile(project, 100, 60, 10, 3);
    wide->display_flags = 2;  // selected: grey rectangle
    CVELDANpreviewView view(doc, ui);
    const QImage image = DrawOneTile(view, 0);
    for (int x = 49; x <= 53; ++x)
        for (int y = 59; y <= 63; ++y) EXPECT_EQ(image.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
    for (int i = 49; i <= 53; ++i) {
        EXPECT_EQ(image.pixel(48, 59 + i - 49), qRgb(255, 255, 255));
        EXPECT_EQ(image.pixel(54, 59 + i - 49), qRgb(255, 255, 255));
        EXPECT_EQ(image.pixel(i, 58), qRgb(255, 255, 255));
        EXPECT_EQ(image.pixel(i, 64), qRgb(255, 255, 255));
    }
    // Ten wide keeps its width and start; three high is centred.
    const QImage second = DrawOneTile(view, 1);
    EXPECT_EQ(second.pixel(100, 59), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(second.pixel(109, 63), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(second.pixel(110, 61), qRgb(255, 255, 255));
    EXPECT_EQ(second.pixel(100, 64), qRgb(255, 255, 255));
}

TEST_F(ViewDrawingTest, UnreadablePictureIsTintedRedWhileAnUnshotOneIsNot) {
    const fs::path bad = home.Root() / "bad.jpg";
    WriteText(bad, "this is no picture");
    VELDANPanoramaTile* tile = AddBoxedTile(project, 20, 20, 60, 60);
    FirstImage(tile)->SetFilename(Wide(bad).c_str());
    AddBoxedTile(project, 100, 20, 60, 60);  // planned, no file yet
    CVELDANpreviewView view(doc, ui);
    const QImage image = DrawOneTile(view, 0);
    EXPECT_LE(ColourDistance(image.pixel(32, 32), Tinted(kPlaceholderGrey, 0x40FF0000)), 2)
        << std::hex << image.pixel(32, 32);
    const QImage unshot = DrawOneTile(view, 1);
    EXPECT_LE(ColourDistance(unshot.pixel(112, 32), kPlaceholderGrey), 1);
}

TEST_F(ViewDrawingTest, MoreThan4000TilesShowOnlyTheRefusal) {
    for (int i = 0; i < 4001; ++i) AddBoxedTile(project, i % 300, i / 300, 5, 5);
    CVELDANpreviewView view(doc, ui);
    QImage image = Canvas(400, 300, qRgb(255, 255, 255));
    {
        QPainter p(&image);
        view.Render(p, image.rect());
    }
    QImage expected = Canvas(400, 300, qRgb(255, 255, 255));
    {
        QPainter p(&expected);
        p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
        p.drawText(expected.rect(), Qt::AlignCenter, QStringLiteral("Too many images to display!"));
    }
    EXPECT_EQ(image, expected);
    EXPECT_NE(image, Canvas(400, 300, qRgb(255, 255, 255)));  // the text is there
}

TEST_F(ViewDrawingTest, AreaBelow100PixelsDrawsNothingInAnyMode) {
    AddBoxedTile(project, 10, 10, 40, 40);
    CVELDANpreviewView view(doc, ui);
    for (int command : {kCmdFlowChart, kCmdWarped, kCmdBlended}) {
        ASSERT_TRUE(view.SetMode(command));
        for (QSize size : {QSize(99, 300), QSize(300, 99)}) {
            QImage image = Canvas(size.width(), size.height());
            {
                QPainter p(&image);
                view.Render(p, image.rect());
            }
            EXPECT_EQ(image, Canvas(size.width(), size.height())) << command << " " << size.width();
        }
    }
}

TEST_F(ViewDrawingTest, FlowChartDrawsTheExtentTilesAndAnArrowBetweenNeighbours) {
    AddTileRow(project, {60, 180, 300});
    CVELDANpreviewView view(doc, ui);
    QImage image = Canvas(600, 400, qRgb(255, 255, 255));
    {
        QPainter p(&image);
        view.Render(p, image.rect());
    }
    EXPECT_FALSE(view.RefreshPending());
    const LayoutExtent& e = view.Extent();
    ASSERT_LT(e.left, e.right);
    for (uint32_t t = 0; t < 3; ++t) {
        const VELDANPanoramaTile* tile = project.Tile(t);
        ASSERT_GT(tile->display_right - tile->display_left, 16);
        EXPECT_NEAR((tile->display_right - tile->display_left) / (tile->display_bottom - tile->display_top), 40.0 / 30,
                    0.06);
    }
    // Inside the extent, away from tiles and arrows, the beige fill.
    const VELDANPanoramaTile* a = project.Tile(0);
    const VELDANPanoramaTile* b = project.Tile(1);
    const int belowY = static_cast<int>(a->display_bottom) + 3;
    if (belowY < e.bottom - 1) {
        EXPECT_EQ(image.pixel(static_cast<int>((a->display_left + a->display_right) / 2), belowY),
                  qRgb(0xF5, 0xF5, 0xDC));
    }
    // The arrow runs straight between two boxes of one row.
    const int midX = static_cast<int>((a->display_right + b->display_left) / 2);
    const int rowY = static_cast<int>((a->display_top + a->display_bottom) / 2);
    EXPECT_LE(ColourDistance(image.pixel(midX, rowY), qRgb(0, 0, 0)), 10);
    // The tiles show their placeholder.
    EXPECT_LE(ColourDistance(image.pixel(static_cast<int>(a->display_left + 6), static_cast<int>(a->display_top + 6)),
                             kPlaceholderGrey),
              2);
}

// Stands in for the project library's warping: every tile gets a known
// rectangle and a warped picture of one colour; the composite is one
// colour too. Records the flags of the composite calls.
class ScriptedWarping : public ViewWarping {
public:
    uint32_t colour = 0xFF0000FF;
    std::vector<uint32_t> compositeFlags;
    veldan::imaging::Bitmap composite;
    // Read holds on this image's warped picture at each composite call.
    VELDANPanoramaImage* watched = nullptr;
    std::vector<uint32_t> warpedReadersAtComposite;

    bool GetDrawingRect(VELDANPanoramaProject*, VELDANPanoramaTile* tile, uint32_t, uint32_t, int32_t& left,
                        int32_t& top, uint32_t& width, uint32_t& height) override {
        left = static_cast<int32_t>(tile->pos_x);
        top = static_cast<int32_t>(tile->pos_y);
        width = 50;
        height = 40;
        return true;
    }
    uint32_t WarpImage(VELDANPanoramaProject*, VELDANPanoramaTile*, VELDANPanoramaImage* image, uint32_t, uint32_t,
                       uint32_t) override {
        if (!image) return VELDAN_IMAGE_FAILURE;
        if (!image->warped.lock.EnterWriteAccess()) return VELDAN_IMAGE_FAILURE;
        if (!image->warped.bitmap) {
            auto made = veldan::imaging::Bitmap::Create(50, 40, veldan::imaging::PixelLayout::kArgb32);
            made->FillWith(colour);
            image->warped.bitmap = new veldan::imaging::Bitmap(std::move(*made));
        }
        image->warped.lock.LeaveWriteAccess();
        return VELDAN_IMAGE_OK;
    }
    void* GetComposite(CVELDANpreviewDoc&, uint32_t W, uint32_t H, uint32_t flags, uint32_t, uint32_t, uint32_t,
                       uint32_t, uint32_t) override {
        compositeFlags.push_back(flags);
        if (watched) warpedReadersAtComposite.push_back(watched->warped.lock.ReaderCount());
        if (composite.Width() != W || composite.Height() != H) {
            auto made = veldan::imaging::Bitmap::Create(W, H, veldan::imaging::PixelLayout::kArgb32);
            composite = std::move(made).value();
            composite.FillWith(0xFF00FF00);
        }
        return &composite;
    }
};

TEST_F(ViewDrawingTest, WarpedModeDrawsWarpedPicturesInTheirBoxesOnBlack) {
    project.fov.begin_theta = 0;
    project.fov.end_theta = 360;
    project.fov.begin_phi = -90;
    project.fov.end_phi = 90;
    VELDANPanoramaTile* first = AddBoxedTile(project, 0, 0, 1, 1);
    first->pos_x = 10;
    first->pos_y = 10;
    VELDANPanoramaTile* second = AddBoxedTile(project, 0, 0, 1, 1);
    second->pos_x = 100;
    second->pos_y = 60;
    second->display_flags = 2;  // selected: white tint 0x80
    ScriptedWarping warping;
    CVELDANpreviewView view(doc, ui);
    view.SetWarping(warping);
    ASSERT_TRUE(view.SetMode(kCmdWarped));
    EXPECT_EQ(view.Mode(), 6u);
    // 400 x 300 letterboxed to the panorama's 2:1 gives 400 x 200 at y 50.
    QImage image = Canvas(400, 300);
    {
        QPainter p(&image);
        view.Render(p, image.rect());
    }
    EXPECT_EQ(image.pixel(200, 20), qRgb(255, 255, 255));  // letterbox margin
    EXPECT_EQ(image.pixel(300, 200), qRgb(0, 0, 0));       // panorama, no tile
    EXPECT_EQ(image.pixel(10 + 25, 50 + 10 + 20), qRgb(0, 0, 0xFF));
    EXPECT_LE(ColourDistance(image.pixel(100 + 25, 50 + 60 + 20), Tinted(qRgb(0, 0, 0xFF), 0x80FFFFFF)), 2);
    EXPECT_EQ(first->display_left, 10);
    EXPECT_EQ(first->display_top, 60);
    EXPECT_EQ(view.HitTest(10 + 25, 60 + 20), 0);
    EXPECT_EQ(view.HitTest(100 + 25, 110 + 20), 1);
}

TEST_F(ViewDrawingTest, BlendedModeRecomposesOnceAfterSwitchingAndThenReusesTheComposite) {
    AddBoxedTile(project, 0, 0, 1, 1);
    ScriptedWarping warping;
    CVELDANpreviewView view(doc, ui);
    view.SetWarping(warping);
    ASSERT_TRUE(view.SetMode(kCmdBlended));
    EXPECT_EQ(view.Mode(), 20u);
    for (int i = 0; i < 2; ++i) {
        QImage image = Canvas(400, 200);
        QPainter p(&image);
        view.Render(p, image.rect());
        p.end();
        EXPECT_EQ(image.pixel(200, 100), qRgb(0, 0xFF, 0));
    }
    ASSERT_EQ(warping.compositeFlags.size(), 2u);
    EXPECT_EQ(warping.compositeFlags[0], PREVIEW_BACKGROUND | PREVIEW_BLEND | PREVIEW_REFRESH);
    EXPECT_EQ(warping.compositeFlags[1], PREVIEW_BACKGROUND | PREVIEW_BLEND);
    EXPECT_FALSE(view.RefreshPending());
}

// The composite takes each image's lock and then its warped picture's. A view
// that still held a warped picture's read access when it asked for the
// composite would take them the other way round and deadlock with a thumbnail
// job of that image (image write, then warped write): the window thread hung
// for good in the blended view during a capture.
TEST_F(ViewDrawingTest, BlendedTileRedrawHoldsNoWarpedPictureWhileTheCompositeIsMade) {
    VELDANPanoramaTile* tile = AddBoxedTile(project, 0, 0, 1, 1);
    ScriptedWarping warping;
    warping.watched = FirstImage(tile);
    CVELDANpreviewView view(doc, ui);
    view.SetWarping(warping);
    ASSERT_TRUE(view.SetMode(kCmdBlended));
    QImage image = Canvas(400, 200);
    {
        QPainter p(&image);
        view.Render(p, image.rect());
    }
    view.RedrawTile(0);  // a picture arrived for the tile: its region is recomposed
    ASSERT_GE(warping.warpedReadersAtComposite.size(), 2u);
    for (uint32_t readers : warping.warpedReadersAtComposite) EXPECT_EQ(readers, 0u);
}

TEST_F(ViewDrawingTest, ThumbnailFromTheWorkerPoolArrivesByTileChangedAndIsDrawn) {
    const fs::path file = home.Root() / "red.jpg";
    WriteColouredJpeg(file, 640, 480, 0xFFFF0000);
    VELDANPanoramaTile* tile = AddPlacedTile(project, 180);
    FirstImage(tile)->SetFilename(Wide(file).c_str());
    AddBoxedTile(project, 0, 0, 1, 1)->pos_x = 10;
    CVELDANpreviewView view(doc, ui);
    auto render = [&] {
        QImage image = Canvas(600, 400, qRgb(255, 255, 255));
        QPainter p(&image);
        view.Render(p, image.rect());
        return image;
    };
    render();                                                 // lays out and asks for the thumbnail
    ASSERT_TRUE(AwaitGui([&] { return doc.IsModified(); }));  // WM_TILE_CHANGED marks the document
    const QImage image = render();
    const QPoint centre(static_cast<int>((tile->display_left + tile->display_right) / 2),
                        static_cast<int>((tile->display_top + tile->display_bottom) / 2));
    EXPECT_LE(ColourDistance(image.pixel(centre), qRgb(0xFF, 0, 0)), 40) << std::hex << image.pixel(centre);
}

}  // namespace

namespace {

TEST_F(ViewDrawingTest, PrintingLeavesOutThePathAndLaysOutAgainForTheWindow) {
    AddTileRow(project, {90, 270});
    CVELDANpreviewView view(doc, ui);
    QImage page = Canvas(800, 400, qRgb(255, 255, 255));
    {
        QPainter p(&page);
        view.Render(p, page.rect(), true);
    }
    EXPECT_TRUE(view.RefreshPending());
    const VELDANPanoramaTile* a = project.Tile(0);
    const VELDANPanoramaTile* b = project.Tile(1);
    const QPoint between(static_cast<int>((a->display_right + b->display_left) / 2),
                         static_cast<int>((a->display_top + a->display_bottom) / 2));
    EXPECT_EQ(page.pixel(between), qRgb(0xF5, 0xF5, 0xDC));
    QImage screen = Canvas(800, 400, qRgb(255, 255, 255));
    {
        QPainter p(&screen);
        view.Render(p, screen.rect());
    }
    EXPECT_FALSE(view.RefreshPending());
    EXPECT_LE(ColourDistance(screen.pixel(between), qRgb(0, 0, 0)), 10);
}

}  // namespace

}  // namespace veldan::test
