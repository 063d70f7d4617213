#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ControlModule.h"
#include "DriveModule.h"
#include "FaultDice.h"
#include "Frame.h"
#include "SimClock.h"

namespace veldan::headsim {

struct HeadConfig {
    DriveConfig horizontal{1, "47.210-3300"};
    DriveConfig vertical{2, "47.210-3300/1"};
    ControlConfig control{};
};

// The modules of the head on one bus, with the module-level faults (a mute
// module, a module in error, lost echoes). Frames come in from the line and
// the answers go back out; all module state is guarded by one lock, as the
// modules share one line. Thread-safe.
class HeadBus {
public:
    // Fails (throws std::invalid_argument) when two modules share an address
    // or an address lies outside 0..31.
    HeadBus(const HeadConfig& config, SimClock& clock, FaultDice& dice);

    struct Result {
        std::vector<std::vector<uint8_t>> frames;  // encoded frames to send, in order
        std::vector<RelayChange> relays;
    };
    // Handles one frame received from the line.
    Result Receive(const Frame& frame);

    struct Angles {
        double horizontal = 0.0;
        double vertical = 0.0;
    };
    Angles AnglesNow();
    // Drive state by address; false when there is no drive there.
    bool DriveStateNow(uint8_t address, DriveState& state);
    std::array<bool, ControlModule::kRelayCount> Relays();
    double Voltage();
    void SetVoltage(double volts);
    bool HasModule(uint8_t address);

    // Faults. A mute module neither carries out nor answers anything.
    bool SetMuted(uint8_t address, bool muted);
    bool SetModuleError(uint8_t address, bool error);
    void SetEchoLossRate(double rate) { echoLossRate_.store(rate); }
    double EchoLossRate() const { return echoLossRate_.load(); }
    std::vector<uint8_t> MutedModules();

    uint64_t FramesReceived() const { return framesReceived_.load(); }
    uint64_t FramesSent() const { return framesSent_.load(); }
    uint64_t EchoesLost() const { return echoesLost_.load(); }

    const HeadConfig& Config() const { return config_; }

private:
    BusModule* FindLocked(uint8_t address);

    HeadConfig config_;
    SimClock& clock_;
    FaultDice& dice_;
    std::mutex lock_;
    DriveModule* horizontal_;
    DriveModule* vertical_;
    ControlModule* control_;
    std::map<uint8_t, std::unique_ptr<BusModule>> modules_;
    std::map<uint8_t, bool> muted_;
    std::atomic<double> echoLossRate_{0.0};
    std::atomic<uint64_t> framesReceived_{0};
    std::atomic<uint64_t> framesSent_{0};
    std::atomic<uint64_t> echoesLost_{0};
};

}  // namespace veldan::headsim
