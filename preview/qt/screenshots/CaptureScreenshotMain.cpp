// Shoots a real capture in the real main window and saves the window at
// each of its states: the head switched on and ready, capturing (some tiles
// filled, one being shot), paused and finished, and the finished panorama
// in the blended preview.
//
//   VELDANpreview_capture_screenshots [output folder]   (default build/screenshots)
//
// Everything lives in a temporary home, as `make run` sets it up: the
// virtual head `veldan-headsim` (next to this program) on a free COM with a
// capture folder and a time scale, settings.cfg for it, the profile's
// capture folder and a spherical project planned for the virtual camera's
// lens. "On" and "Start" are pressed with the pane's own buttons. Runs on
// Qt's offscreen platform unless QT_QPA_PLATFORM names another (it also
// runs under xvfb-run).
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include "AppCommands.h"
#include "DemoProject.h"
#include "EventWaits.h"
#include "MainFrame.h"
#include "OutputWnd.h"
#include "PreviewApp.h"
#include "PreviewChild.h"
#include "PreviewView.h"
#include "VELDANPanoramaProject.h"
#include "VRHeadPane.h"
#include "VirtualHeadProcess.h"
#include "platform/Text.h"
#include "preview/view/DisplayMode.h"

namespace fs = std::filesystem;
using namespace veldan::preview;
using namespace veldan::preview::demo;

namespace {

// The virtual camera; the project is planned for the very same lens.
constexpr double kFocal = 24;
constexpr int kTimeScale = 10;

// Every step is written with the time since the start, so that a run that
// stalls shows where it stood.
QElapsedTimer sinceStart;

void Step(const char* what) {
    std::fprintf(stderr, "[%6.1f s] %s\n", sinceStart.isValid() ? sinceStart.elapsed() / 1000.0 : 0.0, what);
}

bool Await(const std::function<bool()>& condition, int ms, const char* what) {
    if (WaitFor(condition, ms)) return true;
    std::fprintf(stderr, "timed out waiting for %s\n", what);
    return false;
}

bool Save(QWidget* w, const fs::path& file) {
    // Strongest compression: the pictures go into the manual as they are.
    const bool ok = w->grab().save(QString::fromStdString(file.string()), "PNG", 0);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.c_str());
    return ok;
}

struct Progress {
    uint32_t images = 0, filed = 0, beingShot = 0;
};

// How many of the project's images have a file, and how many tiles are
// marked as being shot.
Progress Count(VELDANPanoramaProject& project) {
    Progress p;
    for (uint32_t t = 0; t < project.TileCount(); ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) continue;
        if (std::atomic_ref<uint32_t>(tile->display_flags).load() & kTileBeingShot) ++p.beingShot;
        for (uint32_t b = 0; b < tile->bracketings.GetItemCount(); ++b) {
            VELDANPanoramaBracketing* bracketing = tile->Bracketing(b);
            for (uint32_t i = 0; bracketing && i < bracketing->GetImageCnt(); ++i) {
                ++p.images;
                if (VELDANPanoramaImage* image = bracketing->GetImage(i)) {
                    const wchar_t* name = image->GetFilename();
                    if (name && *name) ++p.filed;
                }
            }
        }
    }
    return p;
}

void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

