// System facts, memory queries and COM start-up.
#include <fcntl.h>
#include <pthread.h>
#include <sys/sysinfo.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

// ---- Locale -------------------------------------------------------------------

namespace {

struct LocaleId {
  const char* name;  // "de" matches any German territory not listed
  LCID lcid;
};

constexpr LocaleId kLocales[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_IE", 0x1809},
    {"en_NZ", 0x1409}, {"en", 0x0409},    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07},
    {"de_LU", 0x1007}, {"de_LI", 0x1407}, {"de", 0x0407},    {"fr_FR", 0x040C}, {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"fr", 0x040C},    {"es_ES", 0x0C0A},
    {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es", 0x0C0A},    {"it_IT", 0x0410}, {"it_CH", 0x0810},
    {"it", 0x0410},    {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"nl", 0x0413},    {"pt_BR", 0x0416},
    {"pt_PT", 0x0816}, {"pt", 0x0816},    {"pl", 0x0415},    {"ru", 0x0419},    {"cs", 0x0405},
    {"sk", 0x041B},    {"hu", 0x040E},    {"sv", 0x041D},    {"da", 0x0406},    {"nb", 0x0414},
    {"no", 0x0414},    {"nn", 0x0814},    {"fi", 0x040B},    {"tr", 0x041F},    {"el", 0x0408},
    {"ja", 0x0411},    {"ko", 0x0412},    {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04},
    {"zh", 0x0804},    {"uk", 0x0422},    {"ro", 0x0418},    {"bg", 0x0402},    {"hr", 0x041A},
    {"sl", 0x0424},    {"et", 0x0425},    {"lv", 0x0426},    {"lt", 0x0427},    {"he", 0x040D},
    {"ar", 0x0401},    {"th", 0x041E},    {"ca", 0x0403},    {"is", 0x040F},
};

LCID LcidFromLocale(std::string_view locale) {
  // language[_territory][.codeset][@modifier]
  size_t end = locale.find_first_of(".@");
  if (end != std::string_view::npos) locale = locale.substr(0, end);
  std::string_view language = locale.substr(0, locale.find('_'));
  for (const LocaleId& id : kLocales) {
    if (platform::detail::EqualsNoCase(locale, id.name)) return id.lcid;
  }
  for (const LocaleId& id : kLocales) {
    if (platform::detail::EqualsNoCase(language, id.name)) return id.lcid;
  }
  return 0x0409;
}

}  // namespace

LCID GetSystemDefaultLCID() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return LcidFromLocale(value);
  }
  return 0x0409;
}

LCID GetUserDefaultLCID() { return GetSystemDefaultLCID(); }
LANGID GetSystemDefaultLangID() { return static_cast<LANGID>(GetSystemDefaultLCID()); }

// ---- System and memory ---------------------------------------------------------

void GetSystemInfo(LPSYSTEM_INFO info) {
  if (!info) return;
  *info = {};
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFull);
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  info->dwNumberOfProcessors = static_cast<DWORD>(cpus > 0 ? cpus : 1);
  info->dwActiveProcessorMask =
      info->dwNumberOfProcessors >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << info->dwNumberOfProcessors) - 1;
  info->dwProcessorType = PROCESSOR_AMD_X8664;
  info->dwAllocationGranularity = 0x10000;
  info->wProcessorLevel = 6;
}

void GlobalMemoryStatus(LPMEMORYSTATUS status) {
  if (!status) return;
  struct sysinfo si {};
  sysinfo(&si);
  uint64_t unit = si.mem_unit ? si.mem_unit : 1;
  uint64_t total = si.totalram * unit;
  uint64_t avail = (si.freeram + si.bufferram) * unit;
  status->dwLength = sizeof(MEMORYSTATUS);
  status->dwMemoryLoad = total ? static_cast<DWORD>(100 - avail * 100 / total) : 0;
  status->dwTotalPhys = total;
  status->dwAvailPhys = avail;
  status->dwTotalPageFile = total + si.totalswap * unit;
  status->dwAvailPageFile = avail + si.freeswap * unit;
  status->dwTotalVirtual = 0x7FFFFFFE0000ull;
  status->dwAvailVirtual = 0x7FFFFFFE0000ull;
}

namespace {

// Reads /proc/self/maps whole with plain system calls.
std::string ReadMaps() {
  std::string text;
  int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) text.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

DWORD Protection(std::string_view perms) {
  bool r = perms.size() > 0 && perms[0] == 'r';
  bool w = perms.size() > 1 && perms[1] == 'w';
  bool x = perms.size() > 2 && perms[2] == 'x';
  if (x) return w ? PAGE_EXECUTE_READWRITE : r ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
  if (w) return PAGE_READWRITE;
  return r ? PAGE_READONLY : PAGE_NOACCESS;
}

}  // namespace

