#include "engine/render/image.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/render/render_test_support.h"
#include "engine/script/script.h"

namespace pt = platform::testing;

namespace {

// Every pixel different: B = x, G = y, R = x + y, A = 100 + x.
testkit::Picture Pattern(int width, int height)
{
    testkit::Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.Set(x, y, uint8_t(x), uint8_t(y), uint8_t(x + y), uint8_t(100 + x));
    return picture;
}

uint32_t Argb(const testkit::Picture& picture, int x, int y, bool alpha)
{
    const uint8_t* p = picture.At(x, y);
    return uint32_t(alpha ? p[3] : 255) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// Vertex i of the image's quad as floats (x, y, z, rhw, colour bits, u, v).
struct Vertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

std::vector<Vertex> Quad(cTarvelImage& image)
{
    std::vector<Vertex> vertices;
    void* data = nullptr;
    if (!image.mVertexBuffer || FAILED(image.mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY)))
        return vertices;
    for (int i = 0; i < 4; ++i) {
        Vertex v;
        std::memcpy(&v, static_cast<uint8_t*>(data) + i * image.VertexStride(), sizeof v);
        vertices.push_back(v);
    }
    image.mVertexBuffer->Unlock();
    return vertices;
}

std::vector<std::string> gCalls;

void RecordCall(cTarvelScript* script, const char* name)
{
    // The gameplay start-up's call of "Main::Init" is not the test's.
    if (script != gTarvel.mGameplay.mMainScript)
        gCalls.push_back(name);
}

class ImageTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        gCalls.clear();
        cTarvelScript::sCallObserver = RecordCall;
    }
    void TearDown() override
    {
        cTarvelScript::sCallObserver = nullptr;
        RenderTest::TearDown();
    }

    std::unique_ptr<cTarvelImage> Load(const char* name, bool twoSets = false)
    {
        auto image = std::make_unique<cTarvelImage>(twoSets);
        EXPECT_EQ(image->ReadFile(name), 0);
        return image;
    }
};

TEST_F(ImageTest, TgaRowsAreTakenBottomUpWhateverTheOrigin)
{
    const testkit::Picture picture = Pattern(5, 3);
    struct Case {
        const char* name;
        int bits;
        bool runLength;
        uint8_t descriptor;
    };
    const Case cases[] = {
        {"raw24", 24, false, 0},
        {"raw32", 32, false, 0},
        {"rle24", 24, true, 0},
        {"rle32", 32, true, 0},
        // Origin bit "top": still read bottom row first.
        {"top32", 32, false, 0x28},
    };
    StartWith([&](testkit::ArchiveWriter& writer) {
        for (const Case& c : cases) {
            testkit::TgaOptions options;
            options.bits = c.bits;
            options.runLength = c.runLength;
            options.descriptor = c.descriptor;
            options.id = "id field";
            writer.AddShared(1, c.name, 5, testkit::BuildTga(picture, options), true);
        }
    });
    for (const Case& c : cases) {
        auto image = Load(c.name);
        const bool alpha = c.bits == 32;
        EXPECT_EQ(image->mHeader.alpha != 0, alpha) << c.name;
        EXPECT_EQ(image->mHeader.format, c.runLength ? kImageTgaRle : kImageTga) << c.name;
        ASSERT_EQ(image->mFrames.Count(), 1);
        const std::vector<uint32_t> pixels = Pixels(image->GetCurrentFrame());
        ASSERT_EQ(pixels.size(), 64u) << c.name;   // 8 x 8 texture
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(pixels[size_t(y * 8 + x)], Argb(picture, x, y, alpha)) << c.name << " " << x << "," << y;
    }
}

