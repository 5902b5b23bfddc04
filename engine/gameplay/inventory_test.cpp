#include "engine/gameplay/inventory.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/inventory_test_support.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/script/script_test_support.h"
#include "platform/d3d9/testing.h"
#include "tools/shaderlib_writer.h"

namespace {

using namespace inventory_test;

class InventoryTest : public ScriptTestBase {
protected:
    // Starts the engine on an archive holding the items a to l (a to c
    // without "DoInventory") and a "looper" whose "OnLoad" clears the
    // inventory.
    void Start(std::vector<Item> more = {}, bool withEffect = false)
    {
        std::vector<Item> items;
        for (char c = 'a'; c <= 'l'; ++c) {
            const std::string name(1, c);
            items.push_back({name, ItemScript(name, c > 'c'), ""});
        }
        for (Item& item : more)
            items.push_back(std::move(item));
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        AddStartupEntries(writer);
        inventory_test::AddItems(writer, items);
        if (withEffect) {
            // The bar's two techniques, with the value they are given.
            std::string effect = testkit::MinimalEffectSource(std::vector<std::string>{"ui_invbar", "ui_invitem"});
            effect.insert(effect.find("int filter"), "float2 intens = { 0.0f, 0.0f };\n");
            writer.AddShared(1, "interface.fx", 0, testkit::Bytes(effect.begin(), effect.end()), true);
        }
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
    }
    static cTarvelInventory& Inv() { return gTarvel.mInventory; }
    // The events the item scripts recorded, in order; then forgets them.
    static std::vector<std::string> Events()
    {
        std::vector<std::string> out;
        for (const tCallRecord& record : Records())
            out.push_back(record.arguments.empty() ? "" : record.arguments[0].string.c_str());
        Records().clear();
        return out;
    }
    static std::vector<std::string> Names()
    {
        std::vector<std::string> out;
        for (const sInventoryItem* item : Inv().mItems)
            out.push_back(item->name.c_str());
        return out;
    }
    static void AddItems(const char* names, bool quiet = true)
    {
        for (const char* c = names; *c; ++c)
            Inv().AddItem(std::string(1, *c).c_str(), quiet);
        Records().clear();
    }
    static void Mouse(int32_t x, int32_t y)
    {
        gTarvel.mGameplay.mMouseX = x;
        gTarvel.mGameplay.mMouseY = y;
    }
    static void Advance(uint32_t ms) { gTarvel.mTimer.mGameTime += ms; }
    static int32_t BoundIndex(const sInventoryItem* item) { return int32_t(item->object->object); }

