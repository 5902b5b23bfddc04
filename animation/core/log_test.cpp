#include "animation/core/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/core/core_test_support.h"

namespace AnimCore {
namespace {

using testing::CapturedLog;
using testing::CoreTest;

TEST_F(CoreTest, LogFormatsForEveryReceiverInOrder) {
  std::vector<std::string> second;
  CaptureLog();
  LogManager::AddLogCallback(New<CapturedLog>(MEMCATEGORY_LOGFILECALLBACK, &second));
  EXPECT_EQ(LogManager::GetNumLogCallbacks(), 2u);
  Log("Importer::ProcessChunk() - Unknown chunk (ID=%d  Size=%d bytes), skipping...", 77, 12);
  const std::string expected =
      "Importer::ProcessChunk() - Unknown chunk (ID=77  Size=12 bytes), skipping...";
  EXPECT_EQ(messages, std::vector<std::string>{expected});
  EXPECT_EQ(second, std::vector<std::string>{expected});
}

TEST_F(CoreTest, LogWithoutReceiverFormatsNothing) {
  ASSERT_EQ(LogManager::GetNumLogCallbacks(), 0u);
  const uint32_t live = MemoryManager::GetMemoryAllocator()->GetNumAllocations();
  // %n would write through the pointer if the message were formatted.
  int written = -1;
  Log("abc%n", &written);
  EXPECT_EQ(written, -1);
  EXPECT_EQ(MemoryManager::GetMemoryAllocator()->GetNumAllocations(), live);
}

TEST_F(CoreTest, LongLogMessagesAreCut) {
  CaptureLog();
  const std::string text(10000, 'z');
  Log("%s", text.c_str());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], text.substr(0, kLogWorkingSize - 1));
}

TEST_F(CoreTest, RemovedReceiverGetsNothingMore) {
  std::vector<std::string> other;
  auto* receiver = New<CapturedLog>(MEMCATEGORY_LOGFILECALLBACK, &other);
  ASSERT_TRUE(LogManager::AddLogCallback(receiver));
  Log("one");
  EXPECT_TRUE(LogManager::RemoveLogCallback(receiver));
  EXPECT_FALSE(LogManager::RemoveLogCallback(receiver));
  Log("two");
  EXPECT_EQ(other, std::vector<std::string>{"one"});
}

}  // namespace
}  // namespace AnimCore
