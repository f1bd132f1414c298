// RCList: growth and shrinking by the step, order kept or not, ownership.
#include <gtest/gtest.h>

#include <vector>

#include "support/RCList.h"

namespace {

// An element that counts its own destruction in a counter of the test's.
class Tracked : public RCRoot {
public:
    Tracked(int32_t id, int32_t* destroyed) : id_(id), destroyed_(destroyed) {}
    ~Tracked() override { ++*destroyed_; }
    int32_t Id() const { return id_; }

private:
    int32_t id_;
    int32_t* destroyed_;
};

std::vector<int32_t> Ids(const RCList<Tracked>& list)
{
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < list.Count(); ++i)
        ids.push_back(list.Item(i)->Id());
    return ids;
}

} // namespace

TEST(List, GrowsByTheStepAndShrinksWhenTwoStepsAreFree)
{
    int32_t destroyed = 0;
    RCList<Tracked> list;
    EXPECT_EQ(list.Capacity(), 0);
    for (int32_t i = 0; i < 21; ++i) {
        EXPECT_EQ(list.Add(new Tracked(i, &destroyed)), i);
        // 1..10 fit in 10 slots, 11..20 in 20, the 21st needs 30.
        EXPECT_EQ(list.Capacity(), (i / 10 + 1) * 10) << i;
    }

    // Capacity after each removal from the end, count going 20, 19, ... 0:
    // it gives one step back whenever 20 or more slots stand unused.
    struct Step {
        int32_t count;
        int32_t capacity;
    };
    const Step steps[] = {{20, 30}, {11, 30}, {10, 20}, {1, 20}, {0, 10}};
    int32_t expectedCount = 21;
    for (const Step& step : steps) {
        while (expectedCount > step.count) {
            EXPECT_TRUE(list.RemoveAt(list.Count() - 1));
            --expectedCount;
        }
        EXPECT_EQ(list.Count(), step.count);
        EXPECT_EQ(list.Capacity(), step.capacity) << step.count;
    }
    EXPECT_EQ(destroyed, 21);
}

TEST(List, RemovalKeepsOrderOrMovesTheLastElement)
{
    struct Case {
        bool keepsOrder;
        int32_t index;
        std::vector<int32_t> after;
    };
    const Case cases[] = {
        {true, 0, {1, 2, 3, 4}},
        {true, 2, {0, 1, 3, 4}},
        {true, 4, {0, 1, 2, 3}},
        {false, 0, {4, 1, 2, 3}},
        {false, 2, {0, 1, 4, 3}},
        {false, 4, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        int32_t destroyed = 0;
        RCList<Tracked> list(true, c.keepsOrder, 10);
        for (int32_t i = 0; i < 5; ++i)
            list.Add(new Tracked(i, &destroyed));
        EXPECT_TRUE(list.RemoveAt(c.index));
        EXPECT_EQ(Ids(list), c.after) << c.keepsOrder << " " << c.index;
        EXPECT_EQ(destroyed, 1);
    }
}

TEST(List, OutOfRangeIndexesChangeNothing)
{
    int32_t destroyed = 0;
    RCList<Tracked> list;
    EXPECT_FALSE(list.RemoveAt(0));
    EXPECT_EQ(list.Item(0), nullptr);
    list.Add(new Tracked(7, &destroyed));
    for (int32_t index : {-1, 1, 100}) {
        EXPECT_FALSE(list.RemoveAt(index)) << index;
        EXPECT_EQ(list.Item(index), nullptr) << index;
    }
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(destroyed, 0);
}

TEST(List, RemovingAnEmptySlotReportsFalse)
{
    RCList<Tracked> list;
    list.Add(nullptr);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_FALSE(list.RemoveAt(0));
    EXPECT_EQ(list.Count(), 0);
}

TEST(List, OwnershipDecidesWhoDeletes)
{
    int32_t destroyed = 0;
    Tracked a(1, &destroyed);
    Tracked b(2, &destroyed);
    {
        RCList<Tracked> borrowed(false, true, 10);
        borrowed.Add(&a);
        borrowed.Add(&b);
        EXPECT_TRUE(borrowed.RemoveAt(0));
        borrowed.Clear();
        borrowed.Add(&a);
    }
    EXPECT_EQ(destroyed, 0);

    {
        RCList<Tracked> owned;
        for (int32_t i = 0; i < 12; ++i)
            owned.Add(new Tracked(i, &destroyed));
        owned.Clear();
        EXPECT_EQ(destroyed, 12);
        EXPECT_EQ(owned.Count(), 0);
        EXPECT_EQ(owned.Capacity(), 0);
        owned.Add(new Tracked(99, &destroyed)); // usable again after Clear
        owned.Add(new Tracked(98, &destroyed));
    }
    EXPECT_EQ(destroyed, 14); // the destructor clears
}

// A step below 1 would leave a full list with no room to add to.
TEST(List, StepBelowOneGrowsOneAtATime)
{
    for (int32_t step : {0, -3}) {
        int32_t destroyed = 0;
        RCList<Tracked> list(true, true, step);
        for (int32_t i = 0; i < 3; ++i)
            EXPECT_EQ(list.Add(new Tracked(i, &destroyed)), i);
        EXPECT_EQ(list.Capacity(), 3);
        EXPECT_TRUE(list.RemoveAt(0));
        EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 2}));
    }
}
