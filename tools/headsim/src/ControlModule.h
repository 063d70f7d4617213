#pragma once
#include <array>

#include "BusModule.h"

namespace veldan::headsim {

struct ControlConfig {
    uint8_t address = 3;
    std::string identity = "47.210-0400";
    std::string manufacturer = "VELDAN virtual head";
    std::string version = "01.04";
    double voltage = 12.6;  // battery voltage, volts
};

// The control module: ten relays and the battery voltage.
//   "Lrs" switches relay r (0..9) off (s = 0) or on (s = 1);
//   "x" answers the voltage in hundredths of a volt ("x1260");
//   "R" also switches every relay off.
class ControlModule : public BusModule {
public:
    static constexpr int kRelayCount = 10;

    explicit ControlModule(const ControlConfig& config);

    bool Relay(int relay) const { return relay >= 0 && relay < kRelayCount && relays_[relay]; }
    std::array<bool, kRelayCount> Relays() const { return relays_; }
    double Voltage() const { return voltage_; }
    void SetVoltage(double volts) { voltage_ = volts; }

protected:
    bool HandleSpecific(const std::string& payload, double nowMs, CommandEffects& effects,
                        std::vector<std::string>& answers) override;
    void OnReset(double nowMs, CommandEffects& effects) override;
    bool BusyAt(double) const override { return false; }

private:
    void Switch(int relay, bool on, double nowMs, CommandEffects& effects);

    std::array<bool, kRelayCount> relays_{};
    double voltage_;
};

}  // namespace veldan::headsim
