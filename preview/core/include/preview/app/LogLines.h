#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace veldan::preview {

// The entry a log text becomes: a final line feed goes, then a final
// carriage return, then a final line feed (so "\r\n" and "\n\n" both go
// entirely). Line breaks inside the text stay.
std::wstring LogEntryFromText(std::wstring_view text);

// The clipboard text of the log: every entry preceded by "\r\n".
std::wstring JoinLogEntries(const std::vector<std::wstring>& entries);

// The two entries a new log starts with.
inline const wchar_t* const kLogHeaderLines[2] = {L"VELDANpreview Logview", L"====================="};

}  // namespace veldan::preview
