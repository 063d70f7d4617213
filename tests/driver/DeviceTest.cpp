// Device queue rules, answers and constraints on devices registered at a
// closed enclosure (no line involved): the enclosure's output thread is
// played by the test through GetNextSendPacket/PacketSent.
#include <gtest/gtest.h>

#include <cstring>

#include "FakeTick.h"
#include "Pelkor.h"
#include "platform/Window.h"

namespace veldan::test {

using Texts = std::vector<std::string>;

namespace {

// Opens the protected parts for the tests.
struct TestDevice : CPelkorDevice {
    using CPelkorDevice::busyMarker;
    using CPelkorDevice::SendCommand;
    using CPelkorDevice::SetProgress;
};

struct TestDrive : CPelkorDeviceDrive {
    using CPelkorDeviceDrive::commandedAngle;
    using CPelkorDeviceDrive::minAcceleration;
    using CPelkorDeviceDrive::SetupNewPosition;
    using CPelkorDeviceDrive::zeroOffset;
};

void Answer(CPelkorDevice& device, const char* text, uint64_t at = PelkorPacket::GetCurrentTimestamp()) {
    PelkorPacket p;
    p.kind = PELKOR_KIND_ANSWER;
    p.busId = device.GetStatusDeviceID();
    p.SetPayload(text);
    p.dueTime = at;
    device.ProcessPacket(&p);
}

// Plays the output thread once: takes the next packet and accounts it sent.
std::string SendNext(CPelkorDevice& device) {
    device.LockState();
    PelkorPacket* p = device.GetNextSendPacket();
    std::string text;
    if (p) {
        text.assign(reinterpret_cast<const char*>(p->payload.data), p->payload.length);
        device.PacketSent(p);
    }
    device.UnlockState();
    return text;
}

class Devices : public ::testing::Test {
protected:
    ScopedFakeTick tick{50000};
    CPelkorEnclosure enclosure;
};

}  // namespace

TEST_F(Devices, UnregisteredDeviceRefusesCommands) {
    TestDevice d;
    EXPECT_FALSE(d.IsReady());
    EXPECT_FALSE(d.SendCommand("p", false, false, true));
    EXPECT_TRUE(d.QueuedCommands(false).empty());
}

TEST_F(Devices, ConsecutiveDuplicatesCollapse) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 1);
    d.SendCommand("p", false, false, true);
    d.SendCommand("p", false, false, true);
    EXPECT_EQ(d.QueuedCommands(false), Texts{"p"});
    d.SendCommand("b", false, true, false);
    d.SendCommand("p", false, false, true);
    EXPECT_EQ(d.QueuedCommands(false), (Texts{"p", "b", "p"}));
}

TEST_F(Devices, CommandCarriesEchoAndSerializeFlags) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 4);
    d.SendCommand("w", false, true, true);
    d.LockState();
    PelkorPacket* p = d.GetNextSendPacket();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, PELKOR_KIND_COMMAND);
    EXPECT_EQ(p->busId, 4);
    EXPECT_TRUE(p->expectEcho);
    EXPECT_TRUE(p->serialize);
    EXPECT_TRUE(p->awaitAnswer);
    EXPECT_TRUE(p->immediate);
    EXPECT_FALSE(p->setsBusy);
    d.UnlockState();
}

TEST_F(Devices, EchoedCommandIsResentEverySecondUntilItsEchoArrives) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 1);
    d.SendCommand("G0", true, false, false);
    EXPECT_TRUE(d.GetStatusBusy());
    EXPECT_EQ(d.busyMarker, 0u) << "busy answers are ignored until the echo";
    EXPECT_EQ(SendNext(d), "G0");
    d.LockState();
    PelkorPacket* head = d.GetNextSendPacket();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->dueTime, 51000u);
    EXPECT_EQ(head->sendCount, 1u);
    d.UnlockState();
    // A stale idle report before the echo changes nothing.
    Answer(d, "b0", 50100);
    EXPECT_TRUE(d.GetStatusBusy());
    tick.Set(50200);
    Answer(d, "G0", 50200);  // the echo
    EXPECT_TRUE(d.QueuedCommands(false).empty());
    EXPECT_EQ(d.busyMarker, 50200u);
    Answer(d, "b0", 50150);
    EXPECT_TRUE(d.GetStatusBusy()) << "older than the echo";
    Answer(d, "b0", 50300);
    EXPECT_FALSE(d.GetStatusBusy());
}

