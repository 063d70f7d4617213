// The modules over the real pseudo-terminal, seen from the host's end.
#include <gtest/gtest.h>

#include "HeadsimTestSupport.h"

namespace veldan::test {

using namespace veldan::headsim;

namespace {

using namespace std::chrono_literals;

std::vector<std::string> Payloads(const std::vector<RxFrame>& frames) {
    std::vector<std::string> p;
    for (const auto& f : frames) p.push_back(f.payload);
    return p;
}

class BusOverPty : public ::testing::Test {
protected:
    void StartHead(SimOptions options) {
        sim_ = std::make_unique<HeadSimulator>(std::move(options));
        std::string error;
        ASSERT_TRUE(sim_->Start(error)) << error;
        term_ = std::make_unique<RawTerminal>(sim_->LinkPath());
        ASSERT_TRUE(term_->IsOpen());
    }
    void TearDown() override {
        term_.reset();
        sim_.reset();
    }
    int64_t Counter(uint8_t address) {
        auto frames = term_->Ask(address, "p");
        for (auto& f : frames)
            if (f.payload.size() > 1 && f.payload[0] == 'p') return std::stoll(f.payload.substr(1));
        ADD_FAILURE() << "no position answer";
        return INT64_MIN;
    }

    TempHome home_;
    std::unique_ptr<HeadSimulator> sim_;
    std::unique_ptr<RawTerminal> term_;
};

TEST_F(BusOverPty, ModulesTellTheirIdentitiesWithEchoFirst) {
    StartHead(SmallHead(home_));
    EXPECT_EQ(sim_->LinkPath(), home_.Documents() / "VELDANmodular" / "ports" / "COM5");
    auto frames = term_->Ask(1, "w");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].header, 0xA1);
    EXPECT_EQ(frames[0].payload, "w");
    EXPECT_EQ(frames[1].header, 0xA1);
    EXPECT_EQ(frames[1].payload, "w47.210-3300");
    EXPECT_EQ(Payloads(term_->Ask(2, "w")), (std::vector<std::string>{"w", "w47.210-3300/1"}));
    EXPECT_EQ(Payloads(term_->Ask(3, "w")), (std::vector<std::string>{"w", "w47.210-0400"}));
    auto version = Payloads(term_->Ask(1, "v"));
    ASSERT_EQ(version.size(), 2u);
    EXPECT_EQ(version[1].size(), 6u);  // letter, two digits, separator, two digits
    EXPECT_EQ(Payloads(term_->Ask(1, "u")), (std::vector<std::string>{"u", "u36000"}));
    EXPECT_EQ(Payloads(term_->Ask(1, "f")), (std::vector<std::string>{"f", "f4000"}));
    EXPECT_EQ(Payloads(term_->Ask(1, "a")), (std::vector<std::string>{"a", "a3"}));
    EXPECT_EQ(Payloads(term_->Ask(3, "x")), (std::vector<std::string>{"x", "x1260"}));
    // Nobody lives at address 9; frames of answer kind are not obeyed.
    term_->SendFrame(0xC9, "w");
    EXPECT_FALSE(term_->ReadFrame(300ms));
    term_->SendFrame(0xA1, "w");
    EXPECT_FALSE(term_->ReadFrame(300ms));
    // Several frames in one write are all answered, in order.
    term_->SendBytes({0xC1, 'b', 0x0D, 0xC2, 'b', 0x0D});
    std::vector<std::string> got;
    while (auto f = term_->ReadFrame(300ms)) got.push_back(f->payload);
    EXPECT_EQ(got, (std::vector<std::string>{"b", "b0", "b", "b0"}));
}

