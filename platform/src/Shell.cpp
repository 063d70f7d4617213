// ShellOpen: opening a file with the desktop's default program through
// xdg-open.
#include "platform/Shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace veldan::platform {

namespace {

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

bool ShellOpen(const std::filesystem::path& file, std::string* error, uint32_t waitMs) {
    std::string program = "xdg-open";
    std::string argument = file.string();
    // A name starting with '-' would be read as an option.
    if (!argument.empty() && argument.front() == '-') argument = "./" + argument;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (rc != 0) {
        SetError(error, "cannot start xdg-open: " + std::string(std::strerror(rc)));
        return false;
    }
    // xdg-open usually hands the file to the program and ends at once; poll
    // for its end briefly, then let a waiter thread collect it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
            SetError(error, "xdg-open could not open " + file.string() +
                                (WIFEXITED(status) ? " (exit code " + std::to_string(WEXITSTATUS(status)) + ")" : ""));
            return false;
        }
        if (done < 0 && errno != EINTR) {
            SetError(error, "cannot wait for xdg-open: " + std::string(std::strerror(errno)));
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    // Still running (the program it started keeps it waiting): success. The
    // waiter owns nothing but the process id.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }).detach();
    return true;
}

}  // namespace veldan::platform
