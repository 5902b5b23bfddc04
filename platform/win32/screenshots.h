// Screenshots of chosen presented frames, for runs without anyone watching:
// TARVEL_SCREENSHOTS lists frame numbers (the first frame presented is 1),
// each of which is saved as "frame-N.png" in TARVEL_SCREENSHOT_DIR (default
// the working folder) and its path printed on standard output, followed by
// " (a single colour)" when every pixel has the same colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::screenshots {

// Reads the list once, saying on standard error which entries it skips;
// the first present does it too.
void Prepare();

// Called by every present, with A8R8G8B8 pixels, top row first.
void OnPresent(const uint8_t* pixels, int width, int height, int pitch);

// The frame numbers of a comma-separated list, in order, without repeats;
// each bad entry (not a whole number from 1) adds a line to `errors`.
std::vector<uint64_t> ParseFrames(const std::string& list, std::string* errors);

// An 8-bit RGB PNG of the pixels (alpha dropped: a presented frame is opaque).
bool WritePng(const std::string& path, const uint8_t* pixels, int width, int height, int pitch);

}  // namespace platform::screenshots
