#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/bar.h"
#include "engine/gameplay/inventory_test_support.h"
#include "engine/render/image.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"

namespace {

using namespace inventory_test;

// Imports every case's script may call; the call object is the global
// Item, whose bound index a case sets.
constexpr const char* kPrelude = "global Item result class=cInventoryItem\n"
                                 "global R bool\n"
                                 "import cSystem__addToInventory 1 none\n"
                                 "import cSystem__removeFromInventory 1 none\n"
                                 "import cSystem__selectTempInventory 1 none\n"
                                 "import cSystem__setInventoryImage 2 none\n"
                                 "import cSystem__clearInventory 0 none\n"
                                 "import cSystem__unselectInventory 0 none\n"
                                 "import cSystem__pushInventory 0 none\n"
                                 "import cSystem__popInventory 0 none\n"
                                 "import cSystem__isItemSelected 1 bool\n"
                                 "import cInventoryItem__addVerb 3 none\n"
                                 "import cInventoryItem__loadImages 1 none\n"
                                 "import cInventoryItem__putName 1 none\n"
                                 "import cInventoryItem__select 0 none\n"
                                 "function run\n";

class ScriptApiInventoryTest : public ScriptTestBase {
protected:
    // Items d to h, and "n", whose "OnLoad" names itself and loads its
    // picture through its own bound object.
    void Start()
    {
        std::vector<Item> items;
        for (char c = 'd'; c <= 'h'; ++c)
            items.push_back({std::string(1, c), ItemScript(std::string(1, c)), ""});
        items.push_back({"n",
                         ItemScript("n", true,
                                    "push string \"Brass key\"\ncallg n cInventoryItem__putName\n"
                                    "push string \"pic\"\ncallg n cInventoryItem__loadImages\n",
                                    "import cInventoryItem__putName 1 none\nimport cInventoryItem__loadImages 1 none\n"),
                         ""});
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        AddStartupEntries(writer);
        AddItems(writer, items);
        // A picture of three frames, which an item plays round and round.
        std::vector<testkit::Picture> frames(3, testkit::Picture(8, 8));
        testkit::ImageHeader header;
        header.frameRate = 10;
        writer.AddShared(1, "spin", 4, testkit::BuildRawImageFile(header, frames), true);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
    }
    static cTarvelInventory& Inv() { return gTarvel.mInventory; }
    // A global of the case's machine.
    static cTarvelScriptValue* Global(const char* name) { return sMachine->FindGlobal(name); }
    static inline cTarvelScript* sMachine = nullptr;
    static std::vector<std::string> Names()
    {
        std::vector<std::string> out;
        for (const sInventoryItem* item : Inv().mItems)
            out.push_back(std::string(item->name.c_str()) + (item->removed ? "-" : ""));
        return out;
    }
    static std::vector<std::string> Events()
    {
        std::vector<std::string> out;
        for (const tCallRecord& record : Records())
            out.push_back(record.arguments.empty() ? "" : record.arguments[0].string.c_str());
        Records().clear();
        return out;
    }
};

TEST_F(ScriptApiInventoryTest, FunctionsCalledFromScripts)
{
    Start();
    using Strings = std::vector<std::string>;
    struct Case {
        const char* name;
        // The inventory before: d and e in the list; the selection (an
        // index, -10 for a temporary g, -1 none) and Item's bound index.
        int32_t selected;
        int32_t bound;
        const char* body;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"add", -1, 0, "push string \"f\"\ncallg Item cSystem__addToInventory\n",
         [] {
             EXPECT_EQ(Names(), (Strings{"d", "e", "f"}));
             EXPECT_EQ(Events(), Strings{"f OnLoad"});
             ASSERT_EQ(Inv().mNewItems.Count(), 1);
             EXPECT_EQ(Inv().mNewItems[0], 2) << "presented";
         }},
        {"add one that is there", -1, 0, "push string \"e\"\ncallg Item cSystem__addToInventory\n",
         [] {
             EXPECT_EQ(Names(), (Strings{"d", "e"}));
             EXPECT_TRUE(Events().empty());
             EXPECT_EQ(Inv().mNewItems.Count(), 0);
         }},
        {"add of an empty name", -1, 0, "push string \"\"\ncallg Item cSystem__addToInventory\n",
         [] { EXPECT_EQ(Names(), (Strings{"d", "e"})); }},
        {"add of an item that names itself", -1, 0, "push string \"n\"\ncallg Item cSystem__addToInventory\n",
         [] {
             const sInventoryItem* n = Inv().mItems[2];
             EXPECT_STREQ(n->displayName.c_str(), "Brass key");
             ASSERT_NE(n->image, nullptr);
             EXPECT_STREQ(n->image->mName.c_str(), "pic");
             EXPECT_EQ(n->image->mInventoryImage, 1);
         }},
        {"remove", 1, 0, "push string \"e\"\ncallg Item cSystem__removeFromInventory\n",
         [] {
             EXPECT_EQ(Names(), (Strings{"d", "e-"}));
             EXPECT_EQ(Inv().mSelected, nullptr) << "the removed item was in hand";
         }},
        {"remove of a name not there", -1, 0,
         "push string \"E\"\ncallg Item cSystem__removeFromInventory\n"
         "push string \"\"\ncallg Item cSystem__removeFromInventory\n",
         [] { EXPECT_EQ(Names(), (Strings{"d", "e"})); }},
        {"select a temporary item", 0, 0, "push string \"h\"\ncallg Item cSystem__selectTempInventory\n",
         [] {
             ASSERT_NE(Inv().mTemporary, nullptr);
             EXPECT_STREQ(Inv().mTemporary->name.c_str(), "h");
             EXPECT_EQ(Inv().mSelected, Inv().mTemporary);
             EXPECT_EQ(Names(), (Strings{"d", "e"}));
         }},
        {"select a temporary item of an empty name", 0, 0,
         "push string \"\"\ncallg Item cSystem__selectTempInventory\n",
         [] { EXPECT_EQ(Inv().mSelected, Inv().mItems[0]); }},
        {"set an item's image", -1, 0,
         "push string \"e\"\npush string \"pic\"\ncallg Item cSystem__setInventoryImage\n"
         "push string \"\"\npush string \"pic2\"\ncallg Item cSystem__setInventoryImage\n"
         "push string \"x\"\npush string \"pic2\"\ncallg Item cSystem__setInventoryImage\n",
         [] {
             EXPECT_EQ(Inv().mItems[0]->image, nullptr);
             ASSERT_NE(Inv().mItems[1]->image, nullptr);
             EXPECT_STREQ(Inv().mItems[1]->image->mName.c_str(), "pic");
         }},
        {"clear", -10, 0, "callg Item cSystem__clearInventory\n",
         [] {
             EXPECT_EQ(Inv().mItems.Count(), 0);
             EXPECT_EQ(Inv().mTemporary, nullptr);
             EXPECT_EQ(Inv().mSelected, nullptr);
         }},
        {"unselect", 1, 0, "callg Item cSystem__unselectInventory\n",
         [] {
             EXPECT_EQ(Inv().mSelected, nullptr);
             EXPECT_EQ(Names(), (Strings{"d", "e"}));
         }},
        {"push and pop", -1, 0,
         "callg Item cSystem__pushInventory\npush string \"f\"\ncallg Item cSystem__addToInventory\n"
         "callg Item cSystem__popInventory\n",
         [] {
             EXPECT_EQ(Names(), (Strings{"d", "e"}));
             EXPECT_EQ(Events(), (Strings{"f OnLoad", "d OnLoad", "e OnLoad"}));
             EXPECT_EQ(Inv().mNewItems.Count(), 0);
         }},
        {"pop without a push", -1, 0, "callg Item cSystem__popInventory\n",
         [] { EXPECT_EQ(Names(), (Strings{"d", "e"})); }},
        {"is the item selected", 1, 0,
         "push ref R\npush string \"e\"\ncallg Item cSystem__isItemSelected\nstore\n",
         [] { EXPECT_TRUE(ScriptApiInventoryTest::Global("R")->boolean); }},
        {"names compare exactly", 1, 0,
         "push ref R\npush string \"E\"\ncallg Item cSystem__isItemSelected\nstore\n",
         [] { EXPECT_FALSE(ScriptApiInventoryTest::Global("R")->boolean); }},
        {"nothing selected", -1, 0, "push ref R\npush string \"\"\ncallg Item cSystem__isItemSelected\nstore\n",
         [] { EXPECT_FALSE(ScriptApiInventoryTest::Global("R")->boolean); }},
        {"a temporary item is selected", -10, 0,
         "push ref R\npush string \"g\"\ncallg Item cSystem__isItemSelected\nstore\n",
         [] { EXPECT_TRUE(ScriptApiInventoryTest::Global("R")->boolean); }},
        {"put a name", -1, 1, "push string \"Egg\"\ncallg Item cInventoryItem__putName\n",
         [] { EXPECT_STREQ(Inv().mItems[1]->displayName.c_str(), "Egg"); }},
        {"put a name of the temporary item", -10, -10, "push string \"Gem\"\ncallg Item cInventoryItem__putName\n",
         [] { EXPECT_STREQ(Inv().mTemporary->displayName.c_str(), "Gem"); }},
        {"put a name beyond the inventory", -1, 2,
         "push string \"X\"\ncallg Item cInventoryItem__putName\ncallg Item cInventoryItem__select\n"
         "push string \"pic\"\ncallg Item cInventoryItem__loadImages\n",
         [] {
             for (const sInventoryItem* item : Inv().mItems) {
                 EXPECT_STREQ(item->displayName.c_str(), "");
                 EXPECT_EQ(item->image, nullptr);
             }
             EXPECT_EQ(Inv().mSelected, nullptr);
         }},
        {"no temporary item to act on", -1, -10, "callg Item cInventoryItem__select\n",
         [] { EXPECT_EQ(Inv().mSelected, nullptr); }},
        {"load images", -1, 0,
         "push string \"pic\"\ncallg Item cInventoryItem__loadImages\n"
         "push string \"\"\ncallg Item cInventoryItem__loadImages\n",
         [] {
             ASSERT_NE(Inv().mItems[0]->image, nullptr);
             EXPECT_STREQ(Inv().mItems[0]->image->mName.c_str(), "pic");
         }},
        {"add a verb", -1, 1,
         "push string \"look\"\npush string \"Look at\"\npush string \"DoLook\"\n"
         "callg Item cInventoryItem__addVerb\n",
         [] {
             const tArray<sBarEntry>& entries = gTarvel.mVerbBar.mEntries;
             ASSERT_EQ(entries.Count(), 1);
             EXPECT_EQ(entries[0].itemScript, Inv().mItems[1]->script);
             EXPECT_EQ(entries[0].itemObject, Inv().mItems[1]->object);
             EXPECT_STREQ(entries[0].label.c_str(), "Look at");
             EXPECT_STREQ(entries[0].function.c_str(), "DoLook");
             EXPECT_EQ(entries[0].hotspot, nullptr);
             EXPECT_EQ(entries[0].actor, nullptr);
         }},
        {"add a verb beyond the inventory", -1, 2,
         "push string \"look\"\npush string \"Look at\"\npush string \"DoLook\"\n"
         "callg Item cInventoryItem__addVerb\n",
         [] { EXPECT_EQ(gTarvel.mVerbBar.mEntries.Count(), 0); }},
        {"select", 0, 1, "callg Item cInventoryItem__select\n",
         [] {
             EXPECT_EQ(Inv().mSelected, Inv().mItems[1]);
             EXPECT_EQ(Inv().mSelectionStart, gTarvel.mTimer.mGameTime);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Inv().Clear();
        gTarvel.mVerbBar.mEntries.Clear();
        Inv().mPushedNames.Clear();
        Inv().mPushed = 0;
        Inv().AddItem("d", true);
        Inv().AddItem("e", true);
        if (c.selected == cTarvelInventory::kTemporaryIndex)
            Inv().SelectTempItem("g");
        else if (c.selected >= 0)
            Inv().SelectItem(Inv().mItems[c.selected]);
        Records().clear();
        gTarvel.mTimer.mGameTime += 100;
        std::unique_ptr<cTarvelScript> machine = Machine((std::string(kPrelude) + c.body + "ret\n").c_str());
        sMachine = machine.get();
        Global("Item")->object = static_cast<uint32_t>(c.bound);
        testing::internal::CaptureStderr();
        EXPECT_EQ(machine->CallFunction("run", nullptr), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        c.check();
        sMachine = nullptr;
    }
}

TEST_F(ScriptApiInventoryTest, LoadedImagesPlayInALoopOnlyWhenTheyHaveFrames)
{
    Start();
    Inv().AddItem("d", true);
    const struct {
        const char* picture;
        int32_t mode;
    } rows[] = {{"spin", 3}, {"pic", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.picture);
        std::unique_ptr<cTarvelScript> machine = Machine(
            (std::string(kPrelude) + "push string \"" + row.picture + "\"\ncallg Item cInventoryItem__loadImages\nret\n")
                .c_str());
        machine->FindGlobal("Item")->object = 0;
        machine->CallFunction("run", nullptr);
        const cTarvelImage* image = Inv().mItems[0]->image;
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->mPlayMode, row.mode);
        EXPECT_EQ(image->mCurrentFrame, 0);
        EXPECT_EQ(image->mInventoryImage, 1);
    }
}

TEST_F(ScriptApiInventoryTest, EmptyArgumentListsAndUnboundCalls)
{
    Start();
    Inv().AddItem("d", true);
    tScriptFrame frame;
    for (auto function : {cSystem__addToInventory, cSystem__removeFromInventory, cSystem__selectTempInventory,
                          cSystem__setInventoryImage, cSystem__isItemSelected, cInventoryItem__addVerb,
                          cInventoryItem__loadImages, cInventoryItem__putName})
        EXPECT_EQ(function(&frame), -1);
    EXPECT_EQ(Inv().mItems.Count(), 1);
    // No arguments to read, and no bound item: nothing fails.
    EXPECT_EQ(cInventoryItem__select(&frame), 0);
    EXPECT_EQ(Inv().mSelected, nullptr);
    EXPECT_EQ(cSystem__unselectInventory(&frame), 0);
    EXPECT_EQ(cSystem__pushInventory(&frame), 0);
    EXPECT_EQ(Inv().mItems.Count(), 0);
    EXPECT_EQ(cSystem__popInventory(&frame), 0);
    EXPECT_EQ(Inv().mItems.Count(), 1);
    EXPECT_EQ(cSystem__clearInventory(&frame), 0);
    EXPECT_EQ(Inv().mItems.Count(), 0);
}

} // namespace
