#include "engine/gameplay/pda.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/font.h"
#include "engine/render/image.h"
#include "engine/resource/resource.h"
#include "engine/script/script_api.h"
#include "engine/script/script_test_support.h"
#include "engine/sound/sound.h"
#include "engine/world/actor.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/win32/testing.h"
#include "tools/archive_writer.h"
#include "tools/image_writer.h"
#include "tools/scene_writer.h"
#include "tools/script_assembler.h"

namespace {

using ::testing::HasSubstr;

constexpr int32_t T = 128;

// A scene file with something in every section before its script, whose
// script holds the dictaphone clip "Memo": its "OnPlay" marks 1, says a line
// on an unbound object, waits for speech with no actor and marks 2.
testkit::SceneFile Lab()
{
    testkit::SceneFile scene;
    scene.name = "Lab";
    testkit::SceneMesh floor;
    floor.name = "floor";
    floor.vertices = {{0, 0, 0, 0, 1, 0}, {1, 0, 0, 0, 1, 0}, {1, 0, 1, 0, 1, 0}};
    floor.indices = {0, 1, 2};
    scene.meshes = {floor};
    scene.views = {{"Main", {}}};
    testkit::SceneWalkArea area;
    area.name = "Floor";
    area.polygons = {{false, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}}}};
    area.triangles = {{testkit::WalkRef(0, 0), testkit::WalkRef(0, 1), testkit::WalkRef(0, 2)}};
    scene.walkAreas = {area};
    testkit::SceneHotspot door;
    door.regions = {{"Main", {{false, {{0, 0}, {10, 0}, {10, 10}}}}, {}}};
    scene.hotspots = {door};
    scene.script = AssembleScriptOrThrow(
        "global Lab result class=cScene\nglobal Memo result class=cCinematic\nglobal Nobody object\n"
        "global Log int\n"
        "import test__record 1 none\nimport cCinematic__waitForActorSay 1 none\nimport cCinematic__exit 0 none\n"
        "import cActor__say 3 none\n"
        "function Memo::OnPlay\npush int 1\ncallg Log test__record\n"
        "push string \"Hello\"\npush string \"memo-1\"\npush bool false\ncallg Nobody cActor__say\n"
        "push object Nobody\ncallg Memo cCinematic__waitForActorSay\n"
        "push int 2\ncallg Log test__record\ncallg Memo cCinematic__exit\nret\n");
    return scene;
}

