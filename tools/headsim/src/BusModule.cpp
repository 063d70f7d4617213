// BusModule: the commands every bus module answers (reset, echo, identity,
// versions, busy state) and the decimal parser.
#include "BusModule.h"

#include <charconv>
#include <utility>

namespace veldan::headsim {

std::optional<int64_t> ParseSignedDecimal(const std::string& text) {
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos >= text.size()) return std::nullopt;
    int64_t value = 0;
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || *first == '-' || *first == '+') return std::nullopt;
    return negative ? -value : value;
}

BusModule::BusModule(uint8_t address, std::string identity, std::string manufacturer, std::string version)
    : address_(address),
      identity_(std::move(identity)),
      manufacturer_(std::move(manufacturer)),
      version_(std::move(version)) {}

void BusModule::HandleCommand(const std::string& payload, double nowMs, bool broadcast, CommandEffects& effects) {
    ++received_;
    std::vector<std::string> answers;
    bool known = true;
    if (payload == "R") {
        echo_ = true;
        error_ = false;
        OnReset(nowMs, effects);
    } else if (payload == "E0" || payload == "E1") {
        echo_ = payload[1] == '1';
        answers.push_back(echo_ ? "e1" : "e0");
    } else if (payload == "w") {
        answers.push_back("w" + identity_);
    } else if (payload == "m") {
        answers.push_back("m" + manufacturer_);
    } else if (payload == "v") {
        answers.push_back("v" + version_);
    } else if (payload == "b") {
        answers.push_back(error_ ? "b9" : BusyAt(nowMs) ? "b1" : "b0");
    } else if (payload == "e") {
        answers.push_back(echo_ ? "e1" : "e0");
    } else {
        known = HandleSpecific(payload, nowMs, effects, answers);
    }
    if (!known) ++rejected_;
    if (broadcast) return;
    // The echo state after the command decides: "E0" is not echoed, "E1" and
    // "R" are (both leave the echo on).
    if (echo_) effects.frames.push_back({payload, true});
    for (std::string& answer : answers) effects.frames.push_back({std::move(answer), false});
}

}  // namespace veldan::headsim
