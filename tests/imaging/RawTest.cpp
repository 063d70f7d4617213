// Tests of the camera raw decoder on DNG files: demosaicing, embedded previews
// and bad data.
#include <gtest/gtest.h>

#include <cstring>

#include "DngWriter.h"
#include "TestSupport.h"
#include "imaging/Jpeg.h"
#include "imaging/Raw.h"

namespace veldan::test {

using namespace veldan::imaging;

namespace {

bool Reddish(uint32_t argb) { return ((argb >> 16) & 255) > (argb & 255) + 40; }
bool Bluish(uint32_t argb) { return (argb & 255) > ((argb >> 16) & 255) + 40; }

TEST(Raw, DngFullDecodeDemosaicsTheSensorData) {
    TempDir dir;
    DngContent c;
    ASSERT_TRUE(WriteDng(dir / "shot.dng", c));
    auto info = ReadRawInfoFile(dir / "shot.dng");
    ASSERT_TRUE(info.ok()) << info.error().message;
    EXPECT_EQ(info->format, Format::kRaw);
    EXPECT_EQ(info->width, 128u);
    EXPECT_EQ(info->height, 96u);
    auto full = DecodeRawFile(dir / "shot.dng");
    ASSERT_TRUE(full.ok()) << full.error().message;
    EXPECT_EQ(full->Width(), 128u);
    EXPECT_EQ(full->Height(), 96u);
    EXPECT_TRUE(Reddish(full->GetArgb(20, 48))) << std::hex << full->GetArgb(20, 48);
    EXPECT_TRUE(Bluish(full->GetArgb(108, 48))) << std::hex << full->GetArgb(108, 48);
}

TEST(Raw, PreviewLoadGivesTheEmbeddedPicture) {
    TempDir dir;
    DngContent c;
    ASSERT_TRUE(WriteDng(dir / "shot.dng", c));
    DecodeOptions o;
    o.preview = true;
    o.layout = PixelLayout::kArgb32;
    auto preview = DecodeRawFile(dir / "shot.dng", o);
    ASSERT_TRUE(preview.ok()) << preview.error().message;
    EXPECT_EQ(preview->Width(), 64u);
    EXPECT_EQ(preview->Height(), 48u);
    EXPECT_EQ(preview->GetArgb(5, 5), MakeArgb(255, 220, 30, 20));
    EXPECT_EQ(preview->GetArgb(60, 5), MakeArgb(255, 20, 30, 220));
}

TEST(Raw, JpegPreviewIsDctScaled) {
    TempDir dir;
    Bitmap pic = Gradient(320, 240, PixelLayout::kBgr24);
    auto jpeg = EncodeJpeg(pic);
    ASSERT_TRUE(jpeg.ok());
    DngContent c;
    c.preview_width = 320;
    c.preview_height = 240;
    c.preview_jpeg = *jpeg;
    ASSERT_TRUE(WriteDng(dir / "shot.dng", c));
    auto bytes = ReadBytes(dir / "shot.dng");
    DecodeOptions o;
    o.preview = true;
    o.want_width = 80;
    auto preview = DecodeRaw(bytes, o);
    ASSERT_TRUE(preview.ok()) << preview.error().message;
    EXPECT_EQ(preview->Width(), 80u);
    EXPECT_EQ(preview->Height(), 60u);
}

TEST(Raw, WithoutPreviewAPreviewLoadFallsBackToTheSensorData) {
    TempDir dir;
    DngContent c;
    c.with_preview = false;
    c.orientation = 6;
    ASSERT_TRUE(WriteDng(dir / "shot.dng", c));
    auto bytes = ReadBytes(dir / "shot.dng");
    EXPECT_EQ(DecodeRawPreview(bytes).code(), ErrorCode::kNoPreview);
    DecodeOptions o;
    o.preview = true;
    auto preview = DecodeRaw(bytes, o);
    ASSERT_TRUE(preview.ok()) << preview.error().message;
    EXPECT_EQ(preview->Width(), 64u) << "half-size demosaic";
    auto info = ReadRawInfo(bytes);
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info->orientation, 6);
}

TEST(Raw, BadDataGivesErrors) {
    TempDir dir;
    EXPECT_FALSE(DecodeRawFile(dir / "missing.nef").ok());
    EXPECT_FALSE(ReadRawInfo(std::vector<uint8_t>(1000, 0x42)).ok());
    EXPECT_FALSE(DecodeRaw(std::vector<uint8_t>{}).ok());
    DngContent c;
    ASSERT_TRUE(WriteDng(dir / "shot.dng", c));
    auto bytes = ReadBytes(dir / "shot.dng");
    // Cut anywhere, the file must give an error, not a picture with a
    // black lower part.
    for (size_t keep : {size_t(8), size_t(16), size_t(200), bytes.size() / 2, bytes.size() - 100}) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + keep);
        EXPECT_FALSE(DecodeRaw(cut).ok()) << "kept " << keep;
    }
}

TEST(Raw, SensorDataRunningPastTheEndOfTheFileIsAnError) {
    TempDir dir;
    DngContent c;
    ASSERT_TRUE(WriteDng(dir / "shot.dng", c));
    auto bytes = ReadBytes(dir / "shot.dng");
    // Move the raw IFD's strip offset (the second StripOffsets entry, tag
    // 273 as one LONG) forward so that the strip runs past the end: what a
    // file cut inside its sensor data looks like to the decoder.
    int seen = 0;
    bool patched = false;
    for (size_t i = 0; i + 12 <= bytes.size() && !patched; ++i) {
        if (bytes[i] == 0x11 && bytes[i + 1] == 0x01 && bytes[i + 2] == 4 && bytes[i + 3] == 0 && bytes[i + 4] == 1 &&
            bytes[i + 5] == 0 && bytes[i + 6] == 0 && bytes[i + 7] == 0 && ++seen == 2) {
            uint32_t offset;
            std::memcpy(&offset, &bytes[i + 8], 4);
            offset += 12000;
            std::memcpy(&bytes[i + 8], &offset, 4);
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    auto r = DecodeRaw(bytes);
    EXPECT_EQ(r.code(), ErrorCode::kCorrupt) << (r.ok() ? "decoded" : r.error().message);
}

}  // namespace
}  // namespace veldan::test
