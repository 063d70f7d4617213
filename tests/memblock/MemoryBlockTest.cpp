// Tests of CMemoryBlock on one thread: ownership, look-ups, the index cache,
// item validity and copies.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestItems.h"
#include "memblock/MemoryBlock.h"

namespace veldan::test {

namespace {

class MemoryBlockTest : public ::testing::Test {
protected:
    void SetUp() override { liveAtStart_ = CountedItem::live.load(); }
    void TearDown() override { EXPECT_EQ(CountedItem::live.load(), liveAtStart_) << "items leaked or destroyed twice"; }

    // A list holding items with the given values, in order.
    static void Fill(CMemoryBlock& list, std::initializer_list<int> values) {
        for (int v : values) ASSERT_TRUE(list.AddItem(new CountedItem(v), list.count, true));
    }

    static std::vector<int> Values(const CMemoryBlock& list) {
        std::vector<int> out;
        CMemoryBlockChanging walk(list);
        for (uint32_t i = 0; i < list.count; ++i) out.push_back(ValueOf(list.GetItem(i, false)));
        return out;
    }

private:
    int liveAtStart_ = 0;
};

}  // namespace

TEST_F(MemoryBlockTest, AddItemAppendsInsertsAndTakesOwnership) {
    CMemoryBlock list;
    Fill(list, {1, 2, 3});
    ASSERT_TRUE(list.AddItem(new CountedItem(0), 0u, true));
    ASSERT_TRUE(list.AddItem(new CountedItem(9), 2u, true));
    ASSERT_TRUE(list.AddItem(new CountedItem(4), 1000u, true));  // past the end appends
    EXPECT_EQ(Values(list), (std::vector<int>{0, 1, 9, 2, 3, 4}));
    EXPECT_EQ(list.count, 6u);
    EXPECT_EQ(CountedItem::live.load(), 6);
    EXPECT_TRUE(list.CheckConsistency());
}  // the list's destructor destroys all six

TEST_F(MemoryBlockTest, AddItemRefusesNullAndItemsOfAnotherList) {
    CMemoryBlock a;
    CMemoryBlock b;
    EXPECT_FALSE(a.AddItem(nullptr, 0u, true));
    auto* item = new CountedItem(5);
    ASSERT_TRUE(a.AddItem(item, 0u, true));
    EXPECT_FALSE(b.AddItem(item, 0u, true)) << "an item belongs to one list only";
    EXPECT_FALSE(a.AddItem(item, 0u, true)) << "nor twice to the same list";
    EXPECT_EQ(a.count, 1u);
    EXPECT_EQ(b.count, 0u);
}

TEST_F(MemoryBlockTest, ExcludeGivesTheItemBackAndDeleteDestroysIt) {
    CMemoryBlock list;
    Fill(list, {10, 11, 12, 13});
    CMemoryItem* middle = list.GetItem(1u);
    std::unique_ptr<CMemoryItem> taken(list.ExcludeItem(middle, true));
    ASSERT_EQ(taken.get(), middle);
    EXPECT_EQ(Values(list), (std::vector<int>{10, 12, 13})) << "later items move down one index";
    EXPECT_FALSE(list.CheckActItem(taken.get()));
    EXPECT_EQ(taken->GetNextItem(), nullptr);
    EXPECT_EQ(taken->GetPrevItem(), nullptr);

    std::unique_ptr<CMemoryItem> last(list.ExcludeItem(2u, false));
    EXPECT_EQ(ValueOf(last.get()), 13);
    EXPECT_EQ(list.ExcludeItem(2u, true), nullptr);
    EXPECT_EQ(list.ExcludeItem(taken.get(), true), nullptr) << "not in the list any more";

    EXPECT_TRUE(list.DeleteItem(0u, true));
    EXPECT_EQ(CountedItem::live.load(), 3);  // 12 in the list, taken, last
    EXPECT_FALSE(list.DeleteItem(5u, true));
    EXPECT_FALSE(list.DeleteItem(taken.get(), true));
    EXPECT_TRUE(list.DeleteItem(list.GetItem(0u), true));
    EXPECT_EQ(list.count, 0u);
    EXPECT_TRUE(list.CheckConsistency());

    // An excluded item may be handed to another list.
    CMemoryBlock other;
    ASSERT_TRUE(other.AddItem(taken.release(), 0u, true));
    EXPECT_EQ(other.count, 1u);
}

TEST_F(MemoryBlockTest, DeleteAllItemsDestroysEverything) {
    CMemoryBlock list;
    Fill(list, {1, 2, 3, 4, 5});
    list.DeleteAllItems();
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.GetItem(0u), nullptr);
    EXPECT_EQ(CountedItem::live.load(), 0);
    EXPECT_TRUE(list.CheckConsistency());
    Fill(list, {6});
    EXPECT_EQ(Values(list), (std::vector<int>{6}));
}

