// The whole driver on a real pseudo-terminal against a device-side responder:
// probing and identification, moves with position polling, relays, voltage,
// mute modules, lost echoes, closing, a vanished line and hibernation.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "HeadResponder.h"
#include "Pelkor.h"
#include "TestHome.h"
#include "platform/Window.h"

namespace veldan::test {

namespace {

constexpr uint8_t kCom = 42;

template <class F>
bool WaitUntil(F condition, int timeoutMs = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class Bus : public ::testing::Test {
protected:
    void SetUp() override {
        home.LinkPort(kCom, pty.SlaveName());
        enclosure.notifyWindow = window.Handle();
    }

    void AddStandardHead() {
        responder.Add(1, SimModule::Drive("47.210-3300/1"));
        responder.Add(2, SimModule::Drive("47.210-3300/2"));
        responder.Add(3, SimModule::Control("47.210-0400"));
    }

    // Opens the bus and waits until every module has its class and the
    // drives know their calibration.
    void OpenAndIdentify(uint8_t maxId = 3, uint32_t drives = 2, uint32_t controls = 1) {
        ASSERT_TRUE(enclosure.SetMaxDeviceID(maxId));
        ASSERT_TRUE(enclosure.Init(kCom));
        ASSERT_TRUE(WaitUntil([&] {
            return enclosure.DeviceCount(DriverIdDrive) == drives && enclosure.DeviceCount(DriverIdControl) == controls;
        }));
        for (uint32_t n = 0; n < drives; ++n) {
            ASSERT_TRUE(WaitUntil([&] {
                return WithDrive(n, [](CPelkorDeviceDrive& d) {
                    // "v" is the last of the start-up queries.
                    return d.GetStepsPerTurn() == 4000 && d.GetSpeedBase() == 1000 && d.GetStatusVersion() == 0x0207 &&
                           !d.GetStatusBusy();
                });
            })) << "drive "
                << n;
        }
    }

    template <class F>
    bool WithDrive(uint32_t n, F fn) {
        auto* d = static_cast<CPelkorDeviceDrive*>(enclosure.GetDevice(DriverIdDrive, n, true));
        if (d == nullptr) return false;
        bool result = fn(*d);
        enclosure.ReleaseDeviceLock();
        return result;
    }
    template <class F>
    bool WithBusId(uint32_t address, F fn) {
        CPelkorDevice* d = enclosure.GetDeviceByBusID(address, true);
        if (d == nullptr) return false;
        bool result = fn(*d);
        enclosure.ReleaseDeviceLock();
        return result;
    }
    bool DriveAt(uint32_t address, double angle) {
        return WithBusId(address, [&](CPelkorDevice& d) {
            auto& drive = static_cast<CPelkorDeviceDrive&>(d);
            return !drive.GetStatusBusy() && drive.GetCurrentPosition() == angle;
        });
    }

    std::vector<veldan::platform::Message> Messages(veldan::platform::UINT number) {
        std::vector<veldan::platform::Message> found;
        veldan::platform::Message m;
        while (window.GetMessage(m, 0)) {
            if (m.message == number) found.push_back(m);
        }
        return found;
    }

    TestHome home;
    PseudoTerminal pty;
    HeadResponder responder{pty};
    veldan::platform::MessageQueueWindow window;
    CPelkorEnclosure enclosure;
};

}  // namespace

TEST_F(Bus, ProbesAndIdentifiesEveryModule) {
    AddStandardHead();
    OpenAndIdentify();
    EXPECT_TRUE(enclosure.IsReady());
    EXPECT_EQ(enclosure.GetCOM_nr(), kCom);
    EXPECT_EQ(enclosure.DeviceCount(), 3u) << "address 0 did not answer";
    EXPECT_TRUE(WaitUntil([&] {
        return WithBusId(3, [](CPelkorDevice& d) {
            return d.GetStatusManufacturer() && d.GetStatusVersion() == 0x0207 &&
                   std::string(d.GetStatusDeviceAlias()) == "47.210-0400";
        });
    }));
    // Each module was announced as recognised once.
    std::set<veldan::platform::WPARAM> recognised;
    for (const auto& m : Messages(veldan::platform::WM_APP + 1)) {
        if (m.lParam == PELKOR_STATE_RECOGNISED) {
            EXPECT_TRUE(recognised.insert(m.wParam).second);
        }
    }
    EXPECT_EQ(recognised, (std::set<veldan::platform::WPARAM>{1, 2, 3}));
    // A drive homes at start-up, the control module switches its relays off.
    EXPECT_EQ(responder.CountReceived(1, "Y"), 1u);
    EXPECT_TRUE(WaitUntil([&] { return responder.CountReceived(3, "L90") == 1; }));
    EXPECT_FALSE(enclosure.SetMaxDeviceID(5)) << "set-up refused while open";
    EXPECT_TRUE(enclosure.GetDevice(7u, true) == nullptr);
    EXPECT_TRUE(enclosure.DeInit());
    EXPECT_FALSE(enclosure.IsReady());
    EXPECT_EQ(enclosure.GetCOM_nr(), 255);
    EXPECT_EQ(enclosure.DeviceCount(), 0u);
}

TEST_F(Bus, OpeningAMissingPortFailsAndANodeWithoutModulesToo) {
    EXPECT_FALSE(enclosure.Init(kCom + 1));
    EXPECT_FALSE(enclosure.IsReady());
    enclosure.SetMaxDeviceID(0);
    EXPECT_FALSE(enclosure.Init(kCom)) << "nobody answers the probe";
    EXPECT_FALSE(enclosure.IsReady());
}

TEST_F(Bus, MovesADriveAndPollsItToStandstill) {
    AddStandardHead();
    OpenAndIdentify();
    ASSERT_TRUE(WithBusId(1, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Goto(90, 1.0); }));
    ASSERT_TRUE(WaitUntil([&] { return DriveAt(1, 90); }));
    EXPECT_TRUE(responder.WaitFor([](auto& m) { return m[1].raw == -1000; }));
    EXPECT_GE(responder.CountReceived(1, "S-0001000"), 1u);
    EXPECT_GE(responder.CountReceived(1, "F00750"), 1u);
    EXPECT_GE(responder.CountReceived(1, "G0"), 1u);

