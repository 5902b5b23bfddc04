// The mix: every playing channel, resampled to the mix rate, scaled by its
// volumes (and, for 3-D sounds, by distance and side), summed per group
// through that group's effect units, then through the master group's.
// Runs inside System::update over buffers made when the system, a group or
// a stream was made, so no block allocates.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/fmod/internal.h"

namespace FMOD::detail {
namespace {

std::atomic<bool> g_recordMix{false};

struct Gains {
  // out left = in left * ll + in right * rl; out right = in left * lr + in right * rr
  float ll, rl, lr, rr;
};

FMOD_VECTOR Sub(const FMOD_VECTOR& a, const FMOD_VECTOR& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(const FMOD_VECTOR& a, const FMOD_VECTOR& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
FMOD_VECTOR Cross(const FMOD_VECTOR& a, const FMOD_VECTOR& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// 2-D sounds play as recorded. A 3-D sound is heard as mono, attenuated
// inversely with distance beyond its minimum (level past its maximum), and
// placed by the balance law: a side at full level while the sound is on it
// or ahead, falling linearly to nothing as the sound moves fully across.
Gains GainsOf(const SystemState& system, const ChannelSlot& slot) {
  float volume = slot.volume;
  if (slot.group) volume *= slot.group->volume;
  if (slot.group && !slot.group->master && !system.groups.empty()) volume *= system.groups.front()->volume;
  if (!slot.sound->Is3D()) return {volume, 0, 0, volume};
  const FMOD_VECTOR* listener = system.listener[0];
  FMOD_VECTOR to = Sub(slot.position, listener[0]);
  float distance = std::sqrt(Dot(to, to));
  float level = 1.0f;
  if (distance > slot.minDistance) {
    float d = std::min(distance, slot.maxDistance);
    level = slot.minDistance / (slot.minDistance + system.rolloffScale * (d - slot.minDistance));
  }
  float pan = 0;
  FMOD_VECTOR right = Cross(listener[3], listener[2]);  // left-handed: up x forward
  float rightLength = std::sqrt(Dot(right, right));
  if (distance > 0 && rightLength > 0) pan = std::clamp(Dot(to, right) / (distance * rightLength), -1.0f, 1.0f);
  float left = volume * level * std::min(1.0f, 1.0f - pan);
  float rightGain = volume * level * std::min(1.0f, 1.0f + pan);
  return {left * 0.5f, left * 0.5f, rightGain * 0.5f, rightGain * 0.5f};
}

// Makes frame `i` of a stream the first of its window, decoding on; false
// when the decoder has no such frame.
bool FillWindow(SoundState& sound, uint64_t i) {
  auto channels = static_cast<size_t>(sound.channels);
  if (sound.window.size() < kStreamWindow * channels) return false;
  if (i < sound.windowStart) {
    if (!sound.decoder->Seek(i)) return false;
    sound.windowStart = i;
    sound.windowFrames = 0;
  }
  for (;;) {
    uint64_t end = sound.windowStart + sound.windowFrames;
    if (i < end) {
      size_t drop = static_cast<size_t>(i - sound.windowStart);
      if (drop > 0) {
        std::memmove(sound.window.data(), sound.window.data() + drop * channels,
                     (sound.windowFrames - drop) * channels * sizeof(int16_t));
        sound.windowStart = i;
        sound.windowFrames -= drop;
      }
      if (sound.windowFrames >= 2 || sound.windowFrames == kStreamWindow) return true;
    } else {
      sound.windowStart = end;
      sound.windowFrames = 0;
    }
    int64_t got = sound.decoder->Read(sound.window.data() + sound.windowFrames * channels,
                                      kStreamWindow - sound.windowFrames);
    if (got <= 0) return i < sound.windowStart + sound.windowFrames;
    sound.windowFrames += static_cast<size_t>(got);
  }
}

// `run` output frames from source frames at `src` (each with its next one
// present), the position's fraction starting at `fraction` (of 2^32).
void MixRun(const int16_t* src, size_t channels, uint64_t fraction, uint64_t step, const Gains& g, float* out,
            size_t run) {
  constexpr float kScale = 1.0f / 32768.0f;
  constexpr float kUnit = 1.0f / 4294967296.0f;
  uint64_t pos = fraction;
  if (channels == 1) {
    for (size_t k = 0; k < run; ++k, pos += step) {
      const int16_t* a = src + (pos >> 32);
      float v = (a[0] + (a[1] - a[0]) * (static_cast<float>(pos & 0xFFFFFFFFu) * kUnit)) * kScale;
      out[2 * k] += v * (g.ll + g.rl);
      out[2 * k + 1] += v * (g.lr + g.rr);
    }
    return;
  }
  for (size_t k = 0; k < run; ++k, pos += step) {
    const int16_t* a = src + (pos >> 32) * channels;
    const int16_t* b = a + channels;
    float frac = static_cast<float>(pos & 0xFFFFFFFFu) * kUnit;
    float l = (a[0] + (b[0] - a[0]) * frac) * kScale;
    float r = (a[1] + (b[1] - a[1]) * frac) * kScale;
    out[2 * k] += l * g.ll + r * g.rl;
    out[2 * k + 1] += l * g.lr + r * g.rr;
  }
}

}  // namespace

bool RecordingMix() { return g_recordMix.load(std::memory_order_relaxed); }

bool SystemState::Mix(DWORD now) {
  DWORD elapsed = now - mixMark;
  mixMark = now;
  bool recording = RecordingMix();
  bool wanted = recording || (mixOutput && mixOutput->Wanted());
  if (!wanted || mixMaster.empty()) {
    mixing = false;
    mixRemainder = 0;
    return false;
  }
  if (!mixing) {
    // Picking up where the clock has the channels.
    for (ChannelSlot& slot : slots) slot.mixPos = slot.frame << 32;
    mixing = true;
  }
  uint64_t scaled = uint64_t{elapsed} * platform::fmod::kMixRate + mixRemainder;
  uint64_t frames = scaled / 1000;
  mixRemainder = static_cast<uint32_t>(scaled % 1000);
  while (frames > 0) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(frames, kMixBlock));
    MixBlock(n);
    for (size_t i = 0; i < n * 2; ++i) {
      float v = std::clamp(mixMaster[i], -1.0f, 1.0f) * 32767.0f;
      mixOut[i] = static_cast<int16_t>(std::lrint(v));
    }
    if (mixOutput) mixOutput->Write(mixOut.data(), n);
    if (recording) sink.insert(sink.end(), mixOut.begin(), mixOut.begin() + static_cast<ptrdiff_t>(n * 2));
    frames -= n;
  }
  return true;
}

void SystemState::MixBlock(size_t frames) {
  size_t samples = frames * 2;
  std::fill_n(mixMaster.begin(), samples, 0.0f);
  GroupState* master = Master();
  for (GroupState* group : groups) {
    group->filtering = false;
    if (group == master) continue;
    for (const DspState* dsp : group->dsps) group->filtering |= dsp->active && dsp->effect;
    if (group->filtering) std::fill_n(group->mix.begin(), samples, 0.0f);
  }
  for (ChannelSlot& slot : slots) {
    if (!slot.used || slot.ended || slot.paused || !slot.sound) continue;
    GroupState* group = slot.group ? slot.group : master;
    MixChannel(slot, group->filtering ? group->mix.data() : mixMaster.data(), frames);
  }
  for (GroupState* group : groups) {
    if (!group->filtering) continue;
    for (DspState* dsp : group->dsps)
      if (dsp->active && dsp->effect) dsp->effect->Process(group->mix.data(), frames, dsp->params);
    for (size_t i = 0; i < samples; ++i) mixMaster[i] += group->mix[i];
  }
  if (master)
    for (DspState* dsp : master->dsps)
      if (dsp->active && dsp->effect) dsp->effect->Process(mixMaster.data(), frames, dsp->params);
}

void SystemState::MixChannel(ChannelSlot& slot, float* out, size_t frames) {
  SoundState& sound = *slot.sound;
  if (sound.channels < 1 || sound.rate <= 0) return;
  Gains g = GainsOf(*this, slot);
  auto channels = static_cast<size_t>(sound.channels);
  size_t right = channels > 1 ? 1 : 0;
  uint64_t step = (static_cast<uint64_t>(sound.rate) << 32) / platform::fmod::kMixRate;
  uint64_t pos = slot.mixPos;
  bool loops = sound.Loops();
  constexpr float kScale = 1.0f / 32768.0f;
  bool stream = sound.IsStream();
  bool restarted = false;
  for (size_t k = 0; k < frames; ++k) {
    uint64_t i = pos >> 32;
    if (sound.frames > 0 && i >= sound.frames && loops) {
      pos %= sound.frames << 32;
      i = pos >> 32;
    }
    const int16_t* a;
    const int16_t* b;
    if (stream) {
      // The window is refilled only when this frame or the next is outside it.
      bool inside = i >= sound.windowStart && i + 1 < sound.windowStart + sound.windowFrames;
      if (!inside && !FillWindow(sound, i)) {
        // The data ended before its stated length, or cannot be read on.
        if (loops && !restarted && i > 0) {
          restarted = true;
          pos = 0;
          --k;
          continue;
        }
        slot.ended = true;
        slot.frame = sound.frames;
        break;
      }
      restarted = false;
    } else if (i >= sound.frames) {
      break;
    }
    // Frames [first, limit) lie at `base`; while the next frame is among
    // them too, a run goes without the checks above.
    const int16_t* base = stream ? sound.window.data() : sound.pcm.data();
    uint64_t first = stream ? sound.windowStart : 0;
    uint64_t limit = stream ? sound.windowStart + sound.windowFrames : sound.frames;
    if (i + 1 < limit && limit < (uint64_t{1} << 31)) {
      uint64_t lastPos = ((limit - 1) << 32) - 1;  // the last position whose next frame is below limit
      auto run = static_cast<size_t>(std::min<uint64_t>(frames - k, (lastPos - pos) / step + 1));
      MixRun(base + (i - first) * channels, channels, pos & 0xFFFFFFFFu, step, g, out + 2 * k, run);
      pos += step * run;
      k += run - 1;
      continue;
    }
    // The last frame of the data: the next is the first again, or itself.
    a = base + (i - first) * channels;
    if (stream) b = a;
    else b = loops ? sound.pcm.data() : a;
    float frac = static_cast<float>(pos & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
    float l = (a[0] + (b[0] - a[0]) * frac) * kScale;
    float r = (a[right] + (b[right] - a[right]) * frac) * kScale;
    out[2 * k] += l * g.ll + r * g.rl;
    out[2 * k + 1] += l * g.lr + r * g.rr;
    pos += step;
  }
  slot.mixPos = pos;
}

}  // namespace FMOD::detail

namespace platform::testing {

void RecordFmodMix(bool on) { FMOD::detail::g_recordMix.store(on); }

std::vector<int16_t> FmodMix() {
  auto& live = FMOD::detail::LiveSystems();
  return live.empty() ? std::vector<int16_t>{} : live.back()->sink;
}

void ClearFmodMix() {
  for (FMOD::detail::SystemState* system : FMOD::detail::LiveSystems()) system->sink.clear();
}

}  // namespace platform::testing
