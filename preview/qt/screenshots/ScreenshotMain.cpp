// Renders the main window with a demo project in each display mode, the
// image preview dialog and the New Project dialog into PNG files, on Qt's
// offscreen platform unless another is asked for.
//
//   VELDANpreview_screenshots [output folder]     (default build/screenshots)
//
// The program runs in a temporary home (profile, desktop registration and
// the demo project live there) and removes it afterwards.
#include <QApplication>
#include <QProgressBar>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include "DemoProject.h"
#include "EventWaits.h"
#include "ImagePreviewDlg.h"
#include "MainFrame.h"
#include "NewProjectDlg.h"
#include "PreviewApp.h"
#include "PreviewChild.h"
#include "VELDANPanoramaProject.h"
#include "platform/Text.h"
#include "preview/app/LogText.h"
#include "preview/view/DisplayMode.h"
#include "preview/view/ViewLayout.h"

namespace fs = std::filesystem;
using namespace veldan::preview;
using namespace veldan::preview::demo;

namespace {

bool Save(QWidget* w, const fs::path& file) {
    const bool ok = w->grab().save(QString::fromStdString(file.string()));
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path out = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path("build/screenshots"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string tmpl = (fs::temp_directory_path() / "veldan-screenshots-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path home(tmpl);
    fs::create_directories(home / "config");
    fs::create_directories(home / "Documents");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (home / "Documents").c_str(), 1);
    std::error_code ec;
    fs::create_directories(out, ec);

    int failures = 0;
    {
        QApplication qt(argc, argv);
        CVELDANpreviewApp app;
        app.InitInstance({QStringLiteral("VELDANpreview")}, false);
        CMainFrame* frame = app.MainFrame();

        const fs::path shots = home / "Shots";
        fs::create_directories(shots);
        const fs::path file = shots / "Demo.vpp";
        {
            VELDANPanoramaProject project;
            demo::PlanDemoProject(project, shots);
            demo::ShootDemoPictures(project, shots, 60, 600, 400);
            if (!project.SaveToFile(veldan::platform::PathToWide(file).c_str())) {
                std::fprintf(stderr, "cannot write %s\n", file.c_str());
                return 1;
            }
        }
        CChildFrame* child = app.OpenDocumentFile(file);
        if (!child) return 1;
        frame->resize(1440, 900);
        frame->show();
        LogText(L"Opened %ls\n", veldan::platform::PathToWide(file).c_str());
        VELDANPanoramaProject& project = child->Document().Project();
        CVELDANpreviewView* view = child->View();
        // Some tiles in their states: selected, being shot, hovered.
        for (uint32_t t : {12u, 13u, 24u}) project.Tile(t)->display_flags |= kTileSelected;
        project.Tile(61)->display_flags |= kTileBeingShot;
        project.Tile(40)->display_flags |= kTileHovered;

        const struct {
            int command;
            const char* name;
        } modes[] = {
            {kCmdFlowChart, "view-flowchart.png"}, {kCmdWarped, "view-warped.png"}, {kCmdBlended, "view-blended.png"}};
        for (const auto& m : modes) {
            frame->OnCommand(m.command);
            Settle(view, 800, 20000);
            if (!Save(frame, out / m.name)) ++failures;
        }
        frame->OnCommand(kCmdFlowChart);

        if (VELDANPanoramaImage* image =
                ShownImage(project.Tile(static_cast<uint32_t>(project.path.Node(5)->tile_nr)), 0)) {
            CImagePreviewDlg dialog(image, frame);
            dialog.resize(900, 640);
            dialog.show();
            WaitFor([&] { return dialog.Progress()->value() == 100; }, 20000);
            Settle(nullptr, 200, 1000);
            if (!Save(&dialog, out / "image-preview.png")) ++failures;
            dialog.done(0);
        }
        {
            VELDANPanoramaProject fresh;
            CNewProjectDlg dialog(fresh, frame);
            dialog.show();
            Settle(nullptr, 200, 1000);
            if (!Save(&dialog, out / "new-project.png")) ++failures;
        }
    }
    fs::remove_all(home, ec);
    return failures == 0 ? 0 : 1;
}
