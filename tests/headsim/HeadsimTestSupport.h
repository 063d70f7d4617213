#pragma once
// Helpers of the virtual-head tests: a temporary home, a raw terminal client
// that speaks the bus framing on its own (independent of the simulator's
// decoder), a control-socket client and a hand-driven tick.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HeadSimulator.h"

namespace veldan::test {

// HOME, XDG_CONFIG_HOME and XDG_DOCUMENTS_DIR point into a fresh temporary
// folder for the life of the object.
class TempHome {
public:
    TempHome();
    ~TempHome();
    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path Documents() const { return root_ / "Documents"; }
    std::filesystem::path Capture() const { return root_ / "capture"; }

private:
    std::filesystem::path root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The process-wide tick, moved by hand while an object lives.
class ManualTick {
public:
    ManualTick();
    ~ManualTick();
    void Advance(uint64_t ms);
};

struct RxFrame {
    uint8_t header = 0;
    std::string payload;
};

// The host's end of the line: opens the terminal in raw 19200 8N1 mode.
class RawTerminal {
public:
    explicit RawTerminal(const std::filesystem::path& path);
    ~RawTerminal();
    bool IsOpen() const { return fd_ >= 0; }
    void SendFrame(uint8_t header, const std::string& payload);
    void SendBytes(const std::vector<uint8_t>& bytes);
    // The next frame (CR-terminated, starting at the last byte with bit 7
    // set before the CR), or nothing after the time-out.
    std::optional<RxFrame> ReadFrame(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Everything that arrives within the time.
    std::vector<uint8_t> ReadFor(std::chrono::milliseconds time);
    // Command to an address, then its echo and any answers until the line is
    // quiet for `quiet`.
    std::vector<RxFrame> Ask(uint8_t address, const std::string& payload,
                             std::chrono::milliseconds quiet = std::chrono::milliseconds(150));
    // True when the line hung up (the simulator closed the terminal).
    bool HungUp(std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
    std::vector<uint8_t> pending_;
};

// One connection to the control socket.
class ControlClient {
public:
    explicit ControlClient(const std::filesystem::path& socket);
    ~ControlClient();
    bool IsOpen() const { return fd_ >= 0; }
    std::string Ask(const std::string& line, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

private:
    int fd_ = -1;
    std::string pending_;
};

// Waits (polling) until the condition holds or the time-out passes.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// Options for a simulator in the temporary home: COM5, a small camera, a
// small generated scene, the clock paused.
headsim::SimOptions SmallHead(const TempHome& home);

// The value after "key=" in a reply line.
std::string Field(const std::string& reply, const std::string& key);

}  // namespace veldan::test