TEST_F(ImageTest, RunLengthPacketsDecodeExactlyAndAreBounded)
{
    // 16 x 8 = 128 pixels: one packet repeating a pixel 128 times (255).
    testkit::Bytes full = testkit::BuildTgaHeader(16, 8, 32, 10, 0, 0);
    full.insert(full.end(), {255, 1, 2, 3, 4});
    // A last packet that runs past the picture is cut: 4 x 1 pixels, a
    // literal of 3 then a run of 128.
    testkit::Bytes over = testkit::BuildTgaHeader(4, 1, 24, 10, 0, 0);
    over.insert(over.end(), {2, 1, 1, 1, 2, 2, 2, 3, 3, 3, 255, 9, 9, 9});
    // Packets that run out of data before the picture is done.
    testkit::Bytes shortData = testkit::BuildTgaHeader(4, 4, 24, 10, 0, 0);
    shortData.insert(shortData.end(), {3, 1, 1, 1, 2, 2});
    testkit::Bytes noPackets = testkit::BuildTgaHeader(2, 2, 24, 10, 0, 0);
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "full", 5, full, true);
        writer.AddShared(1, "over", 5, over, true);
        writer.AddShared(1, "short", 5, shortData, true);
        writer.AddShared(1, "none", 5, noPackets, true);
    });
    auto image = Load("full");
    std::vector<uint32_t> pixels = Pixels(image->GetCurrentFrame());
    ASSERT_EQ(pixels.size(), 16u * 8u);
    for (uint32_t p : pixels)
        EXPECT_EQ(p, 0x04030201u);

    image = Load("over");
    pixels = Pixels(image->GetCurrentFrame());
    EXPECT_EQ(pixels[0], 0xFF010101u);
    EXPECT_EQ(pixels[1], 0xFF020202u);
    EXPECT_EQ(pixels[2], 0xFF030303u);
    EXPECT_EQ(pixels[3], 0xFF090909u);

    for (const char* name : {"short", "none"}) {
        std::string text = CatchFatalError([&] {
            cTarvelImage broken(false);
            broken.ReadFile(name);
        });
        EXPECT_NE(text.find("Buffer reading failed."), std::string::npos) << name << text;
        EXPECT_NE(text.find("cTarvelImage::ReadBufferTGA"), std::string::npos) << text;
    }
}

TEST_F(ImageTest, TextureSizesAndCoordinates)
{
    struct Case {
        int width, height;
        uint32_t code;
        uint32_t textureWidth, textureHeight;
    };
    const Case cases[] = {
        {100, 30, kImageRaw, 128, 32},
        {5, 5, kImageRaw, 8, 8},
        {3000, 1, kImageRaw, 4096, 8},
        {100, 30, kImageVideoWhole, 128, 64},
        {320, 40, kImageVideoStreamed, 512, 64},
    };
    StartWith([&](testkit::ArchiveWriter& writer) {
        int n = 0;
        for (const Case& c : cases) {
            testkit::ImageHeader header;
            header.width = c.width;
            header.height = c.height;
            header.code = c.code;
            std::vector<testkit::Bytes> frames;
            if (c.code == kImageRaw)
                frames.push_back(testkit::RawFrame(testkit::Picture(c.width, c.height), false));
            writer.AddShared(1, "size" + std::to_string(n++), 4, testkit::BuildImageFile(header, frames), true);
        }
    });
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "size" + std::to_string(n++);
        auto image = Load(name.c_str());
        EXPECT_EQ(image->mTextureWidth, c.textureWidth) << name;
        EXPECT_EQ(image->mTextureHeight, c.textureHeight) << name;
        const std::vector<Vertex> quad = Quad(*image);
        ASSERT_EQ(quad.size(), 4u);
        // Bottom-left, top-left, bottom-right, top-right.
        EXPECT_FLOAT_EQ(quad[2].u, float(c.width) / float(c.textureWidth)) << name;
        EXPECT_FLOAT_EQ(quad[0].v, float(c.height) / float(c.textureHeight)) << name;
        EXPECT_FLOAT_EQ(quad[1].u, 0.0f);
        EXPECT_FLOAT_EQ(quad[1].v, 0.0f);
        EXPECT_EQ(quad[0].color, 0xFFFFFFFFu);
    }
    // A video's frame before decoding: white over the picture, clear around.
    auto video = Load("size3");
    const std::vector<uint32_t> pixels = Pixels(video->GetCurrentFrame());
    EXPECT_EQ(pixels[0], 0xFFFFFFFFu);
    EXPECT_EQ(pixels[99], 0xFFFFFFFFu);
    EXPECT_EQ(pixels[100], 0u);
    EXPECT_EQ(pixels[30 * 128], 0u);
}

