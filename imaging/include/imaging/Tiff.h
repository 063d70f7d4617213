#pragma once
// TIFF through libtiff: 8- and 16-bit greyscale, RGB and RGBA (and 32-bit
// floating point, clamped to 0..1, as HDR tools write it), interleaved or in
// separate planes, in strips or tiles, with any compression libtiff has
// (none, LZW, Deflate, PackBits, JPEG, ...), are read directly; everything
// else libtiff can render (palette, 1..4-bit, CMYK, YCbCr, Lab) through its
// RGBA interface.
// Only the first picture (directory) of a file is read. The pixels come in
// stored order; the orientation tag is reported by ReadTiffInfo.
#include <cstdint>
#include <filesystem>
#include <span>
#include "imaging/Bitmap.h"
#include "imaging/ImageInfo.h"
#include "imaging/Result.h"

namespace veldan::imaging {

// Size and orientation from the first directory; reads no strips or tiles.
VELDAN_API Result<ImageInfo> ReadTiffInfo(std::span<const uint8_t> data);
VELDAN_API Result<ImageInfo> ReadTiffInfoFile(const std::filesystem::path& path);

VELDAN_API Result<Bitmap> DecodeTiff(std::span<const uint8_t> data, const DecodeOptions& options = {});
VELDAN_API Result<Bitmap> DecodeTiffFile(const std::filesystem::path& path, const DecodeOptions& options = {});

}  // namespace veldan::imaging
