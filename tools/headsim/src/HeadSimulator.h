#pragma once
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "ControlSocket.h"
#include "FaultDice.h"
#include "Frame.h"
#include "HeadBus.h"
#include "PortLink.h"
#include "PtyLine.h"
#include "SimClock.h"
#include "VirtualCamera.h"

namespace veldan::headsim {

struct SimOptions {
    int com = 0;                      // COM number of the link, 1..255
    std::filesystem::path documents;  // documents folder; empty: the user's (platform)
    std::filesystem::path panorama;   // source picture; empty: the generated test scene
    int sceneWidth = 3600;            // size of the generated scene
    int sceneHeight = 1800;
    CameraConfig camera;
    HeadConfig head;
    int shutterRelay = 1;          // relay of the control module wired to the shutter
    int focusRelay = 0;            // relay wired to the focus (pre-shot) contact
    int baud = 0;                  // 0: no byte timing
    std::filesystem::path socket;  // empty: <documents>/VELDANmodular/headsim.sock
    double timeScale = 1.0;
    bool clockPaused = false;
    uint64_t seed = 1;
};

// The whole virtual head: the terminal and its link, the bus modules behind
// it, the camera on the shutter relay and the control socket.
class HeadSimulator {
public:
    explicit HeadSimulator(SimOptions options);
    ~HeadSimulator();
    HeadSimulator(const HeadSimulator&) = delete;
    HeadSimulator& operator=(const HeadSimulator&) = delete;

    // Loads or makes the source panorama, opens the terminal, links it and
    // opens the control socket. False with a message on any failure (nothing
    // is left behind then).
    bool Start(std::string& error);
    // Closes everything and removes the link and the socket.
    void Stop();

    std::string SlavePath() const { return line_.SlavePath(); }
    std::filesystem::path LinkPath() const;
    std::filesystem::path SocketPath() const { return socketPath_; }

    // A line command of the control socket (see docs/headsim.md); the reply line.
    std::string HandleCommand(const std::string& line);

    // The terminal disappears (as a USB adapter pulled out) and comes back.
    void Vanish();
    bool Restore(std::string& error);
    bool Vanished() const { return vanished_.load(); }

    SimClock& Clock() { return clock_; }
    HeadBus& Bus() { return *bus_; }
    VirtualCamera& Camera() { return *camera_; }
    PtyLine& Line() { return line_; }
    const SimOptions& Options() const { return options_; }

    // Presses the shutter as the relay or tethering software does.
    uint64_t PressShutter();

private:
    void OnBytes(const uint8_t* data, size_t size);
    bool OpenLine(std::string& error);
    std::string FaultCommand(const std::string& args);
    std::string CameraCommand(const std::string& args);
    std::string ClockCommand(const std::string& args);
    std::string StateLine();
    std::string FaultsLine();

    SimOptions options_;
    std::filesystem::path documents_;
    std::filesystem::path socketPath_;
    SimClock clock_;
    FaultDice dice_;
    std::unique_ptr<HeadBus> bus_;
    std::unique_ptr<VirtualCamera> camera_;
    PtyLine line_;
    PortLink link_;
    ControlSocket socket_;
    FrameDecoder decoder_;  // used by the line's reader thread only
    std::mutex lineLock_;   // vanish and restore
    std::atomic<bool> vanished_{false};
    std::mutex faultLock_;
    std::set<uint8_t> errorModules_;
    bool started_ = false;
};

}  // namespace veldan::headsim
