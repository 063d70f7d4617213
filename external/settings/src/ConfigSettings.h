#pragma once
// The table of configuration settings: key, type, range and the member each
// one names, shared by Load, Save and SetParameter.
#include <string>
#include <string_view>
#include "settings/VeldanConfig.h"

namespace veldan::settings {

enum class SettingType {
    Int,      // integer member (int)
    Byte,     // integer member (uint8_t)
    Flag,     // 0/1 member (uint8_t); also true/false, yes/no, on/off
    Double,   // double member
    Path,     // quoted UTF-8 text (std::string member)
    Edition,  // quoted or bare name, through SetEdition
    Parking,  // per address: "off" or an angle
};

struct Setting {
    const char* key;
    SettingType type;
    bool perAddress;  // key[address]
    double min, max;
    bool minusOneOff;     // -1 (or "off") also allowed
    const char* comment;  // written above the setting by Save, may be null
};

struct SettingValue {
    double number = 0;
    std::string text;
    bool enabled = true;  // Parking; Edition: false clears it
};

// All settings in the order Save writes them.
const Setting* SettingTable(size_t& count);
const Setting* FindSetting(std::string_view key);

// Parses "key[index] = value [# comment]". False with error on any fault.
bool ParseSettingLine(std::string_view line, const Setting*& setting, int& index, SettingValue& value,
                      std::string& error);

void ApplySetting(CVeldanConfig& config, const Setting& setting, int index, const SettingValue& value);
// The value line Save writes ("key = value" or "key[3] = value").
std::string FormatSetting(const CVeldanConfig& config, const Setting& setting, int index);

}  // namespace veldan::settings
