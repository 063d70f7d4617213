// The built-in output functions of a handle: console writer, log-file writer
// and their shared wide-text formatting.
#include "OutputWriters.h"

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <vector>

#include "platform/Text.h"

namespace veldan::control {

using platform::ToUtf8;

namespace {
// Serialises the writers so that lines from the runner thread and the
// caller's thread are not interleaved inside one piece of text.
std::mutex& WriterMutex() {
    static std::mutex m;
    return m;
}
}  // namespace

std::wstring FormatWide(const wchar_t* format, va_list args) {
    if (!format) return {};
    std::vector<wchar_t> buffer(256);
    // vswprintf reports both "too small" and "bad format" as -1; grow up to a
    // bound and then give up with the bare format.
    while (buffer.size() <= (1u << 20)) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n >= 0) return std::wstring(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 4);
    }
    return format;
}

void WriteToStandardOutput(const std::wstring& text) {
    std::string utf8 = ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int ConsoleWriter(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    std::lock_guard lock(WriterMutex());
    WriteToStandardOutput(text);
    return static_cast<int>(text.size());
}

int LogFileWriter(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    std::string utf8 = ToUtf8(text);
    std::lock_guard lock(WriterMutex());
    if (std::FILE* f = std::fopen(kLogFileName, "a+")) {
        std::fwrite(utf8.data(), 1, utf8.size(), f);
        std::fclose(f);
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
    return static_cast<int>(text.size());
}

bool LogFileRequested() {
    std::FILE* f = std::fopen(kLogFileName, "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

}  // namespace veldan::control
