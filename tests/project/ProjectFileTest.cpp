// Tests of the project file: the document byte for byte, reader conventions,
// failures and hostile documents.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"

namespace veldan::test {

namespace {

std::string SaveText(VELDANPanoramaProject& p) {
    MemBlockDesc buffer;
    EXPECT_TRUE(p.Save(&buffer));
    return std::string(reinterpret_cast<const char*>(buffer.data), buffer.length);
}

bool LoadText(VELDANPanoramaProject& p, const std::string& text) {
    MemBlockDesc buffer(text.data(), text.size());
    return p.Load(&buffer);
}

std::string Wrap(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<VELDAN_PANORAMA_PROJECT rev=\"1\">" + body +
           "</VELDAN_PANORAMA_PROJECT>\n";
}

std::string TwoDigits(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02u", v);
    return b;
}

}  // namespace

TEST(ProjectFile, NewProjectDocumentByteForByte) {
    VELDANPanoramaProject p;
    p.capture_time.year = 2010;
    p.capture_time.month = 5;
    p.capture_time.day = 5;
    p.capture_time.hour = 7;
    p.capture_time.minute = 3;
    p.capture_time.second = 9;
    const std::string text = SaveText(p);
    const auto& m = p.modification_time;  // set by Save
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<VELDAN_PANORAMA_PROJECT rev=\"1\"><META description=\"VELDANmodular Panorama Project\">"
        "<capture_time year=\"2010\" month=\"05\" day=\"05\" hour=\"07\" minute=\"03\" second=\"09\"/>"
        "<modification_time year=\"" +
        std::to_string(m.year) + "\" month=\"" + TwoDigits(m.month) + "\" day=\"" + TwoDigits(m.day) + "\" hour=\"" +
        TwoDigits(m.hour) + "\" minute=\"" + TwoDigits(m.minute) + "\" second=\"" + TwoDigits(m.second) +
        "\"/>"
        "<lens focal_length=\"0.000000\"/>"
        "<camera orientation=\"0\"/>"
        "<sensor dimension_x=\"0.000000\" dimension_y=\"0.000000\" resolution_x=\"0\" resolution_y=\"0\"/>"
        "<fov begin_theta=\"0.000000\" end_theta=\"360.000000\" begin_phi=\"-90.000000\" end_phi=\"90.000000\"/>"
        "<hdri enabled=\"0\" count=\"3\" step=\"3\" order=\"1\" shutter=\"1\"/>"
        "<options multirow_optimization=\"0\" legacy_arrangement=\"0\" overlap=\"0.100000\" path=\"0\"/>"
        "</META><PATH/></VELDAN_PANORAMA_PROJECT>\n";
    EXPECT_EQ(text, expected);
}

TEST(ProjectFile, SaveAppendsToTheBufferAndRefusesNull) {
    VELDANPanoramaProject p;
    EXPECT_FALSE(p.Save(nullptr));
    EXPECT_FALSE(p.Load(nullptr));
    MemBlockDesc buffer("abc", 3);
    ASSERT_TRUE(p.Save(&buffer));
    EXPECT_EQ(std::memcmp(buffer.data, "abc<?xml", 8), 0);
    EXPECT_NE(buffer.data[buffer.length - 1], 0);  // no terminating zero
    EXPECT_EQ(buffer.data[buffer.length - 1], '\n');
}

TEST(ProjectFile, TileAttributesAndVariant) {
    VELDANPanoramaProject p;
    auto* tile = new VELDANPanoramaTile();
    tile->pos_x = 12.5;
    tile->pos_y = -7.25;
    tile->fov_x = 39.597752709;
    auto* b = new VELDANPanoramaBracketing();
    b->SetImageCnt(2);
    VELDANPanoramaImage* image = b->GetImage(0);
    image->SetFilename(L"/shots/Bild ä<1>&.jpg");
    image->ev = -3;
    image->orientation = 3;
    tile->bracketings.AddItem(b, 0u);
    p.AppendTile(tile);
    std::string text = SaveText(p);
    EXPECT_NE(text.find("<TILE pos_x=\"12.500000000\" pos_y=\"-7.250000000\" fov_x=\"39.597752709\" "
                        "fov_y=\"0.000000000\"><BRACKETING images=\"2\">"
                        "<IMAGE filename=\"/shots/Bild \xC3\xA4&lt;1&gt;&amp;.jpg\" width=\"0\" height=\"0\" ev=\"-3\" "
                        "orientation=\"3\"/><IMAGE/></BRACKETING></TILE>"),
              std::string::npos)
        << text;

    // Two bracketings: the variant is written.
    auto* second = new VELDANPanoramaBracketing();
    second->SetImageCnt(1);
    tile->bracketings.AddItem(second, 1u);
    tile->variant = 1;
    text = SaveText(p);
    EXPECT_NE(text.find("fov_y=\"0.000000000\" variant=\"1\">"), std::string::npos);

    VELDANPanoramaProject loaded;
    ASSERT_TRUE(LoadText(loaded, text));
    ASSERT_EQ(loaded.TileCount(), 1u);
    VELDANPanoramaTile* t = loaded.Tile(0);
    EXPECT_EQ(t->pos_x, 12.5);
    EXPECT_EQ(t->variant, 1u);
    ASSERT_EQ(t->bracketings.GetItemCount(), 2u);
    VELDANPanoramaImage* li = t->Bracketing(0)->GetImage(0);
    EXPECT_STREQ(li->GetFilename(), L"/shots/Bild ä<1>&.jpg");
    EXPECT_EQ(li->ev, -3);
    EXPECT_EQ(li->orientation, 3);
    // The empty slot was written as an IMAGE without attributes and loads as
    // an image without a file name.
    ASSERT_NE(t->Bracketing(0)->images[1], nullptr);
    EXPECT_EQ(t->Bracketing(0)->images[1]->GetFilename(), nullptr);
}

TEST(ProjectFile, VariantIsClampedToTheBracketings) {
    VELDANPanoramaProject p;
    ASSERT_TRUE(
        LoadText(p, Wrap("<TILE pos_x=\"1\" variant=\"7\"><BRACKETING images=\"1\"/><BRACKETING images=\"1\"/></TILE>"
                         "<TILE variant=\"3\"/><TILE variant=\"-1\"><BRACKETING images=\"1\"/></TILE>")));
    ASSERT_EQ(p.TileCount(), 3u);
    EXPECT_EQ(p.Tile(0)->variant, 1u);
    EXPECT_EQ(p.Tile(1)->variant, 0u);
    EXPECT_EQ(p.Tile(2)->variant, 0u);
}

TEST(ProjectFile, CameraOrientationOnlyZeroOrOne) {
    VELDANPanoramaProject p;
    p.camera.orientation = 2;
    std::string text = SaveText(p);
    EXPECT_NE(text.find("<camera/>"), std::string::npos);
    VELDANPanoramaProject q;
    q.camera.orientation = 1;
    ASSERT_TRUE(LoadText(q, Wrap("<META><camera/></META>")));
    EXPECT_EQ(q.camera.orientation, 1u);  // missing: kept
    ASSERT_TRUE(LoadText(q, Wrap("<META><camera orientation=\"2\"/></META>")));
    EXPECT_EQ(q.camera.orientation, 1u);  // not meaningful: ignored
    ASSERT_TRUE(LoadText(q, Wrap("<META><camera orientation=\"0\"/></META>")));
    EXPECT_EQ(q.camera.orientation, 0u);
}

TEST(ProjectFile, ReaderConventions) {
    VELDANPanoramaProject p;
    ASSERT_TRUE(
        LoadText(p,
                 "<?xml version=\"1.0\"?><!-- note --><veldan_panorama_project rev=\"1\">"
                 "<meta description=\"Lower\"><HDRI enabled=\"2\" step=\"4294967293\" count=\"5\"/>"
                 "<options multirow_optimization=\"1\" path=\"3.9\" overlap=\"0.3\"/>"
                 "<sensor type=\"built-in\" resolution_x=\"6000\"/></meta>"
                 "<tile pos_x=\"5\"><bracketing images=\"2\"><image orientation=\"9\" ev=\"-2\"/></bracketing></tile>"
                 "<Unknown><TILE pos_x=\"6\"/></Unknown>"
                 "<path><path_node tile_nr=\"1\"/><path_node tile_nr=\"0\"/></path>"
                 "</veldan_panorama_project>"));
    EXPECT_STREQ(p.description.Get(), L"Lower");
    EXPECT_FALSE(p.hdri.enabled);  // only 1 is true
    EXPECT_EQ(p.hdri.step, -3);    // written unsigned, read back signed
    EXPECT_EQ(p.hdri.count, 5u);
    EXPECT_TRUE(p.options.multirow_optimization);
    EXPECT_EQ(p.options.path, 3u);
    EXPECT_DOUBLE_EQ(p.options.overlap, 0.3);
    EXPECT_TRUE(p.sensor.IsBuiltIn());
    EXPECT_EQ(p.sensor.resolution_x, 6000);
    ASSERT_EQ(p.TileCount(), 2u);  // the one nested in an unknown element too
    EXPECT_EQ(p.Tile(1)->pos_x, 6);
    auto* b = p.Tile(0)->Bracketing(0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetImageCnt(), 2u);
    EXPECT_EQ(b->images[0]->orientation, 0);  // above 3 becomes 0
    EXPECT_EQ(b->images[0]->ev, -2);
    EXPECT_EQ(b->images[1], nullptr);  // no IMAGE child: stays empty
    ASSERT_EQ(p.path.GetItemCount(), 2u);
    EXPECT_EQ(p.path.Node(0)->tile_nr, 1);
}

TEST(ProjectFile, LoadAddsToTheCurrentContent) {
    VELDANPanoramaProject p;
    const std::string doc = Wrap("<TILE pos_x=\"1\"/><PATH><PATH_NODE tile_nr=\"0\"/></PATH>");
    ASSERT_TRUE(LoadText(p, doc));
    ASSERT_TRUE(LoadText(p, doc));
    EXPECT_EQ(p.TileCount(), 2u);
    EXPECT_EQ(p.path.GetItemCount(), 2u);
}

TEST(ProjectFile, BracketingWithoutSlotsLoadsButCannotBeSaved) {
    VELDANPanoramaProject p;
    ASSERT_TRUE(LoadText(p, Wrap("<TILE><BRACKETING images=\"0\"><IMAGE/></BRACKETING>"
                                 "<BRACKETING images=\"x\"/><BRACKETING/>"
                                 "<BRACKETING images=\"99999999999\"/></TILE>")));
    ASSERT_EQ(p.TileCount(), 1u);
    EXPECT_EQ(p.Tile(0)->bracketings.GetItemCount(), 4u);
    EXPECT_EQ(p.Tile(0)->Bracketing(0)->GetImageCnt(), 0u);
    EXPECT_EQ(p.Tile(0)->Bracketing(3)->GetImageCnt(), 0u);  // refused, not allocated
    MemBlockDesc buffer("keep", 4);
    EXPECT_FALSE(p.Save(&buffer));
    EXPECT_EQ(buffer.length, 4u);  // nothing appended
}

TEST(ProjectFile, FailuresOfLoad) {
    VELDANPanoramaProject p;
    EXPECT_FALSE(LoadText(p, ""));
    EXPECT_FALSE(LoadText(p, "<?xml version=\"1.0\"?><OTHER/>"));
    EXPECT_FALSE(LoadText(p, "not xml at all"));
    EXPECT_TRUE(LoadText(p, "<VELDAN_PANORAMA_PROJECT/>"));
    EXPECT_EQ(p.TileCount(), 0u);
}

TEST(ProjectFile, TruncatedDocumentsKeepWhatWasRead) {
    VELDANPanoramaProject source;
    source.lens.focal_length = 50;
    source.sensor.dimension_x = 36;
    source.sensor.dimension_y = 24;
    source.camera.orientation = 1;
    source.hdri.enabled = true;
    source.options.legacy_arrangement = true;
    ASSERT_GT(source.ComputeTiles(false), 3u);
    source.ComputePath(0);
    const std::string text = SaveText(source);
    ASSERT_GT(text.size(), 8000u);
    uint32_t lastTiles = 0;
    for (size_t cut = 0; cut < text.size(); cut += 7) {
        VELDANPanoramaProject p;
        const bool ok = LoadText(p, text.substr(0, cut));
        // The reader parses ahead in chunks: once the root start lies in an
        // earlier chunk than the cut, the document loads with what precedes it.
        if (cut > 4096) {
            EXPECT_TRUE(ok) << cut;
            EXPECT_GE(p.TileCount(), lastTiles) << cut;
        }
        EXPECT_LE(p.TileCount(), source.TileCount());
        lastTiles = p.TileCount();
    }
    EXPECT_GT(lastTiles, source.TileCount() / 2);
    VELDANPanoramaProject full;
    ASSERT_TRUE(LoadText(full, text));
    EXPECT_EQ(full.TileCount(), source.TileCount());
}

TEST(ProjectFile, HostileDocumentsNeitherCrashNorReachOutside) {
    // Deep nesting.
    {
        std::string deep = "<VELDAN_PANORAMA_PROJECT>";
        for (int i = 0; i < 100000; ++i) deep += "<a>";
        deep += "<TILE pos_x=\"1\"/>";
        VELDANPanoramaProject p;
        EXPECT_TRUE(LoadText(p, deep));
        EXPECT_EQ(p.TileCount(), 0u);  // the parser's depth limit ends reading first
    }
    // Nested project elements.
    {
        std::string nested = "<VELDAN_PANORAMA_PROJECT>";
        for (int i = 0; i < 2000; ++i) nested += "<TILE><BRACKETING images=\"1\"><IMAGE><WARPED_IMAGE>";
        VELDANPanoramaProject p;
        EXPECT_TRUE(LoadText(p, nested));
    }
    // A huge attribute value.
    {
        std::string big = Wrap("<META description=\"" + std::string(5 << 20, 'x') + "\"/>");
        VELDANPanoramaProject p;
        EXPECT_TRUE(LoadText(p, big));
        ASSERT_NE(p.description.Get(), nullptr);
        EXPECT_EQ(std::wcslen(p.description.Get()), size_t(5) << 20);
    }
    // Entity expansion and external entities: a document type declaration is
    // refused, so neither a billion laughs nor a local file is read.
    {
        std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE VELDAN_PANORAMA_PROJECT [<!ENTITY a \"aaaaaaaaaa\">";
        char prev = 'a';
        for (char c = 'b'; c <= 'k'; ++c, ++prev)
            laughs += std::string("<!ENTITY ") + c + " \"&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" +
                      prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";&" + prev + ";\">";
        laughs += "]><VELDAN_PANORAMA_PROJECT><META description=\"&k;\"/></VELDAN_PANORAMA_PROJECT>";
        VELDANPanoramaProject p;
        EXPECT_FALSE(LoadText(p, laughs));
        EXPECT_STREQ(p.description.Get(), L"VELDANmodular Panorama Project");
    }
    {
        TempHome home;
        const auto secret = home.Dir() / "secret.txt";
        std::ofstream(secret) << "SECRET";
        std::string xxe =
            "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret.string() +
            "\">]><VELDAN_PANORAMA_PROJECT><META description=\"&x;\">&x;</META></VELDAN_PANORAMA_PROJECT>";
        VELDANPanoramaProject p;
        EXPECT_FALSE(LoadText(p, xxe));
        EXPECT_STREQ(p.description.Get(), L"VELDANmodular Panorama Project");
    }
    // Wrong types everywhere.
    {
        VELDANPanoramaProject p;
        EXPECT_TRUE(LoadText(p, Wrap("<META><lens focal_length=\"fifty\"/><hdri count=\"-1\" order=\"zz\"/>"
                                     "<fov begin_theta=\"nan\" end_theta=\"1e999\"/><options path=\"-5\"/></META>"
                                     "<TILE pos_x=\"\" variant=\"x\"><BRACKETING images=\"2\"><IMAGE width=\"-1\" "
                                     "ev=\"99999999999\"/></BRACKETING></TILE>")));
        EXPECT_EQ(p.lens.focal_length, 0);
        EXPECT_EQ(p.options.path, 0u);
        EXPECT_EQ(p.TileCount(), 1u);
        EXPECT_EQ(p.ComputeTiles(true), 0u);  // no usable lens: nothing planned
    }
    // Not UTF-8 and embedded zero bytes.
    {
        std::string bad = Wrap("<META description=\"\xFF\xFE\"/>");
        bad.insert(bad.size() / 2, 1, '\0');
        VELDANPanoramaProject p;
        LoadText(p, bad);  // must not crash; the result is the parser's
    }
}

TEST(ProjectFile, DecodeBase64) {
    char abc[] = "QUJD";
    uint32_t n = 0;
    void* out = VELDANPanoramaProject::DecodeBase64(abc, n);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::memcmp(out, "ABC", 3), 0);
    std::free(out);

    char spaced[] = "Q U\r\nJ\tD";
    out = VELDANPanoramaProject::DecodeBase64(spaced, n);
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(std::memcmp(out, "ABC", 3), 0);
    std::free(out);

    char two[] = "QUI=";
    out = VELDANPanoramaProject::DecodeBase64(two, n);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(std::memcmp(out, "AB", 2), 0);
    std::free(out);

    char empty[] = "";
    EXPECT_EQ(VELDANPanoramaProject::DecodeBase64(empty, n), nullptr);
    EXPECT_EQ(VELDANPanoramaProject::DecodeBase64(nullptr, n), nullptr);
    char one[] = "Q";
    EXPECT_EQ(VELDANPanoramaProject::DecodeBase64(one, n), nullptr);
    char junk[] = "  \r\n!!";
    EXPECT_EQ(VELDANPanoramaProject::DecodeBase64(junk, n), nullptr);
    char dotted[] = "..";  // "." counts as 0
    out = VELDANPanoramaProject::DecodeBase64(dotted, n);
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(static_cast<unsigned char*>(out)[0], 0);
    std::free(out);
}

// Thumbnails as pictures are covered by PictureTest.cpp.
TEST(ProjectFile, WarpedImageElementIsReadButNeverWritten) {
    VELDANPanoramaProject w;
    ASSERT_TRUE(LoadText(w, Wrap("<TILE><BRACKETING images=\"1\"><IMAGE width=\"4\"><WARPED_IMAGE begin_theta=\"10\" "
                                 "end_theta=\"20\" IMAGE=\"QUJD\"/></IMAGE></BRACKETING></TILE>")));
    auto* image = w.Tile(0)->Bracketing(0)->GetImage(0);
    EXPECT_EQ(image->warped.fov.begin_theta, 10);
    EXPECT_EQ(image->warped.fov.end_theta, 20);
    EXPECT_EQ(image->warped.fov.end_phi, 90);
    EXPECT_EQ(image->GetWidth(), 4u);
    EXPECT_EQ(SaveText(w).find("WARPED_IMAGE"), std::string::npos);  // never written
}

namespace {

// Values exactly representable in the file's formats: k/64 has at most six
// decimals, k/512 at most nine.
double Six(std::mt19937& rng) { return std::uniform_int_distribution<int>(-40000, 40000)(rng) / 64.0; }
double Nine(std::mt19937& rng) { return std::uniform_int_distribution<int>(-400000, 400000)(rng) / 512.0; }

std::wstring Text(std::mt19937& rng) {
    static const wchar_t chars[] = L"abcXYZ äöü€ <>&\"'/\\\u00e9\U0001F600";
    std::wstring s;
    const int n = std::uniform_int_distribution<int>(1, 12)(rng);
    for (int i = 0; i < n; ++i) s += chars[std::uniform_int_distribution<size_t>(0, std::wcslen(chars) - 1)(rng)];
    return s;
}

void MaybeSet(std::mt19937& rng, VELDANPanoramaProject::_STRING& s) {
    if (rng() % 3) s.Set(Text(rng).c_str());
}

void ExpectSameString(const VELDANPanoramaProject::_STRING& a, const VELDANPanoramaProject::_STRING& b) {
    if (!a.Get()) {
        EXPECT_EQ(b.Get(), nullptr);
        return;
    }
    ASSERT_NE(b.Get(), nullptr);
    EXPECT_STREQ(a.Get(), b.Get());
}

}  // namespace

TEST(ProjectFile, RandomProjectsRoundTripEveryField) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 25; ++round) {
        VELDANPanoramaProject p;
        MaybeSet(rng, p.description);
        if (rng() % 4 == 0) p.description.Set(nullptr);
        MaybeSet(rng, p.project_path);
        p.capture_time.year = static_cast<uint16_t>(rng() % 10000);
        p.capture_time.month = static_cast<uint8_t>(1 + rng() % 12);
        p.capture_time.day = static_cast<uint8_t>(1 + rng() % 31);
        p.capture_time.hour = static_cast<uint8_t>(rng() % 24);
        p.capture_time.minute = static_cast<uint8_t>(rng() % 60);
        p.capture_time.second = static_cast<uint8_t>(rng() % 60);
        p.lens.focal_length = Six(rng);
        MaybeSet(rng, p.lens.manufacturer);
        MaybeSet(rng, p.lens.model);
        MaybeSet(rng, p.camera.manufacturer);
        MaybeSet(rng, p.camera.model);
        p.camera.orientation = rng() % 2;
        MaybeSet(rng, p.sensor.manufacturer);
        MaybeSet(rng, p.sensor.model);
        MaybeSet(rng, p.sensor.type);
        p.sensor.dimension_x = Six(rng);
        p.sensor.dimension_y = Six(rng);
        p.sensor.resolution_x = static_cast<int32_t>(rng());
        p.sensor.resolution_y = -static_cast<int32_t>(rng() % 1000);
        p.fov.begin_theta = Six(rng);
        p.fov.end_theta = Six(rng);
        p.fov.begin_phi = Six(rng);
        p.fov.end_phi = Six(rng);
        p.hdri.enabled = rng() % 2;
        p.hdri.count = rng();
        p.hdri.step = static_cast<int32_t>(rng());
        p.hdri.order = static_cast<uint8_t>(rng());
        p.hdri.shutter = static_cast<uint8_t>(rng());
        p.options.multirow_optimization = rng() % 2;
        p.options.legacy_arrangement = rng() % 2;
        p.options.overlap = Six(rng);
        p.options.path = rng();
        const int tiles = static_cast<int>(rng() % 6);
        for (int t = 0; t < tiles; ++t) {
            auto* tile = new VELDANPanoramaTile();
            tile->pos_x = Nine(rng);
            tile->pos_y = Nine(rng);
            tile->fov_x = Nine(rng);
            tile->fov_y = Nine(rng);
            const int variants = 1 + static_cast<int>(rng() % 3);
            for (int v = 0; v < variants; ++v) {
                auto* b = new VELDANPanoramaBracketing();
                b->SetImageCnt(1 + rng() % 4);
                for (uint32_t i = 0; i < b->GetImageCnt(); ++i) {
                    if (rng() % 4 == 0) continue;  // empty slot
                    VELDANPanoramaImage* image = b->GetImage(i);
                    if (rng() % 3) image->SetFilename((L"/nowhere/" + Text(rng) + L".jpg").c_str());
                    image->ev = static_cast<int32_t>(rng());
                    image->orientation = static_cast<uint8_t>(rng() % 4);
                }
                tile->bracketings.AddItem(b, tile->bracketings.GetItemCount());
            }
            tile->variant = static_cast<uint32_t>(rng() % variants);
            p.AppendTile(tile);
        }
        for (int k = 0, n = static_cast<int>(rng() % 8); k < n; ++k) p.path.Append(static_cast<int32_t>(rng() % 50));

        const std::string text = SaveText(p);
        VELDANPanoramaProject q;
        q.description.Set(nullptr);  // an absent description leaves the loaded one alone
        ASSERT_TRUE(LoadText(q, text));
        ExpectSameString(p.description, q.description);
        ExpectSameString(p.project_path, q.project_path);
        ExpectSameString(p.lens.manufacturer, q.lens.manufacturer);
        ExpectSameString(p.lens.model, q.lens.model);
        ExpectSameString(p.camera.manufacturer, q.camera.manufacturer);
        ExpectSameString(p.camera.model, q.camera.model);
        ExpectSameString(p.sensor.manufacturer, q.sensor.manufacturer);
        ExpectSameString(p.sensor.model, q.sensor.model);
        ExpectSameString(p.sensor.type, q.sensor.type);
        for (auto [a, b] :
             {std::pair{&p.capture_time, &q.capture_time}, {&p.modification_time, &q.modification_time}}) {
            EXPECT_EQ(a->year, b->year);
            EXPECT_EQ(a->month, b->month);
            EXPECT_EQ(a->day, b->day);
            EXPECT_EQ(a->hour, b->hour);
            EXPECT_EQ(a->minute, b->minute);
            EXPECT_EQ(a->second, b->second);
        }
        EXPECT_EQ(p.lens.focal_length, q.lens.focal_length);
        EXPECT_EQ(p.camera.orientation, q.camera.orientation);
        EXPECT_EQ(p.sensor.dimension_x, q.sensor.dimension_x);
        EXPECT_EQ(p.sensor.dimension_y, q.sensor.dimension_y);
        EXPECT_EQ(p.sensor.resolution_x, q.sensor.resolution_x);
        EXPECT_EQ(p.sensor.resolution_y, q.sensor.resolution_y);
        EXPECT_EQ(p.fov.begin_theta, q.fov.begin_theta);
        EXPECT_EQ(p.fov.end_theta, q.fov.end_theta);
        EXPECT_EQ(p.fov.begin_phi, q.fov.begin_phi);
        EXPECT_EQ(p.fov.end_phi, q.fov.end_phi);
        EXPECT_EQ(p.hdri.enabled, q.hdri.enabled);
        EXPECT_EQ(p.hdri.count, q.hdri.count);
        EXPECT_EQ(p.hdri.step, q.hdri.step);
        EXPECT_EQ(p.hdri.order, q.hdri.order);
        EXPECT_EQ(p.hdri.shutter, q.hdri.shutter);
        EXPECT_EQ(p.options.multirow_optimization, q.options.multirow_optimization);
        EXPECT_EQ(p.options.legacy_arrangement, q.options.legacy_arrangement);
        EXPECT_EQ(p.options.overlap, q.options.overlap);
        EXPECT_EQ(p.options.path, q.options.path);
        ASSERT_EQ(p.TileCount(), q.TileCount());
        for (uint32_t t = 0; t < p.TileCount(); ++t) {
            VELDANPanoramaTile* a = p.Tile(t);
            VELDANPanoramaTile* b = q.Tile(t);
            EXPECT_EQ(a->pos_x, b->pos_x);
            EXPECT_EQ(a->pos_y, b->pos_y);
            EXPECT_EQ(a->fov_x, b->fov_x);
            EXPECT_EQ(a->fov_y, b->fov_y);
            EXPECT_EQ(a->variant, b->variant);
            ASSERT_EQ(a->bracketings.GetItemCount(), b->bracketings.GetItemCount());
            for (uint32_t v = 0; v < a->bracketings.GetItemCount(); ++v) {
                VELDANPanoramaBracketing* ba = a->Bracketing(v);
                VELDANPanoramaBracketing* bb = b->Bracketing(v);
                ASSERT_EQ(ba->GetImageCnt(), bb->GetImageCnt());
                for (uint32_t i = 0; i < ba->GetImageCnt(); ++i) {
                    VELDANPanoramaImage* ia = ba->images[i].get();
                    VELDANPanoramaImage* ib = bb->images[i].get();
                    ASSERT_NE(ib, nullptr);  // an empty slot loads as a blank image
                    if (!ia) {
                        EXPECT_EQ(ib->GetFilename(), nullptr);
                        continue;
                    }
                    if (ia->GetFilename()) {
                        EXPECT_STREQ(ia->GetFilename(), ib->GetFilename());
                    } else {
                        EXPECT_EQ(ib->GetFilename(), nullptr);
                    }
                    EXPECT_EQ(ia->ev, ib->ev);
                    EXPECT_EQ(ia->orientation, ib->orientation);
                    EXPECT_EQ(ia->GetWidth(), ib->GetWidth());
                }
            }
        }
        ASSERT_EQ(p.path.GetItemCount(), q.path.GetItemCount());
        for (uint32_t k = 0; k < p.path.GetItemCount(); ++k)
            EXPECT_EQ(p.path.Node(k)->tile_nr, q.path.Node(k)->tile_nr);
        // From the first load on (empty slots load as blank images) saving and
        // loading is a fixed point.
        const std::string once = SaveText(q);
        VELDANPanoramaProject r;
        r.description.Set(nullptr);
        ASSERT_TRUE(LoadText(r, once));
        const std::string twice = SaveText(r);
        EXPECT_TRUE(twice.substr(twice.find("<lens")) == once.substr(once.find("<lens")));
    }
}

