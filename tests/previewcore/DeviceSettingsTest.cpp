// The device settings model on a real settings.cfg in a temporary home:
// what the dialog shows, the assembly list from three folders, the port
// list, and saving back through the settings library.
#include <gtest/gtest.h>
#include "TestSupport.h"
#include "platform/Text.h"
#include "preview/head/DeviceSettings.h"
#include "settings/VeldanConfig.h"
#include "stream/DynStream.h"

namespace veldan::test {

using namespace veldan::preview;

namespace fs = std::filesystem;

namespace {

class DeviceSettingsTest : public ::testing::Test {
protected:
    TempHome home;
    veldan::platform::Profile profile{home.Root() / "config" / "VELDANpreview" / "VELDANpreview.conf"};
    DeviceSettingsFolders folders{Dir("program"), home.Root() / "Documents" / "VELDANmodular", Dir("system")};
    std::vector<std::string> ports;

    fs::path Dir(const char* name) {
        fs::path p = home.Root() / name;
        fs::create_directories(p);
        return p;
    }
    std::unique_ptr<DeviceSettingsModel> Open() {
        auto model = std::make_unique<DeviceSettingsModel>(profile, folders, [this] { return ports; });
        model->Open();
        return model;
    }
    // The configuration as the control library will read it.
    std::unique_ptr<CVeldanConfig> Reread() {
        auto config = std::make_unique<CVeldanConfig>();
        DynStream* in = dyn_wfopen(veldan::platform::PathToWide(folders.configuration / "settings.cfg").c_str(), "r");
        EXPECT_NE(in, nullptr);
        if (in) {
            EXPECT_TRUE(config->Load(in)) << config->GetLoadError();
            dyn_fclose(in);
        }
        return config;
    }
    std::vector<std::wstring> Texts(const DeviceSettingsModel& m) {
        std::vector<std::wstring> texts;
        for (const AssemblyChoice& a : m.Assemblies()) texts.push_back(a.text);
        return texts;
    }
};

}  // namespace

TEST_F(DeviceSettingsTest, WithoutAFileTheDefaultsAreShown) {
    profile.WriteString(L"settings", L"CAPTURE_DIRECTORY", L"/media/camera");
    auto model = Open();
    EXPECT_TRUE(fs::is_directory(folders.configuration));
    EXPECT_TRUE(model->LoadError().empty());
    const DeviceSettingsForm& f = model->Form();
    ASSERT_EQ(model->Ports().size(), 1u) << "no serial ports: only Autodetect";
    EXPECT_EQ(model->Ports()[0].text, L"Autodetect");
    EXPECT_EQ(f.port, 0);
    EXPECT_EQ(f.packetRate, 0);
    EXPECT_EQ(f.model, -1);
    EXPECT_FALSE(f.simultaneous);
    EXPECT_FALSE(f.verbose);
    EXPECT_FALSE(f.twistingLimit);
    EXPECT_EQ(f.upperLimit, L"90.00°");
    EXPECT_EQ(f.lowerLimit, L"-90.00°");
    EXPECT_EQ(f.recoverTime, L"1000");
    EXPECT_EQ(f.preshotTime, L"500");
    EXPECT_EQ(f.horizontalGear, L"100 %");
    EXPECT_EQ(f.captureDirectory, L"/media/camera");
}

TEST_F(DeviceSettingsTest, AssembliesComeOnceFromTheFirstFolderThatHasThem) {
    WriteText(folders.program / "vrhead.asm", "name = \"VELDAN VR head\"\nrow = 0 12\n");
    fs::create_directories(folders.configuration);
    WriteText(folders.configuration / "VRHEAD.asm", "name = \"Shadowed copy\"\n");
    WriteText(folders.configuration / "big.ASM", "name = \"Big lens rig\"\n");
    WriteText(folders.system / "plain.asm", "row = 0 6\n");  // no name: the file name is shown
    WriteText(folders.system / "notes.txt", "name = \"not an assembly\"\n");
    fs::create_directories(folders.system / "folder.asm");                            // a folder is not a file
    fs::create_symlink(folders.system / "missing", folders.system / "dangling.asm");  // cannot be opened
    WriteText(folders.configuration / "settings.cfg", "edition = \"VRHead\"\n");
    auto model = Open();
    EXPECT_EQ(Texts(*model), (std::vector<std::wstring>{L"Big lens rig", L"plain.asm", L"VELDAN VR head"}));
    ASSERT_GE(model->Form().model, 0);
    const AssemblyChoice& chosen = model->Assemblies()[static_cast<size_t>(model->Form().model)];
    EXPECT_EQ(chosen.fileName, L"vrhead.asm");
    EXPECT_EQ(chosen.path, folders.program / "vrhead.asm");
}

TEST_F(DeviceSettingsTest, PortsAreTheComNumbersOfTheList) {
    ports = {"COM3", "COM12", "LPT1", "COMx", "COM", "com7", "COM999"};
    fs::create_directories(folders.configuration);
    WriteText(folders.configuration / "settings.cfg", "port = 12\n");
    auto model = Open();
    std::vector<std::wstring> texts;
    for (const SettingsChoice& p : model->Ports()) texts.push_back(p.text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Autodetect", L"COM3", L"COM12", L"COM7"}));
    ASSERT_EQ(model->Form().port, 2);
    EXPECT_EQ(model->Ports()[2].data, 12);
}

TEST_F(DeviceSettingsTest, SavingWritesEveryValueAndTheCaptureDirectory) {
    WriteText(folders.program / "vrhead.asm", "name = \"VELDAN VR head\"\n");
    WriteText(folders.system / "small.asm", "name = \"Small rig\"\n");
    ports = {"COM4"};
    auto model = Open();
    DeviceSettingsForm f = model->Form();
    f.model = 0;  // "Small rig" sorts first
    ASSERT_EQ(model->Assemblies()[0].fileName, L"small.asm");
    f.port = 1;
    f.packetRate = 2;
    f.simultaneous = true;
    f.verbose = true;
    f.twistingLimit = true;
    f.upperLimit = L"65° (110 mm)";
    f.lowerLimit = L"-45° (235 mm)";
    f.recoverTime = L"750";
    f.preshotTime = L"2000";
    f.horizontalGear = L"29 %";
    f.verticalGear = L"5 %";
    f.captureDirectory = L"/home/user/captures";
    std::string error;
    ASSERT_TRUE(model->Save(f, &error)) << error;

    auto config = Reread();
    ASSERT_NE(config->edition, nullptr);
    EXPECT_STREQ(config->edition, "small");
    EXPECT_EQ(config->serialPort, 4);
    EXPECT_EQ(config->packetRate, 2000);
    EXPECT_EQ(config->simultaneous, 1);
    EXPECT_EQ(config->verbose, 1);
    EXPECT_EQ(config->twistingLimit, 360.0);
    EXPECT_EQ(config->upperLimit, 65.0);
    EXPECT_EQ(config->lowerLimit, -45.0);
    EXPECT_DOUBLE_EQ(config->recoverTime, 0.75);
    EXPECT_DOUBLE_EQ(config->preshotTime, 2.0);
    EXPECT_DOUBLE_EQ(config->horizontalSpeed, 0.29);
    EXPECT_DOUBLE_EQ(config->verticalSpeed, 0.05);
    EXPECT_EQ(profile.GetString(L"SETTINGS", L"CAPTURE_DIRECTORY"), L"/home/user/captures");

    // Shown again exactly as saved (0.29 is not shown as "28 %").
    auto again = Open();
    const DeviceSettingsForm& g = again->Form();
    EXPECT_EQ(g.model, 0);
    EXPECT_EQ(g.port, 1);
    EXPECT_EQ(g.packetRate, 2);
    EXPECT_TRUE(g.simultaneous && g.verbose && g.twistingLimit);
    EXPECT_EQ(g.upperLimit, L"65.00°");
    EXPECT_EQ(g.lowerLimit, L"-45.00°");
    EXPECT_EQ(g.recoverTime, L"750");
    EXPECT_EQ(g.preshotTime, L"2000");
    EXPECT_EQ(g.horizontalGear, L"29 %");
    EXPECT_EQ(g.verticalGear, L"5 %");
}

TEST_F(DeviceSettingsTest, NothingSelectedKeepsTheConfiguredValues) {
    fs::create_directories(folders.configuration);
    WriteText(folders.configuration / "settings.cfg",
              "edition = \"gone\"\nport = 9\npacket_rate = 2500\nlog_level = 2\nholding_power[1] = 55\n");
    auto model = Open();
    DeviceSettingsForm f = model->Form();
    EXPECT_EQ(f.model, -1) << "an edition without its file selects nothing";
    EXPECT_EQ(f.port, -1);
    EXPECT_EQ(f.packetRate, -1);
    f.horizontalGear = L"fast";  // not a number: 0, which the file stores as the slowest gear
    f.upperLimit = L"about 60";
    f.captureDirectory.clear();
    ASSERT_TRUE(model->Save(f));
    auto config = Reread();
    EXPECT_STREQ(config->edition, "gone");
    EXPECT_EQ(config->serialPort, 9);
    EXPECT_EQ(config->packetRate, 2500);
    EXPECT_EQ(config->logLevel, 2) << "settings the dialog does not show are kept";
    EXPECT_EQ(config->holdingPower[1], 55);
    EXPECT_DOUBLE_EQ(config->horizontalSpeed, 0.01);
    EXPECT_EQ(config->upperLimit, 0.0);
    EXPECT_EQ(profile.GetString(L"Settings", L"CAPTURE_DIRECTORY", L"unset"), L"");
}

TEST_F(DeviceSettingsTest, AnUnreadableFileIsReportedAndAnUnwritableOneFailsTheSave) {
    fs::create_directories(folders.configuration);
    WriteText(folders.configuration / "settings.cfg", "port = 3\nno_such_key = 1\n");
    auto model = Open();
    EXPECT_FALSE(model->LoadError().empty());
    EXPECT_EQ(model->Form().port, 0) << "the defaults are shown";

    ReadOnlyFolder locked(folders.configuration);
    if (!locked.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
    DeviceSettingsForm f = model->Form();
    f.captureDirectory = L"/still/stored";
    std::string error;
    EXPECT_FALSE(model->Save(f, &error));
    EXPECT_NE(error.find("settings.cfg"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(folders.configuration / "settings.cfg"), "port = 3\nno_such_key = 1\n");
    EXPECT_EQ(profile.GetString(L"Settings", L"CAPTURE_DIRECTORY"), L"/still/stored");
}

TEST(DeviceSettingsTexts, NumbersAreReadAndWrittenWithoutTheLocale) {
    EXPECT_EQ(DeviceSettingsModel::GearText(0.5), L"50 %");
    EXPECT_EQ(DeviceSettingsModel::GearText(0.01), L"1 %");
    EXPECT_EQ(DeviceSettingsModel::LimitText(-45.5), L"-45.50°");
    EXPECT_EQ(DeviceSettingsModel::MillisecondsText(0.0001), L"1") << "rounded up";
    EXPECT_EQ(DeviceSettingsModel::MillisecondsText(0.7), L"700");
    EXPECT_EQ(DeviceSettingsModel::LeadingInteger(L" 75 %"), 75);
    EXPECT_EQ(DeviceSettingsModel::LeadingInteger(L"%"), 0);
    EXPECT_EQ(DeviceSettingsModel::LeadingNumber(L"-45° (235 mm)"), -45.0);
    EXPECT_EQ(DeviceSettingsModel::LeadingNumber(L"+12.5"), 12.5);
    EXPECT_EQ(DeviceSettingsModel::LeadingNumber(L"n/a"), 0.0);
}

}  // namespace veldan::test
