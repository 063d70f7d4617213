// PtyLine: the master side of a pseudo-terminal in raw mode, with its reader
// and writer threads.
#include "PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace veldan::headsim {

using Clock = std::chrono::steady_clock;

PtyLine::PtyLine(FaultDice& dice, int baud)
    : dice_(dice),
      byteTime_(baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / baud) : std::chrono::nanoseconds(0)) {}

PtyLine::~PtyLine() { Close(); }

std::string PtyLine::SlavePath() const {
    std::lock_guard guard(pathLock_);
    return slavePath_;
}

bool PtyLine::Open(std::string& error) {
    if (open_.load()) return true;
    auto fail = [&](const char* what) {
        error = std::string(what) + ": " + std::strerror(errno);
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
        if (wakeFd_ >= 0) ::close(wakeFd_);
        slave_ = master_ = wakeFd_ = -1;
        return false;
    };
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return fail("cannot open a pseudo-terminal");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("cannot unlock the pseudo-terminal");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) return fail("cannot name the pseudo-terminal");
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return fail("cannot open the terminal side");
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) return fail("cannot read the line settings");
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("cannot set raw mode");
    int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("cannot make the line non-blocking");
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return fail("cannot create an eventfd");
    {
        std::lock_guard guard(pathLock_);
        slavePath_ = name;
    }
    stopping_.store(false);
    open_.store(true);
    return true;
}

void PtyLine::Start(Receiver receiver) {
    if (!open_.load() || reader_.joinable()) return;
    receiver_ = std::move(receiver);
    reader_ = std::thread([this] { ReaderLoop(); });
    writer_ = std::thread([this] { WriterLoop(); });
}

void PtyLine::Close() {
    if (!open_.exchange(false) && !reader_.joinable()) return;
    stopping_.store(true);
    if (wakeFd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
    {
        std::lock_guard guard(queueLock_);
        queue_.clear();
    }
    queueChanged_.notify_all();
    if (reader_.joinable()) reader_.join();
    if (writer_.joinable()) writer_.join();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    slave_ = master_ = wakeFd_ = -1;
    std::lock_guard guard(pathLock_);
    slavePath_.clear();
}

std::vector<uint8_t> PtyLine::Disturb(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size);
    const double drop = dropRate_.load();
    const double noise = noiseRate_.load();
    for (size_t i = 0; i < size; ++i) {
        if (dice_.Chance(drop)) {
            ++bytesDropped_;
            continue;
        }
        uint8_t b = data[i];
        if (dice_.Chance(noise)) {
            uint8_t flipped = dice_.Byte();
            if (flipped == b) flipped ^= 0x01;
            b = flipped;
            ++bytesCorrupted_;
        }
        out.push_back(b);
    }
    return out;
}

bool PtyLine::WaitUntil(Clock::time_point when) {
    while (!stopping_.load()) {
        auto now = Clock::now();
        if (now >= when) return true;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count();
        if (ms <= 0) {
            // Sub-millisecond rest: a short sleep keeps the byte timing.
            std::this_thread::sleep_until(when);
            return !stopping_.load();
        }
        pollfd p{wakeFd_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(ms));
    }
    return false;
}

void PtyLine::ReaderLoop() {
    Clock::time_point lineFreeAt = Clock::now();
    uint8_t buffer[512];
    while (!stopping_.load()) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int r = ::poll(fds, 2, 200);
        if (r < 0 && errno != EINTR) break;
        if (stopping_.load()) break;
        if (r <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            // EIO: no terminal side open at the moment; wait for a client.
            pollfd p{wakeFd_, POLLIN, 0};
            ::poll(&p, 1, 50);
            continue;
        }
        if (n == 0) continue;
        bytesIn_ += static_cast<uint64_t>(n);
        if (byteTime_.count() > 0) {
            // The bytes arrive one after another at the line's speed.
            lineFreeAt = std::max(lineFreeAt, Clock::now()) + byteTime_ * n;
            if (!WaitUntil(lineFreeAt)) break;
        }
        std::vector<uint8_t> bytes = Disturb(buffer, static_cast<size_t>(n));
        if (!bytes.empty() && receiver_) receiver_(bytes.data(), bytes.size());
    }
}

bool PtyLine::WriteAll(const uint8_t* data, size_t size) {
    while (size > 0 && !stopping_.load()) {
        ssize_t n = ::write(master_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            bytesOut_ += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        // Nobody reads the terminal: wait a little for room, then give the
        // bytes up as a real line would lose them.
        pollfd fds[2] = {{master_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, 200) <= 0 || !(fds[0].revents & POLLOUT)) {
            bytesDropped_ += size;
            return false;
        }
    }
    return size == 0;
}

void PtyLine::WriterLoop() {
    Clock::time_point nextSlot = Clock::now();
    for (;;) {
        std::vector<uint8_t> chunk;
        {
            std::unique_lock guard(queueLock_);
            writing_ = false;
            queueChanged_.notify_all();
            queueChanged_.wait(guard, [&] { return stopping_.load() || !queue_.empty(); });
            if (stopping_.load()) return;
            size_t take = byteTime_.count() > 0 ? 1 : queue_.size();
            chunk.assign(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(take));
            queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(take));
            writing_ = true;
        }
        if (byteTime_.count() > 0) {
            nextSlot = std::max(nextSlot, Clock::now());
            if (!WaitUntil(nextSlot)) return;
            nextSlot += byteTime_;
        }
        std::vector<uint8_t> bytes = Disturb(chunk.data(), chunk.size());
        if (!bytes.empty()) WriteAll(bytes.data(), bytes.size());
    }
}

void PtyLine::Send(const std::vector<uint8_t>& bytes) {
    if (!open_.load() || bytes.empty()) return;
    {
        std::lock_guard guard(queueLock_);
        queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    }
    queueChanged_.notify_all();
}

bool PtyLine::WaitSent(std::chrono::milliseconds timeout) {
    std::unique_lock guard(queueLock_);
    return queueChanged_.wait_for(guard, timeout, [&] { return stopping_.load() || (queue_.empty() && !writing_); });
}

}  // namespace veldan::headsim
