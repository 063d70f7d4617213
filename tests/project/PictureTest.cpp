// Pictures of a panorama image: decoding real files, orientation, result
// codes, thumbnails made by worker jobs, and thumbnails in the project file.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "imaging/Png.h"
#include "platform/Window.h"

// The image's thumbnail bookkeeping, reached through the friend that the
// image class names at global scope.
struct VELDANPanoramaImageTestAccess {
    static void* Thumb(VELDANPanoramaImage& i, uint32_t w, uint32_t h) { return i.GetThumb(w, h); }
    static uint32_t Count(VELDANPanoramaImage& i) { return i.GetThumbnailCount(); }
    static void* Entry(VELDANPanoramaImage& i, int n) { return i.thumbnails[n]; }
    static void Add(VELDANPanoramaImage& i, void* t) { i.AddThumb(t); }
    static void* Preview(VELDANPanoramaImage& i, const wchar_t* path) { return i.LoadPrevWIC(path); }
};

namespace veldan::test {

using veldan::imaging::Bitmap;
using veldan::imaging::PixelLayout;

using Access = VELDANPanoramaImageTestAccess;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

const Bitmap& B(void* p) { return *static_cast<Bitmap*>(p); }

// Blue picture with a red top-left quarter, so that turns can be told apart.
Bitmap Marked(uint32_t w, uint32_t h) {
    Bitmap b = std::move(Bitmap::Create(w, h, PixelLayout::kBgr24).value());
    b.FillWith(kBlue);
    for (uint32_t y = 0; y < h / 2; ++y)
        for (uint32_t x = 0; x < w / 2; ++x) b.SetArgb(x, y, kRed);
    return b;
}

Bitmap Noise(uint32_t w, uint32_t h, uint32_t seed) {
    Bitmap b = std::move(Bitmap::Create(w, h, PixelLayout::kBgr24).value());
    std::mt19937 rng(seed);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < b.Stride() && x < w * 3; ++x) b.Row(y)[x] = static_cast<uint8_t>(rng());
    return b;
}

bool IsRedish(uint32_t argb) { return ((argb >> 16) & 0xFF) > 160 && (argb & 0xFF) < 100; }
bool IsBlueish(uint32_t argb) { return (argb & 0xFF) > 160 && ((argb >> 16) & 0xFF) < 100; }

// Minimal uncompressed little-endian RGB TIFF, one strip.
void WriteTiff(const std::filesystem::path& file, const Bitmap& b) {
    const uint32_t w = b.Width(), h = b.Height(), n = 10;
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto u16 = [&](uint32_t v) { out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const uint32_t bps_at = 8 + 2 + n * 12 + 4, data_at = bps_at + 6;
    u16(n);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        u16(tag), u16(type), u32(count);
        if (type == 3 && count == 1)
            u16(value), u16(0);
        else
            u32(value);
    };
    entry(256, 4, 1, w);
    entry(257, 4, 1, h);
    entry(258, 3, 3, bps_at);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 1, data_at);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, h);
    entry(279, 4, 1, w * h * 3);
    entry(284, 3, 1, 1);
    u32(0);
    u16(8), u16(8), u16(8);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t v = b.GetArgb(x, y);
            out.push_back(uint8_t(v >> 16)), out.push_back(uint8_t(v >> 8)), out.push_back(uint8_t(v));
        }
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), out.size());
}

std::string Base64(const std::vector<uint8_t>& d) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string s;
    for (size_t i = 0; i < d.size(); i += 3) {
        const uint32_t v = (d[i] << 16) | (i + 1 < d.size() ? d[i + 1] << 8 : 0) | (i + 2 < d.size() ? d[i + 2] : 0);
        s += a[v >> 18], s += a[(v >> 12) & 63];
        s += i + 1 < d.size() ? a[(v >> 6) & 63] : '=';
        s += i + 2 < d.size() ? a[v & 63] : '=';
    }
    return s;
}

std::string SaveText(VELDANPanoramaProject& p) {
    MemBlockDesc out;
    EXPECT_TRUE(p.Save(&out));
    return std::string(reinterpret_cast<const char*>(out.data), out.length);
}

std::string Between(const std::string& s, const std::string& from, const std::string& to) {
    const size_t a = s.find(from);
    if (a == std::string::npos) return {};
    const size_t b = s.find(to, a + from.size());
    return b == std::string::npos ? std::string() : s.substr(a + from.size(), b - a - from.size());
}

