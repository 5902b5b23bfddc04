#include "tools/video_build.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "tools/sound_assets.h"
#include "tools/text_form.h"

namespace testkit {

namespace {

struct Paint {
    int first = 0, last = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, w = 0, h = 0;  // w = 0: the whole frame
    uint8_t colour[4] = {0, 0, 0, 255};             // r, g, b, a
};

void ReadColour(const TextLine& line, size_t from, uint8_t colour[4])
{
    if (line.words.size() != from + 3 && line.words.size() != from + 4)
        Refuse(line, "\"" + line.words[0] + "\" ends with a colour <r> <g> <b> [<a>]");
    for (size_t k = 0; from + k < line.words.size(); ++k)
        colour[k] = uint8_t(WordInt(line, from + k, 0, 255));
}

}  // namespace

VideoSpec ReadVideoText(std::string_view text)
{
    const std::vector<TextLine> lines = SplitTextForm(text);
    if (lines.empty())
        throw TextFormError(1, "the file is empty: it starts with \"video <width> <height> <frames>\"");
    const TextLine& first = lines.front();
    if (first.words[0] != "video")
        Refuse(first, "the file starts with \"video <width> <height> <frames>\", not \"" + first.words[0] + "\"");
    VideoSpec recipe;
    if (first.words.size() < 4)
        Refuse(first, "a video is \"video <width> <height> <frames> ...\"");
    recipe.width = int(WordInt(first, 1, 1, 4096));
    recipe.height = int(WordInt(first, 2, 1, 4096));
    recipe.frames = int(WordInt(first, 3, 1, 100000));
    for (size_t i = 4; i < first.words.size();) {
        if (first.words[i] == "alpha") {
            recipe.alpha = true;
            ++i;
        } else if (first.words[i] == "rate") {
            recipe.rate = int(WordInt(first, i + 1, 1, 240));
            i += 2;
        } else if (first.words[i] == "soundrate") {
            recipe.audioRate = int(WordInt(first, i + 1, 8000, 48000));
            i += 2;
        } else {
            Refuse(first, "\"" + first.words[i] + "\" is not a part of a video");
        }
    }
    // The sound track lasts as long as the pictures.
    std::vector<float> mono(size_t(std::ceil(double(recipe.frames) * recipe.audioRate / recipe.rate)), 0.0f);
    bool sound = false;
    auto paints = std::make_shared<std::vector<Paint>>();
    for (size_t n = 1; n < lines.size(); ++n) {
        const TextLine& line = lines[n];
        if (MixSoundPart(line, recipe.audioRate, mono)) {
            sound = true;
            continue;
        }
        const std::string& what = line.words[0];
        if (what != "fill" && what != "box" && what != "slide")
            Refuse(line, "\"" + what + "\" is not a statement of a video");
        if (line.words.size() < 3)
            Refuse(line, "\"" + what + "\" starts with its first and last frame");
        Paint paint;
        paint.first = int(WordInt(line, 1, 0, recipe.frames - 1));
        paint.last = int(WordInt(line, 2, paint.first, recipe.frames - 1));
        if (what == "fill") {
            ReadColour(line, 3, paint.colour);
        } else if (what == "box") {
            if (line.words.size() < 7)
                Refuse(line, "a box is \"box <first> <last> <x> <y> <w> <h> <r> <g> <b> [<a>]\"");
            paint.x0 = paint.x1 = int(WordInt(line, 3, -4096, 4096));
            paint.y0 = paint.y1 = int(WordInt(line, 4, -4096, 4096));
            paint.w = int(WordInt(line, 5, 1, 4096));
            paint.h = int(WordInt(line, 6, 1, 4096));
            ReadColour(line, 7, paint.colour);
        } else {
            if (line.words.size() < 9)
                Refuse(line, "a slide is \"slide <first> <last> <x0> <y0> <x1> <y1> <w> <h> <r> <g> <b> [<a>]\"");
            paint.x0 = int(WordInt(line, 3, -4096, 4096));
            paint.y0 = int(WordInt(line, 4, -4096, 4096));
            paint.x1 = int(WordInt(line, 5, -4096, 4096));
            paint.y1 = int(WordInt(line, 6, -4096, 4096));
            paint.w = int(WordInt(line, 7, 1, 4096));
            paint.h = int(WordInt(line, 8, 1, 4096));
            ReadColour(line, 9, paint.colour);
        }
        paints->push_back(paint);
    }
    recipe.paint = [paints](int frame, Picture& picture) {
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                picture.Set(x, y, 0, 0, 0, 255);
        for (const Paint& p : *paints) {
            if (frame < p.first || frame > p.last)
                continue;
            int x = 0, y = 0, w = picture.width, h = picture.height;
            if (p.w > 0) {
                const double t = p.last > p.first ? double(frame - p.first) / double(p.last - p.first) : 0.0;
                x = int(std::lround(p.x0 + (p.x1 - p.x0) * t));
                y = int(std::lround(p.y0 + (p.y1 - p.y0) * t));
                w = p.w;
                h = p.h;
            }
            for (int yy = std::max(0, y); yy < std::min(picture.height, y + h); ++yy)
                for (int xx = std::max(0, x); xx < std::min(picture.width, x + w); ++xx)
                    picture.Set(xx, yy, p.colour[2], p.colour[1], p.colour[0], p.colour[3]);
        }
    };
    if (sound)
        recipe.audio = SoundPcm(mono, 1);
    return recipe;
}

Bytes BuildPictureTga(const VideoSpec& recipe)
{
    Picture picture(recipe.width, recipe.height);
    if (recipe.paint)
        recipe.paint(0, picture);
    TgaOptions options;
    options.bits = recipe.alpha ? 32 : 24;
    return BuildTga(picture, options);
}

}  // namespace testkit
