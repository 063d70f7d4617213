// Imaging-layer bitmaps shown as Qt images, plain or tinted.
#include "QtPicture.h"
#include <QPainter>
#include "imaging/Bitmap.h"

namespace veldan::preview {

QImage WrapPicture(const void* bitmap) {
    const auto* b = static_cast<const veldan::imaging::Bitmap*>(bitmap);
    if (!b || b->Empty()) return {};
    // ARGB bitmaps hold 0xAARRGGBB words, which is Qt's ARGB32; BGR bitmaps
    // hold blue, green, red bytes, which is Qt's BGR888.
    // BGR pictures are copied to 32-bit pixels: Qt 6.4's smooth scaling of
    // 24-bit images reads past their rows.
    if (b->Layout() == veldan::imaging::PixelLayout::kArgb32)
        return QImage(b->Data(), static_cast<int>(b->Width()), static_cast<int>(b->Height()),
                      static_cast<qsizetype>(b->Stride()), QImage::Format_ARGB32);
    return QImage(b->Data(), static_cast<int>(b->Width()), static_cast<int>(b->Height()),
                  static_cast<qsizetype>(b->Stride()), QImage::Format_BGR888)
        .convertToFormat(QImage::Format_RGB32);
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
