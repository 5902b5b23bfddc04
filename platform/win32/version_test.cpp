// GetVersionExA, the system folder and version resources of executables.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/path.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/pe_writer.h"

namespace pt = platform::testing;

namespace {

class VersionTest : public pt::PlatformTest {
 protected:
  // Writes `bytes` as the Windows file `name` on drive C and returns its path.
  std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string linux = root_ + "/drives/c/" + name;
    for (char& c : linux) {
      if (c == '\\') c = '/';
    }
    std::filesystem::create_directories(std::filesystem::path(linux).parent_path());
    pt::WriteText(linux, std::string(bytes.begin(), bytes.end()));
    return "C:\\" + name;
  }

  // The file version through the three calls, or 0 with `ok` false.
  uint64_t Version(const std::string& path, bool* ok) {
    *ok = false;
    DWORD handle = 1;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    if (size == 0) return 0;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return 0;
    void* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &info, &length) || length != sizeof(VS_FIXEDFILEINFO)) return 0;
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, info, sizeof fixed);
    *ok = true;
    return (uint64_t(fixed.dwFileVersionMS) << 32) | fixed.dwFileVersionLS;
  }
};

TEST_F(VersionTest, OsVersionDefaultsToTheNtPlatformAndFollowsTheTestSetting) {
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info));  // the size field must be set
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 3");

  pt::SetOsVersion(4, 10, 1998, VER_PLATFORM_WIN32_WINDOWS, " A ");
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 4u);
  EXPECT_EQ(info.dwMinorVersion, 10u);
  EXPECT_EQ(info.dwBuildNumber, 1998u);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_STREQ(info.szCSDVersion, " A ");
  pt::ClearOsVersion();
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
}

TEST_F(VersionTest, SystemFolderIsOnDriveCAndReportsTheSizeNeeded) {
  char small[5];
  EXPECT_EQ(GetSystemDirectoryA(small, sizeof small), 20u);
  char path[MAX_PATH];
  ASSERT_EQ(GetSystemDirectoryA(path, sizeof path), 19u);
  EXPECT_STREQ(path, "C:\\Windows\\system32");
  EXPECT_EQ(platform::MapPath(std::string(path) + "\\"), root_ + "/drives/c/Windows/system32/");
}

TEST_F(VersionTest, FileVersionComesFromTheResourceOfBothImageLayouts) {
  for (bool plus : {false, true}) {
    testkit::PeOptions o;
    o.fileVersion = testkit::PeVersion(6, 0, 6000, 16386);
    o.productVersion = testkit::PeVersion(9, 0, 0, 3);
    o.pe32Plus = plus;
    bool ok = false;
    EXPECT_EQ(Version(Put("Windows\\system32\\d3d9.dll", testkit::BuildExecutable(o)), &ok),
              0x0006000017704002ull);
    EXPECT_TRUE(ok) << "pe32+ " << plus;
  }
}

TEST_F(VersionTest, FilesWithoutAReadableVersionGiveNoSize) {
  testkit::PeOptions none;
  none.versionResource = false;
  std::vector<uint8_t> good = testkit::BuildExecutable(testkit::PeOptions{});
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 0x220);
  std::vector<uint8_t> hugeOffset = good;
  hugeOffset[0x3C] = 0xFF;
  hugeOffset[0x3F] = 0x7F;  // the PE header far past the end
  std::vector<uint8_t> badDataRva = good;
  // The data entry's RVA (section offset 0x48) pointing past the section.
  badDataRva[0x200 + 0x48 + 3] = 0x40;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"no resource", testkit::BuildExecutable(none)},
      {"text", {'h', 'e', 'l', 'l', 'o'}},
      {"empty", {}},
      {"truncated", truncated},
      {"header offset", hugeOffset},
      {"data rva", badDataRva},
  };
  for (const Case& c : cases) {
    std::string path = Put("x.dll", c.bytes);
    DWORD handle;
    EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), &handle), 0u) << c.name;
    BYTE block[256];
    EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), 0, sizeof block, block)) << c.name;
  }
  EXPECT_EQ(GetFileVersionInfoSizeA("C:\\missing.dll", nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileVersionInfoSizeA("C:\\", nullptr), 0u);  // a folder
}

TEST_F(VersionTest, QueryServesOnlyTheRootBlockAndChecksTheRecord) {
  std::string path = Put("a.dll", testkit::BuildExecutable(testkit::PeOptions{}));
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
  ASSERT_EQ(size, 92u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  void* info;
  UINT length;
  EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileVersion", &info, &length));
  std::vector<BYTE> badSignature = block;
  badSignature[40] ^= 1;
  EXPECT_FALSE(VerQueryValueA(badSignature.data(), "\\", &info, &length));
  std::vector<BYTE> noValue = block;
  noValue[2] = 0;  // wValueLength 0: no fixed record
  EXPECT_FALSE(VerQueryValueA(noValue.data(), "\\", &info, &length));
  // A short copy keeps the block's own length within what was copied.
  std::vector<BYTE> part(60);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, 60, part.data()));
  EXPECT_EQ(part[0] | (part[1] << 8), 60);
  EXPECT_FALSE(VerQueryValueA(part.data(), "\\", &info, &length));
}

}  // namespace
