// DynamicLibrary: loading by name from the program's and the installation's
// library folders, and symbol look-up.
#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <system_error>
#include <vector>

#include "platform/Folders.h"

namespace veldan::platform {

namespace fs = std::filesystem;

namespace {

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

// Where a library given by file name is looked for, in this order. Every
// entry is an absolute folder derived from the program's own location or the
// installation, never the current directory or the loader's search path.
std::vector<fs::path> SearchFolders() {
    std::vector<fs::path> folders;
    auto add = [&](fs::path folder) {
        if (folder.empty() || !folder.is_absolute()) return;
        folder = folder.lexically_normal();
        for (const fs::path& known : folders)
            if (known == folder) return;
        folders.push_back(std::move(folder));
    };
    const fs::path program = ProgramFolder();
    add(program);
    // A program in <prefix>/bin (or build/bin) finds its libraries in the
    // sibling library folder, the layout that its run path also uses.
    if (!program.empty()) {
        add(program.parent_path() / VELDAN_INSTALL_RELLIBDIR);
        add(program.parent_path() / "lib");
    }
    add(InstalledLibraryFolder());
    return folders;
}

}  // namespace

DynamicLibrary::DynamicLibrary(void* handle, fs::path path) : handle_(handle), path_(std::move(path)) {}

DynamicLibrary::~DynamicLibrary() {
    if (handle_) dlclose(handle_);
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::LoadPath(const fs::path& path, std::string* error) {
    if (!path.is_absolute()) {
        SetError(error, "not an absolute path: " + path.string());
        return nullptr;
    }
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        SetError(error, text ? std::string(text) : "cannot load " + path.string());
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle, path));
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& fileName, std::string* error) {
    if (fileName.empty() || fileName.find('/') != std::string::npos || fileName == "." || fileName == "..") {
        SetError(error, "not a plain library file name: " + fileName);
        return nullptr;
    }
    std::string failures;
    for (const fs::path& folder : SearchFolders()) {
        const fs::path candidate = folder / fileName;
        std::error_code ec;
        if (!fs::is_regular_file(candidate, ec)) continue;
        std::string loadError;
        if (auto library = LoadPath(candidate, &loadError)) return library;
        failures += (failures.empty() ? "" : "; ") + loadError;
    }
    if (failures.empty()) {
        std::string searched;
        for (const fs::path& folder : SearchFolders()) searched += (searched.empty() ? "" : ", ") + folder.string();
        SetError(error, fileName + " not found in " + searched);
    } else {
        SetError(error, failures);
    }
    return nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    return dlsym(handle_, name);
}

}  // namespace veldan::platform
