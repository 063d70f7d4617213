#pragma once
#include <QImage>

// Pictures of the imaging layer (veldan::imaging::Bitmap, handed around by
// the project library as void*) as Qt images.
namespace veldan::preview {

// The bitmap as a QImage: ARGB pictures are wrapped without a copy (valid
// only while the bitmap is), BGR pictures copied; null for a null or empty
// bitmap.
QImage WrapPicture(const void* bitmap);

// A premultiplied copy of picture with the tint laid over it: every colour
// channel becomes (1 - a) * channel + a * tint channel, alpha stays.
QImage TintedPicture(const QImage& picture, uint32_t tint);

}  // namespace veldan::preview
