#pragma once
#include <cstdint>
#include <string>

namespace veldan::preview {

// The exposure box's text for an exposure offset in thirds of a stop:
// "EV: 0", "EV: +1/3", "EV: -1 2/3", "EV: +2 " (whole stops keep their
// separating space).
std::wstring ExposureLabel(int32_t ev);

}  // namespace veldan::preview
