#include <SDL2/SDL.h>
#include <png.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>
#include <algorithm>

#include "platform/win32/crt.h"
#include "platform/win32/path.h"
#include "platform/win32/present.h"
#include "platform/win32/screenshots.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace {

class Win32Test : public pt::PlatformTest {};

// ---- Registry -------------------------------------------------------------------

DWORD QueryDword(HKEY key, const char* name, LONG* status) {
  DWORD value = 0;
  DWORD size = sizeof value;
  *status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  return value;
}

TEST_F(Win32Test, RegistryRoundTripsThroughTheHiveFile) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
  DWORD screen = 0x7F;
  const char text[] = "C:\\Games\\\"quoted\"";
  const BYTE blob[] = {0x01, 0xAB, 0x00, 0xFF, 0x10};
  ASSERT_EQ(RegSetValueExA(key, "ScreenRes", 0, REG_DWORD, reinterpret_cast<BYTE*>(&screen), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  std::string file = pt::ReadText(root_ + "/registry/HKEY_CURRENT_USER.reg");
  EXPECT_EQ(file,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER]\n\n"
            "[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Brindlewerk]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Brindlewerk\\Kestrelmoor]\n"
            "\"ScreenRes\"=dword:0000007f\n"
            "\"Path\"=\"C:\\\\Games\\\\\\\"quoted\\\"\"\n"
            "\"Blob\"=hex:01,ab,00,ff,10\n");
  // No temporary file is left beside the hive.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_ + "/registry"),
                          std::filesystem::directory_iterator()),
            1);

  // A fresh process view: everything comes back from the file, names
  // ignoring case.
  pt::SetPlatformRoot(root_);
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "software\\BRINDLEWERK\\kestrelmoor", &key), ERROR_SUCCESS);
  LONG status;
  EXPECT_EQ(QueryDword(key, "screenres", &status), 0x7Fu);
  EXPECT_EQ(status, ERROR_SUCCESS);
  char read[64];
  DWORD type = 0;
  DWORD size = sizeof read;
  ASSERT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(read), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, sizeof text);
  EXPECT_STREQ(read, text);
  BYTE blobRead[8];
  size = sizeof blobRead;
  ASSERT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, blobRead, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(std::memcmp(blobRead, blob, sizeof blob), 0);
  RegCloseKey(key);
}

TEST_F(Win32Test, RegistryQueryTooLongLeavesTheBufferAndGivesTheSize) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Test", &key), ERROR_SUCCESS);
  const BYTE five[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(RegSetValueExA(key, "Long", 0, REG_BINARY, five, 5), ERROR_SUCCESS);

  BYTE buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, nullptr, buffer, &size), static_cast<LONG>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 5u);
  for (BYTE b : buffer) EXPECT_EQ(b, 0xAA);

  // Null data only asks for the size.
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);

  LONG status;
  QueryDword(key, "Missing", &status);
  EXPECT_EQ(status, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegDeleteValueA(key, "Long"), ERROR_SUCCESS);
  QueryDword(key, "Long", &status);
  EXPECT_EQ(status, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  RegCloseKey(key);

  HKEY missing;
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Nothing", &missing), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x12345)), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), static_cast<LONG>(ERROR_INVALID_HANDLE));
}

TEST_F(Win32Test, RegistryRereadsAFileAnotherProcessChanged) {
  std::string path = root_ + "/registry/HKEY_LOCAL_MACHINE.reg";
  pt::WriteText(path, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"A\"=dword:00000001\r\n");
  HKEY key;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\X", &key), ERROR_SUCCESS);
  LONG status;
  EXPECT_EQ(QueryDword(key, "A", &status), 1u);
  // Replaced as our own writer does it: a new file renamed over the old.
  pt::WriteText(path + ".new", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\X]\n\"A\"=dword:00000002\n");
  std::filesystem::rename(path + ".new", path);
  EXPECT_EQ(QueryDword(key, "A", &status), 2u);
  EXPECT_EQ(status, ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(Win32Test, RegistryFileWithBadLinesKeepsTheGoodOnes) {
  pt::WriteText(root_ + "/registry/HKEY_CURRENT_USER.reg",
                "Windows Registry Editor Version 5.00\n"
                "\"Orphan\"=dword:00000001\n"
                "[HKEY_CURRENT_USER\\K]\n"
                "\"TooLong\"=dword:000000001\n"
                "\"BadHex\"=hex:0g,01\n"
                "\"Odd\"=hex:0\n"
                "\"NoQuote=\"x\"\n"
                "\"Unclosed\"=\"abc\n"
                "\"Type\"=hex(ffffffffff):00\n"
                "garbage\n"
                "[HKEY_LOCAL_MACHINE\\Other]\n"
                "\"Wrong\"=dword:00000003\n"
                "[HKEY_CURRENT_USER\\K]\n"
                "\"Good\"=dword:0000002a\n"
                "\"Split\"=hex:01,02,\\\n"
                "  03\n"
                "@=\"default\"\n");
  HKEY key;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "K", &key), ERROR_SUCCESS);
  LONG status;
  EXPECT_EQ(QueryDword(key, "Good", &status), 42u);
  for (const char* bad : {"TooLong", "BadHex", "Odd", "NoQuote", "Unclosed", "Type", "Wrong", "Orphan"}) {
    QueryDword(key, bad, &status);
    EXPECT_EQ(status, static_cast<LONG>(ERROR_FILE_NOT_FOUND)) << bad;
  }
  BYTE split[4];
  DWORD size = sizeof split;
  ASSERT_EQ(RegQueryValueExA(key, "Split", nullptr, nullptr, split, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(split[2], 3);
  char def[16];
  size = sizeof def;
  ASSERT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(def), &size), ERROR_SUCCESS);
  EXPECT_STREQ(def, "default");
  RegCloseKey(key);
}

