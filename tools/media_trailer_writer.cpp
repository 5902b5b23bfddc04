#include "tools/media_trailer_writer.h"

#include <fstream>
#include <iterator>

namespace testkit {

Bytes AppendMediaTrailer(const Bytes& program, const MediaTrailer& media) {
  Bytes out = program;
  uint32_t table[11] = {};
  table[3] = static_cast<uint32_t>(media.video.size());
  table[5] = static_cast<uint32_t>(media.music.size());
  table[7] = static_cast<uint32_t>(media.click.size());
  table[9] = static_cast<uint32_t>(media.hover.size());
  table[10] = table[3] + table[5] + table[7] + table[9] + 44;
  for (const Bytes* block : {&media.video, &media.music, &media.click, &media.hover})
    out.insert(out.end(), block->begin(), block->end());
  for (uint32_t word : table) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(word >> shift));
  }
  return out;
}

bool ReadFileBytes(const std::string& path, Bytes* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace testkit
