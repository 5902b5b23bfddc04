#pragma once

// Helpers of the core layer's tests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/core/string.h"

namespace AnimCore::testing {

// Heap allocator that counts like the standard one and can be told to fail, for
// every request or for one category's.
class TestAllocator : public MemoryAllocator {
 public:
  uint32_t GetType() const override { return 100; }
  const char* GetTypeString() const override { return "TestAllocator"; }
  void* Allocate(uint32_t numBytes, uint32_t categoryID, uint32_t, uint32_t) override {
    lastCategory = categoryID;
    if (!Admit(numBytes, categoryID)) return nullptr;
    void* block = std::malloc(numBytes != 0 ? numBytes : 1);
    if (block != nullptr) ++mNumAllocations;
    return block;
  }
  void* Realloc(void* block, uint32_t numBytes, uint32_t categoryID, uint32_t,
                uint32_t blockID) override {
    lastCategory = categoryID;
    lastBlockID = blockID;
    if (!Admit(numBytes, categoryID)) return nullptr;
    void* result = std::realloc(block, numBytes != 0 ? numBytes : 1);
    if (block == nullptr && result != nullptr) ++mNumAllocations;
    return result;
  }
  void Free(void* block) override {
    if (block == nullptr) return;
    --mNumAllocations;
    std::free(block);
  }
  void GetCategoryStats(CategoryStats& stats, uint32_t categoryID) const override {
    stats = CategoryStats{};
    if (categoryID == 2) stats = {0, 3, 3000, 1000};
    if (categoryID == 1) stats = {0, 1, 2048, 2048};
  }

  bool failAll = false;
  uint32_t failCategory = 0xFFFFFFFFu;
  uint32_t refuseAbove = 0xFFFFFFFFu;  // bytes
  uint32_t largestRequest = 0;          // bytes, refused requests included
  uint32_t watchedCategory = 0xFFFFFFFFu;
  uint32_t watchedRequests = 0;  // allocations and reallocations of watchedCategory
  uint32_t lastCategory = 0;
  uint32_t lastBlockID = 0;

 private:
  bool Admit(uint32_t numBytes, uint32_t categoryID) {
    if (numBytes > largestRequest) largestRequest = numBytes;
    if (categoryID == watchedCategory) ++watchedRequests;
    return !failAll && categoryID != failCategory && numBytes <= refuseAbove;
  }
};

// Collects the messages of the library log.
class CapturedLog : public LogCallback {
 public:
  explicit CapturedLog(std::vector<std::string>* sink) : mSink(sink) {}
  void Log(const String& message) override { mSink->emplace_back(message.AsChar()); }

 private:
  std::vector<std::string>* mSink;
};

// Installs the standard allocator (or the fixture's own) and checks that a test
// leaves no block behind.
class CoreTest : public ::testing::Test {
 protected:
  // Null: the standard allocator. The manager takes ownership.
  virtual MemoryAllocator* NewAllocator() { return nullptr; }
  void SetUp() override {
    ASSERT_TRUE(MemoryManager::SetMemoryAllocator(NewAllocator()));
    mLiveAtStart = MemoryManager::GetMemoryAllocator()->GetNumAllocations();
  }
  void TearDown() override {
    LogManager::ClearLogCallbacks();
    EXPECT_EQ(MemoryManager::GetMemoryAllocator()->GetNumAllocations(), mLiveAtStart)
        << "blocks leaked by the test";
  }
  // Starts capturing the library log into messages.
  void CaptureLog() {
    LogManager::AddLogCallback(New<CapturedLog>(MEMCATEGORY_LOGFILECALLBACK, &messages));
  }

  std::vector<std::string> messages;
  uint32_t mLiveAtStart = 0;
};

}  // namespace AnimCore::testing