class PdaTest : public ScriptTestBase {
protected:
    void SetUp() override
    {
        ScriptTestBase::SetUp();
        platform::testing::ResetFmod();
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        const std::vector<uint8_t> wav =
            platform::testing::EncodeWav(platform::testing::MakeTone(0.2, 22050, 1, 440), 22050, 1);
        for (const char* name : {"PDA_keystroke", "PDA_launch_app", "PDA_exit_app", "PDA_incoming"})
            writer.AddShared(1, name, kResourceWav, wav, false);
        writer.AddShared(1, "Lab.day", testkit::kSceneResourceType, testkit::BuildSceneFile(Lab()), false);
        writer.AddShared(1, "pic_a", kResourceTga, testkit::BuildTga(testkit::Picture(11, 7), testkit::TgaOptions()),
                         true);
        writer.AddShared(1, "pic_b", kResourceTga, testkit::BuildTga(testkit::Picture(4, 4), testkit::TgaOptions()),
                         true);
        AddStartupEntries(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
        gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled;
    }
    void TearDown() override
    {
        while (gCinematics.Count() > 0) {
            cTarvelCinematic* top = gCinematics[gCinematics.Count() - 1];
            top->Finish();
            delete top;
        }
        gScreenControls.Clear();
        gTarvel.mPlayer = nullptr;
        mPlayer.reset();
        ScriptTestBase::TearDown();
        platform::testing::ResetFmod();
    }

    static cTarvelPDA& Pda() { return gTarvel.mPDA; }

    // The mouse moves to (x, y) and the PDA takes the frame's input, with a
    // left click when click is set.
    static void At(int32_t x, int32_t y, bool click = false)
    {
        cTarvelGameplay& gameplay = gTarvel.mGameplay;
        gameplay.mMouseX = x;
        gameplay.mMouseY = y;
        gameplay.mLeftLatch = click ? 1 : 0;
        EXPECT_TRUE(Pda().Update()) << "the PDA takes all input";
    }
    static void Click(int32_t x, int32_t y) { At(x, y, true); }

    // Channels that play the PDA's sound of that index.
    static int Plays(int32_t index)
    {
        int count = 0;
        for (const auto& channel : platform::testing::FmodChannels())
            if (channel.sound && channel.sound == Pda().mSounds[index]->sound)
                ++count;
        return count;
    }

    // A player whose script records the name of each event it gets.
    void MakePlayer()
    {
        std::string source = "global PC result class=cActor\nglobal Log int\nimport test__record 1 none\n";
        for (const char* event : {"PDAPhoneNew", "PDAPhoneEdit", "PDAPhoneDel", "PDAAudioRec", "PDAAudioDel", "CallBob"})
            source += std::string("function PC::") + event + "\npush string \"" + event +
                      "\"\ncallg Log test__record\nret\n";
        // Named "OFF" so that no actor file is read.
        mPlayer = std::make_unique<cTarvelActor>("OFF", "", true);
        mPlayer->mScript = Machine(source.c_str()).release();
        mPlayer->mSymbol = mPlayer->mScript->FindSymbol("PC", "cActor");
        gTarvel.mPlayer = mPlayer.get();
    }
    static std::vector<std::string> Events()
    {
        std::vector<std::string> events;
        for (const tCallRecord& r : Records())
            events.push_back(r.arguments.empty() ? "" : r.arguments[0].string.c_str());
        return events;
    }

    static void Phones(int count)
    {
        for (int i = 0; i < count; ++i)
            Pda().AddPhonebookEntry(("N" + std::to_string(i)).c_str(), "detail", "555", i == 1 ? "CallBob" : "");
    }

    std::unique_ptr<cTarvelActor> mPlayer;
};

TEST_F(PdaTest, StartUpLoadsTheInterfacePicturesAndTheFourSounds)
{
    ASSERT_EQ(Pda().mImages.size(), 27u);
    EXPECT_EQ(Pda().mImages[0]->mName, "PDA_background");
    ASSERT_EQ(Pda().mSounds.Count(), 4);
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_NE(Pda().mSounds[i]->sound, nullptr) << i;
    EXPECT_EQ(Pda().NoticeImage(cTarvelPDA::kNoticeMail)->mName, "pda-newmail");
    EXPECT_EQ(Pda().NoticeImage(0), nullptr);
}

TEST_F(PdaTest, AudioPathsShareFoldersAndAddAClipOnce)
{
    cTarvelPDA& pda = Pda();
    pda.AddAudioEntry("Case/Tapes/One", "Lab.day", "Memo", "OnPlay");
    pda.AddAudioEntry("Case/Tapes/One", "Other.day", "Else", "OnElse");
    pda.AddAudioEntry("Case/Tapes/Two", "Lab.day", "Two", "OnTwo");
    pda.AddAudioEntry("Case/Note", "Lab.day", "Note", "OnNote");
    pda.AddAudioEntry("Solo", "Lab.day", "Solo", "OnSolo");

    const sPDAAudioNode& root = pda.mAudioRoot;
    ASSERT_EQ(root.children.size(), 2u);
    const sPDAAudioNode& caseFolder = *root.children[0];
    EXPECT_EQ(caseFolder.description, "Case");
    EXPECT_TRUE(caseFolder.IsFolder());
    EXPECT_EQ(caseFolder.parent, &root);
    ASSERT_EQ(caseFolder.children.size(), 2u);
    const sPDAAudioNode& tapes = *caseFolder.children[0];
    EXPECT_EQ(tapes.description, "Tapes");
    ASSERT_EQ(tapes.children.size(), 2u) << "the same path twice keeps one clip";
    const sPDAAudioNode& one = *tapes.children[0];
    EXPECT_EQ(one.description, "One");
    EXPECT_EQ(one.scene, "Lab.day") << "the first clip stays";
    EXPECT_EQ(one.symbol, "Memo");
    EXPECT_EQ(one.function, "OnPlay");
    EXPECT_EQ(one.parent, &tapes);
    EXPECT_FALSE(one.IsFolder());
    EXPECT_EQ(tapes.children[1]->description, "Two");
    EXPECT_EQ(caseFolder.children[1]->description, "Note");
    EXPECT_EQ(root.children[1]->description, "Solo");
    EXPECT_FALSE(root.children[1]->IsFolder());
}

TEST_F(PdaTest, HoverCodesFollowThePageAndTheButtonsThatExist)
{
    cTarvelPDA& pda = Pda();
    Phones(3);
    pda.AddAudioEntry("A", "Lab.day", "A", "OnA");
    pda.AddAudioEntry("B", "Lab.day", "B", "OnB");
    pda.AddAudioEntry("F/C", "Lab.day", "C", "OnC");
    pda.AddAudioEntry("F/D", "Lab.day", "D", "OnD");
    pda.AddMail("s", "r", "plain", "d");
    pda.AddMail("s", "r", "one picture", "d");
    pda.AddAttachment("pic_a");
    pda.AddMail("s", "r", "two pictures", "d");
    pda.AddAttachment("pic_a");
    pda.AddAttachment("pic_b");

    auto phone = [&](int32_t selected, int32_t scroll) {
        return [&pda, selected, scroll] {
            pda.mPage = cTarvelPDA::kPhonePage;
            pda.mSelectedPhone = selected;
            pda.mPhoneScroll = scroll;
        };
    };
    auto audio = [&](bool inFolder, int32_t selected) {
        return [&pda, inFolder, selected] {
            pda.mPage = cTarvelPDA::kAudioPage;
            pda.mFolder = inFolder ? pda.mAudioRoot.children[2].get() : &pda.mAudioRoot;
            pda.mSelectedClip = selected;
            pda.mAudioScroll = 0;
        };
    };
    auto mail = [&](int32_t view, int32_t selected) {
        return [&pda, view, selected] {
            pda.mPage = cTarvelPDA::kMailPage;
            pda.mMailView = view;
            pda.mSelectedMail = selected;
        };
    };
    struct tCase {
        const char* name;
        std::function<void()> setup;
        int32_t x, y, code;
    } cases[] = {
        {"close", phone(-1, 0), 194, T + 403, 1},
        {"phone tab", phone(-1, 0), 93, T + 20, 2},
        {"audio tab", phone(-1, 0), 253, T + 56, 3},
        {"mail tab", phone(-1, 0), 334, T + 30, 4},
        {"scroll up", phone(-1, 0), 316, T + 60, 5},
        {"scroll down", phone(-1, 0), 335, T + 346, 6},
        {"outside", phone(-1, 0), 20, 20, 0},
        {"call without entry", phone(-1, 0), 100, T + 320, 0},
        {"new without entry", phone(-1, 0), 150, T + 320, 21},
        {"call", phone(0, 0), 149, T + 306, 20},
        {"delete", phone(0, 0), 314, T + 346, 23},
        {"first row", phone(-1, 0), 106, T + 64, 100},
        {"third row", phone(-1, 0), 318, T + 170, 102},
        {"row past the entries", phone(-1, 0), 200, T + 210, 0},
        {"row under a scroll", phone(-1, 1), 200, T + 70, 101},
        {"root cell 0", audio(false, -1), 109, T + 62, 101},
        {"root cell 1", audio(false, -1), 301, T + 132, 102},
        {"root cell 2", audio(false, -1), 150, T + 150, 103},
        {"root cell past the list", audio(false, -1), 250, T + 150, 0},
        {"between the columns", audio(false, -1), 200, T + 80, 0},
        {"way up", audio(true, -1), 120, T + 70, 100},
        {"first child in a folder", audio(true, -1), 230, T + 70, 101},
        {"second child in a folder", audio(true, -1), 120, T + 150, 102},
        {"record without clip", audio(false, -1), 210, T + 320, 22},
        {"play without clip", audio(false, -1), 100, T + 320, 0},
        {"play", audio(false, 0), 100, T + 320, 20},
        {"mail list open without mail", mail(cTarvelPDA::kMailList, -1), 100, T + 320, 0},
        {"mail row", mail(cTarvelPDA::kMailList, -1), 200, T + 120, 101},
        {"reading, no pictures", mail(cTarvelPDA::kMailReading, 0), 210, T + 320, 0},
        {"reading, back", mail(cTarvelPDA::kMailReading, 0), 100, T + 320, 20},
        {"reading, no rows", mail(cTarvelPDA::kMailReading, 0), 200, T + 70, 0},
        {"reading, pictures", mail(cTarvelPDA::kMailReading, 1), 210, T + 320, 22},
        {"one picture, previous", mail(cTarvelPDA::kMailAttachments, 1), 210, T + 320, 0},
        {"one picture, next", mail(cTarvelPDA::kMailAttachments, 1), 270, T + 320, 0},
        {"one picture, reading", mail(cTarvelPDA::kMailAttachments, 1), 160, T + 320, 21},
        {"two pictures, next", mail(cTarvelPDA::kMailAttachments, 2), 270, T + 320, 23},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.setup();
        EXPECT_EQ(pda.HoverCode(c.x, c.y), c.code);
    }

    // The cursor and its label follow the hover code.
    pda.Open();
    pda.mPageLabels.Clear();
    for (const char* label : {"Phone", "Audio", "News", "Call", "Play", "Read", "Income"})
        pda.mPageLabels.Add(label);
    phone(-1, 0)();
    At(200, T + 30);
    EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 10);
    EXPECT_EQ(gTarvel.mCursorLabel, "Audio");
    At(200, T + 380);
    EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 4);
    EXPECT_EQ(gTarvel.mCursorLabel, "");
    mail(cTarvelPDA::kMailReading, 0)();
    At(100, T + 320);
    EXPECT_EQ(gTarvel.mCursorLabel, "Income");
    At(20, 20);
    EXPECT_EQ(gTarvel.mGraphics.mCursorKind, 0);
    EXPECT_EQ(gTarvel.mCursorLabel, "");
}

