// Injected faults, each seen from the host's end of the line.
#include <gtest/gtest.h>

#include <thread>

#include "HeadsimTestSupport.h"

namespace veldan::test {

using namespace veldan::headsim;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = std::make_unique<HeadSimulator>(SmallHead(home_));
        std::string error;
        ASSERT_TRUE(sim_->Start(error)) << error;
        term_ = std::make_unique<RawTerminal>(sim_->LinkPath());
        control_ = std::make_unique<ControlClient>(sim_->SocketPath());
        ASSERT_TRUE(term_->IsOpen());
        ASSERT_TRUE(control_->IsOpen());
    }
    void TearDown() override {
        control_.reset();
        term_.reset();
        sim_.reset();
    }
    std::vector<std::string> Payloads(uint8_t address, const std::string& command) {
        std::vector<std::string> p;
        for (auto& f : term_->Ask(address, command)) p.push_back(f.payload);
        return p;
    }
    TempHome home_;
    std::unique_ptr<HeadSimulator> sim_;
    std::unique_ptr<RawTerminal> term_;
    std::unique_ptr<ControlClient> control_;
};

TEST_F(Faults, LostEchoesLeaveTheAnswers) {
    EXPECT_EQ(control_->Ask("fault echo-loss 1"), "OK echo-loss 1");
    EXPECT_EQ(Payloads(1, "w"), (std::vector<std::string>{"w47.210-3300"}));
    term_->SendFrame(0xC1, "N");
    EXPECT_FALSE(term_->ReadFrame(300ms));
    EXPECT_EQ(Field(control_->Ask("stats"), "echoes_lost"), "2");
    EXPECT_EQ(control_->Ask("fault echo-loss 0"), "OK echo-loss 0");
    EXPECT_EQ(Payloads(1, "w"), (std::vector<std::string>{"w", "w47.210-3300"}));
    EXPECT_EQ(control_->Ask("fault echo-loss 2").rfind("ERR", 0), 0u);
}

TEST_F(Faults, MuteModuleIsSilentAndDoesNothing) {
    EXPECT_EQ(control_->Ask("fault mute 3"), "OK mute 3");
    term_->SendFrame(0xC3, "L11");
    EXPECT_FALSE(term_->ReadFrame(300ms));
    EXPECT_EQ(control_->Ask("relays"), "OK 0000000000");
    EXPECT_EQ(sim_->Camera().Presses(), 0u);
    // The other modules still answer.
    EXPECT_EQ(Payloads(1, "w"), (std::vector<std::string>{"w", "w47.210-3300"}));
    EXPECT_EQ(Field(control_->Ask("faults"), "muted"), "3");
    EXPECT_EQ(control_->Ask("fault unmute 3"), "OK unmute 3");
    EXPECT_EQ(Payloads(3, "w"), (std::vector<std::string>{"w", "w47.210-0400"}));
    EXPECT_EQ(control_->Ask("fault mute 17"), "ERR no module at address 17");
}

TEST_F(Faults, ModuleErrorAnswersB9) {
    EXPECT_EQ(control_->Ask("fault error 2 on"), "OK error 2 on");
    EXPECT_EQ(Payloads(2, "b"), (std::vector<std::string>{"b", "b9"}));
    term_->Ask(2, "R");  // a reset clears the error
    EXPECT_EQ(Payloads(2, "b"), (std::vector<std::string>{"b", "b0"}));
}

TEST_F(Faults, DroppedBytesLoseWholeFrames) {
    EXPECT_EQ(control_->Ask("fault drop 1"), "OK drop 1");
    term_->SendFrame(0xC1, "w");
    EXPECT_TRUE(term_->ReadFor(300ms).empty());
    EXPECT_EQ(Field(control_->Ask("stats"), "rx_frames"), "0");
    // Some loss: of many queries some answers are missing, none is garbled
    // into another command's answer.
    control_->Ask("seed 7");
    control_->Ask("fault drop 0.05");
    int complete = 0;
    for (int i = 0; i < 40; ++i) {
        term_->SendFrame(0xC1, "u");
        while (auto f = term_->ReadFrame(60ms))
            if (f->payload == "u36000") ++complete;
    }
    EXPECT_GT(complete, 5);
    EXPECT_LT(complete, 40);
    EXPECT_GT(std::stoul(Field(control_->Ask("stats"), "dropped")), 0u);
}

