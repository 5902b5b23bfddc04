// SaveDiagToFile: the long plain-text system report.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "diag/brddiag.h"
#include "diag/caps_appendix.h"
#include "diag/dxdiag_reader.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

namespace {

constexpr int kToolVersion = 1;
constexpr DWORD kNameChars = 254;
constexpr DWORD kValueBytes = 1023;

void WriteSystem(FILE* out, const DxDiagReader& reader) {
  const DxDiagSystemInfo* s = reader.systemInfo();
  if (!s) return;
  std::fprintf(out, "OpSys:  %s\n", s->szOSExLongEnglish);
  std::fprintf(out, "Lang :  %s\n", s->szLanguagesEnglish);
  std::fprintf(out, "CPU  :  %s\n", s->szProcessorEnglish);
  std::fprintf(out, "DxVer:  %s\n", s->szDirectXVersionLongEnglish);
  std::fprintf(out, "Name :  %s\n", s->szMachineNameEnglish);
  std::fprintf(out, "Manuf:  %s\n", s->szSystemManufacturerEnglish);
  std::fprintf(out, "Model:  %s\n", s->szSystemModelEnglish);
  std::fprintf(out, "BIOS :  %s\n", s->szBIOSEnglish);
  std::fprintf(out, "PhysM:  %s\n", s->szPhysicalMemoryEnglish);
  std::fprintf(out, "VirtM:  %s\n", s->szPageFileEnglish);
  int i = 0;
  for (const auto& disk : reader.logicalDisks()) {
    const DxDiagLogicalDiskInfo& d = disk->info;
    std::fprintf(out, "Disk%d:  %s\n", i++, d.szDriveLetter);
    std::fprintf(out, "Model:  %s\n", d.szModel);
    if (d.dwHardDriveIndex > 0) {
      std::fprintf(out, "FSys :  %s\n", d.szFileSystem);
      std::fprintf(out, "Space:  Max %s  Free %s\n", d.szMaxSpace, d.szFreeSpace);
      std::fprintf(out, "HDIdx:  %d\n", static_cast<int>(d.dwHardDriveIndex));
    }
  }
}

void WriteDisplay(FILE* out, const DxDiagReader& reader) {
  int i = 0;
  for (const auto& device : reader.displayDevices()) {
    const DxDiagDisplayInfo& d = device->info;
    std::fprintf(out, "[ Display %d - %s ]\n", i++, d.szDeviceName);
    std::fprintf(out, "Desc :  %s\n", d.szDescription);
    std::fprintf(out, "DevID:  %s\n", d.szKeyDeviceID);
    std::fprintf(out, "DevKe:  %s\n", d.szKeyDeviceKey);
    std::fprintf(out, "Manuf:  %s\n", d.szManufacturer);
    std::fprintf(out, "ChipT:  %s\n", d.szChipType);
    std::fprintf(out, "DACT :  %s\n", d.szDACType);
    std::fprintf(out, "Revis:  %s\n", d.szRevision);
    std::fprintf(out, "Mem  :  %s\n", d.szDisplayMemoryEnglish);
    std::fprintf(out, "Mode :  %s\n", d.szDisplayModeEnglish);
    std::fprintf(out, "Drivr:  %s, %d\n", d.szDriverName, d.lDriverSize);
    std::fprintf(out, "DvVer:  %s\n", d.szDriverVersion);
    std::fprintf(out, "DvAtt:  %s\n", d.szDriverAttributes);
    std::fprintf(out, "DvDat:  %s\n", d.szDriverDateEnglish);
    std::fprintf(out, "MnVdd:  %s, %d\n", d.szMiniVdd, d.lMiniVddSize);
    std::fprintf(out, "MnDat:  %s\n", d.szMiniVddDateEnglish);
    std::fprintf(out, "Flags:  %s%s%s%s%s", d.bCanRenderWindow ? "CanRenderWindow " : "",
                 d.bNoHardware ? "NoHardware " : "", d.b3DAccelerationEnabled ? "3DAccel " : "",
                 d.bAGPEnabled ? "AGPEnabled " : "", d.bDriverBeta ? "DriverBeta " : "");
  }
}

void WriteAudio(FILE* out, const DxDiagReader& reader) {
  int i = 0;
  auto n = [](DWORD v) { return static_cast<int>(v); };
  for (const auto& device : reader.soundDevices()) {
    const DxDiagSoundDevice& d = *device;
    std::fprintf(out, "[ Audio %d - %s ]\n", i++, d.szHardwareID);
    std::fprintf(out, "Type :  %s\n", d.szType);
    std::fprintf(out, "Desc :  %s\n", d.szDescription);
    std::fprintf(out, "DevKe:  %s\n", d.szRegKey);
    std::fprintf(out, "Prov :  %s\n", d.szProvider);
    std::fprintf(out, "Drivr:  %s, %d\n", d.szDriverName, d.lNumBytes);
    std::fprintf(out, "DvVer:  %s\n", d.szDriverVersion);
    std::fprintf(out, "DvAtt:  %s\n", d.szDriverAttributes);
    std::fprintf(out, "DvDat:  %s\n", d.szDriverDateEnglish);
    std::fprintf(out, "AccLv:  %d\n", d.lAccelerationLevel);
    std::fprintf(out, "MHwMx:  All %d  Static %d  Stream %d\n", n(d.dwMaxHwMixingAllBuffers),
                 n(d.dwMaxHwMixingStaticBuffers), n(d.dwMaxHwMixingStreamingBuffers));
    std::fprintf(out, "FHwMx:  All %d  Static %d  Stream %d\n", n(d.dwFreeHwMixingAllBuffers),
                 n(d.dwFreeHwMixingStaticBuffers), n(d.dwFreeHwMixingStreamingBuffers));
    std::fprintf(out, "MHw3D:  All %d  Static %d  Stream %d\n", n(d.dwMaxHw3DAllBuffers),
                 n(d.dwMaxHw3DStaticBuffers), n(d.dwMaxHw3DStreamingBuffers));
    std::fprintf(out, "FHw3D:  All %d  Static %d  Stream %d\n", n(d.dwFreeHw3DAllBuffers),
                 n(d.dwFreeHw3DStaticBuffers), n(d.dwFreeHw3DStreamingBuffers));
    std::fprintf(out, "Mem  :  Total %d  Free %d\n", n(d.dwTotalHwMemBytes), n(d.dwFreeHwMemBytes));
    std::fprintf(out, "Flags:  %d %s%s%s%s", n(d.dwFlags), d.bEAX20Listener ? "EAX20Listener " : "",
                 d.bEAX20Source ? "EAX20Source " : "", d.bDefaultSoundPlayback ? "DefaultSoundPlayback " : "",
                 d.bDriverBeta ? "DriverBeta " : "");
  }
}

// ", Version: a.b.c.d" when the file has a readable version resource.
void WriteFileVersion(FILE* out, const std::string& path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return;
  std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]);
  if (!block || !GetFileVersionInfoA(path.c_str(), handle, size, block.get())) return;
  void* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.get(), "\\", &info, &length) || !info || length < sizeof(VS_FIXEDFILEINFO)) return;
  VS_FIXEDFILEINFO f;
  std::memcpy(&f, info, sizeof f);
  std::fprintf(out, ", Version: %d.%d.%d.%d", HIWORD(f.dwFileVersionMS), LOWORD(f.dwFileVersionMS),
               HIWORD(f.dwFileVersionLS), LOWORD(f.dwFileVersionLS));
}

