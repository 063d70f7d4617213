// The script runner over a recording operation set: one pass on a thread,
// synchronous and endless runs, pause, break, resume and abort, the status
// word with its WM_APP+10 messages, and the entries refused while a run is
// active.
#include <gtest/gtest.h>

#include <thread>

#include "InternalHandle.h"
#include "ScriptRunner.h"

namespace veldan::test {

using namespace veldan::control;

namespace {

constexpr uint64_t kRunning = VELDANCONTROL_STATUS_RUNNING;
constexpr uint64_t kPaused = VELDANCONTROL_STATUS_PAUSED;
constexpr uint64_t kBusy = VELDANCONTROL_STATUS_BUSY;

class RunnerTest : public ::testing::Test {
protected:
    RunnerTest() : ops(handle.h) {
        handle.MakeReady();
        EXPECT_EQ(VELDANcontrol_set_main_window(h(), window.Handle()), 0);
    }
    ~RunnerTest() override { StopRunner(h()); }
    ControlHandle h() { return handle.h; }
    bool AwaitIdle() {
        return AwaitStatus(h(), window, [](uint64_t s) { return (s & (kBusy | kRunning)) == 0; });
    }

    TempHome home;
    InternalHandle handle;
    veldan::platform::MessageQueueWindow window;
    RecordingOps ops;
};

using Calls = std::vector<std::string>;

}  // namespace

TEST_F(RunnerTest, PauseOperationStopsBeforeTheNextMoveUntilResumed) {
    ASSERT_EQ(VELDANcontrol_scr_add(h(), L"H 10\nPAUSE\nH 20\n"), 0);
    ASSERT_EQ(h()->config->script.GetOpCnt(), 3);
    ASSERT_EQ(RunOnePass(h(), &ops), 0);
    ASSERT_TRUE(AwaitStatus(h(), window, [](uint64_t s) { return (s & kPaused) != 0; }));
    EXPECT_EQ(ops.Calls(), Calls({"H10"}));
    EXPECT_NE(VELDANcontrol_status(h()) & kRunning, 0u);
    EXPECT_NE(VELDANcontrol_status(h()) & kBusy, 0u);

    // While paused: break refused, single operations refused (busy), the
    // script cannot be replaced, but lines may be appended.
    EXPECT_EQ(VELDANcontrol_cmd_break(h()), -1);
    EXPECT_EQ(VELDANcontrol_op_wait(h(), 0), -1);
    EXPECT_EQ(VELDANcontrol_scr_clear(h()), -1);
    EXPECT_EQ(VELDANcontrol_scr_load(h(), L"x.txt"), -1);
    const wchar_t* args[] = {L"-v"};
    EXPECT_EQ(VELDANcontrol_reload(h(), 1, args), -1);
    EXPECT_EQ(VELDANcontrol_scr_add(h(), L"V 5\n"), 0);

    EXPECT_EQ(VELDANcontrol_cmd_resume(h()), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(ops.Calls(), Calls({"H10", "H20", "V5"}));
    EXPECT_EQ(VELDANcontrol_status(h()) & (kPaused | kRunning | kBusy), 0u);
    // Nothing runs any more: the run requests are refused again.
    EXPECT_EQ(VELDANcontrol_cmd_resume(h()), -1);
    EXPECT_EQ(VELDANcontrol_cmd_abort(h()), -1);
}

TEST_F(RunnerTest, BreakTakesEffectBetweenOperations) {
    ops.holdWaits = true;
    ASSERT_EQ(VELDANcontrol_scr_add(h(), L"WAIT 60000\nH 5\n"), 0);
    ASSERT_EQ(RunOnePass(h(), &ops), 0);
    ASSERT_TRUE(ops.entered.Wait(5000));
    // Running, not paused: resume is refused, break accepted.
    EXPECT_EQ(VELDANcontrol_cmd_resume(h()), -1);
    EXPECT_EQ(VELDANcontrol_cmd_break(h()), 0);
    ops.gate.Set();
    ASSERT_TRUE(AwaitStatus(h(), window, [](uint64_t s) { return (s & kPaused) != 0; }));
    EXPECT_EQ(ops.Calls(), Calls({"W60000"}));
    EXPECT_EQ(VELDANcontrol_cmd_resume(h()), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(ops.Calls(), Calls({"W60000", "H5"}));
}

TEST_F(RunnerTest, AbortEndsAWaitAndTheRunAndIsConsumed) {
    ops.holdWaits = true;
    h()->verbose = true;
    ASSERT_EQ(VELDANcontrol_scr_add(h(), L"WAIT 60000\nH 5\n"), 0);
    ASSERT_EQ(RunOnePass(h(), &ops), 0);
    ASSERT_TRUE(ops.entered.Wait(5000));
    EXPECT_EQ(VELDANcontrol_cmd_abort(h()), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(ops.Calls(), Calls({"W60000"}));
    EXPECT_NE(Captured().find(L"Recording aborted...\n"), std::wstring::npos);
    // The runner reset the request: the next run is not aborted at once.
    EXPECT_FALSE(h()->abortEvent.IsSet());
    ops.holdWaits = false;
    ASSERT_EQ(RunOnePass(h(), &ops), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(ops.Calls(), Calls({"W60000", "W60000", "H5"}));
}

TEST_F(RunnerTest, AbortWhilePausedEndsTheRun) {
    ASSERT_EQ(VELDANcontrol_scr_add(h(), L"PAUSE\nH 1\n"), 0);
    ASSERT_EQ(RunOnePass(h(), &ops), 0);
    ASSERT_TRUE(AwaitStatus(h(), window, [](uint64_t s) { return (s & kPaused) != 0; }));
    EXPECT_EQ(VELDANcontrol_cmd_abort(h()), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_TRUE(ops.Calls().empty());
    EXPECT_FALSE(h()->abortEvent.IsSet());
    EXPECT_FALSE(h()->breakEvent.IsSet());
}

TEST_F(RunnerTest, FailedContactEndsTheRunButAFailedMoveDoesNot) {
    ops.preshootResult = false;
    ASSERT_EQ(VELDANcontrol_scr_add(h(), L"H 1\nPRESHOT\nSHOOT\nRELEASE\n"), 0);
    // A synchronous pass reports 0 however it ended.
    EXPECT_EQ(RunSynchronous(h(), &ops), 0);
    EXPECT_EQ(ops.Calls(), Calls({"H1", "P"}));
    EXPECT_FALSE(h()->abortEvent.IsSet());
}

TEST_F(RunnerTest, SynchronousRunPostsEveryStatusChange) {
    ASSERT_EQ(VELDANcontrol_scr_add(h(), L"H 1\nNOP\nNOTE \"tile one\"\nV 2\n"), 0);
    veldan::platform::Message m;
    while (window.GetMessage(m, 0)) {}
    EXPECT_EQ(RunSynchronous(h(), &ops), 0);
    EXPECT_EQ(ops.Calls(), Calls({"H1", "V2"}));
    // busy set, running set, running cleared, busy cleared.
    int messages = 0;
    while (window.GetMessage(m, 0)) {
        EXPECT_EQ(m.message, VELDANCONTROL_WM_STATUS);
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, 0);
        ++messages;
    }
    EXPECT_EQ(messages, 4);
    EXPECT_NE(Captured().find(L"tile one\n"), std::wstring::npos);
    // Quiet hides the operation texts.
    ClearCaptured();
    h()->quiet = true;
    EXPECT_EQ(RunSynchronous(h(), &ops), 0);
    EXPECT_EQ(Captured(), L"");
}

TEST_F(RunnerTest, EndlessRunExecutesAppendedLinesUntilAbortedWhileIdle) {
    ASSERT_EQ(RunEndless(h(), &ops), 0);
    ASSERT_TRUE(AwaitStatus(h(), window, [](uint64_t s) { return (s & kRunning) != 0; }));
    EXPECT_EQ(VELDANcontrol_scr_add(h(), L"H 1\n"), 0);
    ASSERT_TRUE(ops.AwaitCall("H1"));
    EXPECT_EQ(VELDANcontrol_scr_add(h(), L"H 2\nV 3\n"), 0);
    ASSERT_TRUE(ops.AwaitCall("V3"));
    // Each operation ran once: every pass continues where the last stopped.
    EXPECT_EQ(ops.Calls(), Calls({"H1", "H2", "V3"}));
    EXPECT_EQ(VELDANcontrol_cmd_abort(h()), 0);
    ASSERT_TRUE(AwaitIdle());
    // The abort that ended the run does not linger for the next operation.
    EXPECT_FALSE(h()->abortEvent.IsSet());
    EXPECT_EQ(VELDANcontrol_cmd_abort(h()), -1);
}

TEST_F(RunnerTest, EndlessAbortDuringAPassEndsOnlyThatPass) {
    ops.holdWaits = true;
    ASSERT_EQ(RunEndless(h(), &ops), 0);
    ASSERT_TRUE(AwaitStatus(h(), window, [](uint64_t s) { return (s & kRunning) != 0; }));
    EXPECT_EQ(VELDANcontrol_scr_add(h(), L"WAIT 60000\nH 3\n"), 0);
    ASSERT_TRUE(ops.entered.Wait(5000));
    EXPECT_EQ(VELDANcontrol_cmd_abort(h()), 0);
    // The next pass continues after the aborted wait.
    ASSERT_TRUE(ops.AwaitCall("H3"));
    EXPECT_NE(VELDANcontrol_status(h()) & kRunning, 0u);
    EXPECT_EQ(VELDANcontrol_cmd_abort(h()), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(ops.Calls(), Calls({"W60000", "H3"}));
}

TEST_F(RunnerTest, EmptyScriptThatCannotBeGeneratedSetsFailed) {
    // The handle's configuration has no assembly rows to generate from.
    EXPECT_EQ(RunOnePass(h(), &ops), -1);
    const uint64_t s = VELDANcontrol_status(h());
    EXPECT_NE(s & VELDANCONTROL_STATUS_FAILED, 0u);
    EXPECT_EQ(s & kBusy, 0u);
    EXPECT_EQ(RunSynchronous(h(), &ops), -1);
}

TEST_F(RunnerTest, RunsNeedAReadyDeviceAndOnlyOneRunAtATime) {
    InternalHandle notReady;
    EXPECT_EQ(VELDANcontrol_cmd_run(notReady.h), -1);
    EXPECT_EQ(VELDANcontrol_cmd_run_sync(notReady.h), -1);
    EXPECT_EQ(VELDANcontrol_cmd_run_endless(notReady.h), -1);
    EXPECT_EQ(VELDANcontrol_op_wait(notReady.h, 0), -1);
    EXPECT_EQ(VELDANcontrol_acquire(notReady.h), 0);
    EXPECT_EQ(VELDANcontrol_battery_state(notReady.h), -1);
    EXPECT_EQ(VELDANcontrol_device_busy_state(notReady.h), UINT64_MAX);
    EXPECT_EQ(VELDANcontrol_h_pos(notReady.h), 0.0);
    EXPECT_EQ(VELDANcontrol_rc_goleft(notReady.h), -1);

    ASSERT_EQ(VELDANcontrol_scr_add(h(), L"PAUSE\nH 1\n"), 0);
    ASSERT_EQ(RunOnePass(h(), &ops), 0);
    ASSERT_TRUE(AwaitStatus(h(), window, [](uint64_t s) { return (s & kPaused) != 0; }));
    EXPECT_EQ(RunOnePass(h(), &ops), -1);
    EXPECT_EQ(RunEndless(h(), &ops), -1);
    EXPECT_EQ(RunSynchronous(h(), &ops), -1);
    EXPECT_EQ(VELDANcontrol_cmd_resume(h()), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(ops.Calls(), Calls({"H1"}));
}

}  // namespace veldan::test
