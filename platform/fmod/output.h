// Where the mix goes: an SDL2 audio device when one opens, a WAV file when
// TARVEL_AUDIO_CAPTURE names one, and the test sink when a test records.
// The mix is made on the caller's thread (System::update); the device's
// callback only drains a ring that update fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform::fmod {

class MixOutput {
 public:
  // `tryDevice` false keeps to the file and the sink (a test clock drives
  // the mix, which a real device would not follow).
  explicit MixOutput(bool tryDevice);
  ~MixOutput();
  MixOutput(const MixOutput&) = delete;
  MixOutput& operator=(const MixOutput&) = delete;

  // Interleaved stereo frames at the mix rate.
  void Write(const int16_t* stereo, size_t frames);
  // Whether anything but the test sink takes the mix.
  bool Wanted() const { return device_ != 0 || wav_ != nullptr; }
  bool DeviceOpen() const { return device_ != 0; }

 private:
  static void Callback(void* self, uint8_t* stream, int bytes);
  void OpenDevice();
  void OpenCapture(const std::string& path);
  void FinishWavHeader();

  uint32_t device_ = 0;
  bool audioInitialised_ = false;
  std::vector<int16_t> ring_;  // interleaved stereo, filled by Write, drained by Callback
  size_t ringRead_ = 0;        // in samples
  size_t ringFill_ = 0;
  std::FILE* wav_ = nullptr;
  uint64_t wavBytes_ = 0;
};

}  // namespace platform::fmod
