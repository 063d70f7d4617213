// The bus driver against the virtual head on its pseudo-terminal: probing and
// identification of the three modules, moves of both axes, the shutter relay
// firing the camera, the battery voltage, hibernation and resumption without a
// reference run, and recovery when echoes are lost or the line is noisy.
//
// Every wait is a condition with a generous time-out; the head's simulated
// clock runs a few times faster than real time so that moves stay short.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "Pelkor.h"
#include "VirtualHead.h"

namespace veldan::test {

namespace {

constexpr uint8_t kCom = 7;
constexpr int kLongWaitMs = 60000;

template <class F>
bool WaitUntil(F condition, int timeoutMs = kLongWaitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A fresh HOME with XDG folders for one test, removed afterwards.
class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelkor-e2e-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        std::filesystem::create_directories(Documents());
        std::filesystem::create_directories(Captures());
        setenv("HOME", root_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / ".config").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", Documents().c_str(), 1);
    }
    ~TemporaryHome() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    std::filesystem::path Documents() const { return root_ / "Documents"; }
    std::filesystem::path Captures() const { return root_ / "captures"; }

private:
    std::filesystem::path root_;
};

// One "key=value" field of a reply line.
std::string Field(const std::string& reply, const std::string& key) {
    std::istringstream words(reply);
    std::string word;
    while (words >> word)
        if (word.rfind(key + "=", 0) == 0) return word.substr(key.size() + 1);
    return "";
}

long FieldNumber(const std::string& reply, const std::string& key) {
    const std::string text = Field(reply, key);
    return text.empty() ? -1 : std::strtol(text.c_str(), nullptr, 10);
}

class DriverOnHead : public ::testing::Test {
protected:
    void SetUp() override {
        if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim was not built";
        std::string error;
        ASSERT_TRUE(head.Start(kCom, home.Documents(),
                               {"--capture-dir", home.Captures().string(), "--time-scale", "4", "--seed", "11"}, error))
            << error;
    }

    void TearDown() override {
        enclosure.DeInit();
        head.Stop();
    }

    // Opens the bus on the head and waits until the three modules have their
    // classes and the drives know their calibration and stand still.
    void OpenAndIdentify() {
        ASSERT_TRUE(enclosure.SetMaxDeviceID(3));
        ASSERT_TRUE(enclosure.Init(kCom));
        ASSERT_TRUE(WaitUntil([&] {
            return enclosure.DeviceCount(DriverIdDrive) == 2 && enclosure.DeviceCount(DriverIdControl) == 1;
        })) << "drives "
            << enclosure.DeviceCount(DriverIdDrive) << ", controls " << enclosure.DeviceCount(DriverIdControl);
        for (uint32_t address : {1u, 2u}) {
            ASSERT_TRUE(WaitUntil([&] {
                return WithDrive(address, [](CPelkorDeviceDrive& d) {
                    return d.GetStepsPerTurn() == 36000 && d.GetSpeedBase() == 4000 && d.GetStatusVersion() != 0 &&
                           !d.GetStatusBusy();
                });
            })) << "drive "
                << address;
        }
    }

    template <class F>
    bool WithDevice(uint32_t address, F fn) {
        CPelkorDevice* d = enclosure.GetDeviceByBusID(address, true);
        if (d == nullptr) return false;
        const bool result = fn(*d);
        enclosure.ReleaseDeviceLock();
        return result;
    }
    template <class F>
    bool WithDrive(uint32_t address, F fn) {
        return WithDevice(address, [&](CPelkorDevice& d) {
            return d.GetDriverId() == DriverIdDrive && fn(static_cast<CPelkorDeviceDrive&>(d));
        });
    }
    template <class F>
    bool WithControl(uint32_t address, F fn) {
        return WithDevice(address, [&](CPelkorDevice& d) {
            return d.GetDriverId() == DriverIdControl && fn(static_cast<CPelkorDeviceControl&>(d));
        });
    }