TEST(ProjectFile, SavingToAFileIsAtomic) {
    TempHome home;
    const auto file = home.Dir() / "pano.vpp";
    VELDANPanoramaProject p;
    p.description.Set(L"first");
    ASSERT_TRUE(p.SaveToFile(file.wstring().c_str()));
    VELDANPanoramaProject q;
    ASSERT_TRUE(q.LoadFromFile(file.wstring().c_str()));
    EXPECT_STREQ(q.description.Get(), L"first");

    // A project that cannot be written leaves the previous file intact.
    VELDANPanoramaProject broken;
    ASSERT_TRUE(LoadText(broken, Wrap("<TILE><BRACKETING images=\"0\"/></TILE>")));
    EXPECT_FALSE(broken.SaveToFile(file.wstring().c_str()));
    VELDANPanoramaProject again;
    ASSERT_TRUE(again.LoadFromFile(file.wstring().c_str()));
    EXPECT_STREQ(again.description.Get(), L"first");
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(home.Dir())) ++entries;
    EXPECT_EQ(entries, 1u);  // no temporary left behind

    EXPECT_FALSE(p.SaveToFile((home.Dir() / "missing" / "x.vpp").wstring().c_str()));
    EXPECT_FALSE(q.LoadFromFile((home.Dir() / "none.vpp").wstring().c_str()));
}

TEST(ProjectFile, ConcurrentSavesAndLoadsAreSafe) {
    VELDANPanoramaProject p;
    p.lens.focal_length = 50;
    p.sensor.dimension_x = 36;
    p.sensor.dimension_y = 24;
    p.ComputeTiles(false);
    const std::string reference = SaveText(p);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                VELDANPanoramaProject q;
                EXPECT_TRUE(LoadText(q, reference));
                EXPECT_EQ(q.TileCount(), p.TileCount());
                MemBlockDesc out;
                EXPECT_TRUE(q.Save(&out));
            }
        });
    for (auto& t : threads) t.join();
}

}  // namespace veldan::test
