#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/ItemIDList.h"
#include "shell/ShCtrls.h"
#include "support/CountingMalloc.h"

using namespace qd;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The bytes of items with the given payloads, counts in native order, and
// the terminator.
Bytes listBytes(const std::vector<std::string>& payloads)
{
    Bytes out;
    for (const std::string& payload : payloads) {
        const std::uint16_t count = std::uint16_t(payload.size() + 2);
        std::uint8_t c[2];
        std::memcpy(c, &count, 2);
        out.insert(out.end(), c, c + 2);
        out.insert(out.end(), payload.begin(), payload.end());
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

// A copy of bytes in memory from the shell allocator.
PItemIDList makeList(const Bytes& bytes)
{
    void* p = SHGetMalloc().Alloc(bytes.size());
    std::memcpy(p, bytes.data(), bytes.size());
    return static_cast<PItemIDList>(p);
}

Bytes readBytes(PCItemIDList list, std::size_t size)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(list);
    return Bytes(p, p + size);
}

PItemIDList at(PItemIDList list, std::size_t offset)
{
    return reinterpret_cast<PItemIDList>(reinterpret_cast<std::uint8_t*>(list) + offset);
}

} // namespace

// ---- allocation ----

TEST(ShellAllocZero, BothVariantsZeroFillFromTheShellAllocator)
{
    test::CountingMalloc heap;
    auto* a = static_cast<std::uint8_t*>(itemidlist::ShellAllocZero(300));
    auto* b = static_cast<std::uint8_t*>(shctrls::ShellAllocZero(std::int16_t(40)));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(heap.live(), 2u);
    EXPECT_EQ(Bytes(a, a + 300), Bytes(300, 0));
    EXPECT_EQ(Bytes(b, b + 40), Bytes(40, 0));
    SHGetMalloc().Free(a);
    SHGetMalloc().Free(b);
    EXPECT_EQ(heap.live(), 0u);
    EXPECT_EQ(heap.foreignFrees, 0);
}

TEST(ShellAllocZero, RefusedOrNegativeSizeGivesNull)
{
    test::CountingMalloc heap;
    EXPECT_EQ(itemidlist::ShellAllocZero(-1), nullptr);
    EXPECT_EQ(shctrls::ShellAllocZero(std::int16_t(-2)), nullptr);
    heap.refuse = true;
    EXPECT_EQ(itemidlist::ShellAllocZero(8), nullptr);
    EXPECT_EQ(shctrls::ShellAllocZero(std::int16_t(8)), nullptr);
    EXPECT_EQ(heap.live(), 0u);
}

// ---- walking ----

TEST(NextItemID, ItemIDListVariantAddsTheCountWithoutEndTest)
{
    PItemIDList list = makeList(listBytes({"abc", "de"}));
    PItemIDList second = itemidlist::NextItemID(list);
    EXPECT_EQ(second, at(list, 5));
    PItemIDList terminator = itemidlist::NextItemID(second);
    EXPECT_EQ(terminator, at(list, 9));
    // No end test: at the terminator it stays where it is (count 0).
    EXPECT_EQ(itemidlist::NextItemID(terminator), terminator);
    ILFree(list);
}

TEST(NextItemID, ShCtrlsVariantStopsAtTheLastItem)
{
    PItemIDList list = makeList(listBytes({"abc", "de"}));
    EXPECT_EQ(shctrls::NextItemID(list), at(list, 5));
    EXPECT_EQ(shctrls::NextItemID(at(list, 5)), nullptr); // the next count is 0
    EXPECT_EQ(shctrls::NextItemID(at(list, 9)), nullptr); // its own count is 0
    ILFree(list);
}

TEST(ItemIDListSize, CountsItemsAndTerminator)
{
    EXPECT_EQ(shctrls::ItemIDListSize(nullptr), 0);
    PItemIDList empty = makeList(listBytes({}));
    EXPECT_EQ(shctrls::ItemIDListSize(empty), 2);
    PItemIDList list = makeList(listBytes({"abc", "de", "f"}));
    EXPECT_EQ(shctrls::ItemIDListSize(list), 5 + 4 + 3 + 2);
    ILFree(empty);
    ILFree(list);
}

// ---- split and join ----

TEST(SplitItemIDList, MissingListOrVectorLeavesEverythingAsItWas)
{
    PItemIDList list = makeList(listBytes({"ab"}));
    std::vector<PItemIDList> items{list, list};
    EXPECT_FALSE(itemidlist::SplitItemIDList(nullptr, &items));
    EXPECT_EQ(items, (std::vector<PItemIDList>{list, list}));
    EXPECT_FALSE(itemidlist::SplitItemIDList(list, nullptr));
    ILFree(list);
}

