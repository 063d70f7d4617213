// Device configuration: defaults, round trips of every value, hand-written
// files, the override forms and the traffic log stream.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>

#include "TempFolder.h"
#include "settings/VELDANsettings.h"

namespace veldan::test {

namespace {

class ConfigTest : public TempFolderTest {};

// Gives every value a non-default, in-range setting.
void ChangeEverything(CVeldanConfig& c) {
    c.serialPort = 7;
    c.maxDeviceId = 12;
    c.simultaneous = 1;
    c.packetRate = 3000;
    c.verbose = 1;
    c.logLevel = -2;
    c.logFile = "/var/tmp/bus traffic.log";
    ASSERT_TRUE(c.SetParameter("edition=\"my head\""));
    c.hDriveAddress = 4;
    c.vDriveAddress = 5;
    c.controlAddress = 6;
    c.batteryEmpty = 9.25;
    c.batteryFull = 13.5;
    c.accelerationTime[4] = 500;
    c.holdingPower[4] = 50;
    c.runningPower[4] = 90;
    c.parkingEnabled[5] = 1;
    c.parkingAngle[5] = -90;
    c.accelerationTime[20] = 1200;  // an address no module uses
    c.parkingEnabled[2] = 0;        // the default vertical address no longer parks
    c.shutterAddress = 6;
    c.shutterRelay = 9;
    c.preshotAddress = 6;
    c.preshotRelay = 8;
    c.twistingLimit = 360;
    c.lowerLimit = -45;
    c.upperLimit = 70;
    c.bracketing = 5;
    c.repetitions = 3;
    c.preshotTime = 0.75;
    c.exposureTime = 30;
    c.recoverTime = 2.5;
    c.globalSpeed = 0.8;
    c.horizontalSpeed = 0.25;
    c.verticalSpeed = 0.05;
}

void ExpectSameValues(const CVeldanConfig& a, const CVeldanConfig& b) {
    EXPECT_EQ(a.serialPort, b.serialPort);
    EXPECT_EQ(a.maxDeviceId, b.maxDeviceId);
    EXPECT_EQ(a.simultaneous, b.simultaneous);
    EXPECT_EQ(a.packetRate, b.packetRate);
    EXPECT_EQ(a.verbose, b.verbose);
    EXPECT_EQ(a.logLevel, b.logLevel);
    EXPECT_EQ(a.logFile, b.logFile);
    EXPECT_EQ(a.edition == nullptr, b.edition == nullptr);
    if (a.edition && b.edition) {
        EXPECT_STREQ(a.edition, b.edition);
    }
    EXPECT_EQ(a.hDriveAddress, b.hDriveAddress);
    EXPECT_EQ(a.vDriveAddress, b.vDriveAddress);
    EXPECT_EQ(a.controlAddress, b.controlAddress);
    EXPECT_EQ(a.batteryEmpty, b.batteryEmpty);
    EXPECT_EQ(a.batteryFull, b.batteryFull);
    for (int i = 0; i < CVeldanConfig::kBusAddressCount; ++i) {
        SCOPED_TRACE("address " + std::to_string(i));
        EXPECT_EQ(a.accelerationTime[i], b.accelerationTime[i]);
        EXPECT_EQ(a.holdingPower[i], b.holdingPower[i]);
        EXPECT_EQ(a.runningPower[i], b.runningPower[i]);
        EXPECT_EQ(a.parkingEnabled[i], b.parkingEnabled[i]);
        EXPECT_EQ(a.parkingAngle[i], b.parkingAngle[i]);
    }
    EXPECT_EQ(a.shutterAddress, b.shutterAddress);
    EXPECT_EQ(a.shutterRelay, b.shutterRelay);
    EXPECT_EQ(a.preshotAddress, b.preshotAddress);
    EXPECT_EQ(a.preshotRelay, b.preshotRelay);
    EXPECT_EQ(a.twistingLimit, b.twistingLimit);
    EXPECT_EQ(a.lowerLimit, b.lowerLimit);
    EXPECT_EQ(a.upperLimit, b.upperLimit);
    EXPECT_EQ(a.bracketing, b.bracketing);
    EXPECT_EQ(a.repetitions, b.repetitions);
    EXPECT_EQ(a.preshotTime, b.preshotTime);
    EXPECT_EQ(a.exposureTime, b.exposureTime);
    EXPECT_EQ(a.recoverTime, b.recoverTime);
    EXPECT_EQ(a.globalSpeed, b.globalSpeed);
    EXPECT_EQ(a.horizontalSpeed, b.horizontalSpeed);
    EXPECT_EQ(a.verticalSpeed, b.verticalSpeed);
}

}  // namespace

TEST(SettingsVersion, ReportsOnePointZero) {
    int major = -1, minor = -1, build = -1;
    VELDANsettings_version(&major, &minor, &build);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(build, 0);
    VELDANsettings_version(nullptr, nullptr, nullptr);
}

TEST(ConfigDefaults, AreUsableWithoutAnyFile) {
    CVeldanConfig c;
    EXPECT_EQ(c.serialPort, -1);
    EXPECT_EQ(c.edition, nullptr);
    EXPECT_EQ(c.logStream, nullptr);
    EXPECT_GE(c.hDriveAddress, 0);
    EXPECT_GE(c.vDriveAddress, 0);
    EXPECT_GE(c.shutterAddress, 0);
    EXPECT_LT(c.batteryEmpty, c.batteryFull);
    EXPECT_EQ(c.twistingLimit, -1.0);
    EXPECT_LE(c.lowerLimit, c.upperLimit);
    EXPECT_GE(c.bracketing, 1);
    EXPECT_GE(c.repetitions, 1);
    EXPECT_GT(c.globalSpeed, 0);
    EXPECT_GT(c.horizontalSpeed, 0);
    EXPECT_GT(c.verticalSpeed, 0);
    EXPECT_EQ(c.script.GetOpCnt(), 0);
}

TEST_F(ConfigTest, MissingFileDoesNotOpenAndLeavesDefaults) {
    std::wstring path = Path("VELDANmodular/settings.cfg").wstring();
    EXPECT_EQ(dyn_wfopen(path.c_str(), "r"), nullptr);
    CVeldanConfig c, defaults;
    ExpectSameValues(c, defaults);
}

TEST_F(ConfigTest, EveryValueSurvivesSaveAndLoad) {
    CVeldanConfig c;
    ChangeEverything(c);
    ASSERT_TRUE(SaveFile(c, Path("settings.cfg")));
    CVeldanConfig loaded;
    ASSERT_TRUE(LoadFile(loaded, Path("settings.cfg"))) << loaded.GetLoadError();
    ExpectSameValues(c, loaded);
    // A second save of the loaded values writes the same file.
    ASSERT_TRUE(SaveFile(loaded, Path("again.cfg")));
    EXPECT_EQ(ReadRaw("again.cfg"), ReadRaw("settings.cfg"));
}

TEST_F(ConfigTest, DefaultsSurviveSaveAndLoad) {
    CVeldanConfig c;
    ASSERT_TRUE(SaveFile(c, Path("settings.cfg")));
    CVeldanConfig loaded;
    loaded.serialPort = 9;
    ASSERT_TRUE(LoadFile(loaded, Path("settings.cfg"))) << loaded.GetLoadError();
    ExpectSameValues(c, loaded);
}

TEST_F(ConfigTest, HandWrittenFileSetsWhatItNamesAndDefaultsTheRest) {
    WriteRaw("settings.cfg",
             "# my head\r\n"
             "PORT=3\r\n"
             "  packet_rate   =\t2000   # slow Bluetooth link\n"
             "simultaneous = yes\n"
             "twisting_limit = off\n"
             "edition = vrhead\n"
             "parking[2] = off\n"
             "parking[1] = 180\n"
             "acceleration_time[1] = 500\n"
             "recover_time = 1e0\n"
             "\n");
    CVeldanConfig c, defaults;
    c.bracketing = 7;  // not in the file: back to the default
    ASSERT_TRUE(LoadFile(c, Path("settings.cfg"))) << c.GetLoadError();
    EXPECT_EQ(c.serialPort, 3);
    EXPECT_EQ(c.packetRate, 2000);
    EXPECT_EQ(c.simultaneous, 1);
    EXPECT_EQ(c.twistingLimit, -1);
    ASSERT_NE(c.edition, nullptr);
    EXPECT_STREQ(c.edition, "vrhead");
    EXPECT_EQ(c.parkingEnabled[2], 0);
    EXPECT_EQ(c.parkingEnabled[1], 1);
    EXPECT_EQ(c.parkingAngle[1], 180);
    EXPECT_EQ(c.accelerationTime[1], 500);
    EXPECT_EQ(c.recoverTime, 1.0);
    EXPECT_EQ(c.bracketing, defaults.bracketing);
}

TEST_F(ConfigTest, FailedLoadKeepsEveryPreviousValue) {
    CVeldanConfig c;
    ChangeEverything(c);
    ASSERT_TRUE(SaveFile(c, Path("reference.cfg")));
    for (const char* bad : {"port = 3\nbogus = 1\n", "port = 300\n", "lower_limit = 50\nupper_limit = 40\n",
                            "battery_empty = 13\nbattery_full = 12\n", "parking = 30\n", "port[1] = 3\n",
                            "holding_power[32] = 10\n", "holding_power[] = 10\n", "edition = \"../../etc/x\"\n",
                            "log_file = unquoted\n", "verbose = 2\n", "port = 3 4\n", "= 3\n", "port 3\n"}) {
        WriteRaw("bad.cfg", bad);
        EXPECT_FALSE(LoadFile(c, Path("bad.cfg"))) << bad;
        EXPECT_FALSE(c.GetLoadError().empty()) << bad;
    }
    CVeldanConfig reference;
    ASSERT_TRUE(LoadFile(reference, Path("reference.cfg")));
    ExpectSameValues(c, reference);
}

TEST(ConfigParameter, EditionAsTheSettingsDialogFormsIt) {
    // The dialog formats "edition=\"%ls" with the assembly's file name and
    // replaces the last four characters (".asm") by a closing quote.
    char text[256];
    std::snprintf(text, sizeof text, "edition=\"%ls", L"Heavy Rig.asm");
    size_t n = std::strlen(text);
    std::strcpy(text + n - 4, "\"");
    ASSERT_STREQ(text, "edition=\"Heavy Rig\"");

    CVeldanConfig c;
    ASSERT_TRUE(c.SetParameter(text));
    ASSERT_NE(c.edition, nullptr);
    EXPECT_STREQ(c.edition, "Heavy Rig");

    EXPECT_TRUE(c.SetParameter("edition=vrhead"));
    EXPECT_STREQ(c.edition, "vrhead");
    EXPECT_TRUE(c.SetParameter("edition = \"größer\"  # comment"));
    EXPECT_STREQ(c.edition, "größer");
    EXPECT_FALSE(c.SetParameter("edition=\"../evil\""));
    EXPECT_FALSE(c.SetParameter("edition=\"a\\\\b\""));
    EXPECT_FALSE(c.SetParameter("edition=\"open"));
    EXPECT_STREQ(c.edition, "größer");
    EXPECT_TRUE(c.SetParameter("edition=\"rig.ASM\""));  // the file name itself names the same file
    EXPECT_STREQ(c.edition, "rig");
    EXPECT_TRUE(c.SetParameter("edition=\"\""));
    EXPECT_EQ(c.edition, nullptr);
}

TEST(ConfigParameter, KeyValueFormsAndRefusals) {
    CVeldanConfig c;
    EXPECT_TRUE(c.SetParameter("port=5"));
    EXPECT_EQ(c.serialPort, 5);
    EXPECT_TRUE(c.SetParameter("  Packet_Rate =  4000 "));
    EXPECT_EQ(c.packetRate, 4000);
    EXPECT_TRUE(c.SetParameter("running_power[3]=75"));
    EXPECT_EQ(c.runningPower[3], 75);
    EXPECT_TRUE(c.SetParameter("parking[3]=off"));
    EXPECT_EQ(c.parkingEnabled[3], 0);
    EXPECT_TRUE(c.SetParameter("horizontal_gear=0.5"));
    EXPECT_EQ(c.horizontalSpeed, 0.5);
    EXPECT_TRUE(c.SetParameter("port=off"));
    EXPECT_EQ(c.serialPort, -1);
    EXPECT_TRUE(c.SetParameter("shutter_module=-1"));
    EXPECT_EQ(c.shutterAddress, -1);

    c.lowerLimit = -30;
    for (const char* bad : {"", "port", "port=", "port=abc", "port=0", "port=-2", "nothing=1", "upper_limit=-40",
                            "horizontal_gear=0", "horizontal_gear=1.5", "running_power=50", "running_power[3]",
                            "port=5 6", "log_level=1.5", "twisting_limit=0.5", "bracketing=0", "port=5\n"}) {
        EXPECT_FALSE(c.SetParameter(bad)) << bad;
    }
    EXPECT_FALSE(c.SetParameter(nullptr));
    EXPECT_EQ(c.serialPort, -1);
    EXPECT_EQ(c.upperLimit, 90);
    EXPECT_EQ(c.horizontalSpeed, 0.5);
}

TEST_F(ConfigTest, SaveBringsDirectlySetValuesIntoLoadableRange) {
    CVeldanConfig c;
    c.horizontalSpeed = 0;  // the dialog's reading of a box without a number
    c.verticalSpeed = std::numeric_limits<double>::quiet_NaN();
    c.serialPort = 0;
    c.packetRate = -10;
    c.lowerLimit = 20;
    c.upperLimit = -20;
    c.verbose = 7;
    ASSERT_TRUE(SaveFile(c, Path("settings.cfg")));
    CVeldanConfig loaded;
    ASSERT_TRUE(LoadFile(loaded, Path("settings.cfg"))) << loaded.GetLoadError();
    EXPECT_EQ(loaded.horizontalSpeed, 0.01);
    EXPECT_EQ(loaded.verticalSpeed, 1.0);
    EXPECT_EQ(loaded.serialPort, -1);
    EXPECT_EQ(loaded.packetRate, 0);
    EXPECT_EQ(loaded.lowerLimit, -20);
    EXPECT_EQ(loaded.upperLimit, 20);
    EXPECT_EQ(loaded.verbose, 1);
}

TEST_F(ConfigTest, SaveToAStreamThatCannotBeWrittenReportsFailure) {
    CVeldanConfig c;
    WriteRaw("settings.cfg", "port = 4\n");
    DynStream* readOnly = OpenRead("settings.cfg");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(c.Save(readOnly));
    dyn_fclose(readOnly);
    EXPECT_EQ(ReadRaw("settings.cfg"), "port = 4\n");
    EXPECT_FALSE(c.Save(nullptr));
    EXPECT_FALSE(c.Load(nullptr));

    DynStream* full = dyn_fopen("/dev/full", "a");
    if (full) {
        EXPECT_FALSE(c.Save(full));
        dyn_fclose(full);
    }
}

TEST_F(ConfigTest, TrafficLogOpensBesideTheConfigurationWhenEnabled) {
    WriteRaw("settings.cfg", "log_level = -3\nlog_file = \"traffic.log\"\n");
    WriteRaw("traffic.log", "earlier\n");
    {
        CVeldanConfig c;
        ASSERT_TRUE(LoadFile(c, Path("settings.cfg"))) << c.GetLoadError();
        ASSERT_NE(c.logStream, nullptr);
        EXPECT_EQ(dyn_fprintf(c.logStream, "==>\t%s\r\n", "packet"), 12);
        DynStream* before = c.logStream;
        // Reloading keeps the open stream that the bus writes through.
        ASSERT_TRUE(LoadFile(c, Path("settings.cfg")));
        EXPECT_EQ(c.logStream, before);
    }
    EXPECT_EQ(ReadRaw("traffic.log"), "earlier\n==>\tpacket\r\n");

    CVeldanConfig quiet;
    WriteRaw("quiet.cfg", "log_level = 2\n");
    ASSERT_TRUE(LoadFile(quiet, Path("quiet.cfg")));
    EXPECT_EQ(quiet.logStream, nullptr);
    std::string setFile = "log_file=\"" + Path("override.log").string() + "\"";
    EXPECT_TRUE(quiet.SetParameter(setFile.c_str()));
    EXPECT_TRUE(quiet.SetParameter("log_level=3"));
    EXPECT_NE(quiet.logStream, nullptr);
}

}  // namespace veldan::test