SIZE_T VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer, SIZE_T length) {
  if (!buffer || length < sizeof(MEMORY_BASIC_INFORMATION)) {
    SetLastError(ERROR_BAD_LENGTH);
    return 0;
  }
  uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t addr = reinterpret_cast<uintptr_t>(address);
  if (addr > 0x7FFFFFFFFFFFull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  uintptr_t pageAddr = addr & ~(page - 1);
  std::string maps = ReadMaps();
  uintptr_t nextStart = 0x800000000000ull;
  size_t pos = 0;
  while (pos < maps.size()) {
    size_t eol = maps.find('\n', pos);
    if (eol == std::string::npos) eol = maps.size();
    std::string_view line(maps.data() + pos, eol - pos);
    pos = eol + 1;
    char* end = nullptr;
    std::string lineCopy(line);
    uintptr_t start = std::strtoull(lineCopy.c_str(), &end, 16);
    if (!end || *end != '-') continue;
    uintptr_t stop = std::strtoull(end + 1, &end, 16);
    if (!end || *end != ' ') continue;
    std::string_view perms(end + 1, std::min<size_t>(4, lineCopy.c_str() + lineCopy.size() - (end + 1)));
    if (addr >= stop) continue;
    if (addr < start) {
      nextStart = start;
      break;
    }
    // Inside this mapping.
    bool fileBacked = line.find('/') != std::string_view::npos;
    buffer->BaseAddress = reinterpret_cast<PVOID>(pageAddr);
    buffer->AllocationBase = reinterpret_cast<PVOID>(start);
    buffer->AllocationProtect = Protection(perms);
    buffer->RegionSize = stop - pageAddr;
    buffer->State = MEM_COMMIT;
    buffer->Protect = Protection(perms);
    buffer->Type = fileBacked ? MEM_MAPPED : MEM_PRIVATE;
    // Inside a loaded module the allocation is the whole image.
    if (uintptr_t module = platform::detail::ModuleContaining(addr)) {
      buffer->AllocationBase = reinterpret_cast<PVOID>(module);
      buffer->Type = MEM_IMAGE;
    }
    return sizeof(MEMORY_BASIC_INFORMATION);
  }
  // A free region between two mappings.
  buffer->BaseAddress = reinterpret_cast<PVOID>(pageAddr);
  buffer->AllocationBase = nullptr;
  buffer->AllocationProtect = 0;
  buffer->RegionSize = nextStart - pageAddr;
  buffer->State = MEM_FREE;
  buffer->Protect = PAGE_NOACCESS;
  buffer->Type = 0;
  return sizeof(MEMORY_BASIC_INFORMATION);
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

namespace {

// Copies what is readable of [from, from + size) without touching it
// directly; returns the bytes copied before the first unreadable one.
size_t SafeCopy(uintptr_t from, void* to, size_t size) {
  static const bool kVmRead = [] {
    char probe = 0, copy = 1;
    iovec local{&copy, 1}, remote{&probe, 1};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == 1;
  }();
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  size_t done = 0;
  int pipeFds[2] = {-1, -1};
  if (!kVmRead && pipe2(pipeFds, O_CLOEXEC) != 0) return 0;
  while (done < size) {
    uintptr_t at = from + done;
    size_t chunk = std::min(size - done, page - (at % page));
    ssize_t n;
    if (kVmRead) {
      iovec local{static_cast<char*>(to) + done, chunk};
      iovec remote{reinterpret_cast<void*>(at), chunk};
      n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    } else {
      // Where the process may not read itself, a pipe reports EFAULT
      // for memory it cannot take.
      n = write(pipeFds[1], reinterpret_cast<const void*>(at), chunk);
      if (n > 0) n = read(pipeFds[0], static_cast<char*>(to) + done, static_cast<size_t>(n));
    }
    if (n <= 0) break;
    done += static_cast<size_t>(n);
    if (static_cast<size_t>(n) < chunk) break;
  }
  if (!kVmRead) {
    close(pipeFds[0]);
    close(pipeFds[1]);
  }
  return done;
}

}  // namespace

BOOL ReadProcessMemory(HANDLE process, LPCVOID baseAddress, LPVOID buffer, SIZE_T size, SIZE_T* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!buffer && size) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  size_t done = size ? SafeCopy(reinterpret_cast<uintptr_t>(baseAddress), buffer, size) : 0;
  if (bytesRead) *bytesRead = done;
  if (done < size) {
    SetLastError(done ? ERROR_PARTIAL_COPY : ERROR_NOACCESS);
    return FALSE;
  }
  return TRUE;
}

void GetCurrentThreadStackLimits(PULONG_PTR lowLimit, PULONG_PTR highLimit) {
  // Cached per thread: an exception filter asks from a signal handler.
  thread_local ULONG_PTR low = 0, high = 0;
  if (!high) {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* addr = nullptr;
      size_t size = 0;
      if (pthread_attr_getstack(&attr, &addr, &size) == 0) {
        low = reinterpret_cast<ULONG_PTR>(addr);
        high = low + size;
      }
      pthread_attr_destroy(&attr);
    }
  }
  if (lowLimit) *lowLimit = low;
  if (highLimit) *highLimit = high;
}

namespace {
thread_local int g_comCount = 0;
}

HRESULT CoInitialize(LPVOID) { return g_comCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (g_comCount > 0) --g_comCount;
}

void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  std::fputs(text, stderr);
  std::fflush(stderr);
}
