// The script store through the C interface on an internal handle: adding
// lines (from a read-only buffer), saving, loading along the search order,
// clearing; the timing setters and the main-window rules.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "InternalHandle.h"
#include "Operations.h"
#include "RemoteControl.h"
#include "platform/Tick.h"

namespace veldan::test {

namespace fs = std::filesystem;

TEST(ControlScriptStore, AddUsesOnlyTerminatedLines) {
    TempHome home;
    InternalHandle t;
    t.h->verbose = true;
    EXPECT_EQ(VELDANcontrol_scr_add(t.h, L"H 10\nV 20"), 0);
    EXPECT_EQ(t.h->config->script.GetOpCnt(), 1);
    EXPECT_EQ(Captured(), L"Loading script data...OK\n1 script commands successfuly loaded.\n");

    ClearCaptured();
    EXPECT_EQ(VELDANcontrol_scr_add(t.h, L"H 10\r\n\tV 20\r\nnot an operation\n\n"), 0);
    EXPECT_EQ(t.h->config->script.GetOpCnt(), 3);
    EXPECT_EQ(Captured(), L"Loading script data...OK\n2 script commands successfuly loaded.\n");
    const op* second = t.h->config->script.GetOp(2);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->kind, 2u);
    EXPECT_EQ(second->angle, 20.0);

    // Quiet: no count line; verbose off: no progress pieces.
    ClearCaptured();
    t.h->verbose = false;
    t.h->quiet = true;
    EXPECT_EQ(VELDANcontrol_scr_add(t.h, L"WAIT READY\n"), 0);
    EXPECT_EQ(Captured(), L"");
    EXPECT_EQ(t.h->config->script.GetOp(3)->ms, -1);
    EXPECT_EQ(VELDANcontrol_scr_add(t.h, nullptr), -1);
}

