// FormatNumberCommand: the fixed-width, optionally signed number form of bus
// commands.
#include <cstdint>
#include <string>

#include "DeviceText.h"

namespace veldan::driver {

std::string FormatNumberCommand(const char* prefix, int64_t value, uint16_t width, bool isSigned) {
    std::string text = prefix ? prefix : "";
    if (width == 0) return text;
    // The magnitude as unsigned, so that the most negative value is exact.
    uint64_t magnitude = value < 0 ? (~static_cast<uint64_t>(value) + 1u) : static_cast<uint64_t>(value);
    uint16_t digits = width;
    if (isSigned) {
        text += value < 0 ? '-' : '+';
        --digits;
    }
    // Digits of higher order than the field holds are dropped.
    std::string field(digits, '0');
    for (uint16_t k = digits; k-- > 0 && magnitude != 0;) {
        field[k] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    return text + field;
}

}  // namespace veldan::driver
