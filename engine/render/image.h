#pragma once

#include <array>
#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "platform/bink/bink.h"
#include "platform/d3d9/d3d9.h"

class cTarvelCamera;
class cTarvelScript;

// The header of an engine image file, ten 32-bit words; the TGA and DDS
// readers fill it as well.
struct sImageHeader {
    int32_t width;
    int32_t height;
    uint32_t alpha;       // only the first byte is read
    int32_t x;            // in the 1024 x 768 layout
    int32_t y;            // below the scene area's top
    float depth;
    uint32_t frameCount;
    uint32_t frameRate;   // only the first byte is read: frames per second
    uint32_t pixelBlock;  // reserved in the file
    uint32_t format;
};

// Format codes of the header.
enum eImageFormat : uint32_t {
    kImageRaw = 0,
    kImageVideoWhole = 1,
    kImageDxt1 = 2,
    kImageDxt3 = 3,
    kImageDxt5 = 4,
    kImageDxt2 = 5,
    kImageDxt4 = 6,
    kImageVideoStreamed = 7,
    kImageDxt5Alt = 8,
    kImageTga = 0xF0000000u,
    kImageTgaRle = 0xF0000001u,
    kImageDds = 0xF0010000u,
};

// Play modes.
enum eImagePlayMode : int32_t {
    kImageStopped = 0,
    kImageHeld = 1,
    kImageOnce = 2,
    kImageLoop = 3,
    kImagePingPong = 4,
};

// Smallest power of two from 8 (pictures) or 64 (videos) up to 4096 that
// holds the size.
uint32_t NextTextureSize(int32_t size);
uint32_t NextVideoTextureSize(int32_t size);
// Bytes of DXT blocks of a picture; 0 for any other FOURCC.
uint32_t DxtDataSize(int32_t width, int32_t height, D3DFORMAT fourcc);

// A picture: frame textures, a screen quad of four pre-transformed vertices
// and the playback state that steps through the frames.
class cTarvelImage {
public:
    explicit cTarvelImage(bool twoTexCoordSets);
    ~cTarvelImage();
    cTarvelImage(const cTarvelImage&) = delete;
    cTarvelImage& operator=(const cTarvelImage&) = delete;

    // Loads the picture of that name (TGA, then DDS, then engine image).
    int ReadFile(const cTarvelString& name);
    int ReadImageFile(int slot);
    int ReadFileTGA(int slot);
    int ReadFileDDS(int slot);
    int ReadBitmap(int slot);
    bool ReadBuffer(int slot);
    bool ReadBufferTGA(int slot);
    bool ReadBufferDXT(int slot);
    // Opens the video that follows the header in the slot (codes 1 and 7);
    // -1 when the slot has no file handle (an entry inflated into memory).
    int InitBink(int slot);
    // Makes this a video image showing the whole slot as a video (a movie).
    int OpenVideo(int slot, bool readWhole);
    // Decodes the video's current frame into the texture and advances.
    void DecodeVideoFrame();
    // One frame on: the next video frame, or the next still frame.
    void NextFrame();

    int SetRect(float x, float y, float width, float height);
    void CenterInRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    int SetDepth(float depth);
    int SetDepthRamp(float depth, float ramp1, float ramp2, const cTarvelCamera* camera);
    int SetAlpha(int32_t alpha);
    int SetTextureRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    int SetTextureRect2(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    int SetTexCoords2(float left, float top, float right, float bottom);
    // Stores the colour-map value; no drawing path reads it yet.
    void SetColormap(float value);
    int Draw(bool advance, bool setUp);
    IDirect3DTexture9* GetCurrentFrame();
    int SetFrame(int32_t frame);
    int Play(int32_t mode, int32_t start);
    int Update();

    uint32_t VertexStride() const { return mTwoSets ? 36u : 28u; }
    DWORD VertexFormat() const;

    float mShiftX;
    float mShift2;
    tArray<IDirect3DTexture9*> mFrames;
    sImageHeader mHeader;
    IDirect3DVertexBuffer9* mVertexBuffer;
    uint32_t mTextureHeight;
    uint32_t mTextureWidth;
    int32_t mCurrentFrame;
    int32_t mLastDecodedFrame;
    uint8_t mFinished;
    int32_t mDirection;
    uint32_t mStepTime;
    cTarvelString mCallbackName;
    cTarvelScript* mCallbackScript;
    uint64_t mCallbackSerial = 0;   // another machine may take a gone one's address
    cTarvelString mName2;
    int32_t mWaitSwitch;
    int32_t mWaitFrame;
    HBINK mVideo;
    int32_t mSlot;
    cTarvelString mName3;
    int32_t mPlayMode;
    uint8_t mBlended;
    uint8_t mFlag1;
    uint8_t mDepthOff;
    // Interface drawing takes the effect's second technique.
    uint8_t mAlternateTechnique;
    // Loaded as an inventory item's picture; a view that takes the image as
    // a layer clears it.
    uint8_t mInventoryImage;
    uint8_t mTwoSets;
    uint8_t mFiltered;
    uint32_t mWord;
    float mColormap;
    // Set and saved by the views: the name the view finds the image by, the
    // viewport of the stage it is drawn on, the on-top flag, the frame drawn
    // last and the frame callback.
    cTarvelString mName;
    D3DVIEWPORT9 mViewport{0, 0, 0, 0, 0.0f, 1.0f};
    uint8_t mOnTop = 0;
    int32_t mFrameDrawn = 0;
    uint8_t mFrameCallback = 0;
    cTarvelString mFrameCallbackLabel;
    cTarvelString mFrameCallbackScript;
    // The machine that gets the frame callback's event (mFrameCallbackLabel)
    // once the playing image reaches mFrameCallbackFrame; a machine destroyed
    // in between gets no call.
    cTarvelScript* mFrameCallbackMachine = nullptr;
    uint64_t mFrameCallbackSerial = 0;
    int32_t mFrameCallbackFrame = -1;

private:
    void RunEndCallback();
    void CheckFrameCallback();
    // Decodes the current video frame into the texture; false when nothing
    // was copied.
    bool ShowVideoFrame();
    bool WriteVertices(const float* xy, int count);
    std::array<std::array<float, 2>, 4> PixelCorners(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const;
    int WriteCorners(uint32_t offset, const std::array<std::array<float, 2>, 4>& corners);
    [[noreturn]] void BufferFailure(int line, const char* function);
};
