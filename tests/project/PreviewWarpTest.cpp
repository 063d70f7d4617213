// Preview warping and composition: bounding boxes and their pole rules, the
// drawing rectangle, warping pictures written to disk, the warped image's
// project-file form, the composite drawn over or blended with its region and
// stored picture, and the flow-chart layout.
#include <gtest/gtest.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

#include <cmath>
#include <memory>
#include <string>

#include "PreviewTestSupport.h"
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"

namespace veldan::test {

namespace {

_FOV BoxOf(double x, double y, double fx, double fy) {
    VELDANPanoramaTile tile;
    tile.pos_x = x;
    tile.pos_y = y;
    tile.fov_x = fx;
    tile.fov_y = fy;
    tile.ComputeWarpedBoundingBox();
    return tile.warped_fov;
}

class Preview : public ::testing::Test {
protected:
    std::filesystem::path File(const std::string& name) { return home.Dir() / name; }
    TempHome home;
    VELDANPanoramaProject project;
};

}  // namespace

TEST(WarpedBoundingBox, FramesAwayFromThePolesAndOverThem) {
    _FOV b = BoxOf(180, 0, 30, 20);
    EXPECT_NEAR(b.begin_theta, 165, 1e-9);
    EXPECT_NEAR(b.end_theta, 195, 1e-9);
    EXPECT_NEAR(b.begin_phi, -10, 1e-9);
    EXPECT_NEAR(b.end_phi, 10, 1e-9);

    b = BoxOf(0, 0, 30, 20);  // left of 0: outside the picture, not wrapped
    EXPECT_NEAR(b.begin_theta, -15, 1e-9);
    EXPECT_NEAR(b.end_theta, 15, 1e-9);

    // Near the pole the frame spreads over a wider azimuth than it opens.
    b = BoxOf(90, 45, 40, 60);
    EXPECT_NEAR(b.begin_theta, 39.39, 0.01);
    EXPECT_NEAR(b.end_theta, 140.61, 0.01);
    EXPECT_NEAR(b.begin_phi, 14.29, 0.01);
    EXPECT_NEAR(b.end_phi, 75, 1e-9);

    // Over the zenith: full azimuth, up to the pole; the lower corners lie
    // below the 65 degrees of the lower edge's middle.
    b = BoxOf(0, 80, 30, 30);
    EXPECT_EQ(b.begin_theta, 0);
    EXPECT_EQ(b.end_theta, 360);
    EXPECT_NEAR(b.begin_phi, 61.33, 0.01);
    EXPECT_EQ(b.end_phi, 90);
    b = BoxOf(200, -85, 30, 30);  // and under the nadir
    EXPECT_EQ(b.begin_theta, 0);
    EXPECT_EQ(b.end_theta, 360);
    EXPECT_EQ(b.begin_phi, -90);

    // No known frame: 30 x 40 degrees.
    b = BoxOf(180, 0, 0, 0);
    EXPECT_NEAR(b.begin_theta, 165, 1e-9);
    EXPECT_NEAR(b.end_theta, 195, 1e-9);
    EXPECT_NEAR(b.end_phi, 20, 1e-9);
}

TEST_F(Preview, DrawingRectangleFollowsThePreviewMapping) {
    VELDANPanoramaTile* tile = AddTile(project, 110.5, 0, 20, 20, Bitmap(), {});
    int32_t l = 0, t = 0;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(VELDANPanoramaStitcher::GetDrawingRect(&project, tile, 360, 181, l, t, w, h));
    EXPECT_EQ(l, 100);
    EXPECT_EQ(w, 22u);
    EXPECT_EQ(t, 80);  // rows 80..100 hold +10..-10 degrees
    EXPECT_EQ(h, 21u);
    EXPECT_NEAR(tile->warped_fov.begin_theta, 100.5, 1e-9);  // the tile's box is updated

    project.fov.end_theta = 180;  // not a full circle: the outer columns lie on the edges
    ASSERT_TRUE(VELDANPanoramaStitcher::GetDrawingRect(&project, tile, 361, 181, l, t, w, h));
    EXPECT_EQ(l, 201);
    EXPECT_EQ(w, 41u);

    EXPECT_FALSE(VELDANPanoramaStitcher::GetDrawingRect(nullptr, tile, 360, 180, l, t, w, h));
    EXPECT_FALSE(VELDANPanoramaStitcher::GetDrawingRect(&project, nullptr, 360, 180, l, t, w, h));
    EXPECT_FALSE(VELDANPanoramaStitcher::GetDrawingRect(&project, tile, 0, 180, l, t, w, h));
    project.fov.end_theta = project.fov.begin_theta;  // no extent: no mapping
    EXPECT_FALSE(VELDANPanoramaStitcher::GetDrawingRect(&project, tile, 360, 180, l, t, w, h));
}

TEST_F(Preview, WarpCopiesSourcePixelsWithCentreWeights) {
    Bitmap picture = Solid(60, 40, 0xFFFF0000);
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 30; x < 60; ++x) picture.SetArgb(x, y, 0xFF0000FF);  // right half blue
    VELDANPanoramaTile* tile = AddTile(project, 180, 0, 60, 40, picture, File("a.png"));
    VELDANPanoramaImage* image = ImageOf(tile);
    PrepareThumb(project, tile, 360, 181);
    ASSERT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, image, 360, 181, 0), VELDAN_IMAGE_OK);
    int32_t l, t;
    uint32_t w, h;
    ASSERT_TRUE(VELDANPanoramaStitcher::GetDrawingRect(&project, tile, 360, 181, l, t, w, h));
    ASSERT_NE(image->warped.bitmap, nullptr);
    const Bitmap& warped = B(image->warped.bitmap);
    EXPECT_EQ(warped.Layout(), PixelLayout::kArgb32);
    ASSERT_EQ(warped.Width(), w);
    ASSERT_EQ(warped.Height(), h);
    ASSERT_EQ(image->warped.weights.length, size_t(w) * h * 2);
    const auto* weights = reinterpret_cast<const uint16_t*>(image->warped.weights.data);
    const auto weight = [&](int32_t x, int32_t y) { return weights[size_t(y - t) * w + size_t(x - l)]; };
    const auto pixel = [&](int32_t x, int32_t y) { return warped.GetArgb(uint32_t(x - l), uint32_t(y - t)); };
    // Row 90 is the horizon, column 180 the tile's azimuth: the centre.
    EXPECT_EQ(weight(180, 90), 0);
    EXPECT_EQ(pixel(170, 90), 0xFFFF0000u);  // left of the centre: red
    EXPECT_EQ(pixel(190, 90), 0xFF0000FFu);
    // 20 degrees right of the centre: s = tan 20 / (2 tan 30).
    EXPECT_EQ(weight(200, 90), uint16_t(std::floor(50000 * std::tan(20 * M_PI / 180) / (2 * std::tan(M_PI / 6)))));
    // The corner of the rectangle lies outside the frame (its corners bend
    // towards the horizon).
    EXPECT_EQ(pixel(l, t), 0u);
    EXPECT_EQ(weight(l, t), 0xFFFF);
    EXPECT_EQ(image->warped.fov.begin_theta, double(l));

    // Warped once for a size: a second request does nothing, a refresh warps again.
    void* first = image->warped.bitmap;
    EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, image, 360, 181, 0), VELDAN_IMAGE_OK);
    EXPECT_EQ(image->warped.bitmap, first);
    EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, image, 360, 181, PREVIEW_REFRESH), VELDAN_IMAGE_OK);
    EXPECT_NE(image->warped.bitmap, first);
    // A new thumbnail drops the warped picture, so the next warp uses it.
    image->GenerateThumb(nullptr, 50, 30);
    EXPECT_EQ(image->warped.bitmap, nullptr);
}

