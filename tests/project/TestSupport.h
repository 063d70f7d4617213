#pragma once
// Helpers shared by the project library's tests.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace veldan::test {

// Waits until the condition holds; false after a generous safety limit (a
// test then fails instead of hanging). Never a fixed sleep.
inline bool Await(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

// A temporary folder that also serves as HOME and the XDG folders.
class TempHome {
public:
    TempHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veldan-project-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        dir_ = made ? std::filesystem::path(made) : std::filesystem::temp_directory_path();
        setenv("HOME", dir_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / ".config").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", (dir_ / "Documents").c_str(), 1);
    }
    ~TempHome() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& Dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace veldan::test
