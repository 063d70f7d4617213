// Text conversion of arbitrary bytes: never crashes, always yields valid
// UTF-8, and file names survive the trip through wide text unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Text.h"

namespace {
bool ValidUtf8(const std::string& s) {
    // Decoding valid UTF-8 and encoding it again gives the same bytes.
    return veldan::platform::ToUtf8(veldan::platform::FromUtf8(s)) == s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring wide = veldan::platform::FromUtf8(bytes);
    if (!ValidUtf8(veldan::platform::ToUtf8(wide))) std::abort();
    const std::filesystem::path path(bytes);
    if (veldan::platform::PathFromWide(veldan::platform::PathToWide(path)) != path) std::abort();
    // Wide input of any value, four bytes per character.
    std::wstring raw;
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(data[i + k]) << (8 * k);
        raw.push_back(static_cast<wchar_t>(v));
    }
    if (!ValidUtf8(veldan::platform::ToUtf8(raw))) std::abort();
    veldan::platform::EqualsNoCase(std::string_view(bytes), std::string_view(bytes));
    return 0;
}
