// HeadBus: the head's modules on one bus, frame dispatch and the module-level
// faults.
#include "HeadBus.h"

#include <stdexcept>
#include <string>

namespace veldan::headsim {

HeadBus::HeadBus(const HeadConfig& config, SimClock& clock, FaultDice& dice)
    : config_(config), clock_(clock), dice_(dice) {
    double now = clock_.NowMs();
    auto add = [&](uint8_t address, std::unique_ptr<BusModule> module) {
        if (address > 31) throw std::invalid_argument("bus address " + std::to_string(address) + " is not 0..31");
        if (modules_.count(address))
            throw std::invalid_argument("two modules at bus address " + std::to_string(address));
        modules_[address] = std::move(module);
    };
    auto h = std::make_unique<DriveModule>(config.horizontal, now);
    auto v = std::make_unique<DriveModule>(config.vertical, now);
    auto c = std::make_unique<ControlModule>(config.control);
    horizontal_ = h.get();
    vertical_ = v.get();
    control_ = c.get();
    add(config.horizontal.address, std::move(h));
    add(config.vertical.address, std::move(v));
    add(config.control.address, std::move(c));
}

BusModule* HeadBus::FindLocked(uint8_t address) {
    auto it = modules_.find(address);
    return it == modules_.end() ? nullptr : it->second.get();
}

HeadBus::Result HeadBus::Receive(const Frame& frame) {
    Result result;
    ++framesReceived_;
    // Frames of answer kind are what other modules said; modules only obey
    // commands and broadcasts.
    if (frame.kind != kKindCommand && frame.kind != kKindBroadcast) return result;
    const bool broadcast = frame.kind == kKindBroadcast;
    std::lock_guard guard(lock_);
    double now = clock_.NowMs();
    std::vector<BusModule*> targets;
    if (broadcast) {
        for (auto& [address, module] : modules_) targets.push_back(module.get());
    } else if (BusModule* module = FindLocked(frame.address)) {
        targets.push_back(module);
    }
    for (BusModule* module : targets) {
        if (muted_[module->Address()]) continue;
        CommandEffects effects;
        module->HandleCommand(frame.payload, now, broadcast, effects);
        for (const Outgoing& out : effects.frames) {
            if (out.isEcho && dice_.Chance(echoLossRate_.load())) {
                ++echoesLost_;
                continue;
            }
            result.frames.push_back(EncodeFrame(kKindAnswer, module->Address(), out.payload));
            ++framesSent_;
        }
        result.relays.insert(result.relays.end(), effects.relays.begin(), effects.relays.end());
    }
    return result;
}

HeadBus::Angles HeadBus::AnglesNow() {
    std::lock_guard guard(lock_);
    double now = clock_.NowMs();
    return {horizontal_->AngleAt(now), vertical_->AngleAt(now)};
}

bool HeadBus::DriveStateNow(uint8_t address, DriveState& state) {
    std::lock_guard guard(lock_);
    DriveModule* drive = address == horizontal_->Address() ? horizontal_
                         : address == vertical_->Address() ? vertical_
                                                           : nullptr;
    if (!drive) return false;
    state = drive->StateAt(clock_.NowMs());
    return true;
}

std::array<bool, ControlModule::kRelayCount> HeadBus::Relays() {
    std::lock_guard guard(lock_);
    return control_->Relays();
}

double HeadBus::Voltage() {
    std::lock_guard guard(lock_);
    return control_->Voltage();
}

void HeadBus::SetVoltage(double volts) {
    std::lock_guard guard(lock_);
    control_->SetVoltage(volts);
}

bool HeadBus::HasModule(uint8_t address) {
    std::lock_guard guard(lock_);
    return FindLocked(address) != nullptr;
}

bool HeadBus::SetMuted(uint8_t address, bool muted) {
    std::lock_guard guard(lock_);
    if (!FindLocked(address)) return false;
    muted_[address] = muted;
    return true;
}

bool HeadBus::SetModuleError(uint8_t address, bool error) {
    std::lock_guard guard(lock_);
    BusModule* module = FindLocked(address);
    if (!module) return false;
    module->SetError(error);
    return true;
}

std::vector<uint8_t> HeadBus::MutedModules() {
    std::lock_guard guard(lock_);
    std::vector<uint8_t> list;
    for (auto& [address, muted] : muted_)
        if (muted) list.push_back(address);
    return list;
}

}  // namespace veldan::headsim