TEST_F(ImageTest, EngineImageFilePlacesTheQuadFromItsHeader)
{
    testkit::ImageHeader header;
    header.alpha = 1;
    header.x = 100;
    header.y = 20;
    header.depth = 500.0f;
    header.frameCount = 0;   // one frame
    const testkit::Picture picture = Pattern(4, 2);
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "placed", 4, testkit::BuildRawImageFile(header, {&picture, 1}), true);
    });
    // BuildRawImageFile writes the frame count it was given frames for.
    auto image = Load("placed");
    EXPECT_EQ(image->mFrames.Count(), 1);
    const std::vector<uint32_t> pixels = Pixels(image->GetCurrentFrame());
    EXPECT_EQ(pixels[8 + 3], Argb(picture, 3, 1, true));
    const std::vector<Vertex> quad = Quad(*image);
    const float offX = gTarvel.mGraphics.mTexelOffsetX, offY = gTarvel.mGraphics.mTexelOffsetY;
    // 1024 x 768: scale 1; y below the scene area's top (128).
    EXPECT_FLOAT_EQ(quad[1].x, 100.0f + offX);
    EXPECT_FLOAT_EQ(quad[1].y, 148.0f + offY);
    EXPECT_FLOAT_EQ(quad[0].y, 150.0f + offY);
    EXPECT_FLOAT_EQ(quad[3].x, 104.0f + offX);
    // Depth 500 with near 10 and far 10000, worked out by hand.
    const double n = 10.0, f = 10000.0, d = 500.0;
    const double z = f / (f - n) - f * n / ((f - n) * d);
    EXPECT_NEAR(quad[0].z, z, 1e-6);
    EXPECT_NEAR(quad[0].rhw, 1.0 / z, 1e-3);
}

TEST_F(ImageTest, FrameCountZeroReadsOneFrame)
{
    testkit::ImageHeader header;
    header.width = 2;
    header.height = 2;
    header.frameCount = 0;
    const testkit::Bytes frame = testkit::RawFrame(testkit::Picture(2, 2), false);
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "zero", 4, testkit::BuildImageFile(header, {&frame, 1}), true);
    });
    auto image = Load("zero");
    EXPECT_EQ(image->mFrames.Count(), 1);
    EXPECT_EQ(image->mHeader.frameCount, 1u);
}

