#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include "platform/Event.h"
#include "platform/Export.h"

namespace veldan::platform {

// Window handles are opaque values from a process-wide registry of message
// sinks. A handle value is never reused, so a stale handle stays invalid.
struct WindowHandle_;
using HWND = WindowHandle_*;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;

constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

struct Message {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// A sink receives posted messages on the posting thread and must only queue
// them for its owner's loop (the desktop program posts a Qt event, headless
// code uses MessageQueueWindow). It must not call back into the registry.
using MessageSink = std::function<void(const Message&)>;

// Registers a sink and returns its new handle.
VELDAN_API HWND RegisterWindow(MessageSink sink);
// Removes the sink. When this returns, the sink is not running and will never
// be called again; the handle is invalid from then on.
VELDAN_API void UnregisterWindow(HWND window);
// Queues a message to the window's sink; false for a null, unknown or
// destroyed handle, or when the sink could not queue it. Sinks may be called
// from several posting threads at once.
VELDAN_API bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
VELDAN_API bool IsWindow(HWND window);

// A window for headless programs and tests: posted messages queue here and
// the owner takes them with GetMessage. Unregisters itself on destruction.
class VELDAN_API MessageQueueWindow {
public:
    MessageQueueWindow();
    ~MessageQueueWindow();
    MessageQueueWindow(const MessageQueueWindow&) = delete;
    MessageQueueWindow& operator=(const MessageQueueWindow&) = delete;

    HWND Handle() const;
    // Takes the oldest message; false when none arrives within the time-out.
    bool GetMessage(Message& out, uint32_t timeoutMs);
    // Waits until a message with the given number arrives (earlier messages of
    // other numbers stay queued); false on time-out.
    bool WaitForMessage(UINT message, Message& out, uint32_t timeoutMs);
    size_t Pending() const;
    // Manual-reset event that is set while messages are queued, so that a
    // loop can wait for messages and its own stop event together
    // (Event::WaitAny).
    Event& MessagesPending();

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
    HWND handle_ = nullptr;
};

}  // namespace veldan::platform