    // An image's quad in logical units and its alpha.
    struct Quad {
        float left, top, right, bottom;
        uint32_t alpha;
    };
    static Quad QuadOf(cTarvelImage* image)
    {
        void* data = nullptr;
        EXPECT_EQ(image->mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        const float* topLeft = reinterpret_cast<const float*>(bytes + image->VertexStride());
        const float* bottomRight = reinterpret_cast<const float*>(bytes + 2 * image->VertexStride());
        const cTarvelGraphics& g = gTarvel.mGraphics;
        uint32_t colour = 0;
        std::memcpy(&colour, bytes + 16, 4);
        Quad quad{(topLeft[0] - g.mTexelOffsetX) / g.mScaleX, (topLeft[1] - g.mTexelOffsetY) / g.mScaleY,
                  (bottomRight[0] - g.mTexelOffsetX) / g.mScaleX, (bottomRight[1] - g.mTexelOffsetY) / g.mScaleY,
                  colour >> 24};
        image->mVertexBuffer->Unlock();
        return quad;
    }
};

TEST_F(InventoryTest, AddingLoadsTheItemScriptOnce)
{
    Start();
    cTarvelActor* player = gTarvel.mSpeech.mOffVoice;
    gTarvel.mPlayer = player;
    Advance(500);
    EXPECT_EQ(Inv().AddItem("d", false), 0);
    EXPECT_EQ(Inv().AddItem("e", false), 1);
    EXPECT_EQ(Events(), (std::vector<std::string>{"d OnLoad", "e OnLoad"}));
    const sInventoryItem& e = *Inv().mItems[1];
    ASSERT_NE(e.object, nullptr);
    EXPECT_STREQ(e.object->className.c_str(), "cInventoryItem");
    EXPECT_EQ(BoundIndex(&e), 1);
    EXPECT_EQ(gScriptHandles.Get<cTarvelActor>(e.script->FindSymbol("PC", "cActor")->object,
                                               eScriptObjectType::Actor),
              player);
    EXPECT_EQ(Inv().mNewItems.Count(), 2);
    EXPECT_EQ(Inv().mPresentationStart, gTarvel.mTimer.mGameTime);

    // Already there: its index, no "OnLoad", nothing presented.
    EXPECT_EQ(Inv().AddItem("d", false), 0);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(Inv().mNewItems.Count(), 2);
    // Quiet adds are not presented.
    EXPECT_EQ(Inv().AddItem("f", true), 2);
    EXPECT_EQ(Inv().mNewItems.Count(), 2);
    gTarvel.mPlayer = nullptr;
}

TEST_F(InventoryTest, AMissingItemIsFatal)
{
    Start({{"bad", {1, 2, 3}, ""}});
    EXPECT_FATAL(Inv().AddItem("bad", false), "Script image bad is damaged: shorter than its header.");
    // Before the first scene the game state is empty: the message names the
    // item and the resource that was looked for.
    ASSERT_STREQ(gTarvel.mGameState.c_str(), "");
    EXPECT_FATAL(Inv().AddItem("nothing", false),
                 "Loading inventory item failed. Item \"nothing\", resource \"nothing.\".");
    EXPECT_THAT(LastFatal(), ::testing::HasSubstr("cTarvelInventory::AddItem"));
    EXPECT_FATAL(Inv().SelectTempItem("nothing"), "cTarvelInventory::SelectTempItem");
    EXPECT_EQ(Inv().mItems.Count(), 0);
    EXPECT_EQ(Inv().mTemporary, nullptr);
}

TEST_F(InventoryTest, ItemsAreLoadedForTheGameState)
{
    Start({{"m", ItemScript("m"), "night"}});
    gTarvel.mGameState = "night";
    EXPECT_EQ(Inv().AddItem("m", true), 0);
    EXPECT_EQ(Events(), std::vector<std::string>{"m OnLoad"});
    EXPECT_FATAL(Inv().AddItem("a", true), "Loading inventory item failed. Item \"a\", resource \"a.night\".");
}

TEST_F(InventoryTest, TheBarScrollsBetweenItsArrows)
{
    Start();
    AddItems("abcdefghi");   // nine items: two more than the bar shows
    struct Case {
        int32_t x, y;
        int32_t firstAfter;
    } clicks[] = {
        {10, 700, 0},    // left arrow at the start: nothing
        {1000, 700, 1},  // right arrow
        {1000, 700, 2},
        {1000, 700, 2},  // the last seven are shown
        {1000, 600, 2},  // above the bar the arrows do not scroll
        {10, 700, 1},
    };
    for (const Case& c : clicks) {
        Mouse(c.x, c.y);
        Inv().UseItemAt();
        EXPECT_EQ(Inv().mFirst, c.firstAfter) << c.x << "," << c.y;
    }
    EXPECT_TRUE(Events().empty()) << "scrolling reaches no item";
    EXPECT_FALSE(gTarvel.mVerbBar.mOpen);

    // The hover item: cells from 65 to 959, first counted in.
    struct Hit {
        int32_t x;
        const char* item;
    } hits[] = {{64, nullptr}, {65, "b"}, {191, "b"}, {192, "c"}, {959, "h"}, {960, nullptr}};
    for (const Hit& h : hits) {
        Mouse(h.x, 700);
        EXPECT_EQ(Inv().HitTest(), h.item != nullptr) << h.x;
        EXPECT_STREQ(Inv().mHover ? Inv().mHover->name.c_str() : nullptr, h.item) << h.x;
    }
}

TEST_F(InventoryTest, AClickUsesOnlyTheCellsTheBarShows)
{
    Start();
    AddItems("defghijkl");
    Inv().mFirst = 1;
    sInventoryItem* shown = Inv().mItems[1];
    // Left of the first cell and right of the last, above the arrows'
    // reach, the click's own formula would reach the hidden items d and l.
    for (int32_t x : {10, 64, 960, 1000}) {
        Mouse(x, 640);
        Inv().UseItemAt();
        EXPECT_FALSE(gTarvel.mVerbBar.mOpen) << x;
    }
    // A cell opens the verb bar for its item, whose object learns its index,
    // over the cell's centre.
    shown->object->object = 77;
    Mouse(100, 700);
    Inv().UseItemAt();
    cTarvelVerbBar& bar = gTarvel.mVerbBar;
    EXPECT_EQ(BoundIndex(shown), 1);
    ASSERT_TRUE(bar.mOpen);
    EXPECT_EQ(bar.mCentreX, 128);
    EXPECT_EQ(bar.mCentreY, 688);
    ASSERT_EQ(bar.mEntries.Count(), 1);
    EXPECT_EQ(bar.mEntries[0].itemScript, shown->script);
    EXPECT_EQ(bar.mEntries[0].itemObject, shown->object);
    EXPECT_STREQ(bar.mEntries[0].function.c_str(), "DoLook");

    // A double click on another cell does not select.
    Mouse(200, 700);
    Inv().SelectItemAt();
    EXPECT_TRUE(Events().empty());
    EXPECT_TRUE(bar.mOpen);
    // The double click on the item the bar opened for selects it.
    Mouse(180, 700);
    Inv().SelectItemAt();
    EXPECT_EQ(Events(), std::vector<std::string>{"e DoSelect"});
    EXPECT_FALSE(bar.mOpen) << "the verb bar closes";
    // Without the verb bar open, nothing.
    Inv().SelectItemAt();
    EXPECT_TRUE(Events().empty());
}

TEST_F(InventoryTest, AClickWithAnItemInHandUsesIt)
{
    Start();
    AddItems("cd");
    Inv().SelectItem(Inv().mItems[1]);
    Mouse(100, 700);   // c, which has no "DoInventory"
    Inv().UseItemAt();
    Mouse(228, 700);   // d
    Inv().UseItemAt();
    EXPECT_EQ(Events(), std::vector<std::string>{"d DoInventory"});
    EXPECT_FALSE(gTarvel.mVerbBar.mOpen);

    // Without an item in hand, an item without verbs runs its "Do".
    Inv().UnselectItem();
    Inv().mItems[0]->noVerbs = 1;
    Mouse(100, 700);
    Inv().UseItemAt();
    EXPECT_EQ(Events(), std::vector<std::string>{"c Do"});
    EXPECT_FALSE(gTarvel.mVerbBar.mOpen);
}

TEST_F(InventoryTest, SelectionOfListAndTemporaryItems)
{
    Start();
    AddItems("de");
    Advance(1000);
    Inv().SelectItem(Inv().mItems[1]);
    EXPECT_EQ(Inv().mSelected, Inv().mItems[1]);
    EXPECT_EQ(Inv().mSelectionStart, gTarvel.mTimer.mGameTime);

    // A temporary item is loaded outside the list, bound as -10, selected.
    Inv().SelectTempItem("f");
    EXPECT_EQ(Events(), std::vector<std::string>{"f OnLoad"});
    ASSERT_NE(Inv().mTemporary, nullptr);
    EXPECT_EQ(Inv().mSelected, Inv().mTemporary);
    EXPECT_EQ(BoundIndex(Inv().mTemporary), cTarvelInventory::kTemporaryIndex);
    EXPECT_EQ(Inv().mItems.Count(), 2);
    EXPECT_EQ(Inv().ItemAt(-10), Inv().mTemporary);
    EXPECT_EQ(Inv().ItemAt(2), nullptr);
    EXPECT_EQ(Inv().ItemAt(-1), nullptr);
    // Another replaces it.
    Inv().SelectTempItem("g");
    EXPECT_STREQ(Inv().mTemporary->name.c_str(), "g");
    // Putting it away deletes it; a list item stays.
    const cTarvelScript* script = Inv().mTemporary->script;
    Inv().UnselectItem();
    EXPECT_EQ(Inv().mSelected, nullptr);
    EXPECT_EQ(Inv().mTemporary, nullptr);
    EXPECT_FALSE(cTarvelScript::IsLive(script));
    Inv().SelectItem(Inv().mItems[0]);
    Inv().UnselectItem();
    EXPECT_EQ(Inv().mItems.Count(), 2);

    // A temporary item that is not selected stays when another is put away.
    Inv().SelectTempItem("h");
    Inv().SelectItem(Inv().mItems[0]);
    Inv().UnselectItem();
    EXPECT_NE(Inv().mTemporary, nullptr);
}

TEST_F(InventoryTest, RemovingTheSelectedItemAndCompaction)
{
    Start();
    AddItems("defghijkl");
    Inv().mFirst = 2;
    Inv().SelectItem(Inv().mItems[3]);   // g
    sInventoryItem* last = Inv().mItems[8];
    Inv().mNewItems.Add(3);
    Inv().mNewItems.Add(8);
    Inv().mNewItems.Add(cTarvelInventory::kNoticeMail);
    Inv().mPresentationStart = gTarvel.mTimer.mGameTime;

    Inv().RemoveItem(3);
    EXPECT_EQ(Inv().mSelected, nullptr);
    EXPECT_EQ(Inv().mFirst, 1) << "seven items from first on";
    Inv().RemoveItem(9);
    Inv().RemoveItem(-1);
    Inv().RemoveItem(0);
    EXPECT_EQ(Inv().mFirst, 1) << "still seven from e on";
    Inv().RemoveItem(Inv().FindItem("e"));
    EXPECT_EQ(Inv().mFirst, 0);
    // A removed item is not found and can come back in the same frame.
    EXPECT_EQ(Inv().FindItem("g"), -1);
    EXPECT_EQ(Inv().AddItem("e", true), 9);
    Records().clear();

    EXPECT_EQ(Inv().mItems.Count(), 10) << "removed records stay until drawn";
    Inv().Render();
    EXPECT_EQ(Names(), (std::vector<std::string>{"f", "h", "i", "j", "k", "l", "e"}));
    for (int32_t i = 0; i < Inv().mItems.Count(); ++i)
        EXPECT_EQ(BoundIndex(Inv().mItems[i]), i) << "renumbered after compaction";
    // The queue lost g and follows l to its new place.
    EXPECT_EQ(Inv().mNewItems.Count(), 2);
    EXPECT_EQ(Inv().mNewItems[0], 5);
    EXPECT_EQ(Inv().mItems[5], last);
    EXPECT_EQ(Inv().mNewItems[1], cTarvelInventory::kNoticeMail);
}

TEST_F(InventoryTest, PushAndPopRunOnLoadAgain)
{
    Start();
    AddItems("lefd");
    Inv().RemoveItem(1);
    Inv().SelectTempItem("g");
    Records().clear();
    Inv().Push();
    EXPECT_EQ(Inv().mItems.Count(), 0);
    EXPECT_EQ(Inv().mTemporary, nullptr);
    EXPECT_EQ(Inv().mSelected, nullptr);
    EXPECT_TRUE(Inv().mPushed);
    AddItems("h", false);
    Inv().Pop();
    EXPECT_EQ(Names(), (std::vector<std::string>{"l", "f", "d"}));
    EXPECT_EQ(Events(), (std::vector<std::string>{"l OnLoad", "f OnLoad", "d OnLoad"}));
    EXPECT_EQ(Inv().mNewItems.Count(), 0) << "nothing presented";
    EXPECT_FALSE(Inv().mPushed);
    EXPECT_EQ(Inv().mPushedNames.Count(), 0);
    // A pop with nothing pushed keeps the inventory.
    Inv().Pop();
    EXPECT_EQ(Inv().mItems.Count(), 3);
    // A second push replaces the names of the first.
    Inv().Push();
    AddItems("k");
    Inv().Push();
    Inv().Pop();
    EXPECT_EQ(Names(), std::vector<std::string>{"k"});
}

TEST_F(InventoryTest, AnItemThatClearsTheInventoryInItsOnLoad)
{
    Start({{"m", ItemScript("m", true, "callg m cSystem__clearInventory\n", "import cSystem__clearInventory 0 none\n"),
            ""}});
    AddItems("de");
    EXPECT_EQ(Inv().AddItem("m", false), -1);
    EXPECT_EQ(Inv().mItems.Count(), 0);
    EXPECT_EQ(Inv().mNewItems.Count(), 0);
}

TEST_F(InventoryTest, TheQueuePresentsEachEntryForThreeSeconds)
{
    Start();
    AddItems("de", false);
    EXPECT_TRUE(Inv().AddNotice(cTarvelInventory::kNoticeAudio));
    EXPECT_FALSE(Inv().AddNotice(cTarvelInventory::kNoticeAudio)) << "listed once";
    EXPECT_FALSE(Inv().AddNotice(5));
    EXPECT_FALSE(Inv().AddNotice(0));
    EXPECT_TRUE(Inv().HasNotice(cTarvelInventory::kNoticeAudio));
    EXPECT_FALSE(Inv().HasNotice(cTarvelInventory::kNoticeMail));
    ASSERT_EQ(Inv().mNewItems.Count(), 3);
    // The notice shows the PDA's picture of it.
    cTarvelImage* dictaphone = gTarvel.mPDA.NoticeImage(cTarvelInventory::kNoticeAudio);
    ASSERT_NE(dictaphone, nullptr);
    dictaphone->SetRect(0.0f, 0.0f, 10.0f, 10.0f);
    for (int32_t expected : {3, 2, 1, 0}) {
        Inv().Render();
        EXPECT_EQ(Inv().mNewItems.Count(), expected);
        if (expected == 1) {
            Inv().Render();   // the frame after the previous entry left
            EXPECT_NEAR(QuadOf(dictaphone).left, 1024.0f - 128.0f + 15.0f, 0.01f) << "98 wide in the corner";
        }
        Advance(3001);
    }
    EXPECT_FALSE(Inv().HasNotice(cTarvelInventory::kNoticeAudio));
}

TEST_F(InventoryTest, NewItemsGrowInTheCornerAndFadeOut)
{
    Start();
    AddItems("de");
    Inv().SetItemImage("e", "pic");
    cTarvelImage* picture = Inv().mItems[1]->image;
    Inv().mNewItems.Add(1);
    Inv().mPresentationStart = gTarvel.mTimer.mGameTime;
    struct Step {
        uint32_t advance;
        float size;
        uint32_t alpha;
    } steps[] = {{0, 98.0f, 255}, {1000, 108.0f, 255}, {1500, 123.0f, 127}};
    for (const Step& step : steps) {
        Advance(step.advance);
        Inv().Render();
        const Quad q = QuadOf(picture);
        EXPECT_NEAR(q.right - q.left, step.size, 0.01f);
        EXPECT_NEAR(q.bottom - q.top, step.size, 0.01f);
        // Centred in the top-right cell.
        EXPECT_NEAR((q.left + q.right) / 2.0f, 960.0f, 0.01f);
        EXPECT_NEAR((q.top + q.bottom) / 2.0f, 64.0f, 0.01f);
        EXPECT_NEAR(double(q.alpha), double(step.alpha), 1.0) << step.advance;
    }
    Advance(600);
    Inv().Render();
    EXPECT_EQ(Inv().mNewItems.Count(), 0);
    EXPECT_EQ(QuadOf(picture).alpha, 255u) << "opaque again for the bar";

    // The item in hand pulses in the top-left cell.
    Inv().SelectItem(Inv().mItems[1]);
    Advance(1571);   // a quarter turn of the sine
    Inv().Render();
    const Quad q = QuadOf(picture);
    EXPECT_NEAR(q.right - q.left, 108.0f, 0.05f);
    EXPECT_NEAR((q.left + q.right) / 2.0f, 64.0f, 0.05f);
    EXPECT_NEAR((q.top + q.bottom) / 2.0f, 64.0f, 0.05f);
}

TEST_F(InventoryTest, TheBarOpensClosesAndTurnsBack)
{
    Start();
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    gameplay.mStateFlags = cTarvelGameplay::kInventoryShown;
    const uint32_t t0 = gTarvel.mTimer.mGameTime;
    Inv().Show();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kOpening);
    EXPECT_EQ(Inv().mBarStart, t0);
    EXPECT_TRUE(gameplay.mStateFlags & cTarvelGameplay::kInventoryPopUp);
    Advance(100);
    Inv().Render();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kOpening);
    // Turned back at 0.1 s of a 1/6 s opening: the close starts 0.6 s in.
    Inv().Hide();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kClosing);
    EXPECT_EQ(Inv().mBarStart, t0 + 100 - 600);
    EXPECT_FALSE(gameplay.mStateFlags & cTarvelGameplay::kInventoryPopUp);
    Advance(300);
    Inv().Render();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kClosing);
    // Turned again at 0.9 s of the 1 s close: 0.15 s into the opening.
    Inv().Show();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kOpening);
    EXPECT_EQ(Inv().mBarStart, t0 + 400 - 150);
    Advance(20);
    Inv().Render();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kOpen);
    // Show toggles the pop-up flag; the open bar stays open.
    Inv().Show();
    EXPECT_FALSE(gameplay.mStateFlags & cTarvelGameplay::kInventoryPopUp);
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kOpen);
    Inv().Hide();
    Advance(1000);
    Inv().Render();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kClosing) << "closes after more than a second";
    Advance(1);
    Inv().Render();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kClosed);
    // Without the shown flag the bar is not drawn and does not move.
    Inv().Show();
    gameplay.mStateFlags = cTarvelGameplay::kInventoryPopUp;
    Advance(1000);
    Inv().Render();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kOpening);
    Inv().Enable();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kClosed);
    EXPECT_EQ(gameplay.mStateFlags, 0u);
}