TEST_F(PdaTest, ScrollingStopsAtTheLastFullPage)
{
    cTarvelPDA& pda = Pda();
    struct tCase {
        const char* name;
        std::function<void()> fill;
        std::function<void()> page;
        const int32_t* offset;
        int32_t last;
    } cases[] = {
        {"five entries never scroll", [] { Phones(5); }, [&] { pda.mPage = cTarvelPDA::kPhonePage; },
         &pda.mPhoneScroll, 0},
        {"seven entries", [] { Phones(7); }, [&] { pda.mPage = cTarvelPDA::kPhonePage; }, &pda.mPhoneScroll, 2},
        {"eight clips at the root",
         [&] {
             for (int i = 0; i < 8; ++i)
                 pda.AddAudioEntry(("c" + std::to_string(i)).c_str(), "Lab.day", "M", "OnM");
         },
         [&] { pda.mPage = cTarvelPDA::kAudioPage; }, &pda.mAudioScroll, 2},
        {"six clips at the root",
         [&] {
             for (int i = 0; i < 6; ++i)
                 pda.AddAudioEntry(("c" + std::to_string(i)).c_str(), "Lab.day", "M", "OnM");
         },
         [&] { pda.mPage = cTarvelPDA::kAudioPage; }, &pda.mAudioScroll, 0},
        {"six clips in a folder: the way up makes seven cells",
         [&] {
             for (int i = 0; i < 6; ++i)
                 pda.AddAudioEntry(("F/c" + std::to_string(i)).c_str(), "Lab.day", "M", "OnM");
         },
         [&] {
             pda.mPage = cTarvelPDA::kAudioPage;
             pda.mFolder = pda.mAudioRoot.children[0].get();
         },
         &pda.mAudioScroll, 2},
        {"twelve mail lines",
         [&] {
             pda.AddMail("s", "r", "t", "d");
             for (int i = 0; i < 12; ++i)
                 pda.AddMailTextline("line");
         },
         [&] {
             pda.mPage = cTarvelPDA::kMailPage;
             pda.mMailView = cTarvelPDA::kMailReading;
             pda.mSelectedMail = 0;
         },
         &pda.mMailTextScroll, 2},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.name);
        pda.Reset();
        c.fill();
        pda.Open();
        c.page();
        for (int i = 0; i < 6; ++i)
            Click(320, T + 330);
        EXPECT_EQ(*c.offset, c.last);
        for (int i = 0; i < 6; ++i)
            Click(320, T + 60);
        EXPECT_EQ(*c.offset, 0);
    }
}