// Files first, then each folder's branch; `relative` is "" or "\sub\...".
// Symbolic links are listed but never entered, so a link to a folder above
// cannot loop.
void ListFiles(FILE* out, const std::string& start, const std::string& relative) {
  std::string pattern = start + relative + "\\*.*";
  WIN32_FIND_DATAA d;
  HANDLE search = FindFirstFileA(pattern.c_str(), &d);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    SYSTEMTIME t{};
    FileTimeToSystemTime(&d.ftCreationTime, &t);
    std::string attributes;
    const struct {
      DWORD bit;
      char letter;
    } kLetters[] = {{FILE_ATTRIBUTE_ARCHIVE, 'A'}, {FILE_ATTRIBUTE_COMPRESSED, 'C'}, {FILE_ATTRIBUTE_HIDDEN, 'H'},
                    {FILE_ATTRIBUTE_NORMAL, 'N'},  {FILE_ATTRIBUTE_OFFLINE, 'O'},    {FILE_ATTRIBUTE_READONLY, 'R'},
                    {FILE_ATTRIBUTE_SYSTEM, 'S'}};
    for (const auto& l : kLetters) {
      if (d.dwFileAttributes & l.bit) attributes += l.letter;
    }
    // The whole size: files of 2 GiB and more print in full.
    unsigned long long size = (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    std::fprintf(out, "%s\\%s    Date: %d-%d-%d %d:%d, Size: %llu, Att: %s", relative.c_str(), d.cFileName, t.wYear,
                 t.wMonth, t.wDay, t.wHour, t.wMinute, size, attributes.c_str());
    WriteFileVersion(out, start + relative + "\\" + d.cFileName);
    std::fprintf(out, "\n");
  } while (FindNextFileA(search, &d));
  FindClose(search);

  search = FindFirstFileA(pattern.c_str(), &d);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      continue;
    }
    if (std::strcmp(d.cFileName, ".") == 0 || std::strcmp(d.cFileName, "..") == 0) continue;
    ListFiles(out, start, relative + "\\" + d.cFileName);
  } while (FindNextFileA(search, &d));
  FindClose(search);
}

