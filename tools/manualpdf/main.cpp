// veldan-manualpdf: renders the user manual (Markdown) into the PDF that the
// desktop program's Help command opens.
//
//   veldan-manualpdf MANUAL.md OUT.pdf
//
// Runs without a display (the offscreen platform is chosen unless another
// one is set). The PDF is written to a temporary file and renamed, so a
// failed run leaves the previous PDF in place.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextDocument>
#include <cstdio>

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
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    document.setDefaultFont(font);
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    document.print(&writer);  // lays the text out on the writer's pages, numbered
  }
  if (!out.commit()) {
    std::fprintf(stderr, "veldan-manualpdf: cannot write %s: %s\n", argv[2], qPrintable(out.errorString()));
    return 1;
  }
  return 0;
}
