#pragma once
#include <cstdint>

#include "preview/app/WindowMessages.h"

// Display modes of the preview view and the commands that choose them.
namespace veldan::preview {

// Bits of the view's display mode word.
constexpr uint32_t kModeFlowChart = 0x1;
constexpr uint32_t kModeWarped = 0x2;
constexpr uint32_t kModeLetterbox = 0x4;  // keep the panorama's proportions
constexpr uint32_t kModeVrTour = 0x8;
constexpr uint32_t kModeBlended = 0x10;
constexpr uint32_t kModeMeasuring = 0x20;

// Mode commands of the ribbon and the View menu.
constexpr int kCmdFlowChart = 32787;
constexpr int kCmdWarped = 32785;
constexpr int kCmdBlended = 32904;
constexpr int kCmdVrTour = 32789;
constexpr int kCmdMeasuring = 32902;

// The mode word a mode command sets; 0 for any other command.
constexpr uint32_t ModeForCommand(int command) {
    switch (command) {
        case kCmdFlowChart: return kModeFlowChart;
        case kCmdWarped: return kModeWarped | kModeLetterbox;
        case kCmdBlended: return kModeBlended | kModeLetterbox;
        case kCmdVrTour: return kModeVrTour;
        case kCmdMeasuring: return kModeMeasuring | kModeLetterbox;
        default: return 0;
    }
}

// Whether a mode command shows its check mark for the mode word.
constexpr bool ModeCommandChecked(int command, uint32_t mode) {
    switch (command) {
        case kCmdFlowChart: return (mode & kModeFlowChart) != 0;
        case kCmdWarped: return (mode & kModeWarped) != 0;
        case kCmdBlended: return (mode & kModeBlended) != 0;
        case kCmdVrTour: return (mode & kModeVrTour) != 0;
        case kCmdMeasuring: return (mode & kModeMeasuring) != 0;
        default: return false;
    }
}

// Tile display flags.
constexpr uint32_t kTileHovered = 1;
constexpr uint32_t kTileSelected = 2;
constexpr uint32_t kTileBeingShot = 4;

}  // namespace veldan::preview
