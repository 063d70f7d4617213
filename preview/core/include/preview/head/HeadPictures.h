#pragma once
#include <cstdint>

// Picture numbers and the manual-move pad's motion byte of the head pane.
// The widgets draw a picture for each number; the logic only picks them.

namespace veldan::preview {

// Motion byte: horizontal motion in the two low bits (2 left, 3 right),
// vertical motion in bits 2 and 3 (8 up, 12 down); 16 marks a halt.
constexpr uint8_t kMotionLeft = 2;
constexpr uint8_t kMotionRight = 3;
constexpr uint8_t kMotionUp = 8;
constexpr uint8_t kMotionDown = 12;
constexpr uint8_t kMotionHalt = 16;
constexpr uint8_t kMotionHorizontalBits = 0x03;
constexpr uint8_t kMotionVerticalBits = 0x0C;

// Pad pictures.
constexpr int kPadIdle = 359, kPadLeft = 356, kPadRight = 360, kPadUp = 364, kPadLeftUp = 358, kPadRightUp = 362,
              kPadDown = 355, kPadLeftDown = 357, kPadRightDown = 361, kPadHalt = 363, kPadDisabled = 367;
// Battery pictures: 398 empty up to 408 full.
constexpr int kBatteryEmpty = 398;
constexpr int kBatteryFull = 408;

int PadPicture(uint8_t motion, bool disabled);
// Steps of ten percent; below 10 % (and an unknown, negative reading) the
// empty battery.
int BatteryPicture(int32_t percent);

// Zones of the 144 x 144 pad (a cross of 48-pixel cells), in test order.
enum class PadZone { None, Left, Right, Up, Down, Centre };
PadZone PadZoneAt(int x, int y);

}  // namespace veldan::preview
