// Byte-level framing and the motion model of a drive.
#include <gtest/gtest.h>

#include <cmath>

#include "DriveModule.h"
#include "Frame.h"
#include "MotionProfile.h"

namespace veldan::test {

using namespace veldan::headsim;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int b : list) v.push_back(static_cast<uint8_t>(b));
    return v;
}

TEST(FrameDecoder, CutsFramesAsTheBusIsRead) {
    FrameDecoder d;
    // Junk before the header is discarded.
    auto a = Bytes({0x41, 0xC1, 0x62, 0x0D});
    d.Feed(a.data(), a.size());
    auto f = d.Next();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->kind, kKindCommand);
    EXPECT_EQ(f->address, 1);
    EXPECT_EQ(f->payload, "b");
    EXPECT_EQ(d.Pending(), 0u);
    // A frame whose header was lost goes with its terminator.
    auto b = Bytes({0x61, 0x62, 0x0D, 0xA2, 0x70, 0x0D});
    d.Feed(b.data(), b.size());
    f = d.Next();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->kind, kKindAnswer);
    EXPECT_EQ(f->address, 2);
    EXPECT_EQ(f->payload, "p");
    // An unfinished frame waits for its terminator.
    auto c = Bytes({0xC5, 0x78});
    d.Feed(c.data(), c.size());
    EXPECT_FALSE(d.Next());
    EXPECT_EQ(d.Pending(), 2u);
    uint8_t cr = 0x0D;
    d.Feed(&cr, 1);
    f = d.Next();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->address, 5);
    EXPECT_EQ(f->payload, "x");
    // A header directly before the terminator: empty payload. Of two headers
    // the last one before the terminator counts.
    auto e = Bytes({0xC7, 0x0D, 0xC1, 0xC3, 0x47, 0x30, 0x0D});
    d.Feed(e.data(), e.size());
    f = d.Next();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->payload, "");
    f = d.Next();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->address, 3);
    EXPECT_EQ(f->payload, "G0");
    EXPECT_FALSE(d.Next());
}

TEST(FrameDecoder, EncodeNeverBreaksTheLine) {
    auto bytes = EncodeFrame(kKindAnswer, 3, std::string("a\rb\xC3", 4));
    ASSERT_EQ(bytes.size(), 6u);
    EXPECT_EQ(bytes[0], 0xA3);
    EXPECT_EQ(bytes[2], '?');
    EXPECT_EQ(bytes[4], '?');
    EXPECT_EQ(bytes[5], 0x0D);
}

TEST(MotionProfile, TrapezoidReachesTheTargetInTheExpectedTime) {
    MotionProfile m(0.0);
    // 9000 steps at 3000 steps/s, 3000 steps/s²: 1 s up, 2 s cruise, 1 s down.
    m.MoveTo(0.0, 9000.0, 3000.0, 3000.0);
    EXPECT_NEAR(m.EndTime(), 4000.0, 1e-6);
    EXPECT_NEAR(m.PositionAt(500.0), 375.0, 1e-6);
    EXPECT_NEAR(m.PositionAt(1000.0), 1500.0, 1e-6);
    EXPECT_NEAR(m.VelocityAt(2000.0), 3000.0, 1e-6);
    EXPECT_NEAR(m.PositionAt(3000.0), 7500.0, 1e-6);
    EXPECT_EQ(m.PositionAt(4000.0), 9000.0);
    EXPECT_FALSE(m.IsMovingAt(4000.0));
}

TEST(MotionProfile, ShortMoveIsATriangleAndNewOrdersBrakeFirst) {
    MotionProfile m(100.0);
    m.MoveTo(0.0, -300.0, 3000.0, 1000.0);  // 400 steps: peak 632 steps/s
    EXPECT_NEAR(m.EndTime(), 2.0 * std::sqrt(400.0 / 1000.0) * 1000.0, 1e-6);
    EXPECT_NEAR(m.PositionAt(m.EndTime() / 2), -100.0, 1e-6);
    // Turned round while running: brakes, then runs to the new target.
    MotionProfile n(0.0);
    n.MoveTo(0.0, 10000.0, 1000.0, 1000.0);
    n.MoveTo(2000.0, 0.0, 1000.0, 1000.0);
    EXPECT_GT(n.PositionAt(2500.0), n.PositionAt(2000.0));  // still braking forwards
    EXPECT_EQ(n.PositionAt(n.EndTime()), 0.0);
    // Brake and halt.
    MotionProfile b(0.0);
    b.MoveTo(0.0, 100000.0, 1000.0, 1000.0);
    b.Brake(2000.0, 1000.0);
    EXPECT_NEAR(b.FinalPosition(), 1500.0 + 500.0, 1e-6);
    b.Halt(2500.0);
    EXPECT_FALSE(b.IsMovingAt(2500.0));
}

TEST(DriveModule, SignConventionAndReferenceRun) {
    DriveConfig c;
    c.stepsPerTurn = 4000;
    c.startAngle = 36.0;
    DriveModule d(c, 0.0);
    EXPECT_NEAR(d.AngleAt(0.0), 36.0, 1e-9);
    EXPECT_EQ(d.StateAt(0.0).counter, 0);  // the counter starts at 0 where the axis stands
    CommandEffects fx;
    d.HandleCommand("Y", 0.0, false, fx);
    EXPECT_TRUE(d.IsMovingAt(10.0));
    EXPECT_TRUE(d.StateAt(10.0).referencing);
    DriveState s = d.StateAt(60000.0);
    EXPECT_FALSE(s.moving);
    EXPECT_FALSE(s.referencing);
    EXPECT_EQ(s.counter, 0);
    EXPECT_NEAR(s.angle, 0.0, 1e-9);
    // Raw counter −1000 is +90°: the angle runs against the counter.
    d.HandleCommand("S-0001000", 60000.0, false, fx);
    d.HandleCommand("G0", 60000.0, false, fx);
    s = d.StateAt(120000.0);
    EXPECT_EQ(s.counter, -1000);
    EXPECT_NEAR(s.angle, 90.0, 1e-9);
    // "N" zeroes the counter where the axis stands; the angle stays.
    d.HandleCommand("N", 120000.0, false, fx);
    s = d.StateAt(120000.0);
    EXPECT_EQ(s.counter, 0);
    EXPECT_NEAR(s.angle, 90.0, 1e-9);
    // Malformed arguments are ignored and counted.
    uint64_t rejected = d.CommandsRejected();
    d.HandleCommand("S12x", 120000.0, false, fx);
    d.HandleCommand("F-0001", 120000.0, false, fx);
    d.HandleCommand("I10", 120000.0, false, fx);
    EXPECT_EQ(d.CommandsRejected(), rejected + 3);
    EXPECT_EQ(d.StateAt(120000.0).target, -1000);
}

}  // namespace
}  // namespace veldan::test
