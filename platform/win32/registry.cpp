// The registry: two hives in the text format of exported registry files,
// "registry/HKEY_CURRENT_USER.reg" and "registry/HKEY_LOCAL_MACHINE.reg"
// under the platform root. Each call re-reads a hive whose file changed
// (another process or module wrote it) and every change rewrites the file
// through a temporary file and a rename, so a reader never sees half a file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

struct Value {
  std::string name;  // as spelled; "" is the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  std::string path;  // as spelled, below the hive, components joined by '\'
  std::vector<Value> values;
};

struct FileStamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  int64_t mtime = 0;
  bool operator==(const FileStamp&) const = default;
};

struct Hive {
  const char* name;
  std::map<std::string, Key> keys;  // by lower-case path; "" is the hive's root
  bool loaded = false;
  FileStamp stamp;
  bool damaged = false;  // the file had lines the parser skipped
};

struct OpenKey {
  int hive;
  std::string path;  // lower case
};

std::mutex g_mutex;
Hive g_hives[2] = {{"HKEY_CURRENT_USER", {}, false, {}, false}, {"HKEY_LOCAL_MACHINE", {}, false, {}, false}};
std::map<uintptr_t, OpenKey> g_open;
uintptr_t g_nextKey = 0x1000;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string HivePath(const Hive& hive) {
  return platform::PlatformRoot() + "/registry/" + hive.name + ".reg";
}

FileStamp StampOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {};
  return {true, st.st_dev, st.st_ino, st.st_size,
          static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000ll + st.st_mtim.tv_nsec};
}

// ---- Reading the text format -------------------------------------------------

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string with \\ and \" escapes from the front of `s`.
bool ReadQuoted(std::string_view& s, std::string* out) {
  if (s.empty() || s.front() != '"') return false;
  s.remove_prefix(1);
  out->clear();
  while (!s.empty()) {
    char c = s.front();
    s.remove_prefix(1);
    if (c == '"') return true;
    if (c == '\\' && !s.empty()) {
      c = s.front();
      s.remove_prefix(1);
    }
    *out += c;
  }
  return false;  // no closing quote
}

bool ReadHexList(std::string_view s, std::vector<BYTE>* out) {
  out->clear();
  while (true) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    if (s.empty()) return true;
    if (s.size() < 2) return false;
    int hi = HexDigit(s[0]);
    int lo = HexDigit(s[1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<BYTE>(hi * 16 + lo));
    s.remove_prefix(2);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    if (s.empty()) return true;
    if (s.front() != ',') return false;
    s.remove_prefix(1);
  }
}

// One `"name"=data` line; false when it is malformed.
bool ParseValue(std::string_view line, Value* value) {
  if (line.front() == '@') {
    value->name.clear();
    line.remove_prefix(1);
  } else if (!ReadQuoted(line, &value->name)) {
    return false;
  }
  if (line.empty() || line.front() != '=') return false;
  line.remove_prefix(1);
  if (!line.empty() && line.front() == '"') {
    std::string text;
    if (!ReadQuoted(line, &text) || !line.empty()) return false;
    value->type = REG_SZ;
    value->data.assign(text.begin(), text.end());
    value->data.push_back(0);
    return true;
  }
  if (line.substr(0, 6) == "dword:") {
    std::string_view digits = line.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    value->type = REG_DWORD;
    value->data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                   static_cast<BYTE>(v >> 24)};
    return true;
  }
  if (line.substr(0, 4) == "hex:") {
    value->type = REG_BINARY;
    return ReadHexList(line.substr(4), &value->data);
  }
  if (line.substr(0, 4) == "hex(") {
    size_t close = line.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return false;
    uint32_t type = 0;
    for (char c : line.substr(4, close - 4)) {
      int d = HexDigit(c);
      if (d < 0) return false;
      type = type * 16 + static_cast<uint32_t>(d);
    }
    value->type = type;
    return ReadHexList(line.substr(close + 2), &value->data);
  }
  return false;
}

