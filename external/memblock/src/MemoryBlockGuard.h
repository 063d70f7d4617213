#pragma once
// The list's change guard held for the span of one operation.
#include "memblock/MemoryBlock.h"

class CMemoryBlock::Guard {
public:
    explicit Guard(const CMemoryBlock& block) : block_(block) { block_.Enter(); }
    ~Guard() { block_.Leave(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    const CMemoryBlock& block_;
};
