#include "platform/fmod/decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace platform::fmod {
namespace {

constexpr int kMaxChannels = 8;
constexpr int kMaxRate = 384000;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// ---- OGG Vorbis ------------------------------------------------------------

struct MemoryFile {
  const uint8_t* data;
  size_t size;
  size_t position;
};

size_t MemRead(void* out, size_t size, size_t count, void* source) {
  auto* file = static_cast<MemoryFile*>(source);
  if (size == 0) return 0;
  size_t left = file->size - file->position;
  size_t n = std::min(count, left / size);
  std::memcpy(out, file->data + file->position, n * size);
  file->position += n * size;
  return n;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(source);
  ogg_int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<ogg_int64_t>(file->position);
  else if (whence == SEEK_END) base = static_cast<ogg_int64_t>(file->size);
  else if (whence != SEEK_SET) return -1;
  if (offset > std::numeric_limits<ogg_int64_t>::max() - base) return -1;
  ogg_int64_t target = base + offset;
  if (target < 0 || target > static_cast<ogg_int64_t>(file->size)) return -1;
  file->position = static_cast<size_t>(target);
  return 0;
}

long MemTell(void* source) { return static_cast<long>(static_cast<MemoryFile*>(source)->position); }

class OggDecoder final : public Decoder {
 public:
  ~OggDecoder() override {
    if (open_) ov_clear(&file_);
  }

  bool Open(const uint8_t* data, size_t size) {
    memory_ = {data, size, 0};
    ov_callbacks callbacks{MemRead, MemSeek, nullptr, MemTell};
    if (ov_open_callbacks(&memory_, &file_, nullptr, 0, callbacks) != 0) return false;
    open_ = true;
    vorbis_info* info = ov_info(&file_, -1);
    ogg_int64_t total = ov_pcm_total(&file_, -1);
    if (!info || info->channels < 1 || info->channels > kMaxChannels || info->rate < 1 ||
        info->rate > kMaxRate || total < 0)
      return false;
    type = FMOD_SOUND_TYPE_OGGVORBIS;
    channels = info->channels;
    rate = static_cast<int>(info->rate);
    frames = static_cast<uint64_t>(total);
    return true;
  }

  int64_t Read(int16_t* out, size_t count) override {
    size_t done = 0;
    size_t frameBytes = static_cast<size_t>(channels) * 2;
    int holes = 0;
    while (done < count) {
      size_t wanted = std::min((count - done) * frameBytes, size_t{1} << 20);
      int section = 0;
      long n = ov_read(&file_, reinterpret_cast<char*>(out + done * static_cast<size_t>(channels)),
                       static_cast<int>(wanted), 0, 2, 1, &section);
      // A gap in the data: the decoder goes on after it, but not for ever.
      if (n == OV_HOLE && ++holes < 64) continue;
      if (n < 0) return done > 0 ? static_cast<int64_t>(done) : -1;
      if (n == 0) break;
      // A chained file with another channel count cannot be read as one.
      vorbis_info* info = ov_info(&file_, section);
      if (!info || info->channels != channels) return done > 0 ? static_cast<int64_t>(done) : -1;
      done += static_cast<size_t>(n) / frameBytes;
    }
    return static_cast<int64_t>(done);
  }

  bool Seek(uint64_t frame) override {
    if (frame > frames) return false;
    return ov_pcm_seek(&file_, static_cast<ogg_int64_t>(frame)) == 0;
  }

