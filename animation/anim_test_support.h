#pragma once

// Helpers of the library's tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "animation/actor.h"
#include "animation/anim_manager.h"
#include "animation/memory_categories.h"
#include "animation/node.h"
#include "animation/core/core_test_support.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"

namespace Anim::testing {

// Starts the core layer and the library for each test, captures the library log and
// checks that the test leaves no block behind once the library is shut down.
class AnimTest : public AnimCore::testing::CoreTest {
 protected:
  void SetUp() override {
    AnimCore::testing::CoreTest::SetUp();
    CaptureLog();
    ASSERT_TRUE(Anim::Initialize());
  }
  void TearDown() override {
    Anim::Shutdown();
    AnimCore::testing::CoreTest::TearDown();
  }

  bool Logged(const std::string& line) const {
    for (const std::string& message : messages) {
      if (message == line) return true;
    }
    return false;
  }
  size_t CountLogged(const std::string& line) const {
    size_t count = 0;
    for (const std::string& message : messages) count += message == line ? 1 : 0;
    return count;
  }
};

// An actor with the given nodes {name, parent index or -1}, parents listed before
// their children.
inline Actor* MakeActor(const std::vector<std::pair<const char*, int>>& nodes,
                        const char* name = "test actor") {
  Actor* actor = AnimCore::New<Actor>(MEMCATEGORY_ACTOR, name);
  for (const auto& [nodeName, parent] : nodes) {
    Node* node = AnimCore::New<Node>(MEMCATEGORY_NODE, nodeName, actor);
    if (!actor->AddNode(node)) return actor;
    if (parent < 0) {
      actor->AddRootNode(node->GetIndex());
    } else {
      node->SetParentIndex(static_cast<uint32_t>(parent));
      actor->GetNode(static_cast<uint32_t>(parent))->AddChild(node->GetIndex());
    }
  }
  return actor;
}

// The bit pattern of a float: the file writer takes vertex data as 32-bit words.
inline uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

}  // namespace Anim::testing
