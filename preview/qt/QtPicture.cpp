#include "QtPicture.h"
#include <QPainter>
#include "imaging/Bitmap.h"

namespace veldan::preview {

QImage WrapPicture(const void* bitmap) {
  const auto* b = static_cast<const veldan::imaging::Bitmap*>(bitmap);
  if (!b || b->Empty()) return {};
  // ARGB bitmaps hold 0xAARRGGBB words, which is Qt's ARGB32; BGR bitmaps
  // hold blue, green, red bytes, which is Qt's BGR888.
  const QImage::Format format =
      b->Layout() == veldan::imaging::PixelLayout::kArgb32 ? QImage::Format_ARGB32 : QImage::Format_BGR888;
  return QImage(b->Data(), static_cast<int>(b->Width()), static_cast<int>(b->Height()),
                static_cast<qsizetype>(b->Stride()), format);
}

QImage TintedPicture(const QImage& picture, uint32_t tint) {
  QImage out = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int alpha = static_cast<int>(tint >> 24);
  if (alpha == 0 || out.isNull()) return out;
  // Source-atop keeps the picture's alpha and mixes every covered pixel as
  // a * tint + (1 - a) * pixel.
  QPainter p(&out);
  p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
  p.fillRect(out.rect(), QColor::fromRgba(tint));
  return out;
}

}  // namespace veldan::preview
