// Reading the engine's savegames back through the dumper's reader.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/savegame_file.h"

namespace demo {

// False, with the failure said, when the file cannot be read or is refused.
bool ReadSavegameFile(const std::filesystem::path& path, testkit::SavegameContents* out);

// The text of a shared script variable ("Symbols/Symbol" with that "Name":
// its "AsString"); empty when there is none.
std::string SharedVariable(const std::string& xml, const std::string& name);
// The names of the inventory's items, in order.
std::vector<std::string> InventoryItems(const std::string& xml);
// The text of the first element at this path ("Globals/State"); empty when none.
std::string ElementText(const std::string& xml, const std::string& path);

}  // namespace demo
