#include "animation/core/shared_data.h"

#include <gtest/gtest.h>

#include "animation/core/array.h"
#include "animation/core/core_test_support.h"

namespace AnimCore {
namespace {

using testing::CoreTest;

struct Tracked {
  explicit Tracked(int* deletions) : mDeletions(deletions) {}
  ~Tracked() { ++*mDeletions; }
  int* mDeletions;
};

TEST_F(CoreTest, PointerSharesByCopyAndDeletesWithTheLastHandle) {
  int deletions = 0;
  Pointer<Tracked>* first = New<Pointer<Tracked>>(MEMCATEGORY_MISC);
  ASSERT_TRUE(first->Set(New<Tracked>(MEMCATEGORY_MISC, &deletions)));
  EXPECT_EQ(first->GetReferenceCount(), 1u);
  Tracked* object = first->Get();

  Pointer<Tracked> copy(*first);
  EXPECT_EQ(copy.Get(), object);
  EXPECT_EQ(copy.GetReferenceCount(), 2u);

  Delete(first);
  EXPECT_EQ(deletions, 0);
  EXPECT_EQ(copy.GetReferenceCount(), 1u);
  copy.Reset();
  EXPECT_EQ(deletions, 1);
  EXPECT_EQ(copy.Get(), nullptr);
}

TEST_F(CoreTest, PointerSetStartsAFreshHolderAndNullEmpties) {
  int deletions = 0;
  Pointer<Tracked> empty;
  EXPECT_TRUE(empty.Set(nullptr));
  EXPECT_TRUE(empty.IsEmpty());

  Pointer<Tracked> a;
  a.Set(New<Tracked>(MEMCATEGORY_MISC, &deletions));
  Pointer<Tracked> b(a);
  // Setting a new object releases a's reference only; b keeps the old object.
  a.Set(New<Tracked>(MEMCATEGORY_MISC, &deletions));
  EXPECT_NE(a.Get(), b.Get());
  EXPECT_EQ(a.GetReferenceCount(), 1u);
  EXPECT_EQ(b.GetReferenceCount(), 1u);
  EXPECT_EQ(deletions, 0);

  b = a;  // the old object loses its last handle
  EXPECT_EQ(deletions, 1);
  EXPECT_EQ(a.GetReferenceCount(), 2u);
  a.Set(nullptr);
  b.Set(nullptr);
  EXPECT_EQ(deletions, 2);
}

TEST_F(CoreTest, ArrayOfPointersReleasesDroppedSlots) {
  int deletions = 0;
  Array<Pointer<Tracked>> slots(MEMCATEGORY_MISC);
  ASSERT_TRUE(slots.Resize(3));
  for (uint32_t i = 0; i < 3; ++i) slots[i].Set(New<Tracked>(MEMCATEGORY_MISC, &deletions));
  Pointer<Tracked> keep(slots[2]);
  ASSERT_TRUE(slots.Resize(1));
  EXPECT_EQ(deletions, 1);  // slot 2 is still held by keep
  ASSERT_TRUE(slots.Resize(8));  // growing moves the handles, no extra references
  EXPECT_EQ(slots[0].GetReferenceCount(), 1u);
  slots.Clear();
  EXPECT_EQ(deletions, 2);
}

}  // namespace
}  // namespace AnimCore
