#include "engine/render/image.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/script/script.h"
#include "platform/d3dx9/d3dx9.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_image";
constexpr int32_t kMaxImageSize = 4096;

// Vertex field offsets in bytes.
constexpr uint32_t kOffsetZ = 8;
constexpr uint32_t kOffsetRhw = 12;
constexpr uint32_t kOffsetColor = 16;
constexpr uint32_t kOffsetUV = 20;
constexpr uint32_t kOffsetST = 28;

float* FloatAt(uint8_t* vertices, uint32_t stride, int vertex, uint32_t offset)
{
    return reinterpret_cast<float*>(vertices + stride * uint32_t(vertex) + offset);
}

uint32_t* ColorAt(uint8_t* vertices, uint32_t stride, int vertex)
{
    return reinterpret_cast<uint32_t*>(vertices + stride * uint32_t(vertex) + kOffsetColor);
}

// Bytes left in a slot from its read position.
uint32_t Remaining(int slot)
{
    cTarvelResource& resources = gTarvel.mResources;
    const uint32_t size = resources.GetSize(slot);
    const uint32_t position = uint32_t(resources.GetResourcePos(slot, false));
    return position < size ? size - position : 0;
}

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

D3DFORMAT DxtFormatOf(uint32_t code)
{
    switch (code) {
    case kImageDxt1:
        return D3DFMT_DXT1;
    case kImageDxt2:
        return D3DFMT_DXT2;
    case kImageDxt3:
        return D3DFMT_DXT3;
    case kImageDxt4:
        return D3DFMT_DXT4;
    case kImageDxt5:
    case kImageDxt5Alt:
        return D3DFMT_DXT5;
    default:
        return D3DFMT_UNKNOWN;
    }
}

bool IsVideo(uint32_t code)
{
    return code == kImageVideoWhole || code == kImageVideoStreamed;
}

// Copies rows of b-byte source pixels into a locked A8R8G8B8 texture; with
// `flip` the source's first row is the picture's bottom row.
void WriteRows(const uint8_t* source, int32_t width, int32_t height, int bytes, bool flip,
               const D3DLOCKED_RECT& locked)
{
    for (int32_t y = 0; y < height; ++y) {
        const int32_t row = flip ? height - 1 - y : y;
        uint8_t* dest = static_cast<uint8_t*>(locked.pBits) + size_t(row) * size_t(locked.Pitch);
        const uint8_t* src = source + size_t(y) * size_t(width) * size_t(bytes);
        for (int32_t x = 0; x < width; ++x, src += bytes, dest += 4) {
            dest[0] = src[0];
            dest[1] = src[1];
            dest[2] = src[2];
            dest[3] = bytes == 4 ? src[3] : 255;
        }
    }
}

} // namespace

uint32_t NextTextureSize(int32_t size)
{
    uint32_t texture = 8;
    while (texture < 4096 && int64_t(texture) < size)
        texture <<= 1;
    return texture;
}

uint32_t NextVideoTextureSize(int32_t size)
{
    uint32_t texture = 64;
    while (texture < 4096 && int64_t(texture) < size)
        texture <<= 1;
    return texture;
}

uint32_t DxtDataSize(int32_t width, int32_t height, D3DFORMAT fourcc)
{
    const uint32_t pixels = uint32_t(width) * uint32_t(height);
    switch (fourcc) {
    case D3DFMT_DXT1:
        return pixels / 2;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return pixels;
    default:
        return 0;
    }
}

cTarvelImage::cTarvelImage(bool twoTexCoordSets)
    : mShiftX(0.0f), mShift2(0.0f), mHeader{}, mVertexBuffer(nullptr), mTextureHeight(0), mTextureWidth(0),
      mCurrentFrame(0), mLastDecodedFrame(0), mFinished(0), mDirection(0), mStepTime(0),
      mCallbackScript(nullptr), mWaitSwitch(0), mWaitFrame(0), mVideo(nullptr), mSlot(-1), mPlayMode(0),
      mBlended(0), mFlag1(1), mDepthOff(1), mAlternateTechnique(0), mInventoryImage(0), mTwoSets(twoTexCoordSets ? 1 : 0),
      mFiltered(gTarvel.mGraphics.mExact1024 ? 0 : 1), mWord(0), mColormap(0.0f)
{
}

cTarvelImage::~cTarvelImage()
{
    for (int32_t i = 0; i < mFrames.Count(); ++i)
        if (mFrames[i])
            mFrames[i]->Release();
    mFrames.Clear();
    if (mVertexBuffer)
        mVertexBuffer->Release();
    if (mVideo)
        BinkClose(mVideo);
    if (mSlot != -1)
        gTarvel.mResources.CloseResource(mSlot);
}

DWORD cTarvelImage::VertexFormat() const
{
    return D3DFVF_XYZRHW | D3DFVF_DIFFUSE | (mTwoSets ? D3DFVF_TEX2 : D3DFVF_TEX1);
}

