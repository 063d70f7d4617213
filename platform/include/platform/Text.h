#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include "platform/Export.h"

namespace veldan::platform {

// Wide text is UTF-32 wchar_t; narrow text and file names are UTF-8.
// Invalid input is replaced by U+FFFD instead of failing.
VELDAN_API std::string ToUtf8(std::wstring_view text);
VELDAN_API std::wstring FromUtf8(std::string_view text);

// Path from wide text (UTF-8 at the system call) and back. Bytes of a file
// name that are not UTF-8 travel through wide text as U+DC80..U+DCFF and are
// restored by PathFromWide, so every existing file name survives a round trip.
VELDAN_API std::filesystem::path PathFromWide(std::wstring_view text);
VELDAN_API std::wstring PathToWide(const std::filesystem::path& path);

// Case-insensitive comparison of wide texts (simple case folding per
// character, as the file-name comparisons of the system need).
VELDAN_API bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
VELDAN_API bool EqualsNoCase(std::string_view a, std::string_view b);
// The text with the same per-character folding, as a key for maps that
// compare without regard to case.
VELDAN_API std::wstring FoldCase(std::wstring_view text);

}  // namespace veldan::platform