TEST_F(BusOverPty, EchoFollowsE0E1AndReset) {
    StartHead(SmallHead(home_));
    EXPECT_EQ(Payloads(term_->Ask(2, "E0")), (std::vector<std::string>{"e0"}));
    EXPECT_EQ(Payloads(term_->Ask(2, "p")), (std::vector<std::string>{"p0"}));
    EXPECT_EQ(Payloads(term_->Ask(2, "e")), (std::vector<std::string>{"e0"}));
    // Other modules keep their echo.
    EXPECT_EQ(Payloads(term_->Ask(1, "p")), (std::vector<std::string>{"p", "p0"}));
    // Commands without answer give nothing at all while the echo is off.
    term_->SendFrame(0xC2, "N");
    EXPECT_FALSE(term_->ReadFrame(300ms));
    EXPECT_EQ(Payloads(term_->Ask(2, "E1")), (std::vector<std::string>{"E1", "e1"}));
    EXPECT_EQ(Payloads(term_->Ask(2, "E0")), (std::vector<std::string>{"e0"}));
    // The presence probe: "R" is answered (echoed) whatever the echo was.
    EXPECT_EQ(Payloads(term_->Ask(2, "R")), (std::vector<std::string>{"R"}));
    EXPECT_EQ(Payloads(term_->Ask(2, "e")), (std::vector<std::string>{"e", "e1"}));
    // Unknown commands are echoed and otherwise ignored.
    EXPECT_EQ(Payloads(term_->Ask(3, "Q7")), (std::vector<std::string>{"Q7"}));
}

TEST_F(BusOverPty, MoveAdvancesWithTheInjectedTick) {
    ManualTick tick;
    SimOptions o = SmallHead(home_);
    o.clockPaused = false;  // simulated time follows the (hand-driven) tick
    StartHead(o);
    // 90° = 9000 steps at 3000 steps/s, 1.0 s to full speed: 1 s up, 2 s
    // cruise, 1 s down. Raw target −9000 for +90°.
    for (const char* c : {"S-0009000", "F03000", "A00010", "I5", "J8"})
        EXPECT_EQ(Payloads(term_->Ask(1, c)), (std::vector<std::string>{c}));
    EXPECT_EQ(Payloads(term_->Ask(1, "G0")), (std::vector<std::string>{"G0"}));
    EXPECT_EQ(Counter(1), 0);
    EXPECT_EQ(Payloads(term_->Ask(1, "b")), (std::vector<std::string>{"b", "b1"}));
    tick.Advance(1000);
    EXPECT_EQ(Counter(1), -1500);
    tick.Advance(2000);
    EXPECT_EQ(Counter(1), -7500);
    tick.Advance(1000);
    EXPECT_EQ(Counter(1), -9000);
    EXPECT_EQ(Payloads(term_->Ask(1, "b")), (std::vector<std::string>{"b", "b0"}));
    DriveState s;
    ASSERT_TRUE(sim_->Bus().DriveStateNow(1, s));
    EXPECT_NEAR(s.angle, 90.0, 1e-9);
    EXPECT_EQ(s.holdPower, 5);
    EXPECT_EQ(s.runPower, 8);

    // Relative move of the vertical drive: +4500 raw steps is −45°.
    term_->Ask(2, "S+0004500");
    term_->Ask(2, "G1");
    tick.Advance(10000);
    EXPECT_EQ(Counter(2), 4500);
    ASSERT_TRUE(sim_->Bus().DriveStateNow(2, s));
    EXPECT_NEAR(s.angle, -45.0, 1e-9);
    term_->Ask(2, "G1");  // the same difference once more
    tick.Advance(10000);
    EXPECT_EQ(Counter(2), 9000);

    // Emergency stop holds at once; "O2" brakes over the acceleration time.
    term_->Ask(1, "S+0000000");
    term_->Ask(1, "G0");
    tick.Advance(1000);
    term_->Ask(1, "O1");
    int64_t stopped = Counter(1);
    tick.Advance(1000);
    EXPECT_EQ(Counter(1), stopped);
    EXPECT_EQ(stopped, -7500);
    term_->Ask(1, "G0");
    tick.Advance(1500);  // full speed, heading for 0
    int64_t before = Counter(1);
    term_->Ask(1, "O2");
    tick.Advance(200);
    EXPECT_GT(Counter(1), before);  // still running while braking
    tick.Advance(2000);
    int64_t atRest = Counter(1);
    tick.Advance(1000);
    EXPECT_EQ(Counter(1), atRest);
    EXPECT_LT(atRest, 0);
}