TEST_F(Preview, WarpWithoutPictureReturnsTheImagesCode) {
    VELDANPanoramaTile* unnamed = AddTile(project, 180, 0, 60, 40, Bitmap(), {});
    EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(&project, unnamed, ImageOf(unnamed), 360, 180, 0),
              VELDAN_IMAGE_CANNOT_LOAD);
    EXPECT_EQ(ImageOf(unnamed)->warped.bitmap, nullptr);
    VELDANPanoramaTile* tile = AddTile(project, 90, 0, 60, 40, Solid(30, 20, 0xFF00FF00), File("g.png"));
    std::filesystem::remove(File("g.png"));
    // Named, sized, but no thumbnail yet and the file is gone: nothing warped.
    EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, ImageOf(tile), 360, 180, 0), VELDAN_IMAGE_OK);
    EXPECT_EQ(ImageOf(tile)->warped.bitmap, nullptr);
    EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(nullptr, tile, ImageOf(tile), 360, 180, 0), VELDAN_IMAGE_FAILURE);
    EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, nullptr, 360, 180, 0), VELDAN_IMAGE_FAILURE);
    EXPECT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, ImageOf(tile), 0, 180, 0), VELDAN_IMAGE_FAILURE);
}

TEST_F(Preview, OnePixelRectanglesAndTheBackOfTheSphere) {
    // A preview of one row: the rectangle's row takes the middle elevation.
    VELDANPanoramaTile* tile = AddTile(project, 180, 0, 60, 40, Solid(60, 40, 0xFF00FF00), File("a.png"));
    PrepareThumb(project, tile, 360, 1);
    ASSERT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, ImageOf(tile), 360, 1, 0), VELDAN_IMAGE_OK);
    ASSERT_NE(ImageOf(tile)->warped.bitmap, nullptr);
    EXPECT_EQ(B(ImageOf(tile)->warped.bitmap).Height(), 1u);
    EXPECT_EQ(B(ImageOf(tile)->warped.bitmap).GetArgb(30, 0), 0xFF00FF00u);

    // A frame over the zenith warps onto all azimuths, but only onto the
    // half of the sphere it looks into: no mirrored copy at the opposite azimuth.
    VELDANPanoramaTile* polar = AddTile(project, 90, 80, 40, 40, Solid(40, 40, 0xFFFF0000), File("p.png"));
    PrepareThumb(project, polar, 360, 181);
    ASSERT_EQ(VELDANPanoramaStitcher::WarpImage(&project, polar, ImageOf(polar), 360, 181, 0), VELDAN_IMAGE_OK);
    int32_t l, t;
    uint32_t w, h;
    ASSERT_TRUE(VELDANPanoramaStitcher::GetDrawingRect(&project, polar, 360, 181, l, t, w, h));
    const Bitmap& warped = B(ImageOf(polar)->warped.bitmap);
    EXPECT_EQ(warped.GetArgb(uint32_t(90 - l), uint32_t(10 - t)), 0xFFFF0000u);  // 80 degrees up at its azimuth
    EXPECT_EQ(warped.GetArgb(uint32_t(270 - l), uint32_t(30 - t)), 0u);          // 60 degrees up behind it
    EXPECT_EQ(warped.GetArgb(uint32_t(270 - l), uint32_t(5 - t)), 0xFFFF0000u);  // just over the zenith
}

