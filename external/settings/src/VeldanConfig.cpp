// CVeldanConfig: defaults, the "settings.cfg" text form, single overrides.
#include "settings/VeldanConfig.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "ConfigSettings.h"
#include "TextLines.h"
#include "stream/DynStream.h"

using namespace veldan::settings;

namespace {

constexpr int kDefaultHDrive = 1;
constexpr int kDefaultVDrive = 2;
constexpr int kDefaultControl = 3;
constexpr int kDefaultHoldingPower = 30;
constexpr int kDefaultRunningPower = 80;

struct Assignment {
    const Setting* setting;
    int index;
    SettingValue value;
};

// Range and cross checks of the values that Load accepts.
bool LimitsConsistent(double lower, double upper, double empty, double full, std::string& error) {
    if (lower > upper) {
        error = "lower_limit is above upper_limit";
        return false;
    }
    if (!(empty < full)) {
        error = "battery_empty must be below battery_full";
        return false;
    }
    return true;
}

double ClampToSetting(double v, const Setting& s, double fallback) {
    if (!std::isfinite(v)) return fallback;
    if (s.minusOneOff && (v == -1 || v < s.min)) return -1;
    if (v < s.min) return s.min;
    if (v > s.max) return s.max;
    return v;
}

}  // namespace

CVeldanConfig::CVeldanConfig() : logStream(nullptr), edition(nullptr) { SetDefaults(); }

CVeldanConfig::~CVeldanConfig() {
    if (logStream) dyn_fclose(logStream);
}

void CVeldanConfig::SetDefaults() {
    serialPort = -1;
    maxDeviceId = 7;
    simultaneous = 0;
    packetRate = 0;
    verbose = 0;
    logLevel = 0;
    logFile = "VELDANtraffic.log";
    SetEdition(nullptr);
    hDriveAddress = kDefaultHDrive;
    vDriveAddress = kDefaultVDrive;
    controlAddress = kDefaultControl;
    batteryEmpty = 10.5;
    batteryFull = 12.6;
    for (int a = 0; a < kBusAddressCount; ++a) {
        accelerationTime[a] = 0;
        holdingPower[a] = kDefaultHoldingPower;
        runningPower[a] = kDefaultRunningPower;
        parkingEnabled[a] = 0;
        parkingAngle[a] = 0.0;
    }
    parkingEnabled[kDefaultVDrive] = 1;  // the vertical drive parks level
    shutterAddress = kDefaultControl;
    shutterRelay = 1;
    preshotAddress = kDefaultControl;
    preshotRelay = 0;
    twistingLimit = -1.0;
    lowerLimit = -90.0;
    upperLimit = 90.0;
    bracketing = 1;
    repetitions = 1;
    preshotTime = 0.5;
    exposureTime = 0.2;
    recoverTime = 1.0;
    globalSpeed = 1.0;
    horizontalSpeed = 1.0;
    verticalSpeed = 1.0;
}

bool CVeldanConfig::SetEdition(const char* name) {
    if (!name || !*name) {
        edition_.clear();
        edition = nullptr;
        return true;
    }
    std::string_view view(name);
    // A name given with its file extension still names the same file.
    if (view.size() > 4 && WordEquals(view.substr(view.size() - 4), ".asm")) view.remove_suffix(4);
    if (view.size() > 255 || !IsCleanText(view) || view.find('/') != std::string_view::npos ||
        view.find('\\') != std::string_view::npos || view == "." || view == "..")
        return false;
    edition_ = std::string(view);
    edition = edition_.c_str();
    return true;
}

