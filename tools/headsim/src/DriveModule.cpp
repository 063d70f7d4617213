// DriveModule: a virtual drive's moves, reference run, counters and state over
// simulated time.
#include "DriveModule.h"

#include <algorithm>
#include <cmath>

namespace veldan::headsim {

namespace {
// Fixed-width numeric argument after the command letter: "S" takes a sign and
// 7 digits, "F" and "A" 5 digits; the firmware also takes shorter fields.
std::optional<int64_t> Argument(const std::string& payload, size_t maxLength) {
    if (payload.size() < 2 || payload.size() > maxLength + 1) return std::nullopt;
    return ParseSignedDecimal(payload.substr(1));
}
}  // namespace

DriveModule::DriveModule(const DriveConfig& config, double nowMs)
    : BusModule(config.address, config.identity, config.manufacturer, config.version),
      config_(config),
      motor_(std::llround(-config.startAngle / 360.0 * static_cast<double>(config.stepsPerTurn))),
      speedRegister_(std::max<int64_t>(1, config.speedBase * 3 / 4)) {
    (void)nowMs;
    // The counter starts at 0 where the axis stands at power-on.
    counterZero_ = std::llround(motor_.FinalPosition());
}

double DriveModule::Speed() const { return static_cast<double>(std::max<int64_t>(1, speedRegister_)); }

double DriveModule::Acceleration() const {
    int64_t tenths = std::max(accelRegister_, config_.minAccelTenths);
    if (tenths <= 0) tenths = 1;
    return Speed() / (static_cast<double>(tenths) / 10.0);
}

void DriveModule::Update(double nowMs) {
    if (referencing_ && !motor_.IsMovingAt(nowMs)) {
        referencing_ = false;
        counterZero_ = std::llround(motor_.FinalPosition());
    }
}

int64_t DriveModule::CounterAt(double nowMs) const { return std::llround(motor_.PositionAt(nowMs)) - counterZero_; }

bool DriveModule::BusyAt(double nowMs) const { return motor_.IsMovingAt(nowMs); }

bool DriveModule::IsMovingAt(double nowMs) {
    Update(nowMs);
    return motor_.IsMovingAt(nowMs);
}

double DriveModule::AngleAt(double nowMs) {
    Update(nowMs);
    return -motor_.PositionAt(nowMs) / static_cast<double>(config_.stepsPerTurn) * 360.0;
}

DriveState DriveModule::StateAt(double nowMs) {
    Update(nowMs);
    DriveState s;
    s.angle = AngleAt(nowMs);
    s.counter = CounterAt(nowMs);
    s.moving = motor_.IsMovingAt(nowMs);
    s.referencing = referencing_;
    s.target = targetRegister_;
    s.speed = speedRegister_;
    s.accelTenths = accelRegister_;
    s.holdPower = holdPower_;
    s.runPower = runPower_;
    return s;
}

void DriveModule::OnReset(double nowMs, CommandEffects&) {
    Update(nowMs);
    motor_.Halt(nowMs);
    referencing_ = false;
}

bool DriveModule::HandleSpecific(const std::string& payload, double nowMs, CommandEffects&,
                                 std::vector<std::string>& answers) {
    Update(nowMs);
    const char letter = payload.empty() ? '\0' : payload[0];
    if (payload.size() == 1) {
        switch (letter) {
            case 'p': answers.push_back("p" + std::to_string(CounterAt(nowMs))); return true;
            case 'u': answers.push_back("u" + std::to_string(config_.stepsPerTurn)); return true;
            case 'f': answers.push_back("f" + std::to_string(config_.speedBase)); return true;
            case 'a': answers.push_back("a" + std::to_string(config_.minAccelTenths)); return true;
            case 'N': counterZero_ = std::llround(motor_.PositionAt(nowMs)); return true;
            case 'Y':
                referencing_ = true;
                motor_.MoveTo(nowMs, 0.0, Speed(), Acceleration());
                Update(nowMs);  // already at the mark: done at once
                return true;
            default: return false;
        }
    }
    if (payload == "G0" || payload == "G1") {
        double base = payload == "G0" ? static_cast<double>(counterZero_) : motor_.PositionAt(nowMs);
        referencing_ = false;
        motor_.MoveTo(nowMs, base + static_cast<double>(targetRegister_), Speed(), Acceleration());
        return true;
    }
    if (payload == "O1") {
        referencing_ = false;
        motor_.Halt(nowMs);
        return true;
    }
    if (payload == "O2" || payload == "O3") {
        referencing_ = false;
        double a = Acceleration();
        if (payload == "O3") {
            int64_t tenths = std::max<int64_t>(1, config_.minAccelTenths);
            a = std::max(a, Speed() / (static_cast<double>(tenths) / 10.0));
        }
        motor_.Brake(nowMs, a);
        return true;
    }
    switch (letter) {
        case 'S': {
            auto v = Argument(payload, 8);
            if (!v) return false;
            targetRegister_ = *v;
            return true;
        }
        case 'F': {
            auto v = Argument(payload, 5);
            if (!v || *v < 0) return false;
            speedRegister_ = *v;
            return true;
        }
        case 'A': {
            auto v = Argument(payload, 5);
            if (!v || *v < 0) return false;
            accelRegister_ = *v;
            return true;
        }
        case 'I':
        case 'J': {
            if (payload.size() != 2 || payload[1] < '0' || payload[1] > '9') return false;
            (letter == 'I' ? holdPower_ : runPower_) = payload[1] - '0';
            return true;
        }
        default: return false;
    }
}

}  // namespace veldan::headsim
