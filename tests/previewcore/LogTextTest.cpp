// The log routine: formatting, cutting, delivery to the registered window
// from many threads, and the entry rules of the log list.
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>
#include <vector>
#include "platform/Window.h"
#include "preview/app/ExposureLabel.h"
#include "preview/app/LogLines.h"
#include "preview/app/LogText.h"

namespace veldan::test {

using platform::HWND;
using platform::Message;
using platform::MessageQueueWindow;
using namespace veldan::preview;

namespace {

// Sets the log window for one test and takes it away afterwards.
struct LogTarget {
    MessageQueueWindow window;
    LogTarget() { SetLogWindow(window.Handle()); }
    ~LogTarget() {
        SetLogWindow(nullptr);
        Message m;
        while (window.GetMessage(m, 0)) TakeLogText(m.wParam);
    }
    std::wstring Next() {
        Message m;
        if (!window.GetMessage(m, 5000)) return L"<timeout>";
        EXPECT_EQ(m.message, WM_LOG_TEXT);
        EXPECT_EQ(m.lParam, 0);
        return TakeLogText(m.wParam).get();
    }
};

}  // namespace

TEST(LogText, FormatsAndPostsOneBlockPerCall) {
    LogTarget target;
    EXPECT_EQ(LogText(L"Head %ls at %d%%", L"started", 42), 0);
    EXPECT_EQ(LogText(L"narrow %s", "text"), 0);
    EXPECT_EQ(target.Next(), L"Head started at 42%");
    EXPECT_EQ(target.Next(), L"narrow text");
    EXPECT_EQ(target.window.Pending(), 0u);
}

TEST(LogText, OverlongTextIsCutNotOverrun) {
    LogTarget target;
    const std::wstring big(20000, L'x');
    LogText(L"%ls", big.c_str());
    const std::wstring got = target.Next();
    EXPECT_LE(got.size(), kLogTextBufferChars - 1);
    EXPECT_EQ(got, std::wstring(got.size(), L'x'));
}

TEST(LogText, WithoutWindowOrAfterItIsGoneTextsAreDropped) {
    SetLogWindow(nullptr);
    EXPECT_EQ(LogText(L"nobody listens"), 0);
    HWND stale;
    {
        MessageQueueWindow w;
        stale = w.Handle();
    }
    // A destroyed window refuses the message; the block must not leak (the
    // leak checker of the sanitizer build watches this).
    SetLogWindow(stale);
    EXPECT_EQ(LogText(L"lost line %d", 1), 0);
    SetLogWindow(nullptr);
}

TEST(LogText, ManyThreadsKeepTheirOwnOrder) {
    LogTarget target;
    constexpr int kThreads = 8, kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) LogText(L"%d:%d\r\n", t, i);
        });
    std::map<int, int> next;
    for (int n = 0; n < kThreads * kLines; ++n) {
        const std::wstring text = target.Next();
        ASSERT_NE(text, L"<timeout>");
        int t = -1, i = -1;
        ASSERT_EQ(swscanf(text.c_str(), L"%d:%d", &t, &i), 2) << text;
        EXPECT_EQ(i, next[t]) << "thread " << t;
        next[t] = i + 1;
        EXPECT_EQ(LogEntryFromText(text), std::to_wstring(t) + L":" + std::to_wstring(i));
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines);
}

TEST(LogEntries, LineEndRules) {
    EXPECT_EQ(LogEntryFromText(L"a\r\n"), L"a");
    EXPECT_EQ(LogEntryFromText(L"a\n\n"), L"a");
    EXPECT_EQ(LogEntryFromText(L"a\n\n\n"), L"a\n");
    EXPECT_EQ(LogEntryFromText(L"a\r"), L"a");
    EXPECT_EQ(LogEntryFromText(L"a\n\r\n"), L"a");
    EXPECT_EQ(LogEntryFromText(L"a\r\r"), L"a\r");
    EXPECT_EQ(LogEntryFromText(L"one\ntwo"), L"one\ntwo");
    EXPECT_EQ(LogEntryFromText(L""), L"");
    EXPECT_EQ(LogEntryFromText(L"\n"), L"");
}

TEST(LogEntries, CopyTextStartsEveryEntryWithALineBreak) {
    EXPECT_EQ(JoinLogEntries({L"VELDANpreview Logview", L"x"}), L"\r\nVELDANpreview Logview\r\nx");
    EXPECT_EQ(JoinLogEntries({}), L"");
}

TEST(ExposureLabels, ThirdsOfAStop) {
    EXPECT_EQ(ExposureLabel(0), L"EV: 0");
    EXPECT_EQ(ExposureLabel(1), L"EV: +1/3");
    EXPECT_EQ(ExposureLabel(-2), L"EV: -2/3");
    EXPECT_EQ(ExposureLabel(3), L"EV: +1 ");
    EXPECT_EQ(ExposureLabel(-4), L"EV: -1 1/3");
    EXPECT_EQ(ExposureLabel(8), L"EV: +2 2/3");
}

}  // namespace veldan::test
