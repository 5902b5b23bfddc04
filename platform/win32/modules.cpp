// Modules are the objects the dynamic loader has mapped; a module handle is
// the lowest address of the object's loaded segments.
#include <dlfcn.h>
#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

struct Module {
  uintptr_t base = 0;
  size_t size = 0;
  uintptr_t bias = 0;
  std::string path;  // Linux path, or the loader's name for objects without a file
  bool program = false;
};

int Collect(dl_phdr_info* info, size_t, void* data) {
  auto* modules = static_cast<std::vector<Module>*>(data);
  uintptr_t low = UINTPTR_MAX;
  uintptr_t high = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    low = std::min<uintptr_t>(low, ph.p_vaddr);
    high = std::max<uintptr_t>(high, ph.p_vaddr + ph.p_memsz);
  }
  if (low > high) return 0;
  uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  Module m;
  m.bias = info->dlpi_addr;
  m.base = (info->dlpi_addr + low) & ~(page - 1);
  m.size = ((info->dlpi_addr + high + page - 1) & ~(page - 1)) - m.base;
  m.program = modules->empty();
  m.path = m.program ? platform::detail::ProgramPath() : std::string(info->dlpi_name ? info->dlpi_name : "");
  modules->push_back(std::move(m));
  return 0;
}

std::vector<Module> ListModules() {
  std::vector<Module> modules;
  dl_iterate_phdr(Collect, &modules);
  return modules;
}

bool FindModule(HMODULE handle, Module* out) {
  uintptr_t base = reinterpret_cast<uintptr_t>(handle);
  for (Module& m : ListModules()) {
    if (handle ? m.base == base : m.program) {
      *out = std::move(m);
      return true;
    }
  }
  return false;
}

std::string FileName(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         platform::detail::EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// "name.dll" -> "libname.so"; a name that already is a shared object stays.
std::vector<std::string> SharedObjectNames(const std::string& name) {
  if (EndsWithNoCase(name, ".so") || name.find(".so.") != std::string::npos) return {name};
  std::string stem = name;
  if (EndsWithNoCase(stem, ".dll")) stem.resize(stem.size() - 4);
  std::string lower = stem;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::vector<std::string> names{"lib" + stem + ".so"};
  if (lower != stem) names.push_back("lib" + lower + ".so");
  return names;
}

// Each LoadLibraryA holds one loader reference, released by FreeLibrary.
std::mutex g_mutex;
std::map<uintptr_t, std::vector<void*>> g_loaded;

uintptr_t BaseOf(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return 0;
  for (const Module& m : ListModules()) {
    if (!m.program && m.bias == map->l_addr && m.path == (map->l_name ? map->l_name : "")) return m.base;
  }
  for (const Module& m : ListModules()) {
    if (m.bias == map->l_addr) return m.base;
  }
  return 0;
}

}  // namespace

