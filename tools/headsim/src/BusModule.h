#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veldan::headsim {

// A frame a module puts on the line; echoes are marked so that the echo-loss
// fault can drop them and nothing else.
struct Outgoing {
    std::string payload;
    bool isEcho = false;
};

// A relay that a control module switched while handling a command.
struct RelayChange {
    uint8_t address = 0;
    int relay = 0;
    bool on = false;
    double timeMs = 0.0;
};

// What handling one command produced.
struct CommandEffects {
    std::vector<Outgoing> frames;
    std::vector<RelayChange> relays;
};

// Parses an optionally signed decimal ("-12", "+7", "0042"); nothing for
// anything else (empty, stray characters, out of range).
std::optional<int64_t> ParseSignedDecimal(const std::string& text);

// One module on the bus, seen from the module's side. It keeps what every
// module shares: address, identity, manufacturer, firmware version, echo
// state and error state, and the commands every module understands:
//   "R"  reset (echo on again; module-specific reset), echoed
//   "E0" / "E1"  echo off / on; the module reports "e0" / "e1"
//   "w" identity, "m" manufacturer, "v" firmware version ("v01.00"),
//   "b" busy state ("b0" idle, "b1" busy, "b9" error), "e" echo state.
// Every command addressed to the module is echoed (payload unchanged, answer
// header) while the echo is on, before any answer. Broadcast commands are
// carried out but neither echoed nor answered, so that modules do not talk
// over each other.
class BusModule {
public:
    BusModule(uint8_t address, std::string identity, std::string manufacturer, std::string version);
    virtual ~BusModule() = default;
    BusModule(const BusModule&) = delete;
    BusModule& operator=(const BusModule&) = delete;

    uint8_t Address() const { return address_; }
    const std::string& Identity() const { return identity_; }
    bool EchoOn() const { return echo_; }
    void SetError(bool error) { error_ = error; }
    bool Error() const { return error_; }

    void HandleCommand(const std::string& payload, double nowMs, bool broadcast, CommandEffects& effects);

    uint64_t CommandsReceived() const { return received_; }
    uint64_t CommandsRejected() const { return rejected_; }

protected:
    // Module-specific commands. Returns false for a command the module does
    // not know or whose argument is malformed (it is then ignored, but still
    // echoed, as the firmware does with anything addressed to it).
    virtual bool HandleSpecific(const std::string& payload, double nowMs, CommandEffects& effects,
                                std::vector<std::string>& answers) = 0;
    virtual void OnReset(double nowMs, CommandEffects& effects) = 0;
    virtual bool BusyAt(double nowMs) const = 0;

private:
    uint8_t address_;
    std::string identity_;
    std::string manufacturer_;
    std::string version_;
    bool echo_ = true;
    bool error_ = false;
    uint64_t received_ = 0;
    uint64_t rejected_ = 0;
};

}  // namespace veldan::headsim
