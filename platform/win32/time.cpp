// The multimedia timer and the system clocks, with the test clock.
#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <map>
#include <mutex>
#include <optional>

#include "platform/win32/internal.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace {

std::atomic<bool> g_clockTaken{false};
std::atomic<uint32_t> g_clock{0};

std::mutex g_periodMutex;
std::map<UINT, int> g_periods;  // period -> open timeBeginPeriod calls
int g_periodBalance = 0;

constexpr UINT kPeriodMin = 1;
constexpr UINT kPeriodMax = 1000000;

// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochDelta = 116444736000000000ull;

void ToSystemTime(const struct tm& t, int ms, LPSYSTEMTIME out) {
  out->wYear = static_cast<WORD>(t.tm_year + 1900);
  out->wMonth = static_cast<WORD>(t.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  out->wDay = static_cast<WORD>(t.tm_mday);
  out->wHour = static_cast<WORD>(t.tm_hour);
  out->wMinute = static_cast<WORD>(t.tm_min);
  out->wSecond = static_cast<WORD>(t.tm_sec);
  out->wMilliseconds = static_cast<WORD>(ms);
}

}  // namespace

DWORD timeGetTime() {
  if (g_clockTaken.load()) return g_clock.load();
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);  // wraps at 2^32 as Windows' does after 49.7 days
}

DWORD GetTickCount() { return timeGetTime(); }

MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size) {
  if (!caps || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  caps->wPeriodMin = kPeriodMin;
  caps->wPeriodMax = kPeriodMax;
  return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT period) {
  if (period < kPeriodMin || period > kPeriodMax) return TIMERR_NOCANDO;
  std::lock_guard lock(g_periodMutex);
  ++g_periods[period];
  ++g_periodBalance;
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
  std::lock_guard lock(g_periodMutex);
  auto it = g_periods.find(period);
  if (it == g_periods.end()) return TIMERR_NOCANDO;
  if (--it->second == 0) g_periods.erase(it);
  --g_periodBalance;
  return TIMERR_NOERROR;
}

void Sleep(DWORD milliseconds) {
  if (g_clockTaken.load()) {
    g_clock.fetch_add(milliseconds);
    return;
  }
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

void GetSystemTimeAsFileTime(LPFILETIME out) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t v = static_cast<uint64_t>(ts.tv_sec) * 10000000u + static_cast<uint64_t>(ts.tv_nsec) / 100u +
               kEpochDelta;
  out->dwLowDateTime = static_cast<DWORD>(v);
  out->dwHighDateTime = static_cast<DWORD>(v >> 32);
}

void GetLocalTime(LPSYSTEMTIME out) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  localtime_r(&ts.tv_sec, &t);
  ToSystemTime(t, static_cast<int>(ts.tv_nsec / 1000000), out);
}

void GetSystemTime(LPSYSTEMTIME out) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t;
  gmtime_r(&ts.tv_sec, &t);
  ToSystemTime(t, static_cast<int>(ts.tv_nsec / 1000000), out);
}

namespace platform::testing {

void TakeClock(uint32_t startMs) {
  g_clock.store(startMs);
  g_clockTaken.store(true);
  SetSetting("clock", std::to_string(startMs));
}

void AdvanceClock(uint32_t ms) {
  uint32_t now = g_clock.fetch_add(ms) + ms;
  if (g_clockTaken.load()) SetSetting("clock", std::to_string(now));
}

void ReleaseClock() {
  g_clockTaken.store(false);
  SetSetting("clock", "");
}

bool ClockTaken() { return g_clockTaken.load(); }

int TimerPeriodBalance() {
  std::lock_guard lock(g_periodMutex);
  return g_periodBalance;
}

}  // namespace platform::testing

namespace platform::detail {

void ResetTime() {
  g_clockTaken.store(false);
  g_clock.store(0);
  std::lock_guard lock(g_periodMutex);
  g_periods.clear();
  g_periodBalance = 0;
}

void IdleOnTestClock() {
  if (!g_clockTaken.load()) return;
  const std::optional<std::string> step = platform::testing::GetSetting("clock.idle");
  if (!step) return;
  const unsigned long ms = std::strtoul(step->c_str(), nullptr, 10);
  // Kept in this process only: the file would be written once a frame.
  if (ms > 0 && ms <= 1000) g_clock.fetch_add(static_cast<uint32_t>(ms));
}

// The clock a parent process took, from "testing.ini".
void ApplyClockSetting(const std::string& value) {
  if (value.empty()) {
    g_clockTaken.store(false);
    return;
  }
  char* end = nullptr;
  unsigned long v = std::strtoul(value.c_str(), &end, 10);
  if (end && *end == 0) {
    g_clock.store(static_cast<uint32_t>(v));
    g_clockTaken.store(true);
  }
}

}  // namespace platform::detail
