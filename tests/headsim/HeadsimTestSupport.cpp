// The virtual-head tests' temporary home, raw terminal client, control-socket
// client and manual tick.
#include "HeadsimTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "platform/Tick.h"

namespace veldan::test {

using namespace veldan::headsim;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TempHome::TempHome() {
    std::random_device rd;
    root_ = fs::temp_directory_path() / ("headsim-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    fs::create_directories(root_ / "Documents");
    fs::create_directories(root_ / "config");
    const std::pair<const char*, fs::path> vars[] = {
        {"HOME", root_}, {"XDG_CONFIG_HOME", root_ / "config"}, {"XDG_DOCUMENTS_DIR", root_ / "Documents"}};
    for (const auto& [name, value] : vars) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }
}

TempHome::~TempHome() {
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    std::error_code ec;
    fs::remove_all(root_, ec);
}

namespace {
std::atomic<uint64_t> g_tick{1'000'000};
uint64_t ManualTickSource() { return g_tick.load(); }
}  // namespace

ManualTick::ManualTick() { veldan::platform::SetTickSource(&ManualTickSource); }
ManualTick::~ManualTick() { veldan::platform::SetTickSource(nullptr); }
void ManualTick::Advance(uint64_t ms) { g_tick += ms; }

RawTerminal::RawTerminal(const fs::path& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
}

RawTerminal::~RawTerminal() {
    if (fd_ >= 0) ::close(fd_);
}

void RawTerminal::SendBytes(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void RawTerminal::SendFrame(uint8_t header, const std::string& payload) {
    std::vector<uint8_t> bytes{header};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    bytes.push_back(0x0D);
    SendBytes(bytes);
}

std::optional<RxFrame> RawTerminal::ReadFrame(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (size_t i = 0; i < pending_.size(); ++i) {
            if (pending_[i] != 0x0D) continue;
            std::optional<size_t> header;
            for (size_t h = i; h-- > 0;) {
                if (pending_[h] & 0x80) {
                    header = h;
                    break;
                }
            }
            if (!header) {
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                i = static_cast<size_t>(-1);
                continue;
            }
            RxFrame frame{pending_[*header], std::string(pending_.begin() + static_cast<std::ptrdiff_t>(*header) + 1,
                                                         pending_.begin() + static_cast<std::ptrdiff_t>(i))};
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return frame;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        uint8_t buffer[256];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return std::nullopt;
        }
        pending_.insert(pending_.end(), buffer, buffer + n);
    }
}

std::vector<uint8_t> RawTerminal::ReadFor(std::chrono::milliseconds time) {
    auto deadline = std::chrono::steady_clock::now() + time;
    std::vector<uint8_t> bytes = std::move(pending_);
    pending_.clear();
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return bytes;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        uint8_t buffer[256];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) return bytes;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

std::vector<RxFrame> RawTerminal::Ask(uint8_t address, const std::string& payload, std::chrono::milliseconds quiet) {
    SendFrame(static_cast<uint8_t>(0xC0 | address), payload);
    std::vector<RxFrame> frames;
    if (auto first = ReadFrame(2000ms))
        frames.push_back(*first);
    else
        return frames;
    while (auto next = ReadFrame(quiet)) frames.push_back(*next);
    return frames;
}

bool RawTerminal::HungUp(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            if (p.revents & (POLLHUP | POLLERR)) return true;
            uint8_t b;
            ssize_t n = ::read(fd_, &b, 1);
            if (n < 0 && errno == EIO) return true;
            if (n == 0) return true;
        }
    }
    return false;
}

ControlClient::ControlClient(const fs::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = socket.string();
    if (path.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

ControlClient::~ControlClient() {
    if (fd_ >= 0) ::close(fd_);
}

std::string ControlClient::Ask(const std::string& line, std::chrono::milliseconds timeout) {
    if (fd_ < 0) return "ERR not connected";
    std::string text = line + "\n";
    if (::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) return "ERR send";
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (auto nl = pending_.find('\n'); nl != std::string::npos) {
            std::string reply = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return reply;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "ERR time-out";
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[1024];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) return "ERR closed";
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

SimOptions SmallHead(const TempHome& home) {
    SimOptions o;
    o.com = 5;
    o.documents = home.Documents();
    o.sceneWidth = 720;
    o.sceneHeight = 360;
    o.camera.captureDir = home.Capture();
    o.camera.lens.width = 150;
    o.camera.lens.height = 100;
    o.clockPaused = true;
    return o;
}

std::string Field(const std::string& reply, const std::string& key) {
    std::string needle = " " + key + "=";
    auto at = reply.find(needle);
    if (at == std::string::npos) return {};
    at += needle.size();
    return reply.substr(at, reply.find(' ', at) - at);
}

}  // namespace veldan::test
