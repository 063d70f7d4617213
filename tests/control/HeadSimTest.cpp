// End to end through the C interface against the virtual head on a
// pseudo-terminal: initialisation and shutdown, moves, the busy mask,
// one exposure, the battery, scripts with pause and abort, parking, the pad
// against the limits, and the example program.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "ControlTestSupport.h"
#include "VELDANcontrol.h"
#include "VirtualHead.h"
#include "platform/Text.h"
#include "platform/Window.h"

namespace veldan::test {

namespace fs = std::filesystem;

namespace {

constexpr int kCom = 57;

const std::string kSettings = StandardHeadSettings(kCom) + "parking[1] = off\n";

// Polls a condition of the head (its state changes on the bus, not through
// a message this test could wait for) until it holds or the time runs out.
template <typename P>
bool Eventually(P predicate, int timeoutMs = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

template <typename P>
bool AwaitStatusBits(ControlHandle h, veldan::platform::MessageQueueWindow& window, P predicate,
                     unsigned timeoutMs = 15000) {
    veldan::platform::Message m;
    for (unsigned waited = 0; waited <= timeoutMs; waited += 50) {
        if (predicate(VELDANcontrol_status(h))) return true;
        window.GetMessage(m, 50);
    }
    return predicate(VELDANcontrol_status(h));
}

class HeadSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
    }
    void TearDown() override {
        if (handle) VELDANcontrol_deinit(handle);
        head.Stop();
    }

    // Starts the virtual head and initialises the library against it.
    bool Start(std::initializer_list<std::wstring> switches, const std::string& extraSettings = "",
               std::vector<std::string> headOptions = {}) {
        TempHome::Write(home.ConfigFolder() / "settings.cfg", kSettings + extraSettings);
        std::string error;
        if (!head.Start(kCom, home.Documents(), StandardHeadOptions(headOptions), error)) {
            ADD_FAILURE() << error;
            return false;
        }
        Args args(switches);
        handle = VELDANcontrol_init_redirect(args.argc(), args.argv(), &CaptureOutput);
        if (!handle) {
            ADD_FAILURE() << "initialisation failed:\n" << veldan::platform::ToUtf8(Captured());
            return false;
        }
        return true;
    }

    // Waits until the drives stand still.
    bool AwaitIdle() { return VELDANcontrol_op_wait(handle, -1) == 0; }
    // Waits until the drives have homed and know their calibration: the pad
    // refuses to move a drive before (a move waits for it).
    bool AwaitCalibrated() { return VELDANcontrol_goto(handle, 0, 0) == 0; }

    TempHome home;
    VirtualHead head;
    ControlHandle handle = nullptr;
};

}  // namespace

TEST_F(HeadSimTest, DesktopSwitchesInitialiseVerboseAndShutDownWithoutMoving) {
    ASSERT_TRUE(Start({L"-v", L"-p", L"-n"}));
    const std::wstring text = Captured();
    EXPECT_NE(text.find(L"00: -v - be verbose\n01: -p - do not go to parking position\n"
                        L"02: -n - stay at the last position\n...end of command line\n"),
              std::wstring::npos)
        << veldan::platform::ToUtf8(text);
    EXPECT_NE(text.find(L"Loading assembly data...OK\nEdition: \nPort: 57\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Initializing device on COM57... OK\n"), std::wstring::npos);
    const uint64_t status = VELDANcontrol_status(handle);
    EXPECT_EQ(status, VELDANCONTROL_STATUS_READY);
    ASSERT_TRUE(AwaitIdle());
    ASSERT_EQ(VELDANcontrol_goto(handle, 20, 10), 0);
    double h0, v0;
    ASSERT_TRUE(head.Angles(h0, v0));

    ClearCaptured();
    EXPECT_EQ(VELDANcontrol_deinit(handle), 0);
    handle = nullptr;
    EXPECT_EQ(Captured(), L"Shutting down device... OK\n");
    double h1 = 0, v1 = 0;
    ASSERT_TRUE(head.Angles(h1, v1));
    EXPECT_NEAR(h1, h0, 0.01);
    EXPECT_NEAR(v1, v0, 0.01);
    EXPECT_EQ(head.StateValue("relays"), "0000000000");
}