TEST_F(MemoryBlockTest, ItemDestroyedWhileInAListLeavesIt) {
    CMemoryBlock list;
    Fill(list, {1, 2, 3});
    delete list.GetItem(1u);
    EXPECT_EQ(list.count, 2u);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 3}));
    EXPECT_TRUE(list.CheckConsistency());
}

TEST_F(MemoryBlockTest, IndexAndItemLookupAtTheEnds) {
    CMemoryBlock empty;
    EXPECT_EQ(empty.GetItem(0u), nullptr);
    EXPECT_EQ(empty.GoForward(nullptr), nullptr);
    EXPECT_EQ(empty.GoBackward(nullptr), nullptr);
    EXPECT_EQ(empty.GetItemNr(nullptr), -1);

    CMemoryBlock list;
    Fill(list, {0, 1, 2, 3, 4, 5, 6, 7});
    CMemoryItem* first = list.GetItem(0u);
    CMemoryItem* last = list.GetItem(7u);
    EXPECT_EQ(ValueOf(first), 0);
    EXPECT_EQ(ValueOf(last), 7);
    EXPECT_EQ(list.GetItem(8u), nullptr);
    EXPECT_EQ(list.GetItem(UINT32_MAX), nullptr);
    EXPECT_EQ(list.GetItemNr(first), 0);
    EXPECT_EQ(list.GetItemNr(last), 7);
    EXPECT_EQ(list.GoForward(nullptr), first);
    EXPECT_EQ(list.GoBackward(nullptr), last);
    EXPECT_EQ(list.GoForward(last), nullptr);
    EXPECT_EQ(list.GoBackward(first), nullptr);
    EXPECT_EQ(first->GetPrevItem(), nullptr);
    EXPECT_EQ(last->GetNextItem(), nullptr);

    // Random and sequential access in both directions agree with the chain.
    const uint32_t order[] = {3, 4, 5, 0, 7, 6, 2, 1, 1, 7, 0};
    for (uint32_t i : order) {
        CMemoryItem* item = list.GetItem(i);
        ASSERT_EQ(ValueOf(item), static_cast<int>(i));
        EXPECT_EQ(list.GetItemNr(item), static_cast<int32_t>(i));
        EXPECT_EQ(list.GoForward(item), i < 7 ? list.GetItem(i + 1) : nullptr);
    }
    for (uint32_t i = 8; i-- > 0;) ASSERT_EQ(ValueOf(list.GetItem(i)), static_cast<int>(i));
}

TEST_F(MemoryBlockTest, IndexCacheFollowsInsertionsAndRemovals) {
    CMemoryBlock list;
    Fill(list, {0, 1, 2, 3, 4, 5});
    EXPECT_EQ(ValueOf(list.GetItem(3u)), 3);  // the cache now sits at index 3
    ASSERT_TRUE(list.AddItem(new CountedItem(100), 1u));
    EXPECT_EQ(ValueOf(list.GetItem(4u)), 3);
    EXPECT_EQ(ValueOf(list.GetItem(3u)), 2);
    delete list.ExcludeItem(3u);  // removes the cached item itself
    EXPECT_EQ(ValueOf(list.GetItem(3u)), 3);
    EXPECT_EQ(ValueOf(list.GetItem(4u)), 4);
    delete list.ExcludeItem(0u);  // in front of the cache
    EXPECT_EQ(ValueOf(list.GetItem(3u)), 4);
    delete list.ExcludeItem(list.GetItem(4u));  // the last item, cached
    EXPECT_EQ(ValueOf(list.GetItem(3u)), 4);
    EXPECT_EQ(list.GetItem(4u), nullptr);
    EXPECT_EQ(Values(list), (std::vector<int>{100, 1, 3, 4}));
    EXPECT_TRUE(list.CheckConsistency());
}

