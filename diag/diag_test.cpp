// The diagnostics library as the launcher uses it (loaded by name), and its
// inner steps: DirectX detection, the DxDiag reader and the report.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "diag/brddiag.h"
#include "diag/directx_version.h"
#include "diag/dxdiag_reader.h"
#include "platform/d3d9/testing.h"
#include "platform/dxdiag/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/pe_writer.h"

namespace pt = platform::testing;

namespace {

class DiagTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    pt::PlatformTest::SetUp();
    module_ = LoadLibraryA("brddiag.dll");
    ASSERT_NE(module_, nullptr);
    checkSystem_ = reinterpret_cast<tCheckSystem>(GetProcAddress(module_, "CheckSystem"));
    getResolutions_ = reinterpret_cast<tGetResolutions>(GetProcAddress(module_, "GetResolutions"));
    saveDiag_ = reinterpret_cast<tSaveDiagToFile>(GetProcAddress(module_, "SaveDiagToFile"));
    ASSERT_TRUE(checkSystem_ && getResolutions_ && saveDiag_);
  }
  void TearDown() override {
    EXPECT_EQ(pt::LiveDxDiagObjects(), 0);
    if (module_) FreeLibrary(module_);
    pt::PlatformTest::TearDown();
  }

  // A provider that reports this DirectX version.
  void Provider(uint32_t major, uint32_t minor, const std::string& letter) {
    pt::DxDiagNode tree;
    tree.Child("DxDiag_SystemInfo").SetU32("dwDirectXVersionMajor", major).SetU32("dwDirectXVersionMinor", minor)
        .SetString("szDirectXVersionLetter", letter);
    pt::SetDxDiagTree(tree);
  }
  // A system library with this file version.
  void SystemFile(const std::string& name, uint64_t version) {
    std::string folder = root_ + "/drives/c/Windows/system32";
    std::filesystem::create_directories(folder);
    testkit::PeOptions o;
    o.fileVersion = version;
    ASSERT_TRUE(testkit::WriteExecutable(folder + "/" + name, o));
  }

  HMODULE module_ = nullptr;
  tCheckSystem checkSystem_ = nullptr;
  tGetResolutions getResolutions_ = nullptr;
  tSaveDiagToFile saveDiag_ = nullptr;
};

using testkit::PeVersion;

// ---- DirectX version ------------------------------------------------------

TEST_F(DiagTest, DirectXVersionFromTheProviderPacksAndLowersTheLetter) {
  for (const char* letter : {"c", "C"}) {
    Provider(9, 0, letter);
    DWORD packed = 1;
    char text[10];
    ASSERT_EQ(DetectDirectXVersion(&packed, text), S_OK);
    EXPECT_EQ(packed, 0x00090003u);
    EXPECT_STREQ(text, "9.0c");
  }
  EXPECT_EQ(DetectDirectXVersion(nullptr, nullptr), S_OK);
}

