#include "tools/sound_assets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "platform/fmod/decoder.h"
#include "tools/text_form_test_support.h"

namespace {

using testkit::ReadSoundText;
using testkit::TextFormError;

const char* kSounds = R"(# interface sounds and a line of speech
sound click.wav 0.2
  click 0.05 volume 0.9
sound hum.wav 0.5 rate 22050
  tone 0 0.5 441 volume 0.5
sound language/9/line.ogg 1.5 rate 44100 channels 2
  speech 0.5 0.8 pitch 170 volume 0.8 seed 9
)";

std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& file, std::unique_ptr<platform::fmod::Decoder>& decoder)
{
    std::vector<int16_t> pcm;
    if (platform::fmod::OpenDecoder(file.data(), file.size(), FMOD_SOUND_TYPE_UNKNOWN, &decoder) != FMOD_OK)
        return pcm;
    std::vector<int16_t> block(4096 * size_t(decoder->channels));
    for (int64_t got; (got = decoder->Read(block.data(), 4096)) > 0;)
        pcm.insert(pcm.end(), block.begin(), block.begin() + got * decoder->channels);
    return pcm;
}

double Rms(const std::vector<int16_t>& pcm, size_t first, size_t last)
{
    double sum = 0.0;
    for (size_t i = first; i < last; ++i)
        sum += double(pcm[i]) * pcm[i];
    return std::sqrt(sum / double(last - first)) / 32767.0;
}

TEST(SoundAssetsTest, WrittenSoundsDecodeAsDescribed)
{
    const std::vector<testkit::SoundSource> sounds = ReadSoundText(kSounds);
    ASSERT_EQ(sounds.size(), 3u);
    std::unique_ptr<platform::fmod::Decoder> decoder;

    // The tone as written, sample for sample away from its short fades.
    const std::vector<int16_t> hum = DecodeAll(testkit::EncodeSound(sounds[1]), decoder);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->type, FMOD_SOUND_TYPE_WAV);
    EXPECT_EQ(decoder->rate, 22050);
    EXPECT_EQ(decoder->channels, 1);
    ASSERT_EQ(hum.size(), 11025u);
    for (size_t n : {500u, 1234u, 5000u, 10000u})
        EXPECT_NEAR(hum[n], 0.5 * 32767 * std::sin(2 * M_PI * 441.0 * double(n) / 22050.0), 2.0) << n;
    EXPECT_EQ(hum[0], 0);

    // The click: loud at its start, silent before and soon after.
    const std::vector<int16_t> click = DecodeAll(testkit::EncodeSound(sounds[0]), decoder);
    ASSERT_EQ(click.size(), 4410u);
    const size_t at = 1102;  // 0.05 s
    EXPECT_EQ(Rms(click, 0, at), 0.0);
    EXPECT_GT(Rms(click, at, at + 100), 0.2);
    EXPECT_EQ(Rms(click, at + 700, click.size()), 0.0);

    // Speech through Vorbis: two equal channels, silent outside its span.
    const std::vector<int16_t> line = DecodeAll(testkit::EncodeSound(sounds[2]), decoder);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->type, FMOD_SOUND_TYPE_OGGVORBIS);
    EXPECT_EQ(decoder->rate, 44100);
    ASSERT_EQ(decoder->channels, 2);
    ASSERT_EQ(line.size(), 2u * 66150u);
    EXPECT_LT(Rms(line, 0, 2 * 20000), 0.01);
    EXPECT_GT(Rms(line, 2 * 22050, 2 * 57330), 0.05);
    EXPECT_LT(Rms(line, 2 * 60000, line.size()), 0.01);
    for (size_t n = 2 * 30000; n < 2 * 30100; n += 2)
        EXPECT_NEAR(line[n], line[n + 1], 300);
}

TEST(SoundAssetsTest, TheSeedVariesTheVoice)
{
    const auto a = ReadSoundText("sound a.wav 1\nspeech 0 1 seed 1\n");
    const auto b = ReadSoundText("sound a.wav 1\nspeech 0 1 seed 2\n");
    const auto again = ReadSoundText("sound a.wav 1\nspeech 0 1 seed 1\n");
    EXPECT_NE(a[0].mono, b[0].mono);
    EXPECT_EQ(a[0].mono, again[0].mono);
}

struct Refusal {
    const char* text;
    int line;
    const char* reason;
};

TEST(SoundAssetsTest, BadLinesAreRefusedWithTheirLineAndReason)
{
    const Refusal cases[] = {
        {"tone 0 1 440\n", 1, "\"tone\" comes before any sound"},
        {"sound a.wav 1\ntone 0.5 1 440\n", 2, "the part ends after the sound"},
        {"sound a.wav 1\ntone 0 1 12000\n", 2, "a pitch lies between 0 and half the sample rate"},
        {"sound a.wav 1\nclick 0 volume 2\n", 2, "a volume is from 0 to 1"},
        {"sound a.wav 1\nclick 0 loudness 1\n", 2, "\"loudness\" is not a part of \"click\""},
        {"sound a.wav 1\nclick 0 volume\n", 2, "\"volume\" needs a value"},
        {"sound a.wav 1\nspeech 0 1 pitch 5\n", 2, "a voice's pitch lies between 50 and 1000 hz"},
        {"sound a.mp3 1\n", 1, "a sound's name ends in \".wav\" or \".ogg\""},
        {"sound ../a.wav 1\n", 1, "a sound's path stays below the output folder"},
        {"sound a.wav 1 rate 12345\n", 1, "a sample rate is one of"},
        {"sound a.wav 1 channels 3\n", 1, "a sound has 1 or 2 channels"},
        {"sound a.wav 1\nsound a.wav 2\n", 2, "sound \"a.wav\" is named twice"},
        {"sound a.wav 1\nhum 0 1\n", 2, "\"hum\" is not a statement of a sound description"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ReadSoundText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const TextFormError& error) {
            EXPECT_EQ(error.line, c.line);
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
}

TEST(SoundAssetsTest, ToolWritesEverySoundBelowTheFolderOrStops)
{
    testkit::testing::ScratchFolder scratch;
    const std::string good = scratch.Write("sounds.txt", kSounds);
    ASSERT_EQ(testkit::testing::RunTool(scratch, "sound_assets", good + " " + scratch.path + "/out").exitCode, 0);
    EXPECT_EQ(scratch.Read("out/hum.wav").substr(0, 4), "RIFF");
    EXPECT_EQ(scratch.Read("out/language/9/line.ogg").substr(0, 4), "OggS");

    const std::string bad = scratch.Write("bad.txt", "sound a.wav 1\n\ntone 0 2 440\n");
    const testkit::testing::ToolRun run = testkit::testing::RunTool(scratch, "sound_assets", bad + " " + scratch.path + "/x");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error, bad + ":3: the part ends after the sound\n");
}

}  // namespace
