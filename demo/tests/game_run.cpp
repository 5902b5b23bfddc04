#include "demo/tests/game_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace demo {

namespace fs = std::filesystem;
namespace pt = platform::testing;

std::vector<TraceCall> ParseTrace(const std::string& text, int* bad) {
  std::vector<TraceCall> calls;
  int refused = 0;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    TraceCall call;
    call.line = line;
    const size_t timeEnd = line.find(' ');
    const size_t machineEnd = timeEnd == std::string::npos ? timeEnd : line.find(' ', timeEnd + 1);
    const size_t open = machineEnd == std::string::npos ? machineEnd : line.find('(', machineEnd + 1);
    if (open == std::string::npos || line.back() != ')' || timeEnd == 0 ||
        line.find_first_not_of("0123456789") != timeEnd) {
      ++refused;
      continue;
    }
    call.time = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 10));
    call.machine = line.substr(timeEnd + 1, machineEnd - timeEnd - 1);
    call.function = line.substr(machineEnd + 1, open - machineEnd - 1);
    call.arguments = line.substr(open + 1, line.size() - open - 2);
    calls.push_back(std::move(call));
  }
  if (bad) *bad = refused;
  return calls;
}

bool Frame::Uses(const std::string& technique) const {
  return std::find(techniques.begin(), techniques.end(), technique) != techniques.end();
}

std::vector<Frame> ParseFrames(const std::string& report, const std::string& program) {
  std::vector<Frame> frames;
  std::istringstream in(report);
  std::string line;
  const std::string prefix = program + ": frame ";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::istringstream words(line.substr(prefix.size()));
    Frame frame;
    std::string draws;
    if (!(words >> frame.number >> draws) || draws.compare(0, 6, "draws=") != 0) continue;
    frame.draws = std::atoi(draws.c_str() + 6);
    for (std::string technique; words >> technique;) frame.techniques.push_back(technique);
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<size_t> ExpectSteps(const std::vector<TraceCall>& trace, const std::vector<Step>& steps) {
  std::vector<size_t> found;
  size_t from = 0;
  for (const Step& step : steps) {
    size_t at = from;
    for (; at < trace.size(); ++at) {
      const TraceCall& c = trace[at];
      if ((!*step.machine || c.machine == step.machine) && c.function == step.function &&
          c.arguments.find(step.argument) != std::string::npos) {
        break;
      }
    }
    if (at == trace.size()) {
      ADD_FAILURE() << "step \"" << step.what << "\" (" << step.machine << " " << step.function << " "
                    << step.argument << ") is not in the trace after line " << from + 1;
      found.push_back(trace.size());
      continue;
    }
    found.push_back(at);
    from = at + 1;
  }
  return found;
}

bool Calls(const std::vector<TraceCall>& trace, const std::string& machine, const std::string& function) {
  return std::any_of(trace.begin(), trace.end(), [&](const TraceCall& c) {
    return (machine.empty() || c.machine == machine) && c.function == function;
  });
}

std::string GameRun::Describe() const {
  auto tail = [](const std::string& text, size_t lines) {
    size_t at = text.size();
    for (size_t n = 0; n <= lines && at != std::string::npos && at > 0; ++n) at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
  };
  std::ostringstream s;
  if (exited) {
    s << "exited with " << exitCode;
  } else if (timedOut) {
    s << "did not quit within its time limit";
  } else {
    s << "ended by signal " << signal;
  }
  s << " after " << seconds << " s\n----- end of tarvel.log -----\n"
    << tail(log, 15) << "----- end of standard error -----\n"
    << tail(err, 15) << "----- end of script-trace.log -----\n"
    << tail(trace, 10);
  return s.str();
}

std::string GameFolder() { return TARVEL_GAME_DIR; }
std::string Walkthrough() { return TARVEL_WALKTHROUGH; }

std::string CloseAt(const std::string& folder, uint32_t ms) {
  const std::string path = folder + "/close-" + std::to_string(ms) + ".input";
  pt::WriteText(path, std::to_string(ms) + " close\n");
  return path;
}

void GameTest::SetUp() {
  PlatformTest::SetUp();
  // The install, as a player has it: the game folder at C:\Game, its links
  // (the engine, the launcher's libraries) still links.
  install_ = root_ + "/drives/c/Game";
  std::error_code error;
  fs::create_directories(install_);
  fs::copy(GameFolder(), install_, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  ASSERT_FALSE(error) << "copying " << GameFolder() << ": " << error.message();
  ASSERT_TRUE(fs::exists(install_ + "/tarvel30x")) << "no engine in " << GameFolder();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kGameKey, &key), ERROR_SUCCESS);
  const char folder[] = "C:\\Game";
  RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder);
  RegCloseKey(key);
  // The player's settings: English, whatever the machine's locale, with
  // subtitles, so that a subtitle can be seen.
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kGameKey, &key), ERROR_SUCCESS);
  for (const auto& [name, value] : {std::pair<const char*, DWORD>{"Language", 9}, {"Subtitle", 1}}) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  RegCloseKey(key);

  pt::TakeClock(kClockStart);
  // The engine's loop polls and never waits: each empty look into its
  // queue lets a millisecond pass, as in scripts/run.
  pt::SetSetting("clock.idle", "1");
  pt::SetSetting("forms.display", "headless");
  pt::SetSetting("script.trace", "1");
  pt::SetSetting("d3d9.record", "1");
  pt::SetSetting("d3d9.report", work_ + "/d3d9.report");
  pt::SetSetting("fmod.report", work_ + "/fmod.report");
}