void WriteValue(FILE* out, HKEY key, const std::string& path, const char* name, DWORD type) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
      // Terminated whatever the data holds; a longer string is cut to the
      // buffer, and of a multi-string only the first string shows.
      char data[kValueBytes + 1] = {};
      DWORD size = kValueBytes;
      LONG r = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
      if (r == ERROR_MORE_DATA) {
        std::vector<BYTE> whole(size);
        r = RegQueryValueExA(key, name, nullptr, nullptr, whole.data(), &size);
        if (r == ERROR_SUCCESS) std::memcpy(data, whole.data(), std::min<size_t>(size, kValueBytes));
      }
      if (r != ERROR_SUCCESS) data[0] = 0;
      data[kValueBytes] = 0;
      std::fprintf(out, "%s\\%s = %s\n", path.c_str(), name, data);
      break;
    }
    case REG_DWORD: {
      BYTE data[4] = {};
      DWORD size = sizeof data;
      if (RegQueryValueExA(key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS) size = 0;
      uint32_t v = 0;
      for (DWORD i = 0; i < size && i < 4; ++i) v |= static_cast<uint32_t>(data[i]) << (8 * i);
      std::fprintf(out, "%s\\%s = %d\n", path.c_str(), name, static_cast<int32_t>(v));
      break;
    }
    default:
      std::fprintf(out, "%s\\%s = (unknown value)\n", path.c_str(), name);
      break;
  }
}

// Values first, then each subkey's branch. A name too long for the buffer
// is skipped and the enumeration goes on.
void DumpKey(FILE* out, const std::string& path, int depth) {
  HKEY key = nullptr;
  if (depth > 64 || RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    char name[kNameChars];
    DWORD nameSize = kNameChars;
    DWORD type = 0;
    LONG r = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, nullptr);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) break;
    WriteValue(out, key, path, name, type);
  }
  for (DWORD i = 0;; ++i) {
    char name[kNameChars];
    DWORD nameSize = kNameChars;
    LONG r = RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) break;
    DumpKey(out, path + "\\" + name, depth + 1);
  }
  RegCloseKey(key);
}

void CopyLog(FILE* out) {
  FILE* log = crt::fopen("tarvel.log", "rt");
  if (!log) {
    std::fprintf(out, "Logfile does not exist.\n");
    return;
  }
  char line[1023];
  while (std::fgets(line, sizeof line, log)) std::fputs(line, out);
  std::fclose(log);
}

}  // namespace

int32_t SaveDiagToFile(int32_t key, const char* path) {
  if (key != kDiagReportKey) return -2;
  if (!path) return -1;
  FILE* out = crt::fopen(path, "wt");
  if (!out) return -1;
  std::fprintf(out, "+++++ Brindlewerk Entertainment Diagnostic Tool v%d +++++", kToolVersion);
  std::fprintf(out, "\n\n----- Chapter I: System -----\n\n");
  bool comInitialised = SUCCEEDED(CoInitialize(nullptr));
  std::unique_ptr<DxDiagReader> reader(new (std::nothrow) DxDiagReader());
  if (reader && SUCCEEDED(reader->Init())) {
    reader->CollectAll();
    WriteSystem(out, *reader);
  } else {
    std::fprintf(out, "Failed to get provider.\n");
    reader.reset();
  }
  std::fprintf(out, "\n\n----- Chapter II: Display -----\n\n");
  if (reader) {
    WriteDisplay(out, *reader);
  } else {
    std::fprintf(out, "Failed to get provider.");
  }
  std::fprintf(out, "\n\n----- Chapter III: Audio -----\n\n");
  if (reader) {
    WriteAudio(out, *reader);
  } else {
    std::fprintf(out, "Failed to get provider.\n");
  }
  std::fprintf(out, "\n\n----- Chapter IV: Files -----\n\n");
  char folder[2047];
  DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  if (length > 0 && length < sizeof folder) ListFiles(out, folder, "");
  std::fprintf(out, "\n\n----- Chapter V: Registry -----\n\n");
  DumpKey(out, "Software\\Brindlewerk", 0);
  std::fprintf(out, "\n\n----- Appendix A: TARVEL.LOG -----\n\n");
  CopyLog(out);
  std::fprintf(out, "\n\n----- Appendix B: DirectX Caps -----\n\n");
  WriteCapsAppendix(out);
  std::fprintf(out, "\n\n----- The End -----\n\n");
  std::fclose(out);
  reader.reset();
  if (comInitialised) CoUninitialize();
  return 0;
}