bool CVeldanConfig::Load(DynStream* stream) {
    std::string data, error;
    std::vector<std::string_view> lines;
    std::vector<Assignment> assignments;
    bool ok = ReadWholeStream(stream, kMaxFileSize, data, error) && SplitLines(data, kMaxLineLength, lines, error);
    for (size_t i = 0; ok && i < lines.size(); ++i) {
        if (LineScanner(lines[i]).AtEnd()) continue;
        Assignment a{};
        std::string lineError;
        if (!ParseSettingLine(lines[i], a.setting, a.index, a.value, lineError)) {
            error = "line " + std::to_string(i + 1) + ": " + lineError;
            ok = false;
        } else {
            assignments.push_back(std::move(a));
        }
    }
    if (ok) {
        // The values the file leaves at their defaults take part in the
        // cross checks too.
        double lower = -90, upper = 90, empty = 10.5, full = 12.6;
        for (const auto& a : assignments) {
            std::string_view key = a.setting->key;
            if (key == "lower_limit") lower = a.value.number;
            if (key == "upper_limit") upper = a.value.number;
            if (key == "battery_empty") empty = a.value.number;
            if (key == "battery_full") full = a.value.number;
        }
        ok = LimitsConsistent(lower, upper, empty, full, error);
    }
    if (!ok) {
        error_ = error;
        return false;
    }
    SetDefaults();
    for (const auto& a : assignments) ApplySetting(*this, *a.setting, a.index, a.value);
    if (const char* path = dyn_fpath(stream)) baseFolder_ = std::filesystem::path(path).parent_path().string();
    error_.clear();
    OpenLogStream();
    return true;
}

bool CVeldanConfig::SetParameter(const char* text) {
    if (!text) return false;
    std::string_view line(text);
    const Setting* setting = nullptr;
    int index = -1;
    SettingValue value;
    std::string error;
    if (line.size() > kMaxLineLength || !IsCleanText(line, true)) {
        error = "control character, invalid UTF-8 or too long";
    } else if (LineScanner(line).AtEnd()) {
        error = "\"key=value\" expected";
    } else if (ParseSettingLine(line, setting, index, value, error)) {
        std::string_view key = setting->key;
        double lower = key == "lower_limit" ? value.number : lowerLimit;
        double upper = key == "upper_limit" ? value.number : upperLimit;
        double empty = key == "battery_empty" ? value.number : batteryEmpty;
        double full = key == "battery_full" ? value.number : batteryFull;
        if (LimitsConsistent(lower, upper, empty, full, error)) {
            ApplySetting(*this, *setting, index, value);
            if (key == "log_level" || key == "log_file") OpenLogStream();
            error_.clear();
            return true;
        }
    }
    error_ = error;
    return false;
}

bool CVeldanConfig::OpenLogStream() {
    if (logStream) return true;
    if (std::abs(logLevel) != 3 || logFile.empty()) return false;
    std::filesystem::path path(logFile);
    if (path.is_relative() && !baseFolder_.empty()) path = std::filesystem::path(baseFolder_) / path;
    logStream = dyn_fopen(path.string().c_str(), "a");
    return logStream != nullptr;
}

