#pragma once
// JPEG helpers shared inside the layer.
#include "ByteSource.h"
#include "imaging/ImageInfo.h"

namespace veldan::imaging::detail {

Result<ImageInfo> ReadJpegInfoFrom(const ByteSource& source);

}  // namespace veldan::imaging::detail
