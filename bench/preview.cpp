// The desktop program's blended preview of a 36-tile project (three rows of
// twelve 24-megapixel JPEGs) at 2000 x 1000:
// - cold: no thumbnails yet; the first composition queues the thumbnails on
//   the worker pool, the second (after every thumbnail has arrived) warps
//   and blends everything;
// - warm: recomposition with PREVIEW_REFRESH (every tile warped again from
//   its thumbnail, then blended), median of several runs; and the stored
//   composite returned without work;
// - nona rendering the project's Hugin export at the same size.
// Prints the times and the ratios to nona.
//
//   bench_preview [--runs N] [--cache DIR] [--no-nona]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Nona.h"
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "platform/Window.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kPicW = 6000, kPicH = 4000;  // 24 megapixels
constexpr uint32_t kW = 2000, kH = 1000;
constexpr int kRows = 3, kColumns = 12;
constexpr double kFocal = 24, kSensorX = 36, kSensorY = 24;

// Processor time of this process (all threads), milliseconds.
double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

std::string PictureName(int k) {
    char name[32];
    std::snprintf(name, sizeof name, "TILE2_%02d.JPG", k);
    return name;
}

// Camera-like textured pictures, each with its own tint, written once in a
// child process (so that its bitmap does not stay in this process).
bool EnsurePictures(const fs::path& dir) {
    bool complete = true;
    for (int k = 0; k < kRows * kColumns; ++k) complete = complete && fs::exists(dir / PictureName(k));
    if (complete) return true;
    fs::create_directories(dir);
    std::printf("writing %d JPEG files of %ux%u into %s (once)\n", kRows * kColumns, kPicW, kPicH, dir.c_str());
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        using namespace veldan::imaging;
        auto bitmap = Bitmap::Create(kPicW, kPicH, PixelLayout::kBgr24);
        if (!bitmap.ok()) _exit(1);
        Bitmap& b = bitmap.value();
        for (int k = 0; k < kRows * kColumns; ++k) {
            if (fs::exists(dir / PictureName(k))) continue;
            for (uint32_t y = 0; y < kPicH; ++y) {
                uint8_t* row = b.Row(y);
                for (uint32_t x = 0; x < kPicW; ++x) {
                    const uint32_t n = (x * 2654435761u) ^ (y * 40503u) ^ uint32_t(k * 97);
                    // Gradients with sensor-like noise in every channel, so
                    // that the files carry about as much entropy-coded data
                    // as camera JPEGs of this size.
                    row[3 * x] = uint8_t((x / 16 + k * 21) + ((n >> 27) & 31));
                    row[3 * x + 1] = uint8_t((y / 16 + k * 7) + ((n >> 21) & 31));
                    row[3 * x + 2] = uint8_t((x + y) / 32 + k * 11 + ((n >> 15) & 31));
                }
            }
            const fs::path temporary = dir / (PictureName(k) + ".part");
            if (!SaveJpeg(b, temporary).ok()) _exit(1);
            fs::rename(temporary, dir / PictureName(k));
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::unique_ptr<VELDANPanoramaProject> MakeProject(const fs::path& dir, veldan::platform::HWND window) {
    auto project = std::make_unique<VELDANPanoramaProject>();
    project->lens.focal_length = kFocal;
    project->sensor.dimension_x = kSensorX;
    project->sensor.dimension_y = kSensorY;
    project->camera.orientation = 1;
    const double hfov = 2 * std::atan(kSensorX / 2 / kFocal) * 180 / 3.141592653589793;
    const double vfov = 2 * std::atan(kSensorY / 2 / kFocal) * 180 / 3.141592653589793;
    int k = 0;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c, ++k) {
            auto* tile = new_VELDANPanoramaTile(1);
            tile->pos_x = 15 + 30.0 * c;
            tile->pos_y = -45 + 45.0 * r;
            tile->fov_x = hfov;
            tile->fov_y = vfov;
            auto* bracketing = new_VELDANPanoramaBracketing(1);
            bracketing->SetImageCnt(1);
            tile->bracketings.AddItem(bracketing, 0, true);
            project->AppendTile(tile);
            VELDANPanoramaImage* image = bracketing->GetImage(0);
            image->SetFilename(veldan::platform::PathToWide(dir / PictureName(k)).c_str());
            image->notify_window = window;
            image->notify_message = 0x402;
            image->notify_wparam = veldan::platform::WPARAM(k);
        }
    return project;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 7;
    bool with_nona = true;
    fs::path cache = VELDAN_BENCH_CACHE;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--cache") && i + 1 < argc)
            cache = argv[++i];
        else if (!std::strcmp(argv[i], "--no-nona"))
            with_nona = false;
    }
    if (!EnsurePictures(cache)) {
        std::fprintf(stderr, "cannot write the test pictures into %s\n", cache.c_str());
        return 1;
    }
    InitGlobalThreadPool();
    veldan::platform::MessageQueueWindow window;
    auto project = MakeProject(cache, window.Handle());
    VELDANPanoramaStitcher stitcher;
    stitcher.project = project.get();
    const uint32_t tiles = project->TileCount();
    uint64_t warped_pixels = 0;  // the tiles' rectangles: the per-pixel work of a full recomposition
    for (uint32_t k = 0; k < tiles; ++k) {
        int32_t l, t;
        uint32_t w, h;
        if (VELDANPanoramaStitcher::GetDrawingRect(project.get(), project->Tile(k), kW, kH, l, t, w, h))
            warped_pixels += uint64_t(w) * h;
    }

    // Cold: the view's first paint, then every thumbnail's notification,
    // then the full recomposition.
    const auto cold_start = Clock::now();
    stitcher.GetImage(kW, kH, PREVIEW_BLEND, 0, 0, 0, 0, 0);
    const auto first = Clock::now();
    std::vector<bool> arrived(tiles, false);
    uint32_t count = 0;
    veldan::platform::Message m;
    while (count < tiles && window.GetMessage(m, 120000))
        if (m.wParam < tiles && !arrived[m.wParam]) {
            arrived[m.wParam] = true;
            ++count;
        }
    const auto thumbs = Clock::now();
    if (count < tiles) {
        std::fprintf(stderr, "only %u of %u thumbnails arrived\n", count, tiles);
        return 1;
    }
    void* picture = stitcher.GetImage(kW, kH, PREVIEW_BLEND | PREVIEW_REFRESH, 0, 0, 0, 0, 0);
    const auto cold_end = Clock::now();
    if (!picture) {
        std::fprintf(stderr, "no composite\n");
        return 1;
    }
    const double cold = Ms(cold_start, cold_end);
    auto t0 = Clock::now();

    // Warm: recomposition from the thumbnails, median of the runs.
    std::vector<double> warm;
    const double cpu0 = CpuMs();
    for (int r = 0; r < runs; ++r) {
        t0 = Clock::now();
        stitcher.GetImage(kW, kH, PREVIEW_BLEND | PREVIEW_REFRESH, 0, 0, 0, 0, 0);
        warm.push_back(Ms(t0, Clock::now()));
    }
    const double warm_cpu = (CpuMs() - cpu0) / runs;
    std::sort(warm.begin(), warm.end());
    const double warm_median = warm[warm.size() / 2];
    t0 = Clock::now();
    stitcher.GetImage(kW, kH, PREVIEW_BLEND, 0, 0, 0, 0, 0);
    const double stored = Ms(t0, Clock::now());
    // One tile's region, as the view recomposes after a tile changed.
    int32_t l, t;
    uint32_t w, h;
    VELDANPanoramaStitcher::GetDrawingRect(project.get(), project->Tile(13), kW, kH, l, t, w, h);
    t0 = Clock::now();
    stitcher.GetImage(kW, kH, PREVIEW_BLEND | PREVIEW_REFRESH, 0, uint32_t(std::max(l, 0)), uint32_t(std::max(t, 0)), w,
                      h);
    const double region = Ms(t0, Clock::now());

    const fs::path out_dir = fs::temp_directory_path() / ("veldan-preview-bench-" + std::to_string(getpid()));
    fs::create_directories(out_dir);
    double nona = -1;
    if (with_nona && veldan::test::HaveNona()) {
        const fs::path pto = out_dir / "pano.pto";
        project->ExportHugin(veldan::platform::PathToWide(pto).c_str(), false);
        std::string text = ReadAll(pto);
        if (veldan::test::SetHuginPanoramaSize(text, kW, kH)) {
            std::ofstream(pto, std::ios::binary) << text;
            std::string error;
            t0 = Clock::now();
            const bool stitched = veldan::test::RunNona(pto, out_dir / "nona", error);
            nona = Ms(t0, Clock::now());
            if (!stitched) {
                std::fprintf(stderr, "%s\n", error.c_str());
                nona = -1;
            }
        }
    }
    project.reset();
    DeinitGlobalThreadPool();
    fs::remove_all(out_dir);

    std::printf("processors                        %u\n", veldan::platform::ProcessorCount());
    std::printf("tiles                             %u of %ux%u JPEG, preview %ux%u blended\n", tiles, kPicW, kPicH, kW,
                kH);
    std::printf("warped rectangles                 %.1f megapixels (%.1f x the preview)\n", warped_pixels / 1e6,
                double(warped_pixels) / (double(kW) * kH));
    std::printf("cold (no thumbnails)              %.0f ms  (first paint %.0f ms, all thumbnails after %.0f ms)\n",
                cold, Ms(cold_start, first), Ms(cold_start, thumbs));
    std::printf("warm recomposition (REFRESH)      %.1f ms median of %d (min %.1f, max %.1f)\n", warm_median, runs,
                warm.front(), warm.back());
    std::printf("warm processor time               %.1f ms per recomposition (all threads)\n", warm_cpu);
    std::printf("one tile's region (REFRESH)       %.1f ms\n", region);
    std::printf("stored composite                  %.3f ms\n", stored);
    if (nona >= 0) {
        std::printf("nona (Hugin export, %ux%u)      %.0f ms\n", kW, kH, nona);
        std::printf("ratio cold/nona                   %.3f\n", cold / nona);
        std::printf("ratio warm/nona                   %.4f\n", warm_median / nona);
    } else {
        std::printf("nona not run: no ratio\n");
    }
    return 0;
}
