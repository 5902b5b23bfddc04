#include "animation/anim_manager.h"

#include <gtest/gtest.h>

#include "animation/actor_manager.h"
#include "animation/anim_test_support.h"
#include "animation/core/memory_manager.h"
#include "animation/event_manager.h"
#include "animation/id_generator.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"

namespace Anim {
namespace {

using testing::AnimTest;

TEST_F(AnimTest, InitializeCreatesTheSingletonsAndLogsTheInformationBlock) {
  AnimManager* manager = GetAnimManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_NE(manager->GetImporter(), nullptr);
  EXPECT_NE(manager->GetActorManager(), nullptr);
  EXPECT_NE(manager->GetIDGenerator(), nullptr);
  EXPECT_NE(manager->GetLODGenerator(), nullptr);
  EXPECT_NE(manager->GetEventManager(), nullptr);
  EXPECT_EQ(manager->GetVersionString().GetLength(), 9u);
  EXPECT_STREQ(manager->GetCompilationDate().AsChar(), "Mar 02 2007");

  const std::vector<std::string> expected = {
      "-----------------------------------------------",
      "Anim - Information",
      "-----------------------------------------------",
      "Version:          v3.1",
      "Version string:   Anim v3.1",
      "Compilation date: Mar 02 2007",
      "OpenMP supported: No",
      "-----------------------------------------------",
  };
  EXPECT_EQ(messages, expected);

  // A second start keeps the manager and logs nothing.
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(GetAnimManager(), manager);
  EXPECT_EQ(messages.size(), expected.size());
}

TEST_F(AnimTest, MemoryCategoriesAreRegisteredByName) {
  const struct {
    uint32_t id;
    const char* name;
  } cases[] = {
      {MEMCATEGORY_LOCALSPACECONTROLLER, "Anim::LocalSpaceController"},
      {MEMCATEGORY_VERTEXATTRIBUTELAYER, "Anim::VertexAttributeLayer"},
      {MEMCATEGORY_MOTIONMISC, "Anim::MotionMisc"},
      {MEMCATEGORY_NODESMISC, "Anim::NodesMisc"},
      {MEMCATEGORY_WORLDPOSE, "Anim::WorldPose"},
      {MEMCATEGORY_ANIMMANAGER, "Anim::AnimManager"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(AnimCore::MemoryManager::FindCategoryName(c.id), c.name) << c.id;
  }
}

TEST_F(AnimTest, ShutdownIsHarmlessTwiceAndWithoutStart) {
  Shutdown();
  EXPECT_EQ(GetAnimManager(), nullptr);
  EXPECT_EQ(GetImporter(), nullptr);
  Shutdown();
  EXPECT_EQ(GetStringID("x"), kInvalidIndex);
  ASSERT_TRUE(Initialize());  // TearDown shuts down again
}

TEST_F(AnimTest, LowVersionTextStripsZerosAndPoint) {
  EXPECT_STREQ(GetAnimManager()->GetLowVersionText().AsChar(), "1");
}

TEST_F(AnimTest, IDGeneratorGivesTheEmptyNameZeroAndComparesExactly) {
  EXPECT_EQ(GetStringID(""), 0u);
  EXPECT_EQ(GetStringID("Bip01"), 1u);
  EXPECT_EQ(GetStringID("bip01"), 2u);
  EXPECT_EQ(GetStringID("Bip01"), 1u);
  EXPECT_EQ(GetStringID("Bip0"), 3u);
  EXPECT_STREQ(GetStringForID(2).AsChar(), "bip01");
  EXPECT_STREQ(GetStringForID(999).AsChar(), "");
}

// Fails every allocation from the n-th on, so start-up can run out at each step.
class FailingAllocator : public AnimCore::testing::TestAllocator {
 public:
  explicit FailingAllocator(int allowed) : mAllowed(allowed) {}
  void* Allocate(uint32_t numBytes, uint32_t category, uint32_t alignment,
                 uint32_t blockID) override {
    if (mAllowed-- <= 0) return nullptr;
    return TestAllocator::Allocate(numBytes, category, alignment, blockID);
  }
  void* Realloc(void* block, uint32_t numBytes, uint32_t category, uint32_t alignment,
                uint32_t blockID) override {
    if (mAllowed-- <= 0) return nullptr;
    return TestAllocator::Realloc(block, numBytes, category, alignment, blockID);
  }

 private:
  int mAllowed;
};

TEST(AnimStartup, RunningOutOfMemoryReportsFailureAndLeavesNothingBehind) {
  // Count what a full start-up allocates, then fail at every point before that.
  ASSERT_TRUE(AnimCore::MemoryManager::SetMemoryAllocator(nullptr));
  int needed = 0;
  for (int allowed = 0; allowed < 200; ++allowed) {
    auto* allocator = new FailingAllocator(allowed);
    ASSERT_TRUE(AnimCore::MemoryManager::SetMemoryAllocator(allocator));
    const bool started = Initialize();
    if (started) {
      Shutdown();
      EXPECT_EQ(allocator->GetNumAllocations(), 0u);
      needed = allowed;
      break;
    }
    EXPECT_EQ(GetAnimManager(), nullptr) << allowed;
    EXPECT_EQ(allocator->GetNumAllocations(), 0u) << "leak after failing at " << allowed;
  }
  EXPECT_GT(needed, 6);
  ASSERT_TRUE(AnimCore::MemoryManager::SetMemoryAllocator(nullptr));
}

}  // namespace
}  // namespace Anim
