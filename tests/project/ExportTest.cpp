// Stitcher exports: exact bytes of the PTGui and Autopano files, file names
// outside ASCII, the Hugin project, and real stitching with Hugin's nona.
#include <gtest/gtest.h>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "imaging/Tiff.h"
#include "platform/Text.h"

namespace veldan::test {

namespace {

namespace fs = std::filesystem;
using namespace veldan::imaging;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Lines of a CR LF file; fails the test on a bare LF or CR.
std::vector<std::string> CrLfLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
            lines.push_back(bytes.substr(start, i - 1 - start));
            start = i + 1;
        } else if (bytes[i] == '\r') {
            EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    EXPECT_EQ(start, bytes.size()) << "last line without newline";
    return lines;
}

void WriteJpeg(const fs::path& path, uint32_t w, uint32_t h, uint8_t shade) {
    auto bitmap = Bitmap::Create(w, h, PixelLayout::kBgr24);
    ASSERT_TRUE(bitmap.ok());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w * 3; ++x) bitmap->Row(y)[x] = uint8_t(shade + (x / 3 + y) % 32);
    ASSERT_TRUE(SaveJpeg(*bitmap, path).ok());
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }

    std::wstring W(const fs::path& p) { return veldan::platform::PathToWide(p); }

    // A tile with one bracketing of `slots` empty slots.
    VELDANPanoramaTile* AddTile(double x, double y, uint32_t slots) {
        auto* tile = new_VELDANPanoramaTile(1);
        tile->pos_x = x;
        tile->pos_y = y;
        tile->fov_x = 60;
        tile->fov_y = 40;
        auto* bracketing = new_VELDANPanoramaBracketing(1);
        bracketing->SetImageCnt(slots);
        tile->bracketings.AddItem(bracketing, tile->bracketings.GetItemCount(), true);
        project.AppendTile(tile);
        return tile;
    }

    TempHome home;
    VELDANPanoramaProject project;
};

const char* kPTguiHead =
    "# ptGui project file\r\n\r\n#-encoding utf8\r\n#-pathseperator \\\r\n#-fileversion 31\r\n#-vfov 180\r\n"
    "#-hfov 360\r\n#-outputfile\r\n#-hasbeenoptimized 0\r\n#-psdparameters 16bit packbits layered\r\n"
    "#-honorexiforientation 0\r\n#-outputcrop 0 1 0 1\r\n";
const char* kPTguiMiddle =
    "#-hdrenabled\r\n#-hdroutputhdrblended\r\n#-hdroutputtonemapped\r\n#-hdroutputlayers\r\n"
    "#-hdroutputblendplanes\r\n#-hdrfileformat psd\r\n#-hdrmethod truehdr\r\n#-hdrpsdparameters float none flat\r\n"
    "#-hdrsettings_defaultlinkmode link\r\n#-hdrsettings_donotask 1\r\n#-linkroll\r\n#-cpinactive\r\n"
    "#-imginactive\r\n#-alignsettings_generatecp 1\r\n#-alignsettings_optimize 1\r\n"
    "#-alignsettings_optimizeprealign 0\r\n#-alignsettings_straighten 1\r\n#-alignsettings_fit 0\r\n"
    "#-alignsettings_chooseprojection 0\r\n#-alignsettings_setoptimumsize 0\r\n#-alignsettings_limitsize 20\r\n"
    "#-alignsettings_optimizeexposure 1\r\n#-batchsettings_align 1\r\n#-batchsettings_stitch 1\r\n"
    "#-batchsettings_stitchonlyifcontrolpoints 0\r\n#-defaultprojectfilenamemode firstsourceimage\r\n"
    "#-defaultprojectfilename_custom \" Panorama\"\r\n#-defaultprojectfoldermode sourcefolder\r\n"
    "#-defaultprojectfolder_custom \"\"\r\n#-defaultpanoramafilenamemode asproject\r\n"
    "#-defaultpanoramafilename_custom \"\"\r\n#-defaultpanoramafoldermode projectfolder\r\n"
    "#-defaultpanoramafolder_custom \"\"\r\n# Panorama settings:\r\np w25000 h12500 f2 v360 n\"PSD_mask\"\r\n"
    "m g1 i0 f0\r\n\r\n# input images:\r\n#-dummyimage\r\n";