void cTarvelImage::BufferFailure(int line, const char* function)
{
    gTarvel.FatalError(0, kSourceFile, line, function, "Buffer reading failed.", 0);
}

int cTarvelImage::ReadFile(const cTarvelString& name)
{
    cTarvelResource& resources = gTarvel.mResources;
    const char* text = name.c_str();
    int slot = -1;
    if (resources.Exists(text, kResourceTga)) {
        slot = resources.OpenResource(text, kResourceTga);
        if (slot != -1) {
            int result = ReadFileTGA(slot);
            resources.CloseResource(slot);
            return result;
        }
    } else if (resources.Exists(text, kResourceDds)) {
        slot = resources.OpenResource(text, kResourceDds);
        if (slot != -1) {
            int result = ReadFileDDS(slot);
            resources.CloseResource(slot);
            return result;
        }
    } else if (resources.Exists(text, kResourceImage)) {
        slot = resources.OpenResource(text, kResourceImage);
        if (slot != -1) {
            int result = ReadImageFile(slot);
            if (mSlot != slot)
                resources.CloseResource(slot);
            return result;
        }
    }
    gTarvel.FatalError(0, kSourceFile, 131, "cTarvelImage::ReadFile@3",
                       cTarvelString("Image file not found: ") + name, 0);
}

int cTarvelImage::ReadImageFile(int slot)
{
    if (Remaining(slot) < 40)
        gTarvel.FatalError(0, kSourceFile, 93, "cTarvelImage::ReadFile@2", "File reading failed.", 0);
    uint8_t header[40];
    gTarvel.mResources.Read(slot, header, sizeof header);
    mHeader.width = int32_t(Le32(header));
    mHeader.height = int32_t(Le32(header + 4));
    mHeader.alpha = header[8];
    mHeader.x = int32_t(Le32(header + 12));
    mHeader.y = int32_t(Le32(header + 16));
    uint32_t depthBits = Le32(header + 20);
    std::memcpy(&mHeader.depth, &depthBits, 4);
    mHeader.frameCount = Le32(header + 24);
    mHeader.frameRate = header[28];
    mHeader.pixelBlock = Le32(header + 32);
    mHeader.format = Le32(header + 36);
    if (mHeader.frameCount < 2)
        mHeader.frameCount = 1;

    if (IsVideo(mHeader.format)) {
        ReadBitmap(slot);
        InitBink(slot);
    } else {
        for (uint32_t frame = 0; frame < mHeader.frameCount; ++frame)
            if (ReadBitmap(slot) != 0)
                return -1;
    }
    mDirection = 0;
    mCurrentFrame = 0;
    mLastDecodedFrame = 0;
    mStepTime = gTarvel.mTimer.mGameTime;
    return 0;
}

int cTarvelImage::InitBink(int slot)
{
    const HANDLE file = gTarvel.mResources.GetFileHandle(slot);
    if (file == INVALID_HANDLE_VALUE || file == nullptr)
        return -1;
    mSlot = slot;
    uint32_t flags = BINKFILEHANDLE | BINKALPHA;
    const uint32_t rate = mHeader.frameRate & 0xFF;
    if (rate != 0) {
        BinkSetFrameRate(rate, 1);
        flags |= BINKFRAMERATE;
    }
    if (mHeader.format == kImageVideoWhole)
        flags |= BINKPRELOADALL;
    mVideo = BinkOpen(reinterpret_cast<const char*>(file), flags);
    if (!mVideo)
        gTarvel.FatalError(0, kSourceFile, 276, "cTarvelImage::InitBink",
                           cTarvelString("Video stream init failed: ") + BinkGetError(), 0);
    BINKFRAMEBUFFERS buffers{};
    BinkGetFrameBuffersInfo(mVideo, &buffers);
    if (buffers.Frames[0].APlane.Allocate)
        mHeader.alpha = 1;
    // A preloaded video no longer reads its slot: the caller closes it.
    if (mHeader.format == kImageVideoWhole)
        mSlot = -1;
    BinkSetVolume(mVideo, 0, int32_t(gTarvel.mConfig.SFXVolume * 128));
    return 0;
}

int cTarvelImage::OpenVideo(int slot, bool readWhole)
{
    mHeader = sImageHeader{};
    mHeader.format = readWhole ? kImageVideoWhole : kImageVideoStreamed;
    InitBink(slot);
    if (!mVideo)
        return -1;
    mHeader.frameRate = mVideo->FrameRate & 0xFF;
    mHeader.width = int32_t(mVideo->Width < 64 ? 64 : mVideo->Width);
    mHeader.height = int32_t(mVideo->Height < 64 ? 64 : mVideo->Height);
    mHeader.frameCount = mVideo->Frames - 1;
    mHeader.depth = 1.0f;
    ReadBitmap(slot);
    mDirection = 0;
    mCurrentFrame = 0;
    mLastDecodedFrame = 0;
    mStepTime = gTarvel.mTimer.mGameTime;
    return 0;
}

