#include "engine/gameplay/speech.h"

#include <algorithm>
#include <string>

#include "engine/core/tarvel.h"
#include "engine/core/test_support.h"
#include "engine/gameplay/gameplay.h"
#include "engine/render/font.h"
#include "engine/resource/resource.h"
#include "engine/world/actor.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "engine/world/mobile.h"
#include "engine/world/mobile_animation.h"
#include "tools/archive_writer.h"
#include "tools/font_writer.h"
#include "tools/mobile_actor_writer.h"
#include "tools/script_assembler.h"

namespace {

using namespace platform::testing;

// The mouth opening over half a second.
testkit::Bytes MouthMotion()
{
    testkit::AnimFileWriter writer(testkit::AnimFileKind::PMorphMotion);
    writer.AddMotionInfo(testkit::AnimMotionInfoChunk(), 101);
    testkit::AnimMorphSubMotionChunk sub;
    sub.name = "mouth";
    sub.keys = {{0.0f, 0}, {0.5f, 65535}};
    writer.AddMorphSubMotion(sub);
    return writer.Finish();
}

class SpeechTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ResetFmod();
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Brindlewerk\\Kestrelmoor", &key), ERROR_SUCCESS);
        const DWORD screenRes = ScreenRes();
        ASSERT_EQ(RegSetValueExA(key, "ScreenRes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&screenRes), 4),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        testkit::ArchiveWriter writer;
        writer.AddLanguage(1);
        auto ogg = [](double seconds) { return EncodeOgg(MakeTone(seconds, 22050, 2, 330), 22050, 2); };
        writer.AddShared(1, "ann-short", kResourceOgg, ogg(0.5), false);
        writer.AddShared(1, "ann-long", kResourceOgg, ogg(4.0), false);
        // Ann's body and the mouth movements of two of her lines: one with
        // a speech file, one without.
        writer.AddShared(1, "Ann.day", 2, AssembleActorScript("Ann"), true);
        testkit::MobileActor body;
        body.nodes = {{"root", -1}};
        writer.AddShared(1, "body", 7, testkit::BuildMobileActor(body), true);
        writer.AddShared(1, "ann-short", 14, MouthMotion(), true);
        writer.AddShared(1, "ann-mute", 14, MouthMotion(), true);
        // Subtitles in a font whose every glyph advances 10 units.
        writer.AddShared(1, "font1", 0, testkit::BuildGridFont(u" .HTacdeghilnorstw", 10), true);
        AddStartupEntries(writer);
        std::string error;
        ASSERT_TRUE(writer.Write(WorkDir(), &error)) << error;
        InitEngine();
    }
    void TearDown() override
    {
        gTarvel.mPlayer = nullptr;
        EngineTest::TearDown();
        ResetFmod();
    }

    // The screen's size: width in the high word, height in the low one.
    virtual DWORD ScreenRes() const { return 0x04000300; }
    static cTarvelSpeech& Speech() { return gTarvel.mSpeech; }
    // ms of game time pass, the sound system runs and the gameplay update
    // advances the line.
    static void Frame(uint32_t ms)
    {
        AdvanceClock(ms);
        gTarvel.mTimer.mGameTime += ms;
        gTarvel.mSound.Update();
        gTarvel.mGameplay.Update();
    }
    static bool TextIsLive(const cTarvelText* text)
    {
        for (cTarvelText* live : gTarvel.mFonts.mTexts)
            if (live == text)
                return true;
        return false;
    }
};

TEST_F(SpeechTest, StartUpMakesTheOffScreenVoiceAndShutdownDeletesIt)
{
    ASSERT_NE(Speech().mOffVoice, nullptr);
    EXPECT_STREQ(Speech().mOffVoice->mName.c_str(), "OFF");
    Speech().Say("Hello", "nosuch", Speech().mOffVoice, 1);
    Speech().Release();
    EXPECT_EQ(Speech().mOffVoice, nullptr);
    EXPECT_EQ(Speech().mSpeaker, nullptr);
    EXPECT_EQ(Speech().mState, 0);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), 0);
}

TEST_F(SpeechTest, ALineWithoutSpeechFileShowsItsSubtitleForThreeSecondsALine)
{
    cTarvelActor ann("OFF", "", false);
    for (int32_t lines : {1, 2}) {
        SCOPED_TRACE(lines);
        gTarvel.mConfig.Subtitle = 0;
        Speech().Say("Hello there", "ann-missing", &ann, 1);
        EXPECT_EQ(Speech().mState, 2);
        EXPECT_FALSE(Speech().mWithSound);
        EXPECT_EQ(Speech().mSpeaker, &ann);
        ASSERT_NE(Speech().mTextLine, nullptr);
        EXPECT_EQ(Speech().mStartMs, gTarvel.mTimer.mGameTime);
        EXPECT_EQ(Speech().mTextLine->mY, gTarvel.mFonts.mFonts[0].lineHeight);
        Speech().mTextLine->mLineCount = lines;
        Frame(3000u * uint32_t(lines));
        EXPECT_EQ(Speech().mState, 2);   // exactly the time is not over yet
        Frame(1);
        EXPECT_EQ(Speech().mState, 0);
        EXPECT_EQ(Speech().mTextLine, nullptr);
        EXPECT_EQ(Speech().mSpeaker, nullptr);
        EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), 0);
    }
}

