#pragma once
// The device side of the bus for tests: a few modules behind the master side
// of a pseudo-terminal, answering the command table with echo. Drives move
// towards their target by a fixed number of steps per position query, so a
// move takes a few polls; faults (mute modules, lost echoes) are switched on
// per module.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"

namespace veldan::test {

struct SimModule {
    std::string identity;
    bool isDrive = false;
    bool isControl = false;
    bool echo = true;
    bool mute = false;  // hears everything, says nothing
    int64_t raw = 0;    // device position counter
    int64_t target = 0;
    int64_t setPoint = 0;  // last "S" value
    int64_t stepsPerQuery = 1000;
    int voltageHundredths = 1234;
    bool relays[10] = {};
    std::string dropEchoOf;  // echoes of this command are lost ...
    int dropEchoes = 0;      // ... this many times
    std::vector<std::string> received;
    std::vector<std::chrono::steady_clock::time_point> receivedAt;

    static SimModule Drive(std::string id) {
        SimModule m;
        m.identity = std::move(id);
        m.isDrive = true;
        return m;
    }
    static SimModule Control(std::string id) {
        SimModule m;
        m.identity = std::move(id);
        m.isControl = true;
        return m;
    }
};

class HeadResponder {
public:
    explicit HeadResponder(PseudoTerminal& pty);
    ~HeadResponder();
    HeadResponder(const HeadResponder&) = delete;
    HeadResponder& operator=(const HeadResponder&) = delete;

    void Add(uint8_t address, SimModule module);
    // Runs fn on the module under the responder's lock.
    void With(uint8_t address, const std::function<void(SimModule&)>& fn);
    std::vector<std::string> Received(uint8_t address);
    size_t CountReceived(uint8_t address, const std::string& text);
    // Waits until the predicate over the modules holds.
    bool WaitFor(const std::function<bool(std::map<uint8_t, SimModule>&)>& predicate, int timeoutMs = 10000);
    // Ends the responder thread (before the test closes the master side).
    void Stop();
    // Emulates the byte timing of a line at this baud rate (0: as fast as
    // the terminal goes): a frame is handled only after it could have
    // arrived, and each reply takes its time on the line.
    void SetBaud(int baud) { baud_ = baud; }
    // Bytes received and sent by the modules so far.
    uint64_t BytesOnLine() const { return bytesOnLine_.load(); }

private:
    void Run();
    void Handle(uint8_t header, const std::string& text);
    void Reply(uint8_t address, const std::string& text);

    PseudoTerminal& pty_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<uint8_t, SimModule> modules_;
    std::atomic<int> baud_{0};
    std::atomic<uint64_t> bytesOnLine_{0};
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace veldan::test
