#include "platform/fmod/dsp.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::fmod {
namespace {

constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;

// A second-order section (transposed direct form II) per side; the
// coefficients follow the usual bilinear-transform designs and are worked
// out again only when the cutoff or resonance changes.
class Biquad : public DspEffect {
 public:
  explicit Biquad(bool highPass) : highPass_(highPass) {}

  void Process(float* s, size_t frames, const std::vector<float>& params) override {
    if (params.size() < 2) return;
    if (params[0] != cutoff_ || params[1] != resonance_) Design(params[0], params[1]);
    for (size_t i = 0; i < frames; ++i) {
      for (int c = 0; c < 2; ++c) {
        float x = s[2 * i + c];
        float y = b0_ * x + z1_[c];
        z1_[c] = b1_ * x - a1_ * y + z2_[c];
        z2_[c] = b2_ * x - a2_ * y;
        s[2 * i + c] = y;
      }
    }
  }

 private:
  void Design(float cutoff, float resonance) {
    cutoff_ = cutoff;
    resonance_ = resonance;
    // Above 0.45 of the rate the design folds over; the filter stays stable.
    double f = std::clamp(static_cast<double>(cutoff), 1.0, 0.45 * kMixRate);
    double w0 = 2.0 * std::numbers::pi * f / kMixRate;
    double cosw = std::cos(w0);
    double alpha = std::sin(w0) / (2.0 * std::max(static_cast<double>(resonance), 0.1));
    double a0 = 1.0 + alpha;
    double b0 = highPass_ ? (1.0 + cosw) / 2.0 : (1.0 - cosw) / 2.0;
    double b1 = highPass_ ? -(1.0 + cosw) : (1.0 - cosw);
    b0_ = static_cast<float>(b0 / a0);
    b1_ = static_cast<float>(b1 / a0);
    b2_ = b0_;
    a1_ = static_cast<float>(-2.0 * cosw / a0);
    a2_ = static_cast<float>((1.0 - alpha) / a0);
  }

  bool highPass_;
  float cutoff_ = -1, resonance_ = -1;
  float b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  float z1_[2] = {}, z2_[2] = {};
};

// A stereo delay line with fractional reads.
class DelayLine {
 public:
  explicit DelayLine(size_t frames) : buffer_(frames * 2, 0.0f), frames_(frames) {}

  void Write(float left, float right) {
    buffer_[2 * write_] = left;
    buffer_[2 * write_ + 1] = right;
    write_ = write_ + 1 == frames_ ? 0 : write_ + 1;
  }
  // `delay` frames before the next write (1 is the newest frame).
  float Read(int side, float delay) const {
    delay = std::clamp(delay, 1.0f, static_cast<float>(frames_ - 1));
    auto whole = static_cast<size_t>(delay);
    float frac = delay - static_cast<float>(whole);
    float a = At(side, whole);
    float b = At(side, whole + 1);
    return a + (b - a) * frac;
  }
  size_t Frames() const { return frames_; }

 private:
  float At(int side, size_t delay) const {
    size_t index = (write_ + frames_ - delay % frames_) % frames_;
    return buffer_[2 * index + static_cast<size_t>(side)];
  }
  std::vector<float> buffer_;
  size_t frames_;
  size_t write_ = 0;
};

// Delay (ms), decay, channels (unused), dry, wet.
class Echo : public DspEffect {
 public:
  Echo() : line_(static_cast<size_t>(kMixRate) * 5 + 2) {}
  void Process(float* s, size_t frames, const std::vector<float>& p) override {
    if (p.size() < 5) return;
    float delay = p[0] * kMixRate / 1000.0f;
    for (size_t i = 0; i < frames; ++i) {
      float in[2] = {s[2 * i], s[2 * i + 1]};
      float echo[2] = {line_.Read(0, delay), line_.Read(1, delay)};
      line_.Write(in[0] + echo[0] * p[1], in[1] + echo[1] * p[1]);
      s[2 * i] = in[0] * p[3] + echo[0] * p[4];
      s[2 * i + 1] = in[1] * p[3] + echo[1] * p[4];
    }
  }

 private:
  DelayLine line_;
};

// Dry, wet, depth, rate (Hz): a short delay swept by a sine.
class Flange : public DspEffect {
 public:
  Flange() : line_(kMaxDelay + 4) {}
  void Process(float* s, size_t frames, const std::vector<float>& p) override {
    if (p.size() < 4) return;
    float step = kTwoPi * p[3] / kMixRate;
    for (size_t i = 0; i < frames; ++i) {
      float delay = 1.0f + p[2] * kMaxDelay * 0.5f * (1.0f + std::sin(phase_));
      phase_ += step;
      if (phase_ > kTwoPi) phase_ -= kTwoPi;
      line_.Write(s[2 * i], s[2 * i + 1]);
      for (int c = 0; c < 2; ++c)
        s[2 * i + c] = s[2 * i + c] * p[0] + line_.Read(c, delay) * p[1];
    }
  }

