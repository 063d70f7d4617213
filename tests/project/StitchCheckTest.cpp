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
#include <numbers>
#include <string>
#include <vector>

#include "PreviewTestSupport.h"
#include "TestScene.h"
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "ViewRenderer.h"
#include "imaging/Decode.h"

using namespace previewtest;
namespace fs = std::filesystem;

namespace {

constexpr double kDeg = std::numbers::pi / 180;
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

// Covered by some tile's frame, at least `margin` (plane units) inside it:
// the directions a stitcher must reproduce.
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

struct Psnr {
    double db = 0;
    double covered = 0;  // share of the panorama compared
};

// PSNR over the covered pixels of a W x H panorama whose pixel (x, y) looks
// at direction(x, y).
template <class Direction>
Psnr Compare(const Bitmap& stitched, const headsim::RgbImage& scene, const std::vector<headsim::ViewSpec>& views,
             Direction direction) {
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
            const double e[3] = {double(Red(p)) - ref[0], double(Green(p)) - ref[1], double(Blue(p)) - ref[2]};
            sum += e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
            n += 3;
        }
    Psnr r;
    r.covered = double(n / 3) / (double(stitched.Width()) * stitched.Height());
    r.db = n ? 10 * std::log10(255.0 * 255.0 / (sum / double(n))) : 0;
    return r;
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
            Bitmap b = std::move(Bitmap::Create(uint32_t(view.width), uint32_t(view.height), PixelLayout::kBgr24).value());
            for (int y = 0; y < view.height; ++y)
                for (int x = 0; x < view.width; ++x) {
                    const uint8_t* p = view.At(x, y);
                    b.SetArgb(uint32_t(x), uint32_t(y), 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
                }
            const fs::path file = home.Dir() / ("tile_" + std::to_string(k) + ".png");
            ASSERT_TRUE(veldan::imaging::SavePng(b, file).ok());
            tile->Bracketing(tile->variant)->GetImage(0)->SetFilename(veldan::PathToWide(file).c_str());
            views.push_back(v);
        }
    }

    // Runs nona on a project file and decodes its panorama.
    Bitmap Nona(const fs::path& file) {
        const fs::path out = home.Dir() / ("out_" + file.stem().string());
        const std::string command =
            "nona -o '" + out.string() + "' -m TIFF '" + file.string() + "' >'" + out.string() + ".log' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << ReadAll(out.string() + ".log");
        veldan::imaging::DecodeOptions options;
        options.layout = PixelLayout::kArgb32;
        auto decoded = veldan::imaging::DecodeImageFile(out.string() + ".tif", options);
        EXPECT_TRUE(decoded.ok()) << ReadAll(out.string() + ".log");
        return decoded ? std::move(decoded).value() : Bitmap();
    }

    projecttest::TempHome home;
    headsim::RgbImage scene;
    VELDANPanoramaProject project;
    std::vector<headsim::ViewSpec> views;
};

// nona's equirectangular panorama of 360 x 180 degrees: yaw 0 in the middle,
// pixel centres at half steps.
void NonaDirection(uint32_t x, uint32_t y, double& az, double& el) {
    az = std::fmod((x + 0.5) * 360.0 / kW - 180 + 360, 360.0);
    el = 90 - (y + 0.5) * 180.0 / kH;
}

bool HaveNona() { return std::system("command -v nona >/dev/null 2>&1") == 0; }

}  // namespace

TEST_F(StitchCheck, NonaStitchesThePTguiAndHuginExportsBackIntoTheScene) {
    if (!HaveNona()) GTEST_SKIP() << "Hugin's nona is not installed (Debian package hugin-tools): no stitcher to check against";
    // PTGui: nona counts no dummy image, so the optimizer line names one
    // picture too many for it; it is dropped. The panorama gets the check's size.
    const fs::path pts = home.Dir() / "pano.pts";
    ASSERT_TRUE(project.ExportPTgui(veldan::PathToWide(pts).c_str(), false));
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
    ASSERT_TRUE(project.ExportHugin(veldan::PathToWide(pto).c_str(), false));
    text = ReadAll(pto);
    ASSERT_TRUE(ReplaceWord(text, "p f2", "w", std::to_string(kW)));
    ASSERT_TRUE(ReplaceWord(text, "p f2", "h", std::to_string(kH)));
    WriteAll(pto, text);

    for (const fs::path& file : {pts, pto}) {
        SCOPED_TRACE(file.filename().string());
        Bitmap stitched = Nona(file);
        ASSERT_EQ(stitched.Width(), kW);
        ASSERT_EQ(stitched.Height(), kH);
        const Psnr r = Compare(stitched, scene, views, NonaDirection);
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
    const Psnr r = Compare(B(composite), scene, views, [](uint32_t x, uint32_t y, double& az, double& el) {
        az = x * 360.0 / kW;                 // a full circle wraps: m = W
        el = 90 - y * 180.0 / (kH - 1);      // row 0 the zenith, the last row the nadir
    });
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
