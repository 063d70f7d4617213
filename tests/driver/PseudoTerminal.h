#pragma once
// A pseudo-terminal pair for tests: the driver opens the slave side through a
// COM<n> link, the test speaks on the master side. The test also keeps one
// slave descriptor open (never read) so that the master never sees a hang-up
// merely because the driver closed its side.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace veldan::test {

class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        slaveName_ = ptsname(master_);
        keeper_ = ::open(slaveName_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (keeper_ < 0) std::abort();
        termios tio{};
        tcgetattr(keeper_, &tio);
        cfmakeraw(&tio);
        tcsetattr(keeper_, TCSANOW, &tio);
        int flags = fcntl(master_, F_GETFL);
        fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    }
    ~PseudoTerminal() {
        CloseMaster();
        if (keeper_ >= 0) ::close(keeper_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlaveName() const { return slaveName_; }
    int Master() const { return master_; }
    int Keeper() const { return keeper_; }
    // Hangs the line up for the driver's side.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void CloseKeeper() {
        if (keeper_ >= 0) ::close(keeper_);
        keeper_ = -1;
    }

    bool Write(const std::vector<uint8_t>& bytes) const { return Write(bytes.data(), bytes.size()); }
    bool Write(const std::string& bytes) const { return Write(bytes.data(), bytes.size()); }
    bool Write(const void* data, size_t size) const {
        const auto* p = static_cast<const uint8_t*>(data);
        while (size > 0) {
            ssize_t n = ::write(master_, p, size);
            if (n > 0) {
                p += n;
                size -= static_cast<size_t>(n);
                continue;
            }
            pollfd fd{master_, POLLOUT, 0};
            if (::poll(&fd, 1, 1000) <= 0) return false;
        }
        return true;
    }
    // Reads what arrives until count bytes came or the time-out passed.
    std::vector<uint8_t> Read(size_t count, int timeoutMs) const {
        std::vector<uint8_t> out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
            if (left <= 0) break;
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, left) <= 0) break;
            uint8_t buffer[512];
            ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
            if (n > 0) out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

private:
    int master_ = -1;
    int keeper_ = -1;
    std::string slaveName_;
};

}  // namespace veldan::test
