// DeviceSettingsModel: the settings dialog's values, the assemblies found, the
// ports and the choice lists.
#include "preview/head/DeviceSettings.h"
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cwctype>
#include <system_error>
#include "platform/Folders.h"
#include "platform/SerialLine.h"
#include "platform/Text.h"
#include "settings/VeldanAssembly.h"
#include "stream/DynStream.h"

namespace veldan::preview {

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kProfileSection = L"Settings";
constexpr const wchar_t* kCaptureDirectoryKey = L"CAPTURE_DIRECTORY";

// A small tolerance for values read back from the file: 0.29 * 100 is
// 28.999999999999996 in binary, and must still show as "29 %".
constexpr double kTolerance = 1e-9;

bool HasAsmExtension(const fs::path& file) {
    return veldan::platform::EqualsNoCase(veldan::platform::PathToWide(file.extension()), L".asm");
}

// A quoted text of the settings format: quotes and backslashes escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

DeviceSettingsFolders DeviceSettingsFolders::Default() {
    return {veldan::platform::ProgramFolder(), veldan::platform::ConfigurationFolder(),
            veldan::platform::SystemDataFolder()};
}

DeviceSettingsModel::DeviceSettingsModel(veldan::platform::Profile& profile, DeviceSettingsFolders folders,
                                         PortLister ports)
    : profile_(profile),
      folders_(std::move(folders)),
      listPorts_(ports ? std::move(ports) : PortLister(&veldan::platform::EnumerateSerialPorts)),
      config_(std::make_unique<CVeldanConfig>()) {}

fs::path DeviceSettingsModel::ConfigFile() const { return folders_.configuration / "settings.cfg"; }

const std::vector<SettingsChoice>& DeviceSettingsModel::PacketRates() {
    static const std::vector<SettingsChoice> kItems = {{L"unlimited", 0},   {L"1000 ppm", 1000}, {L"2000 ppm", 2000},
                                                       {L"3000 ppm", 3000}, {L"4000 ppm", 4000}, {L"5000 ppm", 5000},
                                                       {L"6000 ppm", 6000}};
    return kItems;
}
const std::vector<std::wstring>& DeviceSettingsModel::UpperLimitItems() {
    static const std::vector<std::wstring> kItems = {L"90° (unlimited)", L"70° (75 mm)",  L"65° (110 mm)",
                                                     L"60° (145 mm)",    L"55° (175 mm)", L"50° (205 mm)",
                                                     L"45° (235 mm)"};
    return kItems;
}
const std::vector<std::wstring>& DeviceSettingsModel::LowerLimitItems() {
    static const std::vector<std::wstring> kItems = {L"-45° (235 mm)",   L"-50° (205 mm)", L"-55° (175 mm)",
                                                     L"-60° (145 mm)",   L"-65° (110 mm)", L"-70° (75 mm)",
                                                     L"-90° (unlimited)"};
    return kItems;
}
const std::vector<std::wstring>& DeviceSettingsModel::RecoverTimeItems() {
    static const std::vector<std::wstring> kItems = {L"0",    L"100",  L"200",  L"300",  L"400",  L"500",  L"750",
                                                     L"1000", L"2000", L"3000", L"4000", L"5000", L"7500", L"10000"};
    return kItems;
}
const std::vector<std::wstring>& DeviceSettingsModel::PreshotTimeItems() {
    static const std::vector<std::wstring> kItems = {L"0",   L"100", L"200",  L"300",  L"400",
                                                     L"500", L"750", L"1000", L"2000", L"4000"};
    return kItems;
}
const std::vector<std::wstring>& DeviceSettingsModel::GearItems() {
    static const std::vector<std::wstring> kItems = {L"1 %", L"5 %", L"10 %", L"25 %", L"50 %", L"75 %", L"100 %"};
    return kItems;
}

std::wstring DeviceSettingsModel::GearText(double gear) {
    const double percent = std::floor(gear * 100.0 + kTolerance);
    const long value = std::isfinite(percent) ? static_cast<long>(std::clamp(percent, -1e9, 1e9)) : 0;
    return std::to_wstring(value) + L" %";
}

std::wstring DeviceSettingsModel::LimitText(double degrees) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, degrees, std::chars_format::fixed, 2);
    const std::string text = result.ec == std::errc() ? std::string(buffer, result.ptr) : "0.00";
    return veldan::platform::FromUtf8(text) + L"°";
}

