// Profile: the INI profile with escaped values, case-blind names and atomic
// saves that keep other writers' values.
#include "platform/Profile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace veldan::platform {

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::wstring key;
    std::wstring value;
};

struct Section {
    std::wstring name;
    std::vector<Entry> entries;
};

using Sections = std::vector<Section>;

std::wstring Trim(std::wstring_view text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return {};
    const size_t last = text.find_last_not_of(L" \t");
    return std::wstring(text.substr(first, last - first + 1));
}

// Values keep line breaks, backslashes and outer blanks through escapes:
// \\ \n \r \t, and \s for a blank at either end.
std::wstring EscapeValue(const std::wstring& value) {
    std::wstring out;
    for (size_t i = 0; i < value.size(); ++i) {
        const wchar_t c = value[i];
        switch (c) {
            case L'\\': out += L"\\\\"; break;
            case L'\n': out += L"\\n"; break;
            case L'\r': out += L"\\r"; break;
            case L'\t': out += L"\\t"; break;
            case L' ': out += (i == 0 || i + 1 == value.size()) ? L"\\s" : L" "; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::wstring UnescapeValue(std::wstring_view raw) {
    std::wstring out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != L'\\' || i + 1 == raw.size()) {
            out.push_back(raw[i]);
            continue;
        }
        switch (raw[++i]) {
            case L'\\': out.push_back(L'\\'); break;
            case L'n': out.push_back(L'\n'); break;
            case L'r': out.push_back(L'\r'); break;
            case L't': out.push_back(L'\t'); break;
            case L's': out.push_back(L' '); break;
            default: out.push_back(L'\\'); out.push_back(raw[i]);
        }
    }
    return out;
}

// Names that the file format can hold unchanged.
bool ValidName(const std::wstring& name, bool isKey) {
    if (Trim(name) != name || name.empty()) return false;
    for (wchar_t c : name) {
        if (c == L'\n' || c == L'\r' || c == L'\0') return false;
        if (c == L']' && !isKey) return false;
        if (c == L'=' && isKey) return false;
    }
    if (isKey && (name.front() == L'[' || name.front() == L';' || name.front() == L'#')) return false;
    return true;
}

Section* FindSection(Sections& sections, std::wstring_view name) {
    for (Section& section : sections)
        if (EqualsNoCase(section.name, name)) return &section;
    return nullptr;
}

const Entry* FindEntry(const Sections& sections, std::wstring_view section, std::wstring_view key) {
    for (const Section& s : sections) {
        if (!EqualsNoCase(s.name, section)) continue;
        for (const Entry& e : s.entries)
            if (EqualsNoCase(e.key, key)) return &e;
    }
    return nullptr;
}

Sections Parse(const std::string& bytes) {
    std::wstring text = FromUtf8(bytes);
    if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
    Sections sections;
    Section* current = nullptr;
    std::wistringstream in(text);
    std::wstring line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const std::wstring trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == L';' || trimmed.front() == L'#') continue;
        if (trimmed.front() == L'[') {
            const size_t close = trimmed.find(L']');
            if (close == std::wstring::npos) continue;
            const std::wstring name = Trim(std::wstring_view(trimmed).substr(1, close - 1));
            current = FindSection(sections, name);
            if (!current) {
                sections.push_back(Section{name, {}});
                current = &sections.back();
            }
            continue;
        }
        const size_t eq = trimmed.find(L'=');
        if (eq == std::wstring::npos || !current) continue;
        const std::wstring key = Trim(std::wstring_view(trimmed).substr(0, eq));
        const std::wstring value = UnescapeValue(Trim(std::wstring_view(trimmed).substr(eq + 1)));
        if (key.empty()) continue;
        bool replaced = false;
        for (Entry& e : current->entries) {
            if (EqualsNoCase(e.key, key)) {
                e.value = value;  // a later duplicate wins
                replaced = true;
            }
        }
        if (!replaced) current->entries.push_back(Entry{key, value});
    }
    return sections;
}

std::string Serialize(const Sections& sections) {
    std::wstring text;
    for (const Section& section : sections) {
        if (section.entries.empty()) continue;
        if (!text.empty()) text += L"\n";
        text += L"[" + section.name + L"]\n";
        for (const Entry& e : section.entries) text += e.key + L"=" + EscapeValue(e.value) + L"\n";
    }
    return ToUtf8(text);
}

// Reads the file; false (and nothing changed) when it exists but cannot be
// read. A missing file is an empty profile.
bool ReadFile(const fs::path& file, Sections& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!fs::exists(file, ec) && !ec) {
            out.clear();
            return true;
        }
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return false;
    out = Parse(bytes.str());
    return true;
}

}  // namespace

struct Profile::Impl {
    mutable CriticalSection lock;
    Sections sections;
};

Profile::Profile(fs::path file) : file_(std::move(file)), impl_(std::make_unique<Impl>()) { Reload(); }

Profile::~Profile() = default;

void Profile::Reload() {
    std::lock_guard guard(impl_->lock);
    Sections fresh;
    if (ReadFile(file_, fresh)) impl_->sections = std::move(fresh);
}

std::wstring Profile::GetString(const std::wstring& section, const std::wstring& key,
                                const std::wstring& fallback) const {
    std::lock_guard guard(impl_->lock);
    const Entry* entry = FindEntry(impl_->sections, section, key);
    return entry ? entry->value : fallback;
}

int Profile::GetInt(const std::wstring& section, const std::wstring& key, int fallback) const {
    const std::string text = ToUtf8(GetString(section, key, L""));
    if (text.empty()) return fallback;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str()) return fallback;
    if (value > INT_MAX) return INT_MAX;  // also a value out of range (ERANGE)
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool Profile::WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    if (!ValidName(section, false) || !ValidName(key, true)) {
        errno = EINVAL;
        return false;
    }
    std::lock_guard guard(impl_->lock);
    // Start from the file as it is now, so that values another instance of the
    // program wrote in the meantime are kept.
    Sections sections = impl_->sections;
    ReadFile(file_, sections);
    Section* target = FindSection(sections, section);
    if (!target) {
        sections.push_back(Section{section, {}});
        target = &sections.back();
    }
    bool found = false;
    for (Entry& e : target->entries) {
        if (EqualsNoCase(e.key, key)) {
            e.value = value;
            found = true;
            break;
        }
    }
    if (!found) target->entries.push_back(Entry{key, value});

    std::error_code ec;
    if (!file_.parent_path().empty()) fs::create_directories(file_.parent_path(), ec);
    if (!WriteFileAtomically(file_, Serialize(sections))) return false;
    impl_->sections = std::move(sections);
    return true;
}

bool Profile::WriteInt(const std::wstring& section, const std::wstring& key, int value) {
    return WriteString(section, key, std::to_wstring(value));
}

}  // namespace veldan::platform