TEST_F(Devices, QueryBlocksTheQueueBetweenEchoAndAnswer) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 2);
    d.SendCommand("w", false, true, true);
    d.SendCommand("v", false, false, true);
    EXPECT_EQ(SendNext(d), "w");
    Answer(d, "w");  // echo
    EXPECT_EQ(SendNext(d), "") << "blocked until the answer";
    Answer(d, "m-foreign");  // another answer does not release it
    EXPECT_EQ(SendNext(d), "");
    Answer(d, "w47.210-3300");
    EXPECT_STREQ(d.GetStatusDeviceAlias(), "47.210-3300");
    EXPECT_EQ(SendNext(d), "v");
}

TEST_F(Devices, StatusAnswersAreParsed) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 2);
    Answer(d, "v01.23");
    EXPECT_EQ(d.GetStatusVersion(), 279);
    Answer(d, "v1.2");
    EXPECT_EQ(d.GetStatusVersion(), 279);
    Answer(d, "mKAMBRE");
    EXPECT_STREQ(d.GetStatusManufacturer(), "KAMBRE");
    const char* before = d.GetStatusManufacturer();
    Answer(d, "mOTHER");
    EXPECT_STREQ(before, "KAMBRE") << "a text handed out stays valid";
    Answer(d, "e0");
    EXPECT_FALSE(d.EchoEnabled());
    Answer(d, "e1");
    EXPECT_TRUE(d.EchoEnabled());
    tick.Advance(10);
    Answer(d, "b9");
    EXPECT_TRUE(d.GetStatusError());
    Answer(d, "b1");
    EXPECT_FALSE(d.GetStatusError());
    EXPECT_TRUE(d.GetStatusBusy());
    PelkorPacket empty;
    EXPECT_FALSE(d.ProcessPacket(&empty) && false);
}

TEST_F(Devices, BusyDevicePostponesAndReleasesUntilTheNextBusyCommand) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 1);
    d.SendCommand("G0", true, false, false);
    d.SendCommand("p", false, false, true);
    d.SendCommand("G1", true, false, false);
    d.SendCommand("N", false, false, false);
    d.SendCommand("b", false, true, false);  // immediate passes
    EXPECT_EQ(d.QueuedCommands(false), (Texts{"G0", "b"}));
    EXPECT_EQ(d.QueuedCommands(true), (Texts{"p", "G1", "N"}));
    tick.Advance(5);
    Answer(d, "G0");
    Answer(d, "b0");
    EXPECT_TRUE(d.GetStatusBusy()) << "G1 made it busy again";
    EXPECT_EQ(d.QueuedCommands(false), (Texts{"b", "p", "G1"}));
    EXPECT_EQ(d.QueuedCommands(true), Texts{"N"});
}

TEST_F(Devices, ProgressOutsideItsRangeBecomesNone) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 1);
    d.SetProgress(500);
    EXPECT_EQ(d.GetProgress(), 500);
    d.SetProgress(1001);
    EXPECT_EQ(d.GetProgress(), -1);
}

TEST_F(Devices, ConstraintsReplaceAndCheckTheirSize) {
    TestDevice d;
    double a = 10, b = 20, out = 0;
    EXPECT_TRUE(d.SetConstraint(ConstraintMinAngle, &a, sizeof a));
    EXPECT_TRUE(d.SetConstraint(ConstraintMinAngle, &b, sizeof b));
    EXPECT_TRUE(d.GetConstraint(ConstraintMinAngle, &out, sizeof out));
    EXPECT_EQ(out, 20);
    EXPECT_FALSE(d.GetConstraint(ConstraintMinAngle, &out, 4));
    EXPECT_FALSE(d.SetConstraint(ConstraintMaxAngle, nullptr, 8));
    EXPECT_TRUE(d.ClearConstraint(ConstraintMinAngle));
    EXPECT_FALSE(d.ClearConstraint(ConstraintMinAngle));
    EXPECT_FALSE(d.GetConstraint(ConstraintMinAngle, &out, sizeof out));

    TestDrive drive;
    EXPECT_FALSE(drive.SetConstraint(ConstraintMinAngle, &a, 4));
    EXPECT_FALSE(drive.SetConstraint(0x0001000100000009ull, nullptr, 0));
    EXPECT_TRUE(drive.SetConstraint(ConstraintWrapAxis, "x", 1));
}

TEST_F(Devices, EchoSwitchingSendsE1AndE0) {
    TestDevice d;
    d.RegisterDevice(&enclosure, 1);
    EXPECT_TRUE(d.DisableEcho());
    EXPECT_EQ(d.QueuedCommands(false), Texts{"E0"});
    EXPECT_TRUE(d.EnableEcho());
    EXPECT_EQ(d.QueuedCommands(false), (Texts{"E0", "E1"}));
    EXPECT_TRUE(d.EnableEcho());
    EXPECT_EQ(d.QueuedCommands(false).size(), 2u);
}

