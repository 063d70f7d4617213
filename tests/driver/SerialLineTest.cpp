// The serial line on a real pseudo-terminal: port resolution, line settings,
// blocking reads and writes, and closing while both are blocked.
#include <gtest/gtest.h>
#include <termios.h>

#include <fstream>
#include <future>
#include <thread>

#include "PseudoTerminal.h"
#include "TestHome.h"
#include "platform/SerialLine.h"

namespace veldan::test {

using veldan::platform::SerialLine;

TEST(SerialPortPath, MapsNumberRangesToDeviceFamilies) {
    TestHome home;
    EXPECT_EQ(veldan::platform::SerialPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(veldan::platform::SerialPortPath(32), "/dev/ttyS31");
    EXPECT_EQ(veldan::platform::SerialPortPath(33), "/dev/ttyUSB0");
    EXPECT_EQ(veldan::platform::SerialPortPath(64), "/dev/ttyUSB31");
    EXPECT_EQ(veldan::platform::SerialPortPath(65), "/dev/ttyACM0");
    EXPECT_EQ(veldan::platform::SerialPortPath(80), "/dev/ttyACM15");
    EXPECT_EQ(veldan::platform::SerialPortPath(81), "/dev/rfcomm0");
    EXPECT_EQ(veldan::platform::SerialPortPath(99), "/dev/rfcomm18");
    EXPECT_TRUE(veldan::platform::SerialPortPath(100).empty());
    EXPECT_TRUE(veldan::platform::SerialPortPath(0).empty());
    EXPECT_TRUE(veldan::platform::SerialPortPath(256).empty());
}

TEST(SerialPortPath, LinkInPortsFolderComesFirst) {
    TestHome home;
    home.LinkPort(3, "/dev/null");
    home.LinkPort(150, "/dev/null");
    EXPECT_EQ(veldan::platform::SerialPortPath(3), home.PortsFolder() / "COM3");
    EXPECT_EQ(veldan::platform::SerialPortPath(150), home.PortsFolder() / "COM150");
    EXPECT_EQ(veldan::platform::SerialPortPath(4), "/dev/ttyS3");
}

TEST(SerialLine, EnumerationListsLinkedTerminalsButNotOtherFiles) {
    TestHome home;
    PseudoTerminal pty;
    home.LinkPort(120, pty.SlaveName());
    home.LinkPort(121, "/dev/null");
    { std::ofstream(home.Root() / "plain") << "x"; }
    home.LinkPort(122, home.Root() / "plain");
    auto ports = veldan::platform::EnumerateSerialPorts();
    EXPECT_NE(std::find(ports.begin(), ports.end(), "COM120"), ports.end());
    EXPECT_EQ(std::find(ports.begin(), ports.end(), "COM121"), ports.end());
    EXPECT_EQ(std::find(ports.begin(), ports.end(), "COM122"), ports.end());
}

TEST(SerialLine, OpensRaw19200EightNoneOneWithoutFlowControl) {
    TestHome home;
    PseudoTerminal pty;
    home.LinkPort(7, pty.SlaveName());
    SerialLine line;
    ASSERT_TRUE(line.Open(7));
    EXPECT_TRUE(line.IsOpen());
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.Keeper(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(cfgetispeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(tio.c_cflag & CLOCAL);
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
    EXPECT_FALSE(tio.c_oflag & OPOST);
}

TEST(SerialLine, RefusesMissingPathsAndNonTerminals) {
    TestHome home;
    SerialLine line;
    home.LinkPort(9, home.Root() / "nothing-here");
    EXPECT_FALSE(line.Open(9));
    EXPECT_FALSE(line.OpenPath("/dev/null"));
    EXPECT_FALSE(line.IsOpen());
    EXPECT_FALSE(line.Open(200));
}

TEST(SerialLine, CarriesBytesBothWaysUnchanged) {
    TestHome home;
    PseudoTerminal pty;
    home.LinkPort(5, pty.SlaveName());
    SerialLine line;
    ASSERT_TRUE(line.Open(5));
    // Carriage returns, bytes with bit 7 set and zero bytes pass untouched.
    std::vector<uint8_t> sent = {0xC3, 0x47, 0x30, 0x0D, 0x00, 0x0A, 0xFF, 0x11, 0x13};
    ASSERT_EQ(line.Write(sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    EXPECT_EQ(pty.Read(sent.size(), 2000), sent);

    std::vector<uint8_t> answer = {0xA1, 'p', '-', '5', 0x0D, 0x0A, 0x11};
    ASSERT_TRUE(pty.Write(answer));
    std::vector<uint8_t> got;
    while (got.size() < answer.size()) {
        uint8_t buffer[64];
        ssize_t n = line.Read(buffer, sizeof buffer, 2000);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buffer, buffer + n);
    }
    EXPECT_EQ(got, answer);
}

TEST(SerialLine, ReadTimesOutWhenNothingArrives) {
    TestHome home;
    PseudoTerminal pty;
    SerialLine line;
    ASSERT_TRUE(line.OpenPath(pty.SlaveName()));
    uint8_t byte;
    EXPECT_EQ(line.Read(&byte, 1, 20), veldan::platform::kSerialTimeout);
}

TEST(SerialLine, CloseWakesBlockedReaderAndWriterAtOnce) {
    TestHome home;
    PseudoTerminal pty;
    SerialLine line;
    ASSERT_TRUE(line.OpenPath(pty.SlaveName()));
    // Fill the line until a write would block (nobody reads the master).
    std::vector<uint8_t> block(4096, 'x');
    while (line.Write(block.data(), block.size(), 0) > 0) {}
    std::promise<void> readerIn, writerIn;
    auto reader = std::async(std::launch::async, [&] {
        readerIn.set_value();
        uint8_t buffer[16];
        return line.Read(buffer, sizeof buffer);
    });
    auto writer = std::async(std::launch::async, [&] {
        writerIn.set_value();
        // The terminal may still take a few bytes; write until it blocks.
        ssize_t r;
        do {
            r = line.Write(block.data(), block.size());
        } while (r > 0);
        return r;
    });
    readerIn.get_future().wait();
    writerIn.get_future().wait();
    // Both calls are blocked (or about to be); Close must release both.
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    line.Close();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(reader.get(), veldan::platform::kSerialClosed);
    EXPECT_EQ(writer.get(), veldan::platform::kSerialClosed);
    EXPECT_FALSE(line.IsOpen());
    uint8_t byte;
    EXPECT_EQ(line.Read(&byte, 1), veldan::platform::kSerialClosed);
}

TEST(SerialLine, HangUpEndsBlockedReadAsGone) {
    TestHome home;
    PseudoTerminal pty;
    SerialLine line;
    ASSERT_TRUE(line.OpenPath(pty.SlaveName()));
    auto reader = std::async(std::launch::async, [&] {
        uint8_t buffer[16];
        return line.Read(buffer, sizeof buffer);
    });
    pty.CloseMaster();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(reader.get(), veldan::platform::kSerialGone);
}

}  // namespace veldan::test
