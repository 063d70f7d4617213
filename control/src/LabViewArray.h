#pragma once
// Conversion of a LabVIEW string array into wide start switches.
#include <string>
#include <vector>

#include "VELDANcontrol.h"

namespace veldan::control {

// The strings of the array as wide text; empty for a null array. Null or
// negative-length elements give empty strings.
std::vector<std::wstring> WideStringsFromLabView(VELDANcontrol_LStrArrayHandle array);

}  // namespace veldan::control