 private:
  static constexpr size_t kMaxDelay = kMixRate / 100;  // 10 ms
  DelayLine line_;
  float phase_ = 0;
};

// Dry, three wet taps, delay (ms), rate (Hz), depth: three sweeps a quarter
// turn apart around the delay.
class Chorus : public DspEffect {
 public:
  Chorus() : line_(static_cast<size_t>(kMixRate) / 5 + 4) {}
  void Process(float* s, size_t frames, const std::vector<float>& p) override {
    if (p.size() < 7) return;
    float base = p[4] * kMixRate / 1000.0f;
    float swing = base * std::min(p[6], 1.0f);
    float step = kTwoPi * p[5] / kMixRate;
    for (size_t i = 0; i < frames; ++i) {
      line_.Write(s[2 * i], s[2 * i + 1]);
      for (int c = 0; c < 2; ++c) {
        float out = s[2 * i + c] * p[0];
        for (int tap = 0; tap < 3; ++tap) {
          float delay = 1.0f + base + swing * std::sin(phase_ + tap * kTwoPi / 4.0f);
          out += line_.Read(c, delay) * p[static_cast<size_t>(1 + tap)];
        }
        s[2 * i + c] = out;
      }
      phase_ += step;
      if (phase_ > kTwoPi) phase_ -= kTwoPi;
    }
  }

 private:
  DelayLine line_;
  float phase_ = 0;
};

// Room size, damping, wet, dry, width, mode: eight damped combs and four
// all-passes per side over the mono sum, the right side spread a little.
class Reverb : public DspEffect {
 public:
  Reverb() {
    static constexpr size_t kComb[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static constexpr size_t kAllPass[4] = {556, 441, 341, 225};
    constexpr size_t kSpread = 23;
    for (int side = 0; side < 2; ++side) {
      for (size_t i = 0; i < 8; ++i) combs_[side][i].buffer.assign(kComb[i] + kSpread * side, 0.0f);
      for (size_t i = 0; i < 4; ++i) allPasses_[side][i].buffer.assign(kAllPass[i] + kSpread * side, 0.0f);
    }
  }
  void Process(float* s, size_t frames, const std::vector<float>& p) override {
    if (p.size() < 6) return;
    float feedback = p[0] * 0.28f + 0.7f;
    float damp = p[1] * 0.4f;
    float wet = p[2] * 3.0f;
    float wet1 = wet * (p[4] / 2.0f + 0.5f);
    float wet2 = wet * ((1.0f - p[4]) / 2.0f);
    for (size_t i = 0; i < frames; ++i) {
      float input = (s[2 * i] + s[2 * i + 1]) * 0.015f;
      float out[2] = {0, 0};
      for (int side = 0; side < 2; ++side) {
        for (Comb& comb : combs_[side]) out[side] += comb.Run(input, feedback, damp);
        for (AllPass& pass : allPasses_[side]) out[side] = pass.Run(out[side]);
      }
      float left = s[2 * i], right = s[2 * i + 1];
      s[2 * i] = out[0] * wet1 + out[1] * wet2 + left * p[3];
      s[2 * i + 1] = out[1] * wet1 + out[0] * wet2 + right * p[3];
    }
  }

 private:
  struct Comb {
    std::vector<float> buffer;
    size_t index = 0;
    float store = 0;
    float Run(float input, float feedback, float damp) {
      float output = buffer[index];
      store = output * (1.0f - damp) + store * damp;
      buffer[index] = input + store * feedback;
      if (++index == buffer.size()) index = 0;
      return output;
    }
  };
  struct AllPass {
    std::vector<float> buffer;
    size_t index = 0;
    float Run(float input) {
      float delayed = buffer[index];
      buffer[index] = input + delayed * 0.5f;
      if (++index == buffer.size()) index = 0;
      return delayed - input;
    }
  };
  Comb combs_[2][8];
  AllPass allPasses_[2][4];
};

}  // namespace

std::unique_ptr<DspEffect> MakeDspEffect(FMOD_DSP_TYPE type) {
  switch (type) {
    case FMOD_DSP_TYPE_LOWPASS: return std::make_unique<Biquad>(false);
    case FMOD_DSP_TYPE_HIGHPASS: return std::make_unique<Biquad>(true);
    case FMOD_DSP_TYPE_ECHO: return std::make_unique<Echo>();
    case FMOD_DSP_TYPE_FLANGE: return std::make_unique<Flange>();
    case FMOD_DSP_TYPE_CHORUS: return std::make_unique<Chorus>();
    case FMOD_DSP_TYPE_REVERB: return std::make_unique<Reverb>();
    default: return nullptr;
  }
}

}  // namespace platform::fmod
