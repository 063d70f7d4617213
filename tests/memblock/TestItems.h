#pragma once
// Item classes for the list tests: they count live instances (so that leaks
// and double destruction show up as a wrong count, besides ASan) and carry a
// value with its own dump record.
#include <atomic>
#include <cstdint>
#include <string>

#include "memblock/MemoryBlock.h"

namespace veldan::test {

struct CountedItem : CMemoryItem {
    static std::atomic<int> live;
    int value = 0;
    std::string label;

    CountedItem() { ++live; }
    explicit CountedItem(int v, std::string l = {}) : value(v), label(std::move(l)) { ++live; }
    CountedItem(const CountedItem& other) : CMemoryItem(other), value(other.value), label(other.label) { ++live; }
    CountedItem& operator=(const CountedItem&) = default;
    ~CountedItem() override { --live; }

    // Record: int64 value, then the label as a zero-terminated text.
    bool CreateDump(MemBlockDesc* dump) const override {
        return dump != nullptr && dump->Add(static_cast<int64_t>(value)) && dump->Add(label.c_str());
    }
    bool ReadDump(const MemBlockDesc* dump) override {
        if (dump == nullptr) return false;
        size_t position = 0;
        int64_t v = 0;
        const char* text = nullptr;
        if (!dump->Get(position, v) || !dump->Get(position, text) || position != dump->length) return false;
        if (v < INT32_MIN || v > INT32_MAX) return false;
        value = static_cast<int>(v);
        label = text;
        return true;
    }
};

inline std::atomic<int> CountedItem::live{0};

// A class derived from CountedItem, to check that a one-class factory does
// not slice it.
struct SpecialItem : CountedItem {
    using CountedItem::CountedItem;
};

inline int ValueOf(const CMemoryItem* item) {
    const auto* counted = dynamic_cast<const CountedItem*>(item);
    return counted != nullptr ? counted->value : -1;
}

}  // namespace veldan::test