TEST_F(Preview, WarpedImageSavesAndLoadsItsElement) {
    VELDANPanoramaTile* tile = AddTile(project, 180, 0, 60, 40, Solid(60, 40, 0xFF2040FF), File("a.png"));
    VELDANPanoramaImage* image = ImageOf(tile);
    PrepareThumb(project, tile, 360, 181);
    ASSERT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, image, 360, 181, 0), VELDAN_IMAGE_OK);

    xmlBufferPtr buffer = xmlBufferCreate();
    xmlTextWriterPtr writer = xmlNewTextWriterMemory(buffer, 0);
    ASSERT_EQ(xmlTextWriterStartElement(writer, BAD_CAST "WARPED_IMAGE"), 0);
    EXPECT_FALSE(image->warped.Save(nullptr));
    ASSERT_TRUE(image->warped.Save(writer));
    xmlTextWriterEndElement(writer);
    xmlFreeTextWriter(writer);
    const std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)));
    xmlBufferFree(buffer);
    EXPECT_NE(text.find("begin_theta=\""), std::string::npos);
    EXPECT_NE(text.find("IMAGE=\""), std::string::npos);

    VELDANPanoramaWarpedImage loaded;
    loaded.weights.Create(4);
    xmlTextReaderPtr reader = xmlReaderForMemory(text.data(), int(text.size()), nullptr, nullptr, 0);
    ASSERT_EQ(xmlTextReaderRead(reader), 1);
    ASSERT_TRUE(loaded.Load(reader));
    xmlFreeTextReader(reader);
    ASSERT_NE(loaded.bitmap, nullptr);
    const Bitmap& a = B(image->warped.bitmap);
    const Bitmap& b = B(loaded.bitmap);
    ASSERT_EQ(b.Width(), a.Width());
    EXPECT_EQ(b.Layout(), PixelLayout::kArgb32);
    // Transparent outside, the picture inside (PNG is lossless).
    for (uint32_t y = 0; y < a.Height(); ++y)
        for (uint32_t x = 0; x < a.Width(); ++x) ASSERT_EQ(b.GetArgb(x, y), a.GetArgb(x, y)) << x << "," << y;
    EXPECT_EQ(loaded.fov.begin_theta, image->warped.fov.begin_theta);
    EXPECT_EQ(loaded.weights.length, 4u);  // the weight map is not part of the element

    // Another element is refused; a broken picture leaves none.
    const std::string other = "<OTHER begin_theta=\"1\"/>";
    reader = xmlReaderForMemory(other.data(), int(other.size()), nullptr, nullptr, 0);
    ASSERT_EQ(xmlTextReaderRead(reader), 1);
    EXPECT_FALSE(loaded.Load(reader));
    xmlFreeTextReader(reader);
    const std::string broken = "<warped_image begin_theta=\"1\" IMAGE=\"QUJDRA==\"/>";
    reader = xmlReaderForMemory(broken.data(), int(broken.size()), nullptr, nullptr, 0);
    ASSERT_EQ(xmlTextReaderRead(reader), 1);
    EXPECT_TRUE(loaded.Load(reader));
    xmlFreeTextReader(reader);
    EXPECT_EQ(loaded.bitmap, nullptr);
    EXPECT_EQ(loaded.fov.begin_theta, 1);
}