bool CVeldanConfig::Save(DynStream* stream) {
    // Values set directly by callers are brought into the ranges that Load
    // accepts, so that the written file can always be read back.
    size_t count = 0;
    const Setting* table = SettingTable(count);
    for (size_t i = 0; i < count; ++i) {
        const Setting& s = table[i];
        std::string_view key = s.key;
        auto clampInt = [&](int& v) { v = static_cast<int>(ClampToSetting(v, s, s.min)); };
        switch (s.type) {
            case SettingType::Int:
                if (key == "port")
                    clampInt(serialPort);
                else if (key == "packet_rate")
                    clampInt(packetRate);
                else if (key == "log_level")
                    clampInt(logLevel);
                else if (key == "horizontal_drive")
                    clampInt(hDriveAddress);
                else if (key == "vertical_drive")
                    clampInt(vDriveAddress);
                else if (key == "control_module")
                    clampInt(controlAddress);
                else if (key == "shutter_module")
                    clampInt(shutterAddress);
                else if (key == "shutter_relay")
                    clampInt(shutterRelay);
                else if (key == "preshot_module")
                    clampInt(preshotAddress);
                else if (key == "preshot_relay")
                    clampInt(preshotRelay);
                else if (key == "bracketing")
                    clampInt(bracketing);
                else if (key == "repetitions")
                    clampInt(repetitions);
                else if (key == "acceleration_time")
                    for (int& v : accelerationTime) clampInt(v);
                else if (key == "holding_power")
                    for (int& v : holdingPower) clampInt(v);
                else if (key == "running_power")
                    for (int& v : runningPower) clampInt(v);
                break;
            case SettingType::Flag:
                if (key == "simultaneous")
                    simultaneous = simultaneous ? 1 : 0;
                else if (key == "verbose")
                    verbose = verbose ? 1 : 0;
                break;
            case SettingType::Double: {
                auto clamp = [&](double& v, double fallback) { v = ClampToSetting(v, s, fallback); };
                if (key == "battery_empty")
                    clamp(batteryEmpty, 10.5);
                else if (key == "battery_full")
                    clamp(batteryFull, 12.6);
                else if (key == "twisting_limit")
                    clamp(twistingLimit, -1);
                else if (key == "lower_limit")
                    clamp(lowerLimit, -90);
                else if (key == "upper_limit")
                    clamp(upperLimit, 90);
                else if (key == "preshot_time")
                    clamp(preshotTime, 0.5);
                else if (key == "exposure_time")
                    clamp(exposureTime, 0.2);
                else if (key == "recover_time")
                    clamp(recoverTime, 1.0);
                else if (key == "global_speed")
                    clamp(globalSpeed, 1.0);
                else if (key == "horizontal_gear")
                    clamp(horizontalSpeed, 1.0);
                else if (key == "vertical_gear")
                    clamp(verticalSpeed, 1.0);
                break;
            }
            case SettingType::Parking:
                for (int a = 0; a < kBusAddressCount; ++a) {
                    parkingEnabled[a] = parkingEnabled[a] ? 1 : 0;
                    parkingAngle[a] = ClampToSetting(parkingAngle[a], s, 0.0);
                }
                break;
            default: break;
        }
    }
    if (lowerLimit > upperLimit) std::swap(lowerLimit, upperLimit);
    if (batteryEmpty > batteryFull) std::swap(batteryEmpty, batteryFull);
    if (!(batteryEmpty < batteryFull)) {
        if (batteryFull < 100)
            batteryFull = std::min(100.0, batteryEmpty + 0.1);
        else
            batteryEmpty = batteryFull - 0.1;
    }
    if (!IsCleanText(logFile) || logFile.size() > kMaxLineLength / 2) logFile = "VELDANtraffic.log";

    // Per-address entries: the configured modules always, any other address
    // only when it differs from the defaults.
    auto addressUsed = [&](int a) {
        if (a == hDriveAddress || a == vDriveAddress || a == controlAddress) return true;
        bool defaultParking = a == kDefaultVDrive ? (parkingEnabled[a] && parkingAngle[a] == 0) : !parkingEnabled[a];
        return accelerationTime[a] != 0 || holdingPower[a] != kDefaultHoldingPower ||
               runningPower[a] != kDefaultRunningPower || !defaultParking;
    };
    std::string text = "# VELDAN device configuration\n";
    for (size_t i = 0; i < count; ++i) {
        const Setting& s = table[i];
        if (s.comment) {
            text += "\n";
            std::string_view comment = s.comment;
            while (!comment.empty()) {
                size_t end = comment.find('\n');
                text += "# " + std::string(comment.substr(0, end)) + "\n";
                comment.remove_prefix(end == std::string_view::npos ? comment.size() : end + 1);
            }
        }
        if (!s.perAddress) {
            text += FormatSetting(*this, s, -1) + "\n";
            continue;
        }
        for (int a = 0; a < kBusAddressCount; ++a)
            if (addressUsed(a)) text += FormatSetting(*this, s, a) + "\n";
    }
    return WriteAndCommit(stream, text);
}