    ASSERT_TRUE(WithBusId(2, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Go(-45, 0.5); }));
    ASSERT_TRUE(WaitUntil([&] { return DriveAt(2, -45); }));
    EXPECT_TRUE(responder.WaitFor([](auto& m) { return m[2].raw == 500; }));
    EXPECT_TRUE(enclosure.DeInit());
}

TEST_F(Bus, RelaysGoOutAndTheVoltageIsPolled) {
    AddStandardHead();
    OpenAndIdentify();
    ASSERT_TRUE(
        WithBusId(3, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceControl&>(d).SetRelayState(3, true); }));
    EXPECT_TRUE(responder.WaitFor([](auto& m) { return m[3].relays[3]; }));
    EXPECT_TRUE(WaitUntil([&] { return !WithBusId(3, [](CPelkorDevice& d) { return d.GetStatusBusy(); }); }));
    EXPECT_TRUE(WaitUntil([&] {
        return WithBusId(3,
                         [](CPelkorDevice& d) { return static_cast<CPelkorDeviceControl&>(d).GetVoltage() == 12.34; });
    }));
    responder.With(3, [](SimModule& m) { m.voltageHundredths = 1170; });
    EXPECT_TRUE(WaitUntil([&] {
        return WithBusId(3,
                         [](CPelkorDevice& d) { return static_cast<CPelkorDeviceControl&>(d).GetVoltage() == 11.70; });
    }));
}