void SetValue(Key& key, Value value) {
  for (auto& v : key.values) {
    if (platform::detail::EqualsNoCase(v.name, value.name)) {
      v = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
}

void Parse(Hive& hive, const std::string& text) {
  hive.keys.clear();
  hive.keys[""] = Key{};
  std::istringstream in(text);
  std::string raw;
  std::string line;
  Key* current = nullptr;
  int bad = 0;
  bool first = true;
  auto handle = [&](std::string_view l) {
    if (first) {
      first = false;
      if (l.substr(0, 3) == "\xEF\xBB\xBF") l.remove_prefix(3);
      if (l == "Windows Registry Editor Version 5.00" || l == "REGEDIT4") return;
      ++bad;
    }
    if (l.empty() || l.front() == ';') return;
    if (l.front() == '[') {
      current = nullptr;
      if (l.back() != ']' || l.size() < 2 || l[1] == '-') return;
      std::string_view path = l.substr(1, l.size() - 2);
      std::string_view hiveName(hive.name);
      if (!platform::detail::EqualsNoCase(path.substr(0, hiveName.size()), hiveName)) {
        ++bad;
        return;
      }
      path.remove_prefix(hiveName.size());
      if (!path.empty() && path.front() != '\\') {
        ++bad;
        return;
      }
      while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
      // Every key above it exists too.
      std::string spelled;
      size_t pos = 0;
      while (pos < path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        if (end > pos) {
          if (!spelled.empty()) spelled += '\\';
          spelled += path.substr(pos, end - pos);
          Key& k = hive.keys[Lower(spelled)];
          if (k.path.empty()) k.path = spelled;
        }
        pos = end + 1;
      }
      current = &hive.keys[Lower(spelled)];
      return;
    }
    Value value;
    if (!current || (l.front() != '"' && l.front() != '@')) {
      ++bad;
      return;
    }
    if (l.find("=-") != std::string_view::npos && l.back() == '-') return;  // a deletion
    if (!ParseValue(l, &value)) {
      ++bad;
      return;
    }
    SetValue(*current, std::move(value));
  };
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    size_t start = raw.find_first_not_of(" \t");
    std::string_view piece = start == std::string::npos ? std::string_view() : std::string_view(raw).substr(start);
    // A hex list may go on over several lines, each ending in a backslash.
    if (!line.empty()) {
      line += piece;
    } else {
      line = piece;
    }
    if (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos &&
        line.find("=\"") == std::string::npos) {
      line.pop_back();
      continue;
    }
    handle(line);
    line.clear();
  }
  if (!line.empty()) handle(line);
  hive.damaged = bad > 0;
  if (bad) {
    std::fprintf(stderr, "registry: %d unreadable line(s) in %s ignored\n", bad, HivePath(hive).c_str());
  }
}

void Refresh(Hive& hive) {
  std::string path = HivePath(hive);
  FileStamp stamp = StampOf(path);
  if (hive.loaded && stamp == hive.stamp) return;
  std::string text;
  if (stamp.exists) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  Parse(hive, text);
  hive.loaded = true;
  hive.stamp = stamp;
}

// ---- Writing -------------------------------------------------------------------

void AppendQuoted(std::string& out, std::string_view s) {
  out += '"';
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

void AppendHex(std::string& out, const std::vector<BYTE>& data) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) out += ',';
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
}

// Text the string form can carry: one NUL at the end and no line breaks.
bool IsPlainText(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0 || data[i] == '\n' || data[i] == '\r') return false;
  }
  return true;
}

std::string Format(const Hive& hive) {
  std::string out = "Windows Registry Editor Version 5.00\n";
  for (const auto& [lower, key] : hive.keys) {
    out += "\n[";
    out += hive.name;
    if (!key.path.empty()) out += "\\" + key.path;
    out += "]\n";
    for (const Value& v : key.values) {
      if (v.name.empty()) {
        out += '@';
      } else {
        AppendQuoted(out, v.name);
      }
      out += '=';
      char buf[32];
      if (v.type == REG_SZ && IsPlainText(v.data)) {
        AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
      } else if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        out += buf;
      } else if (v.type == REG_BINARY) {
        out += "hex:";
        AppendHex(out, v.data);
      } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        out += buf;
        AppendHex(out, v.data);
      }
      out += '\n';
    }
  }
  return out;
}

std::atomic<bool> g_sync{true};
std::atomic<bool> g_failWrites{false};

// A rewrite drops the lines the parser skipped: the text as it was is kept
// once beside the hive (a first copy is never replaced), so a hand edit gone
// wrong can be mended from it.
bool KeepDamaged(const std::string& path) {
  const std::string copy = path + ".damaged";
  if (StampOf(copy).exists) return true;
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;  // gone since it was read: nothing to keep
  std::ostringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  FILE* f = std::fopen(copy.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::remove(copy.c_str());
  return ok;
}

LONG Save(Hive& hive) {
  std::string folder = platform::PlatformRoot() + "/registry";
  mkdir(platform::PlatformRoot().c_str(), 0755);
  mkdir(folder.c_str(), 0755);
  std::string path = HivePath(hive);
  std::string temp = path + ".tmp" + std::to_string(getpid());
  std::string text = Format(hive);
  bool ok = false;
  if (g_failWrites) {
    // As a full disk would: nothing is written.
  } else if (hive.damaged && !KeepDamaged(path)) {
    // Without the copy the skipped lines would be lost: the change waits.
  } else if (FILE* f = std::fopen(temp.c_str(), "wb")) {
    ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    ok = (!g_sync || fsync(fileno(f)) == 0) && ok;
    ok = std::fclose(f) == 0 && ok;
  }
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    hive.loaded = false;  // re-read what is on disk: the change did not land
    return static_cast<LONG>(ERROR_CANTWRITE);
  }
  hive.stamp = StampOf(path);
  hive.damaged = false;
  return ERROR_SUCCESS;
}