TEST_F(PdaTest, ButtonsSendTheirEventsToThePlayersScript)
{
    MakePlayer();
    cTarvelPDA& pda = Pda();
    Phones(3);
    pda.AddAudioEntry("Memo", "Lab.day", "Memo", "OnPlay");
    pda.Open();
    pda.mPage = cTarvelPDA::kPhonePage;

    Click(160, T + 320);   // new
    Click(200, T + 120);   // selects entry 1
    EXPECT_EQ(pda.mSelectedPhone, 1);
    Click(210, T + 320);   // edit
    Click(270, T + 320);   // delete

    // Input is taken but ignored while the interface is off or a click is
    // held back.
    for (uint32_t flags : {0u, cTarvelGameplay::kInterfaceEnabled | cTarvelGameplay::kBlocked}) {
        gTarvel.mGameplay.mStateFlags = flags;
        Click(160, T + 320);
        EXPECT_EQ(gTarvel.mGameplay.mLeftLatch, 0);
    }
    gTarvel.mGameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled;

    Click(200, T + 30);    // dictaphone
    Click(210, T + 320);   // record
    Click(120, T + 70);    // selects the clip
    Click(270, T + 320);   // delete
    EXPECT_EQ(Events(), (std::vector<std::string>{"PDAPhoneNew", "PDAPhoneEdit", "PDAPhoneDel", "PDAAudioRec",
                                                  "PDAAudioDel"}));

    // The call closes the PDA and sends the entry's function.
    Click(100, T + 30);
    EXPECT_EQ(pda.mSelectedPhone, 1) << "the selection survives the page change";
    Click(100, T + 320);
    EXPECT_EQ(Events().back(), "CallBob");
    EXPECT_FALSE(pda.mOpen);
    EXPECT_TRUE(pda.mDone);
    EXPECT_TRUE(PopDoneScreenControl());
    EXPECT_EQ(gScreenControls.Count(), 0);
}