TEST(SplitItemIDList, ReplacesTheVectorWithPointersIntoTheList)
{
    PItemIDList list = makeList(listBytes({"abc", "de", "f"}));
    std::vector<PItemIDList> items{nullptr, nullptr, nullptr, nullptr, nullptr};
    ASSERT_TRUE(itemidlist::SplitItemIDList(list, &items));
    EXPECT_EQ(items, (std::vector<PItemIDList>{list, at(list, 5), at(list, 9)}));

    PItemIDList empty = makeList(listBytes({}));
    ASSERT_TRUE(itemidlist::SplitItemIDList(empty, &items));
    EXPECT_TRUE(items.empty());
    ILFree(list);
    ILFree(empty);
}

TEST(JoinItemIDs, EmptyVectorGivesJustTheTerminator)
{
    test::CountingMalloc heap;
    PItemIDList joined = itemidlist::JoinItemIDs({});
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(heap.lastSize, 2u);
    EXPECT_EQ(readBytes(joined, 2), (Bytes{0, 0}));
    ILFree(joined);
    EXPECT_EQ(heap.live(), 0u);
}

TEST(JoinItemIDs, CopiesItemsInTheGivenOrder)
{
    test::CountingMalloc heap;
    PItemIDList list = makeList(listBytes({"abc", "de", "f"}));
    std::vector<PItemIDList> items;
    ASSERT_TRUE(itemidlist::SplitItemIDList(list, &items));
    PItemIDList joined = itemidlist::JoinItemIDs({items[2], items[0]});
    ASSERT_NE(joined, nullptr);
    const Bytes expected = listBytes({"f", "abc"});
    EXPECT_EQ(heap.lastSize, expected.size());
    EXPECT_EQ(readBytes(joined, expected.size()), expected);
    ILFree(joined);

    heap.refuse = true;
    EXPECT_EQ(itemidlist::JoinItemIDs(items), nullptr);
    heap.refuse = false;
    ILFree(list);
    EXPECT_EQ(heap.live(), 0u);
}

// ---- concatenation ----

TEST(ConcatItemIDLists, NullSideCopiesOnlyTheOtherList)
{
    test::CountingMalloc heap;
    const Bytes bytes = listBytes({"abc", "de"});
    PItemIDList list = makeList(bytes);

    PItemIDList right = shctrls::ConcatItemIDLists(nullptr, list);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(heap.lastSize, bytes.size());
    EXPECT_EQ(readBytes(right, bytes.size()), bytes);
    EXPECT_NE(right, list);

    PItemIDList left = shctrls::ConcatItemIDLists(list, nullptr);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(readBytes(left, bytes.size()), bytes);

    PItemIDList none = shctrls::ConcatItemIDLists(nullptr, nullptr);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(heap.lastSize, 2u);
    EXPECT_EQ(readBytes(none, 2), (Bytes{0, 0}));

    for (PItemIDList p : {list, right, left, none})
        ILFree(p);
    EXPECT_EQ(heap.live(), 0u);
}

TEST(ConcatItemIDLists, JoinsItemsOfBothAndEndsWithTheTerminator)
{
    test::CountingMalloc heap;
    PItemIDList a = makeList(listBytes({"abc"}));
    PItemIDList b = makeList(listBytes({"de", "f"}));
    PItemIDList joined = shctrls::ConcatItemIDLists(a, b);
    ASSERT_NE(joined, nullptr);
    const Bytes expected = listBytes({"abc", "de", "f"});
    EXPECT_EQ(heap.lastSize, expected.size());
    EXPECT_EQ(readBytes(joined, expected.size()), expected);
    EXPECT_EQ(shctrls::ItemIDListSize(joined), expected.size());
    for (PItemIDList p : {a, b, joined})
        ILFree(p);
}

TEST(ConcatItemIDLists, RefusesWhatTheAllocatorOrTheSizeCannotHold)
{
    test::CountingMalloc heap;
    PItemIDList a = makeList(listBytes({"abc"}));
    heap.refuse = true;
    EXPECT_EQ(shctrls::ConcatItemIDLists(a, a), nullptr);
    heap.refuse = false;

    // Two lists of 20000 bytes each: the joined size does not fit the
    // allocation size, so nothing may be cut off or run past the memory.
    PItemIDList big = makeList(listBytes({std::string(20000 - 2, 'x')}));
    EXPECT_EQ(shctrls::ConcatItemIDLists(big, big), nullptr);
    ILFree(a);
    ILFree(big);
    EXPECT_EQ(heap.live(), 0u);
}