TEST_F(DiagTest, DirectXVersionFallsBackToTheSystemLibraries) {
  struct Case {
    const char* what;
    bool provider;  // 9.0 with an empty letter: the provider read fails
    std::vector<std::pair<std::string, uint64_t>> files;
    DWORD packed;
    const char* text;
  } cases[] = {
      {"empty letter, d3d9.dll", true, {{"d3d9.dll", PeVersion(5, 3, 0, 1)}}, 0x00090000, "9.0"},
      {"7.0a", false, {{"ddraw.dll", PeVersion(4, 7, 0, 700)}, {"dinput.dll", PeVersion(4, 7, 0, 716)}},
       0x00070001, "7.0a"},
      {"modern ddraw only", false, {{"ddraw.dll", PeVersion(6, 0, 6000, 16386)}}, 0x00070000, "7.0"},
      {"8.1b", false,
       {{"ddraw.dll", PeVersion(5, 1, 2258, 400)}, {"d3d8.dll", PeVersion(5, 1, 2600, 901)},
        {"mpg2splt.ax", PeVersion(6, 3, 1, 885)}},
       0x00080102, "8.1b"},
      {"8.0 needs major part 4 or 5", false, {{"ddraw.dll", PeVersion(4, 8, 0, 400)}}, 0x00080000, "8.0"},
      {"nothing", false, {}, 0, "0.0"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(root_ + "/drives/c/Windows");
    if (c.provider) {
      Provider(9, 0, "");
    } else {
      pt::FailDxDiagProvider(E_FAIL);
    }
    for (const auto& [name, version] : c.files) SystemFile(name, version);
    DWORD packed = 1;
    char text[10];
    ASSERT_EQ(DetectDirectXVersion(&packed, text), S_OK) << c.what;
    EXPECT_EQ(packed, c.packed) << c.what;
    EXPECT_STREQ(text, c.text) << c.what;
  }
}

TEST_F(DiagTest, FileVersionReadReportsItsErrors) {
  uint64_t v = 0;
  EXPECT_EQ(ReadFileVersion(nullptr, &v), E_INVALIDARG);
  EXPECT_EQ(ReadFileVersion("C:\\x.dll", nullptr), E_INVALIDARG);
  EXPECT_EQ(ReadFileVersion("C:\\missing.dll", &v), E_FAIL);
  SystemFile("v.dll", PeVersion(1, 2, 3, 4));
  EXPECT_EQ(ReadFileVersion("C:\\Windows\\system32\\v.dll", &v), S_OK);
  EXPECT_EQ(v, 0x0001000200030004ull);
}

// ---- CheckSystem and GetResolutions ------------------------------------------

TEST_F(DiagTest, CheckSystemClassifiesEachRequirement) {
  struct Case {
    const char* what;
    DWORD osMajor, osMinor;
    int dx;  // 0 machine provider, 1 provider 8.1b, 2 no provider and no files, 3 no provider, d3d9.dll
    DWORD texW, texH, misc;
    int32_t expected;
  } cases[] = {
      {"working machine", 5, 1, 0, 4096, 4096, 0x80, 0},
      {"4.0", 4, 0, 0, 4096, 4096, 0x80, 1},
      {"4.10 passes", 4, 10, 0, 4096, 4096, 0x80, 0},
      {"4.90 passes", 4, 90, 0, 4096, 4096, 0x80, 0},
      {"DirectX 8.1b", 5, 1, 1, 4096, 4096, 0x80, 3},
      {"no DirectX", 5, 1, 2, 4096, 4096, 0x80, 2},
      {"files say 9.0", 5, 1, 3, 4096, 4096, 0x80, 0},
      {"2048 x 1024 textures", 5, 1, 0, 2048, 1024, 0x80, 0},
      {"1024 x 512 textures", 5, 1, 0, 1024, 512, 0x80, 4},
      {"no colour-write masking", 5, 1, 0, 4096, 4096, 0x02, 4},
  };
  for (const Case& c : cases) {
    pt::Reset();
    pt::SetPlatformRoot(root_);
    std::filesystem::remove_all(root_ + "/drives/c/Windows");
    pt::SetOsVersion(c.osMajor, c.osMinor, 1000, VER_PLATFORM_WIN32_NT, "");
    if (c.dx == 1) Provider(8, 1, "b");
    if (c.dx >= 2) pt::FailDxDiagProvider(E_FAIL);
    if (c.dx == 3) SystemFile("d3d9.dll", PeVersion(5, 3, 2600, 2180));
    pt::AdapterProfile p = pt::DefaultAdapterProfile();
    p.maxTextureWidth = c.texW;
    p.maxTextureHeight = c.texH;
    p.primitiveMiscCaps = c.misc;
    pt::SetAdapterProfile(p);
    EXPECT_EQ(checkSystem_(), c.expected) << c.what;
  }
}

TEST_F(DiagTest, ResolutionsAreFilteredPackedAndKeepTheAdapterOrder) {
  pt::AdapterProfile p = pt::DefaultAdapterProfile();
  p.modes = {{800, 600, 60, D3DFMT_X8R8G8B8},   {1024, 768, 60, D3DFMT_X8R8G8B8},
             {1024, 768, 75, D3DFMT_X8R8G8B8},  {1280, 1024, 60, D3DFMT_X8R8G8B8},
             {1280, 720, 60, D3DFMT_X8R8G8B8},  {1024, 768, 85, D3DFMT_X8R8G8B8}};
  pt::SetAdapterProfile(p);
  uint32_t modes[100] = {};
  ASSERT_EQ(getResolutions_(modes, 100), 3);
  EXPECT_EQ(modes[0], 0x04000300u);
  EXPECT_EQ(modes[1], 0x05000400u);
  EXPECT_EQ(modes[2], 0x04000300u);  // the size came back after another
  uint32_t one[2] = {7, 7};
  EXPECT_EQ(getResolutions_(one, 1), 1);
  EXPECT_EQ(one[0], 0x04000300u);
  EXPECT_EQ(one[1], 7u);
  EXPECT_EQ(getResolutions_(one, 0), 0);
  EXPECT_EQ(getResolutions_(one, -5), 0);
  EXPECT_EQ(getResolutions_(nullptr, 100), 0);
  EXPECT_EQ(one[0], 0x04000300u);
}

// ---- DxDiag reader ------------------------------------------------------------

TEST_F(DiagTest, ReaderCutsTextsAndStopsARecordAtItsFirstMissingProperty) {
  pt::DxDiagNode tree = pt::MachineDxDiagTree();
  pt::DxDiagNode& system = tree.Child("DxDiag_SystemInfo");
  system.SetString("szBuildLab", std::string(150, 'x')).SetString("ullPhysicalMemory", "8589934592");
  system.Remove("ExtendedCPUFunctionBitmasks_0x80000009_bits0_31");
  pt::DxDiagNode& displays = tree.Child("DxDiag_DisplayDevices");
  pt::DxDiagNode second = displays.children.at(0);
  second.name = "1";
  second.SetString("szDescription", "Second").Remove("szDXVAModes");
  displays.children.push_back(second);
  displays.children.push_back(displays.children.at(0));
  displays.children.back().name = "2";
  pt::SetDxDiagTree(tree);

  DxDiagReader reader;
  ASSERT_EQ(reader.Init(), S_OK);
  ASSERT_EQ(reader.CollectAll(), S_OK);
  ASSERT_NE(reader.systemInfo(), nullptr);
  EXPECT_EQ(std::string(reader.systemInfo()->szBuildLab), std::string(99, 'x'));
  EXPECT_EQ(reader.systemInfo()->ullPhysicalMemory, 8589934592ull);
  EXPECT_EQ(std::string(reader.systemInfo()->szDirectXVersionLetter), "c");
  EXPECT_STRNE(reader.systemInfo()->szTimeEnglish, "x");  // read before the bit masks
  ASSERT_EQ(reader.displayDevices().size(), 2u);  // the list ends with the device that failed
  const DxDiagDisplayInfo& failed = reader.displayDevices()[1]->info;
  EXPECT_STREQ(failed.szDescription, "Second");
  EXPECT_EQ(failed.bAGPExistenceValid, 0u);
  EXPECT_STREQ(failed.szD3DStatusEnglish, "");

  DxDiagReader empty;
  EXPECT_EQ(empty.CollectAll(), E_INVALIDARG);
}

TEST_F(DiagTest, ReaderRefusesAPropertyOfTheWrongType) {
  pt::DxDiagNode tree;
  tree.Child("DxDiag_SystemInfo").SetU32("dwOSMajorVersion", 6).SetString("dwOSMinorVersion", "1");
  pt::SetDxDiagTree(tree);
  DxDiagReader reader;
  ASSERT_EQ(reader.Init(), S_OK);
  reader.CollectAll();
  ASSERT_NE(reader.systemInfo(), nullptr);
  EXPECT_EQ(reader.systemInfo()->dwOSMajorVersion, 6u);
  EXPECT_EQ(reader.systemInfo()->dwOSMinorVersion, 0u);
  EXPECT_TRUE(reader.displayDevices().empty());
}

// ---- Report ---------------------------------------------------------------------

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  size_t a = text.find(from);
  size_t b = text.find(to, a == std::string::npos ? 0 : a);
  if (a == std::string::npos || b == std::string::npos) return "<missing>";
  return text.substr(a, b - a);
}

