// Thumbnails of large JPEG files: the imaging layer against vipsthumbnail.
//
// The pictures (6000 x 4000, camera-like detail) are generated once into a
// temporary folder. Both sides do the same job: read the file, shrink to
// 400 x 267, write a JPEG. vipsthumbnail runs as an external program (when
// installed), so its numbers include process start-up; "ours_in_child" runs
// our side in a forked child as well, for the same overhead and a per-job
// peak memory figure (maximum resident set of the child).
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "imaging/Scale.h"

extern char** environ;

namespace {

using namespace veldan::imaging;
namespace fs = std::filesystem;

constexpr uint32_t kWidth = 6000, kHeight = 4000, kThumbW = 400, kThumbH = 267;
constexpr int kBatch = 24;

// The work folder, removed when the program ends.
struct BenchFolder {
    fs::path path = fs::temp_directory_path() / ("veldan-imaging-bench-" + std::to_string(::getpid()));
    BenchFolder() { fs::create_directories(path / "out"); }
    ~BenchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& Folder() {
    static BenchFolder folder;
    return folder.path;
}

// Smooth gradients plus fine deterministic noise: compresses like a photo
// (several megabytes at quality 90) rather than like a flat test card.
const fs::path& BigJpeg() {
    static const fs::path path = [] {
        fs::path p = Folder() / "big_0.jpg";
        Bitmap b = std::move(Bitmap::Create(kWidth, kHeight, PixelLayout::kBgr24)).value();
        uint32_t seed = 1;
        for (uint32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = b.Row(y);
            for (uint32_t x = 0; x < kWidth; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = int(seed >> 27) - 16;
                row[3 * x] = uint8_t(std::clamp(int(x * 255 / kWidth) + noise, 0, 255));
                row[3 * x + 1] = uint8_t(std::clamp(int(y * 255 / kHeight) + noise, 0, 255));
                row[3 * x + 2] = uint8_t(std::clamp(int(((x / 50 + y / 50) % 2) * 120 + 60) + noise, 0, 255));
            }
        }
        JpegEncodeOptions o;
        o.quality = 90;
        if (!SaveJpeg(b, p, o)) std::abort();
        for (int i = 1; i < kBatch; ++i)
            fs::copy_file(p, Folder() / ("big_" + std::to_string(i) + ".jpg"), fs::copy_options::overwrite_existing);
        return p;
    }();
    return path;
}

fs::path Input(int i) { return Folder() / ("big_" + std::to_string(i) + ".jpg"); }

bool OurThumbnail(const fs::path& in, const fs::path& out) {
    auto t = MakeThumbnailFromFile(in, kThumbW, kThumbH);
    return t.ok() && SaveJpeg(*t, out).ok();
}

std::string Vips() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin"}) {
        fs::path p = fs::path(dir) / "vipsthumbnail";
        if (fs::exists(p)) return p.string();
    }
    return {};
}

// Runs a program, returns its exit status and maximum resident set (KiB).
bool Run(const std::vector<std::string>& args, long& max_rss_kb) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    max_rss_kb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_Thumbnail_Ours(benchmark::State& state) {
    const fs::path in = BigJpeg();
    for (auto _ : state)
        if (!OurThumbnail(in, Folder() / "out" / "ours.jpg")) state.SkipWithError("thumbnail failed");
}
BENCHMARK(BM_Thumbnail_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Thumbnail_OursInChild(benchmark::State& state) {
    const fs::path in = BigJpeg();
    long peak = 0;
    for (auto _ : state) {
        pid_t pid = ::fork();
        if (pid == 0) _exit(OurThumbnail(in, Folder() / "out" / "ours_child.jpg") ? 0 : 1);
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        peak = std::max(peak, usage.ru_maxrss);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("thumbnail failed");
    }
    state.counters["peak_rss_MiB"] = double(peak) / 1024.0;  // includes the benchmark process image
}
BENCHMARK(BM_Thumbnail_OursInChild)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Thumbnail_Vipsthumbnail(benchmark::State& state) {
    const fs::path in = BigJpeg();
    const std::string vips = Vips();
    if (vips.empty()) {
        state.SkipWithError("vipsthumbnail not installed (Debian package libvips-tools)");
        return;
    }
    long peak = 0;
    for (auto _ : state) {
        long rss = 0;
        if (!Run({vips, in.string(), "--size", "400x267", "--vips-concurrency=1", "-o",
                  (Folder() / "out" / "vips.jpg").string()},
                 rss))
            state.SkipWithError("vipsthumbnail failed");
        peak = std::max(peak, rss);
    }
    state.counters["peak_rss_MiB"] = double(peak) / 1024.0;
}
BENCHMARK(BM_Thumbnail_Vipsthumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

// 24 files on two threads; vipsthumbnail as two processes of twelve files
// each, one thread apiece.
void BM_Batch24_Ours(benchmark::State& state) {
    BigJpeg();
    const int threads = int(state.range(0));
    for (auto _ : state) {
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([t, threads] {
                for (int i = t; i < kBatch; i += threads)
                    OurThumbnail(Input(i), Folder() / "out" / ("ours_" + std::to_string(i) + ".jpg"));
            });
        for (auto& th : pool) th.join();
    }
    state.counters["files_per_s"] = benchmark::Counter(double(kBatch), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Batch24_Ours)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Batch24_Vipsthumbnail(benchmark::State& state) {
    BigJpeg();
    const std::string vips = Vips();
    if (vips.empty()) {
        state.SkipWithError("vipsthumbnail not installed");
        return;
    }
    const int procs = int(state.range(0));
    for (auto _ : state) {
        std::vector<std::thread> pool;
        for (int t = 0; t < procs; ++t)
            pool.emplace_back([&, t] {
                std::vector<std::string> args = {vips};
                for (int i = t; i < kBatch; i += procs) args.push_back(Input(i).string());
                args.insert(args.end(), {"--size", "400x267", "--vips-concurrency=1", "-o",
                                         (Folder() / "out" / "%s_vips.jpg").string()});
                long rss = 0;
                Run(args, rss);
            });
        for (auto& th : pool) th.join();
    }
    state.counters["files_per_s"] = benchmark::Counter(double(kBatch), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Batch24_Vipsthumbnail)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadInfoFromHeader(benchmark::State& state) {
    const fs::path in = BigJpeg();
    for (auto _ : state) {
        auto info = ReadImageInfoFile(in);
        if (!info || info->width != kWidth) state.SkipWithError("header read failed");
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_ReadInfoFromHeader)->Unit(benchmark::kMicrosecond);

void BM_FullDecode(benchmark::State& state) {
    const fs::path in = BigJpeg();
    for (auto _ : state) {
        auto b = DecodeJpegFile(in);
        if (!b) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(b);
    }
}
BENCHMARK(BM_FullDecode)->Unit(benchmark::kMillisecond);

void BM_ResizeAreaFullToThumb(benchmark::State& state) {
    static Bitmap big = std::move(DecodeJpegFile(BigJpeg())).value();
    for (auto _ : state) {
        auto t = ResizeArea(big, kThumbW, kThumbH);
        benchmark::DoNotOptimize(t);
    }
}
BENCHMARK(BM_ResizeAreaFullToThumb)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
