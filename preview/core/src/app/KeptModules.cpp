// KeepLoaded: modules that stay loaded until the process ends.
#include "preview/app/KeptModules.h"
#include <mutex>
#include <vector>

namespace veldan::preview {

using platform::DynamicLibrary;

void KeepLoaded(std::unique_ptr<DynamicLibrary> library) {
    static std::mutex lock;
    static auto* kept = new std::vector<std::unique_ptr<DynamicLibrary>>();  // never destroyed
    std::lock_guard<std::mutex> guard(lock);
    kept->push_back(std::move(library));
}

}  // namespace veldan::preview
