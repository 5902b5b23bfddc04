#pragma once

#include <cstdint>

namespace AnimCore {

class String;

// A receiver of the library's messages.
class LogCallback {
 public:
  virtual ~LogCallback() = default;
  virtual void Log(const String& message) = 0;
};

// The receivers every message goes to, in the order they were added. The list owns
// them: they are made with AnimCore::New and deleted when removed or at exit.
class LogManager {
 public:
  LogManager() = delete;
  static bool AddLogCallback(LogCallback* callback);
  // Deletes the receiver; false when it is not in the list.
  static bool RemoveLogCallback(LogCallback* callback);
  static void ClearLogCallbacks();
  static uint32_t GetNumLogCallbacks();
  static void LogMessage(const String& message);
};

// printf-style message to every receiver. Without a receiver nothing is formatted.
// Longer messages than kLogWorkingSize - 1 characters are cut.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline constexpr uint32_t kLogWorkingSize = 4096;

}  // namespace AnimCore
