// VELDANpreview: the desktop program for panorama projects and the head.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>
#include "PreviewApp.h"
#include "preview/app/LibraryCheck.h"

int main(int argc, char** argv) {
    // "--check-libraries" reports which control and camera libraries the
    // program would load and ends; it needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check-libraries") != 0) continue;
        std::string report;
        const bool ok = veldan::preview::CheckRuntimeLibraries(report);
        std::fputs(report.c_str(), stdout);
        return ok ? 0 : 1;
    }
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VELDANpreview"));
    veldan::preview::CVELDANpreviewApp app;
    if (!app.InitInstance(QApplication::arguments())) return app.ExitCode();
    return QApplication::exec();
}
