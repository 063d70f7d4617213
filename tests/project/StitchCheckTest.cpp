// The project's geometry checked by a real stitcher: a synthetic
// equirectangular scene is rendered into the tiles of a planned project with
// its lens, the project is exported as PTGui and as Hugin project and
// stitched with Hugin's nona, and the result is compared with the scene where
// the tiles cover it. Our own blended preview goes through the same check.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Nona.h"
#include "PanoramaCompare.h"
#include "PreviewTestSupport.h"
#include "TestScene.h"
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "ViewRenderer.h"
#include "imaging/Decode.h"

namespace veldan::test {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kW = 720, kH = 360;  // size of every stitched panorama

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Replaces the first "<key>..." word of a line starting with `line` by `value`.
bool ReplaceWord(std::string& text, const std::string& line, const std::string& key, const std::string& value) {
    const size_t start = text.find(line);
    if (start == std::string::npos) return false;
    const size_t at = text.find(" " + key, start);
    const size_t end = text.find_first_of(" \r\n", at + 1);
    if (at == std::string::npos || end == std::string::npos) return false;
    text.replace(at + 1, end - at - 1, key + value);
    return true;
}

class StitchCheck : public ::testing::Test {
protected:
    void SetUp() override {
        scene = headsim::MakeTestScene(2048, 1024);
        project.lens.focal_length = 18;
        project.sensor.dimension_x = 36;
        project.sensor.dimension_y = 24;
        project.camera.orientation = 1;  // landscape: the long side runs horizontally
        ASSERT_GT(project.ComputeTiles(false), 0u);
        // The planner widens the range by its row margin; the check looks at
        // the whole sphere as the stitchers do.
        project.fov = _FOV();
        for (uint32_t k = 0; k < project.TileCount(); ++k) {
            VELDANPanoramaTile* tile = project.Tile(k);
            headsim::ViewSpec v;
            v.azimuthDeg = tile->pos_x;
            v.elevationDeg = tile->pos_y;
            v.focalMm = project.lens.focal_length;
            v.sensorWidthMm = project.sensor.dimension_x;
            v.sensorHeightMm = project.sensor.dimension_y;
            v.width = 480;
            v.height = 320;
            const headsim::RgbImage view = headsim::RenderView(scene, v);
            Bitmap b =
                std::move(Bitmap::Create(uint32_t(view.width), uint32_t(view.height), PixelLayout::kBgr24).value());
            for (int y = 0; y < view.height; ++y)
                for (int x = 0; x < view.width; ++x) {
                    const uint8_t* p = view.At(x, y);
                    b.SetArgb(uint32_t(x), uint32_t(y),
                              0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
                }
            const fs::path file = home.Dir() / ("tile_" + std::to_string(k) + ".png");
            ASSERT_TRUE(veldan::imaging::SavePng(b, file).ok());
            tile->Bracketing(tile->variant)->GetImage(0)->SetFilename(veldan::platform::PathToWide(file).c_str());
            views.push_back(v);
        }
    }

    // Runs nona on a project file and decodes its panorama.
    Bitmap Nona(const fs::path& file) {
        const fs::path out = home.Dir() / ("out_" + file.stem().string());
        std::string error;
        EXPECT_TRUE(RunNona(file, out, error)) << error;
        veldan::imaging::DecodeOptions options;
        options.layout = PixelLayout::kArgb32;
        auto decoded = veldan::imaging::DecodeImageFile(out.string() + ".tif", options);
        EXPECT_TRUE(decoded.ok()) << ReadAll(out.string() + ".log");
        return decoded ? std::move(decoded).value() : Bitmap();
    }

    TempHome home;
    headsim::RgbImage scene;
    VELDANPanoramaProject project;
    std::vector<headsim::ViewSpec> views;
};

}  // namespace

TEST_F(StitchCheck, NonaStitchesThePTguiAndHuginExportsBackIntoTheScene) {
    if (!HaveNona())
        GTEST_SKIP() << "Hugin's nona is not installed (Debian package hugin-tools): no stitcher to check against";
    // PTGui: nona counts no dummy image, so the optimizer line names one
    // picture too many for it; it is dropped. The panorama gets the check's size.
    const fs::path pts = home.Dir() / "pano.pts";
    ASSERT_TRUE(project.ExportPTgui(veldan::platform::PathToWide(pts).c_str(), false));
    std::string text = ReadAll(pts);
    const size_t v = text.find("v v a b c d e");
    ASSERT_NE(v, std::string::npos);
    text.erase(v);
    // Nor does it link the pictures' "v=0" to the dummy image: it links them
    // to its first picture, which then needs the lens's angle itself.
    const size_t dummy = text.find(" v", text.find("#-dummyimage"));
    const size_t first = text.find("v=0", text.find("\no f0 "));
    ASSERT_NE(dummy, std::string::npos);
    ASSERT_NE(first, std::string::npos);
    text.replace(first, 3, text.substr(dummy + 1, text.find_first_of("\r\n", dummy) - dummy - 1));
    ASSERT_TRUE(ReplaceWord(text, "p w25000", "w", std::to_string(kW)));
    ASSERT_TRUE(ReplaceWord(text, "p w", "h", std::to_string(kH)));
    WriteAll(pts, text);

    const fs::path pto = home.Dir() / "pano.pto";
    ASSERT_TRUE(project.ExportHugin(veldan::platform::PathToWide(pto).c_str(), false));
    text = ReadAll(pto);
    ASSERT_TRUE(ReplaceWord(text, "p f2", "w", std::to_string(kW)));
    ASSERT_TRUE(ReplaceWord(text, "p f2", "h", std::to_string(kH)));
    WriteAll(pto, text);

    for (const fs::path& file : {pts, pto}) {
        SCOPED_TRACE(file.filename().string());
        Bitmap stitched = Nona(file);
        ASSERT_EQ(stitched.Width(), kW);
        ASSERT_EQ(stitched.Height(), kH);
        const Psnr r = Compare(stitched, scene, views, NonaDirection(kW, kH));
        std::printf("nona %s: PSNR %.2f dB over %.1f %% of the panorama (%u tiles)\n", file.filename().c_str(), r.db,
                    100 * r.covered, project.TileCount());
        EXPECT_GT(r.covered, 0.9);
        EXPECT_GT(r.db, 30.0);
    }
}

TEST_F(StitchCheck, OurBlendedPreviewReproducesTheScene) {
    for (uint32_t k = 0; k < project.TileCount(); ++k) PrepareThumb(project, project.Tile(k), kW, kH);
    VELDANPanoramaStitcher stitcher;
    stitcher.project = &project;
    void* composite = stitcher.GetImage(kW, kH, PREVIEW_BLEND, 0, 0, 0, 0, 0);
    ASSERT_NE(composite, nullptr);
    const Psnr r = Compare(B(composite), scene, views, PreviewDirection(kW, kH));
    std::printf("blended preview: PSNR %.2f dB over %.1f %% of the panorama (%u tiles)\n", r.db, 100 * r.covered,
                project.TileCount());
    EXPECT_GT(r.covered, 0.9);
    // Nearest source pixels, no interpolation: a little below the stitcher.
    EXPECT_GT(r.db, 25.0);
    // The check tells a misplaced panorama: five degrees of azimuth off.
    const Psnr off = Compare(B(composite), scene, views, [](uint32_t x, uint32_t y, double& az, double& el) {
        az = std::fmod(x * 360.0 / kW + 5, 360.0);
        el = 90 - y * 180.0 / (kH - 1);
    });
    std::printf("five degrees off: PSNR %.2f dB\n", off.db);
    EXPECT_LT(off.db, r.db - 4);
}

}  // namespace veldan::test