    bool Goto(uint32_t address, double angle, double speed = 1.0) {
        return WithDrive(address, [&](CPelkorDeviceDrive& d) { return d.Goto(angle, speed); });
    }
    // The driver sees the axis stand at angle.
    bool DriverAt(uint32_t address, double angle) {
        return WithDrive(address, [&](CPelkorDeviceDrive& d) {
            return !d.GetStatusBusy() && std::fabs(d.GetCurrentPosition() - angle) < 1e-9;
        });
    }
    // The head stands at these angles (to a hundredth of a degree).
    bool HeadAt(double horizontal, double vertical) {
        double h = 0, v = 0;
        return head.Angles(h, v) && std::fabs(h - horizontal) < 0.01 && std::fabs(v - vertical) < 0.01;
    }
    long Stat(const std::string& key) { return FieldNumber(head.Command("stats"), key); }

    std::vector<std::filesystem::path> Pictures() {
        std::vector<std::filesystem::path> found;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(home.Captures(), ec))
            if (entry.path().extension() == ".JPG") found.push_back(entry.path());
        return found;
    }

    TemporaryHome home;
    VirtualHead head;
    CPelkorEnclosure enclosure;
};

}  // namespace

TEST_F(DriverOnHead, ProbesAndIdentifiesTheThreeModules) {
    OpenAndIdentify();
    EXPECT_TRUE(enclosure.IsReady());
    EXPECT_EQ(enclosure.GetCOM_nr(), kCom);
    EXPECT_EQ(enclosure.DeviceCount(), 3u) << "nothing answers at address 0";
    const std::pair<uint32_t, const char*> expected[] = {{1, "47.210-3300"}, {2, "47.210-3300/1"}, {3, "47.210-0400"}};
    for (const auto& [address, identity] : expected) {
        EXPECT_TRUE(WaitUntil([&] {
            return WithDevice(address, [&](CPelkorDevice& d) {
                return d.GetStatusDeviceAlias() != nullptr && std::string(d.GetStatusDeviceAlias()) == identity &&
                       d.GetStatusManufacturer() != nullptr && d.GetStatusVersion() != 0;
            });
        })) << "address "
            << address << " as " << identity;
    }
    EXPECT_TRUE(WithDevice(3, [](CPelkorDevice& d) { return d.GetDriverId() == DriverIdControl; }));
    // The start-up reference run leaves both axes on the mark.
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(0, 0); }));
    EXPECT_EQ(Field(head.Command("drive 1"), "referencing"), "0");
    // The whole exchange went by without a broken frame.
    EXPECT_EQ(Stat("corrupted"), 0);
    EXPECT_TRUE(enclosure.DeInit());
    EXPECT_FALSE(enclosure.IsReady());
    EXPECT_EQ(enclosure.DeviceCount(), 0u);
    // The line can be opened again at once and the modules are found again.
    OpenAndIdentify();
}

TEST_F(DriverOnHead, MovesBothAxesAndReadsThePositionsBack) {
    OpenAndIdentify();
    ASSERT_TRUE(Goto(1, 90));
    ASSERT_TRUE(Goto(2, -45, 0.5));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 90) && DriverAt(2, -45); }));
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(90, -45); }));
    // The counter runs opposite to the angle.
    EXPECT_EQ(FieldNumber(head.Command("drive 1"), "counter"), -9000);
    EXPECT_EQ(FieldNumber(head.Command("drive 2"), "counter"), 4500);
    // The driver keeps its steps in the angle's direction, the sign turned
    // against the head's counter.
    EXPECT_TRUE(WithDrive(1, [](CPelkorDeviceDrive& d) { return d.GetPositionSteps() == 9000; }));
    EXPECT_TRUE(WithDrive(2, [](CPelkorDeviceDrive& d) { return d.GetPositionSteps() == -4500; }));

    // A relative move on top, then back to the mark.
    ASSERT_TRUE(WithDrive(1, [](CPelkorDeviceDrive& d) { return d.Go(-30, 1.0); }));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 60); }));
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(60, -45); }));
    ASSERT_TRUE(Goto(1, 0));
    ASSERT_TRUE(Goto(2, 0));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 0) && DriverAt(2, 0); }));
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(0, 0); }));
}