TEST_F(InventoryTest, TheArrowUnderTheCursorLightsAndSetsTheCursor)
{
    Start();
    AddItems("defghijk");
    gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInventoryShown;
    gTarvel.mGraphics.mCursorKind = 0;
    Mouse(1000, 700);
    Inv().Render();
    EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 0) << "the closed bar is not lit";
    Inv().Show();
    Inv().Render();
    EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 4);
    // No arrow to the left while first is 0.
    gTarvel.mGraphics.mCursorKind = 0;
    Mouse(10, 700);
    Inv().Render();
    EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 0);
}

TEST_F(InventoryTest, TheBarDrawsThroughItsEffectsUnlessOpenAndStill)
{
    Start({}, true);
    ASSERT_NE(Inv().mBarBinding.technique, nullptr);
    ASSERT_NE(Inv().mItemBinding.technique, nullptr);
    AddItems("defghijk");
    for (const sInventoryItem* item : Inv().mItems)
        Inv().SetItemImage(item->name.c_str(), "pic");
    gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInventoryShown;
    ID3DXEffect* effect = Inv().mBarBinding.shader->mEffect;
    auto frame = [&] {
        platform::testing::RecordDraws(true);
        IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
        device->BeginScene();
        Inv().Render();
        device->EndScene();
        std::vector<std::string> techniques;
        for (const platform::testing::DrawRecord& draw : platform::testing::RecordedDraws())
            techniques.push_back(draw.technique);
        platform::testing::RecordDraws(false);
        return techniques;
    };
    auto intens = [&] {
        float value[2] = {-1.0f, -1.0f};
        EXPECT_EQ(effect->GetFloatArray("intens", value, 2), D3D_OK);
        return std::vector<float>{value[0], value[1]};
    };
    const std::vector<std::string> closedOrMoving = {"ui_invbar", "ui_invbar", "ui_invitem", "ui_invitem",
                                                     "ui_invitem", "ui_invitem", "ui_invitem", "ui_invitem",
                                                     "ui_invitem"};
    // Closed: the background, the right arrow and the seven items shown.
    EXPECT_EQ(frame(), closedOrMoving);
    EXPECT_THAT(intens(), ::testing::ElementsAre(::testing::FloatNear(1.0f / 6.0f, 1e-6f), 0.0f));
    Inv().Show();
    Advance(50);   // P = 0.3
    EXPECT_EQ(frame(), closedOrMoving);
    EXPECT_THAT(intens(), ::testing::ElementsAre(::testing::FloatNear(1.0f / 6.0f, 1e-6f),
                                                 ::testing::FloatNear(0.3f, 1e-4f)));
    Advance(75);   // P = 0.75
    frame();
    EXPECT_THAT(intens(), ::testing::ElementsAre(::testing::FloatNear(0.25f / 3.0f, 1e-4f),
                                                 ::testing::FloatNear(0.75f, 1e-4f)));
    Advance(50);
    const std::vector<std::string> open = frame();
    EXPECT_EQ(Inv().mBarState, cTarvelInventory::kOpen);
    EXPECT_EQ(open.size(), closedOrMoving.size());
    for (const std::string& technique : open)
        EXPECT_THAT(technique, ::testing::Not(::testing::StartsWith("ui_inv"))) << "drawn plainly";
}

