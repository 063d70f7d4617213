// CVeldanScript: the operation list with its file form.
#include "settings/VeldanScript.h"

#include "ScriptFormat.h"
#include "TextLines.h"
#include "stream/DynStream.h"

using namespace veldan::settings;

// An operation record with the storage of its text; never moves once added,
// so that pointers handed out by GetOp stay valid.
struct CVeldanScript::Entry {
    op record;
    std::string text;
};

std::unique_ptr<CVeldanScript::Entry> CVeldanScript::MakeEntry(const op& o, const std::string& text, bool hasText) {
    auto entry = std::make_unique<Entry>();
    entry->record = o;
    entry->text = text;
    entry->record.text = hasText ? entry->text.c_str() : nullptr;
    return entry;
}

CVeldanScript::CVeldanScript() = default;
CVeldanScript::~CVeldanScript() = default;

bool CVeldanScript::Load(DynStream* stream) {
    std::string data, error;
    std::vector<std::string_view> lines;
    std::vector<std::unique_ptr<Entry>> parsed;
    bool ok = ReadWholeStream(stream, kMaxFileSize, data, error) && SplitLines(data, kMaxLineLength, lines, error);
    for (size_t i = 0; ok && i < lines.size(); ++i) {
        op o;
        std::string text, lineError;
        bool hasText = false;
        switch (ParseOpLine(lines[i], o, text, hasText, lineError)) {
            case LineResult::Empty: break;
            case LineResult::Operation:
                if (parsed.size() >= static_cast<size_t>(kMaxOps)) {
                    error = "more than " + std::to_string(kMaxOps) + " operations";
                    ok = false;
                    break;
                }
                parsed.push_back(MakeEntry(o, text, hasText));
                break;
            case LineResult::Error:
                error = "line " + std::to_string(i + 1) + ": " + lineError;
                ok = false;
                break;
        }
    }
    std::lock_guard lock(mutex_);
    if (!ok) {
        error_ = error;
        return false;
    }
    ops_.swap(parsed);
    error_.clear();
    return true;
}

bool CVeldanScript::Save(DynStream* stream) {
    std::string text = "# VELDAN shooting script\n";
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : ops_) text += FormatOpLine(entry->record) + "\n";
    }
    return WriteAndCommit(stream, text);
}

int CVeldanScript::GetOpCnt() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(ops_.size());
}

const op* CVeldanScript::GetOp(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= ops_.size()) return nullptr;
    return &ops_[static_cast<size_t>(index)]->record;
}

bool CVeldanScript::AddOpFromString(const char* line) {
    if (!line) return false;
    std::string_view view(line);
    std::string error;
    op o;
    std::string text;
    bool hasText = false;
    LineResult result = LineResult::Error;
    if (view.size() > kMaxLineLength) {
        error = "line longer than " + std::to_string(kMaxLineLength) + " bytes";
    } else if (!IsCleanText(view, true)) {
        error = "control character or invalid UTF-8";
    } else {
        result = ParseOpLine(view, o, text, hasText, error);
    }
    std::lock_guard lock(mutex_);
    if (result == LineResult::Error) {
        error_ = error;
        return false;
    }
    if (result == LineResult::Operation) {
        if (ops_.size() >= static_cast<size_t>(kMaxOps)) {
            error_ = "script is full";
            return false;
        }
        ops_.push_back(MakeEntry(o, text, hasText));
    }
    error_.clear();
    return true;
}

void CVeldanScript::ClearOps() {
    std::lock_guard lock(mutex_);
    ops_.clear();
}

bool CVeldanScript::AddOp(const op& operation) {
    op o = operation;
    std::string error;
    bool hasText = o.text != nullptr;
    std::string text = hasText ? std::string(o.text) : std::string();
    bool ok = NormaliseOp(o, error);
    if (ok && hasText && (text.size() > kMaxLineLength / 2 || !IsCleanText(text))) {
        error = "text with control characters, invalid UTF-8 or too long";
        ok = false;
    }
    std::lock_guard lock(mutex_);
    if (ok && ops_.size() >= static_cast<size_t>(kMaxOps)) {
        error = "script is full";
        ok = false;
    }
    if (!ok) {
        error_ = error;
        return false;
    }
    ops_.push_back(MakeEntry(o, text, hasText));
    return true;
}

void CVeldanScript::CopyFrom(const CVeldanScript& other) {
    if (&other == this) return;
    std::vector<std::unique_ptr<Entry>> copy;
    {
        std::lock_guard lock(other.mutex_);
        copy.reserve(other.ops_.size());
        for (const auto& entry : other.ops_)
            copy.push_back(MakeEntry(entry->record, entry->text, entry->record.text != nullptr));
    }
    std::lock_guard lock(mutex_);
    ops_.swap(copy);
}

std::string CVeldanScript::FormatOp(const op& operation) { return FormatOpLine(operation); }

std::string CVeldanScript::GetLoadError() const {
    std::lock_guard lock(mutex_);
    return error_;
}
