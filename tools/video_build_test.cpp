#include "tools/video_build.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/bink/bink.h"
#include "platform/bink/testing.h"
#include "platform/win32/test_support.h"
#include "tools/text_form.h"
#include "tools/text_form_test_support.h"

namespace {

using testkit::ReadVideoText;
using testkit::TextFormError;

// A dark blue video with a red box sliding right over frames 0 to 4, a
// white box on frames 2 and 3, and a tone under it.
const char* kIntro = R"(video 40 20 6 rate 10
fill 0 5 0 0 80
slide 0 4 0 5 20 5 4 4 255 0 0
box 2 3 30 0 2 2 255 255 255
tone 0 0.6 440 volume 0.3
)";

class VideoBuildTest : public platform::testing::PlatformTest {
protected:
    void SetUp() override
    {
        PlatformTest::SetUp();
        platform::testing::ResetBink();
    }
    void TearDown() override
    {
        if (mVideo)
            BinkClose(mVideo);
        platform::testing::ResetBink();
        PlatformTest::TearDown();
    }

    HBINK Open(const std::string& text)
    {
        const testkit::Bytes bytes = testkit::BuildVideo(ReadVideoText(text));
        EXPECT_FALSE(bytes.empty());
        const std::string path = work_ + "/video.mkv";
        EXPECT_TRUE(testkit::WriteOutputFile(path, bytes));
        if (mVideo)
            BinkClose(mVideo);
        mVideo = BinkOpen(path.c_str(), 0);
        return mVideo;
    }

    // Frame n (from 0) as B, G, R, A words.
    std::vector<uint32_t> Frame(uint32_t n)
    {
        BinkGoto(mVideo, n + 1, 0);
        EXPECT_EQ(BinkDoFrame(mVideo), 0);
        std::vector<uint32_t> pixels(size_t(mVideo->Width) * mVideo->Height);
        EXPECT_EQ(BinkCopyToBuffer(mVideo, pixels.data(), int32_t(mVideo->Width * 4), mVideo->Height, 0, 0,
                                   BINKSURFACE32A),
                  0);
        return pixels;
    }

    HBINK mVideo = nullptr;
};

constexpr uint32_t Bgra(uint32_t r, uint32_t g, uint32_t b) { return b | g << 8 | r << 16 | 0xFF000000u; }

TEST_F(VideoBuildTest, TheVideoReaderShowsThePaintsFrameByFrame)
{
    HBINK video = Open(kIntro);
    ASSERT_NE(video, nullptr) << BinkGetError();
    EXPECT_EQ(video->Width, 40u);
    EXPECT_EQ(video->Height, 20u);
    EXPECT_EQ(video->Frames, 6u);
    EXPECT_EQ(video->FrameRate / video->FrameRateDiv, 10u);
    EXPECT_EQ(video->NumTracks, 1u);

    const uint32_t blue = Bgra(0, 0, 80), red = Bgra(255, 0, 0), white = Bgra(255, 255, 255);
    const auto at = [](const std::vector<uint32_t>& f, int x, int y) { return f[size_t(y) * 40 + size_t(x)]; };
    std::vector<uint32_t> f = Frame(0);
    EXPECT_EQ(at(f, 0, 5), red);
    EXPECT_EQ(at(f, 3, 8), red);
    EXPECT_EQ(at(f, 4, 5), blue);
    EXPECT_EQ(at(f, 30, 0), blue);
    f = Frame(2);  // half way: x = 10
    EXPECT_EQ(at(f, 9, 5), blue);
    EXPECT_EQ(at(f, 10, 5), red);
    EXPECT_EQ(at(f, 13, 8), red);
    EXPECT_EQ(at(f, 31, 1), white);
    EXPECT_EQ(at(f, 32, 1), blue);
    f = Frame(4);
    EXPECT_EQ(at(f, 20, 5), red);
    EXPECT_EQ(at(f, 30, 0), blue);
    f = Frame(5);  // past the slide's last frame
    EXPECT_EQ(at(f, 20, 5), blue);

    // No sound line: no sound track.
    video = Open("video 8 8 2\nfill 0 1 1 2 3\n");
    ASSERT_NE(video, nullptr) << BinkGetError();
    EXPECT_EQ(video->NumTracks, 0u);
    EXPECT_EQ(Frame(1)[0], Bgra(1, 2, 3));
}

// The picture's pixel (x, y) as R, G, B, A, read from a raw TGA by hand:
// 18-byte header, rows bottom first, B G R [A] per pixel.
std::vector<int> TgaPixel(const testkit::Bytes& tga, int x, int y)
{
    const int width = tga[12] | tga[13] << 8, height = tga[14] | tga[15] << 8, bytes = tga[16] / 8;
    const size_t at = 18 + (size_t(height - 1 - y) * size_t(width) + size_t(x)) * size_t(bytes);
    if (at + size_t(bytes) > tga.size())
        return {};
    return {tga[at + 2], tga[at + 1], tga[at], bytes == 4 ? tga[at + 3] : 255};
}

