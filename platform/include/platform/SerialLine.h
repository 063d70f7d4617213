#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Export.h"

namespace veldan::platform {

// Device path of the serial port COM<n> (n = 1 to 255): the symbolic link
// <documents>/VELDANmodular/ports/COM<n> when it exists, otherwise
// n = 1-32 -> /dev/ttyS<n-1>, 33-64 -> /dev/ttyUSB<n-33>,
// 65-80 -> /dev/ttyACM<n-65>, 81-99 -> /dev/rfcomm<n-81>.
// Empty for a number outside 1..255 or without a mapping.
VELDAN_API std::filesystem::path SerialPortPath(unsigned comNumber);

// "COM%d" for every n whose resolved path exists and is a terminal device,
// in ascending order.
VELDAN_API std::vector<std::string> EnumerateSerialPorts();

// Result of a blocking read or write on a serial line.
enum : ssize_t {
    kSerialClosed = 0,    // the line was closed (Close or Interrupt) while waiting
    kSerialGone = -1,     // the line vanished: hang-up, device removed, I/O error
    kSerialTimeout = -2,  // the time-out passed before anything could be done
};

// One serial line in raw mode, 19200 baud, 8 data bits, no parity, one stop
// bit, no flow control, modem lines ignored (CLOCAL). Read and Write block
// the calling thread until they can make progress and may run on two
// threads at once; Close (or Interrupt) from any third thread wakes both at
// once and makes them return kSerialClosed. Close waits until no call is
// inside the line any more before it releases the descriptor, so a blocked
// thread never touches a closed or reused file descriptor.
class VELDAN_API SerialLine {
public:
    SerialLine();
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens COM<n> as resolved by SerialPortPath. False (errno set) when the
    // path cannot be opened, is no terminal, or refuses the line settings.
    bool Open(unsigned comNumber);
    // Opens this device path with the same settings.
    bool OpenPath(const std::filesystem::path& path);
    // Wakes every blocked call, waits until they have left and releases the
    // line. Safe to call when closed and from any thread except one that is
    // itself inside Read or Write.
    void Close();
    // Wakes every blocked call and refuses new ones (kSerialClosed) but keeps
    // the descriptor until Close.
    void Interrupt();
    bool IsOpen() const;
    const std::filesystem::path& Path() const { return path_; }

    // Reads up to size bytes: > 0 the count read; kSerialClosed, kSerialGone,
    // or kSerialTimeout when timeoutMs (negative: no limit) passed first.
    ssize_t Read(void* buffer, size_t size, int timeoutMs = -1);
    // Writes up to size bytes (at least one when it returns > 0); same
    // results as Read.
    ssize_t Write(const void* data, size_t size, int timeoutMs = -1);

    // Puts the line into the break state (on) or takes it out of it; also
    // works between Interrupt and Close.
    bool SetBreak(bool on);
    // Discards bytes received and not yet read, and bytes not yet sent.
    bool Flush();

private:
    enum class Direction { In, Out };
    ssize_t Transfer(Direction direction, void* buffer, size_t size, int timeoutMs);
    bool Enter(bool evenIfInterrupted = false);
    void Leave();

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int fd_ = -1;
    int wakeFd_ = -1;
    int users_ = 0;
    bool interrupted_ = false;
    std::filesystem::path path_;
};

}  // namespace veldan::platform
