// SerialLine: COM<n> resolution, the raw 19200 8N1 line, reads and writes
// woken by poll and eventfd, port enumeration.
#include "platform/SerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Folders.h"

namespace veldan::platform {

namespace {

std::filesystem::path LinkPath(unsigned comNumber) {
    std::filesystem::path documents = DocumentsFolder();
    if (documents.empty()) return {};
    return documents / "VELDANmodular" / "ports" / ("COM" + std::to_string(comNumber));
}

// Sets raw mode, 19200 8N1, no flow control, CLOCAL; DTR and RTS low.
bool ConfigureLine(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK);
    tio.c_iflag |= IGNBRK;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, B19200) != 0 || cfsetospeed(&tio, B19200) != 0) return false;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;
    // Modem control lines are not used; a pseudo-terminal or a Bluetooth
    // link has none, so a refusal here is not an error.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &lines);
    return true;
}

}  // namespace

std::filesystem::path SerialPortPath(unsigned comNumber) {
    if (comNumber < 1 || comNumber > 255) return {};
    std::filesystem::path link = LinkPath(comNumber);
    std::error_code ec;
    if (!link.empty() && std::filesystem::is_symlink(std::filesystem::symlink_status(link, ec))) return link;
    char name[32];
    if (comNumber <= 32) {
        std::snprintf(name, sizeof name, "/dev/ttyS%u", comNumber - 1);
    } else if (comNumber <= 64) {
        std::snprintf(name, sizeof name, "/dev/ttyUSB%u", comNumber - 33);
    } else if (comNumber <= 80) {
        std::snprintf(name, sizeof name, "/dev/ttyACM%u", comNumber - 65);
    } else if (comNumber <= 99) {
        std::snprintf(name, sizeof name, "/dev/rfcomm%u", comNumber - 81);
    } else {
        return {};
    }
    return name;
}

std::vector<std::string> EnumerateSerialPorts() {
    std::vector<std::string> ports;
    for (unsigned n = 1; n <= 255; ++n) {
        std::filesystem::path path = SerialPortPath(n);
        if (path.empty()) continue;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
        // Only an open descriptor tells whether a character device is a
        // terminal (a ttyS node without hardware behind it fails to open).
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        bool terminal = isatty(fd) == 1;
        ::close(fd);
        if (terminal) ports.push_back("COM" + std::to_string(n));
    }
    return ports;
}

SerialLine::SerialLine() = default;

SerialLine::~SerialLine() { Close(); }

bool SerialLine::Open(unsigned comNumber) {
    std::filesystem::path path = SerialPortPath(comNumber);
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    return OpenPath(path);
}

bool SerialLine::OpenPath(const std::filesystem::path& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    if (isatty(fd) != 1 || !ConfigureLine(fd)) {
        int saved = errno ? errno : ENOTTY;
        ::close(fd);
        errno = saved;
        return false;
    }
    int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    fd_ = fd;
    wakeFd_ = wake;
    interrupted_ = false;
    path_ = path;
    return true;
}

void SerialLine::Interrupt() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    interrupted_ = true;
    uint64_t one = 1;
    // The counter stays non-zero from here on, so every poll returns at once.
    (void)!::write(wakeFd_, &one, sizeof one);
}

void SerialLine::Close() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    interrupted_ = true;
    uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    idle_.wait(lock, [this] { return users_ == 0; });
    ::close(fd_);
    ::close(wakeFd_);
    fd_ = -1;
    wakeFd_ = -1;
    path_.clear();
}

bool SerialLine::IsOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fd_ >= 0 && !interrupted_;
}

bool SerialLine::Enter(bool evenIfInterrupted) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || (interrupted_ && !evenIfInterrupted)) return false;
    ++users_;
    return true;
}

void SerialLine::Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--users_ == 0) idle_.notify_all();
}

ssize_t SerialLine::Read(void* buffer, size_t size, int timeoutMs) {
    return Transfer(Direction::In, buffer, size, timeoutMs);
}

ssize_t SerialLine::Write(const void* data, size_t size, int timeoutMs) {
    return Transfer(Direction::Out, const_cast<void*>(data), size, timeoutMs);
}

ssize_t SerialLine::Transfer(Direction direction, void* buffer, size_t size, int timeoutMs) {
    if (!Enter()) return kSerialClosed;
    // fd_ and wakeFd_ stay valid while this call is counted as a user.
    const int fd = fd_;
    const int wake = wakeFd_;
    ssize_t result = kSerialTimeout;
    if (size == 0) {
        Leave();
        return 0;
    }
    for (;;) {
        ssize_t n = direction == Direction::In ? ::read(fd, buffer, size) : ::write(fd, buffer, size);
        if (n > 0) {
            result = n;
            break;
        }
        if (n == 0 && direction == Direction::In) {
            // End of file on a terminal: the other side hung up.
            result = kSerialGone;
            break;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            result = kSerialGone;
            break;
        }
        pollfd fds[2] = {{fd, static_cast<short>(direction == Direction::In ? POLLIN : POLLOUT), 0}, {wake, POLLIN, 0}};
        int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            result = kSerialGone;
            break;
        }
        if (ready == 0) {
            result = kSerialTimeout;
            break;
        }
        if (fds[1].revents != 0) {
            result = kSerialClosed;
            break;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Bytes that arrived before a hang-up are still delivered.
            if (direction == Direction::In && (fds[0].revents & POLLIN)) {
                n = ::read(fd, buffer, size);
                if (n > 0) {
                    result = n;
                    break;
                }
            }
            result = kSerialGone;
            break;
        }
    }
    Leave();
    return result;
}

bool SerialLine::SetBreak(bool on) {
    // Allowed after Interrupt: a closing port sets the break state while its
    // threads leave.
    if (!Enter(true)) return false;
    bool ok = ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0;
    Leave();
    return ok;
}

bool SerialLine::Flush() {
    if (!Enter()) return false;
    bool ok = ::tcflush(fd_, TCIOFLUSH) == 0;
    Leave();
    return ok;
}

}  // namespace veldan::platform
