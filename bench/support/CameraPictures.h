#pragma once
// Camera-like JPEG files for the benchmarks: a textured picture (so the
// decoder has real work), different for every file.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"

namespace veldan::bench {

// Writes one w x h picture to each of `files`, in a child process so that
// its bitmap does not count towards the memory measured by the caller.
inline bool WriteCameraPictures(const std::vector<std::filesystem::path>& files, uint32_t w, uint32_t h) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        auto bitmap = imaging::Bitmap::Create(w, h, imaging::PixelLayout::kBgr24);
        if (!bitmap.ok()) _exit(1);
        imaging::Bitmap& b = bitmap.value();
        for (size_t i = 0; i < files.size(); ++i) {
            for (uint32_t y = 0; y < h; ++y) {
                uint8_t* row = b.Row(y);
                for (uint32_t x = 0; x < w; ++x) {
                    const uint32_t n = (x * 2654435761u) ^ (y * 40503u) ^ uint32_t(i * 97);
                    row[3 * x] = uint8_t((x / 8 + i * 13) ^ (n >> 27));
                    row[3 * x + 1] = uint8_t((y / 8) ^ (n >> 26));
                    row[3 * x + 2] = uint8_t((x + y) / 16 + i * 5);
                }
            }
            if (!imaging::SaveJpeg(b, files[i]).ok()) _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace veldan::bench
