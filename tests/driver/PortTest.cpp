// The serial port of the driver on a pseudo-terminal: opening, the receiver
// and its line event, batched writes and closing.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Pelkor.h"
#include "PseudoTerminal.h"
#include "TestHome.h"

namespace veldan::test {

namespace {
constexpr uint8_t kCom = 17;
}

TEST(Port, MissingDeviceLeavesItClosed) {
    TestHome home;
    CPelkorPort port;
    home.LinkPort(kCom, home.Root() / "gone");
    EXPECT_FALSE(port.Init(kCom));
    EXPECT_FALSE(port.IsReady());
    EXPECT_FALSE(port.IsBusy());
    EXPECT_STREQ(port.GetPortName(), "COM17:");
}

TEST(Port, ReceivesBytesAndSignalsCompleteLines) {
    TestHome home;
    PseudoTerminal pty;
    home.LinkPort(kCom, pty.SlaveName());
    CPelkorPort port;
    ASSERT_TRUE(port.Init(kCom));
    ASSERT_TRUE(port.Init(kCom)) << "a second Init closes and reopens";
    EXPECT_TRUE(port.IsReady());
    ASSERT_TRUE(pty.Write(std::vector<uint8_t>{0xC1, 0x70}));
    EXPECT_FALSE(port.lineEvent.Wait(100)) << "no terminator yet";
    ASSERT_TRUE(pty.Write(std::vector<uint8_t>{0x0D}));
    ASSERT_TRUE(port.lineEvent.Wait(5000));
    EXPECT_EQ(port.receiveQueue.GetLength(), 3u);
    uint8_t bytes[3];
    ASSERT_TRUE(port.receiveQueue.Pop(bytes, 3));
    EXPECT_EQ(bytes[0], 0xC1);
    EXPECT_EQ(bytes[2], 0x0D);
    EXPECT_TRUE(port.DeInit());
    EXPECT_FALSE(port.IsReady());
    EXPECT_EQ(port.GetCOM_nr(), kCom);
}

TEST(Port, WritesEverythingQueuedInOrder) {
    TestHome home;
    PseudoTerminal pty;
    home.LinkPort(kCom, pty.SlaveName());
    CPelkorPort port;
    ASSERT_TRUE(port.Init(kCom));
    std::vector<uint8_t> sent(600);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7);
    port.sendQueue.Push(sent.data(), sent.size());
    port.transmitEvent.Pulse();
    EXPECT_EQ(pty.Read(sent.size(), 5000), sent);
    // The transmitter takes the bytes off its queue after the write returns,
    // which may be just after the other side has read them.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (port.sendQueue.GetLength() != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(port.sendQueue.GetLength(), 0u);
}

TEST(Port, ClosingDropsUnsentBytesAndEndsBothThreads) {
    TestHome home;
    PseudoTerminal pty;
    home.LinkPort(kCom, pty.SlaveName());
    CPelkorPort port;
    ASSERT_TRUE(port.Init(kCom));
    // Nobody reads the other side: the transmitter ends up blocked.
    std::vector<uint8_t> flood(1 << 20, 'z');
    port.sendQueue.Push(flood.data(), flood.size());
    port.transmitEvent.Pulse();
    EXPECT_TRUE(port.DeInit());
    EXPECT_EQ(port.sendQueue.GetLength(), 0u);
    EXPECT_EQ(port.receiveQueue.GetLength(), 0u);
}

}  // namespace veldan::test
