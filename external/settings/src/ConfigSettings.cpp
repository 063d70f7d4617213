// Keys, types and ranges of the configuration file and how each maps to a
// member of CVeldanConfig.
#include "ConfigSettings.h"

#include <cmath>

#include "TextLines.h"

namespace veldan::settings {

namespace {

constexpr double kAddrMax = CVeldanConfig::kBusAddressCount - 1;
constexpr double kRelayMax = CVeldanConfig::kRelayCount - 1;

const Setting kSettings[] = {
    {"port", SettingType::Int, false, 1, 255, true, "Serial line: COM number of the head, -1 searches every port"},
    {"max_device_id", SettingType::Byte, false, 0, 255, false,
     "Highest bus address probed at start (the bus has 0 to 31)"},
    {"simultaneous", SettingType::Flag, false, 0, 1, false, "1 = commands to different modules may overlap on the bus"},
    {"packet_rate", SettingType::Int, false, 0, 1000000, false, "Packets per minute on the bus, 0 = unlimited"},
    {"verbose", SettingType::Flag, false, 0, 1, false, "Logging: 1 = verbose progress output"},
    {"log_level", SettingType::Int, false, -9, 9, false, "3 or -3 writes the bus traffic to log_file"},
    {"log_file", SettingType::Path, false, 0, 0, false, "Traffic log; a relative name lies beside this file"},
    {"edition", SettingType::Edition, false, 0, 0, false,
     "Head assembly: the name of its .asm file without the extension"},
    {"horizontal_drive", SettingType::Int, false, 0, kAddrMax, true, "Bus addresses of the modules, -1 = absent"},
    {"vertical_drive", SettingType::Int, false, 0, kAddrMax, true, nullptr},
    {"control_module", SettingType::Int, false, 0, kAddrMax, true, nullptr},
    {"shutter_module", SettingType::Int, false, 0, kAddrMax, true,
     "Camera contacts: module bus address and relay (0 to 9)"},
    {"shutter_relay", SettingType::Int, false, 0, kRelayMax, false, nullptr},
    {"preshot_module", SettingType::Int, false, 0, kAddrMax, true, nullptr},
    {"preshot_relay", SettingType::Int, false, 0, kRelayMax, false, nullptr},
    {"battery_empty", SettingType::Double, false, 0, 100, false, "Battery voltage shown as 0 % and 100 %"},
    {"battery_full", SettingType::Double, false, 0, 100, false, nullptr},
    {"acceleration_time", SettingType::Int, true, 0, 60000, false,
     "Per bus address: acceleration time in ms (0 = the drive's own),\n"
     "holding and running power in percent, parking angle or off"},
    {"holding_power", SettingType::Int, true, 0, 100, false, nullptr},
    {"running_power", SettingType::Int, true, 0, 100, false, nullptr},
    {"parking", SettingType::Parking, true, -360, 360, false, nullptr},
    {"twisting_limit", SettingType::Double, false, 1, 3600, true,
     "Movement range: horizontal turn limit in degrees (360 = one turn), -1 = off;\n"
     "vertical limits in degrees"},
    {"lower_limit", SettingType::Double, false, -90, 90, false, nullptr},
    {"upper_limit", SettingType::Double, false, -90, 90, false, nullptr},
    {"bracketing", SettingType::Int, false, 1, 99, false,
     "Shooting: releases per position and passes over the whole pattern"},
    {"repetitions", SettingType::Int, false, 1, 999, false, nullptr},
    {"preshot_time", SettingType::Double, false, 0, 3600, false, "Times in seconds"},
    {"exposure_time", SettingType::Double, false, 0, 3600, false, nullptr},
    {"recover_time", SettingType::Double, false, 0, 3600, false, nullptr},
    {"global_speed", SettingType::Double, false, 0.01, 10, false, "Speed factors (fractions of full speed)"},
    {"horizontal_gear", SettingType::Double, false, 0.01, 1, false, nullptr},
    {"vertical_gear", SettingType::Double, false, 0.01, 1, false, nullptr},
};

int* IntField(CVeldanConfig& c, std::string_view key, int index) {
    if (key == "port") return &c.serialPort;
    if (key == "packet_rate") return &c.packetRate;
    if (key == "log_level") return &c.logLevel;
    if (key == "horizontal_drive") return &c.hDriveAddress;
    if (key == "vertical_drive") return &c.vDriveAddress;
    if (key == "control_module") return &c.controlAddress;
    if (key == "shutter_module") return &c.shutterAddress;
    if (key == "shutter_relay") return &c.shutterRelay;
    if (key == "preshot_module") return &c.preshotAddress;
    if (key == "preshot_relay") return &c.preshotRelay;
    if (key == "acceleration_time") return &c.accelerationTime[index];
    if (key == "holding_power") return &c.holdingPower[index];
    if (key == "running_power") return &c.runningPower[index];
    if (key == "bracketing") return &c.bracketing;
    if (key == "repetitions") return &c.repetitions;
    return nullptr;
}

uint8_t* ByteField(CVeldanConfig& c, std::string_view key) {
    if (key == "max_device_id") return &c.maxDeviceId;
    if (key == "simultaneous") return &c.simultaneous;
    if (key == "verbose") return &c.verbose;
    return nullptr;
}

double* DoubleField(CVeldanConfig& c, std::string_view key) {
    if (key == "battery_empty") return &c.batteryEmpty;
    if (key == "battery_full") return &c.batteryFull;
    if (key == "twisting_limit") return &c.twistingLimit;
    if (key == "lower_limit") return &c.lowerLimit;
    if (key == "upper_limit") return &c.upperLimit;
    if (key == "preshot_time") return &c.preshotTime;
    if (key == "exposure_time") return &c.exposureTime;
    if (key == "recover_time") return &c.recoverTime;
    if (key == "global_speed") return &c.globalSpeed;
    if (key == "horizontal_gear") return &c.horizontalSpeed;
    if (key == "vertical_gear") return &c.verticalSpeed;
    return nullptr;
}

bool ParseFlag(LineScanner& scan, double& out) {
    std::string_view word;
    LineScanner probe = scan;
    if (!probe.Word(word)) return false;
    if (word == "0" || word == "1")
        out = word == "1";
    else if (WordEquals(word, "true") || WordEquals(word, "yes") || WordEquals(word, "on"))
        out = 1;
    else if (WordEquals(word, "false") || WordEquals(word, "no") || WordEquals(word, "off"))
        out = 0;
    else
        return false;
    scan = probe;
    return true;
}

bool AcceptOff(LineScanner& scan) {
    LineScanner probe = scan;
    std::string_view word;
    if (probe.Word(word) && WordEquals(word, "off")) {
        scan = probe;
        return true;
    }
    return false;
}

std::string RangeText(const Setting& s) {
    std::string text = FormatNumber(s.min) + " to " + FormatNumber(s.max);
    if (s.minusOneOff) text += " or -1";
    return text;
}

}  // namespace

const Setting* SettingTable(size_t& count) {
    count = sizeof kSettings / sizeof kSettings[0];
    return kSettings;
}

const Setting* FindSetting(std::string_view key) {
    for (const auto& s : kSettings)
        if (WordEquals(key, s.key)) return &s;
    return nullptr;
}

bool ParseSettingLine(std::string_view line, const Setting*& setting, int& index, SettingValue& value,
                      std::string& error) {
    LineScanner scan(line);
    std::string_view word;
    if (!scan.Word(word)) {
        error = "\"key = value\" expected";
        return false;
    }
    // A per-address key carries its bus address in brackets: key[3].
    std::string_view key = word;
    index = -1;
    size_t bracket = word.find('[');
    if (bracket != std::string_view::npos) {
        key = word.substr(0, bracket);
        std::string_view inner = word.substr(bracket + 1);
        if (inner.empty() || inner.back() != ']') {
            error = "bus address in brackets expected after \"" + std::string(key.substr(0, 40)) + "\"";
            return false;
        }
        inner.remove_suffix(1);
        LineScanner indexScan(inner);
        long long address = 0;
        if (!indexScan.Integer(address, 0, CVeldanConfig::kBusAddressCount - 1) || !indexScan.AtEnd()) {
            error = "bus address 0 to 31 expected in brackets";
            return false;
        }
        index = static_cast<int>(address);
    }
    setting = FindSetting(key);
    if (!setting) {
        error = "unknown setting \"" + std::string(key.substr(0, 40)) + "\"";
        return false;
    }
    if (setting->perAddress != (index >= 0)) {
        error = std::string(setting->key) +
                (setting->perAddress ? ": bus address in brackets expected" : ": takes no bus address");
        return false;
    }
    if (!scan.Accept('=')) {
        error = std::string(setting->key) + ": \"=\" expected";
        return false;
    }
    const Setting& s = *setting;
    std::string what = std::string(s.key) + ": ";
    value = SettingValue{};
    bool ok = true;
    long long integer = 0;
    switch (s.type) {
        case SettingType::Int:
        case SettingType::Byte:
            if (s.minusOneOff && AcceptOff(scan))
                value.number = -1;
            else if (scan.Integer(integer, s.minusOneOff ? -1 : static_cast<long long>(s.min),
                                  static_cast<long long>(s.max)) &&
                     (integer >= s.min || integer == -1))
                value.number = static_cast<double>(integer);
            else {
                error = what + "whole number " + RangeText(s) + " expected";
                ok = false;
            }
            break;
        case SettingType::Flag:
            if (!ParseFlag(scan, value.number)) {
                error = what + "0 or 1 expected";
                ok = false;
            }
            break;
        case SettingType::Double:
            if (s.minusOneOff && AcceptOff(scan))
                value.number = -1;
            else if (!scan.Number(value.number) ||
                     !((value.number >= s.min && value.number <= s.max) || (s.minusOneOff && value.number == -1))) {
                error = what + "number " + RangeText(s) + " expected";
                ok = false;
            }
            break;
        case SettingType::Parking:
            if (AcceptOff(scan))
                value.enabled = false;
            else if (!scan.Number(value.number) || value.number < s.min || value.number > s.max) {
                error = what + "angle -360 to 360 or off expected";
                ok = false;
            }
            break;
        case SettingType::Path:
            if (!scan.Quoted(value.text)) {
                error = what + "quoted file name expected";
                ok = false;
            }
            break;
        case SettingType::Edition:
            if (scan.PeekQuote()) {
                if (!scan.Quoted(value.text)) {
                    error = what + "quoted name expected";
                    ok = false;
                }
            } else {
                std::string_view bare;
                if (scan.Word(bare))
                    value.text = std::string(bare);
                else {
                    error = what + "name expected (\"\" clears it)";
                    ok = false;
                }
            }
            value.enabled = !value.text.empty();
            if (ok && (value.text.size() > 255 || value.text.find('/') != std::string::npos ||
                       value.text.find('\\') != std::string::npos || value.text == "." || value.text == "..")) {
                error = what + "a file name without folder expected";
                ok = false;
            }
            break;
    }
    if (ok && !scan.AtEnd()) {
        error = what + "unexpected text after the value";
        ok = false;
    }
    return ok;
}

void ApplySetting(CVeldanConfig& c, const Setting& s, int index, const SettingValue& v) {
    switch (s.type) {
        case SettingType::Int: *IntField(c, s.key, index) = static_cast<int>(v.number); break;
        case SettingType::Byte:
        case SettingType::Flag: *ByteField(c, s.key) = static_cast<uint8_t>(v.number); break;
        case SettingType::Double: *DoubleField(c, s.key) = v.number; break;
        case SettingType::Parking:
            c.parkingEnabled[index] = v.enabled ? 1 : 0;
            c.parkingAngle[index] = v.enabled ? v.number : 0.0;
            break;
        case SettingType::Path: c.logFile = v.text; break;
        case SettingType::Edition: c.SetEdition(v.enabled ? v.text.c_str() : nullptr); break;
    }
}

std::string FormatSetting(const CVeldanConfig& config, const Setting& s, int index) {
    auto& c = const_cast<CVeldanConfig&>(config);  // field look-up only, nothing is written
    std::string line = s.key;
    if (s.perAddress) line += "[" + std::to_string(index) + "]";
    line += " = ";
    switch (s.type) {
        case SettingType::Int: line += std::to_string(*IntField(c, s.key, index)); break;
        case SettingType::Byte:
        case SettingType::Flag: line += std::to_string(*ByteField(c, s.key)); break;
        case SettingType::Double: line += FormatNumber(*DoubleField(c, s.key)); break;
        case SettingType::Parking:
            line += c.parkingEnabled[index] ? FormatNumber(c.parkingAngle[index]) : std::string("off");
            break;
        case SettingType::Path: line += Quote(c.logFile); break;
        case SettingType::Edition: line += Quote(c.edition ? c.edition : ""); break;
    }
    return line;
}

}  // namespace veldan::settings
