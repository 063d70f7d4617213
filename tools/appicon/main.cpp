// veldan-appicon: writes the program's icon as a scalable SVG and as PNG files
// of the sizes desktop themes look for. Both are drawn from the one shape list
// below, so the picture is the same at every size.
//
//   veldan-appicon OUTDIR
//     OUTDIR/scalable/apps/VELDANpreview.svg
//     OUTDIR/<N>x<N>/apps/VELDANpreview.png   for N = 16 22 24 32 48 64 128 256
#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QString>
#include <cstdio>
#include <vector>

namespace {

// One shape on a 256 x 256 canvas.
struct Shape {
    enum Kind { RoundedRect, Ellipse } kind;
    double cx, cy, rx, ry;  // centre and radii (a rounded rectangle: half sizes)
    double corner;          // corner radius of a rounded rectangle
    const char* fill;       // nullptr: no fill
    const char* stroke;     // nullptr: no outline
    double strokeWidth;
};

// A dark tile, the sphere of a panorama with its horizon and one meridian,
// and the red point where the head aims the camera.
const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {Shape::RoundedRect, 128, 128, 120, 120, 40, "#22313f", nullptr, 0},
        {Shape::Ellipse, 128, 128, 88, 88, 0, "#3b6ea5", "#e8f1fa", 8},
        {Shape::Ellipse, 128, 128, 88, 26, 0, nullptr, "#e8f1fa", 6},
        {Shape::Ellipse, 128, 128, 34, 88, 0, nullptr, "#e8f1fa", 6},
        {Shape::Ellipse, 194, 78, 20, 20, 0, "#e84c3d", "#22313f", 7},
    };
    return shapes;
}

QString Svg() {
    QString svg = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
        "  <title>VELDANpreview</title>\n");
    for (const Shape& s : Shapes()) {
        const QString paint =
            QStringLiteral(" fill=\"%1\" stroke=\"%2\" stroke-width=\"%3\"")
                .arg(QLatin1String(s.fill ? s.fill : "none"), QLatin1String(s.stroke ? s.stroke : "none"))
                .arg(s.strokeWidth);
        if (s.kind == Shape::RoundedRect)
            svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"%6/>\n")
                       .arg(s.cx - s.rx)
                       .arg(s.cy - s.ry)
                       .arg(2 * s.rx)
                       .arg(2 * s.ry)
                       .arg(s.corner)
                       .arg(paint);
        else
            svg += QStringLiteral("  <ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"%4\"%5/>\n")
                       .arg(s.cx)
                       .arg(s.cy)
                       .arg(s.rx)
                       .arg(s.ry)
                       .arg(paint);
    }
    svg += QStringLiteral("</svg>\n");
    return svg;
}

QImage Png(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    for (const Shape& s : Shapes()) {
        painter.setBrush(s.fill ? QBrush(QColor(QLatin1String(s.fill))) : QBrush(Qt::NoBrush));
        painter.setPen(s.stroke ? QPen(QColor(QLatin1String(s.stroke)), s.strokeWidth) : QPen(Qt::NoPen));
        const QRectF box(s.cx - s.rx, s.cy - s.ry, 2 * s.rx, 2 * s.ry);
        if (s.kind == Shape::RoundedRect)
            painter.drawRoundedRect(box, s.corner, s.corner);
        else
            painter.drawEllipse(box);
    }
    painter.end();
    return image;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: veldan-appicon OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString svgPath = out.filePath(QStringLiteral("scalable/apps/VELDANpreview.svg"));
    if (!QDir().mkpath(QFileInfo(svgPath).path()) || !WriteFile(svgPath, Svg().toUtf8())) {
        std::fprintf(stderr, "veldan-appicon: cannot write %s\n", qPrintable(svgPath));
        return 1;
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString png = out.filePath(QStringLiteral("%1x%1/apps/VELDANpreview.png").arg(size));
        if (!QDir().mkpath(QFileInfo(png).path()) || !Png(size).save(png, "PNG")) {
            std::fprintf(stderr, "veldan-appicon: cannot write %s\n", qPrintable(png));
            return 1;
        }
    }
    return 0;
}