TEST_F(ExportTest, EmptyProjectPTguiIsExactBytes) {
    const fs::path out = home.Dir() / "empty.pts";
    ASSERT_TRUE(project.ExportPTgui(W(out).c_str(), false));
    const std::string expected = std::string("\xEF\xBB\xBF") + kPTguiHead + "#-optviewpoint \r\n" + kPTguiMiddle +
                                 "o w1 h1 y0 r0 p0 a0 b0 c0 f0 d0 e0 g0 t0\r\n\r\n# optimizer:\r\nv v a b c d e\r\n";
    EXPECT_EQ(ReadAll(out), expected);
}

TEST_F(ExportTest, EmptyProjectAutopanoHasFixedBlocksOnly) {
    const fs::path out = home.Dir() / "empty.pano";
    ASSERT_TRUE(project.ExportAutopano(W(out).c_str(), false));
    const std::string bytes = ReadAll(out);
    const auto lines = CrLfLines(bytes);
    ASSERT_EQ(lines.size(), 49u);
    EXPECT_EQ(lines[0], "<Version>");
    EXPECT_EQ(lines[2], "\t<APPVersion> V2.0.5  </APPVersion>");
    EXPECT_EQ(bytes.find("<Image>"), std::string::npos);
    EXPECT_EQ(bytes.find("<LImage>"), std::string::npos);
    EXPECT_NE(bytes.find("\t<Name> Layer 0 </Name>\r\n</BlendedLayers>\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\t<ThetaMin> -3.141593 </ThetaMin>\r\n\t<ThetaMax> 3.141593 </ThetaMax>\r\n"
                         "\t<PhiMin> -1.570796 </PhiMin>\r\n\t<PhiMax> 1.570796 </PhiMax>\r\n"),
              std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 17), "</Projection>\r\n\r\n");
}

// Pictures: a plain one, an empty slot, one turned (orientation 1), one named
// but unreadable (counted in the list lines only), one with orientation 3
// under a name outside ASCII.
TEST_F(ExportTest, PicturesWithRollEmptySlotsAndUnicodeNames) {
    project.lens.focal_length = 18;
    project.sensor.dimension_x = 36;
    project.sensor.dimension_y = 24;
    const fs::path a = home.Dir() / "a.jpg";
    const fs::path b = home.Dir() / "b.jpg";
    const fs::path c = home.Dir() / "Bild_ä€.jpg";
    WriteJpeg(a, 48, 32, 10);
    WriteJpeg(b, 48, 32, 60);
    WriteJpeg(c, 48, 32, 120);
    VELDANPanoramaTile* t0 = AddTile(270, 10, 3);
    t0->Bracketing(0)->GetImage(0)->SetFilename(W(a).c_str());
    // slot 1 stays empty
    VELDANPanoramaImage* turned = t0->Bracketing(0)->GetImage(2);
    turned->SetFilename(W(b).c_str());
    turned->orientation = 1;
    VELDANPanoramaTile* t1 = AddTile(30, -20, 2);
    t1->Bracketing(0)->GetImage(0)->SetFilename(W(home.Dir() / "missing.jpg").c_str());
    VELDANPanoramaImage* unicode = t1->Bracketing(0)->GetImage(1);
    unicode->SetFilename(W(c).c_str());
    unicode->orientation = 3;
    // A tile whose selected variant does not exist contributes nothing.
    AddTile(0, 0, 1)->variant = 4;
    const uint32_t aw = t0->Bracketing(0)->GetImage(0)->GetWidth();
    const uint32_t ah = t0->Bracketing(0)->GetImage(0)->GetHeight();
    ASSERT_GT(aw, 0u);

    const fs::path pts = home.Dir() / "p.pts";
    ASSERT_TRUE(project.ExportPTgui(W(pts).c_str(), false));
    const std::string bytes = ReadAll(pts);
    ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    const auto lines = CrLfLines(bytes.substr(3));
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[12], "#-optviewpoint 1111");
    const size_t n = lines.size();
    auto size = [](uint32_t w, uint32_t h) { return std::to_string(w) + " " + std::to_string(h); };
    const std::vector<std::string> tail = {
        "#-dummyimage",
        "o w1 h1 y0 r0 p0 a0 b0 c0 f0 d0 e0 g0 t0 v90.000000",
        "#-imgfile " + size(aw, ah) + " \"" + a.string() + "\"",
        "o f0 y-90.000000 r0.000000 p10.000000 v=0 b=0 c=0 d=0 e=0 g=0 t=0",
        "#-imgfile " + size(turned->GetWidth(), turned->GetHeight()) + " \"" + b.string() + "\"",
        "o f0 y-90.000000 r-90.000000 p10.000000 v=0 b=0 c=0 d=0 e=0 g=0 t=0",
        "#-imgfile " + size(unicode->GetWidth(), unicode->GetHeight()) + " \"" + c.string() + "\"",
        "o f0 y30.000000 r90.000000 p-20.000000 v=0 b=0 c=0 d=0 e=0 g=0 t=0",
        "",
        "# optimizer:",
        "v v a b c d e r1 r2 r3 r4",
    };
    ASSERT_GE(n, tail.size());
    for (size_t i = 0; i < tail.size(); ++i) EXPECT_EQ(lines[n - tail.size() + i], tail[i]) << "line " << i;
    // The empty slot got a blank image when read.
    EXPECT_NE(t0->Bracketing(0)->images[1], nullptr);

    const fs::path pano = home.Dir() / "p.pano";
    ASSERT_TRUE(project.ExportAutopano(W(pano).c_str(), false));
    const std::string ap = ReadAll(pano);
    CrLfLines(ap);
    EXPECT_NE(ap.find("\t<LImage> 3 1 1 </LImage>\r\n</BlendedLayers>"), std::string::npos);
    EXPECT_NE(ap.find("<Image>\r\n\t<FullFilename> " + c.string() + " </FullFilename>\r\n"), std::string::npos);
    EXPECT_NE(ap.find("\t<Yaw> -4.712389 </Yaw>\r\n\t<Pitch> 0.174533 </Pitch>\r\n\t<Roll> -1.570796 </Roll>\r\n"),
              std::string::npos);
    // F = width / (2 atan(36 / 36)) = 48 / (pi / 2) for the plain picture.
    char f[32];
    std::snprintf(f, sizeof f, "\t<F> %.2f </F>\r\n", aw / (3.141592653589793 / 2));
    EXPECT_NE(ap.find(f), std::string::npos);
}