fs::path GameTest::SavegameFolder() const {
  return fs::path(root_) / "drives/c/Users/Player/Documents/Kestrelmoor Savegames";
}

GameRun GameTest::Play(const std::string& input, int limitSeconds, const std::vector<std::string>& env) {
  GameRun run;
  pt::SetSetting("input.tarvel30x", input);
  // Each run starts on the same clock, so equal plays meet equal times.
  pt::TakeClock(kClockStart);
  for (const char* report : {"/d3d9.report", "/fmod.report"}) std::remove((work_ + report).c_str());
  std::remove((install_ + "/script-trace.log").c_str());
  const std::string outPath = work_ + "/child.out", errPath = work_ + "/child.err";
  const std::string program = install_ + "/tarvel30x";

  std::fflush(stdout);
  std::fflush(stderr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(install_.c_str()) != 0) _exit(127);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(127);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    setenv("TARVEL_HEADLESS", "1", 1);
    setenv("LSAN_OPTIONS", "suppressions=" TARVEL_LSAN_SUPPRESSIONS, 1);
    for (const std::string& e : env) {
      const size_t eq = e.find('=');
      if (eq != std::string::npos) setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  EXPECT_GT(pid, 0) << "fork failed";
  if (pid <= 0) return run;
  int status = 0;
  for (;;) {
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limitSeconds)) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!run.timedOut && WIFEXITED(status)) {
    run.exited = true;
    run.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    run.signal = WTERMSIG(status);
  }
  run.log = pt::ReadText(install_ + "/tarvel.log");
  run.out = pt::ReadText(outPath);
  run.err = pt::ReadText(errPath);
  // Under load the leak checker's own tracer can crash while it stops the
  // threads of a process that has already shut down; it then exits with 1
  // having checked nothing. That is the tool failing, not the game: a run
  // that shut down and reported no leak counts as its clean quit.
  if (run.exited && run.exitCode == 1 &&
      run.err.find("LeakSanitizer has encountered a fatal error") != std::string::npos &&
      run.err.find("detected memory leaks") == std::string::npos &&
      run.log.find("-- Shut down successful.") != std::string::npos) {
    std::printf("note: the leak checker failed in the child after its shutdown; its exit counts as 0\n");
    run.exitCode = 0;
  }
  run.trace = pt::ReadText(install_ + "/script-trace.log");
  run.d3d9 = pt::ReadText(work_ + "/d3d9.report");
  run.fmod = pt::ReadText(work_ + "/fmod.report");
  int bad = 0;
  run.calls = ParseTrace(run.trace, &bad);
  EXPECT_EQ(bad, 0) << "trace lines of another shape";
  run.frames = ParseFrames(run.d3d9, "tarvel30x");
  return run;
}

}  // namespace demo
