// RegEnumValueA and RegEnumKeyExA.
#include <string>
#include <vector>

#include "platform/win32/test_support.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

class RegistryEnumTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    pt::PlatformTest::SetUp();
    pt::WriteText(root_ + "/registry/HKEY_CURRENT_USER.reg",
                  "Windows Registry Editor Version 5.00\n\n"
                  "[HKEY_CURRENT_USER\\Software\\Maker]\n"
                  "\"Zeta\"=\"last written first\"\n"
                  "\"alpha\"=dword:ffffffff\n"
                  "\"Blob\"=hex:01,02\n\n"
                  "[HKEY_CURRENT_USER\\Software\\Maker\\beta]\n"
                  "[HKEY_CURRENT_USER\\Software\\Maker\\Alpha\\Deep]\n"
                  "[HKEY_CURRENT_USER\\Software\\Maker\\gamma]\n"
                  "[HKEY_CURRENT_USER\\Software\\Makers]\n");
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Maker", 0, KEY_READ, &key_), ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    pt::PlatformTest::TearDown();
  }
  HKEY key_ = nullptr;
};

TEST_F(RegistryEnumTest, ValuesComeInWrittenOrderWithTypeAndData) {
  std::vector<std::string> names;
  std::vector<DWORD> types;
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    BYTE data[64];
    DWORD dataSize = sizeof data;
    LONG r = RegEnumValueA(key_, i, name, &nameSize, nullptr, &type, data, &dataSize);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(r, ERROR_SUCCESS);
    EXPECT_EQ(nameSize, std::string(name).size());
    names.push_back(name);
    types.push_back(type);
    if (i == 0) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "last written first");
    }
    if (i == 1) {
      EXPECT_EQ(dataSize, 4u);
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Zeta", "alpha", "Blob"}));
  EXPECT_EQ(types, (std::vector<DWORD>{REG_SZ, REG_DWORD, REG_BINARY}));
}

TEST_F(RegistryEnumTest, ShortBuffersGiveMoreDataAndTheSizeNeeded) {
  char name[4];
  DWORD nameSize = sizeof name;  // "Zeta" needs 5 with its NUL
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  char wide[16];
  DWORD wideSize = sizeof wide;
  BYTE data[4];
  DWORD dataSize = sizeof data;
  EXPECT_EQ(RegEnumValueA(key_, 0, wide, &wideSize, nullptr, nullptr, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 19u);
  wideSize = sizeof wide;
  dataSize = 0;
  EXPECT_EQ(RegEnumValueA(key_, 0, wide, &wideSize, nullptr, nullptr, nullptr, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(dataSize, 19u);
}

TEST_F(RegistryEnumTest, SubkeysAreTheDirectChildrenInOrderIgnoringCase) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD size = sizeof name;
    LONG r = RegEnumKeyExA(key_, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(r, ERROR_SUCCESS);
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  char tiny[3];
  DWORD size = sizeof tiny;
  EXPECT_EQ(RegEnumKeyExA(key_, 0, tiny, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
}

}  // namespace