TEST_F(SpeechTest, APlayingLineEndsWithItsSoundAndShowsTextOnlyWithSubtitles)
{
    cTarvelActor ann("OFF", "", false);
    gTarvel.mConfig.Subtitle = 0;
    Speech().Say("Hello", "ann-short", &ann, 1);
    EXPECT_TRUE(Speech().mWithSound);
    EXPECT_EQ(Speech().mTextLine, nullptr);
    Frame(300);
    EXPECT_EQ(Speech().mState, 2);
    Frame(400);
    Frame(0);
    EXPECT_EQ(Speech().mState, 0);

    // With subtitles the text shows, and outlasting its text time the line
    // runs until the sound ends.
    gTarvel.mConfig.Subtitle = 1;
    Speech().Say("Hello", "ann-long", &ann, 1);
    ASSERT_NE(Speech().mTextLine, nullptr);
    Frame(3500);
    EXPECT_EQ(Speech().mState, 2);
    Frame(700);
    Frame(0);
    EXPECT_EQ(Speech().mState, 0);
    EXPECT_EQ(Speech().mTextLine, nullptr);
}

TEST_F(SpeechTest, ASpokenLineMovesTheSpeakersMouthAndTakesTheSpeakersColour)
{
    gTarvel.mConfig.Subtitle = 1;
    cTarvelActor ann("Ann", "day", true);
    ASSERT_EQ(ann.mMobile->Load("body"), 0);
    ann.mSpeechColor = 0x80112233u;
    Speech().Say("Hello", "ann-short", &ann, 1);
    ASSERT_NE(ann.mTalkAnimation, nullptr);
    EXPECT_STREQ(ann.mTalkAnimation->mName.c_str(), "ann-short");
    EXPECT_TRUE(ann.mTalkAnimation->mPlaying);
    EXPECT_EQ(ann.mTalkAnimation->mFlags, cTarvelMobileAnimation::kMorph);
    ASSERT_NE(Speech().mTextLine, nullptr);
    // The colour's alpha below 0xFF makes the text translucent.
    EXPECT_EQ(Speech().mTextLine->mTranslucent, 1);
    if (Speech().mTextLine->mCharCount > 0)
        EXPECT_EQ(Speech().mTextLine->mVertices[0].color, 0x80112233u & 0xFFF0F0F0u);

    // A line whose speech file does not play moves no mouth, and a line
    // without a mouth movement leaves the last one as it is.
    cTarvelMobileAnimation* talking = ann.mTalkAnimation;
    Speech().Say("...", "ann-mute", &ann, 1);
    EXPECT_FALSE(Speech().mWithSound);
    EXPECT_EQ(ann.mTalkAnimation, talking);
    Speech().Say("Hello again", "ann-long", &ann, 1);
    EXPECT_TRUE(Speech().mWithSound);
    EXPECT_EQ(ann.mTalkAnimation, talking);

    // The off-screen voice has no body to move, and its own colour.
    cTarvelActor off("OFF", "", false);
    Speech().Say("Psst", "ann-short", &off, 1);
    EXPECT_TRUE(Speech().mWithSound);
    ASSERT_NE(Speech().mTextLine, nullptr);
    EXPECT_EQ(Speech().mTextLine->mTranslucent, 0);
}

TEST_F(SpeechTest, ThoughtsDropALeadingUnderscoreOnlyFromLongerNames)
{
    cTarvelActor ann("OFF", "", false);
    gTarvel.mConfig.Subtitle = 0;
    Speech().Think("Hmm", "_ann-short", &ann, 0);
    EXPECT_TRUE(Speech().mWithSound);
    EXPECT_TRUE(Speech().mThought);
    EXPECT_EQ(Speech().mState, 2);
    // A new line replaces it: a said line is no thought.
    Speech().Say("Hm", "ann-short", &ann, 1);
    EXPECT_FALSE(Speech().mThought);
    // "_" alone is kept, and no such file exists.
    Speech().Think("...", "_", &ann, 0);
    EXPECT_FALSE(Speech().mWithSound);
    EXPECT_TRUE(Speech().mThought);
    EXPECT_NE(Speech().mTextLine, nullptr);
}

TEST_F(SpeechTest, ANewLineReplacesTheRunningOne)
{
    cTarvelActor ann("OFF", "", false);
    cTarvelActor bob("OFF", "", false);
    Speech().Say("One", "x", &ann, 1);
    cTarvelText* first = Speech().mTextLine;
    Speech().mSkipRequested = true;
    Speech().Say("Two", "y", &bob, 1);
    EXPECT_FALSE(TextIsLive(first));
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), 1);
    EXPECT_FALSE(Speech().mSkipRequested);
    EXPECT_EQ(Speech().mSpeaker, &bob);
    // A skip ends the line at the next update.
    Speech().mSkipRequested = true;
    Frame(0);
    EXPECT_EQ(Speech().mState, 0);
}

