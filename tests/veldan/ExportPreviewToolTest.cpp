// veldan export and veldan preview on a project file with pictures on disk.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "PreviewTestSupport.h"
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Decode.h"

namespace veldan::test {

namespace {

struct CommandRun {
    int status;
    std::string out;
};

CommandRun Veldan(const std::string& args) {
    const std::string command = std::string(VELDAN_TOOL) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    CommandRun r{-1, {}};
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ExportPreviewTool : public ::testing::Test {
protected:
    void SetUp() override {
        // A red tile left of a blue one on the horizon, and a tile without a picture.
        VELDANPanoramaProject project;
        project.lens.focal_length = 18;
        project.sensor.dimension_x = 36;
        project.sensor.dimension_y = 24;
        AddTile(project, 150, 0, 60, 40, Solid(120, 80, 0xFFFF0000), home.Dir() / "red.png");
        AddTile(project, 210, 0, 60, 40, Solid(120, 80, 0xFF0000FF), home.Dir() / "blue.png");
        AddTile(project, 0, 60, 60, 40, Bitmap(), {});
        ASSERT_TRUE(project.SaveToFile(veldan::platform::PathToWide(P("p.vpp")).c_str()));
    }
    std::string P(const char* name) { return (home.Dir() / name).string(); }
    TempHome home;
};

Bitmap Decode(const std::string& path) {
    veldan::imaging::DecodeOptions options;
    options.layout = PixelLayout::kArgb32;
    auto decoded = veldan::imaging::DecodeImageFile(path, options);
    EXPECT_TRUE(decoded.ok()) << path;
    return decoded ? std::move(decoded).value() : Bitmap();
}

}  // namespace

TEST_F(ExportPreviewTool, ExportWritesEveryFormat) {
    CommandRun r = Veldan("export " + P("p.vpp") + " --format ptgui -o " + P("a.pts"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ReadAll(P("a.pts")).rfind("\xEF\xBB\xBF# ptGui project file\r\n", 0), 0u);
    ASSERT_EQ(Veldan("export " + P("p.vpp") + " --format autopano -o " + P("a.pano")).status, 0);
    EXPECT_NE(ReadAll(P("a.pano")).find("<FullFilename> " + P("blue.png") + " </FullFilename>"), std::string::npos);
    ASSERT_EQ(Veldan("export " + P("p.vpp") + " --format hugin -o " + P("a.pto")).status, 0);
    EXPECT_EQ(ReadAll(P("a.pto")).rfind("# hugin project file\n", 0), 0u);
    ASSERT_EQ(Veldan("export " + P("p.vpp") + " --format ptgui-preview -o " + P("b.pts")).status, 0);
    EXPECT_TRUE(std::filesystem::exists(P("red_prev.jpg")));
    EXPECT_NE(ReadAll(P("b.pts")).find("red_prev.jpg"), std::string::npos);
    ASSERT_EQ(Veldan("export " + P("p.vpp") + " --format autopano-preview -o " + P("b.pano")).status, 0);

    EXPECT_EQ(Veldan("export " + P("p.vpp") + " --format gimp -o " + P("c.x")).status, 2);
    EXPECT_EQ(Veldan("export " + P("p.vpp") + " -o " + P("c.x")).status, 2);
    EXPECT_EQ(Veldan("export " + P("none.vpp") + " --format ptgui -o " + P("c.pts")).status, 1);
    EXPECT_EQ(Veldan("export " + P("p.vpp") + " --format ptgui -o " + P("no/such/dir/c.pts")).status, 1);
    EXPECT_FALSE(std::filesystem::exists(P("c.pts")));
}

TEST_F(ExportPreviewTool, PreviewRendersBlendedWarpedAndFlowChart) {
    CommandRun r = Veldan("preview " + P("p.vpp") + " -o " + P("b.png") + " --size 360x181");
    ASSERT_EQ(r.status, 0) << r.out;
    Bitmap blended = Decode(P("b.png"));
    ASSERT_EQ(blended.Width(), 360u);
    ASSERT_EQ(blended.Height(), 181u);
    EXPECT_EQ(blended.GetArgb(140, 90), 0xFFFF0000u);
    EXPECT_EQ(blended.GetArgb(225, 90), 0xFF0000FFu);
    EXPECT_NEAR(Red(blended.GetArgb(180, 90)), 127, 1);  // midway: the average
    EXPECT_EQ(blended.GetArgb(10, 170), 0xFF000000u);    // uncovered: black

    ASSERT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("w.png") + " --size 360x181 --mode warped").status, 0);
    Bitmap warped = Decode(P("w.png"));
    EXPECT_EQ(warped.GetArgb(180, 90), 0xFF0000FFu);  // the later tile lies on top
    EXPECT_EQ(Alpha(warped.GetArgb(10, 170)), 0);     // uncovered: transparent

    ASSERT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("f.jpg") + " --size 400x200 --mode flowchart").status, 0);
    Bitmap chart = Decode(P("f.jpg"));
    ASSERT_EQ(chart.Width(), 400u);
    VELDANPanoramaProject laid;
    ASSERT_TRUE(laid.LoadFromFile(veldan::platform::PathToWide(P("p.vpp")).c_str()));
    for (uint32_t k = 0; k < laid.TileCount(); ++k) laid.Tile(k)->aspect_ratio = 1.5;
    double l, rr, t, b;
    ASSERT_TRUE(laid.UpdateDisplayPositions(400, 200, 5, l, rr, t, b));
    // A point a quarter into the box, off the placeholder's cross.
    const auto centre = [&](uint32_t k) {
        const VELDANPanoramaTile& tile = *laid.Tile(k);
        return chart.GetArgb(uint32_t(tile.display_left + (tile.display_right - tile.display_left) / 4),
                             uint32_t((tile.display_top + tile.display_bottom) / 2));
    };
    EXPECT_GT(Red(centre(0)), 200);  // the red picture in its box (JPEG: nearly)
    EXPECT_LT(Blue(centre(0)), 60);
    EXPECT_GT(Blue(centre(1)), 200);
    EXPECT_NEAR(Red(centre(2)), 0xD8, 12);       // no picture: the placeholder
    EXPECT_GT(Green(chart.GetArgb(2, 2)), 240);  // the canvas is white

    // Another exposure index shows nothing of these one-image bracketings.
    ASSERT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("e.png") + " --size 360x181 --exposure 1").status, 0);
    EXPECT_EQ(Decode(P("e.png")).GetArgb(140, 90), 0xFF000000u);

    EXPECT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("x.gif") + " --size 360x181").status, 2);
    EXPECT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("x.png") + " --size 360").status, 2);
    EXPECT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("x.png") + " --size 360x181 --mode fancy").status, 2);
    EXPECT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("x.png") + " --size 90x90 --mode flowchart").status, 2);
    EXPECT_EQ(Veldan("preview " + P("p.vpp") + " -o " + P("x.png") + " --size 360x181 --exposure -1").status, 2);
    EXPECT_EQ(Veldan("preview " + P("none.vpp") + " -o " + P("x.png") + " --size 360x181").status, 1);
    EXPECT_FALSE(std::filesystem::exists(P("x.png")));
}

}  // namespace veldan::test
