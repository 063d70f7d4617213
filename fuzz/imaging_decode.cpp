// Feeds arbitrary bytes to every picture decoder of the imaging layer and
// to the header readers. The first byte picks the decoder and options, the
// rest is the picture. Limits are tightened so that a declared size the
// decoders accept cannot exhaust the fuzzer's memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "imaging/Png.h"
#include "imaging/Raw.h"
#include "imaging/Scale.h"
#include "imaging/Tiff.h"

using namespace veldan::imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t selector = data[0];
    std::span<const uint8_t> bytes(data + 1, size - 1);

    DecodeOptions options;
    options.layout = (selector & 1) ? PixelLayout::kArgb32 : PixelLayout::kBgr24;
    options.preview = (selector & 2) != 0;
    if (selector & 4) {
        options.want_width = 64;
        options.want_height = 48;
    }
    options.limits.max_side = 8192;
    options.limits.max_pixels = 16u * 1000 * 1000;

    (void)ReadImageInfo(bytes);
    Result<Bitmap> picture = Error{};
    switch ((selector >> 3) % 5) {
        case 0: picture = DecodeImage(bytes, options); break;
        case 1: picture = DecodeJpeg(bytes, options); break;
        case 2: picture = DecodePng(bytes, options); break;
        case 3: picture = DecodeTiff(bytes, options); break;
        case 4: picture = DecodeRaw(bytes, options); break;
    }
    if (picture.ok()) {
        // Whatever decodes must be a consistent bitmap: scale it and
        // encode it again.
        (void)ResizeArea(*picture, 7, 5);
        if (picture->Width() * uint64_t(picture->Height()) < 1u << 20) (void)EncodePng(*picture);
    }
    return 0;
}
