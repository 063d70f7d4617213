#pragma once
// Helpers shared by the imaging tests: temporary folders, files and
// pictures of known content.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "imaging/Bitmap.h"

namespace veldan::test {

// A fresh folder under the system temp folder, removed afterwards. HOME and
// the XDG folders point into it so that nothing touches the real home.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veldan-imaging-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back(0);
        char* made = mkdtemp(buf.data());
        EXPECT_NE(made, nullptr);
        path_ = made ? made : "";
        setenv("HOME", path_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", path_.c_str(), 1);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& path, std::span<const uint8_t> data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A smooth pattern that JPEG keeps well: horizontal red ramp, vertical green
// ramp, constant blue, alpha ramp for ARGB.
inline imaging::Bitmap Gradient(uint32_t w, uint32_t h, imaging::PixelLayout layout, bool alpha_ramp = false) {
    imaging::Bitmap b = std::move(imaging::Bitmap::Create(w, h, layout)).value();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t r = uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
            uint8_t g = uint8_t(y * 255 / (h > 1 ? h - 1 : 1));
            uint8_t a = alpha_ramp ? uint8_t((x + y) * 255 / (w + h - 2 > 0 ? w + h - 2 : 1)) : 255;
            b.SetArgb(x, y, imaging::MakeArgb(a, r, g, 96));
        }
    return b;
}

// Largest per-channel difference between two bitmaps of the same size (in
// ARGB terms); 256 when the sizes differ.
inline int MaxDifference(const imaging::Bitmap& a, const imaging::Bitmap& b, bool compare_alpha = false) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
    int worst = 0;
    for (uint32_t y = 0; y < a.Height(); ++y)
        for (uint32_t x = 0; x < a.Width(); ++x) {
            uint32_t p = a.GetArgb(x, y), q = b.GetArgb(x, y);
            for (int shift = 0; shift < (compare_alpha ? 32 : 24); shift += 8)
                worst = std::max(worst, std::abs(int((p >> shift) & 255) - int((q >> shift) & 255)));
        }
    return worst;
}

// Mean absolute per-channel difference of the colour channels.
inline double MeanDifference(const imaging::Bitmap& a, const imaging::Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
    double sum = 0;
    for (uint32_t y = 0; y < a.Height(); ++y)
        for (uint32_t x = 0; x < a.Width(); ++x) {
            uint32_t p = a.GetArgb(x, y), q = b.GetArgb(x, y);
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(int((p >> shift) & 255) - int((q >> shift) & 255));
        }
    return sum / (3.0 * a.Width() * a.Height());
}

}  // namespace veldan::test
