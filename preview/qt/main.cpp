// VELDANpreview: the desktop program for panorama projects and the head.
#include <QApplication>
#include "PreviewApp.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VELDANpreview"));
  veldan::preview::CVELDANpreviewApp app;
  if (!app.InitInstance(QApplication::arguments())) return app.ExitCode();
  return QApplication::exec();
}