TEST_F(DiagTest, ReportIsRefusedWithoutTheKeyOrAFolder) {
  pt::WriteText(work_ + "/keep.txt", "old");
  EXPECT_EQ(saveDiag_(0x4B6D2A59, (work_ + "/keep.txt").c_str()), -2);
  EXPECT_EQ(pt::ReadText(work_ + "/keep.txt"), "old");
  EXPECT_EQ(saveDiag_(kDiagReportKey, "C:\\no\\such\\folder\\r.txt"), -1);
}

TEST_F(DiagTest, ReportWithoutAProviderSaysSoInEachChapter) {
  pt::FailDxDiagProvider(E_FAIL);
  ASSERT_EQ(saveDiag_(kDiagReportKey, "report.txt"), 0);
  std::string text = pt::ReadText(work_ + "/report.txt");
  EXPECT_EQ(text.substr(0, text.find("----- Chapter IV")),
            "+++++ Brindlewerk Entertainment Diagnostic Tool v1 +++++\n\n"
            "----- Chapter I: System -----\n\nFailed to get provider.\n"
            "\n\n----- Chapter II: Display -----\n\nFailed to get provider."
            "\n\n----- Chapter III: Audio -----\n\nFailed to get provider.\n\n\n");
  EXPECT_NE(text.find("----- Appendix A: TARVEL.LOG -----\n\nLogfile does not exist.\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 23), "\n\n----- The End -----\n\n");
}

TEST_F(DiagTest, Direct3DFailuresAreReportedNotCrashed) {
  // Each failing call: what CheckSystem answers, and the line Appendix B gets.
  struct Case {
    const char* call;
    int32_t check;
    const char* appendix;
  } cases[] = {
      {"Direct3DCreate9", 3, "DirectX creation failed.\n"},
      {"GetDeviceCaps", 3, "Device caps failed.\n"},
      {"GetAdapterIdentifier", 0, "Adapter identifier failed.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    pt::ResetD3D9();
    pt::FailD3D9Call(c.call, D3DERR_NOTAVAILABLE);
    EXPECT_EQ(checkSystem_(), c.check);
    ASSERT_EQ(saveDiag_(kDiagReportKey, "report.txt"), 0);
    std::string text = pt::ReadText(work_ + "/report.txt");
    std::string caps = text.substr(text.find("----- Appendix B"));
    EXPECT_NE(caps.find(c.appendix), std::string::npos);
  }
  uint32_t modes[4] = {};
  EXPECT_EQ(getResolutions_(modes, 4), 4);  // the default profile has more
  pt::ResetD3D9();
  pt::FailD3D9Call("Direct3DCreate9", E_FAIL);
  EXPECT_EQ(getResolutions_(modes, 4), 0);
  pt::ResetD3D9();
}

TEST_F(DiagTest, ReportGoldenFromAFixedMachine) {
  pt::AdapterProfile profile = pt::DefaultAdapterProfile();
  profile.description = "Golden Adapter";
  profile.driver = "golden.dll";
  pt::SetAdapterProfile(profile);
  pt::DxDiagNode tree = pt::MachineDxDiagTree();
  pt::DxDiagNode& s = tree.Child("DxDiag_SystemInfo");
  s.SetString("szOSExLongEnglish", "Test OS").SetString("szLanguagesEnglish", "English");
  s.SetString("szProcessorEnglish", "Test CPU").SetString("szDirectXVersionLongEnglish", "DirectX 9.0c");
  s.SetString("szMachineNameEnglish", "BOX").SetString("szSystemManufacturerEnglish", "Maker");
  s.SetString("szSystemModelEnglish", "Model 1").SetString("szBIOSEnglish", "BIOS 2");
  s.SetString("szPhysicalMemoryEnglish", "512MB RAM").SetString("szPageFileEnglish", "1MB used");
  pt::DxDiagNode& disks = tree.Child("DxDiag_LogicalDisks");
  disks.children = {pt::EmptyDxDiagRecord("LogicalDisk", "0"), pt::EmptyDxDiagRecord("LogicalDisk", "1")};
  disks.children[0].SetString("szDriveLetter", "C:").SetString("szModel", "Disk A").SetString("szFileSystem", "NTFS");
  disks.children[0].SetString("szMaxSpace", "100").SetString("szFreeSpace", "40").SetU32("dwHardDriveIndex", 1);
  disks.children[1].SetString("szDriveLetter", "D:").SetString("szModel", "CD").SetString("szFileSystem", "CDFS");
  pt::DxDiagNode& d = tree.Child("DxDiag_DisplayDevices.0");
  d.SetString("szKeyDeviceID", "PCI").SetString("szKeyDeviceKey", "Key").SetString("szDACType", "DAC");
  d.SetString("szRevision", "A1").SetString("szDisplayMemoryEnglish", "256.0 MB").SetI32("lDriverSize", 1234);
  d.SetString("szDriverAttributes", "Final Retail").SetString("szDriverDateEnglish", "1/2/2006");
  d.SetString("szMiniVdd", "mini.sys").SetI32("lMiniVddSize", 99).SetString("szMiniVddDateEnglish", "3/4/2006");
  d.SetBool("bAGPEnabled", true).SetBool("bDriverBeta", true);
  pt::DxDiagNode& sounds = tree.Child("DxDiag_DirectSound.DxDiag_SoundDevices");
  sounds.children = {pt::EmptyDxDiagRecord("SoundDevice", "0")};
  pt::DxDiagNode& a = sounds.children[0];
  a.SetString("szHardwareID", "HDA").SetString("szType", "WDM").SetString("szDescription", "Speakers");
  a.SetString("szRegKey", "Reg").SetString("szProvider", "ALSA").SetString("szDriverName", "snd.sys");
  a.SetI32("lNumBytes", 5).SetString("szDriverVersion", "1.0").SetString("szDriverAttributes", "Final");
  a.SetString("szDriverDateEnglish", "5/6/2007").SetI32("lAccelerationLevel", -1);
  a.SetU32("dwMaxHwMixingAllBuffers", 1).SetU32("dwMaxHwMixingStaticBuffers", 2).SetU32("dwMaxHwMixingStreamingBuffers", 3);
  a.SetU32("dwFreeHw3DAllBuffers", 4).SetU32("dwTotalHwMemBytes", 6).SetU32("dwFreeHwMemBytes", 7);
  a.SetU32("dwFlags", 3840).SetBool("bEAX20Listener", true).SetBool("bDefaultSoundPlayback", true);
  // Capture devices are read but not printed.
  tree.Child("DxDiag_DirectSound.DxDiag_SoundCaptureDevices").children = {
      pt::EmptyDxDiagRecord("SoundCaptureDevice", "0").SetString("szDescription", "Microphone")};
  pt::SetDxDiagTree(tree);

  pt::WriteText(root_ + "/registry/HKEY_CURRENT_USER.reg",
                "Windows Registry Editor Version 5.00\n\n"
                "[HKEY_CURRENT_USER\\Software\\Brindlewerk]\n"
                "\"Name\"=\"Brindle\"\n\n"
                "[HKEY_CURRENT_USER\\Software\\Brindlewerk\\Kestrelmoor]\n"
                "\"ScreenRes\"=dword:04000300\n"
                "\"Minus\"=dword:ffffffff\n"
                "\"Blob\"=hex:01,02\n"
                "\"Path\"=hex(2):25,41,25,00\n"
                "\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00\n"
                "\"Raw\"=hex(1):61,62\n"
                "\"" + std::string(300, 'n') + "\"=dword:00000001\n"
                "\"After\"=dword:00000002\n\n"
                "[HKEY_CURRENT_USER\\Software\\Brindlewerk\\Kestrelmoor\\Sub]\n"
                "\"Deep\"=\"x\"\n\n"
                "[HKEY_CURRENT_USER\\Software\\Other]\n"
                "\"No\"=\"y\"\n");

  std::filesystem::create_directories(work_ + "/game/sys");
  pt::WriteText(work_ + "/game/readme.txt", "hello");
  testkit::PeOptions o;
  o.fileVersion = PeVersion(1, 2, 3, 4);
  ASSERT_TRUE(testkit::WriteExecutable(work_ + "/game/sys/lib.dll", o));
  ASSERT_EQ(symlink("..", (work_ + "/game/sys/up").c_str()), 0);  // a loop if followed; a folder link is neither listed nor entered
  pt::WriteText(work_ + "/game/tarvel.log", "line one\nline two\n");
  timespec times[2] = {{0, UTIME_OMIT}, {1136214245, 0}};  // 2006-01-02 15:04:05 UTC
  for (const char* f : {"/game/readme.txt", "/game/sys/lib.dll", "/game/tarvel.log"}) {
    ASSERT_EQ(utimensat(AT_FDCWD, (work_ + f).c_str(), times, 0), 0);
  }
  ASSERT_EQ(utimensat(AT_FDCWD, (work_ + "/game/sys/up").c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  ASSERT_EQ(chdir((work_ + "/game").c_str()), 0);

  ASSERT_EQ(saveDiag_(kDiagReportKey, "..\\report.txt"), 0);
  std::string text = pt::ReadText(work_ + "/report.txt");
  EXPECT_EQ(Between(text, "+++++", "----- Appendix B"),
            "+++++ Brindlewerk Entertainment Diagnostic Tool v1 +++++\n\n"
            "----- Chapter I: System -----\n\n"
            "OpSys:  Test OS\nLang :  English\nCPU  :  Test CPU\nDxVer:  DirectX 9.0c\nName :  BOX\n"
            "Manuf:  Maker\nModel:  Model 1\nBIOS :  BIOS 2\nPhysM:  512MB RAM\nVirtM:  1MB used\n"
            "Disk0:  C:\nModel:  Disk A\nFSys :  NTFS\nSpace:  Max 100  Free 40\nHDIdx:  1\n"
            "Disk1:  D:\nModel:  CD\n"
            "\n\n----- Chapter II: Display -----\n\n"
            "[ Display 0 - \\\\.\\DISPLAY1 ]\nDesc :  Golden Adapter\nDevID:  PCI\nDevKe:  Key\n"
            "Manuf:  Golden Adapter\nChipT:  Golden Adapter\nDACT :  DAC\nRevis:  A1\nMem  :  256.0 MB\n"
            "Mode :  1024 x 768 (32 bit) (60Hz)\nDrivr:  golden.dll, 1234\nDvVer:  6.14.0010.9371\n"
            "DvAtt:  Final Retail\nDvDat:  1/2/2006\nMnVdd:  mini.sys, 99\nMnDat:  3/4/2006\n"
            "Flags:  CanRenderWindow 3DAccel AGPEnabled DriverBeta "
            "\n\n----- Chapter III: Audio -----\n\n"
            "[ Audio 0 - HDA ]\nType :  WDM\nDesc :  Speakers\nDevKe:  Reg\nProv :  ALSA\nDrivr:  snd.sys, 5\n"
            "DvVer:  1.0\nDvAtt:  Final\nDvDat:  5/6/2007\nAccLv:  -1\n"
            "MHwMx:  All 1  Static 2  Stream 3\nFHwMx:  All 0  Static 0  Stream 0\n"
            "MHw3D:  All 0  Static 0  Stream 0\nFHw3D:  All 4  Static 0  Stream 0\n"
            "Mem  :  Total 6  Free 7\nFlags:  3840 EAX20Listener DefaultSoundPlayback "
            "\n\n----- Chapter IV: Files -----\n\n"
            "\\readme.txt    Date: 2006-1-2 15:4, Size: 5, Att: A\n"
            "\\tarvel.log    Date: 2006-1-2 15:4, Size: 18, Att: A\n"
            "\\sys\\lib.dll    Date: 2006-1-2 15:4, Size: 1024, Att: A, Version: 1.2.3.4\n"
            "\n\n----- Chapter V: Registry -----\n\n"
            "Software\\Brindlewerk\\Name = Brindle\n"
            "Software\\Brindlewerk\\Kestrelmoor\\ScreenRes = 67109632\n"
            "Software\\Brindlewerk\\Kestrelmoor\\Minus = -1\n"
            "Software\\Brindlewerk\\Kestrelmoor\\Blob = (unknown value)\n"
            "Software\\Brindlewerk\\Kestrelmoor\\Path = %A%\n"
            "Software\\Brindlewerk\\Kestrelmoor\\Multi = one\n"
            "Software\\Brindlewerk\\Kestrelmoor\\Raw = ab\n"
            "Software\\Brindlewerk\\Kestrelmoor\\After = 2\n"
            "Software\\Brindlewerk\\Kestrelmoor\\Sub\\Deep = x\n"
            "\n\n----- Appendix A: TARVEL.LOG -----\n\n"
            "line one\nline two\n\n\n");
  std::string caps = Between(text, "----- Appendix B", "----- The End");
  EXPECT_EQ(Between(caps, "Adapter:", "MaxVolumeExtent"),
            "Adapter: \\\\.\\DISPLAY1\nDescription: Golden Adapter\nDriver: golden.dll\n\n"
            "MaxTextureSize: ____________ W 4096  H 4096\n");
  EXPECT_NE(caps.find("MaxNpatchTessellationLevel:  0\n"), std::string::npos);
  EXPECT_NE(caps.find("GuardBand: _________________ 0  0  0  0\n"), std::string::npos);
  EXPECT_NE(caps.find("PixelShaderVersion: ________ 3.0\n"), std::string::npos);
  EXPECT_NE(caps.find("D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD No\n"), std::string::npos);
  EXPECT_NE(caps.find("D3DCAPS2_CANAUTOGENMIPMAP _______________ Yes\n"), std::string::npos);
  EXPECT_NE(caps.find("[CursorCaps]\nD3DCURSORCAPS_COLOR  No\nD3DCURSORCAPS_LOWRES No\n\n"), std::string::npos);
  EXPECT_NE(caps.find("D3DPMISCCAPS_COLORWRITEENABLE _________ Yes\n"), std::string::npos);
  EXPECT_NE(caps.find("[PS20Caps]\nD3DPS20CAPS_ARBITRARYSWIZZLE ______ No\n"), std::string::npos);
  EXPECT_NE(caps.find("D3DPS20CAPS_NUMTEMPS ______________ 0\nD3DPS20CAPS_STATICFLOWCONTROLDEPTH  0\n"
                      "D3DPS20CAPS_NUMINSTRUCTIONSLOTS ___ 0\n\n[VertexTextureFilterCaps]"),
            std::string::npos);
  EXPECT_EQ(Between(caps, "[SrcBlendCaps]", "[DestBlendCaps]").substr(14),
            Between(caps, "[DestBlendCaps]", "[AlphaCmpCaps]").substr(15));
  ASSERT_EQ(chdir(work_.c_str()), 0);
}

}  // namespace
