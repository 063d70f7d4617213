#pragma once
// Camera raw files (CR2, CR3, NEF, ARW, DNG, ORF, RW2, RAF, PEF, ...)
// through LibRaw.
#include <cstdint>
#include <filesystem>
#include <span>
#include "imaging/Bitmap.h"
#include "imaging/ImageInfo.h"
#include "imaging/Result.h"

namespace veldan::imaging {

// Size of the demosaiced picture (unturned) and the camera's orientation,
// from the file's metadata; no raw data is unpacked.
VELDAN_API Result<ImageInfo> ReadRawInfo(std::span<const uint8_t> data);
VELDAN_API Result<ImageInfo> ReadRawInfoFile(const std::filesystem::path& path);

// options.preview: the embedded preview picture (JPEG previews are
// DCT-scaled per options.want_*), or when the file has none a half-size
// demosaic. Otherwise the full demosaiced picture: camera white balance,
// sRGB, 8 bits, not turned.
VELDAN_API Result<Bitmap> DecodeRaw(std::span<const uint8_t> data, const DecodeOptions& options = {});
VELDAN_API Result<Bitmap> DecodeRawFile(const std::filesystem::path& path, const DecodeOptions& options = {});

// The embedded preview only; kNoPreview when the file has none.
VELDAN_API Result<Bitmap> DecodeRawPreview(std::span<const uint8_t> data, const DecodeOptions& options = {});

}  // namespace veldan::imaging
