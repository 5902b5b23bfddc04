// The framework's registry class: one open key under a root key, read-only
// or with full access, and the values the launcher reads and writes
// (integers as REG_DWORD, strings as REG_SZ). Calls report failure by their
// result; LastError holds the registry layer's code of the last failure.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/windows_types.h"

namespace forms {

class TRegistry {
 public:
  TRegistry() = default;
  ~TRegistry() { CloseKey(); }
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey = HKEY_CURRENT_USER;

  // Opens `key` below RootKey with full access, creating it (and the keys
  // above it) when `canCreate`. Closes the key open before.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  HKEY CurrentKey() const { return current_; }

  bool ValueExists(const std::string& name) const;
  // False when the value is absent or is not of the type and size asked
  // for (a REG_DWORD of 4 bytes; a REG_SZ); `*value` is then untouched.
  bool ReadInteger(const std::string& name, int32_t* value);
  bool ReadString(const std::string& name, std::string* value);
  // False on a key opened read-only (ERROR_ACCESS_DENIED) or when the
  // registry layer cannot store the value.
  bool WriteInteger(const std::string& name, int32_t value);
  bool WriteString(const std::string& name, const std::string& value);
  bool DeleteValue(const std::string& name);

  LONG LastError() const { return lastError_; }

 private:
  bool Fail(LONG error) {
    lastError_ = error;
    return false;
  }
  bool Write(const std::string& name, DWORD type, const BYTE* data, DWORD size);

  HKEY current_ = nullptr;
  bool readOnly_ = false;
  LONG lastError_ = 0;
};

// The system's text for an error code of the Win32 layer.
std::string SysErrorMessage(LONG error);

}  // namespace forms
