#include "platform/forms/registry.h"

#include <cstring>
#include <vector>

#include "platform/win32/win32.h"

namespace forms {

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  CloseKey();
  HKEY opened = nullptr;
  LONG err = canCreate ? RegCreateKeyExA(RootKey, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr)
                       : RegOpenKeyExA(RootKey, key.c_str(), 0, KEY_ALL_ACCESS, &opened);
  if (err != ERROR_SUCCESS) return Fail(err);
  current_ = opened;
  readOnly_ = false;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  CloseKey();
  HKEY opened = nullptr;
  LONG err = RegOpenKeyExA(RootKey, key.c_str(), 0, KEY_READ, &opened);
  if (err != ERROR_SUCCESS) return Fail(err);
  current_ = opened;
  readOnly_ = true;
  return true;
}

void TRegistry::CloseKey() {
  if (current_) RegCloseKey(current_);
  current_ = nullptr;
}

bool TRegistry::ValueExists(const std::string& name) const {
  return current_ && RegQueryValueExA(current_, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool TRegistry::ReadInteger(const std::string& name, int32_t* value) {
  if (!current_) return Fail(static_cast<LONG>(ERROR_INVALID_HANDLE));
  DWORD type = 0, size = 0;
  LONG err = RegQueryValueExA(current_, name.c_str(), nullptr, &type, nullptr, &size);
  if (err != ERROR_SUCCESS) return Fail(err);
  if (type != REG_DWORD || size != 4) return Fail(static_cast<LONG>(ERROR_INVALID_DATA));
  BYTE data[4];
  err = RegQueryValueExA(current_, name.c_str(), nullptr, &type, data, &size);
  if (err != ERROR_SUCCESS) return Fail(err);
  if (type != REG_DWORD || size != 4) return Fail(static_cast<LONG>(ERROR_INVALID_DATA));
  const uint32_t v = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
  *value = static_cast<int32_t>(v);
  return true;
}

bool TRegistry::ReadString(const std::string& name, std::string* value) {
  if (!current_) return Fail(static_cast<LONG>(ERROR_INVALID_HANDLE));
  DWORD type = 0, size = 0;
  LONG err = RegQueryValueExA(current_, name.c_str(), nullptr, &type, nullptr, &size);
  if (err != ERROR_SUCCESS) return Fail(err);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return Fail(static_cast<LONG>(ERROR_INVALID_DATA));
  std::vector<BYTE> data(size);
  err = RegQueryValueExA(current_, name.c_str(), nullptr, &type, data.data(), &size);
  if (err != ERROR_SUCCESS) return Fail(err);
  if (size > data.size()) return Fail(static_cast<LONG>(ERROR_INVALID_DATA));
  // The text ends at its first NUL; a value stored without one ends at its size.
  const auto* text = reinterpret_cast<const char*>(data.data());
  value->assign(text, strnlen(text, size));
  return true;
}

bool TRegistry::Write(const std::string& name, DWORD type, const BYTE* data, DWORD size) {
  if (!current_) return Fail(static_cast<LONG>(ERROR_INVALID_HANDLE));
  if (readOnly_) return Fail(static_cast<LONG>(ERROR_ACCESS_DENIED));
  LONG err = RegSetValueExA(current_, name.c_str(), 0, type, data, size);
  return err == ERROR_SUCCESS || Fail(err);
}

bool TRegistry::WriteInteger(const std::string& name, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
  return Write(name, REG_DWORD, data, 4);
}

bool TRegistry::WriteString(const std::string& name, const std::string& value) {
  return Write(name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!current_) return Fail(static_cast<LONG>(ERROR_INVALID_HANDLE));
  if (readOnly_) return Fail(static_cast<LONG>(ERROR_ACCESS_DENIED));
  LONG err = RegDeleteValueA(current_, name.c_str());
  return err == ERROR_SUCCESS || Fail(err);
}

std::string SysErrorMessage(LONG error) {
  switch (static_cast<DWORD>(error)) {
    case ERROR_SUCCESS: return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_INVALID_DATA: return "The data is invalid.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_KEY_DELETED: return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case ERROR_CANTWRITE: return "The configuration registry key could not be written.";
    default: return "System error " + std::to_string(error) + ".";
  }
}

}  // namespace forms