TEST_F(Win32Test, RewritingAFileWithBadLinesKeepsItsFirstTextBeside) {
  const std::string path = root_ + "/registry/HKEY_CURRENT_USER.reg";
  const std::string first = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"A\"=dword:1x\n";
  pt::WriteText(path, first);
  HKEY key;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "K", &key), ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_FALSE(std::filesystem::exists(path + ".damaged"));  // reading alone keeps nothing
  ASSERT_EQ(RegSetValueExA(key, "B", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  EXPECT_EQ(pt::ReadText(path + ".damaged"), first);
  EXPECT_EQ(pt::ReadText(path).find("dword:1x"), std::string::npos);
  // A clean file is rewritten without a copy; a later damage keeps the first one.
  ASSERT_EQ(RegSetValueExA(key, "C", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  RegCloseKey(key);
  pt::WriteText(path, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\nlater damage\n");
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "K", &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "D", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  EXPECT_EQ(pt::ReadText(path + ".damaged"), first);
  RegCloseKey(key);
}

TEST_F(Win32Test, FailedRegistryWritesChangeNothing) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "K", &key), ERROR_SUCCESS);
  DWORD v = 7;
  ASSERT_EQ(RegSetValueExA(key, "A", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  const std::string before = pt::ReadText(root_ + "/registry/HKEY_CURRENT_USER.reg");
  pt::FailRegistryWrites(true);
  DWORD w = 9;
  EXPECT_EQ(RegSetValueExA(key, "A", 0, REG_DWORD, reinterpret_cast<BYTE*>(&w), 4), static_cast<LONG>(ERROR_CANTWRITE));
  EXPECT_EQ(RegDeleteValueA(key, "A"), static_cast<LONG>(ERROR_CANTWRITE));
  HKEY sub;
  EXPECT_EQ(RegCreateKeyA(key, "Sub", &sub), static_cast<LONG>(ERROR_CANTWRITE));
  LONG status;
  EXPECT_EQ(QueryDword(key, "A", &status), 7u);  // what the disk holds
  pt::FailRegistryWrites(false);
  EXPECT_EQ(pt::ReadText(root_ + "/registry/HKEY_CURRENT_USER.reg"), before);
  RegCloseKey(key);
}

// ---- Paths --------------------------------------------------------------------------

TEST_F(Win32Test, PathsMapDrivesAndFindNamesIgnoringCase) {
  std::filesystem::create_directories(root_ + "/drives/c/Game/Data");
  pt::WriteText(root_ + "/drives/c/Game/Data/Main.PAK", "x");
  struct Case {
    const char* windows;
    std::string linux;
  } cases[] = {
      {"C:\\Users\\Player\\Documents", root_ + "/drives/c/Users/Player/Documents"},
      {"d:\\x\\", root_ + "/drives/d/x/"},
      {"C:\\GAME\\data\\main.pak", root_ + "/drives/c/Game/Data/Main.PAK"},
      {"C:\\game\\missing\\MAIN.PAK", root_ + "/drives/c/Game/missing/MAIN.PAK"},
      {"Z:\\tmp\\a b", "/tmp/a b"},
      {"z:/", "/"},
      {"\\etc\\hostname", "/etc/hostname"},
      {"save\\slot1.sav", "save/slot1.sav"},
      {"C:\\caf\xE9.txt", root_ + "/drives/c/caf\xC3\xA9.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::MapPath(c.windows), c.linux) << c.windows;

  EXPECT_EQ(platform::ShowPath("/home/p/x"), "Z:\\home\\p\\x");
  EXPECT_EQ(platform::ShowPath("rel"), platform::ShowPath(work_ + "/rel"));
  EXPECT_EQ(platform::ShowPath("/caf\xC3\xA9"), "Z:\\caf\xE9");

  char cwd[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
  std::string expected = platform::ShowPath(work_);
  EXPECT_EQ(std::string(cwd), expected);
  EXPECT_EQ(n, expected.size());
  EXPECT_EQ(GetCurrentDirectoryA(3, cwd), expected.size() + 1);  // too small: the size needed
}

// ---- C runtime -------------------------------------------------------------------------

TEST(CrtTest, RandFollowsTheRuntimeGenerator) {
  crt::srand(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
  for (int e : expected) EXPECT_EQ(crt::rand(), e);
  // Worked by hand: seed 0 -> state 2531011, value 2531011 >> 16 = 38.
  crt::srand(0);
  EXPECT_EQ(crt::rand(), 38);
}

TEST(CrtTest, GcvtPrintsAsTheRuntime) {
  struct Case {
    double value;
    int digits;
    const char* text;
  } cases[] = {
      {1.0, 6, "1."},           {0.0, 6, "0."},
      {1.5, 6, "1.5"},          {-2.25, 6, "-2.25"},
      {0.5, 6, "0.5"},          {0.1, 6, "0.1"},
      {1.0 / 3.0, 6, "0.333333"}, {3.14159265358979, 6, "3.14159"},
      {123456.0, 6, "123456."}, {1234567.0, 6, "1.23457e+006"},
      {0.05, 6, "5.e-002"},     {0.001234, 6, "1.234e-003"},
      {1e20, 6, "1.e+020"},     {-1.5e-10, 6, "-1.5e-010"},
      {100000.5, 6, "100001."},  // a tie rounds up, not to even
      {999999.5, 6, "1000000."},  // the format is chosen before rounding
      {2.5, 1, "3."},           {12.0, 1, "1.e+001"},
      {1e300, 6, "1.e+300"},
  };
  for (const Case& c : cases) {
    char buffer[64];
    EXPECT_STREQ(crt::_gcvt(c.value, c.digits, buffer), c.text) << c.value;
  }
  char buffer[64];
  EXPECT_STREQ(crt::_gcvt(HUGE_VAL, 6, buffer), "1.#INF");
  EXPECT_STREQ(crt::_gcvt(-HUGE_VAL, 6, buffer), "-1.#INF");
}

TEST_F(Win32Test, FindFirstListsDotsAndMatchesPatternsIgnoringCase) {
  std::filesystem::create_directories(work_ + "/data/Sub");
  pt::WriteText(work_ + "/data/A.pak", "12345");
  pt::WriteText(work_ + "/data/b.PAK", "");
  pt::WriteText(work_ + "/data/c.txt", "");
  auto list = [](const char* search) {
    std::vector<std::string> names;
    crt::_finddata_t data;
    intptr_t h = crt::_findfirst(search, &data);
    if (h == -1) return names;
    do {
      names.push_back(data.name);
    } while (crt::_findnext(h, &data) == 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(crt::_findclose(h), 0);
    return names;
  };
  EXPECT_EQ(list("DATA\\*"), (std::vector<std::string>{".", "..", "A.pak", "b.PAK", "c.txt", "Sub"}));
  EXPECT_EQ(list("data\\*.*"), (std::vector<std::string>{".", "..", "A.pak", "b.PAK", "c.txt", "Sub"}));
  EXPECT_EQ(list("data\\*.pak"), (std::vector<std::string>{"A.pak", "b.PAK"}));
  EXPECT_EQ(list("data\\?.TXT"), (std::vector<std::string>{"c.txt"}));
  EXPECT_TRUE(list("data\\*.bin").empty());
  EXPECT_TRUE(list("nowhere\\*").empty());

  crt::_finddata_t data;
  intptr_t h = crt::_findfirst("data\\a.pak", &data);
  ASSERT_NE(h, -1);
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(data.attrib & crt::_A_SUBDIR, 0u);
  crt::_findclose(h);
  h = crt::_findfirst("data\\sub", &data);
  ASSERT_NE(h, -1);
  EXPECT_NE(data.attrib & crt::_A_SUBDIR, 0u);
  crt::_findclose(h);
  errno = 0;
  EXPECT_EQ(crt::_findfirst("data\\*.bin", &data), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(crt::_findnext(12345, &data), -1);
}

TEST_F(Win32Test, LowLevelFilesTakeWindowsPaths) {
  int fd = crt::_open("Out\\..\\file.bin", crt::_O_WRONLY | crt::_O_CREAT | crt::_O_TRUNC | crt::_O_BINARY);
  EXPECT_EQ(fd, -1);  // no folder "Out" to go through
  fd = crt::_open("FILE.bin", crt::_O_WRONLY | crt::_O_CREAT | crt::_O_TRUNC | crt::_O_BINARY,
                  crt::_S_IREAD | crt::_S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(crt::_write(fd, "hello world", 11), 11);
  EXPECT_EQ(crt::_close(fd), 0);

  fd = crt::_open("file.BIN", crt::_O_RDONLY | crt::_O_BINARY);  // another spelling finds it
  ASSERT_GE(fd, 0);
  EXPECT_EQ(crt::_filelength(fd), 11);
  EXPECT_EQ(crt::_lseek(fd, 6, SEEK_SET), 6);
  char buf[16] = {};
  EXPECT_EQ(crt::_read(fd, buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(crt::_tell(fd), 11);
  EXPECT_EQ(crt::_eof(fd), 1);
  EXPECT_EQ(crt::_lseek(fd, -20, SEEK_CUR), -1);
  EXPECT_EQ(crt::_tell(fd), 11);
  HANDLE h = reinterpret_cast<HANDLE>(crt::_get_osfhandle(fd));
  EXPECT_EQ(GetFileSize(h, nullptr), 11u);
  EXPECT_EQ(crt::_close(fd), 0);
  EXPECT_EQ(crt::_get_osfhandle(fd), -1);

  errno = 0;
  EXPECT_EQ(crt::_open("missing.bin", crt::_O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(crt::_access("file.bin", 0), 0);
  EXPECT_EQ(crt::_access("missing.bin", 0), -1);
  EXPECT_EQ(crt::_access("file.bin", 1), -1);  // not a mode the runtime takes
  std::filesystem::create_directory(work_ + "/folder");
  errno = 0;
  EXPECT_EQ(crt::_open("folder", crt::_O_RDONLY), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(crt::fopen("folder", "rb"), nullptr);

  FILE* f = crt::fopen("FILE.BIN", "rt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fgetc(f), 'h');
  std::fclose(f);
  EXPECT_EQ(crt::rename("file.bin", "file.bin"), -1);  // never over an existing file
  EXPECT_EQ(crt::remove("FILE.BIN"), 0);
  EXPECT_EQ(crt::remove("FILE.BIN"), -1);
}

TEST_F(Win32Test, MovesReplaceOnlyWhenAskedTo) {
  pt::WriteText(work_ + "/old.bin", "old");
  pt::WriteText(work_ + "/new.bin", "new");
  // The plain moves refuse an existing target, as Windows does.
  EXPECT_EQ(crt::rename("new.bin", "old.bin"), -1);
  EXPECT_FALSE(MoveFileA("new.bin", "old.bin"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(MoveFileExA("new.bin", "old.bin", MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(pt::ReadText(work_ + "/old.bin"), "old");

  EXPECT_TRUE(MoveFileExA("new.bin", "OLD.BIN", MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(pt::ReadText(work_ + "/old.bin"), "new");
  EXPECT_FALSE(std::filesystem::exists(work_ + "/new.bin"));
  // To a new name, and never over a folder.
  EXPECT_TRUE(MoveFileExA("old.bin", "moved.bin", MOVEFILE_REPLACE_EXISTING));
  std::filesystem::create_directory(work_ + "/folder");
  EXPECT_FALSE(MoveFileExA("moved.bin", "folder", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(MoveFileExA("missing.bin", "other.bin", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileExA("moved.bin", "other.bin", 0x100));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Win32Test, FileWritesFailPastTheTestLimit) {
  pt::FailFileWritesAfter(6);
  int fd = crt::_open("limited.bin", crt::_O_WRONLY | crt::_O_CREAT | crt::_O_BINARY);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(crt::_write(fd, "abcd", 4), 4);
  EXPECT_EQ(crt::_write(fd, "efgh", 4), 2);  // the crossing write is cut short
  errno = 0;
  EXPECT_EQ(crt::_write(fd, "ijkl", 4), -1);
  EXPECT_EQ(errno, ENOSPC);
  HANDLE h = reinterpret_cast<HANDLE>(crt::_get_osfhandle(fd));
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  pt::FailFileWritesAfter(-1);
  EXPECT_EQ(crt::_write(fd, "!", 1), 1);
  EXPECT_EQ(crt::_close(fd), 0);
  EXPECT_EQ(pt::ReadText(work_ + "/limited.bin"), "abcdef!");
  // A reset lifts the limit too.
  pt::FailFileWritesAfter(0);
  pt::Reset();
  fd = crt::_open("limited.bin", crt::_O_WRONLY | crt::_O_BINARY);
  EXPECT_EQ(crt::_write(fd, "A", 1), 1);
  crt::_close(fd);
}

// ---- Folders and Win32 files --------------------------------------------------------------

TEST_F(Win32Test, FoldersAndLastErrors) {
  char path[MAX_PATH];
  EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, path), S_FALSE);
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path), S_OK);
  EXPECT_STREQ(path, "C:\\Users\\Player\\Documents");
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/drives/c/Users/Player/Documents"));

  std::string saves = std::string(path) + "\\Kestrelmoor Savegames\\";
  EXPECT_TRUE(CreateDirectoryA(saves.c_str(), nullptr));
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/drives/c/Users/Player/Documents/Kestrelmoor Savegames"));
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryA(saves.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("C:\\No\\Such\\Folder", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(PathFileExistsA(saves.c_str()));
  EXPECT_FALSE(PathFileExistsA("C:\\nothing"));
}

TEST_F(Win32Test, CreateFileWritesAndReportsTimes) {
  HANDLE f = CreateFileA("exception.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(f, "abc\r\n", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  EXPECT_TRUE(CloseHandle(f));
  EXPECT_FALSE(CloseHandle(f));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  f = CreateFileA("exception.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(GetFileSize(f, nullptr), 0u);  // truncated
  CloseHandle(f);
  EXPECT_EQ(CreateFileA("exception.log", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(CreateFileA("none.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CreateFileA("nodir\\none.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  // 2007-06-15 13:45:30 UTC, worked out by hand into DOS fields.
  timespec times[2] = {{1181915130, 0}, {1181915130, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (work_ + "/exception.log").c_str(), times, 0), 0);
  f = CreateFileA("Exception.LOG", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FILETIME write;
  ASSERT_TRUE(GetFileTime(f, nullptr, nullptr, &write));
  uint64_t value = (static_cast<uint64_t>(write.dwHighDateTime) << 32) | write.dwLowDateTime;
  EXPECT_EQ(value, (1181915130ull + 11644473600ull) * 10000000ull);
  WORD date = 0, time = 0;
  ASSERT_TRUE(FileTimeToDosDateTime(&write, &date, &time));
  EXPECT_EQ(date, (27 << 9) | (6 << 5) | 15);
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&write, &st));
  EXPECT_EQ(st.wDayOfWeek, 5);  // a Friday
  CloseHandle(f);
  FILETIME early{0, 0};
  EXPECT_FALSE(FileTimeToDosDateTime(&early, &date, &time));  // before 1980
  EXPECT_TRUE(DeleteFileA("EXCEPTION.log"));
  EXPECT_FALSE(DeleteFileA("EXCEPTION.log"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FileTimeTest, SystemTimesBecomeFileTimesAndBadDatesAreRefused) {
  struct Case {
    SYSTEMTIME time;
    bool ok;
    uint64_t value;
  } cases[] = {
      {{1601, 1, 0, 1, 0, 0, 0, 0}, true, 0},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, true, 11644473600ull * 10000000ull},
      // 2007-06-15 13:45:30.250, whatever the day of the week says.
      {{2007, 6, 0, 15, 13, 45, 30, 250}, true, (1181915130ull + 11644473600ull) * 10000000ull + 2500000ull},
      {{2024, 2, 0, 29, 0, 0, 0, 0}, true, (1709164800ull + 11644473600ull) * 10000000ull},
      {{2023, 2, 0, 29, 0, 0, 0, 0}, false, 0},
      {{1900, 2, 0, 29, 0, 0, 0, 0}, false, 0},
      {{2000, 2, 0, 29, 0, 0, 0, 0}, true, (951782400ull + 11644473600ull) * 10000000ull},
      {{1600, 12, 0, 31, 0, 0, 0, 0}, false, 0},
      {{2020, 13, 0, 1, 0, 0, 0, 0}, false, 0},
      {{2020, 4, 0, 31, 0, 0, 0, 0}, false, 0},
      {{2020, 1, 0, 1, 24, 0, 0, 0}, false, 0},
      {{2020, 1, 0, 1, 0, 0, 0, 1000}, false, 0},
      {{0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
  };
  for (const Case& c : cases) {
    FILETIME ft{7, 7};
    EXPECT_EQ(SystemTimeToFileTime(&c.time, &ft) != FALSE, c.ok) << c.time.wYear << "-" << c.time.wMonth;
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
      continue;
    }
    EXPECT_EQ((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, c.value) << c.time.wYear;
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wDay, c.time.wDay);
    EXPECT_EQ(back.wMilliseconds, c.time.wMilliseconds);
  }
}

// ---- Text ------------------------------------------------------------------------------

TEST(TextTest, ConvertsAnsiAndUtf8In16BitUnits) {
  struct Case {
    UINT codePage;
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {CP_ACP, "abc", u"abc"},
      {CP_ACP, "\x80\x9F\xE4\xFF", u"\u20AC\u0178\u00E4\u00FF"},
      {CP_ACP, "\x81\x8D", u"\u0081\u008D"},  // unassigned bytes keep their value
      {CP_UTF8, "\xE2\x82\xAC", u"\u20AC"},
      {CP_UTF8, "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},  // beyond the BMP: a surrogate pair
      {CP_UTF8, "a\xC3\xA4", u"a\u00E4"},
  };
  for (const Case& c : cases) {
    WCHAR wide[16];
    int n = MultiByteToWideChar(c.codePage, 0, c.bytes.data(), static_cast<int>(c.bytes.size()), wide, 16);
    EXPECT_EQ(std::u16string(wide, static_cast<size_t>(std::max(n, 0))), c.wide) << c.bytes;
    char back[16];
    BOOL usedDefault = TRUE;
    n = WideCharToMultiByte(c.codePage, 0, c.wide.data(), static_cast<int>(c.wide.size()), back, 16, nullptr,
                            c.codePage == CP_UTF8 ? nullptr : &usedDefault);
    EXPECT_EQ(std::string(back, static_cast<size_t>(std::max(n, 0))), c.bytes);
    if (c.codePage != CP_UTF8) {
      EXPECT_FALSE(usedDefault);
    }
  }
}

TEST(TextTest, LengthsBuffersAndBadInput) {
  WCHAR wide[8];
  // -1 counts the NUL; size 0 asks for the size.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8), 4);
  EXPECT_EQ(wide[3], 0);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(1251, 0, "abc", 3, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Broken UTF-8: each bad byte becomes U+FFFD, or the call fails if asked.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xC3", 2, wide, 8), 2);
  EXPECT_EQ(wide[1], 0xFFFD);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC0\xAF", 2, wide, 8), 2);  // overlong
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC3", 2, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);

  char out[8];
  BOOL usedDefault = FALSE;
  const WCHAR missing[] = {u'a', 0x0100, 0xD83D, 0xDE00, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, missing, -1, out, 8, nullptr, &usedDefault), 4);
  EXPECT_STREQ(out, "a??");
  EXPECT_TRUE(usedDefault);
  const WCHAR lone[] = {0xD800, u'x'};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 2, out, 8, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(out, 4), "\xEF\xBF\xBDx");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 2, out, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 2, out, 8, "?", nullptr), 0);  // no default for UTF-8
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// ---- Windows and messages --------------------------------------------------------------

std::vector<pt::DeliveredMessage>* g_seen = nullptr;
bool g_quitOnDestroy = true;

LRESULT TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_seen) g_seen->push_back({hwnd, msg, wParam, lParam});
  if (msg == WM_DESTROY && g_quitOnDestroy) PostQuitMessage(0);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class WindowTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    g_seen = &seen_;
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_NOCLOSE;
    wc.lpfnWndProc = TestProc;
    wc.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(104));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "BRD-TARVEL30";
    wc.lpszMenuName = "BRD-TARVEL30";
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  void TearDown() override {
    g_seen = nullptr;
    PlatformTest::TearDown();
  }
  HWND Create() {
    return CreateWindowExA(0, "BRD-TARVEL30", "Tarvel Engine V3.0", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768,
                           nullptr, nullptr, nullptr, nullptr);
  }
  std::vector<UINT> Messages() {
    std::vector<UINT> ids;
    for (const auto& m : seen_) ids.push_back(m.message);
    seen_.clear();
    return ids;
  }
  // The engine's pump: everything waiting, translated and dispatched.
  std::vector<MSG> Pump() {
    std::vector<MSG> got;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      got.push_back(msg);
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return got;
  }
  std::vector<pt::DeliveredMessage> seen_;
};

TEST_F(WindowTest, CreationSendsTheStartMessagesInOrder) {
  HWND hwnd = Create();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW,
                                           WM_ACTIVATEAPP, WM_ACTIVATE, WM_SETFOCUS}));
  pt::WindowState s = pt::GetWindowState(hwnd);
  EXPECT_TRUE(s.visible && s.active && !s.minimised);
  EXPECT_EQ(s.width, 1024);
  EXPECT_EQ(s.title, "Tarvel Engine V3.0");

  EXPECT_TRUE(ShowWindow(hwnd, SW_SHOWNORMAL));
  EXPECT_TRUE(UpdateWindow(hwnd));
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCPAINT, WM_ERASEBKGND, WM_PAINT}));
  EXPECT_EQ(SetCapture(hwnd), nullptr);
  EXPECT_EQ(pt::CaptureWindow(), hwnd);
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(pt::CursorCounter(), -1);
  EXPECT_EQ(ShowCursor(TRUE), 0);

  EXPECT_TRUE(ShowWindow(hwnd, SW_MINIMIZE));
  EXPECT_TRUE(pt::GetWindowState(hwnd).minimised);
  EXPECT_EQ(pt::GetWindowState(hwnd).lastShowCommand, SW_MINIMIZE);
  EXPECT_TRUE(MoveWindow(hwnd, 0, 0, 800, 600, TRUE));
  EXPECT_EQ(pt::GetWindowState(hwnd).width, 800);

  seen_.clear();
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CAPTURECHANGED}));
  EXPECT_TRUE(DestroyWindow(hwnd));
  std::vector<UINT> last = Messages();
  ASSERT_GE(last.size(), 2u);
  EXPECT_EQ(last[last.size() - 2], WM_DESTROY);
  EXPECT_EQ(last.back(), WM_NCDESTROY);
  EXPECT_TRUE(pt::QuitPosted());
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(DestroyWindow(hwnd));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(WindowTest, CreationCanBeMadeToFail) {
  pt::FailCreateWindow(true);
  EXPECT_EQ(Create(), nullptr);
  EXPECT_TRUE(seen_.empty());
  pt::FailCreateWindow(false);
  EXPECT_NE(Create(), nullptr);
  EXPECT_EQ(CreateWindowExA(0, "NoClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowTest, QueueDeliversInputInOrderAndQuitLast) {
  HWND hwnd = Create();
  ValidateRect(hwnd, nullptr);  // only input is looked at here, not the first paint
  seen_.clear();
  PostQuitMessage(3);
  pt::InjectMouseMove(-5, 70);
  pt::InjectDoubleClick(pt::Button::Left, 10, 20);
  pt::InjectKey(VK_ESCAPE);
  pt::InjectKey(VK_F8);
  std::vector<MSG> got = Pump();
  std::vector<UINT> order;
  for (const MSG& m : got) order.push_back(m.message);
  // The click away from the last position brings its own move first.
  EXPECT_EQ(order, (std::vector<UINT>{WM_MOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                                      WM_LBUTTONUP, WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_KEYDOWN, WM_KEYUP, WM_QUIT}));
  // Positions are signed 16-bit values.
  EXPECT_EQ(GET_X_LPARAM(got[0].lParam), -5);
  EXPECT_EQ(GET_Y_LPARAM(got[0].lParam), 70);
  EXPECT_EQ(LOWORD(static_cast<uintptr_t>(got[0].lParam)), 0xFFFB);
  EXPECT_EQ(GET_X_LPARAM(got[1].lParam), 10);
  EXPECT_EQ(got[4].wParam & MK_LBUTTON, MK_LBUTTON);  // held during the double click
  EXPECT_EQ(got[7].wParam, VK_ESCAPE);
  EXPECT_EQ(got.back().hwnd, nullptr);
  EXPECT_EQ(got.back().wParam, 3u);
  // The window procedure saw each message when it was dispatched, not the quit.
  std::vector<UINT> delivered = Messages();
  EXPECT_EQ(delivered, std::vector<UINT>(order.begin(), order.end() - 1));
  for (const MSG& m : got) {
    if (m.message != WM_QUIT) {
      EXPECT_EQ(m.hwnd, hwnd);
    }
  }
  EXPECT_FALSE(pt::QuitPosted());
}

// SDL's own events, as a person's mouse and keyboard make them, through SDL's
// dummy video driver.
class SdlInputTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_EQ(setenv("SDL_VIDEODRIVER", "dummy", 1), 0);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_StopTextInput();
  }
  void TearDown() override {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    WindowTest::TearDown();
  }
  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  static void Motion(int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    Push(e);
  }
  static void Button(uint32_t type, uint8_t button, int x, int y, uint8_t clicks = 1) {
    SDL_Event e{};
    e.type = type;
    e.button.button = button;
    e.button.clicks = clicks;
    e.button.x = x;
    e.button.y = y;
    Push(e);
  }
  static void Key(uint32_t type, SDL_Keycode key, uint16_t mod = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    Push(e);
  }
  static std::vector<std::tuple<UINT, WPARAM, LPARAM>> Plain(const std::vector<MSG>& got) {
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> out;
    for (const MSG& m : got) out.emplace_back(m.message, m.wParam, m.lParam);
    return out;
  }
};

TEST_F(SdlInputTest, MouseAndKeysArriveAsTheInjectedMessages) {
  HWND hwnd = Create();
  ValidateRect(hwnd, nullptr);  // only input is looked at here, not the first paint
  pt::InjectMouseMove(30, 40);
  pt::InjectDoubleClick(pt::Button::Left, 10, 20);
  pt::InjectClick(pt::Button::Right, 10, 20);
  pt::InjectKey('H');
  pt::InjectKey(VK_F8);
  pt::InjectKey(VK_ESCAPE);
  std::vector<MSG> injected = Pump();

  Motion(30, 40);
  // SDL reports the button at its place without a move first.
  Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20, 1);
  Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 10, 20, 1);
  Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20, 2);
  Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 10, 20, 2);
  Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 10, 20, 1);
  Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 10, 20, 1);
  for (SDL_Keycode key : {SDL_Keycode(SDLK_h), SDL_Keycode(SDLK_F8), SDL_Keycode(SDLK_ESCAPE)}) {
    Key(SDL_KEYDOWN, key);
    Key(SDL_KEYUP, key);
  }
  std::vector<MSG> fromSdl = Pump();
  ASSERT_FALSE(injected.empty());
  EXPECT_EQ(Plain(fromSdl), Plain(injected));
  for (const MSG& m : fromSdl) EXPECT_EQ(m.hwnd, hwnd);
}

TEST_F(SdlInputTest, TextWheelShiftAndClose) {
  HWND hwnd = Create();
  ValidateRect(hwnd, nullptr);  // only input is looked at here, not the first paint
  Key(SDL_KEYDOWN, SDLK_h, KMOD_LSHIFT);
  // Letters come from their keys; what only text input knows comes from it.
  SDL_Event text{};
  text.type = SDL_TEXTINPUT;
  std::strcpy(text.text.text, "H\xC3\xA9!\xE2\x82\xAC");  // H, e acute, !, euro sign
  Push(text);
  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.y = -2;
  Push(wheel);
  Key(SDL_KEYDOWN, SDLK_UNKNOWN);  // no virtual key: nothing
  std::vector<MSG> got = Pump();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].message, UINT(WM_KEYDOWN));
  EXPECT_EQ(got[1].message, UINT(WM_CHAR));
  EXPECT_EQ(got[1].wParam, WPARAM('H'));  // shift held
  EXPECT_EQ(got[2].wParam, WPARAM(0xE9));
  EXPECT_EQ(got[3].wParam, WPARAM('!'));
  EXPECT_EQ(got[4].message, UINT(WM_MOUSEWHEEL));
  EXPECT_EQ(static_cast<int16_t>(HIWORD(got[4].wParam)), -240);

  // Closing the window is the close message, and the procedure's answer
  // ends the loop.
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  Push(close);
  got = Pump();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front().message, UINT(WM_CLOSE));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(got.back().message, UINT(WM_QUIT));
}

TEST_F(SdlInputTest, FocusAndMinimisingReachTheWindow) {
  HWND hwnd = Create();
  ValidateRect(hwnd, nullptr);  // only input is looked at here, not the first paint
  seen_.clear();
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  Push(e);
  e.window.event = SDL_WINDOWEVENT_MINIMIZED;
  Push(e);
  Pump();
  EXPECT_FALSE(pt::GetWindowState(hwnd).active);
  EXPECT_TRUE(pt::GetWindowState(hwnd).minimised);
  std::vector<UINT> seen = Messages();
  EXPECT_NE(std::find(seen.begin(), seen.end(), UINT(WM_ACTIVATEAPP)), seen.end());
  EXPECT_EQ(seen.back(), UINT(WM_SIZE));
  e.window.event = SDL_WINDOWEVENT_RESTORED;
  Push(e);
  e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  Push(e);
  Pump();
  EXPECT_FALSE(pt::GetWindowState(hwnd).minimised);
  EXPECT_TRUE(pt::GetWindowState(hwnd).active);
}

TEST(Screenshots, FrameListsSkipBadEntries) {
  std::string errors;
  EXPECT_EQ(platform::screenshots::ParseFrames("1, 30,x,0,30,-4,,120", &errors),
            (std::vector<uint64_t>{1, 30, 120}));
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 4);
  EXPECT_NE(errors.find("\"x\""), std::string::npos);
}

// The list is read once per process, so each case is a child of its own.
TEST(ScreenshotChild, PresentsThreeFrames) {
  if (!std::getenv("TARVEL_CHILD_SHOTS")) GTEST_SKIP() << "runs only as a child";
  uint8_t frame[4 * 4 * 4] = {};
  platform::PresentToWindow(nullptr, frame, 4, 4, 16);  // frame 1: black
  frame[5 * 4 + 1] = 200;
  platform::PresentToWindow(nullptr, frame, 4, 4, 16);  // frame 2: one green pixel
  platform::PresentToWindow(nullptr, frame, 4, 4, 16);
}

TEST_F(WindowTest, ChosenPresentedFramesAreSavedAndNamed) {
  pt::ChildResult child = pt::RunSelf("ScreenshotChild.PresentsThreeFrames",
                                      {"TARVEL_CHILD_SHOTS=1", "TARVEL_SCREENSHOTS=2,one,1,7",
                                       "TARVEL_SCREENSHOT_DIR=" + work_});
  ASSERT_EQ(child.status, 0) << child.output;
  EXPECT_NE(child.output.find("Screenshot: " + work_ + "/frame-1.png (a single colour)\n"), std::string::npos)
      << child.output;
  EXPECT_NE(child.output.find("Screenshot: " + work_ + "/frame-2.png\n"), std::string::npos) << child.output;
  EXPECT_NE(child.output.find("TARVEL_SCREENSHOTS: skipping \"one\""), std::string::npos) << child.output;
  EXPECT_TRUE(std::filesystem::exists(work_ + "/frame-2.png"));
  EXPECT_FALSE(std::filesystem::exists(work_ + "/frame-3.png"));
  EXPECT_FALSE(std::filesystem::exists(work_ + "/frame-7.png"));
}

TEST_F(WindowTest, PngOfPresentedPixels) {
  // Two by two, with a pitch wider than the row: B, G, R, A in memory.
  const uint8_t pixels[2 * 12] = {0, 0, 255, 255, 0, 255, 0, 255, 9, 9, 9, 9,
                                  255, 0, 0, 255, 10, 20, 30, 0, 9, 9, 9, 9};
  std::string path = work_ + "/shot.png";
  ASSERT_TRUE(platform::screenshots::WritePng(path, pixels, 2, 2, 12));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  image.format = PNG_FORMAT_RGB;
  ASSERT_EQ(image.width, 2u);
  ASSERT_EQ(image.height, 2u);
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  // Red, green / blue, and a colour whose channels differ, alpha dropped.
  EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255, 30, 20, 10}));
  EXPECT_FALSE(platform::screenshots::WritePng(work_ + "/no/such/folder/x.png", pixels, 2, 2, 12));
  EXPECT_FALSE(platform::screenshots::WritePng(path, pixels, 4, 2, 12));  // pitch too small
}

TEST_F(WindowTest, InputWaitsForItsDueTimeOnTheTakenClock) {
  ValidateRect(Create(), nullptr);
  pt::TakeClock(1000);
  pt::InjectKeyDown('H', 1100u);
  pt::InjectChar('x');
  EXPECT_EQ(Pump().size(), 1u);  // only the character is due
  Sleep(99);
  EXPECT_TRUE(Pump().empty());
  Sleep(1);
  std::vector<MSG> got = Pump();
  // TranslateMessage queued the character, which the same pump takes next.
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].message, WM_KEYDOWN);
  EXPECT_EQ(got[1].message, WM_CHAR);
  EXPECT_EQ(got[1].wParam, static_cast<WPARAM>('h'));
}

TEST_F(WindowTest, ScriptedInputOfTheProgramGoesToItsFirstWindowOnTime) {
  pt::TakeClock(5000);
  pt::WriteText(work_ + "/input.txt",
                "10 move 5 6\n"
                "20 click left 7 8\n"
                "bad line\n"
                "30 key 65\n"
                "40 char x\n"
                "45 click right 1 2\n"
                "50 close\n");
  pt::SetSetting("input." + pt::ProgramName(), work_ + "/input.txt");
  ::testing::internal::CaptureStderr();
  HWND first = Create();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("line 3 unreadable"), std::string::npos) << err;
  EXPECT_NE(err.find("line 6 unreadable"), std::string::npos) << err;
  g_quitOnDestroy = false;
  std::vector<std::pair<UINT, DWORD>> got;
  for (int step = 0; step < 60; ++step) {
    for (const MSG& m : Pump()) {
      if (m.hwnd == first && m.message != WM_PAINT) got.push_back({m.message, timeGetTime() - 5000});
    }
    Sleep(1);
  }
  g_quitOnDestroy = true;
  const std::vector<std::pair<UINT, DWORD>> expected = {
      {WM_MOUSEMOVE, 10}, {WM_MOUSEMOVE, 20}, {WM_LBUTTONDOWN, 20}, {WM_LBUTTONUP, 20}, {WM_KEYDOWN, 30},
      {WM_CHAR, 30},      {WM_KEYUP, 30},     {WM_CHAR, 40},        {WM_CLOSE, 50}};
  EXPECT_EQ(got, expected);
  EXPECT_FALSE(IsWindow(first));
}

TEST_F(WindowTest, ActivationIsSentInsideThePeek) {
  HWND hwnd = Create();
  ValidateRect(hwnd, nullptr);
  seen_.clear();
  pt::InjectActivate(false);
  EXPECT_TRUE(Pump().empty());  // sent messages are never returned
  std::vector<pt::DeliveredMessage> got = seen_;
  auto has = [&](UINT msg, WPARAM wParam) {
    for (const auto& m : got) {
      if (m.message == msg && m.wParam == wParam && m.hwnd == hwnd) return true;
    }
    return false;
  };
  EXPECT_TRUE(has(WM_ACTIVATEAPP, FALSE));
  EXPECT_TRUE(has(WM_ACTIVATE, WA_INACTIVE));
  EXPECT_FALSE(pt::GetWindowState(hwnd).active);
  // Reactivation due later: an inactive loop sleeping 500 ms at a time sees
  // it after the third sleep.
  pt::TakeClock(5000);
  seen_.clear();
  pt::InjectActivate(true, 6200u);
  int sleeps = 0;
  while (sleeps < 10 && !has(WM_ACTIVATEAPP, TRUE)) {
    Sleep(500);
    ++sleeps;
    Pump();
    got = seen_;
  }
  EXPECT_EQ(sleeps, 3);
  EXPECT_EQ(GetActiveWindow(), hwnd);
}

// ---- Time --------------------------------------------------------------------------

TEST_F(Win32Test, TakenClockAdvancesBySleepAndWraps) {
  pt::TakeClock(1000);
  EXPECT_EQ(timeGetTime(), 1000u);
  Sleep(500);
  EXPECT_EQ(timeGetTime(), 1500u);
  EXPECT_EQ(GetTickCount(), 1500u);
  pt::AdvanceClock(0xFFFFFFFFu - 1500u + 11u);
  EXPECT_EQ(timeGetTime(), 10u);  // wrapped at 2^32
  pt::ReleaseClock();
  DWORD a = timeGetTime();
  Sleep(20);
  EXPECT_GE(timeGetTime() - a, 20u);

  TIMECAPS caps;
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
  EXPECT_EQ(caps.wPeriodMin, 1u);
  EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(pt::TimerPeriodBalance(), 1);
  EXPECT_EQ(timeEndPeriod(2), TIMERR_NOCANDO);  // never begun
  EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
  EXPECT_EQ(pt::TimerPeriodBalance(), 0);
  EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
}

// Run by SettingsReachAChild in a child process.
TEST(ChildProbe, PrintSettings) {
  if (!std::getenv("TARVEL_CHILD_PROBE")) GTEST_SKIP() << "runs only as a child";
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "c";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, "c", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  std::printf("PROBE clock=%u window=%d\n", timeGetTime(), w != nullptr);
}

TEST_F(Win32Test, SettingsReachAChild) {
  pt::TakeClock(123456);
  pt::FailCreateWindow(true);
  pt::ChildResult child = pt::RunSelf("ChildProbe.PrintSettings", {"TARVEL_CHILD_PROBE=1"});
  EXPECT_NE(child.output.find("PROBE clock=123456 window=0"), std::string::npos) << child.output;
  pt::Reset();
  child = pt::RunSelf("ChildProbe.PrintSettings", {"TARVEL_CHILD_PROBE=1"});
  EXPECT_EQ(child.output.find("clock=123456"), std::string::npos) << child.output;
  EXPECT_NE(child.output.find("window=1"), std::string::npos) << child.output;
}

// ---- Modules and memory -------------------------------------------------------------

TEST_F(Win32Test, LoadLibraryFindsTheStandInBesideTheProgram) {
  HMODULE lib = LoadLibraryA("brdreport.dll");
  ASSERT_NE(lib, nullptr);
  using ShowErrorDlg = void (*)(const char*, const char*, const char*);
  auto show = reinterpret_cast<ShowErrorDlg>(GetProcAddress(lib, "ShowErrorDlg"));
  ASSERT_NE(show, nullptr);
  testing::internal::CaptureStderr();
  show("Kestrelmoor", "342", "Crash.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Kestrelmoor\n342\nCrash.\n");
  EXPECT_EQ(GetProcAddress(lib, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

  char name[MAX_PATH];
  DWORD n = GetModuleFileNameA(lib, name, sizeof name);
  ASSERT_GT(n, 0u);
  std::string file(name, n);
  EXPECT_EQ(file.rfind("Z:\\", 0), 0u) << file;
  EXPECT_NE(file.find("\\libbrdreport.so"), std::string::npos) << file;
  EXPECT_EQ(GetModuleHandleA("BRDREPORT.DLL"), lib);
  // Truncation keeps a NUL and reports the short buffer.
  EXPECT_EQ(GetModuleFileNameA(lib, name, 4), 4u);
  EXPECT_STREQ(name, "Z:\\");
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  // The module handle is the base VirtualQuery names for addresses inside it.
  MEMORY_BASIC_INFORMATION mbi;
  ASSERT_EQ(VirtualQuery(reinterpret_cast<const void*>(show), &mbi, sizeof mbi), sizeof mbi);
  EXPECT_EQ(mbi.AllocationBase, static_cast<void*>(lib));
  EXPECT_EQ(mbi.Type, MEM_IMAGE);
  EXPECT_EQ(mbi.State, MEM_COMMIT);
  EXPECT_TRUE(FreeLibrary(lib));
  EXPECT_FALSE(FreeLibrary(lib));

  EXPECT_EQ(LoadLibraryA("nosuchlibrary.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(Win32Test, ModuleListStartsWithTheProgram) {
  HMODULE program = GetModuleHandleA(nullptr);
  ASSERT_NE(program, nullptr);
  DWORD needed = 0;
  ASSERT_TRUE(EnumProcessModules(GetCurrentProcess(), nullptr, 0, &needed));
  std::vector<HMODULE> modules(needed / sizeof(HMODULE));
  ASSERT_TRUE(EnumProcessModules(GetCurrentProcess(), modules.data(), needed, &needed));
  ASSERT_GE(modules.size(), 3u);  // the program, libc, this layer at least
  EXPECT_EQ(modules[0], program);
  bool foundLayer = false;
  for (HMODULE m : modules) {
    char name[MAX_PATH];
    if (GetModuleFileNameA(m, name, sizeof name) && std::strstr(name, "libplatform_win32.so")) foundLayer = true;
    MODULEINFO info;
    ASSERT_TRUE(GetModuleInformation(GetCurrentProcess(), m, &info, sizeof info));
    EXPECT_EQ(info.lpBaseOfDll, static_cast<void*>(m));
    EXPECT_GT(info.SizeOfImage, 0u);
  }
  EXPECT_TRUE(foundLayer);

  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  char viaHandle[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(program, viaHandle, sizeof viaHandle), 0u);
  EXPECT_STREQ(self, viaHandle);
  EXPECT_NE(std::strstr(self, "platform_win32_test"), nullptr);

  MEMORY_BASIC_INFORMATION mbi;
  ASSERT_EQ(VirtualQuery(reinterpret_cast<const void*>(&QueryDword), &mbi, sizeof mbi), sizeof mbi);
  EXPECT_EQ(mbi.AllocationBase, static_cast<void*>(program));
  EXPECT_EQ(mbi.Type, MEM_IMAGE);
}

TEST_F(Win32Test, MemoryQueriesAndSafeReads) {
  long page = sysconf(_SC_PAGESIZE);
  auto* two = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(two, MAP_FAILED);
  std::memset(two, 'x', page);
  ASSERT_EQ(mprotect(two + page, page, PROT_NONE), 0);

  MEMORY_BASIC_INFORMATION mbi;
  ASSERT_EQ(VirtualQuery(two + page + 5, &mbi, sizeof mbi), sizeof mbi);
  EXPECT_EQ(mbi.BaseAddress, two + page);
  EXPECT_EQ(mbi.Protect, PAGE_NOACCESS);
  ASSERT_EQ(VirtualQuery(two + 1, &mbi, sizeof mbi), sizeof mbi);
  EXPECT_EQ(mbi.Protect, PAGE_READWRITE);
  EXPECT_EQ(mbi.Type, MEM_PRIVATE);
  EXPECT_EQ(VirtualQuery(two, &mbi, 4), 0u);

  // Reading across into the unreadable page stops there without a fault.
  char buffer[32];
  SIZE_T read = 99;
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), two + page - 8, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 8u);
  EXPECT_EQ(GetLastError(), ERROR_PARTIAL_COPY);
  EXPECT_EQ(std::string(buffer, 8), "xxxxxxxx");
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), two + page, buffer, 4, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), nullptr, buffer, 4, &read));
  EXPECT_TRUE(ReadProcessMemory(GetCurrentProcess(), two, buffer, 16, &read));
  EXPECT_EQ(read, 16u);
  munmap(two, 2 * page);

  ULONG_PTR low = 0, high = 0;
  GetCurrentThreadStackLimits(&low, &high);
  int local = 0;
  EXPECT_LT(low, reinterpret_cast<ULONG_PTR>(&local));
  EXPECT_GT(high, reinterpret_cast<ULONG_PTR>(&local));

  SYSTEM_INFO si;
  GetSystemInfo(&si);
  EXPECT_EQ(si.dwPageSize, static_cast<DWORD>(page));
  EXPECT_GE(si.dwNumberOfProcessors, 1u);
  MEMORYSTATUS ms;
  GlobalMemoryStatus(&ms);
  EXPECT_GT(ms.dwTotalPhys, 0u);
  EXPECT_LE(ms.dwAvailPhys, ms.dwTotalPhys);
}