TEST(ControlScriptStore, AddNeverWritesTheCallersBuffer) {
    TempHome home;
    InternalHandle t;
    const long page = sysconf(_SC_PAGESIZE);
    void* memory = mmap(nullptr, static_cast<size_t>(page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    const wchar_t text[] = L"H 45\nV -10\n";
    std::memcpy(memory, text, sizeof text);
    // Read-only from here on: a write into it would kill the test.
    ASSERT_EQ(mprotect(memory, static_cast<size_t>(page), PROT_READ), 0);
    const auto* buffer = static_cast<const wchar_t*>(memory);
    EXPECT_EQ(VELDANcontrol_scr_add(t.h, buffer), 0);
    EXPECT_EQ(t.h->config->script.GetOpCnt(), 2);
    EXPECT_EQ(std::memcmp(buffer, text, sizeof text), 0);
    munmap(memory, static_cast<size_t>(page));
}

TEST(ControlScriptStore, SaveLoadAndClearOnRealFiles) {
    TempHome home;
    InternalHandle t;
    t.h->verbose = true;
    ASSERT_EQ(VELDANcontrol_scr_add(t.h, L"H 90\nWAIT 250\nSHOOT\nRELEASE\n"), 0);
    const fs::path saved = home.ConfigFolder() / "pano.txt";
    fs::create_directories(home.ConfigFolder());
    ClearCaptured();
    EXPECT_EQ(VELDANcontrol_scr_save(t.h, Wide(saved).c_str()), 0);
    EXPECT_EQ(Captured(), L"Creating script file " + Wide(saved) + L"... OK\n");
    EXPECT_TRUE(fs::exists(saved));

    // A folder that does not exist: the save fails and says so.
    ClearCaptured();
    const fs::path nowhere = home.Root() / "missing" / "x.txt";
    EXPECT_EQ(VELDANcontrol_scr_save(t.h, Wide(nowhere).c_str()), -1);
    EXPECT_EQ(Captured(), L"Creating script file " + Wide(nowhere) + L"... failed\n");
    EXPECT_EQ(VELDANcontrol_scr_save(t.h, nullptr), -1);

    EXPECT_EQ(VELDANcontrol_scr_clear(t.h), 0);
    EXPECT_EQ(t.h->config->script.GetOpCnt(), 0);

    // Loading by bare name finds "<configuration folder>/pano.txt".
    ClearCaptured();
    EXPECT_EQ(VELDANcontrol_scr_load(t.h, L"pano"), 0);
    const std::wstring docs = Wide(home.ConfigFolder());
    EXPECT_EQ(Captured(),
              L"Opening script file pano... failed\n"
              L"Opening script file " +
                  docs +
                  L"/pano... failed\n"
                  L"Opening script file " +
                  docs +
                  L"/pano.txt... OK\n"
                  L"Loading script data...OK\n"
                  L"4 script commands successfuly loaded.\n");
    ASSERT_EQ(t.h->config->script.GetOpCnt(), 4);
    EXPECT_EQ(t.h->config->script.GetOp(1)->ms, 250);

    // A failed load still removes the old operations.
    EXPECT_EQ(VELDANcontrol_scr_load(t.h, L"absent"), -1);
    EXPECT_EQ(t.h->config->script.GetOpCnt(), 0);
    ASSERT_EQ(VELDANcontrol_scr_add(t.h, L"H 1\n"), 0);
    EXPECT_EQ(VELDANcontrol_scr_load(t.h, nullptr), -1);
    EXPECT_EQ(t.h->config->script.GetOpCnt(), 0);
    const fs::path broken = home.CurrentFolder() / "broken.txt";
    TempHome::Write(broken, "H 1\nJUMP\n");
    EXPECT_EQ(VELDANcontrol_scr_load(t.h, L"broken.txt"), -1);
    EXPECT_EQ(t.h->config->script.GetOpCnt(), 0);
}

TEST(ControlHandleRules, TimingSettersStoreSecondsAndReturnMilliseconds) {
    TempHome home;
    InternalHandle t;
    EXPECT_DOUBLE_EQ(VELDANcontrol_set_time_recover(t.h, 500), 1000);
    EXPECT_DOUBLE_EQ(t.h->config->recoverTime, 0.5);
    EXPECT_DOUBLE_EQ(VELDANcontrol_set_time_recover(t.h, 750), 500);
    EXPECT_DOUBLE_EQ(VELDANcontrol_set_time_preshot(t.h, 100), 500);
    EXPECT_DOUBLE_EQ(t.h->config->preshotTime, 0.1);
    EXPECT_DOUBLE_EQ(VELDANcontrol_set_time_exposure(t.h, 2000), 200);
    EXPECT_DOUBLE_EQ(t.h->config->exposureTime, 2.0);
    EXPECT_DOUBLE_EQ(VELDANcontrol_set_global_speed(t.h, 0.5), 1.0);
    EXPECT_DOUBLE_EQ(VELDANcontrol_set_global_speed(t.h, 1.0), 0.5);
}

TEST(ControlHandleRules, MainWindowMustBeKnownToTheRegistry) {
    TempHome home;
    InternalHandle t;
    veldan::platform::MessageQueueWindow first;
    EXPECT_EQ(VELDANcontrol_set_main_window(t.h, first.Handle()), 0);
    EXPECT_TRUE(t.h->forwardNotifications);
    veldan::platform::HWND destroyed;
    {
        veldan::platform::MessageQueueWindow gone;
        destroyed = gone.Handle();
    }
    EXPECT_EQ(VELDANcontrol_set_main_window(t.h, destroyed), -1);
    // The refused window changed nothing: the first one is still registered.
    EXPECT_EQ(VELDANcontrol_set_main_window(t.h, nullptr), reinterpret_cast<intptr_t>(first.Handle()));
    EXPECT_FALSE(t.h->forwardNotifications);
    EXPECT_EQ(VELDANcontrol_set_main_window(t.h, first.Handle()), 0);

    // Every status change is posted as WM_APP+10 (0x800A), wParam and lParam 0.
    veldan::platform::Message m;
    while (first.GetMessage(m, 0)) {}
    t.h->status.SetHigh(veldan::control::kHighBusy);
    ASSERT_TRUE(first.WaitForMessage(0x8000 + 10, m, 5000));
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.lParam, 0);
    EXPECT_EQ(VELDANcontrol_status(t.h), VELDANCONTROL_STATUS_BUSY);
    // Setting a bit that is already set is no change and posts nothing.
    t.h->status.SetHigh(veldan::control::kHighBusy);
    EXPECT_FALSE(first.GetMessage(m, 0));
    t.h->status.ClearHigh(veldan::control::kHighBusy);
    EXPECT_TRUE(first.GetMessage(m, 5000));
    EXPECT_EQ(VELDANcontrol_status(t.h), 0u);
}

namespace {
std::atomic<uint64_t> g_fakeTick{100000};
uint64_t FakeTick() { return g_fakeTick.load(); }
}  // namespace

TEST(ControlWaits, WaitForTheCameraCountsFromTheLastRelease) {
    TempHome home;
    InternalHandle t;
    t.h->verbose = true;
    veldan::control::HeadOperations ops(t.h);
    veldan::platform::SetTickSource(&FakeTick);

    // No release yet: the camera is ready.
    EXPECT_TRUE(ops.WaitRecover(500));
    EXPECT_EQ(Captured(), L"Camera ready\n");

    // 2 s after the last release: ready at once.
    ClearCaptured();
    t.h->lastReleaseTick = g_fakeTick.load() - 2000;
    EXPECT_TRUE(ops.WaitRecover(500));
    EXPECT_EQ(Captured(), L"Camera ready\n");

    // 100 ms after it: the remaining 400 ms are waited for, and an abort
    // ends the wait with a failure.
    ClearCaptured();
    t.h->lastReleaseTick = g_fakeTick.load() - 100;
    std::thread aborter([&] {
        AwaitCaptured(L"Waiting on camera 400ms... ", 5000);
        t.h->abortEvent.Set();
    });
    EXPECT_FALSE(ops.WaitRecover(500));
    aborter.join();
    EXPECT_EQ(Captured(), L"Waiting on camera 400ms... aborted\n");
    veldan::platform::SetTickSource(nullptr);
}

TEST(ControlWaits, TimedWaitEndsEarlyOnAbort) {
    TempHome home;
    InternalHandle t;
    t.h->verbose = true;
    veldan::control::HeadOperations ops(t.h);
    std::thread aborter([&] {
        AwaitCaptured(L"Waiting...60000ms\n", 5000);
        t.h->abortEvent.Set();
    });
    EXPECT_TRUE(ops.Wait(60000));
    aborter.join();
    EXPECT_EQ(Captured(), L"Waiting...60000ms\n");
    // Moves refuse while the abort is pending.
    EXPECT_FALSE(ops.MoveHorizontal(10));
}

TEST(ControlBattery, PercentBetweenEmptyAndFullWithoutUpperBound) {
    using veldan::control::BatteryPercentOf;
    EXPECT_EQ(BatteryPercentOf(11.55, 10.5, 12.6), 50);
    EXPECT_EQ(BatteryPercentOf(13.0, 10.5, 12.6), 119);
    EXPECT_EQ(BatteryPercentOf(10.0, 10.5, 12.6), 0);
    EXPECT_EQ(BatteryPercentOf(7.0, 12.0, 12.0), 100);
    EXPECT_EQ(BatteryPercentOf(1e300, 0.0, 1e-300), INT32_MAX);
}

}  // namespace veldan::test