TEST_F(HeadSimTest, QuietLeavesOnlyTheDeviceLines) {
    ASSERT_TRUE(Start({L"-q"}));
    EXPECT_EQ(Captured(), L"Initializing device on COM57... OK\n");
}

TEST_F(HeadSimTest, GotoWaitsUntilBothDrivesStandStill) {
    ASSERT_TRUE(Start({}));
    // Right after the initialisation the drives are still homing and do not
    // know their calibration yet: the move waits for it.
    ASSERT_EQ(VELDANcontrol_goto(handle, 30, 20), 0);
    double h, v;
    ASSERT_TRUE(head.Angles(h, v));
    EXPECT_NEAR(h, 30, 0.05);
    EXPECT_NEAR(v, 20, 0.05);
    EXPECT_NEAR(VELDANcontrol_h_pos(handle), 30, 0.05);
    EXPECT_NEAR(VELDANcontrol_v_pos(handle), 20, 0.05);
    EXPECT_EQ(VELDANcontrol_device_busy_state(handle), 0u);

    // A move that is queued but not finished shows in the busy mask.
    ASSERT_EQ(VELDANcontrol_op_h_angle(handle, 120), 0);
    EXPECT_EQ(VELDANcontrol_device_busy_state(handle), 0x1u);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(VELDANcontrol_device_busy_state(handle), 0u);
    EXPECT_NEAR(VELDANcontrol_h_pos(handle), 120, 0.05);
}

TEST_F(HeadSimTest, AcquireFiresTheCameraOnce) {
    ASSERT_TRUE(Start({L"-v"}));
    ASSERT_TRUE(AwaitIdle());
    VELDANcontrol_set_time_recover(handle, 0);
    VELDANcontrol_set_time_preshot(handle, 50);
    VELDANcontrol_set_time_exposure(handle, 100);
    ClearCaptured();
    ASSERT_EQ(VELDANcontrol_acquire(handle), 0);
    EXPECT_EQ(Captured(), L"Camera ready\nPreshoot\nWaiting...50ms\nShoot\nWaiting...100ms\nRelease\n");
    EXPECT_EQ(head.StateValue("presses"), "1");
    EXPECT_EQ(head.StateValue("relays"), "0000000000");

    // Right after the release the camera needs the rest of its recover time.
    ClearCaptured();
    ASSERT_EQ(VELDANcontrol_op_wait_recover(handle, 300), 0);
    const std::wstring text = Captured();
    EXPECT_EQ(text.rfind(L"Waiting on camera ", 0), 0u) << veldan::platform::ToUtf8(text);
    EXPECT_NE(text.find(L"ms... ready\n"), std::wstring::npos) << veldan::platform::ToUtf8(text);
}

TEST_F(HeadSimTest, BatteryPercentFollowsTheVoltage) {
    ASSERT_TRUE(Start({}));
    ASSERT_TRUE(AwaitIdle());
    EXPECT_TRUE(Eventually([&] { return VELDANcontrol_battery_state(handle) == 50; }))
        << VELDANcontrol_battery_state(handle);
    head.Command("voltage 13.0");
    EXPECT_TRUE(Eventually([&] { return VELDANcontrol_battery_state(handle) == 119; }));
    head.Command("voltage 10.0");
    EXPECT_TRUE(Eventually([&] { return VELDANcontrol_battery_state(handle) == 0; }));
}

