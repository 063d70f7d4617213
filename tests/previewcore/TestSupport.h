#pragma once
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "TempFolder.h"
#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"
#include "preview/document/DocumentUi.h"

namespace veldan::test {

namespace fs = std::filesystem;

// A fresh folder that stands in for the user's home (HOME, XDG_CONFIG_HOME,
// XDG_DATA_HOME, XDG_DOCUMENTS_DIR point into it) and is removed afterwards.
class TempHome {
public:
    TempHome() {
        fs::create_directories(root_ / "config");
        fs::create_directories(root_ / "Documents");
        setenv("HOME", root_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", (root_ / "Documents").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    }
    const fs::path& Root() const { return root_; }

private:
    TempDir dir_{"previewcore"};
    const fs::path& root_ = dir_.Path();
};

inline void WriteText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// A real JPEG file of the given size.
inline void WriteJpeg(const fs::path& file, uint32_t w, uint32_t h) {
    auto bitmap = veldan::imaging::Bitmap::Create(w, h, veldan::imaging::PixelLayout::kBgr24);
    if (bitmap) (void)veldan::imaging::SaveJpeg(*bitmap, file);
}

// Answers the document's questions from a script and records what it saw.
class ScriptedUi : public veldan::preview::DocumentUi {
public:
    std::deque<Answer> answers;       // taken in order; No when exhausted
    std::vector<std::wstring> files;  // returned by SelectImageFiles
    std::wstring exportFile;
    int exportFilter = 0;
    std::vector<std::wstring> questions;
    std::vector<std::wstring> messages;
    std::vector<uint32_t> progress;
    std::vector<fs::path> opened;
    int cancelAfter = -1;  // ProgressCancelled from this many ProgressSet calls on

    Answer Ask(const std::wstring&, const std::wstring& text, bool) override {
        questions.push_back(text);
        if (answers.empty()) return Answer::No;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowMessage(const std::wstring&, const std::wstring& text, Icon) override { messages.push_back(text); }
    std::vector<std::wstring> SelectImageFiles() override { return files; }
    bool ChooseExportFile(std::wstring& file, int& filter) override {
        if (exportFilter == 0) return false;
        file = exportFile;
        filter = exportFilter;
        return true;
    }
    void ProgressBegin(uint32_t) override { progressSets_ = 0; }
    void ProgressSet(uint32_t p) override {
        progress.push_back(p);
        ++progressSets_;
    }
    bool ProgressCancelled() override { return cancelAfter >= 0 && progressSets_ >= cancelAfter; }
    void ProgressEnd() override {}
    void OpenWithShell(const fs::path& file, const fs::path&) override { opened.push_back(file); }

private:
    int progressSets_ = 0;
};

}  // namespace veldan::test
