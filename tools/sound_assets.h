#pragma once
// sound_assets: the text form of the sample game's sounds. Each "sound"
// starts a file, named from the output folder; its extension picks the
// format (".wav": 16-bit PCM, ".ogg": OGG Vorbis). The parts below it are
// mixed into it; times and lengths are in seconds, volumes from 0 to 1.
//
//   sound <path> <seconds> [rate <hz>] [channels <1|2>]
//     tone <start> <length> <hz> [to <hz>] [volume <v>]   a sine, sliding
//                                             to the second pitch when given
//     click <start> [volume <v>]               a short, fast-dying burst
//     speech <start> <length> [pitch <hz>] [volume <v>] [seed <n>]
//                                             voiced syllables, a spoken-line
//                                             stand-in (the seed varies them)

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/text_form.h"

namespace testkit {

struct SoundSource {
  std::string path;  // relative, below the output folder
  int rate = 22050;
  int channels = 1;
  std::vector<float> mono;  // the mix, from -1 to 1
};

// Mixes a tone, click or speech line into `mono` (at `rate`); false when the
// line is none of them. Video descriptions take the same lines.
bool MixSoundPart(const TextLine& line, int rate, std::vector<float>& mono);

// 16-bit samples of the mix, the same on every channel.
std::vector<int16_t> SoundPcm(const std::vector<float>& mono, int channels);

// The sounds of a description; a refused line throws TextFormError.
std::vector<SoundSource> ReadSoundText(std::string_view text);

// The file of one sound, in the format its extension names; empty when the
// encoder refuses.
std::vector<uint8_t> EncodeSound(const SoundSource& sound);

}  // namespace testkit
