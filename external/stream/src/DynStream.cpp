// Thread-safe file streams: whole-line appends, atomic replacement for "w".
#include "stream/DynStream.h"

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace {

enum class Kind { Read, Append, Replace };

// A thread's unfinished line is written anyway once it grows this long, so
// that a writer that never ends its line cannot hold unbounded memory.
constexpr size_t kMaxPendingLine = 64 * 1024;

// Wide text (UTF-32) to UTF-8. A path with a code point that UTF-8 cannot
// carry is refused rather than mangled into the name of another file.
bool WideToUtf8(const wchar_t* text, std::string& out) {
    out.clear();
    for (const wchar_t* p = text; *p; ++p) {
        auto c = static_cast<uint32_t>(*p);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) return false;
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c <= 0x10FFFF) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

bool ParseMode(const char* mode, Kind& kind, bool& alsoRead) {
    if (!mode || !*mode) return false;
    std::string m;
    for (const char* p = mode; *p; ++p)
        if (*p != 'b' && *p != 't') m += *p;  // binary and text are the same here
    alsoRead = false;
    if (m == "r")
        kind = Kind::Read;
    else if (m == "w")
        kind = Kind::Replace;
    else if (m == "a")
        kind = Kind::Append;
    else if (m == "a+") {
        kind = Kind::Append;
        alsoRead = true;
    } else
        return false;
    return true;
}

}  // namespace

struct DynStream {
    std::mutex mutex;
    Kind kind = Kind::Read;
    FILE* file = nullptr;                                         // Read and Append streams
    std::unique_ptr<veldan::platform::AtomicFileWriter> replace;  // Replace streams
    std::string buffer;                                           // Replace: bytes not yet handed to the writer
    std::string path;                                             // as given (UTF-8)
    bool failed = false;                                          // a write failed: a Replace stream is not committed
    bool committed = false;   // Replace: the target has been replaced (or the attempt failed)
    bool readFailed = false;  // a read on a stream not open for reading
    std::unordered_map<std::thread::id, std::string> pending;

    static constexpr size_t kReplaceBuffer = 64 * 1024;

    bool IsOpen() const { return file != nullptr || replace != nullptr; }

    bool Drain() {
        if (buffer.empty()) return !failed;
        bool ok = replace->Write(buffer.data(), buffer.size());
        buffer.clear();
        if (!ok) failed = true;
        return ok;
    }

    // Writes bytes to the file; marks the stream failed on a short write.
    bool Put(const char* data, size_t size) {
        if (size == 0) return !failed;
        if (!IsOpen() || committed || kind == Kind::Read) {
            failed = true;
            return false;
        }
        if (kind == Kind::Replace) {
            if (failed) return false;
            buffer.append(data, size);
            return buffer.size() < kReplaceBuffer || Drain();
        }
        if (std::fwrite(data, 1, size, file) != size) {
            failed = true;
            return false;
        }
        return true;
    }

    // Appends text of the calling thread; whole lines go out at once.
    bool Write(const char* data, size_t size) {
        // Refused writes after a commit do not spoil the committed file.
        if (committed) return false;
        if (kind == Kind::Read || !IsOpen()) {
            failed = true;
            return false;
        }
        auto it = pending.find(std::this_thread::get_id());
        const void* lf = std::memchr(data, '\n', size);
        if (it == pending.end()) {
            if (!lf && size < kMaxPendingLine) {
                if (size) pending.emplace(std::this_thread::get_id(), std::string(data, size));
                return !failed;
            }
            // Nothing pending: write up to the last line feed directly.
            size_t cut = size;
            if (size < kMaxPendingLine) {
                const char* last = static_cast<const char*>(lf);
                for (const char* p = data + size; p-- > last;)
                    if (*p == '\n') {
                        last = p;
                        break;
                    }
                cut = static_cast<size_t>(last - data) + 1;
            }
            bool ok = Put(data, cut);
            if (cut < size) pending.emplace(std::this_thread::get_id(), std::string(data + cut, size - cut));
            return ok;
        }
        std::string& line = it->second;
        line.append(data, size);
        size_t cut = line.size() >= kMaxPendingLine ? line.size() : line.rfind('\n');
        if (cut == std::string::npos) return !failed;
        if (cut != line.size()) ++cut;
        bool ok = Put(line.data(), cut);
        line.erase(0, cut);
        if (line.empty()) pending.erase(it);
        return ok;
    }

