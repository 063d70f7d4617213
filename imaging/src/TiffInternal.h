#pragma once
#include "ByteSource.h"
#include "imaging/ImageInfo.h"

namespace veldan::imaging::detail {

// Header facts of the first directory of a TIFF structure.
Result<ImageInfo> ReadTiffInfoFrom(const ByteSource& source);

// Silences libtiff's process-wide warning and error output once; our
// per-file handlers collect the messages instead.
void QuietLibtiff();

}  // namespace veldan::imaging::detail