 private:
  MemoryFile memory_{};
  OggVorbis_File file_{};
  bool open_ = false;
};

// ---- WAV -------------------------------------------------------------------

constexpr uint16_t kWavePcm = 1;
constexpr uint16_t kWaveFloat = 3;
constexpr uint16_t kWaveExtensible = 0xFFFE;

class WavDecoder final : public Decoder {
 public:
  bool Open(const uint8_t* data, size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
      return false;
    // The RIFF size may overstate a cut file; only the bytes there are read.
    size_t end = std::min<size_t>(size, size_t{8} + U32(data + 4));
    size_t at = 12;
    bool haveFormat = false;
    uint16_t tag = 0, blockAlign = 0;
    while (at + 8 <= end) {
      const uint8_t* chunk = data + at;
      size_t chunkSize = U32(chunk + 4);
      size_t body = at + 8;
      size_t available = end - body;
      if (std::memcmp(chunk, "fmt ", 4) == 0) {
        if (chunkSize < 16 || chunkSize > available) return false;
        const uint8_t* f = data + body;
        tag = U16(f);
        channels = U16(f + 2);
        uint32_t sampleRate = U32(f + 4);
        blockAlign = U16(f + 12);
        bits = U16(f + 14);
        if (tag == kWaveExtensible) {
          if (chunkSize < 26) return false;
          tag = U16(f + 24);  // the first two bytes of the sub-format
        }
        if (channels < 1 || channels > kMaxChannels || sampleRate < 1 ||
            sampleRate > static_cast<uint32_t>(kMaxRate))
          return false;
        rate = static_cast<int>(sampleRate);
        bool intOk = tag == kWavePcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
        bool floatOk = tag == kWaveFloat && (bits == 32 || bits == 64);
        if (!intOk && !floatOk) return false;
        if (blockAlign != channels * (bits / 8)) return false;
        haveFormat = true;
      } else if (std::memcmp(chunk, "data", 4) == 0) {
        if (!haveFormat) return false;
        pcm_ = data + body;
        // A data chunk running past the file is read as far as it goes.
        size_t bytes = std::min(chunkSize, available);
        frames = bytes / blockAlign;
        float_ = tag == kWaveFloat;
        frameBytes_ = blockAlign;
        type = FMOD_SOUND_TYPE_WAV;
        return true;
      }
      if (chunkSize > available) return false;
      at = body + chunkSize + (chunkSize & 1);
    }
    return false;
  }

  int64_t Read(int16_t* out, size_t count) override {
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, frames - position_));
    const uint8_t* in = pcm_ + position_ * frameBytes_;
    size_t samples = n * static_cast<size_t>(channels);
    int bytes = bits / 8;
    for (size_t i = 0; i < samples; ++i, in += bytes) out[i] = Convert(in);
    position_ += n;
    return static_cast<int64_t>(n);
  }

  bool Seek(uint64_t frame) override {
    if (frame > frames) return false;
    position_ = frame;
    return true;
  }

 private:
  int16_t Convert(const uint8_t* in) const {
    if (float_) {
      double v;
      if (bits == 32) {
        float f;
        std::memcpy(&f, in, 4);
        v = f;
      } else {
        std::memcpy(&v, in, 8);
      }
      if (!(v == v)) v = 0;  // NaN
      v = std::clamp(v, -1.0, 1.0);
      return static_cast<int16_t>(v * 32767.0);
    }
    switch (bits) {
      case 8:
        return static_cast<int16_t>((in[0] - 128) * 256);
      case 16:
        return static_cast<int16_t>(U16(in));
      case 24:
        return static_cast<int16_t>(U16(in + 1));
      default:
        return static_cast<int16_t>(U16(in + 2));
    }
  }

  const uint8_t* pcm_ = nullptr;
  uint64_t position_ = 0;
  size_t frameBytes_ = 0;
  bool float_ = false;
};

bool LooksLikeOgg(const uint8_t* data, size_t size) {
  return size >= 4 && std::memcmp(data, "OggS", 4) == 0;
}

}  // namespace

FMOD_RESULT OpenDecoder(const uint8_t* data, size_t size, FMOD_SOUND_TYPE suggested,
                        std::unique_ptr<Decoder>* out) {
  out->reset();
  if (!data || size == 0) return FMOD_ERR_FORMAT;
  bool oggFirst = suggested == FMOD_SOUND_TYPE_OGGVORBIS ||
                  (suggested != FMOD_SOUND_TYPE_WAV && LooksLikeOgg(data, size));
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool ogg = (attempt == 0) == oggFirst;
    if (ogg) {
      if (!LooksLikeOgg(data, size)) continue;
      auto decoder = std::make_unique<OggDecoder>();
      if (decoder->Open(data, size)) {
        *out = std::move(decoder);
        return FMOD_OK;
      }
    } else {
      auto decoder = std::make_unique<WavDecoder>();
      if (decoder->Open(data, size)) {
        *out = std::move(decoder);
        return FMOD_OK;
      }
    }
  }
  return FMOD_ERR_FORMAT;
}

}  // namespace platform::fmod