bool cTarvelImage::ShowVideoFrame()
{
    BinkDoFrame(mVideo);
    mCurrentFrame = int32_t(mVideo->FrameNum) - 1;
    if (mFrames.Count() == 0 || !mFrames[0])
        return false;
    IDirect3DTexture9* texture = mFrames[0];
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0)))
        return false;
    // The texture may be smaller than the video where its size was capped.
    const bool copied = BinkCopyToBuffer(mVideo, locked.pBits, locked.Pitch,
                                         mVideo->Height < mTextureHeight ? mVideo->Height : mTextureHeight,
                                         0, 0, BINKSURFACE32A) == 0;
    if (copied)
        mLastDecodedFrame = int32_t(mVideo->FrameNum) - 1;
    texture->UnlockRect(0);
    return copied;
}

void cTarvelImage::DecodeVideoFrame()
{
    ShowVideoFrame();
    // The clip ends one frame before the video's last; a one-frame video
    // ends at once rather than never.
    if (mVideo->FrameNum + 1 >= mVideo->Frames) {
        if (mPlayMode == kImageLoop) {
            BinkGoto(mVideo, 0, BINKGOTOQUICK);
            mCurrentFrame = 0;
        } else {
            BinkPause(mVideo, 1);
            mFinished = 1;
            mPlayMode = kImageStopped;
        }
        RunEndCallback();
        return;
    }
    BinkNextFrame(mVideo);
}

void cTarvelImage::NextFrame()
{
    if (mVideo) {
        DecodeVideoFrame();
        return;
    }
    mCurrentFrame += mDirection;
    mStepTime = gTarvel.mTimer.mGameTime;
}

int cTarvelImage::ReadFileTGA(int slot)
{
    mHeader = sImageHeader{};
    if (Remaining(slot) < 18)
        gTarvel.FatalError(0, kSourceFile, 170, "cTarvelImage::ReadFileTGA", "File reading failed", 0);
    uint8_t header[18];
    gTarvel.mResources.Read(slot, header, sizeof header);
    mHeader.width = int16_t(uint16_t(header[12] | header[13] << 8));
    mHeader.height = int16_t(uint16_t(header[14] | header[15] << 8));
    mHeader.alpha = header[16] >> 5;
    mHeader.depth = 1.0f;
    mHeader.frameCount = 1;
    mHeader.frameRate = 0;
    mHeader.x = 0;
    mHeader.y = 0;
    if (header[0] != 0)
        gTarvel.mResources.Forward(slot, header[0]);
    if (header[2] == 2)
        mHeader.format = kImageTga;
    else if (header[2] == 10)
        mHeader.format = kImageTgaRle;
    else
        mHeader.format = kImageRaw;
    int result = ReadBitmap(slot);
    if (result == 0) {
        mDirection = 0;
        mCurrentFrame = 0;
        mLastDecodedFrame = 0;
        mStepTime = gTarvel.mTimer.mGameTime;
    }
    return result;
}

int cTarvelImage::ReadFileDDS(int slot)
{
    cTarvelResource& resources = gTarvel.mResources;
    const uint32_t size = Remaining(slot);
    uint8_t* block = resources.ReadBlock(slot, size);
    IDirect3DTexture9* texture = nullptr;
    HRESULT result = D3DXCreateTextureFromFileInMemory(gTarvel.mGraphics.mDevice, block, size, &texture);
    std::free(block);
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(result))
        result = texture->GetLevelDesc(0, &desc);
    if (FAILED(result)) {
        if (texture)
            texture->Release();
        gTarvel.FatalError(1, kSourceFile, 205, "cTarvelImage::ReadFileDDS", "Surface creation failed.",
                           uint32_t(result));
    }
    mHeader = sImageHeader{};
    mHeader.width = int32_t(desc.Width);
    mHeader.height = int32_t(desc.Height);
    mHeader.alpha = 1;
    mHeader.depth = 1.0f;
    mHeader.frameCount = 1;
    mHeader.format = kImageDds;
    mTextureWidth = desc.Width;
    mTextureHeight = desc.Height;
    mFrames.Add(texture);
    mDirection = 0;
    mCurrentFrame = 0;
    mLastDecodedFrame = 0;
    mStepTime = gTarvel.mTimer.mGameTime;
    return 0;
}

