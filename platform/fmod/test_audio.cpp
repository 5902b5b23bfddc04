#include "platform/fmod/test_audio.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace platform::testing {
namespace {

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}
void PutTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

void Append(std::vector<uint8_t>& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<int16_t> MakeTone(double seconds, int rate, int channels, double hertz) {
  size_t frames = static_cast<size_t>(seconds * rate + 0.5);
  std::vector<int16_t> pcm(frames * static_cast<size_t>(channels));
  const double step = 2.0 * 3.14159265358979323846 * hertz / rate;
  for (size_t i = 0; i < frames; ++i) {
    auto v = static_cast<int16_t>(std::lround(12000.0 * std::sin(step * static_cast<double>(i))));
    for (int c = 0; c < channels; ++c) pcm[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = v;
  }
  return pcm;
}

std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& pcm, int rate, int channels) {
  std::vector<uint8_t> out;
  uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
  out.reserve(44 + dataBytes);
  PutTag(out, "RIFF");
  PutU32(out, 36 + dataBytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutU32(out, 16);
  PutU16(out, 1);
  PutU16(out, static_cast<uint32_t>(channels));
  PutU32(out, static_cast<uint32_t>(rate));
  PutU32(out, static_cast<uint32_t>(rate * channels * 2));
  PutU16(out, static_cast<uint32_t>(channels * 2));
  PutU16(out, 16);
  PutTag(out, "data");
  PutU32(out, dataBytes);
  for (int16_t s : pcm) PutU16(out, static_cast<uint16_t>(s));
  return out;
}

std::vector<uint8_t> EncodeOgg(const std::vector<int16_t>& pcm, int rate, int channels) {
  std::vector<uint8_t> out;
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, channels, rate, 0.3f) != 0) {
    vorbis_info_clear(&info);
    return out;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, 0x7A5E1);  // a fixed serial keeps the files reproducible
  ogg_packet header, headerComment, headerCode;
  vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &headerComment);
  ogg_stream_packetin(&stream, &headerCode);
  ogg_page page;
  while (ogg_stream_flush(&stream, &page) != 0) Append(out, page);

  size_t frames = pcm.size() / static_cast<size_t>(channels);
  size_t done = 0;
  bool finished = false;
  while (!finished) {
    size_t n = std::min<size_t>(4096, frames - done);
    if (n == 0) {
      vorbis_analysis_wrote(&dsp, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
      for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
          buffer[c][i] = pcm[(done + i) * static_cast<size_t>(channels) + static_cast<size_t>(c)] / 32768.0f;
      vorbis_analysis_wrote(&dsp, static_cast<int>(n));
      done += n;
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page) != 0) {
          Append(out, page);
          if (ogg_page_eos(&page)) finished = true;
        }
      }
    }
    if (n == 0 && !finished) {
      while (ogg_stream_flush(&stream, &page) != 0) Append(out, page);
      finished = true;
    }
  }
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}

}  // namespace platform::testing
