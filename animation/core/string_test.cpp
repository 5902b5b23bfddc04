#include "animation/core/string.h"

#include <gtest/gtest.h>

#include <string>

#include "animation/core/core_test_support.h"

namespace AnimCore {
namespace {

using testing::CoreTest;
using testing::TestAllocator;

TEST_F(CoreTest, StringWithoutBufferEqualsNoText) {
  String none;
  EXPECT_EQ(none.GetData(), nullptr);
  EXPECT_STREQ(none.AsChar(), "");
  for (const char* text : {"", "a"}) {
    EXPECT_FALSE(none.IsEqual(text)) << text;
    EXPECT_FALSE(none.IsEqualNoCase(text)) << text;
  }
  const String empty("");
  ASSERT_NE(empty.GetData(), nullptr);
  EXPECT_TRUE(empty.IsEqual(""));
  EXPECT_FALSE(none.IsEqual(empty));
}

TEST_F(CoreTest, StringComparisons) {
  struct Case {
    const char* text;
    bool equal;
    bool equalNoCase;
  };
  const String name("Bip01");
  const Case cases[] = {
      {"Bip01", true, true},   {"bip01", false, true}, {"BIP01", false, true},
      {"Bip0", false, false},  {"Bip012", false, false}, {"Bip02", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(name.IsEqual(c.text), c.equal) << c.text;
    EXPECT_EQ(name.IsEqualNoCase(c.text), c.equalNoCase) << c.text;
  }
  EXPECT_FALSE(name.IsEqual(nullptr));
  // Bytes beyond ASCII letters compare exactly.
  EXPECT_FALSE(String("\xC4").IsEqualNoCase("\xE4"));
  EXPECT_TRUE(String("x_[1]").IsEqualNoCase("X_[1]"));
}

TEST_F(CoreTest, StringResizeAppendAndAssignCapacities) {
  String s;
  s.Resize(3, 5);
  EXPECT_EQ(s.GetLength(), 3u);
  EXPECT_EQ(s.GetMaxLength(), 8u);
  s.Assign("abc");
  EXPECT_EQ(s.GetMaxLength(), 3u);  // assign allocates exactly
  s.Append("de", 2);
  EXPECT_EQ(s.GetMaxLength(), 5u);  // append grows to exactly the new length
  EXPECT_STREQ(s.AsChar(), "abcde");
  s.Resize(2);
  EXPECT_EQ(s.GetMaxLength(), 5u);
  s.Append("xy");
  EXPECT_EQ(s.GetMaxLength(), 5u);  // fits: no reallocation
  EXPECT_STREQ(s.AsChar(), "abxy");
  s.Append(s);  // from its own buffer
  EXPECT_STREQ(s.AsChar(), "abxyabxy");
  s.Assign(s.GetData() + 2, 3);  // from its own buffer
  EXPECT_STREQ(s.AsChar(), "xya");
  s.Assign(nullptr);
  EXPECT_EQ(s.GetData(), nullptr);
  EXPECT_EQ(s.GetLength(), 0u);
  EXPECT_EQ(s.GetMaxLength(), 0u);
}

TEST_F(CoreTest, StringPadAndTrim) {
  struct Case {
    const char* text;
    char op;  // 'L' TrimLeft, 'R' TrimRight, 'T' Trim, 'P' PadRight to 6
    char character;
    const char* expected;
  };
  const Case cases[] = {
      {"   ", 'L', ' ', ""},      {"abxx", 'R', 'x', "ab"},   {"xxab", 'L', 'x', "ab"},
      {"xxx", 'R', 'x', ""},      {"-a-b-", 'T', '-', "a-b"}, {"ab", 'T', 'x', "ab"},
      {"ab", 'P', '.', "ab...."}, {"abcdefg", 'P', '.', "abcdefg"},
  };
  for (const Case& c : cases) {
    String s(c.text);
    switch (c.op) {
      case 'L': s.TrimLeft(c.character); break;
      case 'R': s.TrimRight(c.character); break;
      case 'T': s.Trim(c.character); break;
      default: s.PadRight(6, c.character); break;
    }
    EXPECT_STREQ(s.AsChar(), c.expected) << c.text << " " << c.op;
    EXPECT_EQ(s.GetLength(), std::string(c.expected).size()) << c.text << " " << c.op;
    EXPECT_NE(s.GetData(), nullptr) << "trimming keeps the buffer";
  }
  String padded("AnimCore::Array");
  padded.PadRight(38, ' ');
  EXPECT_EQ(std::string(padded.AsChar()), "AnimCore::Array" + std::string(23, ' '));
  String none;
  none.TrimLeft(' ').TrimRight(' ');
  EXPECT_EQ(none.GetData(), nullptr);
}

TEST_F(CoreTest, StringFormat) {
  String s;
  s.Format("Version:          v%d.%s", 3, "1");
  EXPECT_STREQ(s.AsChar(), "Version:          v3.1");
  EXPECT_EQ(s.GetLength(), 22u);
  EXPECT_EQ(s.GetMaxLength(), 2048u);  // the working size stays

  // Longer output is cut at the working size, within the buffer.
  const std::string long_text(5000, 'q');
  s.Format("%s!", long_text.c_str());
  EXPECT_EQ(s.GetLength(), 2048u);
  EXPECT_EQ(std::string(s.AsChar()), long_text.substr(0, 2048));

  // A larger capacity is used as it is.
  String big;
  big.Resize(0, 3000);
  big.Format("%s", long_text.c_str());
  EXPECT_EQ(big.GetLength(), 3000u);
}

TEST_F(CoreTest, FailedStringAllocationLeavesAnEmptyString) {
  ASSERT_TRUE(MemoryManager::SetMemoryAllocator(new TestAllocator()));
  auto* allocator = static_cast<TestAllocator*>(MemoryManager::GetMemoryAllocator());
  {
    String s("abc");
    allocator->failAll = true;
    s.Append("defgh");
    EXPECT_EQ(s.GetData(), nullptr);
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_EQ(s.GetMaxLength(), 0u);
    EXPECT_STREQ(s.AsChar(), "");
    s.Format("%d", 12345);
    EXPECT_EQ(s.GetLength(), 0u);
    const String t("xyz");
    EXPECT_EQ(t.GetData(), nullptr);
    EXPECT_EQ(t.GetLength(), 0u);
    allocator->failAll = false;
    EXPECT_EQ(allocator->GetNumAllocations(), 0u);  // the old buffer was given back
  }
  ASSERT_TRUE(MemoryManager::SetMemoryAllocator(nullptr));
}

}  // namespace
}  // namespace AnimCore
