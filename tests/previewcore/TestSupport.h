#pragma once
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"
#include "preview/DocumentUi.h"

namespace previewtest {

namespace fs = std::filesystem;

// A fresh folder that stands in for the user's home (HOME, XDG_CONFIG_HOME,
// XDG_DATA_HOME, XDG_DOCUMENTS_DIR point into it) and is removed afterwards.
class TempHome {
public:
  TempHome() {
    std::string tmpl = (fs::temp_directory_path() / "previewcore-XXXXXX").string();
    root_ = mkdtemp(tmpl.data());
    fs::create_directories(root_ / "config");
    fs::create_directories(root_ / "Documents");
    setenv("HOME", root_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (root_ / "Documents").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
  }
  ~TempHome() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  const fs::path& Root() const { return root_; }

private:
  fs::path root_;
};

// Makes a folder refuse new entries: without write permission, or for the
// super-user (whom permissions do not stop) with the immutable attribute.
class ReadOnlyFolder {
public:
  explicit ReadOnlyFolder(fs::path folder) : folder_(std::move(folder)) {
    if (geteuid() != 0) {
      fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
      active_ = true;
      return;
    }
    fd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      active_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~ReadOnlyFolder() {
    if (geteuid() != 0) {
      fs::permissions(folder_, fs::perms::owner_all);
    } else if (fd_ >= 0) {
      int flags = 0;
      if (ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd_, FS_IOC_SETFLAGS, &flags);
      }
      close(fd_);
    }
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool Active() const { return active_; }

private:
  fs::path folder_;
  int fd_ = -1;
  bool active_ = false;
};

inline std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// A real JPEG file of the given size.
inline void WriteJpeg(const fs::path& file, uint32_t w, uint32_t h) {
  auto bitmap = veldan::imaging::Bitmap::Create(w, h, veldan::imaging::PixelLayout::kBgr24);
  if (bitmap) (void)veldan::imaging::SaveJpeg(*bitmap, file);
}

// Answers the document's questions from a script and records what it saw.
class ScriptedUi : public veldan::preview::DocumentUi {
public:
  std::deque<Answer> answers;  // taken in order; No when exhausted
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

}  // namespace previewtest
