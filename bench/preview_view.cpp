// The preview view as the user meets it after opening a shot project: 88
// tiles (full sphere, 50 mm on 36 x 24 mm, 10 % overlap), each with a large
// camera JPEG. Measured on the offscreen platform from the moment the view
// is shown:
//   - first painted flow chart (layout, placeholders, arrows);
//   - all thumbnails shown (every tile's WM_TILE_CHANGED handled and
//     repainted);
//   - the blended composite (when the project library offers it);
//   - the longest gap between ticks of a 5 ms timer on the window thread
//     meanwhile, which shows whether it ever waited for a decoder.
//
//   bench_preview_view [--size WxH] [--width W --height H of the view]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include "CameraPictures.h"
#include "DemoProject.h"
#include "PreviewView.h"
#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"
#include "platform/Text.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace fs = std::filesystem;
using namespace veldan::preview;

namespace {

// The view, telling when a paint has been completed.
class TimedView : public CVELDANpreviewView {
public:
    using CVELDANpreviewView::CVELDANpreviewView;
    int paints = 0;
    qint64 longestPaint = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        QElapsedTimer t;
        t.start();
        CVELDANpreviewView::paintEvent(event);
        longestPaint = std::max(longestPaint, t.elapsed());
        ++paints;
    }
};

}  // namespace

int main(int argc, char** argv) {
    uint32_t pw = 6000, ph = 4000;
    int vw = 1280, vh = 800;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--size")) std::sscanf(argv[i + 1], "%ux%u", &pw, &ph);
        if (!std::strcmp(argv[i], "--width")) vw = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--height")) vh = std::atoi(argv[i + 1]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    veldan::test::TempHome home;
    const fs::path shots = home.Root() / "Shots";
    fs::create_directories(shots);

    DocumentList list;
    auto doc = std::make_unique<CVELDANpreviewDoc>(list);
    VELDANPanoramaProject& project = doc->Project();
    demo::PlanDemoProject(project, shots);
    const uint32_t tiles = project.TileCount();
    std::vector<fs::path> files;
    for (uint32_t t = 0; t < tiles; ++t) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04u.JPG", t + 1);
        files.push_back(shots / name);
    }
    std::printf("writing %u JPEG files of %ux%u ...\n", tiles, pw, ph);
    std::fflush(stdout);
    if (!veldan::bench::WriteCameraPictures(files, pw, ph)) {
        std::fprintf(stderr, "cannot write the pictures\n");
        return 1;
    }
    for (uint32_t t = 0; t < tiles; ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        VELDANPanoramaImage* image = tile->Bracketing(0)->GetImage(0);
        image->orientation = 0;
        image->SetFilename(veldan::platform::PathToWide(files[t]).c_str());
    }

    int exitCode = 0;
    {
        QApplication qt(argc, argv);
        InitGlobalThreadPool();
        {
            class BenchUi : public veldan::test::ScriptedUi {
            } ui;
            TimedView view(*doc, ui);
            view.resize(vw, vh);

            // Window-thread responsiveness: the longest gap between 5 ms ticks.
            QElapsedTimer tick;
            qint64 longestGap = 0;
            QTimer heartbeat;
            QObject::connect(&heartbeat, &QTimer::timeout, [&] {
                if (tick.isValid())
                    longestGap = std::max(longestGap, tick.restart());
                else
                    tick.start();
            });
            std::set<uint32_t> changed;
            QElapsedTimer clock;

            clock.start();
            heartbeat.start(5);
            view.show();
            while (view.paints == 0 && clock.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const qint64 firstPaint = clock.elapsed();
            const qint64 firstPaintTime = view.longestPaint;
            view.longestPaint = 0;
            longestGap = 0;
            tick.invalidate();

            // Every tile announces its thumbnail of the box size once; the last
            // announcement's repaint ends the wait.
            QObject::connect(&view, &CVELDANpreviewView::tileChanged, [&](uint32_t t) { changed.insert(t); });
            QDeadlineTimer limit(600000);
            while (!limit.hasExpired() && changed.size() < tiles)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::processEvents();  // the last tile's repaint
            const qint64 allThumbs = changed.size() == tiles ? clock.elapsed() : -1;
            heartbeat.stop();

            // The blended composite.
            clock.restart();
            const int before = view.paints;
            view.SetMode(kCmdBlended);
            while (view.paints == before && clock.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const qint64 blended = clock.elapsed();

            rusage self{};
            getrusage(RUSAGE_SELF, &self);
            std::printf("tiles                       %u (%ux%u JPEG each)\n", tiles, pw, ph);
            std::printf("view                        %dx%d\n", vw, vh);
            std::printf("first painted flow chart    %lld ms\n", static_cast<long long>(firstPaint));
            std::printf("  of which the paint itself %lld ms\n", static_cast<long long>(firstPaintTime));
            std::printf("all thumbnails shown        %lld ms (%zu of %u tiles)\n", static_cast<long long>(allThumbs),
                        changed.size(), tiles);
            std::printf("blended picture             %lld ms%s\n", static_cast<long long>(blended),
                        " (composite of the project library; black while it is not available)");
            std::printf("longest window-thread gap   %lld ms (5 ms timer, after the first paint)\n",
                        static_cast<long long>(longestGap));
            std::printf("longest later paint         %lld ms\n", static_cast<long long>(view.longestPaint));
            std::printf("peak memory                 %ld MiB\n", self.ru_maxrss / 1024);
            if (allThumbs < 0) exitCode = 1;
        }
        DeinitGlobalThreadPool();
    }
    return exitCode;
}