TEST_F(BusOverPty, ReferenceRunEndsAtTheMarkWithTheCounterZero) {
    ManualTick tick;
    SimOptions o = SmallHead(home_);
    o.clockPaused = false;
    o.head.horizontal.startAngle = -60.0;  // power-on 60° left of the mark
    StartHead(o);
    ASSERT_NEAR(sim_->Bus().AnglesNow().horizontal, -60.0, 1e-9);
    EXPECT_EQ(Counter(1), 0);
    term_->Ask(1, "Y");
    tick.Advance(500);
    int64_t halfway = Counter(1);
    EXPECT_LT(halfway, 0);  // running towards the mark: the angle grows, the counter falls
    tick.Advance(10000);
    EXPECT_EQ(Counter(1), 0);
    EXPECT_NEAR(sim_->Bus().AnglesNow().horizontal, 0.0, 1e-9);
    // "N" elsewhere makes that point the zero of the counter only.
    term_->Ask(1, "S-0001000");
    term_->Ask(1, "G0");
    tick.Advance(10000);
    term_->Ask(1, "N");
    EXPECT_EQ(Counter(1), 0);
    EXPECT_NEAR(sim_->Bus().AnglesNow().horizontal, 10.0, 1e-9);
}

TEST_F(BusOverPty, RelaysAndVoltage) {
    StartHead(SmallHead(home_));
    ControlClient control(sim_->SocketPath());
    ASSERT_TRUE(control.IsOpen());
    term_->Ask(3, "L71");
    term_->Ask(3, "L11");
    EXPECT_EQ(control.Ask("relays"), "OK 0100000100");
    term_->Ask(3, "L70");
    term_->Ask(3, "LA1");  // not a relay digit: ignored
    EXPECT_EQ(control.Ask("relays"), "OK 0100000000");
    EXPECT_EQ(control.Ask("voltage 11.87"), "OK 11.87");
    EXPECT_EQ(Payloads(term_->Ask(3, "x")), (std::vector<std::string>{"x", "x1187"}));
    EXPECT_EQ(control.Ask("voltage abc").rfind("ERR", 0), 0u);
    // Reset switches every relay off.
    term_->Ask(3, "R");
    EXPECT_EQ(control.Ask("relays"), "OK 0000000000");
}

TEST_F(BusOverPty, ConfiguredAddressesAndClashes) {
    SimOptions o = SmallHead(home_);
    o.head.horizontal.address = 7;
    o.head.control.address = 2;  // the vertical drive lives there
    HeadSimulator clash(o);
    std::string error;
    EXPECT_FALSE(clash.Start(error));
    EXPECT_NE(error.find("address 2"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(clash.LinkPath())));
    o.head.control.address = 31;
    StartHead(o);
    EXPECT_EQ(Payloads(term_->Ask(7, "w")), (std::vector<std::string>{"w", "w47.210-3300"}));
    EXPECT_EQ(Payloads(term_->Ask(31, "w")), (std::vector<std::string>{"w", "w47.210-0400"}));
    term_->SendFrame(0xC1, "w");
    EXPECT_FALSE(term_->ReadFrame(300ms));
}

TEST_F(BusOverPty, BaudRateGivesEveryByteItsTime) {
    SimOptions o = SmallHead(home_);
    o.baud = 1200;  // 8.33 ms a byte, so that the timing is far above scheduling noise
    StartHead(o);
    auto start = std::chrono::steady_clock::now();
    auto frames = term_->Ask(1, "w", 500ms);
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(Payloads(frames), (std::vector<std::string>{"w", "w47.210-3300"}));
    // 3 bytes in, 3 + 14 bytes out: at least 20 byte times.
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 20 * 8);
}

}  // namespace
}  // namespace veldan::test
