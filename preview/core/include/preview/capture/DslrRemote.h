#pragma once
#include <memory>
#include <mutex>
#include <string>

namespace veldan::platform {
class DynamicLibrary;
}

namespace veldan::preview {

// DSLR Remote Pro's library, loaded by name the first time it is needed and
// kept loaded from then on. Its two entries are looked up each time they
// are called.
class DslrRemote {
public:
    static constexpr const char* kLibraryName = "libDSLRRemoteLib.so";
    // PingCamera results.
    static constexpr int kReady = 0, kNotRunning = 1, kDisconnected = 2, kBusy = 3;

    explicit DslrRemote(std::string fileName = kLibraryName);
    ~DslrRemote();

    // Loads the library unless it is loaded; false when it cannot be.
    bool Load();
    // Both entries exist.
    bool HasEntries();
    // PingCamera(); kNotRunning when the entry is missing.
    int Ping();
    // ReleaseShutter(60, null, 0).
    void ReleaseShutter();

private:
    std::string fileName_;
    std::mutex lock_;
    std::unique_ptr<platform::DynamicLibrary> library_;
};

}  // namespace veldan::preview
