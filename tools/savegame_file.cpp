#include "tools/savegame_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <zlib.h>

namespace testkit {

namespace {

constexpr size_t kHead = 13;
constexpr uint32_t kMaxText = 64u << 20;

std::string Field(const uint8_t* at, size_t size)
{
    size_t length = 0;
    while (length < size && at[length])
        ++length;
    return std::string(reinterpret_cast<const char*>(at), length);
}

void PutField(uint8_t* at, size_t size, const std::string& text)
{
    std::memcpy(at, text.data(), std::min(text.size(), size - 1));
}

}  // namespace

bool ReadSavegame(std::span<const uint8_t> file, SavegameContents* out, std::string* error)
{
    *out = SavegameContents();
    size_t start = 0;
    if (file.size() >= kSavegameHeaderSize && std::memcmp(file.data(), "sava", 4) == 0) {
        out->hasHeader = true;
        for (size_t i = 0; i < 8; ++i)
            out->header.time[i] = uint16_t(file[4 + 2 * i] | file[5 + 2 * i] << 8);
        out->header.player = Field(file.data() + 20, 64);
        out->header.scene = Field(file.data() + 84, 64);
        out->header.state = Field(file.data() + 148, 16);
        start = kSavegameHeaderSize;
    }
    const std::span<const uint8_t> rest = file.subspan(start);
    if (rest.size() < kHead + 4 + 1) {
        *error = "too short for a stream";
        return false;
    }
    const uint8_t* word = rest.data() + kHead;
    out->storedLength = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 | uint32_t(word[3]) << 24;
    if (out->storedLength > kMaxText) {
        *error = "stored length beyond 64 MiB";
        return false;
    }
    std::vector<uint8_t> stream(rest.begin(), rest.begin() + kHead);
    stream.insert(stream.end(), rest.begin() + kHead + 4, rest.end());
    std::string text(out->storedLength, '\0');
    uLongf length = out->storedLength;
    const int result = uncompress(reinterpret_cast<Bytef*>(text.data()), &length, stream.data(), uLong(stream.size()));
    if (result != Z_OK || length != out->storedLength) {
        *error = "the stream does not inflate to the stored length";
        return false;
    }
    out->xml = std::move(text);
    return true;
}

std::vector<uint8_t> BuildSavegame(std::string_view xml, const SavegameHeader* header, const uint32_t* storedLength)
{
    uLongf size = compressBound(uLong(xml.size()));
    std::vector<uint8_t> stream(size);
    compress2(stream.data(), &size, reinterpret_cast<const Bytef*>(xml.data()), uLong(xml.size()), 9);
    stream.resize(size);
    std::vector<uint8_t> file;
    if (header) {
        file.assign(kSavegameHeaderSize, 0);
        std::memcpy(file.data(), "sava", 4);
        for (size_t i = 0; i < 8; ++i) {
            file[4 + 2 * i] = uint8_t(header->time[i]);
            file[5 + 2 * i] = uint8_t(header->time[i] >> 8);
        }
        PutField(file.data() + 20, 64, header->player);
        PutField(file.data() + 84, 64, header->scene);
        PutField(file.data() + 148, 16, header->state);
    }
    const uint32_t length = storedLength ? *storedLength : uint32_t(xml.size());
    // The stream of a short text can be shorter than its head: the word then
    // follows the whole stream (a file the engine refuses).
    const size_t head = std::min(kHead, stream.size());
    file.insert(file.end(), stream.begin(), stream.begin() + long(head));
    for (int i = 0; i < 4; ++i)
        file.push_back(uint8_t(length >> (8 * i)));
    file.insert(file.end(), stream.begin() + long(head), stream.end());
    return file;
}

std::string DescribeSavegame(const SavegameContents& contents)
{
    std::string text;
    char line[160];
    if (contents.hasHeader) {
        const auto& t = contents.header.time;
        std::snprintf(line, sizeof line, "Saved (UTC): %04u-%02u-%02u %02u:%02u:%02u.%03u (day of week %u)\n",
                      unsigned(t[0]), unsigned(t[1]), unsigned(t[3]), unsigned(t[4]), unsigned(t[5]),
                      unsigned(t[6]), unsigned(t[7]), unsigned(t[2]));
        text += line;
        text += "Player: " + contents.header.player + "\n";
        text += "Scene: " + contents.header.scene + "\n";
        text += "State: " + contents.header.state + "\n";
    } else {
        text += "No header\n";
    }
    std::snprintf(line, sizeof line, "Text length: %u\n", unsigned(contents.storedLength));
    text += line;
    text += contents.xml;
    text += "\n";
    return text;
}

}  // namespace testkit
