#include "animation/core/array.h"

#include <gtest/gtest.h>

#include <vector>

#include "animation/core/core_test_support.h"
#include "animation/core/string.h"

namespace AnimCore {
namespace {

using testing::CoreTest;
using testing::TestAllocator;

template <class T>
std::vector<T> Contents(const Array<T>& array) {
  return std::vector<T>(array.begin(), array.end());
}

TEST_F(CoreTest, ArrayGrowsToOneSpareSlot) {
  Array<int> array;
  EXPECT_EQ(array.GetMemoryCategory(), MEMCATEGORY_ARRAY);
  EXPECT_EQ(array.GetPtr(), nullptr);
  // Capacity after each Add: reallocations happen at lengths 1, 3, 5, ...
  const uint32_t expectedMax[] = {2, 2, 4, 4, 6, 6, 8};
  for (int i = 0; i < 7; ++i) {
    ASSERT_TRUE(array.Add(i * 10));
    EXPECT_EQ(array.GetLength(), static_cast<uint32_t>(i + 1));
    EXPECT_EQ(array.GetMaxLength(), expectedMax[i]) << "after add " << i + 1;
  }
  EXPECT_EQ(Contents(array), (std::vector<int>{0, 10, 20, 30, 40, 50, 60}));
}

TEST_F(CoreTest, ArrayResizeAndCopyGrowToExactLength) {
  Array<uint32_t> array(603);
  ASSERT_TRUE(array.Resize(5));
  EXPECT_EQ(array.GetMaxLength(), 5u);
  EXPECT_EQ(Contents(array), (std::vector<uint32_t>{0, 0, 0, 0, 0}));
  array[4] = 9;
  ASSERT_TRUE(array.Resize(2));  // shrinking keeps the storage
  EXPECT_EQ(array.GetMaxLength(), 5u);

  Array<uint32_t> copy(array);
  EXPECT_EQ(copy.GetMemoryCategory(), 603u);
  EXPECT_EQ(copy.GetMaxLength(), 2u);
  ASSERT_TRUE(copy.Add(7));
  Array<uint32_t> target;
  target = copy;
  EXPECT_EQ(target.GetMaxLength(), 3u);
  EXPECT_EQ(Contents(target), (std::vector<uint32_t>{0, 0, 7}));
}

TEST_F(CoreTest, ArrayStorageUsesItsCategoryAndBlockId) {
  ASSERT_TRUE(MemoryManager::SetMemoryAllocator(new TestAllocator()));
  auto* allocator = static_cast<TestAllocator*>(MemoryManager::GetMemoryAllocator());
  {
    Array<int> array(301);
    array.Add(1);
    EXPECT_EQ(allocator->lastCategory, 301u);
    EXPECT_EQ(allocator->lastBlockID, static_cast<uint32_t>(MEMBLOCK_ARRAY));

    // A failed allocation leaves the array as it was.
    array.Add(2);  // fills the spare slot
    allocator->failAll = true;
    EXPECT_FALSE(array.Add(3));
    EXPECT_FALSE(array.Resize(100));
    allocator->failAll = false;
    EXPECT_EQ(Contents(array), (std::vector<int>{1, 2}));
  }
  ASSERT_TRUE(MemoryManager::SetMemoryAllocator(nullptr));
}

TEST_F(CoreTest, ArrayInsertAndRemoveKeepOrder) {
  struct Case {
    const char* name;
    void (*apply)(Array<int>&);
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"insert front", [](Array<int>& a) { a.Insert(0, 9); }, {9, 1, 2, 3, 4}},
      {"insert middle", [](Array<int>& a) { a.Insert(2, 9); }, {1, 2, 9, 3, 4}},
      {"insert at end", [](Array<int>& a) { a.Insert(4, 9); }, {1, 2, 3, 4, 9}},
      {"insert past end", [](Array<int>& a) { EXPECT_FALSE(a.Insert(5, 9)); }, {1, 2, 3, 4}},
      {"remove front", [](Array<int>& a) { a.Remove(0); }, {2, 3, 4}},
      {"remove middle", [](Array<int>& a) { a.Remove(1); }, {1, 3, 4}},
      {"remove last", [](Array<int>& a) { a.Remove(3); }, {1, 2, 3}},
      {"remove out of range", [](Array<int>& a) { a.Remove(4); }, {1, 2, 3, 4}},
      {"remove by value", [](Array<int>& a) { EXPECT_TRUE(a.RemoveByValue(3)); }, {1, 2, 4}},
      {"remove absent value", [](Array<int>& a) { EXPECT_FALSE(a.RemoveByValue(7)); },
       {1, 2, 3, 4}},
      // The element comes from the array's own storage, which the growth moves.
      {"add own element", [](Array<int>& a) { a.Add(a[0]); a.Add(a[1]); }, {1, 2, 3, 4, 1, 2}},
      {"insert own element", [](Array<int>& a) { a.Insert(0, a[3]); a.Insert(0, a[4]); },
       {4, 4, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    Array<int> array;
    for (int v : {1, 2, 3, 4}) array.Add(v);
    c.apply(array);
    EXPECT_EQ(Contents(array), c.expected) << c.name;
    EXPECT_GE(array.GetMaxLength(), array.GetLength()) << c.name;
  }
}

TEST_F(CoreTest, ArrayOfStringsMovesItsElements) {
  Array<String> names(601);
  for (const char* text : {"", "Bip01", "Bip01 Head", "Bip01 Spine"}) ASSERT_TRUE(names.Add(text));
  ASSERT_TRUE(names.Insert(1, names[3]));
  names.Remove(0);
  ASSERT_EQ(names.GetLength(), 4u);
  const char* expected[] = {"Bip01 Spine", "Bip01", "Bip01 Head", "Bip01 Spine"};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_STREQ(names[i].AsChar(), expected[i]) << i;
  EXPECT_EQ(names.Find(String("Bip01 Head")), 2);
  ASSERT_TRUE(names.Resize(6));
  EXPECT_EQ(names[5].GetData(), nullptr);  // new strings hold no text
  Array<String> copy = names;
  names.Clear();
  EXPECT_EQ(names.GetPtr(), nullptr);
  EXPECT_EQ(names.GetMaxLength(), 0u);
  EXPECT_STREQ(copy[1].AsChar(), "Bip01");
}

TEST_F(CoreTest, ArrayOfOwnedPointersDeletesThem) {
  struct Counted {
    explicit Counted(int* alive) : mAlive(alive) { ++*mAlive; }
    virtual ~Counted() { --*mAlive; }
    int* mAlive;
  };
  int alive = 0;
  Array<Counted*> owned(203);
  owned.Add(New<Counted>(203, &alive));
  owned.Add(nullptr);
  owned.Add(New<Counted>(203, &alive));
  EXPECT_EQ(alive, 2);
  owned.ClearAndDelete();
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(owned.GetLength(), 0u);
  EXPECT_EQ(owned.GetMaxLength(), 0u);
  EXPECT_EQ(owned.GetPtr(), nullptr);
}

TEST_F(CoreTest, ArrayRefusesSizesBeyondThirtyTwoBits) {
  struct Big {
    char bytes[64];
  };
  Array<Big> array;
  EXPECT_FALSE(array.Resize(0x08000000u));  // 8 GiB does not fit a 32-bit byte count
  EXPECT_EQ(array.GetLength(), 0u);
  EXPECT_FALSE(array.Reserve(0xFFFFFFFFu));
}

}  // namespace
}  // namespace AnimCore