TEST_F(ExportTest, AutopanoRefusesNamesTheLocaleCannotWrite) {
    const fs::path c = home.Dir() / "€.jpg";
    WriteJpeg(c, 16, 16, 0);
    AddTile(0, 0, 1)->Bracketing(0)->GetImage(0)->SetFilename(W(c).c_str());
    std::setlocale(LC_ALL, "C");
    const fs::path pano = home.Dir() / "c.pano";
    EXPECT_FALSE(project.ExportAutopano(W(pano).c_str(), false));
    EXPECT_FALSE(fs::exists(pano));
    // PTGui writes UTF-8 whatever the locale.
    EXPECT_TRUE(project.ExportPTgui(W(home.Dir() / "c.pts").c_str(), false));
}

TEST_F(ExportTest, FailuresLeaveNoFile) {
    const fs::path pts = home.Dir() / "prev.pts";
    // Hugin reads the pictures' own files; its preview variant is refused.
    EXPECT_FALSE(project.ExportHugin(W(pts).c_str(), true));
    EXPECT_FALSE(fs::exists(pts));
    EXPECT_FALSE(project.ExportPTgui(W(home.Dir() / "no" / "such" / "x.pts").c_str(), false));
    EXPECT_FALSE(project.ExportPTgui(nullptr, false));
    EXPECT_FALSE(project.ExportHugin(L"", false));
}