TEST_F(MemoryBlockTest, LookupsOfForeignOrStalePointersAreAnsweredSafely) {
    CMemoryBlock list;
    Fill(list, {1, 2});
    CountedItem loose(7);
    EXPECT_FALSE(list.CheckActItem(&loose));
    EXPECT_EQ(list.GetItemNr(&loose), -1);
    EXPECT_EQ(list.GoForward(&loose), nullptr);
    EXPECT_FALSE(list.DeleteItem(&loose));

    CMemoryItem* gone = list.GetItem(0u);
    ASSERT_TRUE(list.DeleteItem(gone));
    // The pointer is dangling now: the list compares it, never reads it.
    EXPECT_FALSE(list.CheckActItem(gone));
    EXPECT_EQ(list.GetItemNr(gone), -1);
    EXPECT_FALSE(list.DeleteItem(gone));
}

TEST_F(MemoryBlockTest, LinksOfListedItemsCannotBeOverwritten) {
    CMemoryBlock list;
    Fill(list, {1, 2});
    CMemoryItem* first = list.GetItem(0u);
    EXPECT_FALSE(first->SetNextItem(nullptr));
    EXPECT_FALSE(first->SetPrevItem(first));
    EXPECT_TRUE(list.CheckConsistency());
    CountedItem loose;
    EXPECT_TRUE(loose.SetNextItem(first));
    EXPECT_TRUE(list.Rebuild()) << "the list was consistent";
}

TEST_F(MemoryBlockTest, ItemValidityLastsUntilDestruction) {
    auto* item = new CountedItem(1);
    EXPECT_TRUE(item->IsValid());
    EXPECT_TRUE(CMemoryItem::IsValid(item));
    EXPECT_FALSE(CMemoryItem::IsValid(nullptr));
    CountedItem copy(*item);
    EXPECT_TRUE(copy.IsValid());
    delete item;
}

TEST_F(MemoryBlockTest, CreateItemUsesTheFactory) {
    CMemoryBlock plain;
    std::unique_ptr<CMemoryItem> base(plain.CreateItem(nullptr));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(dynamic_cast<CountedItem*>(base.get()), nullptr);
    CountedItem sample(3);
    EXPECT_EQ(plain.CreateItem(&sample), nullptr) << "without a factory nothing can be copied";
    EXPECT_EQ(plain.count, 0u) << "created items are not added";

    CMemoryBlock typed(CreateMemoryItem<CountedItem>);
    std::unique_ptr<CMemoryItem> fresh(typed.CreateItem(nullptr));
    EXPECT_EQ(ValueOf(fresh.get()), 0);
    std::unique_ptr<CMemoryItem> copy(typed.CreateItem(&sample));
    EXPECT_EQ(ValueOf(copy.get()), 3);
    SpecialItem special(4);
    EXPECT_EQ(typed.CreateItem(&special), nullptr) << "a derived item is not sliced";
    EXPECT_EQ(typed.count, 0u);
}

TEST_F(MemoryBlockTest, CopyingDuplicatesTheItems) {
    CMemoryBlock list(CreateMemoryItem<CountedItem>);
    Fill(list, {1, 2, 3});
    CMemoryBlock copy(list);
    EXPECT_EQ(Values(copy), (std::vector<int>{1, 2, 3}));
    EXPECT_NE(copy.GetItem(0u), list.GetItem(0u));
    EXPECT_EQ(CountedItem::live.load(), 6);
    EXPECT_TRUE(copy.CheckConsistency());
    EXPECT_EQ(copy.factory, list.factory);

    CMemoryBlock target(CreateMemoryItem<CountedItem>);
    Fill(target, {8, 9});
    target = list;
    EXPECT_EQ(Values(target), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(CountedItem::live.load(), 9);
    target = target;
    EXPECT_EQ(Values(target), (std::vector<int>{1, 2, 3}));

    // Items the factory cannot copy are left out, never copied as a wrong type.
    ASSERT_TRUE(list.AddItem(new SpecialItem(4), 1u));
    CMemoryBlock partial(list);
    EXPECT_EQ(Values(partial), (std::vector<int>{1, 2, 3}));
}

TEST_F(MemoryBlockTest, DerivedListOverridesCreateItem) {
    struct TileList : CMemoryBlock {
        CMemoryItem* CreateItem(const CMemoryItem* source) const override {
            const auto* item = dynamic_cast<const CountedItem*>(source);
            return item != nullptr ? new CountedItem(item->value + 1000) : new CountedItem(-5);
        }
    };
    TileList list;
    Fill(list, {1, 2});
    TileList copy(list);  // the base copy asks the source, a complete TileList
    EXPECT_EQ(Values(copy), (std::vector<int>{1001, 1002}));
}

}  // namespace veldan::test