int cTarvelImage::ReadBitmap(int slot)
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    const uint32_t code = mHeader.format;
    const D3DFORMAT dxt = DxtFormatOf(code);
    const bool known = code == kImageRaw || IsVideo(code) || dxt != D3DFMT_UNKNOWN || code == kImageTga ||
                       code == kImageTgaRle;
    // Sizes outside what a texture can hold would be written past it.
    if (!known || mHeader.width < 1 || mHeader.height < 1 || mHeader.width > kMaxImageSize ||
        mHeader.height > kMaxImageSize)
        gTarvel.FatalError(1, kSourceFile, 405, "cTarvelImage::ReadBitmap", "Surface creation failed.",
                           uint32_t(D3DERR_INVALIDCALL));

    const bool video = IsVideo(code);
    // The frame's data must be there before a texture of the header's size is
    // made (and cleared) for it; each reader refuses it with its own error.
    if (!video) {
        const uint32_t bytes = mHeader.alpha & 0xFF ? 4 : 3;
        const uint32_t pixels = uint32_t(mHeader.width) * uint32_t(mHeader.height);
        const uint32_t left = Remaining(slot);
        if (dxt != D3DFMT_UNKNOWN) {
            const uint32_t size = DxtDataSize(mHeader.width, mHeader.height, dxt);
            if (size == 0 || left < size)
                BufferFailure(496, "cTarvelImage::ReadBufferDXT");
        } else if (code == kImageTgaRle) {
            // A packet of one header byte and one pixel covers at most 128 pixels.
            if (left / (1 + bytes) < (pixels + 127) / 128)
                BufferFailure(615, "cTarvelImage::ReadBufferTGA");
        } else if (left < pixels * bytes) {
            BufferFailure(code == kImageRaw ? 440 : 540,
                          code == kImageRaw ? "cTarvelImage::ReadBuffer" : "cTarvelImage::ReadBufferTGA");
        }
    }
    mTextureWidth = video ? NextVideoTextureSize(mHeader.width) : NextTextureSize(mHeader.width);
    mTextureHeight = video ? NextVideoTextureSize(mHeader.height) : NextTextureSize(mHeader.height);
    const D3DFORMAT format = dxt != D3DFMT_UNKNOWN && graphics.mDXT1Supported ? dxt : D3DFMT_A8R8G8B8;
    IDirect3DTexture9* texture = nullptr;
    HRESULT result = graphics.mDevice->CreateTexture(mTextureWidth, mTextureHeight, 1, 0, format,
                                                     D3DPOOL_MANAGED, &texture, nullptr);
    if (FAILED(result))
        gTarvel.FatalError(1, kSourceFile, 405, "cTarvelImage::ReadBitmap", "Surface creation failed.",
                           uint32_t(result));
    mFrames.Add(texture);

    if (code == kImageRaw)
        ReadBuffer(slot);
    else if (dxt != D3DFMT_UNKNOWN)
        ReadBufferDXT(slot);
    else if (code == kImageTga || code == kImageTgaRle)
        ReadBufferTGA(slot);
    else {
        // A video's frame before its first decode: opaque white over the
        // picture, transparent black around it.
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
            for (uint32_t y = 0; y < mTextureHeight; ++y) {
                uint8_t* row = static_cast<uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch);
                const size_t white = y < uint32_t(mHeader.height) ? size_t(mHeader.width) * 4 : 0;
                std::memset(row, 0xFF, white);
                std::memset(row + white, 0, size_t(mTextureWidth) * 4 - white);
            }
            texture->UnlockRect(0);
        }
    }

    if (mVertexBuffer) {
        mVertexBuffer->Release();
        mVertexBuffer = nullptr;
    }
    const uint32_t stride = VertexStride();
    result = graphics.mDevice->CreateVertexBuffer(4 * stride, D3DUSAGE_WRITEONLY, VertexFormat(),
                                                  D3DPOOL_MANAGED, &mVertexBuffer, nullptr);
    if (FAILED(result)) {
        mVertexBuffer = nullptr;
        gTarvel.FatalError(1, kSourceFile, 405, "cTarvelImage::ReadBitmap", "Surface creation failed.",
                           uint32_t(result));
    }
    void* data = nullptr;
    if (SUCCEEDED(mVertexBuffer->Lock(0, 0, &data, 0))) {
        uint8_t* vertices = static_cast<uint8_t*>(data);
        const float u = float(mHeader.width) / float(mTextureWidth);
        const float v = float(mHeader.height) / float(mTextureHeight);
        const float uv[4][2] = {{0.0f, v}, {0.0f, 0.0f}, {u, v}, {u, 0.0f}};
        const float offsetU = mTwoSets ? graphics.mTexelOffsetX : 0.0f;
        const float offsetV = mTwoSets ? graphics.mTexelOffsetY : 0.0f;
        for (int i = 0; i < 4; ++i) {
            float* position = FloatAt(vertices, stride, i, 0);
            position[0] = 0.0f;
            position[1] = 0.0f;
            position[2] = 1.0f;
            position[3] = 1.0f;
            *ColorAt(vertices, stride, i) = 0xFFFFFFFFu;
            float* first = FloatAt(vertices, stride, i, kOffsetUV);
            first[0] = uv[i][0] + offsetU;
            first[1] = uv[i][1] + offsetV;
            if (mTwoSets) {
                float* second = FloatAt(vertices, stride, i, kOffsetST);
                second[0] = first[0];
                second[1] = first[1];
            }
        }
        mVertexBuffer->Unlock();
    }
    SetRect(float(mHeader.x), float(mHeader.y + graphics.mSceneTop), -1.0f, -1.0f);
    SetDepth(mHeader.depth);
    return 0;
}