TEST_F(ImageTest, BadFilesEndWithTheirFatalErrors)
{
    struct Case {
        const char* name;
        int type;
        testkit::Bytes data;
        const char* function;
        const char* message;
    };
    auto header = [](int width, int height, uint32_t code) {
        testkit::ImageHeader h;
        h.width = width;
        h.height = height;
        h.code = code;
        return testkit::BuildImageHeader(h);
    };
    testkit::Bytes shortFrame = header(4, 4, kImageRaw);
    shortFrame.resize(shortFrame.size() + 47);   // one byte short of 4 x 4 x 3
    const Case cases[] = {
        {"code9", 4, header(8, 8, 9), "cTarvelImage::ReadBitmap", "Surface creation failed."},
        {"wide", 4, header(5000, 8, kImageRaw), "cTarvelImage::ReadBitmap", "Surface creation failed."},
        {"empty", 4, header(0, 8, kImageRaw), "cTarvelImage::ReadBitmap", "Surface creation failed."},
        {"negative", 5, testkit::BuildTgaHeader(0xFFFF, 2, 24, 2, 0, 0), "cTarvelImage::ReadBitmap",
         "Surface creation failed."},
        {"header", 4, testkit::Bytes(39, 0), "cTarvelImage::ReadFile@2", "File reading failed."},
        {"tgaheader", 5, testkit::Bytes(17, 0), "cTarvelImage::ReadFileTGA", "File reading failed"},
        {"short", 4, shortFrame, "cTarvelImage::ReadBuffer", "Buffer reading failed."},
        {"dxtshort", 4, header(8, 8, kImageDxt1), "cTarvelImage::ReadBufferDXT", "Buffer reading failed."},
        {"dds", 13, testkit::Bytes{'D', 'D', 'S', ' ', 1, 2}, "cTarvelImage::ReadFileDDS", "Surface creation failed."},
        {"missing", -1, {}, "cTarvelImage::ReadFile@3", "Image file not found: missing"},
    };
    StartWith([&](testkit::ArchiveWriter& writer) {
        for (const Case& c : cases)
            if (c.type >= 0)
                writer.AddShared(1, c.name, c.type, c.data, true);
    });
    for (const Case& c : cases) {
        std::string text = CatchFatalError([&] {
            cTarvelImage image(false);
            image.ReadFile(c.name);
        });
        EXPECT_NE(text.find(c.function), std::string::npos) << c.name << ": " << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << c.name << ": " << text;
    }
}

TEST_F(ImageTest, TgaIsReadBeforeAnImageOfTheSameName)
{
    testkit::Picture red(2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            red.Set(x, y, 0, 0, 255, 255);
    testkit::ImageHeader header;
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "both", 4, testkit::BuildRawImageFile(header, {&red, 1}), true);
        writer.AddShared(1, "both", 5, testkit::BuildTga(red, {}), true);
    });
    auto image = Load("both");
    EXPECT_EQ(image->mHeader.format, kImageTga);
}

