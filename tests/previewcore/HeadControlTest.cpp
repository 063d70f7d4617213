// Switching the head on and off through the control library bound by name,
// the refused libraries, the status displays and the manual-move pad.
#include "HeadFixture.h"

namespace veldan::test {

using namespace veldan::preview;

TEST_F(HeadTest, SwitchOnShowsTheDeviceAndSwitchOffReleasesIt) {
    ASSERT_TRUE(StartHead());
    MakeControl();
    UseMonitor();
    EXPECT_EQ(control->Display().hPos, L"----°");
    ASSERT_TRUE(SwitchOn()) << LogUtf8();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), L"Initializing VELDAN VR Head.");
    EXPECT_NE(LogText().find(L"|00: -v| - be verbose|"), std::wstring::npos) << LogUtf8();
    ASSERT_NE(control->Handle(), nullptr);
    // The device-state messages fill the displays: 11.55 V between 10.5 and
    // 12.6 V is 50 %.
    ASSERT_TRUE(Pump([&] { return control->Display().batteryPicture == 403; })) << control->Display().batteryPicture;
    ASSERT_TRUE(Pump([&] { return control->Display().hPos == L"0.00°" && control->Display().vPos == L"0.00°"; }));
    HeadDisplay d = control->Display();
    EXPECT_TRUE(d.controls.pad && d.padEnabled && d.controls.zero && d.controls.park && d.controls.timings);
    EXPECT_FALSE(d.controls.start);  // no view bound
    EXPECT_FALSE(control->PrefsAvailable());
    EXPECT_EQ(d.exposure, L"1/100");
    // Slow motion is switched off before the device goes off.
    control->OnSlow();
    EXPECT_TRUE(control->SlowMotion());
    ASSERT_TRUE(SwitchOff());
    EXPECT_FALSE(control->SlowMotion());
    EXPECT_EQ(control->Handle(), nullptr);
    EXPECT_EQ(LogCount(L"Stopping all pending operations..."), 1u);
    EXPECT_EQ(LogCount(L"Uninitializing VELDAN VR Head."), 1u);
    EXPECT_TRUE(control->MonitorLock().TryEnter());  // the monitor has ended
    control->MonitorLock().Leave();
    EXPECT_EQ(control->Display().batteryPicture, 398);
    EXPECT_TRUE(control->PrefsAvailable());
    // And on again: the library is bound anew.
    ASSERT_TRUE(SwitchOn()) << LogUtf8();
    EXPECT_EQ(LogCount(L"Initializing VELDAN VR Head."), 2u);
    ASSERT_TRUE(SwitchOff());
}

TEST_F(HeadTest, MissingOrRefusedLibraryLeavesTheHeadOff) {
    struct Case {
        std::string library, fake, reason;
    } cases[] = {
        {"libVELDANcontrol_absent.so", "", "libVELDANcontrol_absent.so"},
        {"libVELDANcontrol_fake.so", "1.4.1", "ERROR: interface version 1.4 is not supported"},
        {"libVELDANcontrol_fake.so", "2.0.1", "ERROR: interface version 2.0 is not supported"},
        {"libVELDANcontrol_fake.so", "1.5.0", "ERROR: the library does not use wide text"},
        // 1.9 passes the version check and fails at the first missing entry.
        {"libVELDANcontrol_fake.so", "1.9.1", "ERROR: entry VELDANcontrol_reload is missing"},
    };
    for (const Case& c : cases) {
        setenv("VELDAN_FAKE_CONTROL", c.fake.c_str(), 1);
        HeadControlOptions options;
        options.controlLibrary = c.library;
        MakeControl(options);
        log.clear();
        control->OnOnOff();
        ASSERT_TRUE(Pump([&] { return LogCount(L"ERROR: UNABLE TO INITIALIZE DEVICE") == 1; })) << LogUtf8();
        ASSERT_TRUE(Pump([&] { return control->State() == HeadState::Off; }));
        EXPECT_EQ(control->Handle(), nullptr);
        EXPECT_NE(LogUtf8().find(c.reason), std::string::npos) << c.fake << ": " << LogUtf8();
        EXPECT_EQ(log.back(), L"ERROR: UNABLE TO INITIALIZE DEVICE");
        control->JoinWorkers();
    }
    unsetenv("VELDAN_FAKE_CONTROL");
}

TEST_F(HeadTest, PadMovesDiagonallyWithTwoClicksAndHaltsInTheCentre) {
    ASSERT_TRUE(StartHead());
    MakeControl();
    ASSERT_TRUE(SwitchOn()) << LogUtf8();
    ASSERT_TRUE(control->Display().padEnabled);
    control->OnPadClick(10, 60);  // left
    EXPECT_EQ(control->Motion(), kMotionLeft);
    control->OnPadClick(10, 60);  // left again: no second call, no change
    EXPECT_EQ(control->Motion(), kMotionLeft);
    control->OnPadClick(60, 10);  // up: with left a diagonal
    DrainLog();
    EXPECT_EQ(control->Motion(), kMotionLeft | kMotionUp) << LogUtf8();
    EXPECT_EQ(control->Display().padPicture, kPadLeftUp);
    // The status messages see the moving head: ManualMove, keys grabbed.
    ASSERT_TRUE(Pump([&] { return control->State() == HeadState::ManualMove; }));
    EXPECT_TRUE(control->KeysGrabbed());
    ASSERT_TRUE(Pump([&] {
        double h = 0, v = 0;
        return head.Angles(h, v) && h < -1 && v > 1;
    }));
    control->OnPadClick(60, 60);  // centre: halt
    EXPECT_EQ(control->Motion(), kMotionHalt);
    EXPECT_EQ(control->Display().padPicture, kPadHalt);
    ASSERT_TRUE(Pump([&] { return control->State() == HeadState::Ready && control->Motion() == 0; }));
    EXPECT_FALSE(control->KeysGrabbed());
    EXPECT_EQ(control->Display().padPicture, kPadIdle);
    // A key while the pad moves the head aborts the move.
    control->OnPadClick(100, 60);  // right
    ASSERT_TRUE(Pump([&] { return control->State() == HeadState::ManualMove; }));
    control->OnHotKey();
    EXPECT_EQ(control->State(), HeadState::Cancelling);
    ASSERT_TRUE(Pump([&] { return control->State() == HeadState::Ready; }));
    ASSERT_TRUE(SwitchOff());
}

}  // namespace veldan::test