TEST_F(HeadSimTest, ScriptPausesBetweenMovesAndResumes) {
    ASSERT_TRUE(Start({L"-v"}));
    ASSERT_TRUE(AwaitIdle());
    veldan::platform::MessageQueueWindow window;
    EXPECT_EQ(VELDANcontrol_set_main_window(handle, window.Handle()), 0);
    ASSERT_EQ(VELDANcontrol_scr_add(handle, L"H 10\nWAIT READY\nPAUSE\nH 40\nWAIT READY\n"), 0);
    ASSERT_EQ(VELDANcontrol_cmd_run(handle), 0);
    ASSERT_TRUE(AwaitStatusBits(handle, window, [](uint64_t s) { return (s & VELDANCONTROL_STATUS_PAUSED) != 0; }));
    EXPECT_NEAR(VELDANcontrol_h_pos(handle), 10, 0.05);
    EXPECT_EQ(VELDANcontrol_cmd_break(handle), -1);
    EXPECT_EQ(VELDANcontrol_cmd_resume(handle), 0);
    ASSERT_TRUE(AwaitStatusBits(handle, window, [](uint64_t s) {
        return (s & (VELDANCONTROL_STATUS_RUNNING | VELDANCONTROL_STATUS_BUSY)) == 0;
    }));
    EXPECT_NEAR(VELDANcontrol_h_pos(handle), 40, 0.05);
    const std::wstring text = Captured();
    EXPECT_NE(text.find(L"Moving horizontal to 10.00deg\nWaiting..."), std::wstring::npos);
    EXPECT_NE(text.find(L"Recording interrupted...\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Moving horizontal to 40.00deg\n"), std::wstring::npos);
}

TEST_F(HeadSimTest, AbortEndsAWaitAndAnEndlessRun) {
    ASSERT_TRUE(Start({}));
    ASSERT_TRUE(AwaitIdle());
    veldan::platform::MessageQueueWindow window;
    VELDANcontrol_set_main_window(handle, window.Handle());
    ASSERT_EQ(VELDANcontrol_cmd_run_endless(handle), 0);
    ASSERT_TRUE(AwaitStatusBits(handle, window, [](uint64_t s) { return (s & VELDANCONTROL_STATUS_RUNNING) != 0; }));
    ASSERT_EQ(VELDANcontrol_scr_add(handle,
                                    L"V 15\nWAIT READY\nWAIT 600000 \"waiting\"\nH 25\nWAIT READY\n"
                                    L"NOTE \"done\"\n"),
              0);
    // The text is written just before the wait starts: an abort from here on
    // cuts the wait short and ends the pass; the next pass continues after it.
    ASSERT_TRUE(AwaitCaptured(L"waiting\n", 15000));
    EXPECT_EQ(VELDANcontrol_cmd_abort(handle), 0);
    ASSERT_TRUE(AwaitCaptured(L"done\n", 15000));
    double h = 0, v = 0;
    ASSERT_TRUE(head.Angles(h, v));
    EXPECT_NEAR(h, 25, 0.05);
    EXPECT_NEAR(v, 15, 0.05);
    EXPECT_NE(VELDANcontrol_status(handle) & VELDANCONTROL_STATUS_RUNNING, 0u);
    // Aborted while idle between passes: the run ends.
    EXPECT_EQ(VELDANcontrol_cmd_abort(handle), 0);
    ASSERT_TRUE(AwaitStatusBits(handle, window, [](uint64_t s) {
        return (s & (VELDANCONTROL_STATUS_RUNNING | VELDANCONTROL_STATUS_BUSY)) == 0;
    }));
    EXPECT_EQ(VELDANcontrol_op_wait(handle, 0), 0);
}

