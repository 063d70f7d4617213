#pragma once
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include "platform/CriticalSection.h"
#include "platform/Export.h"

namespace veldan::platform {

// The program's profile (its "registry key"): an INI file in UTF-8.
// Section names are compared without regard to case, key names too.
// Every write saves the whole file atomically (temporary file, fsync,
// rename), so a crash never leaves a half-written profile. Thread-safe.
class VELDAN_API Profile {
public:
    explicit Profile(std::filesystem::path file);
    ~Profile();

    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& fallback = L"") const;
    int GetInt(const std::wstring& section, const std::wstring& key, int fallback) const;
    bool WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    bool WriteInt(const std::wstring& section, const std::wstring& key, int value);
    // Re-reads the file (a missing file is an empty profile).
    void Reload();
    const std::filesystem::path& File() const { return file_; }

    struct Impl;

private:
    std::filesystem::path file_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace veldan::platform
