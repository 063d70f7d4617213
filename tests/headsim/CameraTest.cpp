// The rendered views and the files the camera writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "HeadsimTestSupport.h"
#include "PictureIo.h"
#include "TestScene.h"
#include "ViewRenderer.h"

namespace veldan::test {

using namespace veldan::headsim;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

double MeanDifference(const RgbImage& a, int ax, int ay, const RgbImage& b, int bx, int by, int radius) {
    double sum = 0;
    int n = 0;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx, ++n)
            for (int k = 0; k < 3; ++k) sum += std::fabs(a.At(ax + dx, ay + dy)[k] - b.At(bx + dx, by + dy)[k]);
    return sum / (n * 3);
}

double Brightness(const RgbImage& image) {
    double sum = 0;
    for (uint8_t p : image.pixels) sum += p;
    return sum / static_cast<double>(image.pixels.size());
}

std::vector<fs::path> Files(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(folder, ec)) files.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ViewRenderer, CentreAndEdgesLookWhereTheHeadPoints) {
    RgbImage scene = MakeTestScene(1440, 720);
    ViewSpec v;
    v.azimuthDeg = 100.0;
    v.elevationDeg = 20.0;
    v.width = 300;
    v.height = 200;
    // The centre ray is the head's direction.
    double az, el;
    ViewDirection(v, 0.0, 0.0, az, el);
    EXPECT_NEAR(az, 100.0, 1e-9);
    EXPECT_NEAR(el, 20.0, 1e-9);
    // Right of the centre the azimuth grows, above it the elevation.
    ViewDirection(v, 0.4, 0.0, az, el);
    EXPECT_GT(az, 100.0);
    ViewDirection(v, 0.0, -0.4, az, el);
    EXPECT_GT(el, 20.0);
    // Horizontal opening of a 36 mm frame at 50 mm: 2·atan(0.36) = 39.6°.
    v.elevationDeg = 0.0;
    ViewDirection(v, 0.5, 0.0, az, el);
    EXPECT_NEAR(az - 100.0, std::atan(0.36) * 180 / 3.141592653589793, 1e-9);

    // Every rendered pixel is the panorama sampled along its ray.
    v.elevationDeg = 20.0;
    RgbImage view = RenderView(scene, v);
    ASSERT_EQ(view.width, 300);
    ASSERT_EQ(view.height, 200);
    for (auto [i, j] : {std::pair{0, 0}, {150, 100}, {299, 199}, {37, 160}}) {
        ViewDirection(v, (i + 0.5) / 300 - 0.5, (j + 0.5) / 200 - 0.5, az, el);
        uint8_t expected[3];
        SamplePanorama(scene, az, el, expected);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(view.At(i, j)[k], expected[k]) << i << "," << j;
    }
}

TEST(ViewRenderer, PortraitIsStoredTurnedAQuarterClockwise) {
    RgbImage scene = MakeTestScene(1440, 720);
    ViewSpec v;
    v.azimuthDeg = 200.0;
    v.elevationDeg = -10.0;
    v.portrait = true;
    v.width = 120;
    v.height = 80;
    RgbImage upright = RenderUprightView(scene, v);
    ASSERT_EQ(upright.width, 80);  // as seen: tall
    ASSERT_EQ(upright.height, 120);
    RgbImage stored = RenderView(scene, v);
    ASSERT_EQ(stored.width, 120);  // as stored: the sensor's raster
    ASSERT_EQ(stored.height, 80);
    // The upright top row is the stored right column, read top to bottom.
    for (int x = 0; x < 80; ++x)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(upright.At(x, 0)[k], stored.At(119, x)[k]);
    // Portrait: the frame is taller than wide in degrees.
    double azR, elR, azT, elT;
    ViewDirection(v, 0.5, 0.0, azR, elR);
    ViewDirection(v, 0.0, -0.5, azT, elT);
    EXPECT_LT(azR - 200.0, elT - (-10.0));
}

class CameraOnTheHead : public ::testing::Test {
protected:
    void StartHead(SimOptions options) {
        sim_ = std::make_unique<HeadSimulator>(std::move(options));
        std::string error;
        ASSERT_TRUE(sim_->Start(error)) << error;
        term_ = std::make_unique<RawTerminal>(sim_->LinkPath());
        ASSERT_TRUE(term_->IsOpen());
    }
    void Shoot() {
        term_->Ask(3, "L11");
        term_->Ask(3, "L10");
    }
    TempHome home_;
    std::unique_ptr<HeadSimulator> sim_;
    std::unique_ptr<RawTerminal> term_;
};

