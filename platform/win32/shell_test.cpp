// Opening programs and addresses, and the language names.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

namespace pt = platform::testing;

class ShellTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::ClearShellStarts();
    pt::SetSetting("shell.record", "1");
  }
  void TearDown() override {
    pt::ClearShellStarts();
    pt::Reset();
    PlatformTest::TearDown();
  }
  // A program that writes its working folder and arguments beside itself.
  void Program(const std::string& path) {
    pt::WriteText(path, "#!/bin/sh\n{ pwd; echo \"$@\"; } > \"$(dirname \"$0\")/ran\"\n");
    chmod(path.c_str(), 0755);
  }
  static INT_PTR Open(const char* file, const char* parameters = nullptr, const char* folder = nullptr,
                      const char* verb = "open") {
    return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, verb, file, parameters, folder, SW_SHOWNORMAL));
  }
};

TEST_F(ShellTest, RecordsProgramsFoundWithOrWithoutTheirExtension) {
  Program(root_ + "/drives/c/Game/game");
  pt::WriteText(root_ + "/drives/c/Game/readme.txt", "text");
  EXPECT_GT(Open("C:\\Game\\game.exe", "n", "C:\\Game\\"), 32);
  EXPECT_GT(Open("http://www.example.com/"), 32);
  EXPECT_GT(Open("C:\\Game\\readme.txt"), 32);
  EXPECT_EQ(Open("C:\\Game\\other.exe"), SE_ERR_FNF);
  EXPECT_EQ(Open("C:\\Game"), SE_ERR_FNF);  // a folder is no program
  EXPECT_EQ(Open("C:\\Game\\game.exe", nullptr, nullptr, "print"), SE_ERR_NOASSOC);
  const auto starts = pt::ShellStarts();
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[0].verb, "open");
  EXPECT_EQ(starts[0].file, "C:\\Game\\game.exe");
  EXPECT_EQ(starts[0].parameters, "n");
  EXPECT_EQ(starts[0].directory, "C:\\Game\\");
  EXPECT_EQ(starts[0].pid, 0);  // recorded, not started
  EXPECT_EQ(starts[1].file, "http://www.example.com/");
  EXPECT_FALSE(std::filesystem::exists(root_ + "/drives/c/Game/ran"));
  EXPECT_EQ(pt::ReadText(root_ + "/shell.log"),
            "open\tC:\\Game\\game.exe\tn\tC:\\Game\\\t0\n"
            "open\thttp://www.example.com/\t\t\t0\n"
            "open\tC:\\Game\\readme.txt\t\t\t0\n");
}

TEST_F(ShellTest, StartsAProgramInItsWorkingFolderWhenAsked) {
  pt::SetSetting("shell.start", "1");
  Program(root_ + "/drives/c/Game/game");
  std::filesystem::create_directories(root_ + "/drives/d/Work");
  EXPECT_GT(Open("C:\\Game\\game.exe", "n \"two words\"", "D:\\Work"), 32);
  const auto starts = pt::ShellStarts();
  ASSERT_EQ(starts.size(), 1u);
  ASSERT_GT(starts[0].pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(starts[0].pid, &status, 0), starts[0].pid);
  EXPECT_EQ(pt::ReadText(root_ + "/drives/c/Game/ran"),
            std::filesystem::canonical(root_ + "/drives/d/Work").string() + "\nn two words\n");
}

TEST_F(ShellTest, LanguageNamesOfThePrimaryLanguages) {
  char name[64] = {};
  EXPECT_EQ(GetLocaleInfoA(7, LOCALE_SLANGUAGE, name, sizeof name), 17);
  EXPECT_STREQ(name, "German (Germany)");
  EXPECT_EQ(GetLocaleInfoA(0x0407, LOCALE_SLANGUAGE, name, sizeof name), 17);
  EXPECT_EQ(GetLocaleInfoA(9, LOCALE_SLANGUAGE, nullptr, 0), 24);  // "English (United States)"
  GetLocaleInfoA(31, LOCALE_SLANGUAGE, name, sizeof name);
  EXPECT_STREQ(name, "Turkish (Turkey)");
  EXPECT_EQ(GetLocaleInfoA(7, LOCALE_SLANGUAGE, name, 5), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(GetLocaleInfoA(32, LOCALE_SLANGUAGE, name, sizeof name), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetLocaleInfoA(7, 0x3, name, sizeof name), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
}

}  // namespace
