#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace veldan::preview {

// What a document needs from the user and the desktop: questions, file
// choices, a progress window and the shell. The Qt windows implement it;
// tests implement it with scripted answers.
class DocumentUi {
public:
    enum class Answer { Yes, No, Cancel };
    enum class Icon { Question, Warning, Error };

    virtual ~DocumentUi() = default;

    // A message box; withCancel adds a Cancel button (Yes/No otherwise).
    virtual Answer Ask(const std::wstring& caption, const std::wstring& text, bool withCancel) = 0;
    virtual void ShowMessage(const std::wstring& caption, const std::wstring& text, Icon icon) = 0;

    // The image-file selection: chosen full paths in the dialog's order; empty
    // when cancelled.
    virtual std::vector<std::wstring> SelectImageFiles() = 0;
    // The export file and filter (1 to 4: PTGui, PTGui preview, Autopano,
    // Autopano preview; 5: Hugin project); false when cancelled.
    virtual bool ChooseExportFile(std::wstring& file, int& filter) = 0;

    // Progress window with the range 0 .. range. ProgressCancelled tells
    // whether the user asked to stop (only copy and move offer that).
    virtual void ProgressBegin(uint32_t range) = 0;
    virtual void ProgressSet(uint32_t position) = 0;
    virtual bool ProgressCancelled() { return false; }
    virtual void ProgressEnd() = 0;

    // The shell's "open" verb on a file; workingFolder may be empty.
    virtual void OpenWithShell(const std::filesystem::path& file, const std::filesystem::path& workingFolder) = 0;
};

}  // namespace veldan::preview