bool cTarvelImage::ReadBuffer(int slot)
{
    const int bytes = mHeader.alpha & 0xFF ? 4 : 3;
    const uint32_t size = uint32_t(mHeader.width) * uint32_t(mHeader.height) * uint32_t(bytes);
    if (Remaining(slot) < size)
        BufferFailure(440, "cTarvelImage::ReadBuffer");
    uint8_t* block = gTarvel.mResources.ReadBlock(slot, size);
    IDirect3DTexture9* texture = mFrames[mFrames.Count() - 1];
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        std::free(block);
        BufferFailure(440, "cTarvelImage::ReadBuffer");
    }
    WriteRows(block, mHeader.width, mHeader.height, bytes, false, locked);
    texture->UnlockRect(0);
    std::free(block);
    return true;
}

bool cTarvelImage::ReadBufferTGA(int slot)
{
    cTarvelResource& resources = gTarvel.mResources;
    const int bytes = mHeader.alpha & 0xFF ? 4 : 3;
    const uint32_t pixels = uint32_t(mHeader.width) * uint32_t(mHeader.height);
    const uint32_t size = pixels * uint32_t(bytes);
    IDirect3DTexture9* texture = mFrames[mFrames.Count() - 1];
    D3DLOCKED_RECT locked{};

    if (mHeader.format == kImageTga) {
        if (Remaining(slot) < size)
            BufferFailure(540, "cTarvelImage::ReadBufferTGA");
        uint8_t* block = resources.ReadBlock(slot, size);
        if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
            std::free(block);
            BufferFailure(540, "cTarvelImage::ReadBufferTGA");
        }
        WriteRows(block, mHeader.width, mHeader.height, bytes, true, locked);
        texture->UnlockRect(0);
        std::free(block);
        return true;
    }

    // Run-length packets from here to the end of the resource.
    const uint32_t available = Remaining(slot);
    uint8_t* block = resources.ReadBlock(slot, available);
    uint8_t* decoded = static_cast<uint8_t*>(std::malloc(size));
    if (!decoded) {
        std::free(block);
        BufferFailure(615, "cTarvelImage::ReadBufferTGA");
    }
    uint32_t in = 0;
    uint32_t done = 0;
    bool ok = true;
    while (done < pixels) {
        if (in >= available) {
            ok = false;
            break;
        }
        const uint8_t packet = block[in++];
        const bool repeat = packet >= 128;
        uint32_t count = repeat ? uint32_t(packet) - 127 : uint32_t(packet) + 1;
        // The last packet may run past the picture: it is cut there.
        if (count > pixels - done)
            count = pixels - done;
        const uint32_t need = repeat ? uint32_t(bytes) : count * uint32_t(bytes);
        if (available - in < need) {
            ok = false;
            break;
        }
        uint8_t* dest = decoded + size_t(done) * size_t(bytes);
        if (repeat) {
            for (uint32_t i = 0; i < count; ++i)
                std::memcpy(dest + size_t(i) * size_t(bytes), block + in, size_t(bytes));
            in += uint32_t(bytes);
        } else {
            std::memcpy(dest, block + in, need);
            in += need;
        }
        done += count;
    }
    std::free(block);
    if (!ok || FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        std::free(decoded);
        BufferFailure(615, "cTarvelImage::ReadBufferTGA");
    }
    WriteRows(decoded, mHeader.width, mHeader.height, bytes, true, locked);
    texture->UnlockRect(0);
    std::free(decoded);
    return true;
}

bool cTarvelImage::ReadBufferDXT(int slot)
{
    cTarvelResource& resources = gTarvel.mResources;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    const D3DFORMAT fourcc = DxtFormatOf(mHeader.format);
    const uint32_t size = DxtDataSize(mHeader.width, mHeader.height, fourcc);
    // A frame without data would let a frame count run on without reading.
    if (size == 0 || Remaining(slot) < size)
        BufferFailure(496, "cTarvelImage::ReadBufferDXT");
    // The blocks fill the level up to its 4 x 4 rows.
    const uint32_t blockRows = (mTextureHeight + 3) / 4;
    IDirect3DTexture9* texture = mFrames[mFrames.Count() - 1];
    D3DLOCKED_RECT locked{};

    if (graphics.mDXT1Supported) {
        D3DSURFACE_DESC desc{};
        if (FAILED(texture->GetLevelDesc(0, &desc)) || FAILED(texture->LockRect(0, &locked, nullptr, 0)))
            BufferFailure(496, "cTarvelImage::ReadBufferDXT");
        if (uint64_t(blockRows) * uint64_t(uint32_t(locked.Pitch)) < size) {
            texture->UnlockRect(0);
            BufferFailure(496, "cTarvelImage::ReadBufferDXT");
        }
        resources.Read(slot, locked.pBits, size);
        texture->UnlockRect(0);
        return true;
    }

    IDirect3DSurface9* blocks = nullptr;
    IDirect3DSurface9* level = nullptr;
    bool ok = SUCCEEDED(graphics.mDevice->CreateOffscreenPlainSurface(mTextureWidth, mTextureHeight, fourcc,
                                                                      D3DPOOL_SCRATCH, &blocks, nullptr)) &&
              SUCCEEDED(blocks->LockRect(&locked, nullptr, 0));
    if (ok) {
        ok = uint64_t(blockRows) * uint64_t(uint32_t(locked.Pitch)) >= size;
        if (ok)
            resources.Read(slot, locked.pBits, size);
        blocks->UnlockRect();
    }
    ok = ok && SUCCEEDED(texture->GetSurfaceLevel(0, &level)) &&
         SUCCEEDED(D3DXLoadSurfaceFromSurface(level, nullptr, nullptr, blocks, nullptr, nullptr,
                                              D3DX_FILTER_NONE, 0));
    if (level)
        level->Release();
    if (blocks)
        blocks->Release();
    if (!ok)
        BufferFailure(496, "cTarvelImage::ReadBufferDXT");
    return true;
}