    bool FlushThread() {
        auto it = pending.find(std::this_thread::get_id());
        bool ok = true;
        if (it != pending.end()) {
            ok = Put(it->second.data(), it->second.size());
            pending.erase(it);
        }
        return ok;
    }

    bool FlushAll() {
        bool ok = true;
        for (auto& [id, line] : pending) ok = Put(line.data(), line.size()) && ok;
        pending.clear();
        return ok;
    }

    // Hands everything to the system (no sync).
    bool Flush() {
        if (kind == Kind::Replace) return Drain();
        return std::fflush(file) == 0 && !failed;
    }

    // Replace streams: everything written, fsync, rename over the target,
    // fsync of the folder (veldan::platform::AtomicFileWriter).
    bool Commit() {
        if (committed) return !failed;
        bool ok = FlushAll() && Drain() && !failed;
        if (ok) {
            ok = replace->Commit();
        } else {
            int saved = errno;
            replace->Abandon();
            errno = saved;
        }
        committed = true;  // nothing more goes into this stream
        if (!ok) failed = true;
        return ok;
    }
};

namespace {

DynStream* OpenReplace(std::string path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        errno = EISDIR;
        return nullptr;
    }
    auto stream = std::make_unique<DynStream>();
    stream->kind = Kind::Replace;
    stream->path = path;
    stream->replace = std::make_unique<veldan::platform::AtomicFileWriter>(path);
    if (!stream->replace->IsOpen()) return nullptr;  // errno from the writer
    return stream.release();                         // owned by the caller until dyn_fclose
}

}  // namespace

DynStream* dyn_fopen(const char* utf8Path, const char* mode) {
    Kind kind;
    bool alsoRead;
    if (!utf8Path || !*utf8Path || !ParseMode(mode, kind, alsoRead)) {
        errno = EINVAL;
        return nullptr;
    }
    if (kind == Kind::Replace) return OpenReplace(utf8Path);
    FILE* file = std::fopen(utf8Path, kind == Kind::Read ? "re" : (alsoRead ? "a+e" : "ae"));
    if (!file) return nullptr;
    struct stat st {};
    if (::fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    auto stream = std::make_unique<DynStream>();
    stream->kind = kind;
    stream->file = file;
    stream->path = utf8Path;
    return stream.release();  // owned by the caller until dyn_fclose
}

DynStream* dyn_wfopen(const wchar_t* path, const char* mode) {
    if (!path) {
        errno = EINVAL;
        return nullptr;
    }
    std::string narrow;
    if (!WideToUtf8(path, narrow)) {
        errno = EILSEQ;
        return nullptr;
    }
    return dyn_fopen(narrow.c_str(), mode);
}

DynStream* dyn_wfopen(const wchar_t* path, const wchar_t* mode) {
    if (!mode) {
        errno = EINVAL;
        return nullptr;
    }
    std::string narrowMode;
    for (const wchar_t* p = mode; *p; ++p) {
        if (*p > 0x7F) {
            errno = EINVAL;
            return nullptr;
        }
        narrowMode += static_cast<char>(*p);
    }
    return dyn_wfopen(path, narrowMode.c_str());
}

int dyn_fclose(DynStream* stream) {
    if (!stream) return EOF;
    bool ok;
    {
        std::lock_guard lock(stream->mutex);
        if (stream->kind == Kind::Replace) {
            ok = stream->Commit();
            stream->replace.reset();
        } else {
            ok = stream->FlushAll();
            ok = (std::fclose(stream->file) == 0) && ok && !stream->failed;
            stream->file = nullptr;
        }
    }
    delete stream;  // the handle ends here
    return ok ? 0 : EOF;
}

int dyn_vfprintf(DynStream* stream, const char* format, va_list args) {
    if (!stream || !format) return -1;
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return -1;
    std::string big;
    const char* text = small;
    if (static_cast<size_t>(n) >= sizeof small) {
        big.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), format, args);
        text = big.data();
    }
    std::lock_guard lock(stream->mutex);
    return stream->Write(text, static_cast<size_t>(n)) ? n : -1;
}

