// Loading the source panorama and writing JPEG pictures through the imaging
// layer.
#include "PictureIo.h"

#include "imaging/Jpeg.h"
#include "imaging/Png.h"

namespace veldan::headsim {

namespace img = veldan::imaging;

namespace {
RgbImage FromBitmap(const img::Bitmap& bitmap) {
    RgbImage image(static_cast<int>(bitmap.Width()), static_cast<int>(bitmap.Height()));
    for (uint32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* src = bitmap.Row(y);
        uint8_t* dst = image.At(0, static_cast<int>(y));
        for (uint32_t x = 0; x < bitmap.Width(); ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return image;
}

img::Result<img::Bitmap> ToBitmap(const RgbImage& image) {
    auto bitmap = img::Bitmap::Create(static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height),
                                      img::PixelLayout::kBgr24, img::Bitmap::Fill::kUninitialized);
    if (!bitmap) return bitmap;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = image.At(0, y);
        uint8_t* dst = bitmap->Row(static_cast<uint32_t>(y));
        for (int x = 0; x < image.width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return bitmap;
}
}  // namespace

bool LoadPicture(const std::filesystem::path& path, RgbImage& image, std::string& error) {
    img::DecodeOptions options;
    options.layout = img::PixelLayout::kBgr24;
    auto decoded = img::DecodeJpegFile(path, options);
    if (!decoded && decoded.code() != img::ErrorCode::kIoError) {
        auto png = img::DecodePngFile(path, options);
        if (png)
            decoded = std::move(png);
        else if (png.code() != img::ErrorCode::kUnknownFormat && png.code() != img::ErrorCode::kCorrupt)
            decoded = std::move(png);  // a PNG file with a problem of its own
    }
    if (!decoded) {
        error = path.string() + ": " + decoded.error().message;
        return false;
    }
    image = FromBitmap(*decoded);
    return true;
}

bool EncodeJpeg(const RgbImage& image, int quality, std::vector<uint8_t>& jpeg, std::string& error) {
    if (image.Empty()) {
        error = "empty picture";
        return false;
    }
    auto bitmap = ToBitmap(image);
    if (!bitmap) {
        error = bitmap.error().message;
        return false;
    }
    img::JpegEncodeOptions options;
    options.quality = quality;
    auto encoded = img::EncodeJpeg(*bitmap, options);
    if (!encoded) {
        error = encoded.error().message;
        return false;
    }
    jpeg = std::move(*encoded);
    return true;
}

bool SaveJpeg(const std::filesystem::path& path, const RgbImage& image, int quality, std::string& error) {
    auto bitmap = ToBitmap(image);
    if (!bitmap) {
        error = bitmap.error().message;
        return false;
    }
    img::JpegEncodeOptions options;
    options.quality = quality;
    img::Status status = img::SaveJpeg(*bitmap, path, options);
    if (!status) {
        error = path.string() + ": " + status.error().message;
        return false;
    }
    return true;
}

}  // namespace veldan::headsim
