#pragma once
// Helpers shared by the platform tests: a temporary folder removed at the
// end, an environment variable set for one scope, and a bounded wait for a
// condition that other threads make true.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "TempFolder.h"

namespace veldan::test {

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

inline void WriteAll(const std::filesystem::path& file, const std::string& data) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << data;
}

}  // namespace veldan::test
