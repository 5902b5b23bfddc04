#include "animation/core/memory_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "animation/core/core_test_support.h"
#include "animation/core/string.h"

namespace AnimCore {
namespace {

using testing::CoreTest;
using testing::TestAllocator;

TEST_F(CoreTest, MemoryFileTypedReadsInMemoryOrder) {
  uint8_t bytes[] = {0x41, 0x43, 0x54, 0x20,              // "ACT "
                     0x78, 0x56, 0x34, 0x12,              // u32
                     0x00, 0x00, 0x80, 0xBF,              // -1.0f
                     0xFE, 0xFF,                          // i16 -2
                     0x07,                                // u8
                     0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};  // u64
  MemoryFile file;
  EXPECT_FALSE(file.IsOpen());
  ASSERT_TRUE(file.Open(bytes, sizeof(bytes)));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_FALSE(file.IsOwner());
  EXPECT_EQ(file.GetFileSize(), sizeof(bytes));

  char magic[4];
  ASSERT_EQ(file.Read(magic, 4), 4u);
  EXPECT_EQ(std::memcmp(magic, "ACT ", 4), 0);
  uint32_t u32 = 0;
  float f = 0;
  int16_t i16 = 0;
  uint8_t u8 = 0;
  uint64_t u64 = 0;
  file >> u32 >> f >> i16 >> u8 >> u64;
  EXPECT_EQ(u32, 0x12345678u);
  EXPECT_EQ(f, -1.0f);
  EXPECT_EQ(i16, -2);
  EXPECT_EQ(u8, 7);
  EXPECT_EQ(u64, 0x0807060504030201ull);
  EXPECT_TRUE(file.IsEOF());
}

TEST_F(CoreTest, MemoryFilePositioningAtTheEnd) {
  uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  MemoryFile file;
  file.Open(bytes, 8);
  uint8_t out[8];
  EXPECT_EQ(file.Read(out, 8), 8u);
  EXPECT_EQ(file.GetPos(), 8u);
  EXPECT_TRUE(file.IsEOF());
  EXPECT_FALSE(file.Forward(1));  // a failed skip is reported, nothing moves
  EXPECT_EQ(file.GetPos(), 8u);
  EXPECT_TRUE(file.Seek(8));
  EXPECT_FALSE(file.Seek(9));
  EXPECT_EQ(file.GetPos(), 8u);
  EXPECT_TRUE(file.Seek(6));
  EXPECT_FALSE(file.Forward(0xFFFFFFFFu));  // no wrap-around
  EXPECT_TRUE(file.Forward(2));
  EXPECT_EQ(file.GetNextByte(), 0);  // at the end: nothing read, no move
  EXPECT_EQ(file.GetPos(), 8u);
  file.Seek(7);
  EXPECT_EQ(file.GetNextByte(), 8);
}

TEST_F(CoreTest, MemoryFileReadPastTheEndCopiesWhatExists) {
  uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
  MemoryFile file;
  file.Open(bytes, 6);
  file.Seek(4);
  uint8_t out[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(file.Read(out, 8), 2u);  // a truncated file shows as a short read
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[1], 6);
  EXPECT_EQ(out[2], 0xAA);
  EXPECT_EQ(file.GetPos(), 6u);
  EXPECT_EQ(file.Read(out, 4), 0u);

  uint32_t value = 0xDEADBEEF;
  file.Seek(5);
  file >> value;  // only one byte exists; the rest of the value is left alone
  EXPECT_EQ(value, 0xDEADBE06u);
}

TEST_F(CoreTest, MemoryFileReadsStrings) {
  uint8_t bytes[] = {0x41, 0x42, 0x00, 0x43};
  MemoryFile file;
  file.Open(bytes, sizeof(bytes));
  String text("x");
  file >> text;
  EXPECT_STREQ(text.AsChar(), "xAB");  // appended, not cleared
  EXPECT_EQ(file.GetPos(), 3u);
  // Without a terminator the read stops at the end of the block.
  String rest;
  file >> rest;
  EXPECT_STREQ(rest.AsChar(), "C");
  EXPECT_TRUE(file.IsEOF());
}

TEST_F(CoreTest, BaseStreamTransfersNothing) {
  Stream stream;
  uint32_t value = 5;
  EXPECT_EQ(stream.Read(&value, 4), 0u);
  EXPECT_EQ(stream.Write(&value, 4), 0u);
  String text;
  stream >> text;  // ends at once: nothing can be read
  EXPECT_EQ(text.GetData(), nullptr);
  EXPECT_EQ(value, 5u);
}

TEST_F(CoreTest, MemoryFileNeverFreesACallersBlock) {
  std::vector<uint8_t> block(16, 0x11);
  const uint32_t live = MemoryManager::GetMemoryAllocator()->GetNumAllocations();
  {
    MemoryFile file;
    file.Open(block.data(), 16);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.GetFileSize(), 0u);
    file.Open(block.data(), 16);
    // Writing in place stops at the end of a block the file does not own.
    const uint8_t data[20] = {};
    file.Seek(10);
    EXPECT_EQ(file.Write(data, 20), 6u);
    EXPECT_EQ(file.GetFileSize(), 16u);
  }
  EXPECT_EQ(block[9], 0x11);
  EXPECT_EQ(block[10], 0x00);
  EXPECT_EQ(MemoryManager::GetMemoryAllocator()->GetNumAllocations(), live);
}

TEST_F(CoreTest, OwnedMemoryFileGrowsAsItIsWritten) {
  MemoryFile file;
  file.Open(nullptr, 0);
  EXPECT_TRUE(file.IsOwner());
  EXPECT_FALSE(file.IsOpen());
  const std::vector<uint8_t> ten(10, 1);
  ASSERT_EQ(file.Write(ten.data(), 10), 10u);
  EXPECT_EQ(file.GetLength(), 1034u);  // 0 + 1024 + offset 0 + 10
  const std::vector<uint8_t> big(2000, 2);
  ASSERT_EQ(file.Write(big.data(), 2000), 2000u);
  EXPECT_EQ(file.GetLength(), 4068u);  // 1034 + 1024 + offset 10 + 2000
  EXPECT_EQ(file.GetFileSize(), 2010u);

  file << "ab" << String("cd") << String() << uint16_t{0x0102};
  EXPECT_EQ(file.GetFileSize(), 2010u + 3 + 3 + 1 + 2);
  const uint8_t* start = file.GetMemoryStart();
  EXPECT_EQ(std::memcmp(start + 2010, "ab\0cd\0\0\x02\x01", 9), 0);
  EXPECT_EQ(start[9], 1);
  EXPECT_EQ(start[10], 2);

  // The file size is where the last write ended, also before the old end.
  MemoryFile owned;
  owned.Open(nullptr, 100);
  EXPECT_EQ(owned.GetFileSize(), 100u);
  owned.Seek(0);
  const uint8_t two[2] = {9, 9};
  owned.Write(two, 2);
  EXPECT_EQ(owned.GetFileSize(), 2u);
  EXPECT_TRUE(owned.WriteByte(3));
  EXPECT_EQ(owned.GetFileSize(), 3u);
}

TEST_F(CoreTest, OwnedMemoryFileKeepsItsBlockWhenGrowthFails) {
  ASSERT_TRUE(MemoryManager::SetMemoryAllocator(new TestAllocator()));
  auto* allocator = static_cast<TestAllocator*>(MemoryManager::GetMemoryAllocator());
  {
    MemoryFile file;
    file.Open(nullptr, 4);
    EXPECT_EQ(allocator->lastCategory, static_cast<uint32_t>(MEMCATEGORY_MEMORYFILE));
    allocator->failAll = true;
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(file.Write(data, 6), 4u);  // what fits
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetFileSize(), 4u);
    EXPECT_EQ(file.GetMemoryStart()[3], 4);
    allocator->failAll = false;
  }
  EXPECT_EQ(allocator->GetNumAllocations(), 0u);  // Close gave the owned block back
  ASSERT_TRUE(MemoryManager::SetMemoryAllocator(nullptr));
}

}  // namespace
}  // namespace AnimCore
