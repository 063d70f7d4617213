// Turning log texts into log entries (trailing line breaks removed) and
// joining entries back into text.
#include "preview/app/LogLines.h"

namespace veldan::preview {

std::wstring LogEntryFromText(std::wstring_view text) {
    if (!text.empty() && text.back() == L'\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == L'\r') text.remove_suffix(1);
    if (!text.empty() && text.back() == L'\n') text.remove_suffix(1);
    return std::wstring(text);
}

std::wstring JoinLogEntries(const std::vector<std::wstring>& entries) {
    std::wstring out;
    for (const std::wstring& e : entries) {
        out += L"\r\n";
        out += e;
    }
    return out;
}

}  // namespace veldan::preview
