#pragma once
// Helpers shared by the platform tests: a temporary folder removed at the
// end, an environment variable set for one scope, and a bounded wait for a
// condition that other threads make true.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace veldan::test {

class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veldan-platform-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

class ScopedEnv {
public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  std::string name_;
  std::optional<std::string> old_;
};

// Makes a folder refuse new entries: without write permission, or for the
// super-user (whom permissions do not stop) with the immutable attribute.
class ReadOnlyFolder {
public:
  explicit ReadOnlyFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
    if (geteuid() != 0) {
      std::filesystem::permissions(folder_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
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
      std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
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
  std::filesystem::path folder_;
  int fd_ = -1;
  bool active_ = false;
};

inline std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteAll(const std::filesystem::path& file, const std::string& data) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << data;
}

}  // namespace veldan::test
