// Sound data of any content: open it as either format, decode it whole in
// small pieces, seek back and decode again. The work is bounded by the
// number of frames a damaged header may claim.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/fmod/decoder.h"

namespace {

constexpr size_t kMaxFrames = 1 << 20;

void DecodeSome(platform::fmod::Decoder& decoder) {
  // Room for 512 frames of the most channels the decoders accept (8).
  int16_t buffer[512 * 8];
  const size_t framesPerRead = 512;
  size_t total = 0;
  while (total < kMaxFrames) {
    const int64_t got = decoder.Read(buffer, framesPerRead);
    if (got <= 0) break;
    total += static_cast<size_t>(got);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (FMOD_SOUND_TYPE suggested : {FMOD_SOUND_TYPE_OGGVORBIS, FMOD_SOUND_TYPE_WAV}) {
    std::unique_ptr<platform::fmod::Decoder> decoder;
    if (platform::fmod::OpenDecoder(data, size, suggested, &decoder) != FMOD_OK || !decoder)
      continue;
    DecodeSome(*decoder);
    if (decoder->Seek(decoder->frames / 2)) DecodeSome(*decoder);
    decoder->Seek(decoder->frames + 1000);
  }
  return 0;
}
