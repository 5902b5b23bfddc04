// The effect units the engine puts on channel groups, as they are heard:
// each filters interleaved stereo float frames in place. Every buffer a unit
// needs is allocated when the unit is made, never while it processes.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/fmod/fmod.h"

namespace platform::fmod {

// The rate of the mix every unit runs at.
constexpr int kMixRate = 44100;

class DspEffect {
 public:
  virtual ~DspEffect() = default;
  // `params` are the unit's parameters in the order createDSPByType lists
  // them (platform/fmod/fmod.cpp), already checked against their ranges.
  virtual void Process(float* stereo, size_t frames, const std::vector<float>& params) = 0;
};

// Null for a type the layer does not offer.
std::unique_ptr<DspEffect> MakeDspEffect(FMOD_DSP_TYPE type);

}  // namespace platform::fmod
