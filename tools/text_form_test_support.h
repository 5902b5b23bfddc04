#pragma once
// Helpers of the text front ends' tests: a scratch folder and a run of a
// built tool as a child process.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace testkit::testing {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "text_form_XXXXXX").string();
    if (mkdtemp(pattern.data()))
      path = pattern;
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string file = path + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string path;
};

struct ToolRun {
  int exitCode = -1;
  std::string error;  // standard error
};

// Runs a tool of this build with the arguments (quoted by the caller).
inline ToolRun RunTool(const ScratchFolder& scratch, const std::string& tool, const std::string& arguments) {
  const std::string errors = scratch.path + "/stderr.txt";
  const std::string command = std::string(TOOLS_BIN_DIR) + "/" + tool + " " + arguments + " 2>" + errors;
  ToolRun run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.error = scratch.Read("stderr.txt");
  return run;
}

}  // namespace testkit::testing
