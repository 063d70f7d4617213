// CVeldanAssembly: display name, description and default shooting pattern
// of a head assembly, with the "*.asm" text form:
//   name = "VELDAN VR head"
//   description = "..."
//   row = <vertical degrees> <shots> [<first horizontal angle>]
#include "settings/VeldanAssembly.h"

#include <cmath>

#include "TextLines.h"
#include "stream/DynStream.h"

using namespace veldan::settings;

namespace {

constexpr size_t kMaxTextLength = 1024;

bool ValidRow(const CVeldanAssembly::_ROW& row) {
    return std::isfinite(row.vertical) && row.vertical >= -90.0 && row.vertical <= 90.0 && row.shots >= 1 &&
           row.shots <= CVeldanAssembly::kMaxShotsPerRow && std::isfinite(row.start) && row.start >= -360.0 &&
           row.start <= 360.0;
}

bool ValidText(const char* text) {
    return !text || (std::string_view(text).size() <= kMaxTextLength && IsCleanText(text));
}

}  // namespace

CVeldanAssembly::CVeldanAssembly() = default;
CVeldanAssembly::~CVeldanAssembly() = default;

CVeldanAssembly::CVeldanAssembly(const CVeldanAssembly& other)
    : name_(other.name_),
      description_(other.description_),
      hasName_(other.hasName_),
      hasDescription_(other.hasDescription_),
      rows_(other.rows_),
      error_(other.error_) {
    Repoint();
}

CVeldanAssembly& CVeldanAssembly::operator=(const CVeldanAssembly& other) {
    if (this != &other) {
        name_ = other.name_;
        description_ = other.description_;
        hasName_ = other.hasName_;
        hasDescription_ = other.hasDescription_;
        rows_ = other.rows_;
        error_ = other.error_;
        Repoint();
    }
    return *this;
}

void CVeldanAssembly::Repoint() {
    name = hasName_ ? name_.c_str() : nullptr;
    description = hasDescription_ ? description_.c_str() : nullptr;
}

const CVeldanAssembly::_ROW* CVeldanAssembly::GetRow(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= rows_.size()) return nullptr;
    return &rows_[static_cast<size_t>(index)];
}

bool CVeldanAssembly::AddRow(const _ROW& row) {
    if (!ValidRow(row) || rows_.size() >= static_cast<size_t>(kMaxRows)) return false;
    _ROW copy = row;
    if (copy.vertical == 0) copy.vertical = 0;
    if (copy.start == 0) copy.start = 0;
    rows_.push_back(copy);
    return true;
}

bool CVeldanAssembly::SetName(const char* text) {
    if (!ValidText(text)) return false;
    hasName_ = text != nullptr;
    name_ = text ? text : "";
    Repoint();
    return true;
}

bool CVeldanAssembly::SetDescription(const char* text) {
    if (!ValidText(text)) return false;
    hasDescription_ = text != nullptr;
    description_ = text ? text : "";
    Repoint();
    return true;
}

bool CVeldanAssembly::Load(DynStream* stream) {
    std::string data, error;
    std::vector<std::string_view> lines;
    CVeldanAssembly parsed;
    bool ok = ReadWholeStream(stream, kMaxFileSize, data, error) && SplitLines(data, kMaxLineLength, lines, error);
    for (size_t i = 0; ok && i < lines.size(); ++i) {
        LineScanner scan(lines[i]);
        if (scan.AtEnd()) continue;
        std::string where = "line " + std::to_string(i + 1) + ": ";
        std::string_view key;
        if (!scan.Word(key) || !scan.Accept('=')) {
            error = where + "\"key = value\" expected";
            ok = false;
        } else if (WordEquals(key, "name") || WordEquals(key, "description")) {
            std::string text;
            if (!scan.Quoted(text) || !scan.AtEnd() || text.size() > kMaxTextLength) {
                error = where + "a quoted text expected";
                ok = false;
            } else if (WordEquals(key, "name")) {
                parsed.SetName(text.c_str());
            } else {
                parsed.SetDescription(text.c_str());
            }
        } else if (WordEquals(key, "row")) {
            _ROW row;
            long long shots = 0;
            if (!scan.Number(row.vertical) || !scan.Integer(shots, 1, kMaxShotsPerRow)) {
                error = where + "row: vertical angle and number of shots (1 to " + std::to_string(kMaxShotsPerRow) +
                        ") expected";
                ok = false;
                break;
            }
            row.shots = static_cast<int>(shots);
            if (!scan.AtEnd() && !scan.Number(row.start)) {
                error = where + "row: first horizontal angle expected";
                ok = false;
            } else if (!scan.AtEnd()) {
                error = where + "unexpected text after the row";
                ok = false;
            } else if (!ValidRow(row)) {
                error = where + "row out of range (vertical -90 to 90, first angle -360 to 360)";
                ok = false;
            } else if (!parsed.AddRow(row)) {
                error = where + "more than " + std::to_string(kMaxRows) + " rows";
                ok = false;
            }
        } else {
            error = where + "unknown setting \"" + std::string(key.substr(0, 40)) + "\"";
            ok = false;
        }
    }
    if (!ok) {
        error_ = error;
        return false;
    }
    *this = parsed;
    error_.clear();
    return true;
}

bool CVeldanAssembly::Save(DynStream* stream) {
    std::string text = "# VELDAN head assembly\n";
    if (name) text += "name = " + Quote(name) + "\n";
    if (description) text += "description = " + Quote(description) + "\n";
    for (const auto& row : rows_)
        text += "row = " + FormatNumber(row.vertical) + " " + std::to_string(row.shots) + " " +
                FormatNumber(row.start) + "\n";
    return WriteAndCommit(stream, text);
}