TEST_F(DriverOnHead, ShutterRelayFiresTheCamera) {
    OpenAndIdentify();
    ASSERT_TRUE(Goto(1, 120));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 120); }));
    ASSERT_TRUE(WithControl(3, [](CPelkorDeviceControl& c) { return c.SetRelayState(1, true); }));
    ASSERT_TRUE(WaitUntil([&] { return head.Command("relays") == "OK 0100000000"; })) << head.Command("relays");
    ASSERT_TRUE(WaitUntil([&] { return FieldNumber(head.Command("state"), "files") == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return Pictures().size() == 1; }));
    EXPECT_TRUE(WithControl(3, [](CPelkorDeviceControl& c) { return c.GetRelayState(1); }));

    // A complete JPEG: start and end markers.
    const auto picture = Pictures().front();
    EXPECT_EQ(picture.filename(), "IMG_0001.JPG");
    ASSERT_TRUE(WaitUntil([&] { return head.Command("camera last") == "OK " + picture.string(); }))
        << head.Command("camera last");
    std::ifstream in(picture, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
    EXPECT_EQ(static_cast<unsigned char>(bytes[bytes.size() - 2]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[bytes.size() - 1]), 0xD9);

    // Only closing the relay presses: opening it and closing it again makes
    // the second picture.
    ASSERT_TRUE(WithControl(3, [](CPelkorDeviceControl& c) { return c.SetRelayState(1, false); }));
    ASSERT_TRUE(WaitUntil([&] { return head.Command("relays") == "OK 0000000000"; }));
    EXPECT_EQ(FieldNumber(head.Command("state"), "presses"), 1);
    ASSERT_TRUE(WithControl(3, [](CPelkorDeviceControl& c) { return c.SetRelayState(1, true); }));
    ASSERT_TRUE(WaitUntil([&] { return Pictures().size() == 2; }));
    EXPECT_EQ(FieldNumber(head.Command("state"), "presses"), 2);
}

TEST_F(DriverOnHead, ReadsTheBatteryVoltage) {
    OpenAndIdentify();
    EXPECT_TRUE(WaitUntil([&] {
        return WithControl(3, [](CPelkorDeviceControl& c) { return std::fabs(c.GetVoltage() - 12.60) < 1e-9; });
    }));
    // The battery runs down; the polled value follows.
    ASSERT_EQ(head.Command("voltage 11.70").rfind("OK", 0), 0u);
    EXPECT_TRUE(WaitUntil([&] {
        return WithControl(3, [](CPelkorDeviceControl& c) {
            c.UpdateVoltage();
            return std::fabs(c.GetVoltage() - 11.70) < 1e-9;
        });
    }));
}