std::string Wrap(const std::string& body) { return "<VELDAN_PANORAMA_PROJECT>" + body + "</VELDAN_PANORAMA_PROJECT>"; }

VELDANPanoramaProject* OneImageProject(VELDANPanoramaImage** image) {
    auto* p = new VELDANPanoramaProject();
    auto* tile = new VELDANPanoramaTile();
    auto* b = new VELDANPanoramaBracketing();
    b->SetImageCnt(1);
    tile->bracketings.AddItem(b, 0u);
    p->AppendTile(tile);
    *image = b->GetImage(0);
    return p;
}

std::wstring W(const std::filesystem::path& p) { return p.wstring(); }

class Pictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitGlobalThreadPool(); }  // stays up for the process
    TempHome home;
};

}  // namespace

TEST_F(Pictures, SizesComeFromTheHeadersOfEveryFormatAndFollowTheOrientation) {
    const Bitmap pic = Marked(60, 40);
    const auto jpg = home.Dir() / "a.jpg", png = home.Dir() / "a.png", tif = home.Dir() / "a.tif";
    ASSERT_TRUE(veldan::imaging::SaveJpeg(pic, jpg).ok());
    ASSERT_TRUE(veldan::imaging::SavePng(pic, png).ok());
    WriteTiff(tif, pic);
    for (const auto& file : {jpg, png, tif}) {
        SCOPED_TRACE(file.string());
        VELDANPanoramaImage image;
        image.SetFilename(W(file).c_str());
        EXPECT_EQ(image.GetWidth(), 60u);
        EXPECT_EQ(image.GetHeight(), 40u);
        EXPECT_EQ(image.taken, 1u);

        // Turned a quarter: reported as shown, decoded as stored.
        VELDANPanoramaImage turned;
        turned.orientation = 1;
        turned.SetFilename(W(file).c_str());
        EXPECT_EQ(turned.GetWidth(), 40u);
        EXPECT_EQ(turned.GetHeight(), 60u);
        void* full = nullptr;
        ASSERT_EQ(turned.GetImage(&full, 0, 0), VELDAN_IMAGE_OK);
        ASSERT_NE(full, nullptr);
        EXPECT_EQ(B(full).Width(), 60u);
        EXPECT_EQ(turned.GetWidth(), 60u);
        EXPECT_EQ(turned.GetHeight(), 40u);
        EXPECT_TRUE(IsRedish(B(full).GetArgb(5, 5)));
        turned.UnloadImage();
    }
}

TEST_F(Pictures, PreviewLoadsAreTurnedUpright) {
    const auto png = home.Dir() / "turn.png";
    ASSERT_TRUE(veldan::imaging::SavePng(Marked(60, 40), png).ok());
    struct Case {
        uint8_t orientation;
        uint32_t w, h;
        uint32_t red_x, red_y;  // where the red quarter ends up
    } cases[] = {{0, 60, 40, 5, 5}, {1, 40, 60, 5, 55}, {2, 60, 40, 55, 35}, {3, 40, 60, 35, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.orientation));
        VELDANPanoramaImage image;
        image.orientation = c.orientation;
        void* p = Access::Preview(image, W(png).c_str());
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(B(p).Width(), c.w);
        EXPECT_EQ(B(p).Height(), c.h);
        EXPECT_TRUE(IsRedish(B(p).GetArgb(c.red_x, c.red_y)));
        EXPECT_TRUE(IsBlueish(B(p).GetArgb(c.w - 1 - c.red_x, c.h - 1 - c.red_y)));
        delete static_cast<Bitmap*>(p);

        // LoadImage(true) keeps the turned preview without changing the size.
        image.SetFilename(W(png).c_str());
        ASSERT_TRUE(image.LoadImage(true));
        void* full = nullptr;
        ASSERT_EQ(image.GetImage(&full, 0, 0), VELDAN_IMAGE_OK);
        EXPECT_EQ(B(full).Width(), c.w);
    }
}

