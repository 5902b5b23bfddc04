// Sound files made in code for tests, benchmarks and the sample game: a
// tone as 16-bit PCM, written as WAV or encoded as OGG Vorbis (libvorbisenc).
#pragma once

#include <cstdint>
#include <vector>

namespace platform::testing {

// `seconds` of a sine tone at `hertz`, interleaved over `channels`.
std::vector<int16_t> MakeTone(double seconds, int rate, int channels, double hertz);
// A canonical 44-byte-header WAV file of 16-bit PCM.
std::vector<uint8_t> EncodeWav(const std::vector<int16_t>& pcm, int rate, int channels);
// An OGG Vorbis file at a middle quality; empty if the encoder refuses.
std::vector<uint8_t> EncodeOgg(const std::vector<int16_t>& pcm, int rate, int channels);

}  // namespace platform::testing
