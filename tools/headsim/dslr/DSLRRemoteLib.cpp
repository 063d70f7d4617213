// Stand-in for Breeze Systems' DSLR Remote Pro library: fires the virtual
// head's camera through the simulator's control socket.
//
// The socket is named by the environment variable VELDAN_HEADSIM_SOCKET,
// else <documents>/VELDANmodular/headsim.sock (the simulator's default).
//
// Results (those of the vendor's library):
//   0  camera ready / picture taken
//   1  DSLR Remote Pro not running (no simulator answers on the socket)
//   2  camera disconnected
//   3  camera busy
//   4  (ReleaseShutter) no picture arrived within the time-out
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Export.h"
#include "platform/Folders.h"

namespace {

constexpr int kReady = 0;
constexpr int kNotRunning = 1;
constexpr int kDisconnected = 2;
constexpr int kBusy = 3;
constexpr int kTimeout = 4;

std::string SocketPath() {
    if (const char* path = std::getenv("VELDAN_HEADSIM_SOCKET"); path && *path) return path;
    std::filesystem::path documents = veldan::platform::DocumentsFolder();
    if (documents.empty()) return {};
    return (documents / "VELDANmodular" / "headsim.sock").string();
}

// One request, one reply line. False when no simulator answers in time.
bool Ask(const std::string& request, int timeoutMs, std::string& reply) {
    const std::string path = SocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    const std::string line = request + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    reply.clear();
    char buffer[512];
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        reply.append(buffer, static_cast<size_t>(n));
        if (auto newline = reply.find('\n'); newline != std::string::npos) {
            reply.resize(newline);
            return true;
        }
        if (reply.size() > 8192) return false;
    }
}

// "ERR <code> ..." carries one of the result codes.
int ErrorCode(const std::string& reply) {
    if (reply.size() > 4 && reply.compare(0, 4, "ERR ") == 0) {
        int code = std::atoi(reply.c_str() + 4);
        if (code >= kDisconnected && code <= kTimeout) return code;
    }
    return kNotRunning;
}

}  // namespace

VELDAN_C_API int PingCamera(void) {
    std::string reply;
    if (!Ask("camera ping", 5000, reply)) return kNotRunning;
    if (reply.size() > 3 && reply.compare(0, 3, "OK ") == 0) {
        int state = std::atoi(reply.c_str() + 3);
        if (state == kReady || state == kDisconnected || state == kBusy) return state;
    }
    return ErrorCode(reply);
}

// Takes a picture and waits up to timeoutSeconds for its file. The full path
// of the (last) file is copied into fileName when a buffer is given,
// truncated to fileNameSize − 1 bytes and always terminated.
VELDAN_C_API int ReleaseShutter(int timeoutSeconds, char* fileName, int fileNameSize) {
    if (fileName && fileNameSize > 0) fileName[0] = '\0';
    if (timeoutSeconds < 0) timeoutSeconds = 0;
    std::string reply;
    // The socket answers after the camera's own time-out; allow a margin.
    if (!Ask("camera release " + std::to_string(timeoutSeconds), timeoutSeconds * 1000 + 5000, reply))
        return kNotRunning;
    if (reply.size() < 3 || reply.compare(0, 3, "OK ") != 0) return ErrorCode(reply);
    if (fileName && fileNameSize > 0) {
        const std::string name = reply.substr(3);
        size_t n = std::min(name.size(), static_cast<size_t>(fileNameSize - 1));
        std::memcpy(fileName, name.data(), n);
        fileName[n] = '\0';
    }
    return kReady;
}
