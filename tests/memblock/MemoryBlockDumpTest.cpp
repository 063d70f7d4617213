// Tests of list dumps: the byte layout, round trips, and truncated or
// malformed dumps refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestItems.h"
#include "memblock/MemoryBlock.h"

namespace veldan::test {

namespace {

std::vector<int> Values(const CMemoryBlock& list) {
    std::vector<int> out;
    for (const CMemoryItem* item = list.GoForward(nullptr); item != nullptr; item = list.GoForward(item))
        out.push_back(ValueOf(item));
    return out;
}

class MemoryBlockDumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int v : {5, -7, 123456})
            ASSERT_TRUE(source.AddItem(new CountedItem(v, "tile " + std::to_string(v)), source.count));
        ASSERT_TRUE(source.CreateDump(&dump));
    }
    void TearDown() override {
        source.DeleteAllItems();
        target.DeleteAllItems();
        EXPECT_EQ(CountedItem::live.load(), 0);
    }

    // The target holds one item, so that a refused dump visibly leaves it alone.
    void PrepareTarget() { ASSERT_TRUE(target.AddItem(new CountedItem(42), 0u)); }

    CMemoryBlock source{CreateMemoryItem<CountedItem>};
    CMemoryBlock target{CreateMemoryItem<CountedItem>};
    MemBlockDesc dump;
};

}  // namespace

TEST_F(MemoryBlockDumpTest, RoundTripRestoresItemsInOrder) {
    PrepareTarget();
    ASSERT_TRUE(target.ReadDump(&dump));
    EXPECT_EQ(Values(target), (std::vector<int>{5, -7, 123456}));
    EXPECT_EQ(dynamic_cast<CountedItem*>(target.GetItem(1u))->label, "tile -7");
    EXPECT_TRUE(target.CheckConsistency());

    // Dumping the restored list gives the same bytes.
    MemBlockDesc again;
    ASSERT_TRUE(target.CreateDump(&again));
    EXPECT_TRUE(again == dump);
}

TEST_F(MemoryBlockDumpTest, LayoutIsMagicVersionCountAndLengthPrefixedRecords) {
    CMemoryBlock one(CreateMemoryItem<CountedItem>);
    ASSERT_TRUE(one.AddItem(new CountedItem(1, "a"), 0u));
    MemBlockDesc bytes;
    bytes.Add(static_cast<uint8_t>(0xAB));  // CreateDump appends to what is there
    ASSERT_TRUE(one.CreateDump(&bytes));
    const std::vector<unsigned char> expected = {
        0xAB, 'M', 'B', 'L', 'K', 1, 0, 0, 0,       // magic, version 1
        1,    0,   0,   0,                          // one item
        10,   0,   0,   0,                          // record length
        1,    0,   0,   0,   0,   0, 0, 0, 'a', 0,  // the item's own record
    };
    EXPECT_EQ(std::vector<unsigned char>(bytes.data, bytes.data + bytes.length), expected);
}

TEST_F(MemoryBlockDumpTest, EmptyListDumpsAndReadsBack) {
    CMemoryBlock empty;
    MemBlockDesc bytes;
    ASSERT_TRUE(empty.CreateDump(&bytes));
    EXPECT_EQ(bytes.length, 12u);
    PrepareTarget();
    ASSERT_TRUE(target.ReadDump(&bytes));
    EXPECT_EQ(target.count, 0u);
}

TEST_F(MemoryBlockDumpTest, EveryTruncationIsRefusedAndLeavesTheListAlone) {
    PrepareTarget();
    for (size_t cut = 0; cut < dump.length; ++cut) {
        MemBlockDesc truncated(dump.data, cut);
        EXPECT_FALSE(target.ReadDump(&truncated)) << "cut at " << cut;
        ASSERT_EQ(Values(target), (std::vector<int>{42})) << "cut at " << cut;
    }
    EXPECT_EQ(CountedItem::live.load(), 4) << "items made for a refused dump are destroyed";
}

TEST_F(MemoryBlockDumpTest, MalformedHeadersAndLengthsAreRefused) {
    PrepareTarget();
    auto refused = [&](size_t offset, std::vector<unsigned char> patch) {
        MemBlockDesc bad(dump);
        std::memcpy(bad.data + offset, patch.data(), patch.size());
        return !target.ReadDump(&bad);
    };
    EXPECT_TRUE(refused(0, {'X'})) << "magic";
    EXPECT_TRUE(refused(4, {2})) << "version";
    EXPECT_TRUE(refused(8, {4})) << "count larger than the records";
    EXPECT_TRUE(refused(8, {2})) << "count smaller: trailing bytes";
    EXPECT_TRUE(refused(8, {0xFF, 0xFF, 0xFF, 0x7F})) << "huge count";
    EXPECT_TRUE(refused(12, {0xFF, 0xFF, 0xFF, 0xFF})) << "record length beyond the end";
    EXPECT_TRUE(refused(12, {9})) << "record shorter than the item needs";
    EXPECT_TRUE(refused(12, {0})) << "empty record";
    EXPECT_EQ(Values(target), (std::vector<int>{42}));

    MemBlockDesc trailing(dump);
    trailing.Add(static_cast<uint8_t>(0));
    EXPECT_FALSE(target.ReadDump(&trailing));
    EXPECT_FALSE(target.ReadDump(nullptr));
    EXPECT_FALSE(source.CreateDump(nullptr));
    EXPECT_EQ(Values(target), (std::vector<int>{42}));
}

TEST_F(MemoryBlockDumpTest, ItemsSeeOnlyTheirOwnRecord) {
    // A record's text without its zero would let a careless reader run into
    // the next record; the view given to the item ends at its record.
    CMemoryBlock one(CreateMemoryItem<CountedItem>);
    MemBlockDesc bytes;
    bytes.Add("MBLK", 4);
    bytes.Add(static_cast<uint32_t>(1));
    bytes.Add(static_cast<uint32_t>(2));
    bytes.Add(static_cast<uint32_t>(10));
    bytes.Add(static_cast<int64_t>(1));
    bytes.Add("ab", 2);  // no zero inside the record
    bytes.Add(static_cast<uint32_t>(1));
    bytes.Add("", 1);  // a zero right after it, in the next record
    EXPECT_FALSE(one.ReadDump(&bytes));
    EXPECT_EQ(one.count, 0u);
}

TEST_F(MemoryBlockDumpTest, RefusedItemRecordsFailTheDump) {
    struct Picky : CountedItem {
        bool CreateDump(MemBlockDesc*) const override { return false; }
    };
    CMemoryBlock list;
    ASSERT_TRUE(list.AddItem(new CountedItem(1), 0u));
    ASSERT_TRUE(list.AddItem(new Picky(), 1u));
    MemBlockDesc bytes;
    bytes.Add(static_cast<uint8_t>(9));
    EXPECT_FALSE(list.CreateDump(&bytes));
    EXPECT_EQ(bytes.length, 1u) << "nothing is appended on failure";
}

TEST_F(MemoryBlockDumpTest, PlainItemsRoundTrip) {
    CMemoryBlock plain;
    for (uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(plain.AddItem(new CMemoryItem(), i));
    MemBlockDesc bytes;
    ASSERT_TRUE(plain.CreateDump(&bytes));
    CMemoryBlock back;
    ASSERT_TRUE(back.ReadDump(&bytes));
    EXPECT_EQ(back.count, 3u);
}

}  // namespace veldan::test