TEST(DeviceClasses, IdentityListsMatchPrefixesButTheLastEntryExactly) {
    EXPECT_TRUE(CPelkorDeviceDrive::CompatibleDevice("47.210-3300"));
    EXPECT_TRUE(CPelkorDeviceDrive::CompatibleDevice("47.210-3300/5"));
    EXPECT_TRUE(CPelkorDeviceDrive::CompatibleDevice("47.210-3300-custom"));
    EXPECT_FALSE(CPelkorDeviceDrive::CompatibleDevice("47.210-330"));
    EXPECT_FALSE(CPelkorDeviceDrive::CompatibleDevice(nullptr));
    EXPECT_TRUE(CPelkorDeviceControl::CompatibleDevice("47.210-0400"));
    EXPECT_TRUE(CPelkorDeviceControl::CompatibleDevice("47.210-0400/2"));
    EXPECT_TRUE(CPelkorDeviceControl::CompatibleDevice("47.210-2600"));
    EXPECT_FALSE(CPelkorDeviceControl::CompatibleDevice("47.210-2600/1"));
    EXPECT_TRUE(CPelkorDeviceCtrlDrv::CompatibleDevice("05.640-5100"));
    EXPECT_FALSE(CPelkorDeviceCtrlDrv::CompatibleDevice("05.640-5100/1"));
    EXPECT_FALSE(CPelkorDevice::CompatibleDevice("47.210-3300"));
    EXPECT_EQ(CPelkorDevice().GetDriverId(), 0u);
    EXPECT_EQ(CPelkorDeviceDrive().GetDriverId(), 0x0001000100000064ull);
    EXPECT_EQ(CPelkorDeviceControl().GetDriverId(), 0x0001000200000064ull);
    EXPECT_EQ(CPelkorDeviceCtrlDrv().GetDriverId(), 0x0001000300000064ull);
}

// ---- Drive ----

namespace {

class Drive : public Devices {
protected:
    void SetUp() override {
        drive.RegisterDevice(&enclosure, 1);
        Answer(drive, "u4000");
        Answer(drive, "f1000");
    }
    TestDrive drive;
};

}  // namespace

TEST_F(Drive, GotoQueuesPositionSpeedSettingsAndMove) {
    ASSERT_TRUE(drive.Goto(90, 1.0));
    EXPECT_EQ(drive.QueuedCommands(false), (Texts{"S-0001000", "F00750", "I9", "J9", "A00010", "G0"}));
    EXPECT_EQ(drive.QueuedCommands(true), Texts{"p"});
    EXPECT_TRUE(drive.GetStatusBusy());
    ASSERT_TRUE(drive.Goto(45, 1.0));
    EXPECT_EQ(drive.QueuedCommands(true), (Texts{"p", "S-0000500", "F00750", "G0", "p"})) << "no I, J or A again";
}

TEST_F(Drive, MovesWithoutCalibrationAskForIt) {
    TestDrive fresh;
    fresh.RegisterDevice(&enclosure, 2);
    EXPECT_FALSE(fresh.Goto(10, 1));
    EXPECT_EQ(fresh.QueuedCommands(false), Texts{"u"});
    Answer(fresh, "u4000");
    EXPECT_FALSE(fresh.Goto(10, 1)) << "speed base unknown";
    EXPECT_EQ(fresh.QueuedCommands(false), (Texts{"S-0000111", "f"}));
}

TEST_F(Drive, WrapAxisTakesTheShorterAllowedWay) {
    drive.SetConstraint(ConstraintWrapAxis, nullptr, 0);
    drive.commandedAngle = 350;
    ASSERT_TRUE(drive.Goto(10, 1));
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 370);

    drive.Purge();
    drive.commandedAngle = 0;
    ASSERT_TRUE(drive.Goto(180, 1));
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 180) << "equal ways go up when the target is above";
    drive.commandedAngle = 90;
    ASSERT_TRUE(drive.Goto(90, 1));
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 90);
    drive.commandedAngle = 720 + 10;
    ASSERT_TRUE(drive.Goto(-20, 1));
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 700) << "angles keep counting over turns";
}

