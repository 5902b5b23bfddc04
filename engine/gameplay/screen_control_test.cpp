#include "engine/gameplay/screen_control.h"

#include <string>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"

namespace {

class ScreenControlTest : public EngineTest {};

// Logs its release and its deletion by name.
struct Tracked : cTarvelScreenControl {
    Tracked(std::string* log, char name, bool member) : log(log), name(name) { mMember = member; }
    ~Tracked() override { *log += std::string("~") + name; }
    void ReleaseResources() override { *log += std::string("r") + name; }
    std::string* log;
    char name;
};

TEST_F(ScreenControlTest, OneDoneControlIsPoppedPerFrameAndAMemberIsOnlyReleased)
{
    std::string log;
    Tracked member(&log, 'M', true);
    member.mDone = true;
    gScreenControls.Add(&member);
    auto* below = new Tracked(&log, 'A', false);
    auto* top = new Tracked(&log, 'B', false);
    gScreenControls.Add(below);
    gScreenControls.Add(top);

    // The top is not done: nothing goes, not even the done member below.
    EXPECT_FALSE(PopDoneScreenControl());
    EXPECT_EQ(gScreenControls.Count(), 3);
    top->mDone = true;
    below->mDone = true;
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_EQ(log, "rB~B");
    EXPECT_EQ(gScreenControls.Count(), 2);
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_EQ(log, "rB~BrA~ArM");
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_FALSE(PopDoneScreenControl());

    // The member can be pushed again.
    member.mDone = false;
    gScreenControls.Add(&member);
    EXPECT_FALSE(PopDoneScreenControl());
    EXPECT_EQ(gScreenControls.Count(), 1);
    gScreenControls.Clear();
}

TEST_F(ScreenControlTest, EmptyingReleasesAndDeletesAllButMembers)
{
    std::string log;
    Tracked member(&log, 'M', true);
    gScreenControls.Add(new Tracked(&log, 'A', false));
    gScreenControls.Add(&member);
    gScreenControls.Add(new Tracked(&log, 'B', false));
    ClearScreenControls();
    EXPECT_EQ(log, "rB~BrA~A");
    EXPECT_EQ(gScreenControls.Count(), 0);
    gScreenControls.Add(&member);
    EXPECT_EQ(gScreenControls[0], &member);
    gScreenControls.Clear();
}

TEST_F(ScreenControlTest, OnlyASkipPromptOnTopIsRemovedAsOne)
{
    std::string log;
    auto* prompt = new Tracked(&log, 'P', false);
    prompt->mTypeId = cTarvelScreenControl::kCancelRequest;
    Tracked other(&log, 'O', true);
    gScreenControls.Add(prompt);
    gScreenControls.Add(&other);
    EXPECT_FALSE(RemoveSkipPrompt());
    gScreenControls.RemoveAt(1);
    EXPECT_TRUE(RemoveSkipPrompt());
    EXPECT_EQ(log, "rP~P");
    EXPECT_EQ(gScreenControls.Count(), 0);
    EXPECT_FALSE(RemoveSkipPrompt());
}

} // namespace