// ---- System facts -------------------------------------------------------------------

TEST(SystemTest, LocaleGivesTheLanguageId) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    LCID lcid;
  } cases[] = {
      {nullptr, nullptr, "de_DE.UTF-8", 0x0407},
      {nullptr, nullptr, "en_US.UTF-8", 0x0409},
      {nullptr, nullptr, "fr_FR@euro", 0x040C},
      {nullptr, nullptr, "de_AT", 0x0C07},
      {nullptr, nullptr, "de_BE", 0x0407},  // territory not listed: the language
      {nullptr, nullptr, "C", 0x0409},
      {nullptr, nullptr, "POSIX", 0x0409},
      {nullptr, nullptr, nullptr, 0x0409},
      {nullptr, "it_IT.UTF-8", "de_DE.UTF-8", 0x0410},
      {"es_ES", "it_IT", "de_DE", 0x0C0A},
  };
  for (const Case& c : cases) {
    auto set = [](const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); };
    set("LC_ALL", c.lcAll);
    set("LC_MESSAGES", c.lcMessages);
    set("LANG", c.lang);
    EXPECT_EQ(GetSystemDefaultLCID(), c.lcid) << (c.lang ? c.lang : "(none)");
  }
  // The engine's Language value is the low byte: German gives 7.
  setenv("LANG", "de_DE.UTF-8", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(GetSystemDefaultLCID() & 0xFF, 7u);

  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  char buffer[1100];
  EXPECT_EQ(wsprintfA(buffer, "%s caused %s at %04x:%08x.\r\n", "tarvel30x", "an Access Violation", 0x33, 0xdeadbeef),
            56);
  EXPECT_STREQ(buffer, "tarvel30x caused an Access Violation at 0033:deadbeef.\r\n");
  std::string longText(1500, 'a');
  EXPECT_EQ(wsprintfA(buffer, "%s", longText.c_str()), 1023);
}

}  // namespace

TEST_F(WindowTest, AnEmptyPollTakesTheSetStepOnTheTakenClock) {
  ValidateRect(Create(), nullptr);
  pt::TakeClock(1000);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(timeGetTime(), 1000u) << "without the setting a poll takes no time";
  pt::SetSetting("clock.poll", "1");
  pt::InjectChar('x', 1003u);
  int polls = 0;
  while (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ++polls;
  // Three empty polls bring the clock to the character's due time.
  EXPECT_EQ(polls, 3);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(timeGetTime(), 1003u) << "a poll that finds a message takes no time";
  pt::SetSetting("clock.poll", "");
}
