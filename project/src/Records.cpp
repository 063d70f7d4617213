// Attribute form of the small records of a project document.
#include <cstring>
#include <ctime>

#include "VELDANPanorama/PanoramaProject.h"
#include "XmlIo.h"
#include "platform/Text.h"

using namespace veldan::project::xml;
using Project = VELDANPanoramaProject;

namespace {

// Booleans are true only for the integer value 1.
void LoadFlag(void* reader, const char* name, bool& field) {
    if (auto v = IntAttr(reader, name)) field = (*v == 1);
}

void LoadDouble(void* reader, const char* name, double& field) {
    if (auto v = DoubleAttr(reader, name)) field = *v;
}

// Counts written with an unsigned format are read back modulo 2^32, so a
// negative value written as unsigned (the bracketing step) round-trips.
void LoadU32(void* reader, const char* name, uint32_t& field) {
    if (auto v = IntAttr(reader, name)) field = static_cast<uint32_t>(*v);
}

void LoadI32(void* reader, const char* name, int32_t& field) {
    if (auto v = IntAttr(reader, name)) field = static_cast<int32_t>(static_cast<uint32_t>(*v));
}

void LoadU8(void* reader, const char* name, uint8_t& field) {
    if (auto v = IntAttr(reader, name)) field = static_cast<uint8_t>(*v);
}

}  // namespace

// ---- _FOV and _POLAR_COORDINATES

_FOV::~_FOV() = default;

bool _FOV::Save(void* writer) {
    return WriteAttr(writer, "begin_theta", "%lf", begin_theta) && WriteAttr(writer, "end_theta", "%lf", end_theta) &&
           WriteAttr(writer, "begin_phi", "%lf", begin_phi) && WriteAttr(writer, "end_phi", "%lf", end_phi);
}

bool _FOV::Load(void* reader) {
    if (!reader) return false;
    LoadDouble(reader, "begin_theta", begin_theta);
    LoadDouble(reader, "end_theta", end_theta);
    LoadDouble(reader, "begin_phi", begin_phi);
    LoadDouble(reader, "end_phi", end_phi);
    return true;
}

_POLAR_COORDINATES::~_POLAR_COORDINATES() = default;

bool _POLAR_COORDINATES::Save(void* writer) {
    return WriteAttr(writer, "theta", "%lf", theta) && WriteAttr(writer, "phi", "%lf", phi);
}

bool _POLAR_COORDINATES::Load(void* reader) {
    if (!reader) return false;
    LoadDouble(reader, "theta", theta);
    LoadDouble(reader, "phi", phi);
    return true;
}

// ---- _STRING

Project::_STRING::_STRING() = default;

Project::_STRING::_STRING(const _STRING& other) { Set(other.Get()); }

Project::_STRING& Project::_STRING::operator=(const _STRING& other) {
    if (this != &other) Set(other.Get());
    return *this;
}

Project::_STRING::~_STRING() = default;

void Project::_STRING::Set(const wchar_t* text) {
    if (!text) {
        text_.reset();
        return;
    }
    const size_t n = std::wcslen(text);
    auto copy = std::make_unique<wchar_t[]>(n + 1);
    std::wmemcpy(copy.get(), text, n + 1);
    text_ = std::move(copy);
}

bool Project::_STRING::Save(void* writer, const char* name) {
    if (!text_) return true;
    const std::string utf8 = veldan::platform::ToUtf8(text_.get());
    return WriteAttr(writer, name, "%s", utf8.c_str());
}

bool Project::_STRING::Load(void* reader, const char* name) {
    auto v = Attr(reader, name);
    if (!v) return false;
    Set(veldan::platform::FromUtf8(*v).c_str());
    return true;
}

// ---- _DATE

Project::_DATE::~_DATE() = default;

bool Project::_DATE::SetCurrentTime() {
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) return false;
    std::tm local{};
    if (!localtime_r(&now, &local)) return false;
    year = static_cast<uint16_t>(local.tm_year + 1900);
    month = static_cast<uint8_t>(local.tm_mon + 1);
    day = static_cast<uint8_t>(local.tm_mday);
    hour = static_cast<uint8_t>(local.tm_hour);
    minute = static_cast<uint8_t>(local.tm_min);
    second = static_cast<uint8_t>(local.tm_sec);
    return true;
}

bool Project::_DATE::Save(void* writer) {
    using us = unsigned short;
    return WriteAttr(writer, "year", "%.04hu", us(year)) && WriteAttr(writer, "month", "%.02hu", us(month)) &&
           WriteAttr(writer, "day", "%.02hu", us(day)) && WriteAttr(writer, "hour", "%.02hu", us(hour)) &&
           WriteAttr(writer, "minute", "%.02hu", us(minute)) && WriteAttr(writer, "second", "%.02hu", us(second));
}

bool Project::_DATE::Load(void* reader) {
    if (!reader) return false;
    if (auto v = IntAttr(reader, "year")) year = static_cast<uint16_t>(*v);
    LoadU8(reader, "month", month);
    LoadU8(reader, "day", day);
    LoadU8(reader, "hour", hour);
    LoadU8(reader, "minute", minute);
    LoadU8(reader, "second", second);
    return true;
}

