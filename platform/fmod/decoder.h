// Decoders of the sound layer: OGG Vorbis through libvorbisfile and WAV by
// our own reader, both over a block of memory that the caller keeps alive.
// Every field of a file is checked before use; damaged data gives an error,
// never a read outside the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/fmod/fmod.h"

namespace platform::fmod {

class Decoder {
 public:
  virtual ~Decoder() = default;

  // Up to `frames` interleaved 16-bit frames into out; the count read, 0 at
  // the end of the data, negative when the data is damaged.
  virtual int64_t Read(int16_t* out, size_t frames) = 0;
  // Moves the read position to a frame; false when it cannot.
  virtual bool Seek(uint64_t frame) = 0;

  FMOD_SOUND_TYPE type = FMOD_SOUND_TYPE_UNKNOWN;
  int channels = 0;
  int rate = 0;
  int bits = 16;        // of the stored samples
  uint64_t frames = 0;  // the whole length
};

// Opens data by its own signature ("OggS" or "RIFF"/"WAVE"); the suggested
// type is tried first. FMOD_ERR_FORMAT when neither reader accepts it.
FMOD_RESULT OpenDecoder(const uint8_t* data, size_t size, FMOD_SOUND_TYPE suggested,
                        std::unique_ptr<Decoder>* out);

}  // namespace platform::fmod