TEST_F(ExportTest, HuginProjectListsStacksAndExposures) {
    project.lens.focal_length = 18;
    project.sensor.dimension_x = 36;
    project.sensor.dimension_y = 24;
    const fs::path a = home.Dir() / "a.jpg", b = home.Dir() / "b.jpg";
    WriteJpeg(a, 48, 32, 10);
    WriteJpeg(b, 48, 32, 90);
    VELDANPanoramaTile* t = AddTile(270, 5, 2);
    t->Bracketing(0)->GetImage(0)->SetFilename(W(a).c_str());
    t->Bracketing(0)->GetImage(0)->ev = -3;
    t->Bracketing(0)->GetImage(1)->SetFilename(W(b).c_str());
    t->Bracketing(0)->GetImage(1)->ev = 3;
    const fs::path pto = home.Dir() / "h.pto";
    ASSERT_TRUE(project.ExportHugin(W(pto).c_str(), false));
    const std::string text = ReadAll(pto);
    EXPECT_NE(text.find("p f2 w192 h96 v360.000000 "), std::string::npos) << text;
    EXPECT_NE(text.find("v90.000000 Ra0 Rb0 Rc0 Rd0 Re0 Eev1.000000 Er1 Eb1 r0.000000 p5.000000 y-90.000000 "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Eev-1.000000"), std::string::npos);
    EXPECT_EQ(text.find(" j1 "), std::string::npos);  // both pictures in stack 0
    EXPECT_NE(text.find("n\"" + b.string() + "\""), std::string::npos);
}

// Stitches both exports with Hugin's nona: it must accept the files, find the
// pictures and render a panorama of the p line's size.
TEST_F(ExportTest, NonaStitchesBothExports) {
    if (!fs::exists("/usr/bin/nona")) GTEST_SKIP() << "nona (hugin-tools) is not installed";
    project.lens.focal_length = 18;
    project.sensor.dimension_x = 36;
    project.sensor.dimension_y = 24;
    for (int i = 0; i < 4; ++i) {
        const fs::path pic = home.Dir() / ("tile" + std::to_string(i) + ".jpg");
        WriteJpeg(pic, 120, 80, uint8_t(40 * i));
        AddTile(i * 90.0, 0, 1)->Bracketing(0)->GetImage(0)->SetFilename(W(pic).c_str());
    }
    // PTGui: nona does not count the dummy image, so the optimizer line names
    // one picture too many for it; drop it before stitching.
    const fs::path pts = home.Dir() / "pan.pts";
    ASSERT_TRUE(project.ExportPTgui(W(pts).c_str(), false));
    std::string text = ReadAll(pts);
    const size_t v = text.find("v v a b c d e");
    ASSERT_NE(v, std::string::npos);
    text.erase(v);
    const fs::path pts_nona = home.Dir() / "pan_nona.pts";
    std::ofstream(pts_nona, std::ios::binary) << text;
    const fs::path pto = home.Dir() / "pan.pto";
    ASSERT_TRUE(project.ExportHugin(W(pto).c_str(), false));

    struct Case {
        fs::path project;
        uint32_t w, h;
    };
    for (const Case& c : {Case{pts_nona, 25000, 12500}, Case{pto, 480, 240}}) {
        if (c.project == pts_nona) {
            // A smaller panorama than PTGui's default keeps the run short.
            std::string small = ReadAll(pts_nona);
            const size_t p = small.find("p w25000 h12500");
            ASSERT_NE(p, std::string::npos);
            small.replace(p, 15, "p w800 h400");
            std::ofstream(pts_nona, std::ios::binary | std::ios::trunc) << small;
        }
        const fs::path out = home.Dir() / ("out_" + c.project.stem().string());
        const std::string command = "/usr/bin/nona -o '" + out.string() + "' -m TIFF '" + c.project.string() + "' >'" +
                                    out.string() + ".log' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << ReadAll(out.string() + ".log");
        const fs::path tif = out.string() + ".tif";
        ASSERT_TRUE(fs::exists(tif)) << ReadAll(out.string() + ".log");
        auto info = ReadTiffInfoFile(tif);
        ASSERT_TRUE(info.ok());
        const uint32_t ew = c.project == pts_nona ? 800 : c.w, eh = c.project == pts_nona ? 400 : c.h;
        EXPECT_EQ(info->width, ew);
        EXPECT_EQ(info->height, eh);
    }
}

}  // namespace

TEST_F(ExportTest, PreviewExportsWriteUprightCopiesBesideThePictures) {
    const fs::path a = home.Dir() / "wide.shot.jpg";
    WriteJpeg(a, 200, 100, 50);
    VELDANPanoramaTile* t = AddTile(90, 0, 1);
    t->Bracketing(0)->GetImage(0)->SetFilename(W(a).c_str());
    const fs::path pts = home.Dir() / "prev.pts";
    ASSERT_TRUE(project.ExportPTgui(W(pts).c_str(), true));
    const fs::path copy = home.Dir() / "wide.shot_prev.jpg";
    ASSERT_TRUE(fs::exists(copy));
    auto info = veldan::imaging::ReadImageInfoFile(copy);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info.value().width, 1024u);
    EXPECT_EQ(info.value().height, 512u);
    std::ifstream in(pts, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("#-imgfile 1024 512 \"" + copy.string() + "\""), std::string::npos) << text;
    ASSERT_TRUE(project.ExportAutopano(W(home.Dir() / "prev.pano").c_str(), true));
}

}  // namespace veldan::test
