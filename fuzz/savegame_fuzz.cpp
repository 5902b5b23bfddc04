// A savegame file, loaded quietly and then not, on the headless engine.
#include <cstddef>
#include <cstdint>

#include "fuzz/savegame_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz::LoadSavegameFile("savegame", {data, size});
}
