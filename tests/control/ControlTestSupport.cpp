// The control tests' temporary home, captured output lines and program folder.
#include "ControlTestSupport.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/Text.h"

namespace veldan::test {

namespace {
std::mutex g_mutex;
std::condition_variable g_changed;
std::wstring g_text;
}  // namespace

std::wstring Captured() {
    std::lock_guard lock(g_mutex);
    return g_text;
}

void ClearCaptured() {
    std::lock_guard lock(g_mutex);
    g_text.clear();
}

int CaptureOutput(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(4096);
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n < 0) n = 0;
    {
        std::lock_guard lock(g_mutex);
        g_text.append(buffer.data(), static_cast<size_t>(n));
    }
    g_changed.notify_all();
    return n;
}

bool AwaitCaptured(const std::wstring& needle, unsigned timeoutMs) {
    std::unique_lock lock(g_mutex);
    return g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return g_text.find(needle) != std::wstring::npos; });
}

TempHome::TempHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veldan-control-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    std::filesystem::create_directories(Documents());
    std::filesystem::create_directories(SystemFolder());
    std::filesystem::create_directories(CurrentFolder());
    std::filesystem::create_directories(root_ / ".config");
    setenv("HOME", root_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / ".config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", Documents().c_str(), 1);
    setenv("VELDAN_DATA_DIR", SystemFolder().c_str(), 1);
    previousCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(CurrentFolder());
    ClearCaptured();
}

TempHome::~TempHome() {
    std::error_code ec;
    std::filesystem::current_path(previousCwd_, ec);
    std::filesystem::remove_all(root_, ec);
}

void TempHome::Write(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string TempHome::Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::wstring Wide(const std::filesystem::path& path) { return veldan::platform::FromUtf8(path.string()); }

std::filesystem::path ProgramFolder() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

}  // namespace veldan::test
