#include "platform/win32/screenshots.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace platform::screenshots {
namespace {

struct Plan {
  std::vector<uint64_t> frames;
  std::string folder;
};

const Plan& ThePlan() {
  static const Plan plan = [] {
    Plan p;
    const char* list = std::getenv("TARVEL_SCREENSHOTS");
    if (!list || !*list) return p;
    std::string errors;
    p.frames = ParseFrames(list, &errors);
    if (!errors.empty()) std::fputs(errors.c_str(), stderr);
    const char* folder = std::getenv("TARVEL_SCREENSHOT_DIR");
    p.folder = folder && *folder ? folder : ".";
    return p;
  }();
  return plan;
}

uint64_t g_presented = 0;

}  // namespace

void Prepare() { ThePlan(); }

std::vector<uint64_t> ParseFrames(const std::string& list, std::string* errors) {
  std::vector<uint64_t> frames;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string entry = list.substr(start, end - start);
    start = end + 1;
    size_t first = entry.find_first_not_of(" \t");
    size_t last = entry.find_last_not_of(" \t");
    entry = first == std::string::npos ? "" : entry.substr(first, last - first + 1);
    bool digits = !entry.empty() && entry.size() <= 18 &&
                  std::all_of(entry.begin(), entry.end(), [](char c) { return c >= '0' && c <= '9'; });
    uint64_t frame = digits ? std::strtoull(entry.c_str(), nullptr, 10) : 0;
    if (frame == 0) {
      if (errors) *errors += "TARVEL_SCREENSHOTS: skipping \"" + entry + "\", not a frame number from 1.\n";
      continue;
    }
    if (std::find(frames.begin(), frames.end(), frame) == frames.end()) frames.push_back(frame);
  }
  return frames;
}

bool WritePng(const std::string& path, const uint8_t* pixels, int width, int height, int pitch) {
  if (!pixels || width <= 0 || height <= 0 || pitch < width * 4) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  volatile bool ok = false;
  if (info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
      const uint8_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch);
      for (int x = 0; x < width; ++x) {  // B, G, R, A in memory
        row[3 * x] = src[4 * x + 2];
        row[3 * x + 1] = src[4 * x + 1];
        row[3 * x + 2] = src[4 * x];
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

void OnPresent(const uint8_t* pixels, int width, int height, int pitch) {
  const Plan& plan = ThePlan();
  ++g_presented;
  if (std::find(plan.frames.begin(), plan.frames.end(), g_presented) == plan.frames.end()) return;
  std::string path = plan.folder + "/frame-" + std::to_string(g_presented) + ".png";
  // Said beside the path, so a run can tell a picture from a cleared screen.
  bool oneColour = true;
  for (int y = 0; y < height && oneColour; ++y) {
    const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch);
    for (int x = 0; x < width; ++x) {
      if (row[4 * x] != pixels[0] || row[4 * x + 1] != pixels[1] || row[4 * x + 2] != pixels[2]) {
        oneColour = false;
        break;
      }
    }
  }
  if (WritePng(path, pixels, width, height, pitch)) {
    std::printf("Screenshot: %s%s\n", path.c_str(), oneColour ? " (a single colour)" : "");
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "Screenshot of frame %llu could not be written to %s.\n",
                 static_cast<unsigned long long>(g_presented), path.c_str());
  }
}

}  // namespace platform::screenshots
