// The XML text of a savegame behind a valid header and stream, so that the
// input reaches the element readers: symbols, inventory, PDA, controls,
// timers, sound, cameras and the scene.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/savegame_fuzz.h"
#include "tools/savegame_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    testkit::SavegameHeader header;
    header.player = "Ann";
    header.scene = "Room";
    header.state = "day";
    const std::vector<uint8_t> file =
        testkit::BuildSavegame(std::string_view(reinterpret_cast<const char*>(data), size), &header);
    return fuzz::LoadSavegameFile("savegame_xml", file);
}