TEST_F(PdaTest, OpeningTwiceStaysOnceOnTheStackAndKeepsThePage)
{
    cTarvelPDA& pda = Pda();
    pda.Close();
    EXPECT_EQ(Plays(cTarvelPDA::kSoundExit), 0) << "closed already: no sound";

    pda.Open();
    pda.mPage = cTarvelPDA::kMailPage;
    pda.mSelectedMail = 3;
    pda.Open();
    EXPECT_EQ(gScreenControls.Count(), 1);
    EXPECT_EQ(gScreenControls[0], &pda);
    EXPECT_EQ(pda.mPage, cTarvelPDA::kMailPage);
    EXPECT_EQ(pda.mSelectedMail, -1);
    EXPECT_EQ(Plays(cTarvelPDA::kSoundLaunch), 2);
    EXPECT_EQ(pda.mPageLabels.Count(), 7);

    Click(200, T + 380);
    EXPECT_EQ(Plays(cTarvelPDA::kSoundExit), 1);
    pda.Close();
    EXPECT_EQ(Plays(cTarvelPDA::kSoundExit), 1) << "a second close plays nothing";
    // Opened again before the pop: still one entry, which stays.
    pda.Open();
    EXPECT_FALSE(PopDoneScreenControl());
    EXPECT_EQ(gScreenControls.Count(), 1);
}

TEST_F(PdaTest, MailsShowTheirTextsAndAttachmentsCycle)
{
    cTarvelPDA& pda = Pda();
    pda.AddMail("Ann", "Bob", "Hello", "Monday");
    pda.AddMailTextline("first");
    pda.AddMailTextline("second");
    pda.AddAttachment("pic_a");
    pda.AddAttachment("pic_b");
    pda.AddMail("Cy", "Bob", "Later", "Tuesday");
    ASSERT_EQ(pda.mMails.size(), 2u);
    const sPDAMail& hello = *pda.mMails[0];
    ASSERT_EQ(hello.attachments.size(), 2u);
    EXPECT_EQ(hello.attachments[0]->mName, "pic_a");
    EXPECT_TRUE(hello.hasAttachments);
    EXPECT_FALSE(pda.mMails[1]->hasAttachments);
    EXPECT_EQ(pda.mLastMail, pda.mMails[1].get());

    const int32_t texts = gTarvel.mFonts.mTexts.Count();
    pda.Open();
    Click(300, T + 30);        // mailbox
    pda.Render();
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), texts + 6) << "topic, sender and date of two rows";
    Click(200, T + 70);        // selects Hello
    Click(100, T + 320);       // reads it
    EXPECT_EQ(pda.mMailView, cTarvelPDA::kMailReading);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), texts) << "the list's texts went with the view";
    pda.Render();
    EXPECT_TRUE(hello.read);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), texts + 6) << "four header texts and two lines";
    ASSERT_NE(hello.lines[0].display, nullptr);
    EXPECT_EQ(hello.lines[0].display->mY, T + 141);

    Click(210, T + 320);       // the pictures
    EXPECT_EQ(pda.mMailView, cTarvelPDA::kMailAttachments);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), texts);
    for (int32_t expected : {1, 0, 1}) {
        Click(270, T + 320);
        EXPECT_EQ(hello.attachment, expected);
    }
    Click(210, T + 320);
    EXPECT_EQ(hello.attachment, 0);
    Click(210, T + 320);
    EXPECT_EQ(hello.attachment, 1) << "before the first wraps to the last";
    Click(160, T + 320);
    EXPECT_EQ(pda.mMailView, cTarvelPDA::kMailReading);
    Click(100, T + 320);
    EXPECT_EQ(pda.mMailView, cTarvelPDA::kMailList);
}

