// Reads arbitrary bytes as a list dump. Items are of two kinds: a value with
// a text, or a nested list whose dump fills the rest of the record (so views
// of views are exercised). A dump that is accepted must dump again to the
// very same bytes, because the item records are canonical.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "memblock/MemBlockDesc.h"
#include "memblock/MemoryBlock.h"

namespace {

struct FuzzItem : CMemoryItem {
    uint8_t kind = 0;
    int64_t value = 0;
    std::string text;
    CMemoryBlock* nested = nullptr;

    FuzzItem() = default;
    FuzzItem(const FuzzItem&) = delete;
    ~FuzzItem() override { delete nested; }

    bool CreateDump(MemBlockDesc* dump) const override {
        if (!dump->Add(kind)) return false;
        if (kind == 0) return dump->Add(value) && dump->Add(text.c_str());
        return nested->CreateDump(dump);
    }

    bool ReadDump(const MemBlockDesc* dump) override {
        size_t pos = 0;
        if (!dump->Get(pos, kind)) return false;
        if (kind == 0) {
            const char* t = nullptr;
            if (!dump->Get(pos, value) || !dump->Get(pos, t) || pos != dump->length) return false;
            text = t;
            return true;
        }
        if (kind != 1) return false;
        MemBlockDesc rest;
        if (!rest.View(*dump, pos, dump->length - pos)) return false;
        nested = new CMemoryBlock(&Make);
        return nested->ReadDump(&rest);
    }

    static CMemoryItem* Make(const CMemoryItem* source) { return source == nullptr ? new FuzzItem() : nullptr; }
};

// The same bytes through the sequential readers: every read stays inside.
void ReadFields(const MemBlockDesc& block) {
    size_t pos = 0;
    unsigned sum = 0;
    while (pos < block.length) {
        const uint8_t op = block.Read(pos, static_cast<uint8_t>(0));
        switch (op % 7) {
            case 0: sum += block.Read(pos, static_cast<uint16_t>(1)); break;
            case 1: sum += block.Read(pos, 2u); break;
            case 2: sum += static_cast<unsigned>(block.Read(pos, static_cast<uint64_t>(3))); break;
            case 3: sum += static_cast<unsigned>(block.Read(pos, 4.0) != 0.0); break;
            case 4: sum += static_cast<unsigned>(std::strlen(block.Read(pos, ""))); break;
            case 5: {
                char buffer[16];
                sum += block.Read(pos, buffer, op % 16) ? 1u : 0u;
                break;
            }
            default: {
                MemBlockDesc view;
                if (view.View(block, pos, block.Remaining(pos) / 2)) sum += static_cast<unsigned>(view.length);
                break;
            }
        }
    }
    if (pos > block.length) std::abort();
    (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemBlockDesc input;
    input.View(data, size);
    ReadFields(input);

    CMemoryBlock list(&FuzzItem::Make);
    if (!list.ReadDump(&input)) return 0;
    if (!list.CheckConsistency()) std::abort();
    MemBlockDesc again;
    if (!list.CreateDump(&again) || !(again == input)) std::abort();
    return 0;
}
