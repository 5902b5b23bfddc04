#pragma once

// Inventory items for tests: item scripts assembled from text, and an
// archive that holds them beside the start-up entries.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/test_support.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/script_assembler.h"

namespace inventory_test {

// An item script: the item's "cInventoryItem" object and a "PC" actor, and
// the events "OnLoad", "Do", "DoSelect", "DoLook" (and "DoInventory"
// unless withUse is false), each recording "<name> <event>" through
// test__record; its "OnVerbBar" adds the verb "look" running "DoLook".
// extra is appended: more globals, imports and functions, and lines run at
// the end of "OnLoad" (extraOnLoad).
inline std::vector<uint8_t> ItemScript(const std::string& name, bool withUse = true,
                                       const std::string& extraOnLoad = "", const std::string& extra = "")
{
    std::string source = "global " + name + " result class=cInventoryItem\n"
                         "global PC result class=cActor\n"
                         "import test__record 1 none\n"
                         "import cInventoryItem__addVerb 3 none\n" +
                         extra;
    auto event = [&](const std::string& event, const std::string& more) {
        source += "function " + name + "::" + event + "\n" + "push string \"" + name + " " + event + "\"\n" +
                  "callg " + name + " test__record\n" + more + "ret\n";
    };
    event("OnLoad", extraOnLoad);
    event("Do", "");
    event("DoSelect", "");
    event("DoLook", "");
    source += "function " + name + "::OnVerbBar\npush string \"look\"\npush string \"Look at\"\n"
              "push string \"DoLook\"\ncallg " + name + " cInventoryItem__addVerb\nret\n";
    if (withUse)
        event("DoInventory", "");
    return AssembleScriptOrThrow(source);
}

struct Item {
    std::string name;
    std::vector<uint8_t> script;
    // The game state the resource is for.
    std::string state;
};

// A small picture an item can show ("pic" and "pic2").
inline testkit::Bytes ItemPicture()
{
    return testkit::BuildTga(testkit::Picture(8, 8), testkit::TgaOptions());
}

// Adds the items under "<name>.<state>", the pictures and the icon of the
// verb "look" to an archive that holds the start-up entries.
inline void AddItems(testkit::ArchiveWriter& writer, const std::vector<Item>& items)
{
    for (const Item& item : items)
        writer.AddShared(1, item.name + "." + item.state, 3, item.script, true);
    writer.AddShared(1, "pic", 5, ItemPicture(), true);
    writer.AddShared(1, "pic2", 5, ItemPicture(), true);
    writer.AddShared(1, "verb-look", 5, ItemPicture(), true);
}

} // namespace inventory_test