TEST_F(PdaTest, EachPageMakesItsTextsOnceAndReleasesThemWithThePage)
{
    cTarvelPDA& pda = Pda();
    Phones(7);
    pda.AddAudioEntry("Case/One", "Lab.day", "One", "OnOne");
    pda.AddAudioEntry("Case/Two", "Lab.day", "Two", "OnTwo");
    pda.AddAudioEntry("Solo", "Lab.day", "Solo", "OnSolo");
    const int32_t base = gTarvel.mFonts.mTexts.Count();
    auto made = [&] { return gTarvel.mFonts.mTexts.Count() - base; };
    pda.Open();
    pda.Render();
    pda.Render();
    EXPECT_EQ(made(), 15) << "three texts for each of five rows, made once";
    ASSERT_NE(pda.mPhoneEntries[0]->texts[0], nullptr);
    EXPECT_EQ(pda.mPhoneEntries[0]->texts[0]->mY, T + 76);
    EXPECT_EQ(pda.mPhoneEntries[5]->texts[0], nullptr) << "the sixth row is below the list";

    Click(200, T + 30);   // dictaphone
    EXPECT_EQ(made(), 0);
    pda.Render();
    EXPECT_EQ(made(), 2) << "a folder and a clip at the root";
    Click(120, T + 70);   // into "Case"
    EXPECT_EQ(made(), 0);
    pda.Render();
    EXPECT_EQ(made(), 2) << "the way up has no text";
    EXPECT_NE(pda.mAudioRoot.children[0]->children[1]->display, nullptr);

    // A scene change clears every text: the PDA does not delete them again.
    gTarvel.mFonts.ClearTexts();
    pda.Close();
    EXPECT_EQ(pda.mAudioRoot.children[0]->children[1]->display, nullptr);
}

TEST_F(PdaTest, TextAndPicturesBeforeAnyMailAreIgnored)
{
    testing::internal::CaptureStderr();
    Pda().AddMailTextline("orphan");
    Pda().AddAttachment("pic_a");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, HasSubstr("\"orphan\" before any mail"));
    EXPECT_THAT(err, HasSubstr("\"pic_a\" before any mail"));
    EXPECT_TRUE(Pda().mMails.empty());
}

TEST_F(PdaTest, AChosenClipPlaysAsACinematicOnItsSceneScript)
{
    cTarvelPDA& pda = Pda();
    pda.AddAudioEntry("Tapes/Memo", "Lab.day", "Memo", "OnPlay");
    pda.Open();
    Click(200, T + 30);        // dictaphone
    Click(120, T + 70);        // opens "Tapes"
    EXPECT_EQ(pda.mFolder, pda.mAudioRoot.children[0].get());
    Click(230, T + 70);        // selects "Memo", after the way up
    EXPECT_EQ(pda.mSelectedClip, 0);
    Click(100, T + 320);       // plays it

    const sPDAAudioNode* memo = pda.mFolder->children[0].get();
    EXPECT_EQ(pda.mPlayingClip, memo);
    ASSERT_NE(pda.mClipCinematic, nullptr);
    ASSERT_EQ(gCinematics.Count(), 1);
    cTarvelCinematic* cinematic = gCinematics[0];
    EXPECT_EQ(cinematic, pda.mClipCinematic);
    EXPECT_EQ(pda.ClipScript(), cinematic->mScript);
    EXPECT_EQ(cinematic->mWaitKind, cTarvelCinematic::kWaitSpeechLine) << "the clip's own line";
    EXPECT_EQ(gTarvel.mSpeech.mSpeaker, gTarvel.mSpeech.mOffVoice)
        << "its first line, said on an unbound object, is heard off screen";
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].arguments[0].integer, 1);

    // The PDA ignores its input while the clip plays.
    Click(200, T + 380);
    EXPECT_TRUE(pda.mOpen);

    // The line lasts its subtitle's time; then the clip goes on and ends.
    for (int frame = 0; frame < 400 && Records().size() < 2; ++frame) {
        platform::testing::AdvanceClock(16);
        gTarvel.mTimer.Update();
        gTarvel.mSound.Update();
        gTarvel.mSpeech.Update();
        cTarvelCinematic::UpdateStack();
    }
    EXPECT_EQ(gTarvel.mSpeech.mState, 0);
    EXPECT_EQ(Records().size(), 2u);
    EXPECT_EQ(gCinematics.Count(), 0);
    EXPECT_EQ(pda.mClipCinematic, nullptr);
    EXPECT_EQ(pda.mPlayingClip, nullptr);
}

TEST_F(PdaTest, AClipInAMissingSceneFileIsFatal)
{
    Pda().AddAudioEntry("Gone", "Nowhere.day", "Memo", "OnPlay");
    EXPECT_FATAL(Pda().PlayAudioClip(Pda().mAudioRoot.children[0].get()),
                 "Scene file Nowhere.day can not be loaded.");
    EXPECT_THAT(LastFatal(), HasSubstr("cTarvelPDA::PlayAudioClip)"));
}

