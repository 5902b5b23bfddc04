// Playing the built sample game in a child process, as a player's install
// would run it, and reading back what the run left: its log, standard
// error, the script trace, the frames the Direct3D layer reported, the
// sounds the sound layer opened and the savegames.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/test_support.h"

namespace demo {

// One line of "script-trace.log": "<game ms> <machine> <function>(<arguments>)".
struct TraceCall {
  uint32_t time = 0;
  std::string machine;
  std::string function;
  std::string arguments;  // as written, without the brackets
  std::string line;
};
// Lines that do not have that shape are left out and counted in `bad`.
std::vector<TraceCall> ParseTrace(const std::string& text, int* bad = nullptr);

// One presented frame of a "d3d9.report" ("frame <n> draws=<count> <technique> ...").
struct Frame {
  int number = 0;
  int draws = 0;
  std::vector<std::string> techniques;
  bool Uses(const std::string& technique) const;
};
// The frames `program` reported, in order.
std::vector<Frame> ParseFrames(const std::string& report, const std::string& program);

// An expected step of a play, as the trace shows it: the first call at or
// after the previous step's whose machine (when given) and function are
// these and whose arguments contain `argument`.
struct Step {
  const char* what;
  const char* machine;  // empty: any
  const char* function;
  const char* argument;  // empty: any
};
// Where each step was found, in order; the index one past the trace for
// each step that is missing, with the failure said.
std::vector<size_t> ExpectSteps(const std::vector<TraceCall>& trace, const std::vector<Step>& steps);
// Whether a call of `function` by `machine` (empty: any) is in the trace.
bool Calls(const std::vector<TraceCall>& trace, const std::string& machine, const std::string& function);

struct GameRun {
  bool exited = false;  // by itself
  int exitCode = -1;
  int signal = 0;
  bool timedOut = false;
  double seconds = 0;  // of real time
  std::string log, out, err, trace, d3d9, fmod;
  std::vector<TraceCall> calls;
  std::vector<Frame> frames;
  // For the failure messages: the exit, the last lines of the log and of standard error.
  std::string Describe() const;
};

// Gives each test a platform root whose drive C: holds a copy of the game
// folder (the install folder HKEY_LOCAL_MACHINE names), the player's
// settings (language 9, subtitles on) and the test clock.
class GameTest : public platform::testing::PlatformTest {
 protected:
  static constexpr uint32_t kClockStart = 100000;
  static constexpr const char* kGameKey = "Software\\Brindlewerk\\Kestrelmoor";

  void SetUp() override;

  // Runs the engine in the install folder until it quits by itself, or ends
  // it after `limitSeconds` of real time (timedOut). `input`: the timed
  // input file, none when empty. Extra environment as NAME=value. Each run's
  // reports start empty.
  GameRun Play(const std::string& input, int limitSeconds, const std::vector<std::string>& env = {});

  // C:\Users\Player\Documents\Kestrelmoor Savegames
  std::filesystem::path SavegameFolder() const;
  std::filesystem::path Lastdemo() const { return SavegameFolder() / "lastdemo"; }

  std::string install_;  // the copied game folder
};

// The game folder of this build and the walkthrough.
std::string GameFolder();
std::string Walkthrough();
// A file of timed input that closes the window at `ms`.
std::string CloseAt(const std::string& folder, uint32_t ms);

}  // namespace demo