TEST_F(Pictures, MissingCorruptAndHostileFilesGiveTheFailureCodes) {
    VELDANPanoramaImage image;
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(image.GetImage(nullptr, 0, 0), VELDAN_IMAGE_FAILURE);
    EXPECT_EQ(image.GetImage(&p, 0, 0), VELDAN_IMAGE_CANNOT_LOAD);
    EXPECT_EQ(p, nullptr);

    image.SetFilename(W(home.Dir() / "gone.jpg").c_str());
    EXPECT_EQ(image.GetImage(&p, 0, 0), VELDAN_IMAGE_CANNOT_LOAD);
    EXPECT_EQ(image.GetImage(&p, 100, 0), VELDAN_IMAGE_CANNOT_LOAD);
    EXPECT_FALSE(image.LoadImage(false));
    EXPECT_FALSE(image.LoadImage(true));
    EXPECT_FALSE(image.SaveThumbAs(W(home.Dir() / "t.jpg").c_str(), 10, 10));
    EXPECT_FALSE(std::filesystem::exists(home.Dir() / "t.jpg"));

    // A JPEG cut off in its entropy data: the header still gives the size,
    // decoding fails.
    auto bytes = veldan::imaging::EncodeJpeg(Noise(200, 100, 1)).value();
    bytes.resize(bytes.size() / 2);
    const auto cut = home.Dir() / "cut.jpg";
    std::ofstream(cut, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    image.SetFilename(W(cut).c_str());
    EXPECT_EQ(image.GetWidth(), 200u);
    EXPECT_EQ(image.GetImage(&p, 0, 0), VELDAN_IMAGE_CANNOT_LOAD);
    EXPECT_EQ(p, nullptr);
    image.GenerateThumb(nullptr, 20, 10);
    EXPECT_EQ(Access::Count(image), 0u);

    // A PNG header declaring 40000 x 40000 is refused before decoding.
    std::vector<uint8_t> png = veldan::imaging::EncodePng(Marked(8, 8)).value();
    for (int i = 0; i < 4; ++i) png[16 + i] = png[20 + i] = uint8_t(40000u >> (24 - 8 * i));
    const auto huge = home.Dir() / "huge.png";
    std::ofstream(huge, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
    image.SetFilename(W(huge).c_str());
    EXPECT_FALSE(image.LoadImage(false));

    // Something that is not a regular file is never opened as a picture.
    image.SetFilename(W(home.Dir()).c_str());
    EXPECT_EQ(image.GetWidth(), 0u);
    EXPECT_FALSE(image.LoadImage(false));
}

TEST_F(Pictures, ThumbnailListKeepsTwoNewestFirstAndNeverTheSameSizeTwice) {
    const auto png = home.Dir() / "list.png";
    ASSERT_TRUE(veldan::imaging::SavePng(Marked(600, 400), png).ok());
    VELDANPanoramaImage image;
    image.SetFilename(W(png).c_str());
    image.GenerateThumb(nullptr, 300, 200);
    image.GenerateThumb(nullptr, 150, 100);
    void* second = Access::Entry(image, 0);
    image.GenerateThumb(nullptr, 150, 100);  // exists: nothing new
    EXPECT_EQ(Access::Entry(image, 0), second);
    image.GenerateThumb(nullptr, 60, 40);
    ASSERT_EQ(Access::Count(image), 2u);
    EXPECT_EQ(B(Access::Entry(image, 0)).Width(), 60u);
    EXPECT_EQ(B(Access::Entry(image, 1)).Width(), 150u);
    EXPECT_TRUE(IsRedish(B(Access::Entry(image, 0)).GetArgb(2, 2)));
    EXPECT_TRUE(IsBlueish(B(Access::Entry(image, 0)).GetArgb(57, 37)));

    // Best choice: the smallest covering one, else the largest.
    EXPECT_EQ(B(Access::Thumb(image, 50, 30)).Width(), 60u);
    EXPECT_EQ(B(Access::Thumb(image, 100, 30)).Width(), 150u);
    EXPECT_EQ(B(Access::Thumb(image, 500, 300)).Width(), 150u);

    // A picture of a size already held is destroyed (ASan sees a leak
    // otherwise), the list unchanged.
    Access::Add(image, new Bitmap(Marked(60, 40)));
    EXPECT_EQ(Access::Count(image), 2u);

    image.DeleteThumb(61u, 40u);  // not exact: kept
    EXPECT_EQ(Access::Count(image), 2u);
    image.DeleteThumb(60u, 40u);
    ASSERT_EQ(Access::Count(image), 1u);
    EXPECT_EQ(B(Access::Entry(image, 0)).Width(), 150u);
    image.DeleteThumb(reinterpret_cast<void*>(&image));  // not in the list
    image.DeleteThumb(Access::Entry(image, 0));
    EXPECT_EQ(Access::Count(image), 0u);

    image.GenerateThumb(nullptr, 30, 20);
    image.GenerateThumb(nullptr, 90, 60);
    image.DeleteAllThumbs();
    EXPECT_EQ(Access::Count(image), 0u);
    image.GenerateThumb(nullptr, 30, 20);
    image.SetFilename(W(png).c_str());  // renaming drops every derived picture
    EXPECT_EQ(Access::Count(image), 0u);
}

TEST_F(Pictures, GetImageQueuesTheExactSizeAndNotifiesTheTarget) {
    const auto jpg = home.Dir() / "big.jpg";
    ASSERT_TRUE(veldan::imaging::SaveJpeg(Marked(1200, 800), jpg).ok());
    veldan::platform::MessageQueueWindow window;
    VELDANPanoramaImage image;
    image.SetFilename(W(jpg).c_str());
    image.notify_window = window.Handle();
    image.notify_message = 1026;
    image.notify_wparam = 7;

    void* p = reinterpret_cast<void*>(1);
    ASSERT_EQ(image.GetImage(&p, 200, 0), VELDAN_IMAGE_OK);  // 200 x 133
    EXPECT_EQ(p, nullptr);                                   // nothing made yet
    veldan::platform::Message m;
    ASSERT_TRUE(window.WaitForMessage(1026, m, 20000));
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.lParam, 0);
    p = Access::Thumb(image, 200, 133);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(B(p).Width(), 200u);
    EXPECT_EQ(B(p).Height(), 133u);

    // Larger than the picture: limited to it. The existing thumbnail is
    // handed out at once.
    ASSERT_EQ(image.GetImage(&p, 5000, 5000), VELDAN_IMAGE_OK);
    EXPECT_EQ(B(p).Width(), 200u);
    ASSERT_TRUE(window.WaitForMessage(1026, m, 20000));
    p = Access::Entry(image, 0);
    EXPECT_EQ(B(p).Width(), 1200u);
    EXPECT_EQ(B(p).Height(), 800u);
    EXPECT_EQ(Access::Count(image), 2u);

    // SaveThumbAs writes a real JPEG of the asked size.
    VELDANPanoramaImage other;
    other.SetFilename(W(jpg).c_str());
    const auto out = home.Dir() / "thumb.jpg";
    ASSERT_TRUE(other.SaveThumbAs(W(out).c_str(), 90, 60));
    auto info = veldan::imaging::ReadImageInfoFile(out);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info->format, veldan::imaging::Format::kJpeg);
    EXPECT_EQ(info->width, 90u);
    EXPECT_EQ(info->height, 60u);
}

