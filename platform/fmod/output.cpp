#include "platform/fmod/output.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/fmod/dsp.h"

namespace platform::fmod {
namespace {

constexpr size_t kRingFrames = kMixRate / 2;  // half a second ahead at most

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

MixOutput::MixOutput(bool tryDevice) {
  if (const char* capture = std::getenv("TARVEL_AUDIO_CAPTURE"); capture && *capture)
    OpenCapture(capture);
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  bool dummy = driver && std::strcmp(driver, "dummy") == 0;
  if (tryDevice && !dummy) OpenDevice();
}

MixOutput::~MixOutput() {
  if (device_) SDL_CloseAudioDevice(device_);
  if (audioInitialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (wav_) {
    FinishWavHeader();
    std::fclose(wav_);
  }
}

void MixOutput::OpenDevice() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // signals end the program as before
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
  audioInitialised_ = true;
  SDL_AudioSpec want{};
  want.freq = kMixRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = &MixOutput::Callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  ring_.assign(kRingFrames * 2, 0);
  // No changes allowed: SDL converts, so the ring is always our format.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    std::fprintf(stderr, "No audio device opened (%s); playing without sound.\n", SDL_GetError());
    ring_.clear();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioInitialised_ = false;
    return;
  }
  SDL_PauseAudioDevice(device_, 0);
}

void MixOutput::OpenCapture(const std::string& path) {
  wav_ = std::fopen(path.c_str(), "wb");
  if (!wav_) {
    std::fprintf(stderr, "Audio capture: cannot write \"%s\".\n", path.c_str());
    return;
  }
  FinishWavHeader();
}

// The header is kept true after every write, so a run that is ended from
// outside still leaves a file that plays.
void MixOutput::FinishWavHeader() {
  uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                   16, 0, 0, 0, 1, 0, 2, 0};
  uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(wavBytes_, 0xFFFFFFFFu - 36));
  PutLe32(h + 4, 36 + data);
  PutLe32(h + 24, kMixRate);
  PutLe32(h + 28, kMixRate * 4);
  PutLe16(h + 32, 4);
  PutLe16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  PutLe32(h + 40, data);
  std::fseek(wav_, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, wav_);
  std::fseek(wav_, 0, SEEK_END);
}

void MixOutput::Write(const int16_t* stereo, size_t frames) {
  if (wav_ && frames > 0) {
    // The file is little-endian, as is every machine this runs on.
    std::fwrite(stereo, sizeof(int16_t) * 2, frames, wav_);
    wavBytes_ += frames * 4;
    FinishWavHeader();
  }
  if (!device_) return;
  SDL_LockAudioDevice(device_);
  size_t samples = frames * 2;
  size_t capacity = ring_.size();
  // Ahead of the device by more than the ring holds: the oldest goes.
  if (samples > capacity) {
    stereo += samples - capacity;
    samples = capacity;
  }
  if (ringFill_ + samples > capacity) {
    size_t drop = ringFill_ + samples - capacity;
    ringRead_ = (ringRead_ + drop) % capacity;
    ringFill_ -= drop;
  }
  size_t write = (ringRead_ + ringFill_) % capacity;
  size_t first = std::min(samples, capacity - write);
  std::memcpy(ring_.data() + write, stereo, first * sizeof(int16_t));
  std::memcpy(ring_.data(), stereo + first, (samples - first) * sizeof(int16_t));
  ringFill_ += samples;
  SDL_UnlockAudioDevice(device_);
}

// On SDL's audio thread, with the device locked.
void MixOutput::Callback(void* userdata, uint8_t* stream, int bytes) {
  auto* self = static_cast<MixOutput*>(userdata);
  size_t wanted = static_cast<size_t>(bytes) / sizeof(int16_t);
  size_t take = std::min(wanted, self->ringFill_);
  size_t capacity = self->ring_.size();
  auto* out = reinterpret_cast<int16_t*>(stream);
  size_t first = std::min(take, capacity - self->ringRead_);
  std::memcpy(out, self->ring_.data() + self->ringRead_, first * sizeof(int16_t));
  std::memcpy(out + first, self->ring_.data(), (take - first) * sizeof(int16_t));
  std::memset(out + take, 0, (wanted - take) * sizeof(int16_t));
  self->ringRead_ = (self->ringRead_ + take) % capacity;
  self->ringFill_ -= take;
}

}  // namespace platform::fmod
