#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include "platform/Export.h"

namespace veldan::platform {

// A shared library loaded by file name: first from the program's own folder
// (absolute path), then from the installation's library folder. Never from
// the current directory or the loader's search path. Unloaded on destruction.
class VELDAN_API DynamicLibrary {
public:
    // Loads "fileName" (e.g. "libVELDANcontrol.so"); null with an error text
    // when it is found nowhere or fails to load.
    static std::unique_ptr<DynamicLibrary> Load(const std::string& fileName, std::string* error = nullptr);
    // Loads exactly this absolute path.
    static std::unique_ptr<DynamicLibrary> LoadPath(const std::filesystem::path& path, std::string* error = nullptr);

    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Address of an exported symbol, or null.
    void* Symbol(const char* name) const;
    template <typename F>
    F Function(const char* name) const {
        return reinterpret_cast<F>(Symbol(name));
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    DynamicLibrary(void* handle, std::filesystem::path path);
    void* handle_;
    std::filesystem::path path_;
};

}  // namespace veldan::platform
