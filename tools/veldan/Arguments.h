#pragma once
// Parsing of option values: strict, so that a typo is an error instead of a
// silently different plan.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veldan::cli {

std::optional<double> ParseDouble(const std::string& text);
std::optional<int64_t> ParseInteger(const std::string& text);
// "a:b:c..." split at the separator.
std::vector<std::string> Split(const std::string& text, char separator);

// Walks argv-style arguments; options take their value from the next
// argument.
class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::string>& args) : args_(args) {}
    bool Done() const { return index_ >= args_.size(); }
    const std::string& Next() { return args_[index_++]; }
    // The value of the option just read; nothing when it is missing.
    std::optional<std::string> Value() {
        if (Done()) return std::nullopt;
        return args_[index_++];
    }
    // True while the next argument is not an option (for lists of values).
    bool NextIsValue() const { return !Done() && (args_[index_].empty() || args_[index_][0] != '-'); }

private:
    const std::vector<std::string>& args_;
    size_t index_ = 0;
};

}  // namespace veldan::cli
