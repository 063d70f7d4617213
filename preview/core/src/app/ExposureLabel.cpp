// ExposureLabel: the exposure box's text for an offset in thirds of a stop.
#include "preview/app/ExposureLabel.h"
#include <cwchar>

namespace veldan::preview {

std::wstring ExposureLabel(int32_t ev) {
    if (ev == 0) return L"EV: 0";
    std::wstring text = ev < 0 ? L"EV: -" : L"EV: +";
    const long magnitude = ev < 0 ? -static_cast<long>(ev) : static_cast<long>(ev);
    wchar_t part[32];
    if (magnitude > 2) {
        std::swprintf(part, 32, L"%ld ", magnitude / 3);
        text += part;
    }
    if (magnitude % 3 != 0) {
        std::swprintf(part, 32, L"%ld/3", magnitude % 3);
        text += part;
    }
    return text;
}

}  // namespace veldan::preview