TEST_F(SpeechTest, NoSpeakerAndNoPlayerIsNoFault)
{
    cTarvelActor player("OFF", "", false);
    for (cTarvelActor* who : {static_cast<cTarvelActor*>(nullptr), &player}) {
        gTarvel.mPlayer = who;
        Speech().Say("Who?", "ann-short", nullptr, 1);
        EXPECT_TRUE(Speech().mWithSound);
        EXPECT_EQ(Speech().mSpeaker, nullptr);
        Speech().Say("Who?", "nosuch", nullptr, 1);
        ASSERT_NE(Speech().mTextLine, nullptr);
        Frame(3001);
        EXPECT_EQ(Speech().mState, 0);
    }
}

TEST_F(SpeechTest, AClickEndsTheLineOnlyWhileLinesCanBeClickedThrough)
{
    cTarvelActor ann("OFF", "", false);
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    for (bool withSound : {false, true}) {
        SCOPED_TRACE(withSound);
        Speech().Say("Hi", withSound ? "ann-long" : "nosuch", &ann, 1);
        ASSERT_EQ(Speech().mWithSound, withSound);
        gameplay.mStateFlags = cTarvelGameplay::kInterfaceEnabled;
        gameplay.mLeftLatch = 1;
        Frame(10);
        EXPECT_EQ(Speech().mState, 2);

        gameplay.mStateFlags |= cTarvelGameplay::kBlocked;
        gameplay.mRightLatch = 2;
        Frame(10);
        EXPECT_EQ(Speech().mState, 0);
        // The clicks that ended it are taken: the scene does not get them
        // next frame.
        EXPECT_EQ(gameplay.mLeftLatch, 0);
        EXPECT_EQ(gameplay.mRightLatch, 0);
        EXPECT_TRUE(gTarvel.mSound.IsSpeechFinished());
        EXPECT_EQ(gameplay.mStateFlags, cTarvelGameplay::kInterfaceEnabled);
    }
    // A line that ends by itself clears the flag too.
    gameplay.mStateFlags |= cTarvelGameplay::kBlocked;
    Speech().Say("Hi", "nosuch", &ann, 1);
    Frame(3001);
    EXPECT_EQ(Speech().mState, 0);
    EXPECT_EQ(gameplay.mStateFlags, cTarvelGameplay::kInterfaceEnabled);
}

TEST_F(SpeechTest, ASubtitleClearedWithTheScenesTextsIsNotDeletedAgain)
{
    cTarvelActor ann("OFF", "", false);
    Speech().Say("Bye", "nosuch", &ann, 1);
    gTarvel.mFonts.ClearTexts();
    gTarvel.mFonts.CreateText(0, cTarvelString("other"), 0, 0, 0xFFFFFFFFu, 0, 0);
    Frame(3001);
    EXPECT_EQ(Speech().mState, 0);
    EXPECT_EQ(gTarvel.mFonts.mTexts.Count(), 1);
}

// Subtitles are laid out in the 1024 x 768 layout whatever the screen's
// pixels: centred on its middle, long lines kept inside it.
class SpeechLayoutTest : public SpeechTest, public ::testing::WithParamInterface<DWORD> {
protected:
    DWORD ScreenRes() const override { return GetParam(); }
};

TEST_P(SpeechLayoutTest, SubtitlesAreCentredInTheLayout)
{
    ASSERT_EQ(gTarvel.mGraphics.mWidth, int32_t(GetParam() >> 16));
    const float scale = gTarvel.mGraphics.mScaleX;
    cTarvelActor ann("OFF", "", false);
    gTarvel.mConfig.Subtitle = 1;
    const std::string longLine = [] {
        std::string text;
        for (int i = 0; i < 12; ++i)
            text += "The cat sat on the wall. ";
        return text;
    }();
    for (const std::string& text : {std::string("Hello there"), longLine}) {
        SCOPED_TRACE(text.size());
        Speech().Say(text.c_str(), "nosuch", &ann, 1);
        const cTarvelText* line = Speech().mTextLine;
        ASSERT_NE(line, nullptr);
        ASSERT_EQ(line->mCharCount, int32_t(text.size()));
        float left = 1e9f;
        float right = -1e9f;
        for (int32_t i = 0; i < 6 * line->mCharCount; ++i) {
            left = std::min(left, line->mVertices[i].x / scale);
            right = std::max(right, line->mVertices[i].x / scale);
        }
        EXPECT_GE(left, 0.0f);
        EXPECT_LE(right, 1024.0f);
        if (text.size() < 20) {
            // 11 glyphs of 10 units: 55 to each side of the centre, give
            // or take a glyph's bearing.
            EXPECT_NEAR((left + right) / 2.0f, 512.0f, 2.0f);
            EXPECT_EQ(line->mLineCount, 1);
        } else {
            EXPECT_GT(line->mLineCount, 1);
            EXPECT_NEAR((left + right) / 2.0f, 512.0f, 10.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, SpeechLayoutTest, ::testing::Values(DWORD(0x04000300), DWORD(0x05000400)));

}  // namespace
