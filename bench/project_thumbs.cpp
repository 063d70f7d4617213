// Thumbnails of large camera JPEGs as the desktop program makes them: every
// picture asked for a 400 x 267 picture through GetImage, the worker pool
// generating them in the background, finished when every image has posted
// its notification. The same files then go through vipsthumbnail with as
// many processes as the pool has threads. Prints both wall times, the ratio
// and the peak memory of each side.
//
//   bench_project_thumbs [--files N] [--size WxH]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CameraPictures.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "platform/Window.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

long PeakKiB(const rusage& u) { return u.ru_maxrss; }

}  // namespace

int main(int argc, char** argv) {
    int files = 24;
    uint32_t width = 6000, height = 4000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--files")) files = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--size")) std::sscanf(argv[i + 1], "%ux%u", &width, &height);
    }
    if (files < 1) files = 1;
    const uint32_t tw = 400, th = 267;
    const fs::path dir = fs::temp_directory_path() / ("veldan-thumbs-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("writing %d JPEG files of %ux%u into %s\n", files, width, height, dir.c_str());
    std::vector<fs::path> paths;
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.JPG", i + 1);
        paths.push_back(dir / name);
    }
    if (!veldan::bench::WriteCameraPictures(paths, width, height)) {
        std::fprintf(stderr, "cannot write the test pictures\n");
        return 1;
    }

    // Header reads: the size of every file from its header.
    auto t0 = Clock::now();
    for (const fs::path& p : paths) (void)veldan::imaging::ReadImageInfoFile(p);
    const double headerMs = Seconds(t0, Clock::now()) * 1000.0 / files;

    // Ours: GetImage on every image, the pool makes the thumbnails.
    InitGlobalThreadPool();
    const unsigned threads = veldan::platform::ProcessorCount();
    veldan::platform::MessageQueueWindow window;
    std::vector<std::unique_ptr<VELDANPanoramaImage>> images;
    t0 = Clock::now();
    for (const fs::path& p : paths) {
        auto image = std::make_unique<VELDANPanoramaImage>();
        image->SetFilename(veldan::platform::PathToWide(p).c_str());
        image->notify_window = window.Handle();
        image->notify_message = 0x8000 + 20;
        void* picture = nullptr;
        image->GetImage(&picture, tw, th);
        images.push_back(std::move(image));
    }
    int done = 0;
    veldan::platform::Message m;
    while (done < files && window.GetMessage(m, 120000)) ++done;
    const double ours = Seconds(t0, Clock::now());
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    images.clear();
    DeinitGlobalThreadPool();
    if (done < files) {
        std::fprintf(stderr, "only %d of %d thumbnails arrived\n", done, files);
        return 1;
    }

    // vipsthumbnail: the files split over as many processes as pool threads.
    double vips = -1;
    long vipsPeak = 0;
    if (system("command -v vipsthumbnail >/dev/null 2>&1") == 0) {
        t0 = Clock::now();
        std::vector<pid_t> children;
        for (unsigned k = 0; k < threads; ++k) {
            std::vector<std::string> args = {"vipsthumbnail", "-s", std::to_string(tw) + "x" + std::to_string(th), "-o",
                                             "%s_vips.jpg"};
            for (size_t i = k; i < paths.size(); i += threads) args.push_back(paths[i].string());
            if (args.size() == 5) continue;
            const pid_t pid = fork();
            if (pid == 0) {
                std::vector<char*> argvv;
                for (std::string& a : args) argvv.push_back(a.data());
                argvv.push_back(nullptr);
                execvp("vipsthumbnail", argvv.data());
                _exit(127);
            }
            if (pid > 0) children.push_back(pid);
        }
        for (pid_t pid : children) {
            int status = 0;
            rusage u{};
            wait4(pid, &status, 0, &u);
            vipsPeak = std::max(vipsPeak, PeakKiB(u));
        }
        vips = Seconds(t0, Clock::now());
    }

    std::printf("threads                 %u\n", threads);
    std::printf("header read             %.3f ms per file\n", headerMs);
    std::printf("ours (GetImage + pool)  %.2f s wall, peak %.1f MiB\n", ours, PeakKiB(self) / 1024.0);
    if (vips >= 0) {
        std::printf("vipsthumbnail           %.2f s wall, peak %.1f MiB per process\n", vips, vipsPeak / 1024.0);
        std::printf("ratio ours/vips         %.2f\n", ours / vips);
    } else {
        std::printf("vipsthumbnail not found: no ratio\n");
    }
    fs::remove_all(dir);
    return 0;
}
