// Byte sources over memory and files for the header readers, whole-file reads
// and atomic file writes.
#include "ByteSource.h"

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace veldan::imaging::detail {

std::string ErrnoText(int err) {
    char buffer[256];
    // GNU strerror_r returns the text (possibly not in buffer).
    return std::string(strerror_r(err, buffer, sizeof buffer));
}

size_t MemorySource::ReadAt(uint64_t offset, void* out, size_t length) const {
    if (offset >= data_.size()) return 0;
    size_t n = std::min<uint64_t>(length, data_.size() - offset);
    std::memcpy(out, data_.data() + offset, n);
    return n;
}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

Status FileSource::Open(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return {ErrorCode::kIoError, "cannot open " + path.string() + ": " + ErrnoText(errno)};
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return {ErrorCode::kIoError, "cannot stat " + path.string() + ": " + ErrnoText(errno)};
    if (!S_ISREG(st.st_mode)) return {ErrorCode::kIoError, path.string() + " is not a regular file"};
    size_ = uint64_t(st.st_size);
    return {};
}

size_t FileSource::ReadAt(uint64_t offset, void* out, size_t length) const {
    size_t done = 0;
    auto* bytes = static_cast<uint8_t*>(out);
    while (done < length) {
        ssize_t n = ::pread(fd_, bytes + done, length - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

Result<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path, uint64_t max_bytes) {
    FileSource file;
    if (Status s = file.Open(path); !s) return s.error();
    if (file.Size() > max_bytes) return Error{ErrorCode::kTooLarge, path.string() + " is too large to read"};
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(file.Size()));
    } catch (...) {
        return Error{ErrorCode::kOutOfMemory, "no memory to read " + path.string()};
    }
    size_t got = file.ReadAt(0, data.data(), data.size());
    if (got != data.size()) {
        // The file shrank while being read or the read failed: use what is
        // there; the decoder reports truncation.
        data.resize(got);
    }
    return data;
}

Status WriteFileAtomic(const std::filesystem::path& path, std::span<const uint8_t> data) {
    // The platform's writer: temporary file in the same folder, fsync,
    // rename over the target, fsync of the folder; the old file survives a
    // failure.
    errno = 0;
    if (!veldan::platform::WriteFileAtomically(path, data.data(), data.size()))
        return {ErrorCode::kIoError, "cannot write " + path.string() + ": " + ErrnoText(errno ? errno : EIO)};
    return {};
}

}  // namespace veldan::imaging::detail
