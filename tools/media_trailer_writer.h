#pragma once
// Appends the launcher's media to a program: the video, music, click and
// hover blocks one after another, then a table of eleven 32-bit
// little-endian words (3, 5, 7, 9: the blocks' sizes; 10: the distance of
// the first block from the end of the file, the table included; the others
// 0).

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

using Bytes = std::vector<uint8_t>;

struct MediaTrailer {
  Bytes video, music, click, hover;
};

// `program` with the trailer appended.
Bytes AppendMediaTrailer(const Bytes& program, const MediaTrailer& media);

// Reads a whole file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, Bytes* out);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);

}  // namespace testkit
