#pragma once
#include <cstdarg>
#include <memory>
#include "platform/Window.h"

// The program's single log routine. It may be called from any thread: it
// formats the text, copies it into a heap block and posts WM_LOG_TEXT to the
// log window; it never touches a widget. The window takes the block with
// TakeLogText on its own thread.

namespace veldan::preview {

// wParam: the text block (owned by the message), lParam: 0.
constexpr platform::UINT WM_LOG_TEXT = platform::WM_USER + 3;
// Formatting buffer in characters; longer texts are cut to fit.
constexpr size_t kLogTextBufferChars = 8192;

// The window that receives the log texts (null: texts are dropped).
void SetLogWindow(platform::HWND window);
platform::HWND LogWindow();

// Takes ownership of the block carried by a WM_LOG_TEXT message.
std::unique_ptr<wchar_t[]> TakeLogText(platform::WPARAM wParam);

}  // namespace veldan::preview

// Formats like swprintf and posts the result; always returns 0. This is also
// the output callback handed to the control library.
int LogText(const wchar_t* format, ...);
int LogTextV(const wchar_t* format, va_list args);