TEST_F(Bus, MuteModuleIsLeftOutAndAMuteDriveKeepsItsCommand) {
    AddStandardHead();
    SimModule mute = SimModule::Drive("47.210-3300/4");
    mute.mute = true;
    responder.Add(4, mute);
    OpenAndIdentify(4);
    EXPECT_EQ(enclosure.GetDeviceByBusID(4, false), nullptr);
    EXPECT_EQ(responder.CountReceived(4, "R"), 2u) << "probed twice";

    // A drive that falls silent: its command is repeated every second ...
    responder.With(1, [](SimModule& m) { m.mute = true; });
    ASSERT_TRUE(WithBusId(1, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Goto(45, 1.0); }));
    EXPECT_TRUE(responder.WaitFor(
        [](auto& m) { return std::count(m[1].received.begin(), m[1].received.end(), "S-0000500") >= 3; }, 30000));
    // ... and the other modules are still served meanwhile.
    ASSERT_TRUE(
        WithBusId(3, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceControl&>(d).SetRelayState(1, true); }));
    EXPECT_TRUE(responder.WaitFor([](auto& m) { return m[3].relays[1]; }, 30000));
    // When it speaks again the move completes.
    responder.With(1, [](SimModule& m) { m.mute = false; });
    EXPECT_TRUE(WaitUntil([&] { return DriveAt(1, 45); }, 30000));
}

TEST_F(Bus, LostEchoIsResentAfterASecondAndTheMoveCompletes) {
    AddStandardHead();
    OpenAndIdentify();
    const auto logPath = home.Root() / "traffic.log";
    DynStream* stream = dyn_fopen(logPath.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    int32_t level = -3;
    enclosure.logStream = &stream;
    enclosure.logLevel = &level;
    responder.With(1, [](SimModule& m) {
        m.dropEchoOf = "G0";
        m.dropEchoes = 1;
    });
    ASSERT_TRUE(WithBusId(1, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Goto(180, 1.0); }));
    ASSERT_TRUE(WaitUntil([&] { return DriveAt(1, 180); }, 15000));
    EXPECT_EQ(responder.CountReceived(1, "G0"), 2u);
    enclosure.DeInit();
    enclosure.logStream = nullptr;
    ASSERT_EQ(dyn_fclose(stream), 0);

    std::ifstream in(logPath, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string log = all.str();
    EXPECT_NE(log.find("--- TIMEOUT ---\r\n"), std::string::npos);
    EXPECT_NE(log.find("--- RUN ---\r\n"), std::string::npos);
    EXPECT_NE(log.find("--- STOP --- Timeout: "), std::string::npos);
    EXPECT_NE(log.find("<==\t"), std::string::npos);
    EXPECT_NE(log.find("==>\t"), std::string::npos);
    EXPECT_NE(log.find("\tCMD\t[ED S ]\t1\t\tG0\r\n"), std::string::npos);
    EXPECT_NE(log.find("*****\tID01[1000100000064]\t["), std::string::npos);
    EXPECT_NE(log.find("*****\tID03[1000200000064]\t["), std::string::npos);
    // Every line ends in CR LF.
    for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1))
        ASSERT_EQ(log[at - 1], '\r') << "at byte " << at;
}

TEST_F(Bus, SimultaneousOperationNeverWaitsForEchoes) {
    AddStandardHead();
    const auto logPath = home.Root() / "simultaneous.log";
    DynStream* stream = dyn_fopen(logPath.c_str(), "w");
    int32_t level = 3;
    enclosure.logStream = &stream;
    enclosure.logLevel = &level;
    ASSERT_TRUE(enclosure.SetSimultaneousFlag(true));
    OpenAndIdentify();
    ASSERT_TRUE(WithBusId(2, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Goto(9, 1.0); }));
    ASSERT_TRUE(WaitUntil([&] { return DriveAt(2, 9); }));
    enclosure.DeInit();
    enclosure.logStream = nullptr;
    dyn_fclose(stream);
    std::ifstream in(logPath, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_NE(all.str().find("<==\t"), std::string::npos);
    EXPECT_EQ(all.str().find("--- STOP ---"), std::string::npos);
}

TEST_F(Bus, ClosingWhileEveryThreadIsBlockedEndsThemAll) {
    AddStandardHead();
    OpenAndIdentify();
    // A drive in the middle of a move with a polling thread, a control
    // module polling the voltage, the port threads blocked in the line.
    responder.With(1, [](SimModule& m) { m.stepsPerQuery = 1; });
    ASSERT_TRUE(WithBusId(1, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Goto(300, 1.0); }));
    ASSERT_TRUE(responder.WaitFor([](auto& m) { return m[1].target != 0; }));
    EXPECT_TRUE(enclosure.DeInit());
    EXPECT_EQ(enclosure.DeviceCount(), 0u);
    // The line can be opened again at once.
    responder.With(1, [](SimModule& m) { m.stepsPerQuery = 1000000; });
    OpenAndIdentify();
}

