// The video library as the engine and the launcher call it: videos opened
// on a file handle from its current position, decoded frame by frame into a
// caller's 32-bit buffer, paced by the platform clock, with the choice of
// the sound output that their sound tracks play through.
//
// Decoding goes through FFmpeg's libraries, so anything they open plays:
// the game's own video files as well as the Matroska files that tests make.
// All calls belong to the thread that opened the video.
#pragma once

#include "platform/win32/windows_types.h"

struct BINKSND;
struct BinkState;

// A video. The fields are read by callers; only the calls change them.
struct BINK {
  uint32_t Width;
  uint32_t Height;
  uint32_t Frames;        // frame count
  uint32_t FrameNum;      // the frame the next BinkDoFrame decodes, from 1
  uint32_t LastFrameNum;  // the frame decoded last, 0 before the first
  uint32_t FrameRate;     // frames per second is FrameRate / FrameRateDiv
  uint32_t FrameRateDiv;
  uint32_t Paused;
  uint32_t NumTracks;     // sound tracks
  uint32_t SoundOn;       // the tracks play (opened on an output and switched on)
  BinkState* state;       // the layer's own
};
using HBINK = BINK*;

// Open flags.
constexpr uint32_t BINKFRAMERATE = 0x1000;     // play at the rate of BinkSetFrameRate
constexpr uint32_t BINKPRELOADALL = 0x2000;    // read the whole video during the open
constexpr uint32_t BINKALPHA = 0x100000;       // decode the alpha plane
constexpr uint32_t BINKFILEHANDLE = 0x800000;  // `name` is a file handle
constexpr uint32_t BINKFROMMEMORY = 0x04000000;  // `name` points at the video in memory

// Surface types of BinkCopyToBuffer.
constexpr uint32_t BINKSURFACE24 = 1;   // B, G, R
constexpr uint32_t BINKSURFACE32 = 3;   // B, G, R, unused
constexpr uint32_t BINKSURFACE32A = 5;  // B, G, R, A

// BinkGoto flags.
constexpr uint32_t BINKGOTOQUICK = 1;

struct BINKPLANE {
  int32_t Allocate;  // non-zero when the video has this plane
  void* Buffer;
  uint32_t BufferPitch;
};

struct BINKFRAMEPLANESET {
  BINKPLANE YPlane;
  BINKPLANE cRPlane;
  BINKPLANE cBPlane;
  BINKPLANE APlane;
};

struct BINKFRAMEBUFFERS {
  int32_t TotalFrames;
  uint32_t YABufferWidth;
  uint32_t YABufferHeight;
  uint32_t cRcBBufferWidth;
  uint32_t cRcBBufferHeight;
  uint32_t FrameNum;
  BINKFRAMEPLANESET Frames[2];
};

// The rate that the next BinkOpen with BINKFRAMERATE plays at.
void BinkSetFrameRate(uint32_t frameRate, uint32_t frameRateDiv);
// The size of the block that the next BinkOpen with BINKFROMMEMORY reads:
// nothing past it is read, whatever the video's header says. Used by that
// open only; without it the open fails.
void BinkSetMemorySize(uint64_t size);
// Opens a video: by its path, with BINKFILEHANDLE on a file handle (cast
// to `name`) from that handle's current position, or with BINKFROMMEMORY
// from the block `name` points at, which must outlive the video. Null on
// failure, with the reason in BinkGetError.
HBINK BinkOpen(const char* name, uint32_t flags);
void BinkClose(HBINK bink);
// The text of the last failure.
const char* BinkGetError();

// Decodes frame FrameNum; 0 on success.
int32_t BinkDoFrame(HBINK bink);
// Copies the decoded frame into a 24-bit (BINKSURFACE24) or 32-bit buffer of `destHeight` rows of
// `destPitch` bytes, at (destX, destY); rows and columns that do not fit
// are left out. 0 when it copied, 1 when there was nothing to copy or the
// buffer cannot take it.
int32_t BinkCopyToBuffer(HBINK bink, void* dest, int32_t destPitch, uint32_t destHeight,
                         uint32_t destX, uint32_t destY, uint32_t flags);
// Moves on to the next frame; after the last comes the first.
void BinkNextFrame(HBINK bink);
// True while it is not yet time for frame FrameNum (and while paused).
int32_t BinkWait(HBINK bink);
// Keeps the sound and the reading going between frames.
void BinkService(HBINK bink);
// Jumps to a frame (from 1; 0 is the first); the next BinkDoFrame decodes it.
void BinkGoto(HBINK bink, uint32_t frame, int32_t flags);
// Pauses (non-zero) or resumes; returns the new state.
int32_t BinkPause(HBINK bink, int32_t pause);
// Switches the sound off and on; on again restarts it in step with the
// picture.
int32_t BinkSetSoundOnOff(HBINK bink, int32_t onOff);
// 0 silent, 32768 the track's own level, up to 65536.
void BinkSetVolume(HBINK bink, uint32_t trackId, int32_t volume);
// Whether the video has an alpha plane (Frames[0].APlane.Allocate).
void BinkGetFrameBuffersInfo(HBINK bink, BINKFRAMEBUFFERS* info);

// Opens one video's sound track on the chosen output; 1 on success.
using BINKSNDOPEN = int32_t (*)(BINKSND* snd, uint32_t freq, int32_t bits, int32_t chans,
                                uint32_t flags, HBINK bink);
// Chooses a sound output from its native handle and gives its track opener.
using BINKSNDSYSOPEN = BINKSNDOPEN (*)(UINT_PTR param);

// Makes `open`'s output the one every later video plays its sound through;
// 1 on success, 0 when `open` refuses or is missing.
int32_t BinkSetSoundSystem(BINKSNDSYSOPEN open, UINT_PTR param);
// The output of a sound library's device, given by its native handle.
BINKSNDOPEN BinkOpenDirectSound(UINT_PTR param);