TEST_F(DriverOnHead, HibernatedBusResumesWithoutAReferenceRun) {
    OpenAndIdentify();
    ASSERT_TRUE(Goto(1, 90));
    ASSERT_TRUE(Goto(2, 30));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 90) && DriverAt(2, 30); }));
    ASSERT_TRUE(WaitUntil([&] { return HeadAt(90, 30); }));

    MemBlockDesc record;
    ASSERT_TRUE(enclosure.Hibernate(&record));
    EXPECT_FALSE(enclosure.IsReady());
    EXPECT_EQ(enclosure.DeviceCount(), 0u);

    ASSERT_TRUE(enclosure.Resume(kCom, &record));
    EXPECT_TRUE(enclosure.IsReady());
    EXPECT_EQ(enclosure.DeviceCount(DriverIdDrive), 2u);
    EXPECT_EQ(enclosure.DeviceCount(DriverIdControl), 1u);
    EXPECT_TRUE(WithDevice(2, [](CPelkorDevice& d) {
        return d.GetStatusDeviceAlias() != nullptr && std::string(d.GetStatusDeviceAlias()) == "47.210-3300/1";
    }));
    // The saved position becomes the counter's new zero ("N"), the head does
    // not go back to the mark.
    ASSERT_TRUE(WaitUntil([&] {
        return FieldNumber(head.Command("drive 1"), "counter") == 0 &&
               FieldNumber(head.Command("drive 2"), "counter") == 0;
    }));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 90) && DriverAt(2, 30); }));
    EXPECT_EQ(Field(head.Command("drive 1"), "referencing"), "0");
    EXPECT_TRUE(HeadAt(90, 30));

    // Moves after resumption go to the same angles as before.
    ASSERT_TRUE(Goto(1, 0));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 0); }));
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(0, 30); }));
    EXPECT_EQ(FieldNumber(head.Command("drive 1"), "counter"), 9000);
}

TEST_F(DriverOnHead, LostEchoesAreResentUntilTheMoveCompletes) {
    OpenAndIdentify();
    const long lostBefore = Stat("echoes_lost");
    // Every echo is lost: the driver keeps sending the first command again.
    ASSERT_EQ(head.Command("fault echo-loss 1").rfind("OK", 0), 0u);
    ASSERT_TRUE(Goto(1, 45));
    ASSERT_TRUE(WaitUntil([&] { return Stat("echoes_lost") >= lostBefore + 3; }))
        << "resent at least twice: " << head.Command("stats");
    EXPECT_FALSE(DriverAt(1, 45));
    // The line recovers: the move completes where it was ordered.
    ASSERT_EQ(head.Command("fault echo-loss 0").rfind("OK", 0), 0u);
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 45); }));
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(45, 0); }));

    // Every other echo lost at random: the absolute move still ends on target.
    ASSERT_EQ(head.Command("fault echo-loss 0.5").rfind("OK", 0), 0u);
    ASSERT_TRUE(Goto(1, -60));
    ASSERT_TRUE(Goto(2, 20));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, -60) && DriverAt(2, 20); }));
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(-60, 20); }));
    EXPECT_GT(Stat("echoes_lost"), lostBefore + 3);
}

TEST_F(DriverOnHead, NoisyLineDoesNotStallTheBus) {
    OpenAndIdentify();
    ASSERT_EQ(head.Command("fault noise 0.02").rfind("OK", 0), 0u);
    ASSERT_TRUE(Goto(1, 30));
    ASSERT_TRUE(WaitUntil([&] { return Stat("corrupted") > 0 || Stat("dropped") > 0; })) << head.Command("stats");
    // A corrupted command may have been carried out wrongly (another target,
    // speed or acceleration); once the noise stops, the driver must still be
    // able to stop the axis, set it up again and take new moves.
    ASSERT_EQ(head.Command("fault clear").rfind("OK", 0), 0u);
    for (uint32_t address : {1u, 2u}) {
        ASSERT_TRUE(WithDrive(address, [](CPelkorDeviceDrive& d) { return d.Stop(true, false); }));
        ASSERT_TRUE(WaitUntil([&] {
            return WithDrive(address, [](CPelkorDeviceDrive& d) { return !d.GetStatusBusy(); });
        })) << "drive "
            << address;
        ASSERT_TRUE(WithDrive(address, [](CPelkorDeviceDrive& d) { return d.SetupAccelerationTime(0.3); }));
    }
    ASSERT_TRUE(Goto(1, 75));
    ASSERT_TRUE(Goto(2, -15));
    ASSERT_TRUE(WaitUntil([&] { return DriverAt(1, 75) && DriverAt(2, -15); }));
    EXPECT_TRUE(WaitUntil([&] { return HeadAt(75, -15); }));
    EXPECT_TRUE(enclosure.IsReady());
}

}  // namespace veldan::test
