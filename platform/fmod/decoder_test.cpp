#include "platform/fmod/decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/fmod/test_audio.h"

namespace {

using platform::fmod::Decoder;
using platform::fmod::OpenDecoder;
using namespace platform::testing;

std::vector<uint8_t> WavHeader(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                               uint32_t dataBytes) {
  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  auto tagOf = [&](const char* t) { out.insert(out.end(), t, t + 4); };
  tagOf("RIFF"); u32(36 + dataBytes); tagOf("WAVE");
  tagOf("fmt "); u32(16); u16(tag); u16(channels); u32(rate);
  u32(rate * channels * (bits / 8)); u16(uint16_t(channels * (bits / 8))); u16(bits);
  tagOf("data"); u32(dataBytes);
  return out;
}

TEST(Decoder, WavSampleFormatsConvertToSixteenBits) {
  struct Case {
    uint16_t tag, bits;
    std::vector<uint8_t> sample;  // one little-endian sample
    int16_t expected;
  };
  float half = 0.5f, over = 2.0f;
  std::vector<uint8_t> halfBytes(4), overBytes(4);
  std::memcpy(halfBytes.data(), &half, 4);
  std::memcpy(overBytes.data(), &over, 4);
  const Case cases[] = {
      {1, 8, {0x80}, 0},
      {1, 8, {0xFF}, 127 * 256},
      {1, 8, {0x00}, -32768},
      {1, 16, {0x34, 0x12}, 0x1234},
      {1, 24, {0x99, 0x34, 0x12}, 0x1234},
      {1, 32, {0x00, 0x99, 0xCD, 0xAB}, int16_t(0xABCD)},
      {3, 32, halfBytes, 16383},
      {3, 32, overBytes, 32767},  // clipped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "bits " << c.bits);
    std::vector<uint8_t> file = WavHeader(c.tag, 1, 8000, c.bits, uint32_t(c.sample.size() * 3));
    for (int i = 0; i < 3; ++i) file.insert(file.end(), c.sample.begin(), c.sample.end());
    std::unique_ptr<Decoder> d;
    ASSERT_EQ(OpenDecoder(file.data(), file.size(), FMOD_SOUND_TYPE_WAV, &d), FMOD_OK);
    EXPECT_EQ(d->frames, 3u);
    int16_t out[4] = {};
    EXPECT_EQ(d->Read(out, 4), 3);
    EXPECT_EQ(out[2], c.expected);
    EXPECT_EQ(d->Read(out, 4), 0);
  }
}

TEST(Decoder, OggKeepsItsLengthAndDecodesToTheEnd) {
  auto pcm = MakeTone(1.25, 22050, 2, 440);
  auto ogg = EncodeOgg(pcm, 22050, 2);
  ASSERT_FALSE(ogg.empty());
  std::unique_ptr<Decoder> d;
  // The suggested type is only a hint: the signature decides.
  ASSERT_EQ(OpenDecoder(ogg.data(), ogg.size(), FMOD_SOUND_TYPE_WAV, &d), FMOD_OK);
  EXPECT_EQ(d->type, FMOD_SOUND_TYPE_OGGVORBIS);
  EXPECT_EQ(d->channels, 2);
  EXPECT_EQ(d->rate, 22050);
  EXPECT_EQ(d->frames, pcm.size() / 2);
  std::vector<int16_t> out(4096 * 2);
  uint64_t total = 0;
  for (int64_t n; (n = d->Read(out.data(), 4096)) > 0;) total += uint64_t(n);
  EXPECT_EQ(total, d->frames);
  ASSERT_TRUE(d->Seek(1000));
  EXPECT_GT(d->Read(out.data(), 10), 0);
  EXPECT_FALSE(d->Seek(d->frames + 1));
}

TEST(Decoder, DamagedWavIsRefused) {
  std::vector<uint8_t> good = WavHeader(1, 2, 8000, 16, 8);
  good.resize(good.size() + 8);
  struct Case {
    const char* what;
    size_t offset;  // where the patch goes; SIZE_MAX cuts the file instead
    uint32_t value;
    int width;
  };
  const Case cases[] = {
      {"no channels", 22, 0, 2},
      {"nine channels", 22, 9, 2},
      {"rate 0", 24, 0, 4},
      {"block size disagrees", 32, 3, 2},
      {"12 bits", 34, 12, 2},
      {"format chunk past the end", 16, 0x7FFFFFF0, 4},
      {"format chunk too short", 16, 8, 4},
      {"ADPCM", 20, 2, 2},
      {"cut inside the header", SIZE_MAX, 30, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> file = good;
    if (c.offset == SIZE_MAX) {
      file.resize(c.value);
    } else {
      for (int i = 0; i < c.width; ++i) file[c.offset + size_t(i)] = uint8_t(c.value >> (8 * i));
    }
    std::unique_ptr<Decoder> d;
    EXPECT_EQ(OpenDecoder(file.data(), file.size(), FMOD_SOUND_TYPE_WAV, &d), FMOD_ERR_FORMAT);
    EXPECT_EQ(d, nullptr);
  }
  // A data chunk that claims more than is there is read as far as it goes.
  std::vector<uint8_t> file = good;
  file[40] = 0xFF;
  file[41] = 0xFF;
  std::unique_ptr<Decoder> d;
  ASSERT_EQ(OpenDecoder(file.data(), file.size(), FMOD_SOUND_TYPE_WAV, &d), FMOD_OK);
  EXPECT_EQ(d->frames, 2u);
}

TEST(Decoder, DamagedOrForeignDataNeverReadsOutside) {
  auto ogg = EncodeOgg(MakeTone(0.5, 11025, 1, 300), 11025, 1);
  ASSERT_GT(ogg.size(), 200u);
  std::unique_ptr<Decoder> d;
  for (size_t cut : {size_t(4), size_t(30), size_t(100), ogg.size() / 2}) {
    std::vector<uint8_t> part(ogg.begin(), ogg.begin() + long(cut));
    if (OpenDecoder(part.data(), part.size(), FMOD_SOUND_TYPE_OGGVORBIS, &d) == FMOD_OK) {
      std::vector<int16_t> out(4096);
      while (d->Read(out.data(), 4096) > 0) {
      }
    }
  }
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<uint8_t> bytes = ogg;
    for (int i = 0; i < 20; ++i) bytes[random() % bytes.size()] = uint8_t(random());
    if (OpenDecoder(bytes.data(), bytes.size(), FMOD_SOUND_TYPE_OGGVORBIS, &d) == FMOD_OK) {
      std::vector<int16_t> out(4096);
      while (d->Read(out.data(), 4096) > 0) {
      }
    }
  }
  const uint8_t text[] = "not a sound at all";
  EXPECT_EQ(OpenDecoder(text, sizeof text, FMOD_SOUND_TYPE_UNKNOWN, &d), FMOD_ERR_FORMAT);
  EXPECT_EQ(OpenDecoder(text, 0, FMOD_SOUND_TYPE_UNKNOWN, &d), FMOD_ERR_FORMAT);
}

}  // namespace
