#include "platform/bink/bink.h"

#include <gtest/gtest.h>

#include "platform/bink/testing.h"

namespace {

BINKSNDOPEN Refuse(UINT_PTR) { return nullptr; }

TEST(BinkSound, TheChosenOutputIsKept) {
  platform::testing::ResetBink();
  int device = 0;
  EXPECT_EQ(BinkSetSoundSystem(nullptr, 1), 0);
  EXPECT_EQ(BinkSetSoundSystem(Refuse, 1), 0);
  EXPECT_FALSE(platform::testing::BinkSoundSystemSet());
  ASSERT_EQ(BinkSetSoundSystem(BinkOpenDirectSound, reinterpret_cast<UINT_PTR>(&device)), 1);
  EXPECT_TRUE(platform::testing::BinkSoundSystemSet());
  EXPECT_EQ(platform::testing::BinkSoundOutput(), reinterpret_cast<UINT_PTR>(&device));
  platform::testing::ResetBink();
}

}  // namespace
