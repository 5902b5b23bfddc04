// FindFirstFileA, FindNextFileA and FindClose.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/test_support.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

class FindTest : public pt::PlatformTest {
 protected:
  std::vector<WIN32_FIND_DATAA> All(const char* search) {
    std::vector<WIN32_FIND_DATAA> out;
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA(search, &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do out.push_back(d);
    while (FindNextFileA(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
    return out;
  }
};

TEST_F(FindTest, ListsDotsFirstThenNamesIgnoringCaseWithSizesTimesAndKinds) {
  pt::WriteText(work_ + "/b.txt", "12345");
  pt::WriteText(work_ + "/A.dat", "");
  pt::WriteText(work_ + "/noext", "x");
  std::filesystem::create_directories(work_ + "/Sub");
  timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};  // 2023-11-14 22:13:20 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, (work_ + "/b.txt").c_str(), times, 0), 0);

  std::vector<WIN32_FIND_DATAA> all = All("*.*");
  std::vector<std::string> names;
  for (const auto& d : all) names.push_back(d.cFileName);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.dat", "b.txt", "noext", "Sub"}));
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all[5].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(all[3].dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(all[3].nFileSizeLow, 5u);
  EXPECT_EQ(all[3].nFileSizeHigh, 0u);
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&all[3].ftCreationTime, &st));
  EXPECT_EQ(st.wYear, 2023);
  EXPECT_EQ(st.wMonth, 11);
  EXPECT_EQ(st.wDay, 14);
  EXPECT_EQ(st.wHour, 22);
  EXPECT_EQ(st.wMinute, 13);

  names.clear();
  for (const auto& d : All((work_ + "/?.TXT").c_str())) names.push_back(d.cFileName);
  EXPECT_EQ(names, std::vector<std::string>{"b.txt"});
}

TEST_F(FindTest, LargeFilesKeepTheirHighSizeAndLinksAreMarkedNotFollowed) {
  int fd = open((work_ + "/big").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 0x180000000ll), 0);  // sparse: 6 GiB
  close(fd);
  std::filesystem::create_directories(work_ + "/dir");
  ASSERT_EQ(symlink(".", (work_ + "/dir/loop").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (work_ + "/dangling").c_str()), 0);

  std::vector<WIN32_FIND_DATAA> top = All("*");
  ASSERT_EQ(top.size(), 5u);  // . .. big dangling dir
  EXPECT_STREQ(top[2].cFileName, "big");
  EXPECT_EQ(top[2].nFileSizeHigh, 1u);
  EXPECT_EQ(top[2].nFileSizeLow, 0x80000000u);
  EXPECT_STREQ(top[3].cFileName, "dangling");
  EXPECT_EQ(top[3].dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, FILE_ATTRIBUTE_REPARSE_POINT);
  std::vector<WIN32_FIND_DATAA> inner = All("dir\\*.*");
  ASSERT_EQ(inner.size(), 3u);
  EXPECT_EQ(inner[2].dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY),
            FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FindTest, FailuresNameWhatIsMissing) {
  WIN32_FIND_DATAA d;
  EXPECT_EQ(FindFirstFileA("missing\\*.*", &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA("*.none", &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FindNextFileA(reinterpret_cast<HANDLE>(uintptr_t{12345}), &d));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
