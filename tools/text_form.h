#pragma once
// The line reader shared by the sample game's text front ends (anim_build,
// scene_build, sound_assets, video_build): one statement a line, words
// split at blanks, "#" starts a comment. A refused line throws
// TextFormError with its line number; the front end names the file.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testkit {

struct TextLine {
  int number = 0;  // from 1
  std::vector<std::string> words;
};

class TextFormError : public std::runtime_error {
 public:
  TextFormError(int line, const std::string& reason, std::string file = {})
      : std::runtime_error(reason), line(line), file(std::move(file)) {}
  int line;
  std::string file;  // set when the line is in another file than the one read
};

// The statements of a text, comments and blank lines left out.
std::vector<TextLine> SplitTextForm(std::string_view text);

// "<file>:<line>: <reason>", the message every front end prints; the
// error's own file, when it has one, stands for `file`.
std::string TextFormMessage(std::string_view file, const TextFormError& error);

// Word access with the line's own refusals.
[[noreturn]] void Refuse(const TextLine& line, const std::string& reason);
// Refuses a line whose word count is outside [least, most].
void ExpectWords(const TextLine& line, size_t least, size_t most);
float WordFloat(const TextLine& line, size_t index);
int64_t WordInt(const TextLine& line, size_t index, int64_t least, int64_t most);

// The whole file, or a TextFormError on line 0 when it cannot be read.
std::string ReadTextFile(const std::string& path);
std::vector<uint8_t> ReadBinaryFile(const std::string& path);
// The folder part of a path with its trailing "/" ("" for a bare name).
std::string FolderOf(const std::string& path);
// Writes the bytes, making the folders on the way; false when it cannot.
bool WriteOutputFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace testkit