namespace platform::detail {

std::string& ProgramPathOverride() {
  static std::string path;
  return path;
}

std::string ProgramPath() {
  if (!ProgramPathOverride().empty()) return ProgramPathOverride();
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  return std::string(path, static_cast<size_t>(n));
}

std::string ProgramFolder() {
  std::string path = ProgramPath();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

uintptr_t ModuleContaining(uintptr_t address) {
  for (const Module& m : ListModules()) {
    if (address >= m.base && address - m.base < m.size) return m.base;
  }
  return 0;
}

}  // namespace platform::detail

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name(fileName);
  size_t sep = name.find_last_of("\\/");
  std::vector<std::string> folders;
  if (sep != std::string::npos) {
    // A path names one place only.
    folders.push_back(platform::MapPath(name.substr(0, sep + 1)));
    name = name.substr(sep + 1);
  } else {
    folders.push_back(platform::detail::ProgramFolder() + "/");
    folders.push_back("./");
    folders.emplace_back();  // the loader's own search
  }
  void* handle = nullptr;
  // The window functions are this layer's own: "User32.dll" is this module.
  if (sep == std::string::npos && platform::detail::EqualsNoCase(name, "user32.dll")) {
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&LoadLibraryA), &self) && self.dli_fname) {
      handle = dlopen(self.dli_fname, RTLD_NOW | RTLD_LOCAL);
    }
    folders.clear();
  }
  for (const std::string& folder : folders) {
    if (handle) break;
    for (const std::string& so : SharedObjectNames(name)) {
      std::string path = folder.empty() ? so : folder + (folder.back() == '/' ? "" : "/") + so;
      if (folder == "./") {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) continue;
        path = std::string(cwd) + "/" + so;  // dlopen needs a slash to skip its search
      }
      handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle) break;
    }
    if (handle) break;
  }
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  uintptr_t base = BaseOf(handle);
  if (!base) {
    dlclose(handle);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard lock(g_mutex);
  g_loaded[base].push_back(handle);
  return reinterpret_cast<HMODULE>(base);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (!procName || IS_INTRESOURCE(procName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = nullptr;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_loaded.find(reinterpret_cast<uintptr_t>(module));
    if (it != g_loaded.end() && !it->second.empty()) symbol = dlsym(it->second.back(), procName);
  }
  if (!symbol) {
    Module m;
    if (!FindModule(module, &m)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    void* handle = m.program ? dlopen(nullptr, RTLD_LAZY) : dlopen(m.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle) {
      symbol = dlsym(handle, procName);
      dlclose(handle);
    }
  }
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
  void* handle = nullptr;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_loaded.find(reinterpret_cast<uintptr_t>(module));
    if (it == g_loaded.end() || it->second.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    handle = it->second.back();
    it->second.pop_back();
    if (it->second.empty()) g_loaded.erase(it);
  }
  dlclose(handle);
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  std::vector<Module> modules = ListModules();
  if (!moduleName) {
    return modules.empty() ? nullptr : reinterpret_cast<HMODULE>(modules.front().base);
  }
  std::string wanted = FileName(moduleName);
  std::vector<std::string> names = SharedObjectNames(wanted);
  if (EndsWithNoCase(wanted, ".exe")) names.push_back(wanted.substr(0, wanted.size() - 4));
  names.push_back(wanted);
  for (const Module& m : modules) {
    std::string file = FileName(m.path);
    for (const std::string& n : names) {
      if (platform::detail::EqualsNoCase(file, n)) return reinterpret_cast<HMODULE>(m.base);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  Module m;
  if (!FindModule(module, &m) || m.path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  // An object without a file (the kernel's vDSO) keeps its bare name.
  std::string shown = m.path.front() == '/' ? platform::ShowPath(m.path) : m.path;
  if (!fileName || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (shown.size() + 1 > size) {
    std::memcpy(fileName, shown.data(), size - 1);
    fileName[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(fileName, shown.c_str(), shown.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(shown.size());
}

BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, LPDWORD needed) {
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!needed || (!modules && size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<Module> list = ListModules();
  *needed = static_cast<DWORD>(list.size() * sizeof(HMODULE));
  size_t room = size / sizeof(HMODULE);
  for (size_t i = 0; i < list.size() && i < room; ++i) modules[i] = reinterpret_cast<HMODULE>(list[i].base);
  return TRUE;
}

BOOL GetModuleInformation(HANDLE process, HMODULE module, LPMODULEINFO info, DWORD size) {
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!info || size < sizeof(MODULEINFO)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Module m;
  if (!FindModule(module, &m)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  info->lpBaseOfDll = reinterpret_cast<LPVOID>(m.base);
  info->SizeOfImage = static_cast<DWORD>(std::min<size_t>(m.size, 0xFFFFFFFFu));
  uintptr_t entry = 0;
  if (m.program) {
    entry = getauxval(AT_ENTRY);
  } else {
    ElfW(Ehdr) header;
    SIZE_T read = 0;
    if (ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(m.base), &header, sizeof header, &read) &&
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_entry) {
      entry = m.bias + header.e_entry;
    }
  }
  info->EntryPoint = reinterpret_cast<LPVOID>(entry);
  return TRUE;
}

namespace platform::testing {

void SetProgramPath(const std::string& linuxPath) { detail::ProgramPathOverride() = linuxPath; }

}  // namespace platform::testing
