#include "platform/win32/test_support.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32/testing.h"

extern char** environ;

namespace platform::testing {

void PlatformTest::SetUp() {
  // Tests never open a real window or audio device, even on a desktop.
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  char base[] = "/tmp/tarvel-test-XXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  root_ = std::string(base) + "/root";
  work_ = std::string(base) + "/work";
  std::filesystem::create_directories(root_);
  std::filesystem::create_directories(work_);
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  oldCwd_ = cwd;
  ASSERT_EQ(chdir(work_.c_str()), 0);
  Reset();
  SetPlatformRoot(root_);
}

void PlatformTest::TearDown() {
  Reset();
  if (!oldCwd_.empty()) (void)chdir(oldCwd_.c_str());
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(root_).parent_path(), ignored);
}

ChildResult RunSelf(const std::string& test, const std::vector<std::string>& env) {
  ChildResult result;
  int out[2];
  if (pipe(out) != 0) return result;
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) envText.emplace_back(*e);
  for (const std::string& add : env) envText.push_back(add);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) self.assign(exe, static_cast<size_t>(n));
  std::string filter = "--gtest_filter=" + test;
  char* argv[] = {self.data(), filter.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid;
  int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc == 0) {
    char buf[4096];
    ssize_t got;
    while ((got = read(out[0], buf, sizeof buf)) > 0) result.output.append(buf, static_cast<size_t>(got));
    waitpid(pid, &result.status, 0);
  }
  close(out[0]);
  return result;
}

void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

}  // namespace platform::testing
