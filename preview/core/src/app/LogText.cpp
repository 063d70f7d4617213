// LogText: formatting a log line on any thread and posting it to the log
// window.
#include "preview/app/LogText.h"
#include <atomic>
#include <cwchar>

namespace veldan::preview {

using platform::HWND;
using platform::WPARAM;

namespace {
std::atomic<HWND> g_logWindow{nullptr};
}

void SetLogWindow(HWND window) { g_logWindow.store(window, std::memory_order_release); }
HWND LogWindow() { return g_logWindow.load(std::memory_order_acquire); }

std::unique_ptr<wchar_t[]> TakeLogText(WPARAM wParam) {
    return std::unique_ptr<wchar_t[]>(reinterpret_cast<wchar_t*>(wParam));
}

}  // namespace veldan::preview

int LogTextV(const wchar_t* format, va_list args) {
    using namespace veldan::preview;
    const veldan::platform::HWND window = LogWindow();
    if (!window || !format) return 0;
    wchar_t buffer[kLogTextBufferChars];
    buffer[0] = L'\0';
    // vswprintf returns -1 when the text does not fit; glibc has then written
    // what fits. The last character is forced to a terminator either way, so
    // an over-long text is cut, never overrun.
    const int n = std::vswprintf(buffer, kLogTextBufferChars, format, args);
    buffer[kLogTextBufferChars - 1] = L'\0';
    const size_t length = n >= 0 ? static_cast<size_t>(n) : std::wcslen(buffer);
    // The block belongs to the message from here until the window takes it.
    std::unique_ptr<wchar_t[]> block(new wchar_t[length + 1]);
    std::wmemcpy(block.get(), buffer, length);
    block[length] = L'\0';
    if (veldan::platform::PostMessage(window, WM_LOG_TEXT, reinterpret_cast<veldan::platform::WPARAM>(block.get()), 0))
        block.release();  // now owned by the posted message
    return 0;
}

int LogText(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    LogTextV(format, args);
    va_end(args);
    return 0;
}
