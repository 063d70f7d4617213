// veldan-manualpdf: renders the user manual (Markdown) into the PDF that the
// desktop program's Help command opens.
//
//   veldan-manualpdf MANUAL.md OUT.pdf
//
// Runs without a display (the offscreen platform is chosen unless another
// one is set). The PDF is written to a temporary file and renamed, so a
// failed run leaves the previous PDF in place.
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>

namespace {

// Gives every picture of the document a size that fits maxWidth (in the
// document's pixels), keeping its aspect; a picture that cannot be loaded
// is reported and counts as a failure, so that the build never ships a
// manual with holes in it.
bool FitPictures(QTextDocument& document, double maxWidth) {
    bool ok = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat()) continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QImage picture = document.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
            if (picture.isNull()) {
                std::fprintf(stderr, "veldan-manualpdf: cannot load the picture %s\n", qPrintable(image.name()));
                ok = false;
                continue;
            }
            // Kept as the document's own resource: print() lays out a copy of the
            // document, which takes its resources along but loads nothing itself.
            document.addResource(QTextDocument::ImageResource, QUrl(image.name()), picture);
            const double width = std::min<double>(picture.width(), maxWidth);
            image.setWidth(width);
            image.setHeight(width * picture.height() / picture.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: veldan-manualpdf MANUAL.md OUT.pdf\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Build machines often have no session, so no runtime folder; a private
    // one keeps Qt from warning about it on every build.
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QGuiApplication app(argc, argv);

    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "veldan-manualpdf: cannot read %s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    const QString markdown = QString::fromUtf8(in.readAll());
    if (markdown.trimmed().isEmpty()) {
        std::fprintf(stderr, "veldan-manualpdf: %s is empty\n", argv[1]);
        return 1;
    }

    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "veldan-manualpdf: cannot write %s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    {
        QPdfWriter writer(&out);
        writer.setTitle(QStringLiteral("VELDANpreview user manual"));
        writer.setCreator(QStringLiteral("veldan-manualpdf"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(18, 18, 18, 18),
                                         QPageLayout::Millimeter));

        QTextDocument document;
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10);
        document.setDefaultFont(font);
        // Pictures are named relative to the manual's folder.
        document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(in.fileName()).absolutePath() + QLatin1Char('/')));
        document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
        // print() lays the text out on the writer's pages inside 2 cm margins of
        // its own and scales pictures from screen pixels to the writer's: the
        // widest picture is the text width in screen pixels.
        const double screenDpi =
            QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->logicalDotsPerInchX() : 96;
        const double textWidth = writer.width() - 2 * (2 / 2.54) * writer.logicalDpiX();
        if (!FitPictures(document, 0.98 * textWidth * screenDpi / writer.logicalDpiX())) {
            out.cancelWriting();
            return 1;
        }
        document.print(&writer);  // lays the text out on the writer's pages, numbered
    }
    if (!out.commit()) {
        std::fprintf(stderr, "veldan-manualpdf: cannot write %s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
