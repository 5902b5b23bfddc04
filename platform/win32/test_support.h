// Helpers of the Win32 layer's tests: a temporary platform root and working
// folder per test, and running this test program again as a child.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace platform::testing {

// Gives each test a fresh platform root and working folder, removed after.
class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string root_;
  std::string work_;

 private:
  std::string oldCwd_;
};

struct ChildResult {
  int status = 0;  // as waitpid reports it
  std::string output;
};

// Runs this test program with only `test` selected and the given extra
// environment (NAME=value), collecting its standard output and error.
ChildResult RunSelf(const std::string& test, const std::vector<std::string>& env);

// Writes `text` to `path`, creating the folders above it.
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

}  // namespace platform::testing
