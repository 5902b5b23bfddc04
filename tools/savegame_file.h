#pragma once
// Savegame files read and made apart from the engine: the dumper prints them,
// tests check the engine's files against this reading, and fuzz seeds and
// refused files are built with it.
//
// Layout: "sava", a SYSTEMTIME (eight 16-bit words), the player's name (64
// bytes), the scene's name (64), the game state (16), then the zlib stream of
// the XML text with the text's 32-bit length inserted after its 13th byte.
// A file without "sava" is all stream.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

constexpr size_t kSavegameHeaderSize = 164;
constexpr size_t kSavegameLengthOffset = 177;

struct SavegameHeader {
    std::array<uint16_t, 8> time{};   // year, month, day of week, day, hour, minute, second, ms
    std::string player;
    std::string scene;
    std::string state;
};

struct SavegameContents {
    bool hasHeader = false;
    SavegameHeader header;
    uint32_t storedLength = 0;   // the length word
    std::string xml;
};

// False, with the reason, when the file is not a savegame this reader takes.
bool ReadSavegame(std::span<const uint8_t> file, SavegameContents* out, std::string* error);

// A file of this XML text (compress2 level 9), with the header when given.
// `storedLength` replaces the length word when set.
std::vector<uint8_t> BuildSavegame(std::string_view xml, const SavegameHeader* header,
                                   const uint32_t* storedLength = nullptr);

// The header's fields, one per line, then the XML text.
std::string DescribeSavegame(const SavegameContents& contents);

}  // namespace testkit