TEST_F(Pictures, DestroyingImagesWhileTheirThumbnailsAreMadeIsSafe) {
    const auto jpg = home.Dir() / "race.jpg";
    ASSERT_TRUE(veldan::imaging::SaveJpeg(Noise(640, 480, 3), jpg).ok());
    veldan::platform::MessageQueueWindow window;
    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t) {
        users.emplace_back([&, t] {
            for (int round = 0; round < 25; ++round) {
                auto* image = new VELDANPanoramaImage();
                image->SetFilename(W(jpg).c_str());
                image->notify_window = window.Handle();
                image->notify_message = 1026;
                void* p = nullptr;
                for (uint32_t w = 40; w < 200; w += 40) image->GetImage(&p, w + t, 0);
                if (round % 3 == 0)
                    image->SaveThumbAs(W(home.Dir() / ("s" + std::to_string(t) + ".jpg")).c_str(), 32, 24);
                if (round % 2) image->SetFilename(W(jpg).c_str());  // cancels and renames mid-flight
                delete image;                                       // while its newest job may be running
            }
        });
    }
    for (auto& u : users) u.join();
    // One more image whose jobs finish: the pool still serves after all that.
    VELDANPanoramaImage last;
    last.SetFilename(W(jpg).c_str());
    last.notify_window = window.Handle();
    last.notify_message = 2000;
    void* p = nullptr;
    last.GetImage(&p, 64, 48);
    veldan::platform::Message m;
    EXPECT_TRUE(window.WaitForMessage(2000, m, 20000));
}