// ---- Handles ---------------------------------------------------------------------

bool Resolve(HKEY key, OpenKey* out) {
  uintptr_t id = reinterpret_cast<uintptr_t>(key);
  if (id == 0x80000001u) {
    *out = {0, ""};
    return true;
  }
  if (id == 0x80000002u) {
    *out = {1, ""};
    return true;
  }
  auto it = g_open.find(id);
  if (it == g_open.end()) return false;
  *out = it->second;
  return true;
}

bool IsPredefined(HKEY key) {
  uintptr_t id = reinterpret_cast<uintptr_t>(key);
  return id >= 0x80000000u && id <= 0x80000006u;
}

// `base` (lower case) joined with the components of `sub`; `spelled` gets
// the components as written.
std::string Join(const std::string& base, const char* sub, std::vector<std::string>* spelled) {
  std::string path = base;
  std::string_view s = sub ? sub : "";
  size_t pos = 0;
  while (pos < s.size()) {
    size_t end = s.find('\\', pos);
    if (end == std::string_view::npos) end = s.size();
    if (end > pos) {
      std::string_view part = s.substr(pos, end - pos);
      if (!path.empty()) path += '\\';
      path += Lower(part);
      if (spelled) spelled->emplace_back(part);
    }
    pos = end + 1;
  }
  return path;
}

HKEY NewHandle(int hive, const std::string& path) {
  uintptr_t id = g_nextKey;
  g_nextKey += 4;
  g_open[id] = {hive, path};
  return reinterpret_cast<HKEY>(id);
}

// The hive of an open key, re-read when its file changed; null for a handle
// that names no open key. Called with g_mutex held.
Hive* HiveOf(HKEY key, OpenKey* k) {
  if (!Resolve(key, k)) return nullptr;
  Hive& hive = g_hives[k->hive];
  Refresh(hive);
  return &hive;
}

// The key a handle names, or the error the registry gives for it.
LONG FindKey(HKEY key, Hive** hive, Key** entry) {
  OpenKey k;
  *hive = HiveOf(key, &k);
  if (!*hive) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  auto it = (*hive)->keys.find(k.path);
  if (it == (*hive)->keys.end()) return static_cast<LONG>(ERROR_KEY_DELETED);
  *entry = &it->second;
  return ERROR_SUCCESS;
}

// A value's type and data as the query calls give them: a buffer too small
// gets ERROR_MORE_DATA with the size needed and is left untouched.
LONG GiveData(const Value& v, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  if (type) *type = v.type;
  const DWORD needed = static_cast<DWORD>(v.data.size());
  if (data) {
    if (*dataSize < needed) {
      *dataSize = needed;
      return static_cast<LONG>(ERROR_MORE_DATA);
    }
    std::copy(v.data.begin(), v.data.end(), data);
  }
  if (dataSize) *dataSize = needed;
  return ERROR_SUCCESS;
}

