// Seconds of sound per second of work. One item is one second of the load
// a scene puts on the sound layer: a looping music stream (44.1 kHz stereo
// OGG), one speech line (a 1-second OGG sample, opened and played) and eight
// effects (WAV samples) started, run through 60 updates of the test clock.
// The test clock is moved outside the timed part. The baseline decodes the same second of music and the same speech line
// with libvorbisfile straight from memory, in the same run. With the
// argument 1 the layer also mixes that second (the effects through the
// high-pass group start-up makes) into a capture file on /dev/null, as it
// mixes for an audio device.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/fmod/fmod.h"
#include "platform/fmod/test_audio.h"
#include "platform/win32/testing.h"

namespace {

constexpr int kRate = 44100;
constexpr int kUpdates = 60;
constexpr int kEffects = 8;

struct Data {
  std::vector<uint8_t> music = platform::testing::EncodeOgg(
      platform::testing::MakeTone(20.0, kRate, 2, 220), kRate, 2);
  std::vector<uint8_t> speech = platform::testing::EncodeOgg(
      platform::testing::MakeTone(1.0, 22050, 1, 180), 22050, 1);
  std::vector<std::vector<uint8_t>> effects;
  Data() {
    for (int i = 0; i < kEffects; ++i)
      effects.push_back(platform::testing::EncodeWav(
          platform::testing::MakeTone(0.3 + 0.05 * i, 22050, 1, 400 + 50 * i), 22050, 1));
  }
};

const Data& GetData() {
  static const Data data;
  return data;
}

FMOD::Sound* Create(FMOD::System* system, const std::vector<uint8_t>& bytes, FMOD_MODE mode,
                    FMOD_SOUND_TYPE type) {
  FMOD_CREATESOUNDEXINFO info{};
  info.cbsize = sizeof info;
  info.length = static_cast<uint32_t>(bytes.size());
  info.suggestedsoundtype = type;
  FMOD::Sound* sound = nullptr;
  system->createSound(reinterpret_cast<const char*>(bytes.data()), mode, &info, &sound);
  return sound;
}

void BM_SceneSecondThroughLayer(benchmark::State& state) {
  const Data& data = GetData();
  platform::testing::TakeClock(1000);
  bool mixed = state.range(0) != 0;
  if (mixed) setenv("TARVEL_AUDIO_CAPTURE", "/dev/null", 1);
  FMOD::System* system = nullptr;
  FMOD_System_Create(&system);
  system->init(200, 0, nullptr);
  unsetenv("TARVEL_AUDIO_CAPTURE");
  FMOD::ChannelGroup* group = nullptr;
  system->createChannelGroup("4", &group);
  FMOD::DSP* highPass = nullptr;
  system->createDSPByType(FMOD_DSP_TYPE_HIGHPASS, &highPass);
  highPass->setParameter(0, 1200.0f);
  highPass->setParameter(1, 8.0f);
  group->addDSP(highPass, nullptr);
  highPass->setActive(true);
  FMOD::Sound* music = Create(system, data.music,
                              FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_2D | FMOD_LOOP_NORMAL,
                              FMOD_SOUND_TYPE_OGGVORBIS);
  std::vector<FMOD::Sound*> effects;
  for (const auto& bytes : data.effects)
    effects.push_back(Create(system, bytes, FMOD_OPENMEMORY | FMOD_CREATESAMPLE | FMOD_SOFTWARE,
                             FMOD_SOUND_TYPE_WAV));
  system->playSound(FMOD_CHANNEL_FREE, music, false, nullptr);
  for (auto _ : state) {
    FMOD::Sound* speech = Create(system, data.speech, FMOD_OPENMEMORY | FMOD_CREATESAMPLE |
                                                          FMOD_SOFTWARE | FMOD_2D,
                                 FMOD_SOUND_TYPE_OGGVORBIS);
    system->playSound(FMOD_CHANNEL_FREE, speech, false, nullptr);
    for (FMOD::Sound* effect : effects) {
      FMOD::Channel* channel = nullptr;
      system->playSound(FMOD_CHANNEL_FREE, effect, false, &channel);
      if (channel) channel->setChannelGroup(group);
    }
    for (int i = 0; i < kUpdates; ++i) {
      // Moving the test clock also stores it for child processes: not
      // the layer's work.
      state.PauseTiming();
      platform::testing::AdvanceClock(1000 / kUpdates + (i % 3 == 0 ? 1 : 0));
      state.ResumeTiming();
      system->update();
    }
    speech->release();
  }
  state.SetItemsProcessed(state.iterations());
  system->release();
  platform::testing::ReleaseClock();
}
BENCHMARK(BM_SceneSecondThroughLayer)->ArgName("mixed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

struct MemoryFile {
  const std::vector<uint8_t>* data;
  size_t position;
};

size_t Read(void* out, size_t size, size_t count, void* source) {
  auto* file = static_cast<MemoryFile*>(source);
  size_t n = std::min(count, (file->data->size() - file->position) / size);
  std::memcpy(out, file->data->data() + file->position, n * size);
  file->position += n * size;
  return n;
}

int Seek(void* source, ogg_int64_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(source);
  ogg_int64_t base = whence == SEEK_CUR ? ogg_int64_t(file->position)
                     : whence == SEEK_END ? ogg_int64_t(file->data->size()) : 0;
  if (base + offset < 0 || base + offset > ogg_int64_t(file->data->size())) return -1;
  file->position = size_t(base + offset);
  return 0;
}

long Tell(void* source) { return long(static_cast<MemoryFile*>(source)->position); }

// Decodes `frames` frames of an OGG from memory, as libvorbisfile does alone.
void Decode(OggVorbis_File* file, long frames, int channels, std::vector<char>& buffer) {
  long bytes = frames * channels * 2;
  while (bytes > 0) {
    int section = 0;
    long n = ov_read(file, buffer.data(), int(std::min<long>(bytes, long(buffer.size()))), 0, 2, 1,
                     &section);
    if (n <= 0) {
      ov_pcm_seek(file, 0);
      continue;
    }
    bytes -= n;
  }
}

void BM_SameSecondDecodedByLibvorbisfile(benchmark::State& state) {
  const Data& data = GetData();
  ov_callbacks callbacks{Read, Seek, nullptr, Tell};
  MemoryFile musicFile{&data.music, 0};
  OggVorbis_File music;
  ov_open_callbacks(&musicFile, &music, nullptr, 0, callbacks);
  std::vector<char> buffer(16384);
  for (auto _ : state) {
    Decode(&music, kRate, 2, buffer);
    MemoryFile speechFile{&data.speech, 0};
    OggVorbis_File speech;
    ov_open_callbacks(&speechFile, &speech, nullptr, 0, callbacks);
    Decode(&speech, long(ov_pcm_total(&speech, -1)), 1, buffer);
    ov_clear(&speech);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations());
  ov_clear(&music);
}
BENCHMARK(BM_SameSecondDecodedByLibvorbisfile)->Unit(benchmark::kMillisecond);

}  // namespace
