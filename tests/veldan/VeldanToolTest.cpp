// Tests of the veldan tool's plan, info, import and thumb commands and of its
// error output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Decode.h"
#include "imaging/Jpeg.h"

namespace veldan::test {

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// Runs the tool with a shell command line; standard error goes to stdout
// when asked, so that messages can be checked.
ToolRun Tool(const std::string& args, bool withErrors = false) {
    const std::string command = std::string(VELDAN_TOOL) + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun r{-1, {}};
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

// A JPEG header with a frame of the given size (all a size reader needs).
void WriteJpeg(const std::filesystem::path& file, int w, int h) {
    const unsigned char bytes[] = {0xFF,
                                   0xD8,
                                   0xFF,
                                   0xE0,
                                   0x00,
                                   0x04,
                                   0x00,
                                   0x00,
                                   0xFF,
                                   0xC0,
                                   0x00,
                                   0x0B,
                                   0x08,
                                   static_cast<unsigned char>(h >> 8),
                                   static_cast<unsigned char>(h),
                                   static_cast<unsigned char>(w >> 8),
                                   static_cast<unsigned char>(w),
                                   0x01,
                                   0x01,
                                   0x11,
                                   0x00,
                                   0xFF,
                                   0xD9};
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

class VeldanTool : public ::testing::Test {
protected:
    TempHome home;
    std::string Path(const char* name) { return (home.Dir() / name).string(); }
};

TEST_F(VeldanTool, PlanPrintsTheTileCountAndSavesTheProject) {
    ToolRun r = Tool("plan --focal 50 --sensor 36x24 -o " + Path("a.vpp"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "88\n");
    VELDANPanoramaProject p;
    ASSERT_TRUE(p.LoadFromFile((home.Dir() / "a.vpp").wstring().c_str()));
    EXPECT_EQ(p.TileCount(), 88u);
    EXPECT_EQ(p.path.GetItemCount(), 88u);
    EXPECT_EQ(p.camera.orientation, 1u);

    r = Tool("plan --focal 50 --sensor 36x24 --legacy --multirow --overlap 0.1 -o " + Path("b.vpp"));
    EXPECT_EQ(r.out, "62\n");
    r = Tool("plan --focal 50 --sensor 36x24 --orientation portrait --legacy --fov 0:360:0:0 --hdr 3:3:2 --path 2 -o " +
             Path("c.vpp"));
    EXPECT_EQ(r.out, "15\n");
    VELDANPanoramaProject c;
    ASSERT_TRUE(c.LoadFromFile((home.Dir() / "c.vpp").wstring().c_str()));
    EXPECT_EQ(c.options.path, 2u);
    EXPECT_EQ(c.path.Node(0)->tile_nr, 14);  // highest azimuth first
    EXPECT_EQ(c.Tile(0)->Bracketing(0)->GetImage(0)->ev, 3);
}

TEST_F(VeldanTool, InfoJsonHasTheDocumentedShape) {
    ASSERT_EQ(Tool("plan --focal 24 --sensor 36x24 --fov 0:90:-10:10 --hdr 3:3:1 -o " + Path("p.vpp")).status, 0);
    ToolRun r = Tool("info " + Path("p.vpp") + " --json");
    ASSERT_EQ(r.status, 0);
    for (const char* key :
         {"\"fov\":{\"begin_theta\":", "\"hdri\":{\"enabled\":true,\"count\":3,\"step\":3,\"order\":1", "\"options\":{",
          "\"lens\":{\"focal_length\":24", "\"camera\":{", "\"sensor\":{", "\"path\":[0,", "\"tiles\":[{\"pos_x\":",
          "\"variant\":0,\"bracketings\":[[{\"filename\":null,"
          "\"width\":0,\"height\":0,\"ev\":-3,\"orientation\":0}"})
        EXPECT_NE(r.out.find(key), std::string::npos) << key << "\n" << r.out.substr(0, 600);
    EXPECT_EQ(r.out.back(), '\n');
    r = Tool("info " + Path("p.vpp"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("tiles:"), std::string::npos);
}

TEST_F(VeldanTool, ImportAssignsSortedImagesInShootingOrder) {
    std::ofstream(home.Dir() / "run.txt") << "H 0\nV 0\nSHOOT\nH 90\nSHOOT\nH 0\nSHOOT\n";
    for (const char* name : {"img1.jpg", "img10.jpg", "img2.jpg"}) WriteJpeg(home.Dir() / name, 600, 400);
    ToolRun r = Tool("import " + Path("run.txt") + " --images " + Path("img2.jpg") + " " + Path("img10.jpg") + " " +
                     Path("img1.jpg") + " -o " + Path("i.vpp"));
    ASSERT_EQ(r.status, 0) << r.out;
    VELDANPanoramaProject p;
    ASSERT_TRUE(p.LoadFromFile((home.Dir() / "i.vpp").wstring().c_str()));
    ASSERT_EQ(p.TileCount(), 2u);
    // Tile 0 has two variants (shots 1 and 3), tile 1 one.
    EXPECT_EQ(p.Tile(0)->Bracketing(0)->GetImage(0)->GetFilename(), (home.Dir() / "img1.jpg").wstring());
    EXPECT_EQ(p.Tile(0)->Bracketing(1)->GetImage(0)->GetFilename(), (home.Dir() / "img10.jpg").wstring());
    EXPECT_EQ(p.Tile(1)->Bracketing(0)->GetImage(0)->GetFilename(), (home.Dir() / "img2.jpg").wstring());
    EXPECT_EQ(p.Tile(1)->Bracketing(0)->GetImage(0)->GetWidth(), 400u);  // turned camera: shown upright
    EXPECT_EQ(p.Tile(1)->Bracketing(0)->GetImage(0)->taken, 1u);
}

TEST_F(VeldanTool, ErrorsGoToStandardErrorWithNonZeroStatus) {
    ToolRun r = Tool("info " + Path("missing.vpp"), true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("veldan: no such project file"), std::string::npos);
    std::ofstream(home.Dir() / "junk.vpp") << "<html/>";
    EXPECT_EQ(Tool("info " + Path("junk.vpp")).status, 1);
    EXPECT_EQ(Tool("plan --sensor 36x24 -o " + Path("x.vpp")).status, 2);
    EXPECT_EQ(Tool("plan --focal 50 --sensor 36by24 -o " + Path("x.vpp")).status, 2);
    EXPECT_EQ(Tool("plan --focal 50 --sensor 36x24").status, 2);
    EXPECT_EQ(Tool("plan --focal 50 --sensor 36x24 --fov 10:0:0:0 -o " + Path("x.vpp")).status, 2);
    EXPECT_EQ(Tool("plan --focal 50 --sensor 36x24 --hdr 3:3 -o " + Path("x.vpp")).status, 2);
    EXPECT_EQ(Tool("plan --focal 50 --sensor 36x24 -o " + Path("nofolder/x.vpp")).status, 1);
    EXPECT_FALSE(std::filesystem::exists(home.Dir() / "x.vpp"));
    EXPECT_EQ(Tool("frobnicate").status, 2);
    EXPECT_EQ(Tool("").status, 2);
    std::ofstream(home.Dir() / "moves.txt") << "H 10\nV 10\n";
    EXPECT_EQ(Tool("import " + Path("moves.txt") + " -o " + Path("m.vpp")).status, 1);
    EXPECT_EQ(Tool("import " + Path("nothere.txt") + " -o " + Path("m.vpp")).status, 1);
    EXPECT_EQ(Tool("import " + Path("moves.txt") + " --images " + Path("none.jpg") + " -o " + Path("m.vpp")).status, 1);
    ToolRun help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  plan --focal MM --sensor WxH"), std::string::npos);
}

TEST_F(VeldanTool, ThumbWritesAnUprightJpegThatFitsTheSize) {
    using namespace veldan::imaging;
    auto picture = Bitmap::Create(600, 400, PixelLayout::kBgr24);
    ASSERT_TRUE(picture.ok());
    ASSERT_TRUE(SaveJpeg(picture.value(), home.Dir() / "wide.jpg").ok());
    ToolRun r = Tool("thumb " + Path("wide.jpg") + " --size 150x150 -o " + Path("t.jpg"), true);
    ASSERT_EQ(r.status, 0) << r.out;
    auto info = ReadImageInfoFile(home.Dir() / "t.jpg");
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info.value().width, 150u);
    EXPECT_EQ(info.value().height, 100u);

    EXPECT_EQ(Tool("thumb " + Path("missing.jpg") + " --size 10x10 -o " + Path("u.jpg")).status, 1);
    std::ofstream(home.Dir() / "junk.jpg") << "not a picture";
    EXPECT_EQ(Tool("thumb " + Path("junk.jpg") + " --size 10x10 -o " + Path("u.jpg")).status, 1);
    EXPECT_FALSE(std::filesystem::exists(home.Dir() / "u.jpg"));
    EXPECT_EQ(Tool("thumb " + Path("wide.jpg") + " --size 0x10 -o " + Path("u.jpg")).status, 2);
    EXPECT_EQ(Tool("thumb " + Path("wide.jpg") + " -o " + Path("u.jpg")).status, 2);
    // Thumbnails are JPEG: another file type is refused before anything is written.
    const ToolRun png = Tool("thumb " + Path("wide.jpg") + " --size 10x10 -o " + Path("u.png"), true);
    EXPECT_EQ(png.status, 2);
    EXPECT_NE(png.out.find("-o must name a .jpg file"), std::string::npos) << png.out;
    EXPECT_FALSE(std::filesystem::exists(home.Dir() / "u.png"));
    EXPECT_EQ(Tool("thumb " + Path("wide.jpg") + " --size 10x10 -o " + Path("T.JPEG")).status, 0);
}

// Every sub-command reads its command line with the same reader but keeps
// its own wording; the usage errors name the argument they are about.
TEST_F(VeldanTool, UsageErrorsKeepEachCommandsWording) {
    const struct {
        std::string args, message;
    } cases[] = {
        {"export a.vpp --format", "veldan: --format needs a value\n"},
        {"export a.vpp b.vpp", "veldan: more than one project given\n"},
        {"export a.vpp --bogus x", "veldan: unknown option \"--bogus\"\n"},
        {"preview a.vpp -o", "veldan: -o needs a value\n"},
        {"preview a.vpp b.vpp", "veldan: more than one project given\n"},
        {"thumb a.jpg b.jpg", "veldan: more than one picture given\n"},
        {"thumb -x", "veldan: unknown option \"-x\"\n"},
        {"capture a.vpp --com", "veldan: --com needs a value\n"},
        {"capture a.vpp --fast", "veldan: unknown option --fast\n"},
        {"capture a.vpp b.vpp", "veldan: more than one project file given\n"},
        {"plan --focal 50 -o ''", "veldan: option -o needs a file name\n"},
        {"plan --focal 50 extra", "veldan: unknown argument \"extra\" for plan\n"},
        {"plan --focal", "veldan: option --focal needs a value\n"},
        {"plan --path 300", "veldan: option --path needs a path type 0-255 (0-7 are the orders)\n"},
        {"import s.txt t.txt", "veldan: import takes one script, got \"t.txt\" too\n"},
        {"import s.txt ''", "veldan: unknown argument \"\" for import\n"},
        {"import s.txt --output", "veldan: option --output needs a file name\n"},
        {"import s.txt --images", "veldan: option --images needs at least one image file\n"},
        {"info a.vpp --xml", "veldan: unknown argument \"--xml\" for info\n"},
        {"info a.vpp b.vpp", "veldan: info takes one project file\n"},
    };
    for (const auto& c : cases) {
        const ToolRun r = Tool(c.args, true);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), c.message) << c.args;
    }
}

}  // namespace veldan::test
