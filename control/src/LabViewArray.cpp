// Conversion of a LabVIEW string array into wide start switches.
#include "LabViewArray.h"

#include <cstddef>
#include <string_view>

#include "platform/Text.h"

namespace veldan::control {

using platform::FromUtf8;

std::vector<std::wstring> WideStringsFromLabView(VELDANcontrol_LStrArrayHandle array) {
    std::vector<std::wstring> result;
    if (!array || !*array) return result;
    const VELDANcontrol_LStrArray* block = *array;
    const int32_t count = block->dimSize;
    if (count <= 0) return result;
    // The element handles follow the count; read them through the block's
    // own address so that the declared one-element array is not indexed
    // beyond its bound.
    const auto* elements = reinterpret_cast<const VELDANcontrol_LStrHandle*>(
        reinterpret_cast<const unsigned char*>(block) + offsetof(VELDANcontrol_LStrArray, elt));
    result.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        VELDANcontrol_LStrHandle element = elements[i];
        if (!element || !*element || (*element)->cnt <= 0) {
            result.emplace_back();
            continue;
        }
        const VELDANcontrol_LStr* text = *element;
        const auto* bytes = reinterpret_cast<const char*>(reinterpret_cast<const unsigned char*>(text) +
                                                          offsetof(VELDANcontrol_LStr, str));
        result.push_back(FromUtf8(std::string_view(bytes, static_cast<size_t>(text->cnt))));
    }
    return result;
}

}  // namespace veldan::control
