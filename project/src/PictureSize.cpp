#include "PictureSize.h"

#include <array>
#include <fstream>

namespace veldan::projectpicture {

namespace {

uint32_t Be16(const unsigned char* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t Be32(const unsigned char* p) { return (Be16(p) << 16) | Be16(p + 2); }

bool PngSize(std::ifstream& in, uint32_t& w, uint32_t& h) {
    std::array<unsigned char, 24> head{};
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) return false;
    static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!std::equal(sig, sig + 8, head.begin())) return false;
    if (head[12] != 'I' || head[13] != 'H' || head[14] != 'D' || head[15] != 'R') return false;
    w = Be32(&head[16]);
    h = Be32(&head[20]);
    return w && h;
}

bool JpegSize(std::ifstream& in, uint32_t& w, uint32_t& h) {
    in.seekg(2);
    for (int guard = 0; guard < 100000; ++guard) {
        unsigned char m[4];
        if (!in.read(reinterpret_cast<char*>(m), 2)) return false;
        if (m[0] != 0xFF) return false;
        while (m[1] == 0xFF)  // fill bytes
            if (!in.read(reinterpret_cast<char*>(&m[1]), 1)) return false;
        const unsigned char marker = m[1];
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
        if (marker == 0xD9 || marker == 0xDA) return false;  // no frame header before the scan
        if (!in.read(reinterpret_cast<char*>(m), 2)) return false;
        const uint32_t length = Be16(m);
        if (length < 2) return false;
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            unsigned char f[5];
            if (length < 7 || !in.read(reinterpret_cast<char*>(f), 5)) return false;
            h = Be16(&f[1]);
            w = Be16(&f[3]);
            return w && h;
        }
        in.seekg(length - 2, std::ios::cur);
    }
    return false;
}

}  // namespace

bool ReadPictureSize(const std::filesystem::path& path, uint32_t& width, uint32_t& height) {
    // Only regular files: a name from a project file must not make us block
    // on a pipe or read a device.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    unsigned char magic[2] = {};
    if (!in.read(reinterpret_cast<char*>(magic), 2)) return false;
    uint32_t w = 0, h = 0;
    bool ok = false;
    if (magic[0] == 0xFF && magic[1] == 0xD8)
        ok = JpegSize(in, w, h);
    else if (magic[0] == 0x89 && magic[1] == 'P')
        ok = PngSize(in, w, h);
    if (!ok) return false;
    width = w;
    height = h;
    return true;
}

}  // namespace veldan::projectpicture
