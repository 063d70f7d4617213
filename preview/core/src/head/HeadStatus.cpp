// Status evaluation on the bus driver's device-state notification, the
// position and battery displays, and the manual-move pad.
#include <cwchar>
#include "preview/head/HeadPictures.h"
#include "preview/head/VRHeadControl.h"

namespace veldan::preview {
namespace {
constexpr uint32_t kHighInitialised = 0x20000000u;
constexpr uint32_t kHighBusy = 0x40000000u;

std::wstring Degrees(double value) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, L"%.02lf°", value);
    return buffer;
}
}  // namespace

void CVRHeadControl::EvaluateStatus() {
    // Refresh takes the handle lock itself, so it runs after the lock is left.
    bool refresh = false;
    {
        std::shared_lock<std::shared_mutex> guard(handleLock_);
        refresh = EvaluateStatusLocked();
    }
    if (refresh) Refresh();
    Changed();
}

bool CVRHeadControl::EvaluateStatusLocked() {
    bool refresh = false;
    ControlHandle h = Handle();
    if (!h) {
        if (display_.batteryPicture != kBatteryEmpty) {
            display_.batteryPicture = kBatteryEmpty;
        }
        return false;
    }
    const uint64_t status = entries_.status(h);
    const uint32_t high = static_cast<uint32_t>(status >> 32);
    if (high & kHighInitialised) {
        if (motion_ != 0 && State() == HeadState::Ready) {
            SetState(HeadState::ManualMove);
            refresh = true;
        }
        if (high & kHighBusy) {
            DisableOnOff();
        } else if (entries_.device_busy_state(h) != 0) {
            DisableOnOff();
        } else if (State() == HeadState::Cancelling) {
            SetState(HeadState::Ready);
            refresh = true;
        } else {
            const HeadState s = State();
            if (s == HeadState::Ready || s == HeadState::Off) SetOnOffTimer();
            if (motion_ != 0) {
                motion_ = 0;
                display_.motion = 0;
                display_.padPicture = PadPicture(0, !display_.padEnabled);
                if (State() == HeadState::ManualMove) {
                    SetState(HeadState::Ready);
                    refresh = true;
                }
            }
        }
    }
    const HeadState s = State();
    if (s != HeadState::Off && s != HeadState::Starting && s != HeadState::Stopping) {
        const std::wstring hText = Degrees(entries_.h_pos(h));
        const std::wstring vText = Degrees(entries_.v_pos(h));
        if (hText != display_.hPos) display_.hPos = hText;
        if (vText != display_.vPos) display_.vPos = vText;
    }
    const int picture = BatteryPicture(entries_.battery_state(h));
    if (picture != display_.batteryPicture) display_.batteryPicture = picture;
    return refresh;
}

void CVRHeadControl::OnPadClick(int x, int y) {
    {
        std::shared_lock<std::shared_mutex> guard(handleLock_);
        ControlHandle h = Handle();
        if (display_.padEnabled && h) {
            // A new move ends a shown halt; the other axis's bits stay, so that
            // two clicks make a diagonal move.
            auto start = [&](int (*go)(ControlHandle), uint8_t keep, uint8_t bits) {
                if (go(h) == 0) motion_ = static_cast<uint8_t>((motion_ & keep) | bits);
            };
            switch (PadZoneAt(x, y)) {
                case PadZone::Left:
                    if ((motion_ & kMotionHorizontalBits) != kMotionLeft)
                        start(entries_.rc_goleft, kMotionVerticalBits, kMotionLeft);
                    break;
                case PadZone::Right:
                    if ((motion_ & kMotionHorizontalBits) != kMotionRight)
                        start(entries_.rc_goright, kMotionVerticalBits, kMotionRight);
                    break;
                case PadZone::Up:
                    if ((motion_ & kMotionVerticalBits) != kMotionUp)
                        start(entries_.rc_goup, kMotionHorizontalBits, kMotionUp);
                    break;
                case PadZone::Down:
                    if ((motion_ & kMotionVerticalBits) != kMotionDown)
                        start(entries_.rc_godown, kMotionHorizontalBits, kMotionDown);
                    break;
                case PadZone::Centre:
                    if (entries_.rc_halt(h) == 0) motion_ = kMotionHalt;
                    break;
                case PadZone::None: break;
            }
        }
    }
    display_.motion = motion_;
    display_.padPicture = PadPicture(motion_, !display_.padEnabled);
    Changed();
}

}  // namespace veldan::preview
