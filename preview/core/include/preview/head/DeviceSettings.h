#pragma once
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "platform/Profile.h"
#include "settings/VeldanConfig.h"

namespace veldan::preview {

// The three folders the assembly files ("*.asm") are taken from, in this
// order: the program's folder, the configuration folder (which also holds
// "settings.cfg") and the system-wide data folder.
struct DeviceSettingsFolders {
    std::filesystem::path program;
    std::filesystem::path configuration;
    std::filesystem::path system;
    static DeviceSettingsFolders Default();
};

// One item of a drop-down list: its text and its item data.
struct SettingsChoice {
    std::wstring text;
    int data = 0;
};

// One item of the model box: the assembly's name (or its file name when it
// names none), the file name and where it was found.
struct AssemblyChoice {
    std::wstring text;
    std::wstring fileName;
    std::filesystem::path path;
};

// What the device settings dialog shows and the user changes. Indexes are
// into the model's lists; -1 means that nothing is selected.
struct DeviceSettingsForm {
    int model = -1;
    int port = -1;
    int packetRate = -1;
    bool simultaneous = false;
    bool verbose = false;
    bool twistingLimit = false;
    std::wstring upperLimit;
    std::wstring lowerLimit;
    std::wstring recoverTime;  // milliseconds
    std::wstring preshotTime;  // milliseconds
    std::wstring horizontalGear;
    std::wstring verticalGear;
    std::wstring captureDirectory;
};

// The model of the device settings dialog: the device configuration
// "settings.cfg" in the configuration folder, edited through CVeldanConfig,
// and the program's capture directory ("CAPTURE_DIRECTORY" in the profile
// section "Settings").
class DeviceSettingsModel {
public:
    using PortLister = std::function<std::vector<std::string>()>;

    // ports lists the serial ports as "COM<n>" (default: the platform's list).
    explicit DeviceSettingsModel(veldan::platform::Profile& profile,
                                 DeviceSettingsFolders folders = DeviceSettingsFolders::Default(),
                                 PortLister ports = {});

    // Reads the configuration (a missing file keeps the defaults) and fills
    // the lists and the form.
    void Open();
    // Applies the form to the configuration and writes "settings.cfg"; the
    // capture directory is stored in any case. False with the reason when the
    // configuration file could not be written.
    bool Save(const DeviceSettingsForm& form, std::string* error = nullptr);

    const std::vector<AssemblyChoice>& Assemblies() const { return assemblies_; }
    const std::vector<SettingsChoice>& Ports() const { return ports_; }
    const DeviceSettingsForm& Form() const { return form_; }
    // Why an existing "settings.cfg" was refused (its values are not shown
    // then); empty when it was read or is missing.
    const std::string& LoadError() const { return loadError_; }
    std::filesystem::path ConfigFile() const;
    CVeldanConfig& Config() { return *config_; }

    // Items of the fixed lists and editable boxes.
    static const std::vector<SettingsChoice>& PacketRates();
    static const std::vector<std::wstring>& UpperLimitItems();
    static const std::vector<std::wstring>& LowerLimitItems();
    static const std::vector<std::wstring>& RecoverTimeItems();
    static const std::vector<std::wstring>& PreshotTimeItems();
    static const std::vector<std::wstring>& GearItems();

    // Texts of the editable boxes, independent of the user's locale:
    // "50 %", "-45.00°", "1500".
    static std::wstring GearText(double gear);
    static std::wstring LimitText(double degrees);
    static std::wstring MillisecondsText(double seconds);
    // The number at the start of a text (0 when it does not start with one).
    static long LeadingInteger(const std::wstring& text);
    static double LeadingNumber(const std::wstring& text);

private:
    void FillAssemblies();
    void FillPorts();

    veldan::platform::Profile& profile_;
    DeviceSettingsFolders folders_;
    PortLister listPorts_;
    std::unique_ptr<CVeldanConfig> config_;
    std::vector<AssemblyChoice> assemblies_;
    std::vector<SettingsChoice> ports_;
    DeviceSettingsForm form_;
    std::string loadError_;
};

}  // namespace veldan::preview