TEST_F(PdaTest, TheSavedElementHoldsEverythingAndReadsBack)
{
    cTarvelPDA& pda = Pda();
    Phones(3);
    pda.AddAudioEntry("Case/Tapes/One", "Lab.day", "Memo", "OnPlay");
    pda.AddAudioEntry("Case/Two", "Lab.day", "Two", "OnTwo");
    pda.AddAudioEntry("Solo", "Lab.day", "Solo", "OnSolo");
    for (int i = 0; i < 4; ++i) {
        pda.AddMail("Ann", "Bob", ("topic" + std::to_string(i)).c_str(), "Monday");
        pda.AddMailTextline("a line");
    }
    pda.AddAttachment("pic_b");
    pda.mMails[2]->read = true;

    std::string first;
    {
        SavegameScope scope;
        pda.Save(gTarvel.mSavegame);
        first = scope.Xml();
    }
    EXPECT_THAT(first, HasSubstr("<name>N2</name>")) << "every phone entry";
    EXPECT_THAT(first, HasSubstr("<topic>topic3</topic>")) << "every mail";
    EXPECT_THAT(first, HasSubstr("<Pics count=\"1\"><pic0>pic_b</pic0></Pics>"));

    {
        SavegameScope scope(first);
        pda.Load(gTarvel.mSavegame);
    }
    EXPECT_EQ(pda.mPhoneEntries.size(), 3u);
    EXPECT_EQ(pda.mMails.size(), 4u);
    EXPECT_TRUE(pda.mMails[2]->read);
    EXPECT_FALSE(pda.mMails[1]->read);
    ASSERT_EQ(pda.mAudioRoot.children.size(), 2u);
    const sPDAAudioNode& tapes = *pda.mAudioRoot.children[0]->children[0];
    EXPECT_EQ(tapes.parent, pda.mAudioRoot.children[0].get());
    EXPECT_EQ(tapes.children[0]->symbol, "Memo");
    SavegameScope again;
    pda.Save(gTarvel.mSavegame);
    EXPECT_EQ(again.Xml(), first);
}