TEST_F(Drive, WrapAxisRespectsLimits) {
    drive.SetConstraint(ConstraintWrapAxis, nullptr, 0);
    double low = 0, high = 360;
    drive.SetConstraint(ConstraintMinAngle, &low, sizeof low);
    drive.SetConstraint(ConstraintMaxAngle, &high, sizeof high);
    drive.commandedAngle = 10;
    ASSERT_TRUE(drive.Goto(350, 1));
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 350) << "down would pass 0: up by 340";

    high = 300;
    drive.SetConstraint(ConstraintMaxAngle, &high, sizeof high);
    drive.Purge();
    drive.commandedAngle = 10;
    const auto before = drive.QueuedCommands(false);
    EXPECT_FALSE(drive.Goto(350, 1));
    EXPECT_EQ(drive.QueuedCommands(false), before) << "nothing sent";
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 10);
}

TEST_F(Drive, PlainAxisClampsToLimits) {
    double low = 0, high = 300;
    drive.SetConstraint(ConstraintMinAngle, &low, sizeof low);
    drive.SetConstraint(ConstraintMaxAngle, &high, sizeof high);
    ASSERT_TRUE(drive.Goto(-40, 1));
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 0);
    drive.commandedAngle = 250;
    ASSERT_TRUE(drive.Go(100, 1));
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 300) << "the difference became 50";
}

TEST_F(Drive, RelativeMoveSendsTheNegatedStepDifference) {
    drive.zeroOffset = 777;
    ASSERT_TRUE(drive.Go(9, 1));
    EXPECT_EQ(drive.QueuedCommands(false)[0], "S-0000100");
    EXPECT_EQ(drive.zeroOffset, 777);
    EXPECT_EQ(drive.GetPositionSteps(), 100);
    EXPECT_EQ(drive.QueuedCommands(false).back(), "G1");
}

TEST_F(Drive, PositionAnswersDriveTheBusyState) {
    Answer(drive, "p-1000");
    EXPECT_EQ(drive.GetPositionSteps(), 1000);
    EXPECT_DOUBLE_EQ(drive.GetCurrentPosition(), 90);
    EXPECT_TRUE(drive.GetStatusBusy()) << "the position changed";
    Answer(drive, "p-1000");
    EXPECT_FALSE(drive.GetStatusBusy()) << "two equal answers: it stands";
    EXPECT_DOUBLE_EQ(drive.GetCommandedAngle(), 90);
    ASSERT_TRUE(drive.SetupNewPosition(45));
    EXPECT_EQ(drive.QueuedCommands(false).back(), "S-0000500");
    drive.StopMonitorThread();
}

TEST_F(Drive, PowerAndAccelerationSettings) {
    drive.SetupSleepPower(0.05);
    EXPECT_EQ(drive.GetSleepPower(), 1);
    drive.SetupSleepPower(0.95);
    EXPECT_EQ(drive.GetSleepPower(), 9);
    drive.SetupSleepPower(-1);
    EXPECT_EQ(drive.GetSleepPower(), 0);
    drive.SetupWorkPower(0.55);
    EXPECT_EQ(drive.GetWorkPower(), 5);
    drive.SetupAccelerationTime(0.25);
    EXPECT_EQ(drive.GetAccelTenths(), 2);
    drive.minAcceleration = 3.7;
    ASSERT_TRUE(drive.Goto(1, 1));
    EXPECT_EQ(drive.QueuedCommands(false), (Texts{"S-0000011", "F00750", "I0", "J5", "A00003", "G0"}));
}

TEST_F(Drive, StopAndAbort) {
    EXPECT_TRUE(drive.Stop(false, false));
    EXPECT_TRUE(drive.QueuedCommands(false).empty()) << "idle: nothing to stop";
    drive.Goto(90, 1);
    drive.GotoReference(1);  // F, Y, N, p postponed behind the move
    drive.Goto(10, 1);
    ASSERT_TRUE(drive.GetStatusBusy());
    ASSERT_TRUE(drive.Abort());
    // From the back up to the zeroing; O2 waits behind the running move.
    EXPECT_EQ(drive.QueuedCommands(true), (Texts{"p", "F00750", "Y", "N", "O2"}));
    EXPECT_EQ(drive.QueuedCommands(false).back(), "G0");

    ASSERT_TRUE(drive.Stop(true, false));
    EXPECT_EQ(drive.QueuedCommands(false), Texts{"O1"});
    EXPECT_EQ(drive.QueuedCommands(true), Texts{"p"});
}