std::wstring DeviceSettingsModel::MillisecondsText(double seconds) {
    const double ms = std::ceil(seconds * 1000.0 - kTolerance);
    const unsigned long value = std::isfinite(ms) && ms > 0 ? static_cast<unsigned long>(std::min(ms, 4e9)) : 0;
    return std::to_wstring(value);
}

long DeviceSettingsModel::LeadingInteger(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 1000000000L) break;
    }
    return negative ? -value : value;
}

double DeviceSettingsModel::LeadingNumber(const std::wstring& text) {
    // Decimal point only, whatever the user's locale: the numbers are the
    // file's, not the user's language.
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    std::string ascii;
    if (i < text.size() && text[i] == L'+') ++i;
    for (; i < text.size() && text[i] < 0x80; ++i) ascii += static_cast<char>(text[i]);
    double value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0;
    return value;
}

void DeviceSettingsModel::Open() {
    config_ = std::make_unique<CVeldanConfig>();
    loadError_.clear();
    std::error_code ec;
    fs::create_directories(folders_.configuration, ec);
    const fs::path file = ConfigFile();
    if (DynStream* in = dyn_wfopen(veldan::platform::PathToWide(file).c_str(), "r")) {
        if (!config_->Load(in)) loadError_ = config_->GetLoadError();
        dyn_fclose(in);
    }

    FillAssemblies();
    FillPorts();
    const CVeldanConfig& c = *config_;
    form_ = DeviceSettingsForm();
    if (c.edition && *c.edition) {
        const std::wstring wanted = veldan::platform::FromUtf8(c.edition) + L".asm";
        for (size_t i = 0; i < assemblies_.size(); ++i)
            if (veldan::platform::EqualsNoCase(assemblies_[i].fileName, wanted)) {
                form_.model = static_cast<int>(i);
                break;
            }
    }
    for (size_t i = 0; i < ports_.size(); ++i)
        if (ports_[i].data == c.serialPort) {
            form_.port = static_cast<int>(i);
            break;
        }
    for (size_t i = 0; i < PacketRates().size(); ++i)
        if (PacketRates()[i].data == c.packetRate) {
            form_.packetRate = static_cast<int>(i);
            break;
        }
    form_.simultaneous = c.simultaneous != 0;
    form_.verbose = c.verbose != 0;
    form_.twistingLimit = c.twistingLimit != -1.0;
    form_.horizontalGear = GearText(c.horizontalSpeed);
    form_.verticalGear = GearText(c.verticalSpeed);
    form_.upperLimit = LimitText(c.upperLimit);
    form_.lowerLimit = LimitText(c.lowerLimit);
    form_.recoverTime = MillisecondsText(c.recoverTime);
    form_.preshotTime = MillisecondsText(c.preshotTime);
    form_.captureDirectory = profile_.GetString(kProfileSection, kCaptureDirectoryKey, L"");
}

