// Tests of the window registry: message numbers, stale handles, queue order
// across threads and unregistering.
#include "platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace veldan::test {

using platform::Event;
using platform::HWND;
using platform::IsWindow;
using platform::LPARAM;
using platform::Message;
using platform::MessageQueueWindow;
using platform::PostMessage;
using platform::RegisterWindow;
using platform::UINT;
using platform::UnregisterWindow;
using platform::WM_APP;
using platform::WM_USER;
using platform::WPARAM;

namespace {

TEST(Window, MessageNumbersKeepTheirValues) {
    EXPECT_EQ(WM_USER, 0x400u);
    EXPECT_EQ(WM_USER + 2, 1026u);
    EXPECT_EQ(WM_APP, 0x8000u);
}

TEST(Window, PostingToUnknownOrDestroyedHandlesFails) {
    EXPECT_FALSE(PostMessage(nullptr, WM_USER, 0, 0));
    EXPECT_FALSE(IsWindow(nullptr));
    HWND stale;
    {
        MessageQueueWindow window;
        stale = window.Handle();
        EXPECT_TRUE(IsWindow(stale));
        EXPECT_TRUE(PostMessage(stale, WM_USER + 1, 7, -3));
        Message m;
        ASSERT_TRUE(window.GetMessage(m, 0));
        EXPECT_EQ(m.hwnd, stale);
        EXPECT_EQ(m.message, WM_USER + 1);
        EXPECT_EQ(m.wParam, 7u);
        EXPECT_EQ(m.lParam, -3);
    }
    EXPECT_FALSE(IsWindow(stale));
    EXPECT_FALSE(PostMessage(stale, WM_USER, 0, 0));
    // A handle is never handed out again.
    MessageQueueWindow next;
    EXPECT_NE(next.Handle(), stale);
    EXPECT_FALSE(PostMessage(stale, WM_USER, 0, 0));
}

TEST(Window, GetMessageTimesOutWhenNothingArrives) {
    MessageQueueWindow window;
    Message m;
    EXPECT_FALSE(window.GetMessage(m, 20));
    EXPECT_EQ(window.Pending(), 0u);
}

TEST(Window, WaitForMessageLeavesOtherMessagesQueuedInOrder) {
    MessageQueueWindow window;
    PostMessage(window.Handle(), WM_APP + 2, 1, 0);
    PostMessage(window.Handle(), WM_APP + 3, 2, 0);
    PostMessage(window.Handle(), WM_APP + 2, 3, 0);
    std::thread late([h = window.Handle()] { PostMessage(h, WM_APP + 10, 4, 0); });
    Message m;
    ASSERT_TRUE(window.WaitForMessage(WM_APP + 10, m, 10000));
    late.join();
    EXPECT_EQ(m.wParam, 4u);
    EXPECT_EQ(window.Pending(), 3u);
    ASSERT_TRUE(window.GetMessage(m, 0));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(window.WaitForMessage(WM_APP + 2, m, 0));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(window.WaitForMessage(WM_APP + 2, m, 10));
    EXPECT_EQ(window.Pending(), 1u);
}

TEST(Window, PostsFromManyThreadsAllArriveInPerThreadOrder) {
    MessageQueueWindow window;
    constexpr int kThreads = 8, kEach = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                ASSERT_TRUE(PostMessage(window.Handle(), WM_USER + t, static_cast<WPARAM>(i), t));
        });
    std::map<LPARAM, WPARAM> next;
    for (int n = 0; n < kThreads * kEach; ++n) {
        Message m;
        ASSERT_TRUE(window.GetMessage(m, 10000));
        EXPECT_EQ(m.message, WM_USER + static_cast<UINT>(m.lParam));
        EXPECT_EQ(m.wParam, next[m.lParam]) << "thread " << m.lParam;
        next[m.lParam] = m.wParam + 1;
    }
    for (auto& t : posters) t.join();
    EXPECT_EQ(window.Pending(), 0u);
}

TEST(Window, NoSinkCallAfterUnregisterReturns) {
    std::atomic<bool> unregistered{false};
    std::atomic<int> lateCalls{0};
    std::atomic<int> calls{0};
    HWND window = RegisterWindow([&](const Message&) {
        if (unregistered) ++lateCalls;
        ++calls;
    });
    std::atomic<bool> stop{false};
    std::vector<std::thread> posters;
    std::atomic<int> refused{0};
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&] {
            while (!stop)
                if (!PostMessage(window, WM_USER, 0, 0)) ++refused;
        });
    while (calls < 1000) std::this_thread::yield();
    UnregisterWindow(window);
    unregistered = true;
    while (refused < 100) std::this_thread::yield();
    stop = true;
    for (auto& t : posters) t.join();
    EXPECT_EQ(lateCalls.load(), 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST(Window, PendingEventWakesALoopThatAlsoWaitsForStop) {
    MessageQueueWindow window;
    Event stop(true);
    Event* events[] = {&window.MessagesPending(), &stop};
    std::atomic<int> handled{0};
    std::thread loop([&] {
        for (;;) {
            const int which = Event::WaitAny(events, 10000);
            if (which != 0) break;
            Message m;
            while (window.GetMessage(m, 0)) ++handled;
        }
    });
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(PostMessage(window.Handle(), WM_APP + 10, 0, 0));
    // The loop drains everything before the stop is seen.
    while (window.Pending() != 0) std::this_thread::yield();
    stop.Set();
    loop.join();
    EXPECT_EQ(handled.load(), 100);
    EXPECT_FALSE(window.MessagesPending().IsSet());
}

TEST(Window, SinkMayUnregisterItsOwnWindow) {
    HWND self = nullptr;
    std::atomic<int> calls{0};
    self = RegisterWindow([&](const Message&) {
        ++calls;
        UnregisterWindow(self);
    });
    EXPECT_TRUE(PostMessage(self, WM_USER, 0, 0));
    EXPECT_FALSE(PostMessage(self, WM_USER, 0, 0));
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace
}  // namespace veldan::test