int Run(int argc, char** argv, const fs::path& out, const fs::path& home) {
    const fs::path documents = home / "Documents";
    const fs::path capture = home / "capture";
    const fs::path configHome = home / ".config";
    fs::create_directories(capture);
    const int com = FreeComNumber(documents / "VELDANmodular" / "ports");
    if (com == 0) {
        std::fprintf(stderr, "no free COM number\n");
        return 1;
    }
    if (!WriteDemoConfiguration(documents, configHome, com, capture)) {
        std::fprintf(stderr, "cannot write the demo configuration in %s\n", home.c_str());
        return 1;
    }

    QApplication qt(argc, argv);
    // The virtual camera looks at the painted landscape of the other
    // screenshots (an equirectangular picture: column x is the azimuth
    // x * 360 / W, row y the elevation 90 - y * 180 / (H - 1)).
    const fs::path scene = home / "scene.png";
    {
        QImage picture(2400, 1200, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            const double phi = 90 - y * 180.0 / (picture.height() - 1);
            for (int x = 0; x < picture.width(); ++x) line[x] = SceneColour(x * 360.0 / picture.width(), phi);
        }
        if (!picture.save(QString::fromStdString(scene.string()))) {
            std::fprintf(stderr, "cannot write %s\n", scene.c_str());
            return 1;
        }
    }
    const fs::path program = fs::path(QCoreApplication::applicationDirPath().toStdString()) / "veldan-headsim";
    VirtualHeadProcess head;
    QString error;
    Step("starting the virtual head");
    if (!head.Start(program,
                    {QStringLiteral("--com"), QString::number(com), QStringLiteral("--documents"),
                     QString::fromStdString(documents.string()), QStringLiteral("--capture-dir"),
                     QString::fromStdString(capture.string()), QStringLiteral("--focal"), QString::number(kFocal),
                     QStringLiteral("--sensor"), QStringLiteral("36x24"), QStringLiteral("--orientation"),
                     QStringLiteral("portrait"), QStringLiteral("--resolution"), QStringLiteral("1200x800"),
                     QStringLiteral("--time-scale"), QString::number(kTimeScale), QStringLiteral("--panorama"),
                     QString::fromStdString(scene.string())},
                    30000, error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }

    // The demo project as `veldan plan --focal 24 --sensor 36x24
    // --orientation portrait --overlap 0.25` plans it.
    const fs::path file = documents / "demo.vpp";
    {
        VELDANPanoramaProject project;
        project.description.Set(L"Demo panorama");
        project.lens.focal_length = kFocal;
        project.sensor.dimension_x = 36;
        project.sensor.dimension_y = 24;
        project.camera.orientation = 0;
        project.options.overlap = 0.25;
        if (project.ComputeTiles(false) == 0 || (project.ComputePath(0), false) ||
            !project.SaveToFile(veldan::platform::PathToWide(file).c_str())) {
            std::fprintf(stderr, "cannot plan %s\n", file.c_str());
            return 1;
        }
    }

    Step("opening the project in the main window");
    int failures = 0;
    CVELDANpreviewApp app;
    if (!app.InitInstance({QStringLiteral("VELDANpreview"), QString::fromStdString(file.string())}, false)) return 1;
    CMainFrame* frame = app.MainFrame();
    frame->resize(1280, 800);
    frame->show();
    CChildFrame* child = frame->ActiveChild();
    auto* pane = static_cast<CVRHeadPane*>(frame->HeadPane());
    if (!child || !pane) {
        std::fprintf(stderr, "the project did not open\n");
        return 1;
    }
    CVRHeadControlWidget* d = pane->Dialog();
    VELDANPanoramaProject& project = child->Document().Project();
    CVELDANpreviewView* view = child->View();
    constexpr int kLong = 120000;

    // Switched on: the head reports its position and battery, Start is enabled.
    // A step that times out says where the head stood and what the log pane
    // holds.
    auto report = [&] {
        std::fprintf(stderr, "head state %s, On/Off \"%s\", Start %s, view %s, H \"%s\", battery %s\n",
                     HeadStateName(d->Control().State()), d->OnOffButton()->text().toLocal8Bit().constData(),
                     d->StartButton()->isEnabled() ? "enabled" : "disabled", d->BoundView() ? "bound" : "unbound",
                     d->HorizontalText()->text().toLocal8Bit().constData(),
                     d->Battery()->pixmap().isNull() ? "none" : "shown");
        QListWidget* log = frame->OutputPane()->List();
        for (int i = std::max(0, log->count() - 30); i < log->count(); ++i)
            std::fprintf(stderr, "  log: %s\n", log->item(i)->text().toLocal8Bit().constData());
    };
    auto Await = [&](const std::function<bool()>& condition, int ms, const char* what) {
        if (::Await(condition, ms, what)) return true;
        report();
        return false;
    };
    if (!Await([&] { return d->OnOffButton()->isEnabled(); }, kLong, "the On button")) return 1;
    Step("switching the head on");
    Click(d->OnOffButton());
    if (!Await(
            [&] {
                return d->Control().State() == HeadState::Ready && d->StartButton()->isEnabled() &&
                       d->HorizontalText()->text() != QStringLiteral("----°") && !d->Battery()->pixmap().isNull();
            },
            kLong, "the head to be ready"))
        return 1;
    Step("the head is ready");
    Settle(view, 500, 5000);
    if (!Save(frame, out / "capture-on.png")) ++failures;

    // Capturing: a few tiles filled, the next one being shot.
    Step("starting the capture");
    Click(d->StartButton());
    const uint32_t total = Count(project).images;
    const uint32_t some = std::max<uint32_t>(3, total / 4);
    if (!Await(
            [&] {
                const Progress p = Count(project);
                return d->Control().State() == HeadState::Capturing && p.filed >= some && p.beingShot == 1;
            },
            kLong * 3, "some tiles to be filled"))
        return 1;
    // The view draws what arrived; the capture goes on meanwhile.
    QTest::qWait(100);
    if (!Save(frame, out / "capture-running.png")) ++failures;

    // Paused: the run stops at the next tile, which stays marked.
    const uint32_t half = std::max<uint32_t>(some + 1, total / 2);
    if (!Await([&] { return Count(project).filed >= half; }, kLong * 3, "half of the tiles")) return 1;
    Step("pausing the capture");
    Click(d->BreakButton());
    if (!Await(
            [&] {
                const Progress p = Count(project);
                return d->Control().State() == HeadState::Paused && d->Control().Queue().Empty() && p.beingShot == 1;
            },
            kLong, "the pause"))
        return 1;
    Step("paused");
    Settle(view, 800, 10000);
    if (!Save(frame, out / "capture-paused.png")) ++failures;

    // Resumed with Start and run to the end: every tile filled.
    Step("resuming the capture");
    Click(d->StartButton());
    if (!Await(
            [&] {
                const Progress p = Count(project);
                return d->Control().State() == HeadState::Ready && d->Control().Queue().Empty() &&
                       p.filed == p.images && p.beingShot == 0;
            },
            kLong * 5, "the end of the capture"))
        return 1;
    Step("the capture is done");
    Settle(view, 1000, 20000);
    if (!Save(frame, out / "capture-done.png")) ++failures;
    // The shot panorama as the blended preview shows it.
    Step("showing the blended preview");
    frame->OnCommand(kCmdBlended);
    Settle(view, 1000, 30000);
    if (!Save(frame, out / "capture-blended.png")) ++failures;
    frame->OnCommand(kCmdFlowChart);

    // Switched off again before the program ends, as a user would.
    if (!Await([&] { return d->OnOffButton()->isEnabled(); }, kLong, "the Off button")) return 1;
    Step("switching the head off");
    Click(d->OnOffButton());
    if (!Await([&] { return d->Control().State() == HeadState::Off; }, kLong, "the head to switch off")) return 1;
    Step("closing the program");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    sinceStart.start();
    // Each saved picture is reported as it is written, also into a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path out = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path("build/screenshots"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string tmpl = (fs::temp_directory_path() / "veldan-capture-shots-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path home(tmpl);
    // A private home: profile, desktop registration, documents and the
    // virtual head's port link live there, never in the user's own.
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (home / "Documents").c_str(), 1);
    setenv("VELDAN_HEADSIM_SOCKET", (home / "Documents" / "VELDANmodular" / "headsim.sock").c_str(), 1);
    std::error_code ec;
    fs::create_directories(out, ec);
    const int rc = Run(argc, argv, out, home);
    Step("removing the temporary home");
    fs::remove_all(home, ec);
    Step("done");
    return rc;
}