int dyn_fprintf(DynStream* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = dyn_vfprintf(stream, format, args);
    va_end(args);
    return n;
}

int dyn_fputs(const char* text, DynStream* stream) {
    if (!stream || !text) return EOF;
    std::lock_guard lock(stream->mutex);
    return stream->Write(text, std::strlen(text)) ? 1 : EOF;
}

size_t dyn_fwrite(const void* data, size_t size, size_t count, DynStream* stream) {
    if (!stream || !data || size == 0 || count == 0) return 0;
    if (count > SIZE_MAX / size) return 0;
    std::lock_guard lock(stream->mutex);
    return stream->Write(static_cast<const char*>(data), size * count) ? count : 0;
}

int dyn_fflush(DynStream* stream) {
    if (!stream) return EOF;
    std::lock_guard lock(stream->mutex);
    if (!stream->IsOpen()) return EOF;
    if (stream->kind == Kind::Read) return 0;
    if (stream->committed) return stream->failed ? EOF : 0;
    bool ok = stream->FlushThread();
    ok = stream->Flush() && ok;
    return ok ? 0 : EOF;
}

int dyn_fcommit(DynStream* stream) {
    if (!stream) return EOF;
    std::lock_guard lock(stream->mutex);
    if (!stream->IsOpen()) return EOF;
    if (stream->kind == Kind::Replace) return stream->Commit() ? 0 : EOF;
    if (stream->kind == Kind::Read) return 0;
    bool ok = stream->FlushAll();
    ok = stream->Flush() && ok;
    ok = ok && ::fsync(fileno(stream->file)) == 0;
    return ok ? 0 : EOF;
}

size_t dyn_fread(void* data, size_t size, size_t count, DynStream* stream) {
    if (!stream || !data) return 0;
    std::lock_guard lock(stream->mutex);
    if (!stream->file || stream->kind == Kind::Replace) {
        stream->readFailed = true;
        return 0;
    }
    if (stream->kind == Kind::Append) {
        // Reading an "a+" stream: what this stream wrote comes first.
        stream->FlushAll();
        std::fflush(stream->file);
    }
    return std::fread(data, size, count, stream->file);
}

char* dyn_fgets(char* buffer, int size, DynStream* stream) {
    if (!stream || !buffer || size <= 0) return nullptr;
    std::lock_guard lock(stream->mutex);
    if (!stream->file || stream->kind == Kind::Replace) {
        stream->readFailed = true;
        return nullptr;
    }
    return std::fgets(buffer, size, stream->file);
}

int dyn_feof(DynStream* stream) {
    if (!stream) return 1;
    std::lock_guard lock(stream->mutex);
    if (stream->kind == Kind::Replace) return 0;
    return stream->file ? std::feof(stream->file) : 1;
}

int dyn_ferror(DynStream* stream) {
    if (!stream) return 1;
    std::lock_guard lock(stream->mutex);
    if (stream->failed || stream->readFailed) return 1;
    if (stream->kind == Kind::Replace) return 0;
    return (!stream->file || std::ferror(stream->file)) ? 1 : 0;
}

const char* dyn_fpath(DynStream* stream) { return stream ? stream->path.c_str() : nullptr; }