TEST_F(HeadSimTest, ParkMovesOnlyToEnabledPositions) {
    ASSERT_TRUE(Start({}, "parking[0] = 45\nparking[1] = -10\n"));
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(VELDANcontrol_cmd_park(handle), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_NEAR(VELDANcontrol_h_pos(handle), 45, 0.05);
    EXPECT_NEAR(VELDANcontrol_v_pos(handle), -10, 0.05);
}

TEST_F(HeadSimTest, NoEnabledParkingMovesNothing) {
    ASSERT_TRUE(Start({}));
    ASSERT_TRUE(AwaitIdle());
    ASSERT_EQ(VELDANcontrol_goto(handle, 5, 5), 0);
    EXPECT_EQ(VELDANcontrol_cmd_park(handle), 0);
    EXPECT_EQ(VELDANcontrol_device_busy_state(handle), 0u);
}

TEST_F(HeadSimTest, PadStopsAtTheLimits) {
    ASSERT_TRUE(Start({L"-v"}, "twisting_limit = 360\nlower_limit = -45\nupper_limit = 70\n"));
    ASSERT_TRUE(AwaitCalibrated());
    ClearCaptured();
    ASSERT_EQ(VELDANcontrol_rc_goup(handle), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_NEAR(VELDANcontrol_v_pos(handle), 70, 0.05);
    ASSERT_EQ(VELDANcontrol_rc_godown(handle), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_NEAR(VELDANcontrol_v_pos(handle), -45, 0.05);
    EXPECT_NE(Captured().find(L"Remote Control: go up\n"), std::wstring::npos);

    ASSERT_EQ(VELDANcontrol_op_h_angle(handle, 100), 0);
    ASSERT_TRUE(AwaitIdle());
    ClearCaptured();
    ASSERT_EQ(VELDANcontrol_rc_goright(handle), 0);
    EXPECT_EQ(Captured(), L"Remote Control: (using horizontal twisting limitation) go right\n");
    ASSERT_TRUE(AwaitIdle());
    EXPECT_NEAR(VELDANcontrol_h_pos(handle), 360, 0.05);
    ASSERT_EQ(VELDANcontrol_rc_goleft(handle), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_NEAR(VELDANcontrol_h_pos(handle), 0, 0.05);
}

TEST_F(HeadSimTest, SecondPressOfTheSameDirectionStopsTheTurn) {
    // Real time, so that the full turn takes seconds and is stopped midway.
    ASSERT_TRUE(Start({L"-v"}, "", {"--time-scale", "1"}));
    ASSERT_TRUE(AwaitCalibrated());
    ClearCaptured();
    ASSERT_EQ(VELDANcontrol_rc_goleft(handle), 0);
    // The drive reports its target until the first position answer; wait
    // for the head itself to have turned.
    ASSERT_TRUE(Eventually([&] {
        double h = 0, v = 0;
        return head.Angles(h, v) && h < -5;
    }));
    ASSERT_EQ(VELDANcontrol_rc_goleft(handle), 0);
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(Captured().rfind(L"Remote Control: go left\n", 0), 0u);
    EXPECT_NE(Captured().find(L"Remote Control: stop horizontal movement\n"), std::wstring::npos);
    const double stopped = VELDANcontrol_h_pos(handle);
    double simH = 0, simV = 0;
    ASSERT_TRUE(head.Angles(simH, simV));
    EXPECT_NEAR(simH, stopped, 0.05) << head.Command("drive 0");
    EXPECT_GT(stopped, -355);
    EXPECT_LT(stopped, -5);
    // Halt, abort and zero on an idle head only write their lines.
    ClearCaptured();
    EXPECT_EQ(VELDANcontrol_rc_halt(handle), 0);
    EXPECT_EQ(VELDANcontrol_rc_abort(handle), 0);
    EXPECT_EQ(VELDANcontrol_rc_set_zero(handle), 0);
    EXPECT_EQ(Captured(), L"Remote Control: halt \nRemote Control: emergency abort \nRemote Control: set zero \n");
    ASSERT_TRUE(Eventually([&] { return std::fabs(VELDANcontrol_h_pos(handle)) < 0.01; }));
}

TEST_F(HeadSimTest, ExampleProgramDrivesTheHead) {
    const fs::path example = VELDAN_EXAMPLE_PATH;
    if (!fs::exists(example)) GTEST_SKIP() << "the example program is not built";
    TempHome::Write(home.ConfigFolder() / "settings.cfg", kSettings);
    std::string error;
    ASSERT_TRUE(head.Start(kCom, home.Documents(),
                           {"--h-addr", "0", "--v-addr", "1", "--ctrl-addr", "2", "--time-scale", "10"}, error))
        << error;
    TempHome::Write(home.CurrentFolder() / "shots.txt",
                    "H 60\nWAIT READY\nRECOVER 0\nPRESHOT\nWAIT 20\nSHOOT\nWAIT 20\nRELEASE\n");
    std::string output;
    const int status = RunProgram(example, {"--goto", "30", "15", "--script", "shots.txt", "-n", "-su"}, output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Initializing device on COM57... OK"), std::string::npos) << output;
    EXPECT_EQ(head.StateValue("presses"), "2");
    double h, v;
    ASSERT_TRUE(head.Angles(h, v));
    EXPECT_NEAR(h, 60, 0.05);
    EXPECT_NEAR(v, 15, 0.05);
}

}  // namespace veldan::test