int cTarvelImage::SetRect(float x, float y, float width, float height)
{
    if (!mVertexBuffer)
        return -1;
    if (width == -1.0f)
        width = float(mHeader.width);
    if (height == -1.0f)
        height = float(mHeader.height);
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const float corners[4][2] = {{x, y + height}, {x, y}, {x + width, y + height}, {x + width, y}};
    float xy[8];
    for (int i = 0; i < 4; ++i) {
        xy[2 * i] = corners[i][0] * graphics.mScaleX + graphics.mTexelOffsetX;
        xy[2 * i + 1] = corners[i][1] * graphics.mScaleY + graphics.mTexelOffsetY;
    }
    if (!WriteVertices(xy, 4))
        return -1;
    mShiftX = 0.0f;
    mShift2 = 0.0f;
    return 0;
}

bool cTarvelImage::WriteVertices(const float* xy, int count)
{
    void* data = nullptr;
    if (FAILED(mVertexBuffer->Lock(0, 0, &data, 0)))
        return false;
    for (int i = 0; i < count; ++i) {
        float* position = FloatAt(static_cast<uint8_t*>(data), VertexStride(), i, 0);
        position[0] = xy[2 * i];
        position[1] = xy[2 * i + 1];
    }
    mVertexBuffer->Unlock();
    return true;
}

void cTarvelImage::CenterInRect(int32_t x1, int32_t, int32_t x2, int32_t)
{
    if (!mVertexBuffer)
        return;
    const float shift = float(-x1 - (x2 - gTarvel.mGraphics.mWidth) / 2);
    if (shift == mShiftX)
        return;
    void* data = nullptr;
    if (FAILED(mVertexBuffer->Lock(0, 0, &data, 0)))
        return;
    for (int i = 0; i < 4; ++i)
        FloatAt(static_cast<uint8_t*>(data), VertexStride(), i, 0)[0] += mShiftX - shift;
    mVertexBuffer->Unlock();
    mShiftX = shift;
}

int cTarvelImage::SetDepth(float depth)
{
    if (!mVertexBuffer)
        return -1;
    const cTarvelCamera& camera = gTarvel.mCamera;
    if (depth > camera.mFar)
        depth = camera.mFar - 0.01f;
    if (depth < camera.mNear + 0.1f)
        depth = camera.mNear + 0.11f;
    const float z = camera.DepthFromDistance(depth);
    void* data = nullptr;
    if (FAILED(mVertexBuffer->Lock(0, 0, &data, 0)))
        return -1;
    for (int i = 0; i < 4; ++i) {
        FloatAt(static_cast<uint8_t*>(data), VertexStride(), i, kOffsetZ)[0] = z;
        FloatAt(static_cast<uint8_t*>(data), VertexStride(), i, kOffsetRhw)[0] = 1.0f / z;
    }
    mVertexBuffer->Unlock();
    return 0;
}

int cTarvelImage::SetDepthRamp(float depth, float ramp1, float ramp2, const cTarvelCamera* camera)
{
    if (!mVertexBuffer)
        return -1;
    if (!camera)
        camera = &gTarvel.mCamera;
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const float sceneTop = float(graphics.mSceneTop) * graphics.mScaleY;
    const float sceneBottom = float(graphics.mSceneBottom) * graphics.mScaleY;
    const float reach = camera->mFar - depth;
    // Cubed, so small ramp values change little and the sign stays.
    const float slopeX = ramp1 * ramp1 * ramp1 * reach / float(graphics.mWidth);
    const float slopeY = ramp2 * ramp2 * ramp2 * reach / float(graphics.mScenePixelHeight);
    void* data = nullptr;
    if (FAILED(mVertexBuffer->Lock(0, 0, &data, 0)))
        return -1;
    for (int i = 0; i < 4; ++i) {
        float* position = FloatAt(static_cast<uint8_t*>(data), VertexStride(), i, 0);
        const float dx = ramp1 >= 0.0f ? position[0] : float(graphics.mWidth) - position[0];
        const float dy = ramp2 >= 0.0f ? position[1] - sceneTop : sceneBottom - position[1];
        float distance = depth + std::fabs(slopeX) * dx + std::fabs(slopeY) * dy;
        if (distance < 1.0f)
            distance = 1.0f;
        if (distance > camera->mFar)
            distance = camera->mFar - 0.01f;
        if (distance < camera->mNear + 0.1f)
            distance = camera->mNear + 0.11f;
        const float z = camera->DepthFromDistance(distance);
        position[2] = z;
        position[3] = 1.0f / z;
    }
    mVertexBuffer->Unlock();
    return 0;
}