TEST_F(Faults, LineNoiseCorruptsBytes) {
    control_->Ask("seed 3");
    EXPECT_EQ(control_->Ask("fault noise 1"), "OK noise 1");
    term_->SendFrame(0xC1, "w");
    // Every byte changed on the way in: nothing the module understands, so
    // no proper answer ever comes back.
    auto bytes = term_->ReadFor(300ms);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("47.210"), std::string::npos);
    EXPECT_GT(std::stoul(Field(control_->Ask("stats"), "corrupted")), 0u);
    EXPECT_EQ(control_->Ask("fault clear").rfind("OK", 0), 0u);
    EXPECT_EQ(Payloads(1, "w"), (std::vector<std::string>{"w", "w47.210-3300"}));
}

TEST_F(Faults, CameraThatDeliversNoFiles) {
    EXPECT_EQ(control_->Ask("fault camera-nofiles on"), "OK camera-nofiles on");
    term_->Ask(3, "L11");
    term_->Ask(3, "L10");
    ASSERT_TRUE(WaitFor([&] { return sim_->Camera().FramesLost() == 1; }));
    EXPECT_EQ(sim_->Camera().Presses(), 1u);
    EXPECT_FALSE(fs::exists(home_.Capture() / "IMG_0001.JPG"));
    // A release through the socket waits for the file until its time-out.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(control_->Ask("camera release 0.3"), "ERR 4 no picture arrived");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
    control_->Ask("fault camera-nofiles off");
    std::string reply = control_->Ask("camera release 10");
    EXPECT_EQ(reply, "OK " + (home_.Capture() / "IMG_0001.JPG").string());
    // Disconnected: no picture at all, and the ping says so.
    control_->Ask("fault camera-disconnect on");
    EXPECT_EQ(control_->Ask("camera ping"), "OK 2");
    EXPECT_EQ(control_->Ask("camera release 1"), "ERR 2 camera disconnected");
    term_->Ask(3, "L11");
    EXPECT_EQ(sim_->Camera().Presses(), 3u);
}

TEST_F(Faults, VanishedLineHangsUpAndComesBack) {
    fs::path link = sim_->LinkPath();
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(control_->Ask("fault vanish"), "OK vanished");
    EXPECT_TRUE(term_->HungUp(2000ms));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(Field(control_->Ask("state"), "port"), "vanished");
    std::string reply = control_->Ask("fault restore");
    ASSERT_EQ(reply.rfind("OK /dev/", 0), 0u) << reply;
    ASSERT_TRUE(fs::is_symlink(link));
    term_ = std::make_unique<RawTerminal>(link);
    ASSERT_TRUE(term_->IsOpen());
    EXPECT_EQ(Payloads(2, "w"), (std::vector<std::string>{"w", "w47.210-3300/1"}));
}

TEST_F(Faults, ControlSocketRefusesNonsense) {
    for (const char* bad :
         {"fly", "fault", "fault noise x", "fault mute", "drive 3", "clock advance -5", "camera wait"})
        EXPECT_EQ(control_->Ask(bad).rfind("ERR", 0), 0u) << bad;
    EXPECT_EQ(control_->Ask("help").rfind("OK", 0), 0u);
    // A second client is served while the first waits for a picture.
    control_->Ask("fault camera-nofiles on");
    std::string slowReply;
    std::thread slow([&] {
        ControlClient other(sim_->SocketPath());
        slowReply = other.Ask("camera release 1");
    });
    ASSERT_TRUE(WaitFor([&] { return sim_->Camera().Presses() == 1; }));
    EXPECT_EQ(control_->Ask("camera files"), "OK 0");
    slow.join();
    EXPECT_EQ(slowReply, "ERR 4 no picture arrived");
    // A line that never ends is cut off.
    ControlClient flood(sim_->SocketPath());
    EXPECT_EQ(flood.Ask(std::string(ControlSocket::kMaxLine + 10, 'x')), "ERR line too long");
    ControlClient endless(sim_->SocketPath());
    EXPECT_EQ(endless.Ask(std::string(3 * ControlSocket::kMaxLine, 'x') + "\n"), "ERR line too long");
}

TEST_F(Faults, StopDoesNotWaitForAPendingRelease) {
    control_->Ask("fault camera-nofiles on");
    std::string reply;
    std::thread waiting([&] {
        ControlClient other(sim_->SocketPath());
        reply = other.Ask("camera release 60", 70000ms);
    });
    ASSERT_TRUE(WaitFor([&] { return sim_->Camera().Presses() == 1; }));
    auto start = std::chrono::steady_clock::now();
    sim_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    waiting.join();
    EXPECT_EQ(reply.rfind("ERR", 0), 0u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(home_.Documents() / "VELDANmodular" / "ports" / "COM5")));
}

}  // namespace
}  // namespace veldan::test
