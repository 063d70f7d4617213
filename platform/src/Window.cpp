// The process-wide window registry (RegisterWindow, PostMessage) and
// MessageQueueWindow.
#include "platform/Window.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace veldan::platform {

namespace {

struct Sink {
    MessageSink sink;
    int running = 0;  // posts inside the sink right now
    bool removed = false;
};

// The process-wide registry. It is never destroyed, so that a thread still
// posting while the process exits finds a valid (empty) registry instead of a
// destroyed one.
struct Registry {
    std::mutex mutex;
    std::condition_variable idle;  // a sink's last running post has returned
    std::unordered_map<uintptr_t, std::shared_ptr<Sink>> sinks;
    uintptr_t nextHandle = 0x10000;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // intentionally immortal, see above
    return *registry;
}

// Sinks the calling thread is running, so that a sink that unregisters its
// own window does not wait for itself.
thread_local std::vector<const Sink*> t_runningSinks;

uintptr_t Key(HWND window) { return reinterpret_cast<uintptr_t>(window); }

}  // namespace

HWND RegisterWindow(MessageSink sink) {
    Registry& r = TheRegistry();
    auto entry = std::make_shared<Sink>();
    entry->sink = std::move(sink);
    std::lock_guard lock(r.mutex);
    const uintptr_t key = r.nextHandle++;
    r.sinks.emplace(key, std::move(entry));
    return reinterpret_cast<HWND>(key);
}

void UnregisterWindow(HWND window) {
    if (!window) return;
    Registry& r = TheRegistry();
    std::unique_lock lock(r.mutex);
    auto it = r.sinks.find(Key(window));
    if (it == r.sinks.end()) return;
    std::shared_ptr<Sink> entry = std::move(it->second);
    r.sinks.erase(it);
    entry->removed = true;
    const int own = static_cast<int>(std::count(t_runningSinks.begin(), t_runningSinks.end(), entry.get()));
    r.idle.wait(lock, [&] { return entry->running <= own; });
    // The sink (and what it captured) is released outside the lock.
    MessageSink released = std::move(entry->sink);
    lock.unlock();
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window) return false;
    Registry& r = TheRegistry();
    std::shared_ptr<Sink> entry;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.sinks.find(Key(window));
        if (it == r.sinks.end()) return false;
        entry = it->second;
        ++entry->running;
    }
    t_runningSinks.push_back(entry.get());
    bool delivered = true;
    try {
        entry->sink(Message{window, message, wParam, lParam});
    } catch (...) {
        // A sink only queues; when that fails (out of memory) the message is
        // lost and the poster learns it like a post to a closed window.
        delivered = false;
    }
    t_runningSinks.pop_back();
    {
        std::lock_guard lock(r.mutex);
        --entry->running;
    }
    r.idle.notify_all();
    return delivered;
}

bool IsWindow(HWND window) {
    if (!window) return false;
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.sinks.count(Key(window)) != 0;
}

struct MessageQueueWindow::Impl {
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Message> queue;
    Event pending{true};

    // With the mutex held, after the queue shrank.
    void UpdatePending() {
        if (queue.empty()) pending.Reset();
    }
};

MessageQueueWindow::MessageQueueWindow() : impl_(std::make_shared<Impl>()) {
    std::weak_ptr<Impl> weak = impl_;
    handle_ = RegisterWindow([weak](const Message& message) {
        if (auto impl = weak.lock()) {
            {
                std::lock_guard lock(impl->mutex);
                impl->queue.push_back(message);
                impl->pending.Set();
            }
            impl->arrived.notify_all();
        }
    });
}

MessageQueueWindow::~MessageQueueWindow() { UnregisterWindow(handle_); }

HWND MessageQueueWindow::Handle() const { return handle_; }

bool MessageQueueWindow::GetMessage(Message& out, uint32_t timeoutMs) {
    std::unique_lock lock(impl_->mutex);
    auto ready = [&] { return !impl_->queue.empty(); };
    if (timeoutMs == 0xFFFFFFFFu) {
        impl_->arrived.wait(lock, ready);
    } else if (!impl_->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    out = impl_->queue.front();
    impl_->queue.pop_front();
    impl_->UpdatePending();
    return true;
}

bool MessageQueueWindow::WaitForMessage(UINT message, Message& out, uint32_t timeoutMs) {
    std::unique_lock lock(impl_->mutex);
    std::deque<Message>::iterator found;
    auto ready = [&] {
        found = std::find_if(impl_->queue.begin(), impl_->queue.end(),
                             [&](const Message& m) { return m.message == message; });
        return found != impl_->queue.end();
    };
    if (timeoutMs == 0xFFFFFFFFu) {
        impl_->arrived.wait(lock, ready);
    } else if (!impl_->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    out = *found;
    impl_->queue.erase(found);
    impl_->UpdatePending();
    return true;
}

Event& MessageQueueWindow::MessagesPending() { return impl_->pending; }

size_t MessageQueueWindow::Pending() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->queue.size();
}

}  // namespace veldan::platform