TEST_F(ImageTest, DxtFramesWithAndWithoutDeviceSupport)
{
    // A flat colour in 5-6-5: red 31, green 0, blue 31.
    const uint16_t magenta = 0xF81F;
    const testkit::Bytes blocks = testkit::SolidDxtBlocks("DXT1", 8, 8, magenta);
    ASSERT_EQ(blocks.size(), 32u);   // 8 x 8 / 2
    testkit::ImageHeader header;
    header.width = 8;
    header.height = 8;
    header.code = kImageDxt1;
    const testkit::Bytes file = testkit::BuildImageFile(header, {&blocks, 1});
    const testkit::Bytes dxt5 = testkit::SolidDxtBlocks("DXT5", 8, 8, magenta, 0x80);
    const testkit::Bytes dds = testkit::BuildDds(8, 8, "DXT5", dxt5);

    for (bool supported : {true, false}) {
        RebuildEngine();
        pt::AdapterProfile profile = pt::DefaultAdapterProfile();
        profile.dxtFormats = supported;
        pt::SetAdapterProfile(profile);
        StartWith([&](testkit::ArchiveWriter& writer) {
            writer.AddShared(1, "dxt", 4, file, true);
            writer.AddShared(1, "tex", 13, dds, true);
        });
        EXPECT_EQ(gTarvel.mGraphics.mDXT1Supported, supported);
        auto image = Load("dxt");
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(image->GetCurrentFrame()->GetLevelDesc(0, &desc), D3D_OK);
        if (supported) {
            EXPECT_EQ(desc.Format, D3DFMT_DXT1);
            D3DLOCKED_RECT locked{};
            ASSERT_EQ(image->GetCurrentFrame()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
            EXPECT_EQ(std::memcmp(locked.pBits, blocks.data(), 16), 0);
            image->GetCurrentFrame()->UnlockRect(0);
        } else {
            EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
            for (uint32_t p : Pixels(image->GetCurrentFrame()))
                EXPECT_EQ(p, 0xFFFF00FFu);
        }
        // A DDS is a texture, not a screen quad.
        auto texture = Load("tex");
        EXPECT_EQ(texture->mHeader.format, kImageDds);
        EXPECT_EQ(texture->mHeader.width, 8);
        EXPECT_NE(texture->mHeader.alpha, 0u);
        EXPECT_EQ(texture->mVertexBuffer, nullptr);
        EXPECT_EQ(texture->SetRect(0, 0, -1, -1), -1);
    }
}

TEST_F(ImageTest, PlayModesStepThroughTheFrames)
{
    std::vector<testkit::Picture> frames;
    for (int i = 0; i < 4; ++i)
        frames.push_back(Pattern(2, 2));
    testkit::ImageHeader header;
    header.frameRate = 10;   // 100 ms a frame
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "seq", 4, testkit::BuildRawImageFile(header, frames), true);
    });
    auto image = Load("seq");
    ASSERT_EQ(image->mFrames.Count(), 4);
    cTarvelTimer& timer = gTarvel.mTimer;
    auto step = [&](uint32_t ms) {
        timer.mGameTime += ms;
        image->Update();
        return image->mCurrentFrame;
    };

    // Ping-pong: 0, 1, 2, 3, then down to 0 and up again, never finished.
    // The frame steps one past either end and is turned there at the next
    // step; in between the end frame is shown.
    image->Play(kImagePingPong, 0);
    std::vector<int> seen;
    std::vector<IDirect3DTexture9*> shown;
    for (int i = 0; i < 10; ++i) {
        seen.push_back(step(100));
        shown.push_back(image->GetCurrentFrame());
    }
    const std::vector<int> pingPong = {1, 2, 3, 4, 2, 1, 0, -1, 1, 2};
    EXPECT_EQ(seen, pingPong);
    EXPECT_EQ(shown[3], image->mFrames[3]);
    EXPECT_EQ(shown[7], image->mFrames[0]);
    EXPECT_EQ(image->mFinished, 0);

    // Once: stops on the last frame and calls back exactly once.
    cTarvelScript script("seq");
    image->mCallbackName = "OnEnd";
    image->mCallbackScript = &script;
    image->mCallbackSerial = script.mSerial;
    image->Play(kImageOnce, 0);
    for (int i = 0; i < 8; ++i)
        step(100);
    EXPECT_EQ(image->mPlayMode, kImageStopped);
    EXPECT_EQ(image->mFinished, 1);
    EXPECT_EQ(image->mCurrentFrame, 3);
    EXPECT_EQ(gCalls, std::vector<std::string>{"OnEnd"});

    // Late by several frame times: frames are skipped, not slowed.
    image->Play(kImageLoop, 0);
    EXPECT_EQ(step(250), 2);
    EXPECT_EQ(step(50), 2);
    EXPECT_EQ(step(50), 3);
    // Held and stopped images do not step.
    image->Play(kImageHeld, 1);
    EXPECT_EQ(step(1000), 1);
    image->Play(kImageStopped, 0);
    EXPECT_EQ(step(1000), 1);
    // GetCurrentFrame clamps to the last frame.
    image->mCurrentFrame = 7;
    EXPECT_EQ(image->GetCurrentFrame(), image->mFrames[3]);
}

