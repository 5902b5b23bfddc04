#include "animation/core/log.h"

#include <cstdarg>
#include <cstdio>

#include "animation/core/core_globals.h"
#include "animation/core/string.h"

namespace AnimCore {

bool LogManager::AddLogCallback(LogCallback* callback) {
  detail::LogManagerState* state = detail::GetLogManagerState();
  if (callback == nullptr || state == nullptr) return false;
  return state->callbacks.Add(callback);
}

bool LogManager::RemoveLogCallback(LogCallback* callback) {
  detail::LogManagerState* state = detail::GetLogManagerState();
  if (callback == nullptr || state == nullptr || !state->callbacks.RemoveByValue(callback)) {
    return false;
  }
  Delete(callback);
  return true;
}

void LogManager::ClearLogCallbacks() {
  if (detail::LogManagerState* state = detail::GetLogManagerState()) {
    state->callbacks.ClearAndDelete();
  }
}

uint32_t LogManager::GetNumLogCallbacks() {
  const detail::LogManagerState* state = detail::GetLogManagerState();
  return state != nullptr ? state->callbacks.GetLength() : 0;
}

void LogManager::LogMessage(const String& message) {
  detail::LogManagerState* state = detail::GetLogManagerState();
  if (state == nullptr) return;
  for (LogCallback* callback : state->callbacks) {
    if (callback != nullptr) callback->Log(message);
  }
}

void Log(const char* format, ...) {
  // Most builds install no receiver; then the message costs nothing.
  if (LogManager::GetNumLogCallbacks() == 0 || format == nullptr) return;
  char buffer[kLogWorkingSize];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  if (written < 0) buffer[0] = '\0';
  LogManager::LogMessage(String(buffer));
}

}  // namespace AnimCore