TEST_F(Preview, CompositeIsKeptPerSizeAndDrawsTilesInListOrder) {
    VELDANPanoramaTile* red = AddTile(project, 170, 0, 40, 40, Solid(40, 40, 0xFFFF0000), File("r.png"));
    VELDANPanoramaTile* blue = AddTile(project, 190, 0, 40, 40, Solid(40, 40, 0xFF0000FF), File("b.png"));
    PrepareThumb(project, red, 360, 181);
    PrepareThumb(project, blue, 360, 181);
    VELDANPanoramaStitcher stitcher;
    EXPECT_EQ(stitcher.GetImage(360, 181, 0, 0, 0, 0, 0, 0), nullptr);  // no project yet: nothing to compose
    stitcher.project = &project;
    void* first = stitcher.GetImage(360, 181, 0, 0, 0, 0, 0, 0);
    ASSERT_NE(first, nullptr);
    const Bitmap& c = B(first);
    ASSERT_EQ(c.Width(), 360u);
    EXPECT_EQ(c.GetArgb(160, 90), 0xFFFF0000u);
    EXPECT_EQ(c.GetArgb(180, 90), 0xFF0000FFu);                         // the later tile lies on top
    EXPECT_EQ(c.GetArgb(5, 5), 0u);                                     // uncovered: transparent
    EXPECT_EQ(stitcher.GetImage(360, 181, 0, 0, 0, 0, 0, 0), first);    // fitting: returned as it is
    EXPECT_EQ(stitcher.GetImage(360, 181, 0, 0, 400, 0, 0, 0), first);  // region outside: nothing composed

    // Region recomposition changes the region only.
    B(first).SetArgb(5, 5, 0xFF123456);
    B(first).SetArgb(175, 85, 0xFF123456);
    B(first).SetArgb(100, 85, 0xFF123456);
    ASSERT_EQ(stitcher.GetImage(360, 181, PREVIEW_REFRESH, 0, 90, 80, 100, 20), first);
    EXPECT_EQ(c.GetArgb(5, 5), 0xFF123456u);
    EXPECT_EQ(c.GetArgb(175, 85), 0xFF0000FFu);
    EXPECT_EQ(c.GetArgb(100, 85), 0u);  // inside the region, covered by no tile

    // A new size replaces the composite.
    void* second = stitcher.GetImage(720, 362, 0, 0, 0, 0, 0, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(B(second).Width(), 720u);
    EXPECT_EQ(stitcher.composite, second);

    // An image index past the bracketing skips every tile.
    void* none = stitcher.GetImage(360, 181, 0, 3, 0, 0, 0, 0);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(B(none).GetArgb(180, 90), 0u);

    // A copy has its own composite.
    VELDANPanoramaStitcher copy(stitcher);
    EXPECT_EQ(copy.project, &project);
    ASSERT_NE(copy.composite, nullptr);
    EXPECT_NE(copy.composite, stitcher.composite);
}

TEST_F(Preview, BlendingWeighsByDistanceFromEachCentre) {
    VELDANPanoramaTile* red = AddTile(project, 170, 0, 40, 40, Solid(40, 40, 0xFFFF0000), File("r.png"));
    VELDANPanoramaTile* blue = AddTile(project, 190, 0, 40, 40, Solid(40, 40, 0xFF0000FF), File("b.png"));
    PrepareThumb(project, red, 360, 181);
    PrepareThumb(project, blue, 360, 181);
    VELDANPanoramaStitcher stitcher;
    stitcher.project = &project;
    void* composite = stitcher.GetImage(360, 181, PREVIEW_BLEND, 0, 0, 0, 0, 0);
    ASSERT_NE(composite, nullptr);
    const Bitmap& c = B(composite);
    EXPECT_EQ(c.GetArgb(160, 90), 0xFFFF0000u);  // one image: its colour
    EXPECT_EQ(c.GetArgb(205, 90), 0xFF0000FFu);
    EXPECT_EQ(c.GetArgb(5, 5), 0xFF000000u);  // none: opaque black
    // Equally far from both centres: the average.
    const uint32_t mid = c.GetArgb(180, 90);
    EXPECT_NEAR(Red(mid), 127, 1);
    EXPECT_NEAR(Blue(mid), 127, 1);
    EXPECT_EQ(Green(mid), 0);
    EXPECT_EQ(Alpha(mid), 255);
    // Nearer the red centre the red image dominates.
    EXPECT_GT(Red(c.GetArgb(176, 90)), 200);

    // A region is blended again on its own; the rest keeps what it had.
    B(composite).SetArgb(5, 5, 0xFF123456);
    B(composite).SetArgb(180, 90, 0xFF123456);
    B(composite).SetArgb(300, 170, 0xFF123456);
    ASSERT_EQ(stitcher.GetImage(360, 181, PREVIEW_BLEND | PREVIEW_REFRESH, 0, 170, 80, 0, 0), composite);
    EXPECT_EQ(c.GetArgb(5, 5), 0xFF123456u);
    EXPECT_EQ(c.GetArgb(180, 90), mid);
    EXPECT_EQ(c.GetArgb(300, 170), 0xFF000000u);  // w and h 0: up to the edges
}

TEST_F(Preview, WarpedImageCopiesOwnTheirPictures) {
    VELDANPanoramaTile* tile = AddTile(project, 180, 0, 60, 40, Solid(60, 40, 0xFF00FF00), File("a.png"));
    PrepareThumb(project, tile, 360, 181);
    ASSERT_EQ(VELDANPanoramaStitcher::WarpImage(&project, tile, ImageOf(tile), 360, 181, 0), VELDAN_IMAGE_OK);
    auto copy = std::make_unique<VELDANPanoramaWarpedImage>(ImageOf(tile)->warped);
    ASSERT_NE(copy->bitmap, nullptr);
    EXPECT_NE(copy->bitmap, ImageOf(tile)->warped.bitmap);
    EXPECT_EQ(copy->weights.length, ImageOf(tile)->warped.weights.length);
    EXPECT_NE(copy->weights.data, ImageOf(tile)->warped.weights.data);
    copy.reset();  // releases only its own
    ASSERT_NE(ImageOf(tile)->warped.bitmap, nullptr);
    EXPECT_EQ(B(ImageOf(tile)->warped.bitmap).GetArgb(30, 20), 0xFF00FF00u);
    VELDANPanoramaWarpedImage assigned;
    assigned = ImageOf(tile)->warped;
    ImageOf(tile)->warped.Clear();
    ASSERT_NE(assigned.bitmap, nullptr);
    EXPECT_EQ(ImageOf(tile)->warped.weights.length, 0u);
    EXPECT_GT(assigned.weights.length, 0u);
}

TEST(FlowChartLayout, SpecialCases) {
    VELDANPanoramaProject project;
    double l = 7, r = 8, t = 9, b = 10;
    EXPECT_TRUE(project.UpdateDisplayPositions(400, 200, 5, l, r, t, b));  // no tiles
    EXPECT_EQ(l, 7);
    EXPECT_EQ(b, 10);

    auto* one = new_VELDANPanoramaTile(1);
    one->pos_x = 180;
    one->pos_y = 0;
    project.AppendTile(one);
    ASSERT_TRUE(project.UpdateDisplayPositions(410, 210, 5, l, r, t, b));
    EXPECT_EQ(one->display_scale, -1);  // nothing to keep apart from
    EXPECT_DOUBLE_EQ(one->display_x, 200);
    EXPECT_DOUBLE_EQ(one->display_y, 100);
    EXPECT_DOUBLE_EQ(one->display_left, 202.5);
    EXPECT_DOUBLE_EQ(one->display_right, 207.5);
    EXPECT_DOUBLE_EQ(one->display_top, 102.5);
    EXPECT_DOUBLE_EQ(one->display_bottom, 107.5);
    EXPECT_DOUBLE_EQ(l, 5);
    EXPECT_DOUBLE_EQ(r, 405);

    auto* same = new_VELDANPanoramaTile(1);  // at the same position
    same->pos_x = 180;
    project.AppendTile(same);
    ASSERT_TRUE(project.UpdateDisplayPositions(410, 210, 5, l, r, t, b));
    EXPECT_LT(same->display_scale, 0);
    EXPECT_DOUBLE_EQ(same->display_right - same->display_left, 5);
    EXPECT_DOUBLE_EQ(one->display_bottom - one->display_top, 5);
}

TEST(FlowChartLayout, BoxesOfOneSizeKeepTheGapAndFitTheCanvas) {
    VELDANPanoramaProject project;
    for (double y : {-40.0, 0.0, 40.0})
        for (double x : {30.0, 90.0, 150.0, 210.0, 270.0, 330.0}) {
            auto* tile = new_VELDANPanoramaTile(1);
            tile->pos_x = x;
            tile->pos_y = y;
            tile->aspect_ratio = 1.5;
            project.AppendTile(tile);
        }
    const double W = 800, H = 400, c = 5, g = 2 * c;
    double l = 0, r = 0, t = 0, b = 0;
    ASSERT_TRUE(project.UpdateDisplayPositions(W, H, c, l, r, t, b));
    const double S = project.Tile(0)->display_scale;
    EXPECT_GT(S, 20);
    double closest = 1e9;
    for (uint32_t i = 0; i < project.TileCount(); ++i) {
        const VELDANPanoramaTile& a = *project.Tile(i);
        EXPECT_EQ(a.display_scale, S);
        EXPECT_NEAR(a.display_right - a.display_left, 1.5 * S, 1e-9);
        EXPECT_NEAR(a.display_bottom - a.display_top, S, 1e-9);
        EXPECT_GE(a.display_left, -1e-6);
        EXPECT_LE(a.display_right, W + 1e-6);
        EXPECT_GE(a.display_top, -1e-6);
        EXPECT_LE(a.display_bottom, H + 1e-6);
        for (uint32_t k = i + 1; k < project.TileCount(); ++k) {
            const VELDANPanoramaTile& o = *project.Tile(k);
            const double gx = std::fabs(a.display_x - o.display_x) - 1.5 * S;
            const double gy = std::fabs(a.display_y - o.display_y) - S;
            closest = std::min(closest, std::max(gx, gy));
        }
    }
    EXPECT_NEAR(closest, g, 1e-6);  // the largest size at which every pair keeps the gap
    EXPECT_LE(l, r);
    EXPECT_LE(t, b);

    // A fixed box keeps scale 1 and the others keep clear of it.
    project.Tile(0)->fixed = 1;
    ASSERT_TRUE(project.UpdateDisplayPositions(W, H, c, l, r, t, b));
    EXPECT_EQ(project.Tile(0)->display_scale, 1);
    EXPECT_DOUBLE_EQ(project.Tile(0)->display_right - project.Tile(0)->display_left, 5);  // the minimum
    EXPECT_GT(project.Tile(1)->display_scale, 20);
}

}  // namespace veldan::test
