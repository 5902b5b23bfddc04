#include "engine/core/array.h"

#include "engine/core/string.h"
#include "engine/core/test_support.h"

namespace {

class ArrayTest : public EngineTest {};

TEST_F(ArrayTest, GrowsByFiveAndKeepsOrder)
{
    tArray<int> a;
    EXPECT_EQ(a.Capacity(), 5);
    EXPECT_EQ(a.Count(), 0);
    for (int i = 0; i < 6; ++i)
        a.Add(i * 10);
    EXPECT_EQ(a.Capacity(), 10);
    ASSERT_EQ(a.Count(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(*a.At(i), i * 10);
    for (int i = 6; i < 11; ++i)
        a.Add(i);
    EXPECT_EQ(a.Capacity(), 15);
}

TEST_F(ArrayTest, ReserveBelowCountKeepsEveryElement)
{
    tArray<int> a;
    for (int i = 0; i < 7; ++i)
        a.Add(i);
    a.Reserve(2);
    EXPECT_EQ(a.Capacity(), 7);
    ASSERT_EQ(a.Count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(a[i], i);
    a.Add(7);
    EXPECT_EQ(a.Capacity(), 12);
}

TEST_F(ArrayTest, IndexPastTheEndGivesTheLastElement)
{
    tArray<int> a;
    a.Add(1);
    a.Add(2);
    EXPECT_EQ(*a.At(2), 2);
    EXPECT_EQ(*a.At(1000), 2);
}

TEST_F(ArrayTest, EmptyArrayOrNegativeIndexIsFatal)
{
    struct Case {
        int elements;
        int index;
    };
    for (Case c : {Case{0, 0}, Case{0, 3}, Case{2, -1}, Case{2, INT32_MIN}}) {
        tArray<int> a;
        for (int i = 0; i < c.elements; ++i)
            a.Add(i);
        std::string text = CatchFatalError([&] { a.At(c.index); });
        EXPECT_NE(text.find("Error in function tArray::At"), std::string::npos) << text;
    }
}

TEST_F(ArrayTest, RemoveAtShiftsAndIgnoresOutsideIndices)
{
    tStringArray a;
    for (const char* s : {"a", "b", "c"})
        a.Add(s);
    a.RemoveAt(-1);
    a.RemoveAt(3);
    EXPECT_EQ(a.Count(), 3);
    a.RemoveAt(0);
    ASSERT_EQ(a.Count(), 2);
    EXPECT_EQ(a[0], "b");
    EXPECT_EQ(a[1], "c");
    // The slot left behind holds an empty string again.
    EXPECT_STREQ(a.Data()[2].c_str(), "");
}

struct Counted {
    explicit Counted(int* deaths) : mDeaths(deaths) {}
    virtual ~Counted() { ++*mDeaths; }
    int* mDeaths;
};

struct DerivedCounted : Counted {
    DerivedCounted(int* deaths, int* derivedDeaths) : Counted(deaths), mDerivedDeaths(derivedDeaths) {}
    ~DerivedCounted() override { ++*mDerivedDeaths; }
    int* mDerivedDeaths;
};

TEST_F(ArrayTest, DeleteAllSkipsNullSlotsAndUsesVirtualDestructors)
{
    int deaths = 0;
    int derivedDeaths = 0;
    tArray<Counted*> a;
    a.Add(new Counted(&deaths));
    a.Add(nullptr);
    a.Add(new DerivedCounted(&deaths, &derivedDeaths));
    a.DeleteAll();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(derivedDeaths, 1);
}

TEST_F(ArrayTest, StringSlotsSurviveGrowthAndCopies)
{
    tStringArray a;
    for (int i = 0; i < 12; ++i)
        a.Add(cTarvelString(i));
    tStringArray b(a);
    a[0] = "changed";
    ASSERT_EQ(b.Count(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(b[i].ToInt(), i);
    // Slots past count are constructed empty strings.
    EXPECT_STREQ(a.Data()[a.Capacity() - 1].c_str(), "");
}

TEST_F(ArrayTest, FreeDataLeavesAnUsableEmptyArray)
{
    tArray<int> a;
    a.Add(1);
    a.FreeData();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Data(), nullptr);
    a.Add(5);
    EXPECT_EQ(a[0], 5);
    EXPECT_EQ(a.Capacity(), 5);
}

} // namespace