TEST_F(InventoryTest, TheSavedElementReadsBack)
{
    Start();
    AddItems("abcdefghijk");   // eleven: more than the nine a short save kept
    Inv().mFirst = 3;
    Inv().SetItemImage("b", "pic");
    Inv().mItems[2]->noVerbs = 1;
    Inv().RemoveItem(Inv().FindItem("e"));
    Inv().mPushedNames.Add("l");
    for (int i = 0; i < 10; ++i)
        Inv().mPushedNames.Add("k");
    Inv().mPushed = 1;
    std::string xml;
    {
        SavegameScope scope;
        Inv().Save(gTarvel.mSavegame);
        xml = scope.Xml();
    }
    EXPECT_THAT(xml, ::testing::StartsWith("<Root><First>3</First><Pushed>1</Pushed>"
                                           "<Item name=\"a\"><Symbol>a</Symbol><NoVerbs>0</NoVerbs></Item>"
                                           "<Item name=\"b\"><Image>pic</Image><Symbol>b</Symbol>"));
    EXPECT_THAT(xml, ::testing::HasSubstr("<Item name=\"c\"><Symbol>c</Symbol><NoVerbs>1</NoVerbs></Item>"));
    EXPECT_THAT(xml, ::testing::Not(::testing::HasSubstr("name=\"e\"")));
    EXPECT_THAT(xml, ::testing::HasSubstr("<Item name=\"k\">"));
    EXPECT_THAT(xml, ::testing::HasSubstr("</Item><PItem name=\"l\" />"));
    EXPECT_THAT(xml, ::testing::EndsWith("<PItem name=\"k\" /></Root>"));

    Inv().Clear();
    Inv().mPushedNames.Clear();
    Inv().mPushed = 0;
    Records().clear();
    {
        SavegameScope scope(xml);
        Inv().Load(gTarvel.mSavegame);
        EXPECT_EQ(scope.Current(), "Root");
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "d", "f", "g", "h", "i", "j", "k"}));
    EXPECT_EQ(Inv().mFirst, 3);
    EXPECT_TRUE(Inv().mPushed);
    ASSERT_EQ(Inv().mPushedNames.Count(), 11);
    EXPECT_STREQ(Inv().mPushedNames[0].c_str(), "l");
    EXPECT_EQ(Inv().mNewItems.Count(), 0) << "loaded quietly";
    // The scripts set the images again; "NoVerbs" and "Image" are not read.
    EXPECT_EQ(Inv().mItems[1]->image, nullptr);
    EXPECT_EQ(Inv().mItems[2]->noVerbs, 0);
}

