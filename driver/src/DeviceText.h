#pragma once
// Reading answer frames as text.
#include <cstring>
#include <string>

#include "Pelkor.h"

namespace veldan::driver {

// The payload of a received packet as text (up to its first zero byte).
inline std::string PayloadText(const PelkorPacket& packet) {
    if (packet.payload.data == nullptr) return {};
    const char* text = reinterpret_cast<const char*>(packet.payload.data);
    return std::string(text, strnlen(text, packet.payload.length));
}

// The command text of the number form: prefix and exactly width characters.
VELDAN_API std::string FormatNumberCommand(const char* prefix, int64_t value, uint16_t width, bool isSigned);

}  // namespace veldan::driver