void DeviceSettingsModel::FillAssemblies() {
    assemblies_.clear();
    for (const fs::path& folder : {folders_.program, folders_.configuration, folders_.system}) {
        if (folder.empty()) continue;
        std::vector<fs::path> files;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_directory(typeError) || !HasAsmExtension(it->path())) continue;
            files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            const std::wstring name = veldan::platform::PathToWide(file.filename());
            const bool known = std::any_of(assemblies_.begin(), assemblies_.end(), [&](const AssemblyChoice& a) {
                return veldan::platform::EqualsNoCase(a.fileName, name);
            });
            if (known) continue;  // the earlier folder wins
            DynStream* in = dyn_wfopen(veldan::platform::PathToWide(file).c_str(), "r");
            if (!in) continue;
            CVeldanAssembly assembly;
            (void)assembly.Load(in);
            dyn_fclose(in);
            AssemblyChoice choice;
            choice.text = assembly.name ? veldan::platform::FromUtf8(assembly.name) : name;
            choice.fileName = name;
            choice.path = file;
            assemblies_.push_back(std::move(choice));
        }
    }
    // The model box is a sorted list.
    std::stable_sort(assemblies_.begin(), assemblies_.end(), [](const AssemblyChoice& a, const AssemblyChoice& b) {
        return veldan::platform::FoldCase(a.text) < veldan::platform::FoldCase(b.text);
    });
}

void DeviceSettingsModel::FillPorts() {
    ports_.clear();
    ports_.push_back({L"Autodetect", -1});
    for (const std::string& name : listPorts_()) {
        if (name.size() <= 3 || !veldan::platform::EqualsNoCase(std::string_view(name).substr(0, 3), "COM")) continue;
        int number = 0;
        const auto result = std::from_chars(name.data() + 3, name.data() + name.size(), number);
        if (result.ec != std::errc() || result.ptr != name.data() + name.size() || number < 1 || number > 255) continue;
        ports_.push_back({L"COM" + std::to_wstring(number), number});
    }
}

bool DeviceSettingsModel::Save(const DeviceSettingsForm& form, std::string* error) {
    CVeldanConfig& c = *config_;
    if (form.model >= 0 && static_cast<size_t>(form.model) < assemblies_.size()) {
        const std::wstring& file = assemblies_[static_cast<size_t>(form.model)].fileName;
        const std::wstring stem = file.size() >= 4 ? file.substr(0, file.size() - 4) : file;
        (void)c.SetParameter(("edition=" + Quoted(veldan::platform::ToUtf8(stem))).c_str());
    }
    if (form.port >= 0 && static_cast<size_t>(form.port) < ports_.size())
        c.serialPort = ports_[static_cast<size_t>(form.port)].data;
    if (form.packetRate >= 0 && static_cast<size_t>(form.packetRate) < PacketRates().size())
        c.packetRate = PacketRates()[static_cast<size_t>(form.packetRate)].data;
    c.simultaneous = form.simultaneous ? 1 : 0;
    c.verbose = form.verbose ? 1 : 0;
    c.horizontalSpeed = static_cast<double>(LeadingInteger(form.horizontalGear)) * 0.01;
    c.verticalSpeed = static_cast<double>(LeadingInteger(form.verticalGear)) * 0.01;
    c.upperLimit = LeadingNumber(form.upperLimit);
    c.lowerLimit = LeadingNumber(form.lowerLimit);
    c.twistingLimit = form.twistingLimit ? 360.0 : -1.0;
    c.recoverTime = LeadingNumber(form.recoverTime) * 0.001;
    c.preshotTime = LeadingNumber(form.preshotTime) * 0.001;

    bool written = false;
    int failure = 0;
    std::error_code ec;
    fs::create_directories(folders_.configuration, ec);
    const fs::path file = ConfigFile();
    if (DynStream* out = dyn_wfopen(veldan::platform::PathToWide(file).c_str(), "w")) {
        const bool saved = c.Save(out);
        if (!saved) failure = errno;
        const bool closed = dyn_fclose(out) == 0;
        if (!closed && !failure) failure = errno;
        written = saved && closed;
    } else {
        failure = errno;
    }
    if (!written && error)
        *error = "cannot write " + file.string() + ": " + std::generic_category().message(failure ? failure : EIO);

    profile_.WriteString(kProfileSection, kCaptureDirectoryKey, form.captureDirectory);
    if (written) loadError_.clear();
    return written;
}

}  // namespace veldan::preview
