// The battery picture and the manual-move pad's picture and zones of the head
// pane.
#include "preview/head/HeadPictures.h"

namespace veldan::preview {

int PadPicture(uint8_t motion, bool disabled) {
    if (disabled) return kPadDisabled;
    switch (motion) {
        case 2: return kPadLeft;
        case 3: return kPadRight;
        case 8: return kPadUp;
        case 10: return kPadLeftUp;
        case 11: return kPadRightUp;
        case 12: return kPadDown;
        case 14: return kPadLeftDown;
        case 15: return kPadRightDown;
        case 16: return kPadHalt;
        default: return kPadIdle;
    }
}

int BatteryPicture(int32_t percent) {
    if (percent >= 100) return kBatteryFull;
    if (percent < 10) return kBatteryEmpty;
    return kBatteryEmpty + percent / 10;
}

namespace {
// Rectangles as PtInRect tests them: left and top inside, right and bottom
// outside.
bool In(int x, int y, int l, int t, int r, int b) { return x >= l && x < r && y >= t && y < b; }
}  // namespace

PadZone PadZoneAt(int x, int y) {
    if (In(x, y, 0, 48, 48, 96)) return PadZone::Left;
    if (In(x, y, 96, 48, 144, 96)) return PadZone::Right;
    if (In(x, y, 48, 0, 96, 48)) return PadZone::Up;
    if (In(x, y, 48, 96, 96, 144)) return PadZone::Down;
    if (In(x, y, 48, 48, 96, 96)) return PadZone::Centre;
    return PadZone::None;
}

}  // namespace veldan::preview
