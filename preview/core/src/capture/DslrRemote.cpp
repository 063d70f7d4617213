// DslrRemote: DSLR Remote Pro's library loaded on first use, and its ping and
// shutter entries.
#include "preview/capture/DslrRemote.h"
#include "preview/app/KeptModules.h"

namespace veldan::preview {

using platform::DynamicLibrary;

DslrRemote::DslrRemote(std::string fileName) : fileName_(std::move(fileName)) {}

// The module stays loaded for the life of the process: a camera thread of
// the vendor's library may still run when the program ends.
DslrRemote::~DslrRemote() {
    if (library_) KeepLoaded(std::move(library_));
}

bool DslrRemote::Load() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!library_) library_ = DynamicLibrary::Load(fileName_);
    return library_ != nullptr;
}

bool DslrRemote::HasEntries() {
    std::lock_guard<std::mutex> guard(lock_);
    return library_ && library_->Symbol("ReleaseShutter") && library_->Symbol("PingCamera");
}

int DslrRemote::Ping() {
    int (*ping)() = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (library_) ping = library_->Function<int (*)()>("PingCamera");
    }
    return ping ? ping() : kNotRunning;
}

void DslrRemote::ReleaseShutter() {
    int (*release)(int, char*, int) = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (library_) release = library_->Function<int (*)(int, char*, int)>("ReleaseShutter");
    }
    if (release) (void)release(60, nullptr, 0);
}

}  // namespace veldan::preview
