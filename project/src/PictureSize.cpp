#include "PictureSize.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace veldan::projectpicture {

namespace {

uint32_t Be16(const unsigned char* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t Be32(const unsigned char* p) { return (Be16(p) << 16) | Be16(p + 2); }

// A read-only regular file; closed on destruction.
class File {
public:
    explicit File(const char* path) {
        // Non-blocking open, so that a pipe's name cannot stall us; anything
        // but a regular file is refused right after.
        fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        struct stat st{};
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool IsOpen() const { return fd_ >= 0; }
    bool ReadAt(off_t offset, void* out, size_t n) const {
        auto* p = static_cast<unsigned char*>(out);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, p, n, offset);
            if (got <= 0) return false;
            p += got;
            n -= static_cast<size_t>(got);
            offset += got;
        }
        return true;
    }

private:
    int fd_ = -1;
};

bool PngSize(const File& f, uint32_t& w, uint32_t& h) {
    unsigned char head[24];
    if (!f.ReadAt(0, head, sizeof head)) return false;
    static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (std::memcmp(head, sig, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return false;
    w = Be32(&head[16]);
    h = Be32(&head[20]);
    return w && h;
}

bool JpegSize(const File& f, uint32_t& w, uint32_t& h) {
    off_t at = 2;
    for (int guard = 0; guard < 100000; ++guard) {
        unsigned char m[2];
        if (!f.ReadAt(at, m, 2) || m[0] != 0xFF) return false;
        at += 2;
        while (m[1] == 0xFF) {  // fill bytes
            if (!f.ReadAt(at, &m[1], 1)) return false;
            ++at;
        }
        const unsigned char marker = m[1];
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
        if (marker == 0xD9 || marker == 0xDA) return false;  // no frame header before the scan
        unsigned char len[2];
        if (!f.ReadAt(at, len, 2)) return false;
        const uint32_t length = Be16(len);
        if (length < 2) return false;
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            unsigned char frame[5];
            if (length < 7 || !f.ReadAt(at + 2, frame, sizeof frame)) return false;
            h = Be16(&frame[1]);
            w = Be16(&frame[3]);
            return w && h;
        }
        at += length;
    }
    return false;
}

}  // namespace

bool ReadPictureSize(const char* utf8Path, uint32_t& width, uint32_t& height) {
    if (!utf8Path || !*utf8Path) return false;
    File f(utf8Path);
    if (!f.IsOpen()) return false;
    unsigned char magic[2];
    if (!f.ReadAt(0, magic, 2)) return false;
    uint32_t w = 0, h = 0;
    bool ok = false;
    if (magic[0] == 0xFF && magic[1] == 0xD8)
        ok = JpegSize(f, w, h);
    else if (magic[0] == 0x89 && magic[1] == 'P')
        ok = PngSize(f, w, h);
    if (!ok) return false;
    width = w;
    height = h;
    return true;
}

}  // namespace veldan::projectpicture
