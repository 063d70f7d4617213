// Tests of VELDANPanoramaImage: picture sizes from files, missing files, pipes
// and devices, concurrent renames.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"

namespace veldan::test {

namespace {

void WriteJpeg(const std::filesystem::path& file, int w, int h) {
    const unsigned char bytes[] = {0xFF,
                                   0xD8,
                                   0xFF,
                                   0xE1,
                                   0x00,
                                   0x06,
                                   'E',
                                   'x',
                                   'i',
                                   'f',
                                   0xFF,
                                   0xFF,
                                   0xFF,
                                   0xC2,
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

void WritePng(const std::filesystem::path& file, uint32_t w, uint32_t h) {
    unsigned char bytes[33] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = static_cast<unsigned char>(w >> (24 - 8 * i));
        bytes[20 + i] = static_cast<unsigned char>(h >> (24 - 8 * i));
    }
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string Wrap(const std::string& body) { return "<VELDAN_PANORAMA_PROJECT>" + body + "</VELDAN_PANORAMA_PROJECT>"; }

}  // namespace

TEST(PanoramaImage, SetFilenameReadsTheSizeAsShown) {
    TempHome home;
    const auto jpeg = home.Dir() / "shot.jpg";
    WriteJpeg(jpeg, 6000, 4000);
    VELDANPanoramaImage image;
    image.SetFilename(jpeg.wstring().c_str());
    EXPECT_EQ(image.GetWidth(), 6000u);
    EXPECT_EQ(image.GetHeight(), 4000u);
    EXPECT_EQ(image.taken, 1u);

    VELDANPanoramaImage turned;
    turned.orientation = 1;
    turned.SetFilename(jpeg.wstring().c_str());
    EXPECT_EQ(turned.GetWidth(), 4000u);
    EXPECT_EQ(turned.GetHeight(), 6000u);

    const auto png = home.Dir() / "shot.png";
    WritePng(png, 640, 480);
    image.SetFilename(png.wstring().c_str());
    EXPECT_EQ(image.GetWidth(), 640u);
    EXPECT_EQ(image.GetHeight(), 480u);

    // Renaming to an unreadable file drops the size but keeps the name.
    image.SetFilename(L"/nonexistent/a.jpg");
    EXPECT_EQ(image.GetWidth(), 0u);
    EXPECT_STREQ(image.GetFilename(), L"/nonexistent/a.jpg");
    image.SetFilename(image.GetFilename());  // its own string
    EXPECT_STREQ(image.GetFilename(), L"/nonexistent/a.jpg");
    image.SetFilename(nullptr);
    EXPECT_EQ(image.GetFilename(), nullptr);
    EXPECT_EQ(image.taken, 1u);  // only the capture run or a readable file sets it
}

TEST(PanoramaImage, LoadKeepsTheDocumentsSizeOnlyForAMissingFile) {
    TempHome home;
    const auto jpeg = home.Dir() / "real.jpg";
    WriteJpeg(jpeg, 300, 200);
    const std::string doc = Wrap("<TILE><BRACKETING images=\"2\"><IMAGE filename=\"" + jpeg.string() +
                                 "\" width=\"1\" height=\"2\"/><IMAGE filename=\"/gone/x.jpg\" width=\"6000\" "
                                 "height=\"4000\" orientation=\"1\"/></BRACKETING></TILE>");
    MemBlockDesc buffer(doc.data(), doc.size());
    VELDANPanoramaProject p;
    ASSERT_TRUE(p.Load(&buffer));
    auto* b = p.Tile(0)->Bracketing(0);
    EXPECT_EQ(b->GetImage(0)->GetWidth(), 300u);
    EXPECT_EQ(b->GetImage(1)->GetWidth(), 6000u);
    EXPECT_EQ(b->GetImage(1)->GetHeight(), 4000u);
    EXPECT_EQ(b->GetImage(1)->orientation, 1);
}

TEST(PanoramaImage, NamesOfPipesAndDevicesAreNotRead) {
    TempHome home;
    const auto fifo = home.Dir() / "pipe.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    VELDANPanoramaImage image;
    image.SetFilename(fifo.wstring().c_str());  // must not block
    EXPECT_EQ(image.GetWidth(), 0u);
    image.SetFilename(L"/dev/zero");
    EXPECT_EQ(image.GetWidth(), 0u);
}

TEST(PanoramaImage, AssignmentCopiesTheDescribedFields) {
    VELDANPanoramaImage a;
    a.SetFilename(L"/x/a.jpg");
    a.ev = -6;
    a.orientation = 2;
    a.taken = 1;
    a.notify_message = 1026;
    VELDANPanoramaImage b;
    b = a;
    EXPECT_STREQ(b.GetFilename(), L"/x/a.jpg");
    EXPECT_EQ(b.ev, -6);
    EXPECT_EQ(b.orientation, 2);
    EXPECT_EQ(b.taken, 1u);
    EXPECT_EQ(b.notify_message, 0u);  // the notification target is the owner's
}

TEST(PanoramaImage, ConcurrentReadersAndRenamesAreSafe) {
    VELDANPanoramaImage image;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            image.access.EnterReadAccess();
            const wchar_t* name = image.GetFilename();
            if (name) {
                EXPECT_EQ(name[0], L'/');
            }
            image.access.LeaveReadAccess();
            (void)image.GetWidth();
        }
    });
    for (int i = 0; i < 2000; ++i) image.SetFilename(i % 2 ? L"/a/one.jpg" : L"/b/two.jpg");
    stop = true;
    reader.join();
}

}  // namespace veldan::test