TEST_F(PdaTest, ALoadTakesDefaultsAndLimitsForWhatTheFileLacks)
{
    cTarvelPDA& pda = Pda();
    pda.AddMail("old", "old", "old", "old");
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "<Audio><desc>d" + std::to_string(i) + "</desc>";
    for (int i = 0; i < 40; ++i)
        deep += "</Audio>";
    const std::string xml = "<Root><PhoneNo><name>Ann</name></PhoneNo>" + deep +
                            "<Mail><topic>t</topic><Text count=\"1000\"><line0>only</line0></Text>"
                            "<Pics count=\"2\"><pic0>missing</pic0><pic1>pic_a</pic1></Pics></Mail>"
                            "<Mail/></Root>";
    testing::internal::CaptureStderr();
    {
        SavegameScope scope(xml);
        pda.Load(gTarvel.mSavegame);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(pda.mPhoneEntries.size(), 1u);
    EXPECT_EQ(pda.mPhoneEntries[0]->number, "");
    ASSERT_EQ(pda.mMails.size(), 2u) << "the old mail went with the reset";
    const sPDAMail& mail = *pda.mMails[0];
    EXPECT_EQ(mail.sender, "");
    ASSERT_EQ(mail.lines.size(), 1u) << "the count is capped by the lines present";
    EXPECT_EQ(mail.lines[0].text, "only");
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_EQ(mail.attachments[0]->mName, "pic_a");
    EXPECT_THAT(err, HasSubstr("\"missing\" is not in the archive"));
    EXPECT_FALSE(pda.mMails[1]->read);

    int32_t depth = 0;
    for (const sPDAAudioNode* node = &pda.mAudioRoot; !node->children.empty(); node = node->children[0].get())
        ++depth;
    EXPECT_EQ(depth, cTarvelPDA::kMaxAudioDepth);
    EXPECT_THAT(err, HasSubstr("nested deeper"));
}

// ---- The script functions ----------------------------------------------------

class PdaScriptTest : public PdaTest {
protected:
    // Runs "Go" of a script that imports the PDA's system functions.
    void Run(const std::string& body)
    {
        const std::string source =
            "global Sys object class=cSystem\n"
            "import cSystem__addPDAMail 4 none\nimport cSystem__addPDAMailTextline 1 none\n"
            "import cSystem__addPDAAttachment 1 none\nimport cSystem__addPDAPhonebookEntry 4 none\n"
            "import cSystem__addPDAAudioEntry 3 none\nimport cSystem__openPDA 0 none\n"
            "function Go\n" +
            body + "ret\n";
        mMachine = Machine(source.c_str());
        mMachine->CallFunction("Go", nullptr);
    }
    static std::string Push(std::initializer_list<const char*> strings)
    {
        std::string out;
        for (const char* s : strings)
            out += std::string("push string \"") + s + "\"\n";
        return out;
    }
    std::unique_ptr<cTarvelScript> mMachine;
};

TEST_F(PdaScriptTest, ThreeMailsPlayTheSoundThriceAndRaiseOneNotice)
{
    cTarvelImage* notice = Pda().NoticeImage(cTarvelPDA::kNoticeMail);
    notice->Play(kImageHeld, 0);
    gTarvel.mTimer.mGameTime = 4321;
    std::string body;
    for (const char* topic : {"one", "two", "three"})
        body += Push({"Ann", "Bob", topic, "Monday"}) + "callg Sys cSystem__addPDAMail\n" + Push({"text of it"}) +
                "callg Sys cSystem__addPDAMailTextline\n";
    body += Push({"pic_a"}) + "callg Sys cSystem__addPDAAttachment\n";
    Run(body);

    ASSERT_EQ(Pda().mMails.size(), 3u);
    EXPECT_EQ(Pda().mMails[2]->topic, "three");
    EXPECT_EQ(Pda().mMails[0]->recipient, "Bob");
    EXPECT_EQ(Pda().mMails[2]->lines.size(), 1u);
    EXPECT_EQ(Pda().mMails[2]->attachments.size(), 1u) << "pictures go to the last mail";
    EXPECT_EQ(Plays(cTarvelPDA::kSoundIncoming), 3);
    const tArray<int32_t>& queue = gTarvel.mInventory.mNewItems;
    ASSERT_EQ(queue.Count(), 1) << "one notice while one of its code is queued";
    EXPECT_EQ(queue[0], cTarvelPDA::kNoticeMail);
    EXPECT_EQ(gTarvel.mInventory.mPresentationStart, 4321u);
    EXPECT_EQ(notice->mPlayMode, kImageOnce);

    // A phone entry and an audio entry add their own notices once each.
    gTarvel.mGameState = "day";
    gTarvel.mSceneName = "Lab";
    Run(Push({"Cy", "friend", "555", "CallCy"}) + "callg Sys cSystem__addPDAPhonebookEntry\n" +
        Push({"Memo", "Memo", "OnPlay"}) + "callg Sys cSystem__addPDAAudioEntry\n" +
        Push({"Memo", "Memo", "OnPlay"}) + "callg Sys cSystem__addPDAAudioEntry\n");
    ASSERT_EQ(queue.Count(), 3);
    EXPECT_EQ(queue[1], cTarvelPDA::kNoticePhone);
    EXPECT_EQ(queue[2], cTarvelPDA::kNoticeAudio);
    ASSERT_EQ(Pda().mPhoneEntries.size(), 1u);
    EXPECT_EQ(Pda().mPhoneEntries[0]->function, "CallCy");
    ASSERT_EQ(Pda().mAudioRoot.children.size(), 1u);
    const sPDAAudioNode& memo = *Pda().mAudioRoot.children[0];
    EXPECT_EQ(memo.scene, "Lab.day") << "the scene and the state";
    EXPECT_EQ(memo.symbol, "Memo");
    EXPECT_EQ(memo.function, "OnPlay");
    EXPECT_EQ(Plays(cTarvelPDA::kSoundIncoming), 3);

    // Once the queue is empty (shown, or emptied by a new game or a load)
    // the next mail gets its notice again, the PDA unopened.
    gTarvel.mInventory.Clear();
    Run(Push({"Ann", "Bob", "four", "Tuesday"}) + "callg Sys cSystem__addPDAMail\n");
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue[0], cTarvelPDA::kNoticeMail);

    Run("callg Sys cSystem__openPDA\n");
    EXPECT_TRUE(Pda().mOpen);
    EXPECT_EQ(gScreenControls.Count(), 1);
}

TEST_F(PdaScriptTest, WithoutArgumentsTheAddingFunctionsFail)
{
    tScriptFrame frame;
    for (auto* function : {cSystem__addPDAMail, cSystem__addPDAMailTextline, cSystem__addPDAAttachment,
                            cSystem__addPDAPhonebookEntry, cSystem__addPDAAudioEntry})
        EXPECT_EQ(function(&frame), -1);
    EXPECT_TRUE(Pda().mMails.empty());
    EXPECT_EQ(gTarvel.mInventory.mNewItems.Count(), 0);
    EXPECT_EQ(cSystem__openPDA(&frame), 0);
    EXPECT_TRUE(Pda().mOpen);
}

} // namespace
