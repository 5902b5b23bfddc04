// The media appended to the launcher's own executable: four blocks (video,
// music, click and hover sounds) followed by a table of eleven 32-bit
// little-endian words. Word 10 is the distance of the first block from the
// end of the file; words 3, 5, 7 and 9 are the blocks' sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win32/windows_types.h"

namespace launcher {

constexpr size_t kMediaTableSize = 44;

struct MediaBlocks {
  std::vector<uint8_t> video, music, click, hover;
};

// The blocks of the file open in `file`. False, with every block empty,
// when the file has no trailer: shorter than the table, a first block
// outside the file, blocks that overrun the space before the table, or a
// read that comes back short.
bool ReadMediaTrailer(HANDLE file, MediaBlocks* blocks);

}  // namespace launcher