LONG Open(HKEY key, LPCSTR subKey, PHKEY result, bool returnSameForEmpty) {
  if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(g_mutex);
  OpenKey base;
  Hive* found = HiveOf(key, &base);
  if (!found) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Hive& hive = *found;
  std::string path = Join(base.path, subKey, nullptr);
  if (!hive.keys.count(path)) {
    return static_cast<LONG>(base.path == path ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND);
  }
  if (path == base.path && returnSameForEmpty) {
    *result = key;
  } else {
    *result = NewHandle(base.hive, path);
  }
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) { return Open(key, subKey, result, true); }

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
  return Open(key, subKey, result, false);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*,
                     PHKEY result, LPDWORD disposition) {
  if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(g_mutex);
  OpenKey base;
  Hive* found = HiveOf(key, &base);
  if (!found) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Hive& hive = *found;
  if (!hive.keys.count(base.path)) return static_cast<LONG>(ERROR_KEY_DELETED);
  std::vector<std::string> parts;
  std::string path = Join(base.path, subKey, &parts);
  bool created = false;
  std::string lower = base.path;
  std::string spelled = hive.keys[base.path].path;
  for (const std::string& part : parts) {
    if (!lower.empty()) lower += '\\';
    lower += Lower(part);
    if (!spelled.empty()) spelled += '\\';
    spelled += part;
    auto [it, inserted] = hive.keys.try_emplace(lower);
    if (inserted) {
      it->second.path = spelled;
      created = true;
    } else {
      spelled = it->second.path;
    }
  }
  if (created) {
    if (LONG err = Save(hive); err != ERROR_SUCCESS) return err;
  }
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(base.hive, path);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  return RegCreateKeyExA(key, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, result, nullptr);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  if (reserved || (data && !dataSize)) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(g_mutex);
  Hive* hive;
  Key* entry;
  if (LONG err = FindKey(key, &hive, &entry); err != ERROR_SUCCESS) return err;
  std::string_view name = valueName ? valueName : "";
  for (const Value& v : entry->values) {
    if (platform::detail::EqualsNoCase(v.name, name)) return GiveData(v, type, data, dataSize);
  }
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize) {
  if (reserved || (!data && dataSize)) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(g_mutex);
  Hive* hive;
  Key* entry;
  if (LONG err = FindKey(key, &hive, &entry); err != ERROR_SUCCESS) return err;
  Value v;
  v.name = valueName ? valueName : "";
  v.type = type;
  if (dataSize) v.data.assign(data, data + dataSize);
  SetValue(*entry, std::move(v));
  return Save(*hive);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  std::lock_guard lock(g_mutex);
  Hive* hive;
  Key* entry;
  if (LONG err = FindKey(key, &hive, &entry); err != ERROR_SUCCESS) return err;
  std::string_view name = valueName ? valueName : "";
  auto& values = entry->values;
  auto v = std::find_if(values.begin(), values.end(),
                        [&](const Value& x) { return platform::detail::EqualsNoCase(x.name, name); });
  if (v == values.end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  values.erase(v);
  return Save(*hive);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (!subKey || !*subKey) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(g_mutex);
  OpenKey k;
  Hive* found = HiveOf(key, &k);
  if (!found) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Hive& hive = *found;
  std::string path = Join(k.path, subKey, nullptr);
  auto it = hive.keys.find(path);
  if (it == hive.keys.end() || path.empty()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  auto next = std::next(it);
  if (next != hive.keys.end() && next->first.size() > path.size() &&
      next->first.compare(0, path.size() + 1, path + "\\") == 0) {
    return static_cast<LONG>(ERROR_ACCESS_DENIED);  // it has subkeys
  }
  hive.keys.erase(it);
  return Save(hive);
}

LONG RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  std::lock_guard lock(g_mutex);
  return g_open.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS
                                                        : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

// ---- Enumeration (diagnostics additions) -------------------------------------

namespace {

// Copies `name` with its NUL when it fits in *size characters.
LONG GiveName(const std::string& name, LPSTR out, LPDWORD size) {
  if (!out || !size) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  if (name.size() + 1 > *size) return static_cast<LONG>(ERROR_MORE_DATA);
  std::memcpy(out, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  if (reserved || (data && !dataSize)) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(g_mutex);
  Hive* hive;
  Key* entry;
  if (LONG err = FindKey(key, &hive, &entry); err != ERROR_SUCCESS) return err;
  const auto& values = entry->values;
  if (index >= values.size()) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
  const Value& v = values[index];
  if (LONG err = GiveName(v.name, valueName, valueNameSize); err != ERROR_SUCCESS) return err;
  return GiveData(v, type, data, dataSize);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classSize, LPFILETIME lastWriteTime) {
  if (reserved) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(g_mutex);
  OpenKey k;
  Hive* found = HiveOf(key, &k);
  if (!found) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Hive& hive = *found;
  if (!hive.keys.count(k.path)) return static_cast<LONG>(ERROR_KEY_DELETED);
  // The map is ordered by lower-case path, which is the order ignoring case.
  std::string prefix = k.path.empty() ? std::string() : k.path + "\\";
  DWORD seen = 0;
  for (auto it = hive.keys.lower_bound(prefix); it != hive.keys.end(); ++it) {
    const std::string& path = it->first;
    if (path.compare(0, prefix.size(), prefix) != 0) break;
    if (path.size() == prefix.size() || path.find('\\', prefix.size()) != std::string::npos) continue;
    if (seen++ != index) continue;
    const std::string& spelled = it->second.path;
    size_t slash = spelled.rfind('\\');
    if (LONG err = GiveName(slash == std::string::npos ? spelled : spelled.substr(slash + 1), name, nameSize);
        err != ERROR_SUCCESS) {
      return err;
    }
    if (keyClass && classSize && *classSize > 0) keyClass[0] = 0;
    if (classSize) *classSize = 0;
    if (lastWriteTime) *lastWriteTime = {};
    return ERROR_SUCCESS;
  }
  return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
}

namespace platform::detail {

void DropRegistryCache() {
  std::lock_guard lock(g_mutex);
  for (Hive& h : g_hives) {
    h.keys.clear();
    h.loaded = false;
    h.stamp = {};
    h.damaged = false;
  }
}

}  // namespace platform::detail

void platform::testing::SetRegistrySync(bool sync) { g_sync = sync; }

void platform::testing::FailRegistryWrites(bool fail) { g_failWrites = fail; }