// ---- _LENS

Project::_LENS::~_LENS() = default;

bool Project::_LENS::Save(void* writer) {
    return manufacturer.Save(writer, "manufacturer") && model.Save(writer, "model") &&
           WriteAttr(writer, "focal_length", "%lf", focal_length);
}

bool Project::_LENS::Load(void* reader) {
    if (!reader) return false;
    manufacturer.Load(reader, "manufacturer");
    model.Load(reader, "model");
    LoadDouble(reader, "focal_length", focal_length);
    return true;
}

// ---- _CAMERA

Project::_CAMERA::~_CAMERA() = default;

bool Project::_CAMERA::Save(void* writer) {
    if (!manufacturer.Save(writer, "manufacturer") || !model.Save(writer, "model")) return false;
    // Only the two meaningful values are stored.
    if (orientation == 0 || orientation == 1) return WriteAttr(writer, "orientation", "%u", orientation);
    return true;
}

bool Project::_CAMERA::Load(void* reader) {
    if (!reader) return false;
    manufacturer.Load(reader, "manufacturer");
    model.Load(reader, "model");
    if (auto v = IntAttr(reader, "orientation"); v && (*v == 0 || *v == 1)) orientation = static_cast<uint32_t>(*v);
    return true;
}

// ---- _SENSOR

Project::_SENSOR::~_SENSOR() = default;

Project::_SENSOR& Project::_SENSOR::operator=(const _SENSOR& other) {
    if (this == &other) return *this;
    manufacturer = other.manufacturer;
    model = other.model;
    dimension_x = other.dimension_x;
    dimension_y = other.dimension_y;
    resolution_x = other.resolution_x;
    resolution_y = other.resolution_y;
    return *this;
}

bool Project::_SENSOR::IsBuiltIn() const {
    return type.Get() && veldan::platform::EqualsNoCase(std::wstring_view(type.Get()), std::wstring_view(L"built-in"));
}

bool Project::_SENSOR::Save(void* writer) {
    return manufacturer.Save(writer, "manufacturer") && model.Save(writer, "model") && type.Save(writer, "type") &&
           WriteAttr(writer, "dimension_x", "%lf", dimension_x) &&
           WriteAttr(writer, "dimension_y", "%lf", dimension_y) &&
           WriteAttr(writer, "resolution_x", "%d", resolution_x) &&
           WriteAttr(writer, "resolution_y", "%d", resolution_y);
}

bool Project::_SENSOR::Load(void* reader) {
    if (!reader) return false;
    manufacturer.Load(reader, "manufacturer");
    model.Load(reader, "model");
    type.Load(reader, "type");
    LoadDouble(reader, "dimension_x", dimension_x);
    LoadDouble(reader, "dimension_y", dimension_y);
    LoadI32(reader, "resolution_x", resolution_x);
    LoadI32(reader, "resolution_y", resolution_y);
    return true;
}

// ---- _HDRI

Project::_HDRI::~_HDRI() = default;

bool Project::_HDRI::Save(void* writer) {
    // The step is written as an unsigned 32-bit value (a negative step as its
    // two's complement), as project files have always stored it.
    return WriteAttr(writer, "enabled", "%u", enabled ? 1u : 0u) && WriteAttr(writer, "count", "%u", count) &&
           WriteAttr(writer, "step", "%u", static_cast<uint32_t>(step)) &&
           WriteAttr(writer, "order", "%u", unsigned(order)) && WriteAttr(writer, "shutter", "%u", unsigned(shutter));
}

bool Project::_HDRI::Load(void* reader) {
    if (!reader) return false;
    LoadFlag(reader, "enabled", enabled);
    LoadU32(reader, "count", count);
    LoadI32(reader, "step", step);
    LoadU8(reader, "order", order);
    LoadU8(reader, "shutter", shutter);
    return true;
}

// ---- _OPTIONS

Project::_OPTIONS::~_OPTIONS() = default;

bool Project::_OPTIONS::Save(void* writer) {
    return WriteAttr(writer, "multirow_optimization", "%u", multirow_optimization ? 1u : 0u) &&
           WriteAttr(writer, "legacy_arrangement", "%u", legacy_arrangement ? 1u : 0u) &&
           WriteAttr(writer, "overlap", "%lf", overlap) && WriteAttr(writer, "path", "%u", path);
}

bool Project::_OPTIONS::Load(void* reader) {
    if (!reader) return false;
    LoadFlag(reader, "multirow_optimization", multirow_optimization);
    LoadFlag(reader, "legacy_arrangement", legacy_arrangement);
    LoadDouble(reader, "overlap", overlap);
    // Converted as a double and truncated; values outside the 32-bit range
    // (or not a number) become 0 instead of undefined behaviour.
    if (auto v = DoubleAttr(reader, "path")) path = (*v >= 0 && *v < 4294967296.0) ? static_cast<uint32_t>(*v) : 0;
    return true;
}
