// ConsoleMonitorUi: the capture monitor's questions answered No without a
// screen and written as log lines.
#include "preview/capture/ConsoleMonitorUi.h"
#include <cstdio>
#include "platform/Text.h"

namespace veldan::preview {

using platform::ToUtf8;

namespace {

// A dialog text on one line.
std::wstring OneLine(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'\n' || c == L'\r') c = L' ';
    std::wstring out;
    for (wchar_t c : text)
        if (!(c == L' ' && !out.empty() && out.back() == L' ')) out += c;
    return out;
}

}  // namespace

void ConsoleMonitorUi::Line(const std::wstring& text) {
    std::lock_guard<std::mutex> guard(lock_);
    std::fputs(ToUtf8(text + L"\n").c_str(), stdout);
    std::fflush(stdout);
}

bool ConsoleMonitorUi::AskYesNo(const std::wstring& caption, const std::wstring& text) {
    Line(L"Capture monitor: " + caption + L": " + OneLine(text) + L" No (no questions can be answered here).");
    return false;
}

bool ConsoleMonitorUi::AskOkCancel(const std::wstring& caption, const std::wstring& text) {
    Line(L"Capture monitor: " + caption + L": " + OneLine(text) + L" Cancel (no questions can be answered here).");
    return false;
}

bool ConsoleMonitorUi::LocateFiles(const std::wstring& title, const std::wstring&, const std::wstring&,
                                   std::vector<std::wstring>&) {
    Line(L"Capture monitor: " + title + L" cancelled (no file dialog here).");
    return false;
}

void ConsoleMonitorUi::ProgressBegin(uint32_t range) {
    range_ = range;
    Line(L"Capture monitor: filing " + std::to_wstring(range) + L" image files...");
}

void ConsoleMonitorUi::ProgressSet(uint32_t position) {
    Line(L"Capture monitor: filed " + std::to_wstring(position) + L"/" + std::to_wstring(range_));
}

void ConsoleMonitorUi::ProgressEnd() { Line(L"Capture monitor: filing done."); }

}  // namespace veldan::preview