TEST_F(Drive, ReferenceRunAndZeroing) {
    drive.zeroOffset = 50;
    ASSERT_TRUE(drive.GotoReference(1.0));
    EXPECT_EQ(drive.QueuedCommands(false), (Texts{"F00750", "Y"}));
    EXPECT_EQ(drive.QueuedCommands(true), (Texts{"N", "p"}));
    EXPECT_EQ(drive.zeroOffset, 0);
    ASSERT_TRUE(drive.SetZeroPoint(false));
    EXPECT_FALSE(drive.GetStatusBusy());
    EXPECT_EQ(drive.QueuedCommands(false), (Texts{"N", "p"}));
}

TEST_F(Drive, RecordRoundTripsAndMissingFieldsTakeDefaults) {
    Answer(drive, "a37");
    Answer(drive, "p-2000");
    drive.StopMonitorThread();
    MemBlockDesc record;
    ASSERT_TRUE(drive.Hibernate(&record));
    EXPECT_EQ(record.length, 64u);
    EXPECT_FALSE(drive.IsReady()) << "a hibernated drive accepts no commands";

    TestDrive restored;
    restored.RegisterDevice(&enclosure, 1);
    ASSERT_TRUE(restored.Resume(&record));
    EXPECT_EQ(restored.GetPositionSteps(), 2000);
    EXPECT_EQ(restored.zeroOffset, 2000);
    EXPECT_EQ(restored.GetStepsPerTurn(), 4000);
    EXPECT_EQ(restored.GetSpeedBase(), 1000);
    EXPECT_DOUBLE_EQ(restored.GetMinAcceleration(), 3.7);
    EXPECT_DOUBLE_EQ(restored.GetCurrentPosition(), 180);
    EXPECT_EQ(restored.QueuedCommands(false), (Texts{"N", "u", "f", "a", "m", "w", "v", "p"}));

    MemBlockDesc shortRecord;
    shortRecord.Add(int64_t{5});
    TestDrive partial;
    partial.RegisterDevice(&enclosure, 1);
    ASSERT_TRUE(partial.Resume(&shortRecord));
    EXPECT_EQ(partial.GetStepsPerTurn(), 1);
    EXPECT_EQ(partial.GetAccelTenths(), 10);
    EXPECT_EQ(partial.GetSleepPower(), 9);
}

// ---- Control modules ----

TEST_F(Devices, RelaysAndVoltage) {
    CPelkorDeviceControl control;
    control.RegisterDevice(&enclosure, 3);
    EXPECT_TRUE(control.SetRelayState(3, true));
    EXPECT_EQ(control.QueuedCommands(false), Texts{"L31"});
    EXPECT_TRUE(control.GetRelayState(3));
    EXPECT_TRUE(control.GetStatusBusy()) << "busy while its queue holds packets";
    EXPECT_FALSE(control.SetRelayState(10, true));
    EXPECT_FALSE(control.GetRelayState(10));
    EXPECT_EQ(control.QueuedCommands(false).size(), 1u);
    Answer(control, "x1234");
    EXPECT_DOUBLE_EQ(control.GetVoltage(), 12.34);
    Answer(control, "x-5");
    EXPECT_DOUBLE_EQ(control.GetVoltage(), -0.05);
    PelkorPacket empty;
    empty.busId = 3;
    EXPECT_FALSE(control.ProcessPacket(&empty));

    CPelkorDeviceControl unregistered;
    EXPECT_FALSE(unregistered.SetRelayState(1, true));
    EXPECT_FALSE(unregistered.GetRelayState(1)) << "a refused command leaves the state";
}

TEST_F(Devices, VoltageIsPolledOnlyWhileNoDeviceIsBusy) {
    CPelkorDeviceControl control;
    control.RegisterDevice(&enclosure, 3);
    ASSERT_TRUE(control.UpdateVoltage());
    EXPECT_EQ(control.QueuedCommands(false), Texts{"x"}) << "closed enclosure: no device is busy";
    ASSERT_TRUE(control.UpdateVoltage());
    EXPECT_EQ(control.QueuedCommands(false), Texts{"x"}) << "one poll at a time";
}

TEST_F(Devices, ControlDriveStartsWithRelayNineOn) {
    CPelkorDeviceCtrlDrv module;
    module.RegisterDevice(&enclosure, 5);
    ASSERT_TRUE(module.Init());
    EXPECT_TRUE(module.GetRelayState(9));
    EXPECT_FALSE(module.GetRelayState(0));
    const auto queued = module.QueuedCommands(false);
    EXPECT_EQ(queued.front(), "u");
    EXPECT_EQ(queued.back(), "L91");
    EXPECT_EQ(std::count(queued.begin(), queued.end(), "Y"), 0) << "no reference run at start-up";
}

}  // namespace veldan::test