TEST(VideoBuildPictureTest, APictureIsTheFirstFrameAsATga)
{
    // Frame 0 only: the fill, the slide at its start, the box of frame 0,
    // and not the box of frames 1 and 2.
    const testkit::Bytes tga = testkit::BuildPictureTga(ReadVideoText(R"(video 6 4 3 alpha
fill 0 2 10 20 30 40
slide 0 2 0 0 4 0 2 1 200 0 0
box 0 0 5 3 1 1 0 250 0
box 1 2 0 3 6 1 9 9 9
tone 0 0.1 440
)"));
    ASSERT_GE(tga.size(), 18u);
    EXPECT_EQ(tga[2], 2);  // uncompressed true colour
    EXPECT_EQ(tga[12] | tga[13] << 8, 6);
    EXPECT_EQ(tga[14] | tga[15] << 8, 4);
    EXPECT_EQ(tga[16], 32);
    EXPECT_EQ(tga.size(), 18u + 6 * 4 * 4);
    EXPECT_EQ(TgaPixel(tga, 0, 0), (std::vector<int>{200, 0, 0, 255}));
    EXPECT_EQ(TgaPixel(tga, 1, 0), (std::vector<int>{200, 0, 0, 255}));
    EXPECT_EQ(TgaPixel(tga, 2, 0), (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(TgaPixel(tga, 5, 3), (std::vector<int>{0, 250, 0, 255}));
    EXPECT_EQ(TgaPixel(tga, 0, 3), (std::vector<int>{10, 20, 30, 40}));

    // Without alpha: 24 bits, and a frame starts black.
    const testkit::Bytes plain = testkit::BuildPictureTga(ReadVideoText("video 3 2 1\nbox 0 0 2 1 1 1 7 8 9\n"));
    ASSERT_GE(plain.size(), 18u);
    EXPECT_EQ(plain[16], 24);
    EXPECT_EQ(plain.size(), 18u + 3 * 2 * 3);
    EXPECT_EQ(TgaPixel(plain, 2, 1), (std::vector<int>{7, 8, 9, 255}));
    EXPECT_EQ(TgaPixel(plain, 0, 0), (std::vector<int>{0, 0, 0, 255}));
}

TEST(VideoBuildToolTest, WritesThePictureOrStopsWithFileLineAndReason)
{
    testkit::testing::ScratchFolder scratch;
    const std::string good = scratch.Write("yard.txt", "video 3 2 1\nfill 0 0 1 2 3\n");
    ASSERT_EQ(testkit::testing::RunTool(scratch, "video_build", "--picture " + good + " " + scratch.path + "/y.tga").exitCode, 0);
    const std::string written = scratch.Read("y.tga");
    const testkit::Bytes tga(written.begin(), written.end());
    ASSERT_EQ(tga.size(), 18u + 3 * 2 * 3);
    EXPECT_EQ(TgaPixel(tga, 1, 1), (std::vector<int>{1, 2, 3, 255}));

    const std::string bad = scratch.Write("bad.txt", "video 3 2 1\n\nbox 0 0 1 1 0 1 1 1 1\n");
    const testkit::testing::ToolRun run =
        testkit::testing::RunTool(scratch, "video_build", "--picture " + bad + " " + scratch.path + "/b.tga");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error, bad + ":3: 0 is outside 1 to 4096\n");
    EXPECT_FALSE(std::filesystem::exists(scratch.path + "/b.tga"));
}

struct Refusal {
    const char* text;
    int line;
    const char* reason;
};

TEST(VideoBuildRefusalTest, BadLinesAreRefusedWithTheirLineAndReason)
{
    const Refusal cases[] = {
        {"fill 0 1 0 0 0\n", 1, "the file starts with \"video <width> <height> <frames>\""},
        {"video 8 8\n", 1, "a video is \"video <width> <height> <frames> ...\""},
        {"video 8 8 0\n", 1, "0 is outside 1 to 100000"},
        {"video 8 8 4 loop\n", 1, "\"loop\" is not a part of a video"},
        {"video 8 8 4\nfill 0 4 0 0 0\n", 2, "4 is outside 0 to 3"},
        {"video 8 8 4\nfill 2 1 0 0 0\n", 2, "1 is outside 2 to 3"},
        {"video 8 8 4\nfill 0 3 0 0 256\n", 2, "256 is outside 0 to 255"},
        {"video 8 8 4\nfill 0 3 0 0\n", 2, "\"fill\" ends with a colour"},
        {"video 8 8 4\nbox 0 3 1 1 0 2 9 9 9\n", 2, "0 is outside 1 to 4096"},
        {"video 8 8 4\nslide 0 3 1 1 2 2\n", 2, "a slide is"},
        {"video 8 8 4 rate 4\ntone 0 2 440\n", 2, "the part ends after the sound"},
        {"video 8 8 4\nwipe 0 3\n", 2, "\"wipe\" is not a statement of a video"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ReadVideoText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const TextFormError& error) {
            EXPECT_EQ(error.line, c.line);
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
}

TEST(VideoBuildToolTest, WritesTheVideoOrStopsWithFileLineAndReason)
{
    testkit::testing::ScratchFolder scratch;
    const std::string good = scratch.Write("intro.txt", kIntro);
    ASSERT_EQ(testkit::testing::RunTool(scratch, "video_build", good + " " + scratch.path + "/intro.bik").exitCode, 0);
    EXPECT_EQ(scratch.Read("intro.bik").substr(0, 4), "\x1A\x45\xDF\xA3");  // Matroska

    const std::string bad = scratch.Write("bad.txt", "video 8 8 4\n# a comment\nfill 0 9 0 0 0\n");
    const testkit::testing::ToolRun run = testkit::testing::RunTool(scratch, "video_build", bad + " " + scratch.path + "/b.bik");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error, bad + ":3: 9 is outside 0 to 3\n");
}

}  // namespace
