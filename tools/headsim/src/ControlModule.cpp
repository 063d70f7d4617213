// ControlModule: the virtual control module's ten relays and battery voltage.
#include "ControlModule.h"

#include <cmath>

namespace veldan::headsim {

ControlModule::ControlModule(const ControlConfig& config)
    : BusModule(config.address, config.identity, config.manufacturer, config.version), voltage_(config.voltage) {}

void ControlModule::Switch(int relay, bool on, double nowMs, CommandEffects& effects) {
    if (relays_[relay] == on) return;
    relays_[relay] = on;
    effects.relays.push_back({Address(), relay, on, nowMs});
}

void ControlModule::OnReset(double nowMs, CommandEffects& effects) {
    for (int r = 0; r < kRelayCount; ++r) Switch(r, false, nowMs, effects);
}

bool ControlModule::HandleSpecific(const std::string& payload, double nowMs, CommandEffects& effects,
                                   std::vector<std::string>& answers) {
    if (payload == "x") {
        answers.push_back("x" + std::to_string(std::llround(voltage_ * 100.0)));
        return true;
    }
    if (payload.size() == 3 && payload[0] == 'L' && payload[1] >= '0' && payload[1] <= '9' &&
        (payload[2] == '0' || payload[2] == '1')) {
        Switch(payload[1] - '0', payload[2] == '1', nowMs, effects);
        return true;
    }
    return false;
}

}  // namespace veldan::headsim
