// Strict parsing of the veldan tool's option values and positional arguments.
#include "Arguments.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace veldan::cli {

std::optional<double> ParseDouble(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string LowerExtension(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::optional<int64_t> ParseInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return v;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

OptionReader& OptionReader::Value(std::initializer_list<const char*> names, std::string& target, bool nonEmpty) {
    values_.push_back({std::vector<std::string>(names.begin(), names.end()), &target, nonEmpty});
    return *this;
}

OptionReader& OptionReader::Others(Handler handler) {
    others_ = std::move(handler);
    return *this;
}

OptionReader& OptionReader::Positional(std::string& target, Text tooMany) {
    positional_ = &target;
    tooMany_ = std::move(tooMany);
    return *this;
}

OptionReader& OptionReader::MissingValue(Text text) {
    missing_ = std::move(text);
    return *this;
}

OptionReader& OptionReader::Unknown(Text text) {
    unknown_ = std::move(text);
    return *this;
}

std::optional<std::string> OptionReader::Read(const std::vector<std::string>& args) const {
    ArgumentReader reader(args);
    while (!reader.Done()) {
        const std::string a = reader.Next();
        const ValueOption* option = nullptr;
        for (const ValueOption& o : values_)
            for (const std::string& name : o.names)
                if (a == name) option = &o;
        if (option) {
            const std::optional<std::string> v = reader.Value();
            if (!v || (option->nonEmpty && v->empty())) return missing_(a);
            *option->target = *v;
            continue;
        }
        if (others_) {
            std::string error;
            const Result r = others_(a, reader, error);
            if (r == Result::Error) return error;
            if (r == Result::Handled) continue;
        }
        if (!positional_ || (!a.empty() && a[0] == '-')) return unknown_(a);
        if (!positional_->empty()) return tooMany_(a);
        *positional_ = a;
    }
    return std::nullopt;
}

}  // namespace veldan::cli
