// The framework's registry class: read-only keys take no writes, values of
// another type or size read as absent, strings and integers round-trip.
#include <gtest/gtest.h>

#include "platform/forms/registry.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace forms {
namespace {

namespace pt = platform::testing;

class RegistryTest : public pt::PlatformTest {};

TEST_F(RegistryTest, ReadsWritesAndDeletesThroughTheOpenKey) {
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Maker"));
  EXPECT_EQ(reg.LastError(), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(reg.OpenKey("Software\\Maker", false));
  ASSERT_TRUE(reg.OpenKey("Software\\Maker", true));
  EXPECT_TRUE(reg.WriteInteger("Count", -2));
  EXPECT_TRUE(reg.WriteString("Path", "C:\\Game"));
  const BYTE word[2] = {1, 0};
  ASSERT_EQ(RegSetValueExA(reg.CurrentKey(), "Short", 0, REG_DWORD, word, 2), ERROR_SUCCESS);

  TRegistry readOnly;
  readOnly.RootKey = HKEY_CURRENT_USER;
  ASSERT_TRUE(readOnly.OpenKeyReadOnly("software\\maker"));
  int32_t n = 5;
  std::string s;
  EXPECT_TRUE(readOnly.ReadInteger("Count", &n));
  EXPECT_EQ(n, -2);
  EXPECT_TRUE(readOnly.ReadString("Path", &s));
  EXPECT_EQ(s, "C:\\Game");
  // Another type or a short DWORD: absent for these reads, value untouched.
  n = 5;
  EXPECT_TRUE(readOnly.ValueExists("Short"));
  EXPECT_FALSE(readOnly.ReadInteger("Short", &n));
  EXPECT_FALSE(readOnly.ReadInteger("Path", &n));
  EXPECT_EQ(readOnly.LastError(), static_cast<LONG>(ERROR_INVALID_DATA));
  EXPECT_FALSE(readOnly.ReadString("Count", &s));
  EXPECT_EQ(n, 5);
  EXPECT_FALSE(readOnly.WriteInteger("Count", 1));
  EXPECT_FALSE(readOnly.DeleteValue("Count"));
  EXPECT_EQ(readOnly.LastError(), static_cast<LONG>(ERROR_ACCESS_DENIED));

  EXPECT_TRUE(reg.DeleteValue("Count"));
  EXPECT_FALSE(readOnly.ValueExists("Count"));
  EXPECT_FALSE(reg.DeleteValue("Count"));
  pt::FailRegistryWrites(true);
  EXPECT_FALSE(reg.WriteInteger("Other", 1));
  EXPECT_EQ(reg.LastError(), static_cast<LONG>(ERROR_CANTWRITE));
  EXPECT_EQ(SysErrorMessage(reg.LastError()), "The configuration registry key could not be written.");
  pt::FailRegistryWrites(false);
}

}  // namespace
}  // namespace forms
