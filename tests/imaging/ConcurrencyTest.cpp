// Tests that the decoders run in parallel threads without interfering.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DngWriter.h"
#include "TestSupport.h"
#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "imaging/Png.h"
#include "imaging/Scale.h"
#include "imaging/Tiff.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

// Thumbnail jobs run on worker threads: every decoder must be usable from
// several threads at once, including the error paths (longjmp in libjpeg
// and libpng, libtiff's handlers, LibRaw's callbacks).
TEST(Concurrency, DecodersRunInParallelThreads) {
    TempDir dir;
    Bitmap b = Gradient(200, 150, PixelLayout::kBgr24);
    ASSERT_TRUE(SaveJpeg(b, dir / "a.jpg").ok());
    ASSERT_TRUE(SavePng(b, dir / "a.png").ok());
    DngContent c;
    ASSERT_TRUE(WriteDng(dir / "a.dng", c));
    {
        TIFF* tif = TIFFOpen((dir / "a.tif").c_str(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 200u);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 150u);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        std::vector<uint8_t> row(600, 50);
        for (uint32_t y = 0; y < 150; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
        TIFFClose(tif);
    }
    std::vector<std::vector<uint8_t>> broken;
    for (const char* name : {"a.jpg", "a.png", "a.tif", "a.dng"}) {
        auto bytes = ReadBytes(dir / name);
        bytes.resize(bytes.size() * 2 / 3);
        broken.push_back(bytes);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const char* names[] = {"a.jpg", "a.png", "a.tif", "a.dng"};
            for (int i = 0; i < 6; ++i) {
                const char* name = names[(t + i) % 4];
                auto thumb = MakeThumbnailFromFile(dir / name, 40, 30);
                if (!thumb.ok() || thumb->Width() != 40) failures++;
                if (DecodeImage(broken[size_t((t + i) % 4)]).ok()) failures++;
                if (!ReadImageInfoFile(dir / name).ok()) failures++;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace veldan::test
