#pragma once
// Parsing of option values: strict, so that a typo is an error instead of a
// silently different plan.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace veldan::cli {

std::optional<double> ParseDouble(const std::string& text);
std::optional<int64_t> ParseInteger(const std::string& text);
// "a:b:c..." split at the separator.
std::vector<std::string> Split(const std::string& text, char separator);
// The extension of a file name in lower case, with its dot (".jpg"), or empty.
std::string LowerExtension(const std::string& fileName);

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

// The command line of a sub-command: options that take a value into a
// string, options the command reads itself, and one positional argument
// (a project or picture). The texts of the errors are the command's own;
// each gets the argument it is about.
class OptionReader {
public:
    using Text = std::function<std::string(const std::string& argument)>;
    enum class Result { NotMine, Handled, Error };
    // Sees every argument that is not one of the value options, with the
    // reader positioned after it; on Error it sets the message.
    using Handler = std::function<Result(const std::string& argument, ArgumentReader& reader, std::string& error)>;

    // `names` take the next argument into `target`; with `nonEmpty` an
    // empty value counts as missing.
    OptionReader& Value(std::initializer_list<const char*> names, std::string& target, bool nonEmpty = false);
    OptionReader& Others(Handler handler);
    // The one argument that is not an option (empty or not starting with
    // '-'); a second one is an error with the text `tooMany`. Without it,
    // such an argument is unknown.
    OptionReader& Positional(std::string& target, Text tooMany);
    // "OPTION needs a value" unless changed.
    OptionReader& MissingValue(Text text);
    // "unknown option \"OPTION\"" unless changed.
    OptionReader& Unknown(Text text);

    // Reads all arguments; the first error's message, or nothing.
    std::optional<std::string> Read(const std::vector<std::string>& args) const;

private:
    struct ValueOption {
        std::vector<std::string> names;
        std::string* target;
        bool nonEmpty;
    };
    std::vector<ValueOption> values_;
    Handler others_;
    std::string* positional_ = nullptr;
    Text tooMany_;
    Text missing_ = [](const std::string& option) { return option + " needs a value"; };
    Text unknown_ = [](const std::string& option) { return "unknown option \"" + option + "\""; };
};

}  // namespace veldan::cli