TEST_F(CameraOnTheHead, ShutterRelayWritesNumberedJpegsOfTheView) {
    SimOptions o = SmallHead(home_);
    o.camera.lens.width = 300;
    o.camera.lens.height = 200;
    StartHead(o);
    // Point the head to 90° right, 30° up: raw −9000 and −3000.
    term_->Ask(1, "S-0009000");
    term_->Ask(1, "G0");
    term_->Ask(2, "S-0003000");
    term_->Ask(2, "G0");
    sim_->Clock().Advance(60000);
    ASSERT_NEAR(sim_->Bus().AnglesNow().horizontal, 90.0, 1e-9);
    ASSERT_NEAR(sim_->Bus().AnglesNow().vertical, 30.0, 1e-9);
    // The focus relay alone takes no picture.
    term_->Ask(3, "L01");
    Shoot();
    Shoot();
    fs::path first = home_.Capture() / "IMG_0001.JPG";
    fs::path second = home_.Capture() / "IMG_0002.JPG";
    ASSERT_TRUE(WaitFor([&] { return sim_->Camera().FramesWritten() == 2; }));
    EXPECT_EQ(Files(home_.Capture()), (std::vector<fs::path>{"IMG_0001.JPG", "IMG_0002.JPG"}));
    EXPECT_EQ(sim_->Camera().Presses(), 2u);

    // The picture shows the source panorama around (90°, 30°).
    RgbImage shot, source = MakeTestScene(720, 360);
    std::string error;
    ASSERT_TRUE(LoadPicture(first, shot, error)) << error;
    ASSERT_EQ(shot.width, 300);
    ASSERT_EQ(shot.height, 200);
    ViewSpec v = o.camera.lens;
    v.azimuthDeg = 90.0;
    v.elevationDeg = 30.0;
    RgbImage expected = RenderView(source, v);
    for (auto [x, y] : {std::pair{150, 100}, {40, 40}, {260, 160}})
        EXPECT_LT(MeanDifference(shot, x, y, expected, x, y, 3), 12.0) << x << "," << y;
    // ... and not the panorama somewhere else.
    v.azimuthDeg = 210.0;
    RgbImage elsewhere = RenderView(source, v);
    EXPECT_GT(MeanDifference(shot, 100, 60, elsewhere, 100, 60, 3), 30.0);
    // Off the grid lines a pixel has the scene's colour of its direction.
    double az, el;
    v.azimuthDeg = 90.0;
    ViewDirection(v, (100 + 0.5) / 300 - 0.5, (60 + 0.5) / 200 - 0.5, az, el);
    uint8_t base[3];
    TestSceneBaseColour(az, el, base);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(shot.At(100, 60)[k], base[k], 40);

    // Numbering continues after existing files; nothing is overwritten.
    ASSERT_TRUE(fs::exists(second));
    auto size = fs::file_size(second);
    sim_.reset();
    { std::ofstream(home_.Capture() / "IMG_0007.JPG") << "not ours"; }
    term_.reset();
    StartHead(o);
    Shoot();
    ASSERT_TRUE(WaitFor([&] { return sim_->Camera().FramesWritten() == 1; }));
    EXPECT_TRUE(fs::exists(home_.Capture() / "IMG_0008.JPG"));
    EXPECT_EQ(fs::file_size(second), size);
    EXPECT_EQ(fs::file_size(home_.Capture() / "IMG_0007.JPG"), 8u);
}

TEST_F(CameraOnTheHead, TmpRenameSubfolderAndBracketing) {
    SimOptions o = SmallHead(home_);
    o.camera.tmpRename = true;
    o.camera.subdir = "DCIM";
    o.camera.aeb = 3;
    o.camera.writeDelayMs = 100;
    StartHead(o);
    fs::path folder = home_.Capture() / "DCIM";
    term_->SendFrame(0xC3, "L11");
    // While a file is written only its .tmp name exists.
    bool sawTmp = WaitFor(
        [&] {
            for (auto& f : Files(folder))
                if (f.extension() == ".tmp") return true;
            return false;
        },
        3000ms);
    EXPECT_TRUE(sawTmp);
    ASSERT_TRUE(WaitFor([&] { return sim_->Camera().FramesWritten() == 3 && sim_->Camera().Ping() == 0; }));
    EXPECT_EQ(Files(folder), (std::vector<fs::path>{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}));
    // Bracket order 0, −1, +1 stop.
    RgbImage normal, dark, bright;
    std::string error;
    ASSERT_TRUE(LoadPicture(folder / "IMG_0001.JPG", normal, error));
    ASSERT_TRUE(LoadPicture(folder / "IMG_0002.JPG", dark, error));
    ASSERT_TRUE(LoadPicture(folder / "IMG_0003.JPG", bright, error));
    EXPECT_LT(Brightness(dark), Brightness(normal) - 10);
    EXPECT_GT(Brightness(bright), Brightness(normal) + 10);
    EXPECT_EQ(sim_->Camera().Presses(), 1u);
}

TEST(ExposureBracket, StopsScaleLinearLight) {
    RgbImage img(1, 1);
    img.At(0, 0)[0] = 100;
    img.At(0, 0)[1] = 255;
    img.At(0, 0)[2] = 0;
    RgbImage up = img;
    ApplyExposure(up, 1.0);
    EXPECT_NEAR(up.At(0, 0)[0], 100 * std::pow(2.0, 1 / 2.2), 1.0);
    EXPECT_EQ(up.At(0, 0)[1], 255);  // clipped
    EXPECT_EQ(up.At(0, 0)[2], 0);
}

}  // namespace
}  // namespace veldan::test