TEST_F(Bus, VanishedLineStopsTheBusAndReportsIt) {
    AddStandardHead();
    OpenAndIdentify();
    Messages(0);  // forget what came so far
    responder.Stop();
    pty.CloseKeeper();
    pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return !enclosure.IsReady(); }));
    veldan::platform::Message m;
    ASSERT_TRUE(window.WaitForMessage(veldan::platform::WM_APP + 1, m, 5000));
    while (m.wParam != PELKOR_WHOLE_BUS && window.WaitForMessage(veldan::platform::WM_APP + 1, m, 5000)) {}
    EXPECT_EQ(m.wParam, PELKOR_WHOLE_BUS);
    EXPECT_EQ(m.lParam, 0);
    EXPECT_TRUE(enclosure.Port().LineLost());
    EXPECT_TRUE(enclosure.DeInit());
}

TEST_F(Bus, HibernatedHeadResumesWithoutHoming) {
    AddStandardHead();
    OpenAndIdentify();
    ASSERT_TRUE(WithBusId(1, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Goto(90, 1.0); }));
    ASSERT_TRUE(WaitUntil([&] { return DriveAt(1, 90); }));
    MemBlockDesc record;
    ASSERT_TRUE(enclosure.Hibernate(&record));
    EXPECT_FALSE(enclosure.IsReady());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data)), "KAMBRE_VELDAN_ENCLOSURE_HIBERNATION");
    size_t at = 36;
    EXPECT_EQ(record.Read(at, uint32_t{0}), 0x00020200u);
    EXPECT_EQ(record.Read(at, uint8_t{0}), 3u);

    responder.With(1, [](SimModule& m) { m.received.clear(); });
    Messages(0);
    ASSERT_TRUE(enclosure.Resume(kCom, &record));
    EXPECT_TRUE(enclosure.IsReady());
    EXPECT_EQ(enclosure.DeviceCount(DriverIdDrive), 2u);
    EXPECT_EQ(enclosure.DeviceCount(DriverIdControl), 1u);
    EXPECT_TRUE(WithBusId(1, [](CPelkorDevice& d) {
        return static_cast<CPelkorDeviceDrive&>(d).GetCurrentPosition() == 90 &&
               std::string(d.GetStatusDeviceAlias()) == "47.210-3300/1";
    }));
    bool sawBus = false;
    for (const auto& m : Messages(veldan::platform::WM_APP + 1))
        sawBus |= m.wParam == PELKOR_WHOLE_BUS && m.lParam == 0;
    EXPECT_TRUE(sawBus);
    EXPECT_TRUE(
        responder.WaitFor([](auto& m) { return std::count(m[1].received.begin(), m[1].received.end(), "N") == 1; }));
    // The saved position is the new zero of the counter: moving back to 0
    // drives the counter to +1000.
    ASSERT_TRUE(WaitUntil([&] { return DriveAt(1, 90); }));
    ASSERT_TRUE(WithBusId(1, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceDrive&>(d).Goto(0, 1.0); }));
    ASSERT_TRUE(WaitUntil([&] { return DriveAt(1, 0); }));
    EXPECT_TRUE(responder.WaitFor([](auto& m) { return m[1].raw == 1000; }));
    EXPECT_EQ(responder.CountReceived(1, "Y"), 0u) << "no reference run";
}

