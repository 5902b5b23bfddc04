// The operating-system version, the system folder, and version resources read
// from Windows executables (PE32 and PE32+). Executables are untrusted
// input: every offset and size is checked against the file before it is read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

constexpr char kSystemFolder[] = "C:\\Windows\\system32";
constexpr char kOsVersionSetting[] = "win32.os_version";
constexpr DWORD kRtVersion = 16;
// A version resource's own length field is 16 bits wide.
constexpr DWORD kMaxVersionResource = 0xFFFF;
constexpr DWORD kVersionBlockHeader = 6;

// Reads little-endian fields of a file by offset, never past its end.
class FileReader {
 public:
  explicit FileReader(const char* windowsPath) {
    std::string path = platform::MapPath(windowsPath);
    // Non-blocking, so a named pipe does not hang the open.
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
      error_ = errno == ENOENT ? ERROR_FILE_NOT_FOUND : platform::detail::ErrorFromErrno(errno);
      return;
    }
    struct stat st;
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      error_ = ERROR_RESOURCE_DATA_NOT_FOUND;
      return;
    }
    size_ = static_cast<uint64_t>(st.st_size);
  }
  ~FileReader() {
    if (fd_ >= 0) close(fd_);
  }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  DWORD error() const { return error_; }

  bool Read(uint64_t offset, void* out, size_t length) const {
    if (error_ != 0 || offset > size_ || length > size_ - offset) return false;
    auto* p = static_cast<char*>(out);
    while (length > 0) {
      ssize_t got = pread(fd_, p, length, static_cast<off_t>(offset));
      if (got <= 0) return false;
      p += got;
      offset += static_cast<uint64_t>(got);
      length -= static_cast<size_t>(got);
    }
    return true;
  }
  bool U16(uint64_t offset, uint32_t* v) const {
    uint8_t b[2];
    if (!Read(offset, b, 2)) return false;
    *v = b[0] | (b[1] << 8);
    return true;
  }
  bool U32(uint64_t offset, uint32_t* v) const {
    uint8_t b[4];
    if (!Read(offset, b, 4)) return false;
    *v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
  }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  DWORD error_ = 0;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

// Where the version resource lies in the file.
struct Located {
  uint64_t offset = 0;
  uint32_t size = 0;
};

// The file offset of `length` bytes at `rva`, when one section's raw data
// holds them all.
bool RvaToOffset(const std::vector<Section>& sections, uint32_t rva, uint32_t length, uint64_t* offset) {
  for (const Section& s : sections) {
    if (rva < s.virtualAddress) continue;
    uint64_t into = rva - s.virtualAddress;
    if (into + length > s.rawSize) continue;
    *offset = static_cast<uint64_t>(s.rawOffset) + into;
    return true;
  }
  return false;
}

// One step down the resource tree: the entry of directory `dir` (an offset
// into the resource data) whose id is `id`, or the first entry when `id` is
// negative. `wantDirectory` says which kind of entry the level must hold.
bool FindEntry(const FileReader& file, const std::vector<Section>& sections, uint32_t rsrcRva, uint32_t dir,
               long id, bool wantDirectory, uint32_t* target) {
  uint64_t at;
  if (!RvaToOffset(sections, rsrcRva + dir, 16, &at)) return false;
  uint32_t named, ids;
  if (!file.U16(at + 12, &named) || !file.U16(at + 14, &ids)) return false;
  uint32_t count = named + ids;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t entry;
    if (!RvaToOffset(sections, rsrcRva + dir + 16 + i * 8, 8, &entry)) return false;
    uint32_t name, data;
    if (!file.U32(entry, &name) || !file.U32(entry + 4, &data)) return false;
    bool isDirectory = (data & 0x80000000u) != 0;
    if (id >= 0 && ((name & 0x80000000u) || name != static_cast<uint32_t>(id))) continue;
    if (isDirectory != wantDirectory) continue;
    *target = data & 0x7FFFFFFFu;
    return true;
  }
  return false;
}

