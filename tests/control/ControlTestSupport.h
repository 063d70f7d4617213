#pragma once
// Shared pieces of the control library tests: a temporary home with its
// documents and system folders, and an output function that captures every
// progress line as the library formats it.
#include <filesystem>
#include <string>
#include <vector>

#include "VELDANcontrol.h"

namespace veldan::test {

// Everything the output function has received so far, as one text.
std::wstring Captured();
void ClearCaptured();
// The capturing output function (formats with vswprintf, like a caller's
// printf routine would).
int CaptureOutput(const wchar_t* format, ...);
// Waits until the captured text contains `needle`; false after timeoutMs.
bool AwaitCaptured(const std::wstring& needle, unsigned timeoutMs);

// A temporary home: HOME, XDG_CONFIG_HOME, XDG_DOCUMENTS_DIR and
// VELDAN_DATA_DIR point into a fresh folder, and the current folder is a
// fresh "cwd" inside it. Restores the current folder and removes the tree on
// destruction.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path Documents() const { return root_ / "Documents"; }
    std::filesystem::path ConfigFolder() const { return Documents() / "VELDANmodular"; }
    std::filesystem::path SystemFolder() const { return root_ / "system"; }
    std::filesystem::path CurrentFolder() const { return root_ / "cwd"; }

    // Writes a text file (folders created).
    static void Write(const std::filesystem::path& path, const std::string& text);
    static std::string Read(const std::filesystem::path& path);

private:
    std::filesystem::path root_;
    std::filesystem::path previousCwd_;
};

// Wide text of a path, as the library prints it.
std::wstring Wide(const std::filesystem::path& path);

// Arguments for the initialisation entries.
struct Args {
    Args(std::initializer_list<std::wstring> list) : texts(list) {
        for (const auto& t : texts) pointers.push_back(t.c_str());
    }
    int argc() const { return static_cast<int>(pointers.size()); }
    const wchar_t* const* argv() const { return pointers.data(); }
    std::vector<std::wstring> texts;
    std::vector<const wchar_t*> pointers;
};

// The folder of the test program (where the built vrhead.asm lies).
std::filesystem::path ProgramFolder();

}  // namespace veldan::test