TEST_F(Bus, ResumeRefusesForeignRecords) {
    MemBlockDesc wrongVersion;
    wrongVersion.Add("KAMBRE_VELDAN_ENCLOSURE_HIBERNATION");
    wrongVersion.Add(uint32_t{0x00020100});
    wrongVersion.Add(uint8_t{0});
    EXPECT_FALSE(enclosure.Resume(kCom, &wrongVersion));
    MemBlockDesc wrongMagic;
    wrongMagic.Add("KAMBRE_VELDAN_ENCLOSURE_HIBERNATIOX");
    wrongMagic.Add(uint32_t{0x00020200});
    EXPECT_FALSE(enclosure.Resume(kCom, &wrongMagic));
    MemBlockDesc unknownModule;
    unknownModule.Add("KAMBRE_VELDAN_ENCLOSURE_HIBERNATION");
    unknownModule.Add(uint32_t{0x00020200});
    unknownModule.Add(uint8_t{1});
    unknownModule.Add(uint8_t{1});
    unknownModule.Add(uint16_t{4});
    unknownModule.Add("abc");
    unknownModule.Add(uint32_t{0});
    EXPECT_FALSE(enclosure.Resume(kCom, &unknownModule));
    EXPECT_FALSE(enclosure.IsReady());
    MemBlockDesc truncated;
    truncated.Add("KAMBRE_VELDAN_ENCLOSURE_HIBERNATION");
    truncated.Add(uint32_t{0x00020200});
    truncated.Add(uint8_t{2});
    truncated.Add(uint8_t{1});
    EXPECT_FALSE(enclosure.Resume(kCom, &truncated));
    EXPECT_FALSE(enclosure.Resume(kCom, nullptr));
    EXPECT_FALSE(enclosure.IsReady());
}

TEST_F(Bus, AutomaticInitialisationReportsTheWholeBus) {
    AddStandardHead();
    ASSERT_TRUE(enclosure.SetMaxDeviceID(3));
    ASSERT_TRUE(enclosure.AutoInit(kCom));
    veldan::platform::Message m;
    do {
        ASSERT_TRUE(window.WaitForMessage(veldan::platform::WM_APP + 1, m, 10000));
    } while (m.wParam != PELKOR_WHOLE_BUS);
    EXPECT_TRUE(enclosure.IsReady());
    EXPECT_TRUE(WaitUntil([&] { return enclosure.DeviceCount(DriverIdDrive) == 2; }));
    // Destroying the enclosure right after another start ends the thread.
    ASSERT_TRUE(enclosure.AutoInit(kCom));
}

TEST_F(Bus, UnprobedAddressGetsAGenericDevice) {
    AddStandardHead();
    OpenAndIdentify();
    pty.Write(std::string("\xA9") + "b0\r");
    ASSERT_TRUE(WaitUntil([&] { return enclosure.GetDeviceByBusID(9, false) != nullptr; }));
    EXPECT_TRUE(WithBusId(9, [](CPelkorDevice& d) { return d.GetDriverId() == 0; }));
}

TEST_F(Bus, PortNotifiesTrafficIndicators) {
    AddStandardHead();
    OpenAndIdentify();
    EXPECT_FALSE(Messages(veldan::platform::WM_APP + 2).empty());
    ASSERT_TRUE(
        WithBusId(3, [](CPelkorDevice& d) { return static_cast<CPelkorDeviceControl&>(d).SetRelayState(0, true); }));
    veldan::platform::Message m;
    EXPECT_TRUE(window.WaitForMessage(veldan::platform::WM_APP + 4, m, 5000));
    EXPECT_TRUE(window.WaitForMessage(veldan::platform::WM_APP + 5, m, 5000));
}

TEST_F(Bus, PacketRatePacesFramesOnTheLine) {
    responder.Add(0, SimModule::Control("47.210-0400"));
    ASSERT_TRUE(enclosure.SetPacketRate(120));
    EXPECT_EQ(enclosure.GetPacketRate(), 120);
    ASSERT_TRUE(enclosure.SetMaxDeviceID(0));
    ASSERT_TRUE(enclosure.Init(kCom));
    ASSERT_TRUE(responder.WaitFor([](auto& m) { return m[0].received.size() >= 4; }, 10000));
    std::vector<std::chrono::steady_clock::time_point> at;
    responder.With(0, [&](SimModule& m) { at = m.receivedAt; });
    // At most one frame every 60000 / 120 = 500 ms (the clock of the test
    // side may see a frame a little early, never much).
    for (size_t k = 1; k < 4; ++k)
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(at[k] - at[k - 1]).count(), 450) << k;
}

}  // namespace veldan::test