TEST_F(ImageTest, TheFrameCallbackFiresOnceWhenItsFrameIsReached)
{
    std::vector<testkit::Picture> frames(4, Pattern(2, 2));
    testkit::ImageHeader header;
    header.frameRate = 10;   // 100 ms a frame
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "seq", 4, testkit::BuildRawImageFile(header, frames), true);
    });
    auto image = Load("seq");
    cTarvelTimer& timer = gTarvel.mTimer;
    cTarvelScript script("seq");
    auto expectAt = [&](cTarvelScript* machine, int32_t frame) {
        image->mFrameCallback = 1;
        image->mFrameCallbackLabel = "OnFrame";
        image->mFrameCallbackMachine = machine;
        image->mFrameCallbackSerial = machine ? machine->mSerial : 0;
        image->mFrameCallbackFrame = frame;
    };
    auto step = [&](uint32_t ms) {
        timer.mGameTime += ms;
        image->Update();
        return gCalls.size();
    };

    image->Play(kImageLoop, 0);
    expectAt(&script, 2);
    EXPECT_EQ(step(100), 0u);   // frame 1
    EXPECT_EQ(step(100), 1u);   // frame 2
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(step(100), 1u) << "once, not again on the next loop";
    EXPECT_EQ(image->mFrameCallbackMachine, nullptr);
    EXPECT_EQ(image->mFrameCallback, 0);

    // A late frame that skips past it still counts; so does a ping-pong
    // image reaching it on the way down.
    image->Play(kImageLoop, 0);
    expectAt(&script, 2);
    EXPECT_EQ(step(350), 2u);
    image->Play(kImagePingPong, 3);
    image->mDirection = -1;
    expectAt(&script, 1);
    EXPECT_EQ(step(100), 2u);   // frame 2
    EXPECT_EQ(step(100), 3u);   // frame 1
    EXPECT_EQ(gCalls, (std::vector<std::string>{"OnFrame", "OnFrame", "OnFrame"}));

    // A machine destroyed before the frame gets no call.
    auto gone = std::make_unique<cTarvelScript>("gone");
    image->Play(kImageLoop, 0);
    expectAt(gone.get(), 1);
    gone.reset();
    EXPECT_EQ(step(100), 3u);
    EXPECT_EQ(image->mFrameCallbackMachine, nullptr);
}

// A scene visited again gets a new machine, which may sit where the old one
// was: the callbacks a gone machine set must not reach the one built in its
// storage (the same address whatever the allocator does).
TEST_F(ImageTest, CallbacksOfAGoneMachineDoNotReachANewOneAtItsAddress)
{
    std::vector<testkit::Picture> frames(4, Pattern(2, 2));
    testkit::ImageHeader header;
    header.frameRate = 10;   // 100 ms a frame
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "seq", 4, testkit::BuildRawImageFile(header, frames), true);
    });
    // As cView__imageSetCallback sets them for the calling machine.
    struct Kind {
        const char* name;
        void (*set)(cTarvelImage&, cTarvelScript*);
    };
    const Kind kinds[] = {
        {"end of play",
         [](cTarvelImage& image, cTarvelScript* machine) {
             image.mCallbackName = "OnEnd";
             image.mCallbackScript = machine;
             image.mCallbackSerial = machine->mSerial;
             image.Play(kImageOnce, 0);
         }},
        {"frame",
         [](cTarvelImage& image, cTarvelScript* machine) {
             image.mFrameCallback = 1;
             image.mFrameCallbackLabel = "OnFrame";
             image.mFrameCallbackMachine = machine;
             image.mFrameCallbackSerial = machine->mSerial;
             image.mFrameCallbackFrame = 2;
             image.Play(kImageLoop, 0);
         }},
    };
    alignas(cTarvelScript) unsigned char storage[sizeof(cTarvelScript)];
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        auto run = [&](cTarvelScript* machine) {
            auto image = Load("seq");
            kind.set(*image, machine);
            return image;
        };
        auto step = [](cTarvelImage& image) {
            for (int i = 0; i < 6; ++i) {
                gTarvel.mTimer.mGameTime += 100;
                image.Update();
            }
        };
        auto* left = new (storage) cTarvelScript("seq");
        auto image = run(left);
        left->~cTarvelScript();
        auto* visit = new (storage) cTarvelScript("seq");
        ASSERT_EQ(static_cast<void*>(visit), static_cast<void*>(left));
        gCalls.clear();
        step(*image);
        EXPECT_TRUE(gCalls.empty()) << "the gone machine's callback reached the new one";

        image = run(visit);
        step(*image);
        EXPECT_EQ(gCalls.size(), 1u) << "its own callback reaches it";
        visit->~cTarvelScript();
    }
}

