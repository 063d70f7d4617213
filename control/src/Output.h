#pragma once
// The handle's output function: where every progress line of the library
// goes. Lines are handed over as a wide format with its arguments, exactly
// as the caller's printf-like routine expects them.
#include <atomic>

#include "VELDANcontrol.h"

namespace veldan::control {

class Output {
public:
    void Set(OutputFunction function) { function_.store(function, std::memory_order_release); }
    OutputFunction Get() const { return function_.load(std::memory_order_acquire); }

    // Arguments must be of the promoted types a C variadic function reads:
    // int, double, const wchar_t* (text always goes out as %ls).
    template <typename... Args>
    void Write(const wchar_t* format, Args... args) const {
        if (OutputFunction f = Get()) f(format, args...);
    }

private:
    std::atomic<OutputFunction> function_{nullptr};
};

}  // namespace veldan::control
