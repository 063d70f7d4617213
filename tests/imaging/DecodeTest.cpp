// Tests of format detection and the decode entry point over every format, and
// a real picture.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "DngWriter.h"
#include "TestSupport.h"
#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "imaging/Png.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

void WriteSmallTiff(const std::filesystem::path& path, uint32_t w, uint32_t h, const char* make = nullptr) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    if (make) TIFFSetField(tif, TIFFTAG_MAKE, make);
    std::vector<uint8_t> row(w * 3, 99);
    for (uint32_t y = 0; y < h; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
    TIFFClose(tif);
}

class DecodeAnyFormat : public ::testing::Test {
protected:
    void SetUp() override {
        Bitmap b = Gradient(120, 80, PixelLayout::kBgr24);
        ASSERT_TRUE(SaveJpeg(b, dir / "a.jpg").ok());
        ASSERT_TRUE(SavePng(b, dir / "a.png").ok());
        WriteSmallTiff(dir / "a.tif", 120, 80);
        // A camera's own TIFF output (a maker, but a plain picture) stays TIFF.
        WriteSmallTiff(dir / "camera.tif", 120, 80, "NIKON CORPORATION");
        DngContent c;
        ASSERT_TRUE(WriteDng(dir / "a.dng", c));
        std::filesystem::copy_file(dir / "a.dng", dir / "renamed.bin");
    }
    TempDir dir;
};

TEST_F(DecodeAnyFormat, RecognisesEveryFormat) {
    EXPECT_EQ(DetectFormatFile(dir / "a.jpg"), Format::kJpeg);
    EXPECT_EQ(DetectFormatFile(dir / "a.png"), Format::kPng);
    EXPECT_EQ(DetectFormatFile(dir / "a.tif"), Format::kTiff);
    EXPECT_EQ(DetectFormatFile(dir / "camera.tif"), Format::kTiff);
    EXPECT_EQ(DetectFormatFile(dir / "a.dng"), Format::kRaw);
    EXPECT_EQ(DetectFormatFile(dir / "renamed.bin"), Format::kRaw) << "DNG recognised by its directory";
    EXPECT_EQ(DetectFormat(std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}), Format::kUnknown);
    EXPECT_EQ(DetectFormatFile(dir / "missing.jpg"), Format::kUnknown);
    EXPECT_TRUE(HasRawExtension("x/IMG_0001.CR2"));
    EXPECT_TRUE(HasRawExtension("DSC.arw"));
    EXPECT_FALSE(HasRawExtension("DSC.jpg"));
}

TEST_F(DecodeAnyFormat, SizesFromHeadersAndPixelsFromFilesAndMemory) {
    for (const char* name : {"a.jpg", "a.png", "a.tif", "a.dng"}) {
        auto info = ReadImageInfoFile(dir / name);
        ASSERT_TRUE(info.ok()) << name << ": " << info.error().message;
        const uint32_t w = std::string(name) == "a.dng" ? 128 : 120;
        EXPECT_EQ(info->width, w) << name;
        auto from_file = DecodeImageFile(dir / name);
        ASSERT_TRUE(from_file.ok()) << name << ": " << from_file.error().message;
        EXPECT_EQ(from_file->Width(), w);
        auto bytes = ReadBytes(dir / name);
        auto mem_info = ReadImageInfo(bytes);
        ASSERT_TRUE(mem_info.ok()) << name;
        EXPECT_EQ(mem_info->width, w);
        DecodeOptions argb;
        argb.layout = PixelLayout::kArgb32;
        auto from_memory = DecodeImage(bytes, argb);
        ASSERT_TRUE(from_memory.ok()) << name << ": " << from_memory.error().message;
        EXPECT_EQ(from_memory->Layout(), PixelLayout::kArgb32);
        EXPECT_EQ(MaxDifference(*from_file, *from_memory), 0) << name;
    }
}

TEST_F(DecodeAnyFormat, ErrorsAreReportedNotThrown) {
    EXPECT_EQ(DecodeImageFile(dir / "missing.png").code(), ErrorCode::kIoError);
    EXPECT_EQ(ReadImageInfoFile(dir / "missing.png").code(), ErrorCode::kIoError);
    EXPECT_EQ(DecodeImageFile(dir.path()).code(), ErrorCode::kIoError) << "a folder is not a picture";
    WriteBytes(dir / "text.jpg", std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    EXPECT_EQ(DecodeImageFile(dir / "text.jpg").code(), ErrorCode::kUnknownFormat);
    WriteBytes(dir / "empty.png", std::vector<uint8_t>{});
    EXPECT_EQ(DecodeImageFile(dir / "empty.png").code(), ErrorCode::kUnknownFormat);
    EXPECT_FALSE(DecodeImage(std::vector<uint8_t>{}).ok());
}

// A real photograph-like picture when the machine has it (Debian package
// marble-data): a 2700 x 1350 map of the Earth.
TEST(RealPicture, EquirectangularEarthMap) {
    const std::filesystem::path path = "/usr/share/marble/data/maps/earth/bluemarble/bluemarble.jpg";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "marble-data not installed";
    auto info = ReadImageInfoFile(path);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info->width, 2700u);
    EXPECT_EQ(info->height, 1350u);
    DecodeOptions small;
    small.want_width = 300;
    auto map = DecodeImageFile(path, small);
    ASSERT_TRUE(map.ok());
    EXPECT_EQ(map->Width(), 338u);  // 3/8 scale, the smallest not below 300
    // Mid-Pacific is blue, the bottom row is Antarctic ice.
    uint32_t ocean = map->GetArgb(10, map->Height() / 2);
    EXPECT_GT(ocean & 255, (ocean >> 16) & 255);
    uint32_t ice = map->GetArgb(map->Width() / 2, map->Height() - 1);
    EXPECT_GT((ice >> 16) & 255, 180u);
}

}  // namespace
}  // namespace veldan::test