int cTarvelImage::SetAlpha(int32_t alpha)
{
    if (!mVertexBuffer)
        return -1;
    if (alpha < 0)
        alpha = 0;
    if (alpha > 255)
        alpha = 255;
    void* data = nullptr;
    if (FAILED(mVertexBuffer->Lock(0, 0, &data, 0)))
        return -1;
    for (int i = 0; i < 4; ++i) {
        uint32_t* color = ColorAt(static_cast<uint8_t*>(data), VertexStride(), i);
        *color = (*color & 0x00FFFFFFu) | uint32_t(alpha) << 24;
    }
    mVertexBuffer->Unlock();
    return 0;
}

int cTarvelImage::SetTextureRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (mTextureWidth == 0 || mTextureHeight == 0)
        return -1;
    return WriteCorners(kOffsetUV, PixelCorners(x1, y1, x2, y2));
}

int cTarvelImage::SetTextureRect2(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (!mVertexBuffer || mTextureWidth == 0 || mTextureHeight == 0)
        return -1;
    if (!mTwoSets)
        return 0;
    return WriteCorners(kOffsetST, PixelCorners(x1, y1, x2, y2));
}

int cTarvelImage::SetTexCoords2(float left, float top, float right, float bottom)
{
    if (!mVertexBuffer)
        return -1;
    if (!mTwoSets)
        return 0;
    return WriteCorners(kOffsetST, {{{left, bottom}, {left, top}, {right, bottom}, {right, top}}});
}

// Texture coordinates of a rectangle of texture pixels, in strip order, with
// the device's texel offset.
std::array<std::array<float, 2>, 4> cTarvelImage::PixelCorners(int32_t x1, int32_t y1, int32_t x2,
                                                               int32_t y2) const
{
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const int32_t pixels[4][2] = {{x1, y2}, {x1, y1}, {x2, y2}, {x2, y1}};
    std::array<std::array<float, 2>, 4> corners;
    for (int i = 0; i < 4; ++i) {
        corners[i][0] = float(pixels[i][0]) / float(mTextureWidth) + graphics.mTexelOffsetX;
        corners[i][1] = float(pixels[i][1]) / float(mTextureHeight) + graphics.mTexelOffsetY;
    }
    return corners;
}

// Writes one coordinate pair per corner at `offset` of each quad vertex.
int cTarvelImage::WriteCorners(uint32_t offset, const std::array<std::array<float, 2>, 4>& corners)
{
    if (!mVertexBuffer)
        return -1;
    void* data = nullptr;
    if (FAILED(mVertexBuffer->Lock(0, 0, &data, 0)))
        return -1;
    for (int i = 0; i < 4; ++i) {
        float* pair = FloatAt(static_cast<uint8_t*>(data), VertexStride(), i, offset);
        pair[0] = corners[i][0];
        pair[1] = corners[i][1];
    }
    mVertexBuffer->Unlock();
    return 0;
}

void cTarvelImage::SetColormap(float value)
{
    mColormap = value;
}

int cTarvelImage::Draw(bool advance, bool setUp)
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (advance)
        Update();
    if (setUp) {
        shaders.UseNamed(mBlended ? 1 : 0);
        const bool alpha = (mHeader.alpha & 0xFF) != 0;
        shaders.SetBool(nullptr, "blend", alpha);
        shaders.SetInt(nullptr, "alphaop", alpha ? 2 : 1);
        shaders.SetBool(nullptr, "depth", !mDepthOff);
        shaders.SetInt(nullptr, "filter", mFiltered || !graphics.mExact1024 ? 2 : 1);
    }
    shaders.SetTexture(nullptr, "tex", this);
    IDirect3DDevice9* device = graphics.mDevice;
    // A view layer stays inside its stage's viewport (the strip of split
    // screen); an image without one draws where the device's viewport is.
    const bool ownViewport = mViewport.Width > 0 && mViewport.Height > 0;
    D3DVIEWPORT9 previous{};
    if (ownViewport) {
        device->GetViewport(&previous);
        device->SetViewport(&mViewport);
    }
    shaders.Begin();
    device->SetFVF(VertexFormat());
    device->SetStreamSource(0, mVertexBuffer, 0, VertexStride());
    while (shaders.NextPass())
        device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    shaders.End();
    if (ownViewport)
        device->SetViewport(&previous);
    return 0;
}

