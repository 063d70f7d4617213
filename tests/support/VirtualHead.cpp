// VirtualHead: the virtual head as a child process on a pseudo-terminal linked
// as COM<n>, with its control socket.
#include "VirtualHead.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>

extern char** environ;

namespace veldan::test {

std::string StandardHeadSettings(int com) {
    return "port = " + std::to_string(com) +
           "\n"
           "max_device_id = 2\n"
           "horizontal_drive = 0\n"
           "vertical_drive = 1\n"
           "control_module = 2\n"
           "shutter_module = 2\n"
           "shutter_relay = 1\n"
           "preshot_module = 2\n"
           "preshot_relay = 0\n"
           "battery_empty = 10.5\n"
           "battery_full = 12.6\n";
}

std::vector<std::string> StandardHeadOptions(const std::vector<std::string>& extra) {
    std::vector<std::string> options = {"--h-addr",     "0",  "--v-addr",  "1",    "--ctrl-addr", "2",
                                        "--time-scale", "10", "--voltage", "11.55"};
    options.insert(options.end(), extra.begin(), extra.end());
    return options;
}

namespace {

std::vector<char*> Argv(const std::filesystem::path& program, const std::vector<std::string>& args,
                        std::vector<std::string>& storage) {
    storage.clear();
    storage.push_back(program.string());
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

// Reads from fd until `needle` appears or the time-out passes.
bool ReadUntil(int fd, const std::string& needle, std::string& text, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[512];
    while (text.find(needle) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        text.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

std::filesystem::path VirtualHead::Program() {
    std::filesystem::path p = VELDAN_HEADSIM_PATH;
    return std::filesystem::exists(p) ? p : std::filesystem::path();
}

VirtualHead::~VirtualHead() { Stop(); }

bool VirtualHead::Start(int com, const std::filesystem::path& documents, const std::vector<std::string>& options,
                        std::string& error) {
    socket_ = documents / "headsim.sock";
    std::vector<std::string> args = {"--com",    std::to_string(com), "--documents", documents.string(),
                                     "--socket", socket_.string()};
    args.insert(args.end(), options.begin(), options.end());
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        error = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> storage;
    std::vector<char*> argv = Argv(Program(), args, storage);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    stdoutFd_ = pipeFds[0];
    if (rc != 0) {
        pid_ = -1;
        error = std::string("cannot start the virtual head: ") + std::strerror(rc);
        return false;
    }
    std::string text;
    if (!ReadUntil(stdoutFd_, " ready\n", text, 20000)) {
        error = "the virtual head did not report ready: " + text;
        Stop();
        return false;
    }
    return true;
}

void VirtualHead::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (stdoutFd_ >= 0) {
        close(stdoutFd_);
        stdoutFd_ = -1;
    }
}

std::string VirtualHead::Command(const std::string& command) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return "";
    }
    const std::string line = command + "\n";
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        close(fd);
        return "";
    }
    std::string reply;
    ReadUntil(fd, "\n", reply, 10000);
    close(fd);
    if (!reply.empty() && reply.back() == '\n') reply.pop_back();
    return reply;
}

std::string VirtualHead::StateValue(const std::string& key) {
    std::istringstream words(Command("state"));
    std::string word;
    while (words >> word)
        if (word.rfind(key + "=", 0) == 0) return word.substr(key.size() + 1);
    return "";
}

bool VirtualHead::Angles(double& horizontal, double& vertical) {
    std::istringstream words(Command("angles"));
    std::string ok;
    return static_cast<bool>(words >> ok >> horizontal >> vertical) && ok == "OK";
}

int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args, std::string& output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> storage;
    std::vector<char*> argv = Argv(program, args, storage);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        return -1;
    }
    char buffer[1024];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace veldan::test