TEST_F(InventoryTest, ASavedElementWithoutValuesOrWithABadFirst)
{
    Start();
    struct Case {
        const char* xml;
        uint8_t pushed;
        int32_t first;
        int32_t items;
    } cases[] = {
        {"<Root/>", 0, 0, 0},
        {"<Root><Item name=\"d\"/><PItem/><Item/></Root>", 0, 0, 1},
        {"<Root><First>5</First><Pushed>1</Pushed><Item name=\"d\"/></Root>", 1, 0, 1},
        {"<Root><First>-4</First><Pushed>x</Pushed></Root>", 0, 0, 0},
        {"<Root><First>2147483647</First><Item name=\"a\"/><Item name=\"b\"/><Item name=\"c\"/><Item name=\"d\"/>"
         "<Item name=\"e\"/><Item name=\"f\"/><Item name=\"g\"/><Item name=\"h\"/></Root>",
         0, 1, 8},
    };
    for (const Case& c : cases) {
        Inv().mPushed = 1;
        Inv().mPushedNames.Add("z");
        SavegameScope scope(c.xml);
        Inv().Load(gTarvel.mSavegame);
        EXPECT_EQ(Inv().mPushed, c.pushed) << c.xml;
        EXPECT_EQ(Inv().mFirst, c.first) << c.xml;
        EXPECT_EQ(Inv().mItems.Count(), c.items) << c.xml;
        EXPECT_EQ(Inv().mPushedNames.Count(), 0) << c.xml;
    }
    // A load with nothing pushed: a later pop keeps the items.
    Inv().Pop();
    EXPECT_EQ(Inv().mItems.Count(), 8);
}

} // namespace