TEST_F(Pictures, ThumbIsStoredAsPngOrAsJpegAbove32768BytesAndReadBack) {
    VELDANPanoramaImage* image = nullptr;
    std::unique_ptr<VELDANPanoramaProject> p(OneImageProject(&image));
    // Noise pictures whose PNG sizes straddle the 32768-byte line.
    for (uint32_t side : {40u, 102u, 104u, 105u, 108u}) {
        SCOPED_TRACE(side);
        const Bitmap noise = Noise(side, side, side);
        const size_t png_size = veldan::imaging::EncodePng(noise).value().size();
        image->DeleteAllThumbs();
        Access::Add(*image, new Bitmap(noise.Clone().value()));
        const std::string text = SaveText(*p);
        std::string thumb = Between(text, "THUMB=\"", "\"");
        ASSERT_FALSE(thumb.empty());
        // libxml2 breaks lines with CR LF after 72 characters.
        if (thumb.size() > 81) {
            EXPECT_EQ(thumb.find("\r\n"), 72u);
        }
        const bool jpeg = thumb.compare(0, 4, "/9j/") == 0;
        EXPECT_EQ(jpeg, png_size > 32768) << png_size;
        if (!jpeg) {
            EXPECT_EQ(thumb.compare(0, 8, "iVBORw0K"), 0);
        }

        VELDANPanoramaProject q;
        MemBlockDesc buffer(text.data(), text.size());
        ASSERT_TRUE(q.Load(&buffer));
        VELDANPanoramaImage* back = q.Tile(0)->Bracketing(0)->GetImage(0);
        ASSERT_EQ(Access::Count(*back), 1u);
        const Bitmap& t = B(Access::Entry(*back, 0));
        ASSERT_EQ(t.Width(), side);
        ASSERT_EQ(t.Height(), side);
        if (!jpeg) {
            EXPECT_EQ(std::memcmp(t.Row(side / 2), noise.Row(side / 2), side * 3), 0);  // lossless
        }
    }

    // The largest of two thumbnails is the one written.
    image->DeleteAllThumbs();
    Access::Add(*image, new Bitmap(Marked(30, 20)));
    Access::Add(*image, new Bitmap(Marked(12, 8)));
    VELDANPanoramaProject q;
    const std::string text = SaveText(*p);
    MemBlockDesc buffer(text.data(), text.size());
    ASSERT_TRUE(q.Load(&buffer));
    EXPECT_EQ(B(Access::Entry(*q.Tile(0)->Bracketing(0)->GetImage(0), 0)).Width(), 30u);
}

TEST_F(Pictures, DamagedOrHostileStoredPicturesAreDropped) {
    std::vector<uint8_t> png = veldan::imaging::EncodePng(Marked(8, 8)).value();
    std::vector<uint8_t> huge = png;
    for (int i = 0; i < 4; ++i) huge[16 + i] = huge[20 + i] = uint8_t(40000u >> (24 - 8 * i));
    std::vector<uint8_t> cut(png.begin(), png.begin() + png.size() / 2);
    for (const std::string& thumb : {std::string("QUJD"), Base64(huge), Base64(cut), std::string("====")}) {
        SCOPED_TRACE(thumb.substr(0, 20));
        VELDANPanoramaProject q;
        const std::string doc = Wrap("<TILE><BRACKETING images=\"1\"><IMAGE width=\"5\" THUMB=\"" + thumb +
                                     "\"><WARPED_IMAGE IMAGE=\"" + thumb + "\"/></IMAGE></BRACKETING></TILE>");
        MemBlockDesc buffer(doc.data(), doc.size());
        ASSERT_TRUE(q.Load(&buffer));
        VELDANPanoramaImage* image = q.Tile(0)->Bracketing(0)->GetImage(0);
        EXPECT_EQ(Access::Count(*image), 0u);
        EXPECT_EQ(image->warped.bitmap, nullptr);
        EXPECT_EQ(image->GetWidth(), 5u);
    }

    // A sound one is read into both pictures.
    VELDANPanoramaProject q;
    const std::string doc =
        Wrap("<TILE><BRACKETING images=\"1\"><IMAGE THUMB=\"" + Base64(png) +
             "\"><WARPED_IMAGE begin_theta=\"1\" IMAGE=\"" + Base64(png) + "\"/></IMAGE></BRACKETING></TILE>");
    MemBlockDesc buffer(doc.data(), doc.size());
    ASSERT_TRUE(q.Load(&buffer));
    VELDANPanoramaImage* image = q.Tile(0)->Bracketing(0)->GetImage(0);
    EXPECT_EQ(Access::Count(*image), 1u);
    ASSERT_NE(image->warped.bitmap, nullptr);
    EXPECT_EQ(B(image->warped.bitmap).Width(), 8u);
    EXPECT_TRUE(IsRedish(B(image->warped.bitmap).GetArgb(1, 1)));
    image->warped.Clear();
    EXPECT_EQ(image->warped.bitmap, nullptr);
}

}  // namespace veldan::test