TEST_F(ImageTest, VertexOperations)
{
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "pic", 5, testkit::BuildTga(Pattern(100, 30), {}), true);
    });
    auto image = Load("pic", true);
    const struct {
        int32_t in;
        uint32_t alpha;
    } alphas[] = {{300, 255}, {-5, 0}, {128, 128}};
    for (const auto& a : alphas) {
        ASSERT_EQ(image->SetAlpha(a.in), 0);
        for (const Vertex& v : Quad(*image))
            EXPECT_EQ(v.color, a.alpha << 24 | 0x00FFFFFFu) << a.in;
    }
    ASSERT_EQ(image->SetTextureRect(10, 4, 74, 20), 0);
    const float offX = gTarvel.mGraphics.mTexelOffsetX, offY = gTarvel.mGraphics.mTexelOffsetY;
    std::vector<Vertex> quad = Quad(*image);
    EXPECT_FLOAT_EQ(quad[0].u, 10.0f / 128.0f + offX);
    EXPECT_FLOAT_EQ(quad[0].v, 20.0f / 32.0f + offY);
    EXPECT_FLOAT_EQ(quad[3].u, 74.0f / 128.0f + offX);
    EXPECT_FLOAT_EQ(quad[3].v, 4.0f / 32.0f + offY);

    ASSERT_EQ(image->SetRect(10, 20, 50, -1), 0);
    quad = Quad(*image);
    EXPECT_FLOAT_EQ(quad[0].x, 10.0f + offX);
    EXPECT_FLOAT_EQ(quad[0].y, 50.0f + offY);
    EXPECT_FLOAT_EQ(quad[2].x, 60.0f + offX);
    // Centred in a rectangle of screen pixels: shift -x1 - (x2 - W) / 2.
    image->CenterInRect(100, 0, 900, 0);
    EXPECT_FLOAT_EQ(image->mShiftX, -100.0f - (900.0f - 1024.0f) / 2.0f);
    quad = Quad(*image);
    EXPECT_FLOAT_EQ(quad[0].x, 10.0f + offX - image->mShiftX);

    // A flat ramp is a plain depth; a positive horizontal ramp recedes to
    // the right, a negative one to the left.
    ASSERT_EQ(image->SetDepth(500.0f), 0);
    const float flat = Quad(*image)[0].z;
    ASSERT_EQ(image->SetDepthRamp(500.0f, 0.0f, 0.0f, nullptr), 0);
    for (const Vertex& v : Quad(*image))
        EXPECT_FLOAT_EQ(v.z, flat);
    ASSERT_EQ(image->SetDepthRamp(500.0f, 0.5f, 0.0f, nullptr), 0);
    quad = Quad(*image);
    EXPECT_GT(quad[2].z, quad[0].z);   // bottom-right beyond bottom-left
    EXPECT_FLOAT_EQ(quad[0].z, quad[1].z);
    EXPECT_FLOAT_EQ(quad[2].rhw, 1.0f / quad[2].z);
    ASSERT_EQ(image->SetDepthRamp(500.0f, -0.5f, 0.0f, nullptr), 0);
    quad = Quad(*image);
    EXPECT_LT(quad[2].z, quad[0].z);
}

