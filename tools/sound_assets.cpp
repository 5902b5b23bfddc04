#include "tools/sound_assets.h"

#include <algorithm>
#include <cmath>

#include "platform/fmod/test_audio.h"

namespace testkit {

namespace {

constexpr double kTwoPi = 6.283185307179586;

bool EndsWith(const std::string& text, std::string_view tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Options "name value" after the fixed words; refuses anything else.
float Option(const TextLine& line, size_t from, const char* name, float fallback)
{
    for (size_t i = from; i < line.words.size(); i += 2)
        if (line.words[i] == name)
            return WordFloat(line, i + 1);
    return fallback;
}

void CheckOptions(const TextLine& line, size_t from, std::initializer_list<std::string_view> names)
{
    for (size_t i = from; i < line.words.size(); i += 2) {
        if (std::find(names.begin(), names.end(), line.words[i]) == names.end())
            Refuse(line, "\"" + line.words[i] + "\" is not a part of \"" + line.words[0] + "\"");
        if (i + 1 >= line.words.size())
            Refuse(line, "\"" + line.words[i] + "\" needs a value");
    }
}

float Volume(const TextLine& line, size_t from)
{
    const float volume = Option(line, from, "volume", 0.5f);
    if (volume < 0.0f || volume > 1.0f)
        Refuse(line, "a volume is from 0 to 1");
    return volume;
}

// The sample range [first, last) of a part, which must lie inside the sound.
std::pair<size_t, size_t> Span(const TextLine& line, float start, float length, int rate, size_t total)
{
    if (start < 0.0f || !(length > 0.0f))
        Refuse(line, "a part starts at 0 or later and lasts longer than 0");
    const double first = std::floor(double(start) * rate);
    const double last = std::floor((double(start) + length) * rate);
    if (last > double(total))
        Refuse(line, "the part ends after the sound");
    return {size_t(first), size_t(last)};
}

// A fade of a few milliseconds at both ends, so parts start and stop without a crack.
double Edge(size_t i, size_t count, int rate)
{
    const double fade = std::max(1.0, 0.005 * rate);
    return std::min({1.0, double(i) / fade, double(count - i) / fade});
}

void Tone(const TextLine& line, int rate, std::vector<float>& mono)
{
    if (line.words.size() < 4)
        Refuse(line, "a tone is \"tone <start> <length> <hz> ...\"");
    CheckOptions(line, 4, {"to", "volume"});
    const float hz = WordFloat(line, 3);
    const float to = Option(line, 4, "to", hz);
    if (!(hz > 0.0f) || !(to > 0.0f) || hz >= rate / 2.0f || to >= rate / 2.0f)
        Refuse(line, "a pitch lies between 0 and half the sample rate");
    const float volume = Volume(line, 4);
    const auto [first, last] = Span(line, WordFloat(line, 1), WordFloat(line, 2), rate, mono.size());
    const size_t count = last - first;
    double phase = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double f = hz + (double(to) - hz) * double(i) / double(count);
        mono[first + i] += float(volume * Edge(i, count, rate) * std::sin(phase));
        phase += kTwoPi * f / rate;
    }
}

void Click(const TextLine& line, int rate, std::vector<float>& mono)
{
    if (line.words.size() < 2)
        Refuse(line, "a click is \"click <start> ...\"");
    CheckOptions(line, 2, {"volume"});
    const float volume = Volume(line, 2);
    const auto [first, last] = Span(line, WordFloat(line, 1), 0.03f, rate, mono.size());
    uint32_t noise = 12345u;
    const size_t count = last - first;
    for (size_t i = 0; i < count; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double white = double((noise >> 8) & 0xFFFF) / 32767.5 - 1.0;
        const double t = double(i) / rate;
        mono[first + i] += float(volume * std::exp(-t * 250.0) * (0.6 * white + 0.4 * std::sin(kTwoPi * 2000.0 * t)));
    }
}

// Syllables of a buzzy voice: a pitch that drifts, vowel colours from the
// weights of the first harmonics, and short gaps between syllables.
void Speech(const TextLine& line, int rate, std::vector<float>& mono)
{
    if (line.words.size() < 3)
        Refuse(line, "speech is \"speech <start> <length> ...\"");
    CheckOptions(line, 3, {"pitch", "volume", "seed"});
    const float pitch = Option(line, 3, "pitch", 160.0f);
    if (!(pitch >= 50.0f && pitch <= 1000.0f))
        Refuse(line, "a voice's pitch lies between 50 and 1000 hz");
    const float volume = Volume(line, 3);
    const float seedValue = Option(line, 3, "seed", 1.0f);
    if (seedValue < 0.0f || seedValue != std::floor(seedValue) || seedValue > 1e6f)
        Refuse(line, "a seed is a whole number from 0");
    const auto [first, last] = Span(line, WordFloat(line, 1), WordFloat(line, 2), rate, mono.size());
    uint32_t random = uint32_t(seedValue) * 2654435761u + 1u;
    const auto next = [&random] {
        random = random * 1664525u + 1013904223u;
        return double(random >> 8) / double(1u << 24);
    };
    const size_t count = last - first;
    size_t at = 0;
    double phase = 0.0;
    while (at < count) {
        const size_t syllable = std::min(count - at, size_t((0.12 + 0.12 * next()) * rate));
        const size_t gap = size_t((0.02 + 0.05 * next()) * rate);
        double weights[6];
        for (double& w : weights)
            w = 0.2 + next();
        const double from = pitch * (0.85 + 0.3 * next()), to = pitch * (0.85 + 0.3 * next());
        for (size_t i = 0; i < syllable; ++i) {
            const double u = double(i) / double(syllable);
            const double envelope = std::sin(3.141592653589793 * u);
            double sample = 0.0;
            for (int h = 0; h < 6; ++h)
                sample += weights[h] * std::sin(phase * (h + 1)) / (h + 1);
            mono[first + at + i] += float(volume * 0.45 * envelope * sample);
            phase += kTwoPi * (from + (to - from) * u) / rate;
        }
        at += std::min(count - at, syllable + gap);
    }
}

}  // namespace

bool MixSoundPart(const TextLine& line, int rate, std::vector<float>& mono)
{
    const std::string& what = line.words[0];
    if (what == "tone")
        Tone(line, rate, mono);
    else if (what == "click")
        Click(line, rate, mono);
    else if (what == "speech")
        Speech(line, rate, mono);
    else
        return false;
    return true;
}

std::vector<int16_t> SoundPcm(const std::vector<float>& mono, int channels)
{
    std::vector<int16_t> pcm;
    pcm.reserve(mono.size() * size_t(channels));
    for (float f : mono) {
        const int16_t s = int16_t(std::lround(std::clamp(double(f), -1.0, 1.0) * 32767.0));
        for (int c = 0; c < channels; ++c)
            pcm.push_back(s);
    }
    return pcm;
}

std::vector<SoundSource> ReadSoundText(std::string_view text)
{
    std::vector<SoundSource> sounds;
    for (const TextLine& line : SplitTextForm(text)) {
        if (line.words[0] == "sound") {
            if (line.words.size() < 3)
                Refuse(line, "a sound is \"sound <path> <seconds> ...\"");
            CheckOptions(line, 3, {"rate", "channels"});
            SoundSource sound;
            sound.path = line.words[1];
            if (!EndsWith(sound.path, ".wav") && !EndsWith(sound.path, ".ogg"))
                Refuse(line, "a sound's name ends in \".wav\" or \".ogg\"");
            if (sound.path.front() == '/' || sound.path.find("..") != std::string::npos)
                Refuse(line, "a sound's path stays below the output folder");
            for (const SoundSource& other : sounds)
                if (other.path == sound.path)
                    Refuse(line, "sound \"" + sound.path + "\" is named twice");
            const float seconds = WordFloat(line, 2);
            if (!(seconds > 0.0f && seconds <= 600.0f))
                Refuse(line, "a sound lasts longer than 0 and at most 600 seconds");
            const float rate = Option(line, 3, "rate", 22050.0f);
            if (rate != 8000.0f && rate != 11025.0f && rate != 16000.0f && rate != 22050.0f && rate != 32000.0f &&
                rate != 44100.0f && rate != 48000.0f)
                Refuse(line, "a sample rate is one of 8000 11025 16000 22050 32000 44100 48000");
            const float channels = Option(line, 3, "channels", 1.0f);
            if (channels != 1.0f && channels != 2.0f)
                Refuse(line, "a sound has 1 or 2 channels");
            sound.rate = int(rate);
            sound.channels = int(channels);
            sound.mono.assign(size_t(std::lround(double(seconds) * sound.rate)), 0.0f);
            sounds.push_back(std::move(sound));
            continue;
        }
        if (line.words[0] != "tone" && line.words[0] != "click" && line.words[0] != "speech")
            Refuse(line, "\"" + line.words[0] + "\" is not a statement of a sound description");
        if (sounds.empty())
            Refuse(line, "\"" + line.words[0] + "\" comes before any sound");
        MixSoundPart(line, sounds.back().rate, sounds.back().mono);
    }
    return sounds;
}

std::vector<uint8_t> EncodeSound(const SoundSource& sound)
{
    const std::vector<int16_t> pcm = SoundPcm(sound.mono, sound.channels);
    if (EndsWith(sound.path, ".ogg"))
        return platform::testing::EncodeOgg(pcm, sound.rate, sound.channels);
    return platform::testing::EncodeWav(pcm, sound.rate, sound.channels);
}

}  // namespace testkit