IDirect3DTexture9* cTarvelImage::GetCurrentFrame()
{
    if (mFrames.Count() == 0)
        return nullptr;
    // Between steps of a backwards play the frame can stand at -1.
    return mFrames[mCurrentFrame < 0 ? 0 : mCurrentFrame];
}

int cTarvelImage::SetFrame(int32_t frame)
{
    if (mVideo) {
        BinkService(mVideo);
        // Off and on again puts the sound back in step with the jump.
        if (mVideo->NumTracks > 0 && mVideo->SoundOn) {
            BinkSetSoundOnOff(mVideo, 0);
            BinkSetSoundOnOff(mVideo, 1);
        }
        BinkPause(mVideo, 0);
        BinkGoto(mVideo, uint32_t(frame) + 1, 0);
        DecodeVideoFrame();
        mCurrentFrame = frame;
        return 0;
    }
    if (frame >= 0 && uint32_t(frame) < mHeader.frameCount) {
        mCurrentFrame = frame;
        mStepTime = gTarvel.mTimer.mGameTime;
    }
    return 0;
}

int cTarvelImage::Play(int32_t mode, int32_t start)
{
    if (mode != kImageStopped) {
        mPlayMode = mode;
        SetFrame(start);
        mDirection = 1;
        mFinished = 0;
        mStepTime = gTarvel.mTimer.mGameTime;
        return 0;
    }
    if (mVideo) {
        BinkPause(mVideo, 1);
        BinkService(mVideo);
        if (mFinished) {
            BinkGoto(mVideo, mVideo->Frames - 1, 0);
            ShowVideoFrame();
        }
    }
    mPlayMode = kImageStopped;
    mStepTime = gTarvel.mTimer.mGameTime;
    return 0;
}

void cTarvelImage::RunEndCallback()
{
    cTarvelScript* script = mCallbackScript;
    if (!script)
        return;
    mCallbackScript = nullptr;
    // A script machine destroyed since the callback was set gets no call.
    if (gTarvel.IsScriptLive(script, mCallbackSerial))
        script->CallFunction(mCallbackName.c_str(), nullptr);
}

void cTarvelImage::CheckFrameCallback()
{
    cTarvelScript* script = mFrameCallbackMachine;
    if (!script || (mDirection >= 0 ? mCurrentFrame < mFrameCallbackFrame : mCurrentFrame > mFrameCallbackFrame))
        return;
    // Once: the event may set a new callback.
    mFrameCallbackMachine = nullptr;
    mFrameCallback = 0;
    const cTarvelString event = mFrameCallbackLabel;
    if (gTarvel.IsScriptLive(script, mFrameCallbackSerial))
        script->CallFunction(event.c_str(), nullptr);
}

int cTarvelImage::Update()
{
    if (mPlayMode == kImageStopped || mPlayMode == kImageHeld)
        return 0;
    if (mVideo) {
        if (BinkWait(mVideo))
            BinkService(mVideo);
        else
            DecodeVideoFrame();
        if (mWaitSwitch && mWaitFrame != -1 &&
            (mDirection >= 0 ? mCurrentFrame >= mWaitFrame : mCurrentFrame <= mWaitFrame))
            mWaitFrame = -1;
        CheckFrameCallback();
        return 0;
    }
    const int32_t n = int32_t(mHeader.frameCount);
    if (mCurrentFrame >= n && mDirection >= 0) {
        if (mPlayMode == kImageLoop) {
            mCurrentFrame = 0;
        } else if (mPlayMode == kImagePingPong) {
            mCurrentFrame = n - 1;
            mDirection = -1;
        } else {
            mCurrentFrame = n - 1;
            mPlayMode = kImageStopped;
            mFinished = 1;
            RunEndCallback();
            return 0;
        }
    }
    if (mCurrentFrame < 0 && mDirection < 0) {
        if (mPlayMode == kImageLoop) {
            mCurrentFrame = n - 1;
        } else {
            mCurrentFrame = 0;
            if (mPlayMode == kImagePingPong) {
                mDirection = 1;
            } else {
                mPlayMode = kImageStopped;
                mFinished = 1;
                RunEndCallback();
            }
        }
    }
    int32_t steps = 1;
    if (mStepTime != 0)
        steps = int32_t(gTarvel.mTimer.SecondsSince(mStepTime, float(mHeader.frameRate & 0xFF)));
    mCurrentFrame += mDirection * steps;
    if (steps >= 1)
        mStepTime = gTarvel.mTimer.mGameTime;
    if (mWaitSwitch && mWaitFrame != -1 &&
        (mDirection >= 0 ? mCurrentFrame >= mWaitFrame : mCurrentFrame <= mWaitFrame))
        mWaitFrame = -1;
    CheckFrameCallback();
    return 0;
}