bool LocateVersionResource(const FileReader& file, Located* out) {
  uint32_t magic, peOffset;
  if (!file.U16(0, &magic) || magic != 0x5A4D || !file.U32(0x3C, &peOffset)) return false;
  uint32_t signature;
  if (!file.U32(peOffset, &signature) || signature != 0x00004550) return false;
  uint64_t coff = static_cast<uint64_t>(peOffset) + 4;
  uint32_t sectionCount, optionalSize, optionalMagic;
  if (!file.U16(coff + 2, &sectionCount) || !file.U16(coff + 16, &optionalSize)) return false;
  uint64_t optional = coff + 20;
  if (!file.U16(optional, &optionalMagic)) return false;
  uint32_t directories;
  if (optionalMagic == 0x10B) {
    directories = 96;
  } else if (optionalMagic == 0x20B) {
    directories = 112;
  } else {
    return false;
  }
  uint32_t directoryCount;
  if (!file.U32(optional + directories - 4, &directoryCount) || directoryCount < 3 ||
      optionalSize < directories + 3 * 8) {
    return false;
  }
  uint32_t rsrcRva, rsrcSize;
  if (!file.U32(optional + directories + 16, &rsrcRva) || !file.U32(optional + directories + 20, &rsrcSize) ||
      rsrcRva == 0 || rsrcSize == 0) {
    return false;
  }
  std::vector<Section> sections;
  uint64_t table = optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount && i < 96; ++i) {
    Section s{};
    uint64_t at = table + i * 40ull;
    if (!file.U32(at + 8, &s.virtualSize) || !file.U32(at + 12, &s.virtualAddress) ||
        !file.U32(at + 16, &s.rawSize) || !file.U32(at + 20, &s.rawOffset)) {
      return false;
    }
    sections.push_back(s);
  }
  // Type RT_VERSION, then its first name, then its first language.
  uint32_t names, languages, dataEntry;
  if (!FindEntry(file, sections, rsrcRva, 0, kRtVersion, true, &names) ||
      !FindEntry(file, sections, rsrcRva, names, -1, true, &languages) ||
      !FindEntry(file, sections, rsrcRva, languages, -1, false, &dataEntry)) {
    return false;
  }
  uint64_t entry;
  uint32_t dataRva, dataSize;
  if (!RvaToOffset(sections, rsrcRva + dataEntry, 16, &entry) || !file.U32(entry, &dataRva) ||
      !file.U32(entry + 4, &dataSize)) {
    return false;
  }
  // Anything shorter than the block's own header (length, value length,
  // type) is no version block; VerQueryValueA reads that header unchecked.
  if (dataSize < kVersionBlockHeader || dataSize > kMaxVersionResource) return false;
  if (!RvaToOffset(sections, dataRva, dataSize, &out->offset)) return false;
  out->size = dataSize;
  return true;
}

uint32_t Get16(const BYTE* p) { return p[0] | (p[1] << 8); }

}  // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD major = 5, minor = 1, build = 2600, platformId = VER_PLATFORM_WIN32_NT;
  std::string csd = "Service Pack 3";
  if (auto v = platform::testing::GetSetting(kOsVersionSetting)) {
    // "major.minor.build.platform:service pack"
    unsigned a = 0, b = 0, c = 0, d = 0;
    int used = 0;
    if (std::sscanf(v->c_str(), "%u.%u.%u.%u:%n", &a, &b, &c, &d, &used) == 4 && used > 0) {
      major = a;
      minor = b;
      build = c;
      platformId = d;
      csd = v->substr(static_cast<size_t>(used));
    }
  }
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = build;
  info->dwPlatformId = platformId;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::strncpy(info->szCSDVersion, csd.c_str(), sizeof info->szCSDVersion - 1);
  return TRUE;
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  constexpr UINT length = sizeof kSystemFolder - 1;
  if (!buffer || size < length + 1) return length + 1;
  std::memcpy(buffer, kSystemFolder, length + 1);
  return length;
}

DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
  if (handle) *handle = 0;
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  FileReader file(fileName);
  if (file.error()) {
    SetLastError(file.error());
    return 0;
  }
  Located located;
  if (!LocateVersionResource(file, &located)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
  }
  return located.size;
}

BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD size, LPVOID data) {
  if (!fileName || !data || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FileReader file(fileName);
  if (file.error()) {
    SetLastError(file.error());
    return FALSE;
  }
  Located located;
  if (!LocateVersionResource(file, &located)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  if (size < kVersionBlockHeader) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD copy = located.size < size ? located.size : size;
  auto* out = static_cast<BYTE*>(data);
  if (!file.Read(located.offset, out, copy)) {
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
  }
  // VerQueryValueA walks the block by its own length field: keep that within
  // what was copied, so a lying resource cannot send it past the buffer.
  if (copy >= 2 && Get16(out) > copy) {
    out[0] = static_cast<BYTE>(copy);
    out[1] = static_cast<BYTE>(copy >> 8);
  }
  return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
  if (!block || !subBlock || !buffer || !length) return FALSE;
  if (std::strcmp(subBlock, "\\") != 0) return FALSE;
  const auto* p = static_cast<const BYTE*>(block);
  uint32_t total = Get16(p);
  if (total < kVersionBlockHeader) return FALSE;
  uint32_t valueLength = Get16(p + 2);
  // The key "VS_VERSION_INFO" in UTF-16, then padding to 32 bits.
  static constexpr char kKey[] = "VS_VERSION_INFO";
  uint32_t at = 6;
  for (size_t i = 0; i < sizeof kKey; ++i, at += 2) {
    if (at + 2 > total || Get16(p + at) != static_cast<BYTE>(kKey[i])) return FALSE;
  }
  at = (at + 3) & ~3u;
  if (valueLength < sizeof(VS_FIXEDFILEINFO) || at + sizeof(VS_FIXEDFILEINFO) > total) return FALSE;
  uint32_t signature = Get16(p + at) | (Get16(p + at + 2) << 16);
  if (signature != VS_FFI_SIGNATURE) return FALSE;
  *buffer = const_cast<BYTE*>(p + at);
  *length = sizeof(VS_FIXEDFILEINFO);
  return TRUE;
}

namespace platform::testing {

void SetOsVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId, const std::string& servicePack) {
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:", major, minor, build, platformId);
  SetSetting(kOsVersionSetting, std::string(text) + servicePack);
}

void ClearOsVersion() { SetSetting(kOsVersionSetting, ""); }

}  // namespace platform::testing