TEST_F(ImageTest, DrawUsesTheImageTechniquesAndOneDrawPerPass)
{
    testkit::ImageHeader header;
    header.alpha = 1;
    const testkit::Picture picture = Pattern(4, 4);
    StartWith([&](testkit::ArchiveWriter& writer) {
        writer.AddShared(1, "pic", 4, testkit::BuildRawImageFile(header, {&picture, 1}), true);
    });
    auto image = Load("pic");
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    pt::RecordDraws(true);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    image->Draw(false, true);
    image->mBlended = 1;
    image->Draw(false, true);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    const std::vector<pt::DrawRecord> draws = pt::RecordedDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].technique, "image_basic");
    EXPECT_EQ(draws[1].technique, "image_blended");
    for (const pt::DrawRecord& draw : draws) {
        EXPECT_EQ(draw.primitiveType, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.primitiveCount, 2u);
        EXPECT_EQ(draw.stream0, image->mVertexBuffer);
        EXPECT_EQ(draw.stream0Stride, 28u);
        EXPECT_EQ(draw.fvf, 0x144u);
    }
    ID3DXEffect* effect = gTarvel.mShaders.mNamed[0].shader->mEffect;
    EXPECT_EQ(Floats(effect, "blend"), std::vector<float>{1.0f});
    EXPECT_EQ(Floats(effect, "alphaop"), std::vector<float>{2.0f});
    EXPECT_EQ(Floats(effect, "depth"), std::vector<float>{0.0f});
    // 1024 x 768 and not marked filtered: point filtering.
    EXPECT_EQ(Floats(effect, "filter"), std::vector<float>{1.0f});
    EXPECT_EQ(pt::EffectTexture(effect, "tex").value_or(nullptr), image->GetCurrentFrame());
    image->mFiltered = 1;
    image->Draw(false, true);
    EXPECT_EQ(Floats(effect, "filter"), std::vector<float>{2.0f});
}

TEST_F(ImageTest, FrameDataIsCheckedBeforeItsTextureIsMade)
{
    // The largest frames each reader takes, with a few bytes of data: each is
    // refused before a 4096 x 4096 texture is made for it.
    auto image = [](uint32_t code, testkit::Bytes data) {
        testkit::ImageHeader h;
        h.width = 4096;
        h.height = 4096;
        h.code = code;
        testkit::Bytes bytes = testkit::BuildImageHeader(h);
        bytes.insert(bytes.end(), data.begin(), data.end());
        return bytes;
    };
    auto tga = [](uint8_t type, testkit::Bytes data) {
        testkit::Bytes bytes = testkit::BuildTgaHeader(4096, 4096, 24, type, 0, 0);
        bytes.insert(bytes.end(), data.begin(), data.end());
        return bytes;
    };
    // 131,071 run packets cover one pixel short of 4096 x 4096.
    testkit::Bytes runs;
    for (int i = 0; i < 131071; ++i)
        runs.insert(runs.end(), {255, 1, 2, 3});
    struct Case {
        const char* name;
        int type;
        testkit::Bytes data;
        const char* function;
    };
    const Case cases[] = {
        {"raw", 4, image(kImageRaw, testkit::Bytes(100, 7)), "cTarvelImage::ReadBuffer"},
        {"dxt", 4, image(kImageDxt5, testkit::Bytes(100, 7)), "cTarvelImage::ReadBufferDXT"},
        {"tga", 5, tga(2, testkit::Bytes(100, 7)), "cTarvelImage::ReadBufferTGA"},
        {"rle", 5, tga(10, runs), "cTarvelImage::ReadBufferTGA"},
    };
    StartWith([&](testkit::ArchiveWriter& writer) {
        for (const Case& c : cases)
            writer.AddShared(1, c.name, c.type, c.data, true);
    });
    for (const Case& c : cases) {
        int frames = -1;
        std::string text = CatchFatalError([&] {
            cTarvelImage refused(false);
            // Destroyed first as the error unwinds: sees the frames made so far.
            struct Count {
                cTarvelImage& image;
                int& frames;
                ~Count() { frames = image.mFrames.Count(); }
            } count{refused, frames};
            refused.ReadFile(c.name);
        });
        EXPECT_NE(text.find(c.function), std::string::npos) << c.name << ": " << text;
        EXPECT_NE(text.find("Buffer reading failed."), std::string::npos) << c.name << ": " << text;
        EXPECT_EQ(frames, 0) << c.name;
    }
}

} // namespace
