#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"

class cTarvelImage;
class cTarvelScript;
class cTarvelText;
class cTarvelView;
struct sSoundRecord;
namespace FMOD {
class Channel;
}

// One subtitle of a movie: shown after frame start, up to frame end.
struct sSubtitleCue {
    int32_t start = 0;
    int32_t end = 0;
    cTarvelString text;   // UTF-8
};

// Reads a subtitle file from memory into cues, as the engine has always
// read them in text mode: lines of at most 1,023 bytes, "start-end,text";
// leading bytes of 0x80 and above (a byte-order mark) are skipped, and a
// line that begins with "0" ends the list. Lines without both separators
// are left out.
void ParseSubtitles(const uint8_t* data, size_t size, tArray<sSubtitleCue>& cues);

// Bytes of one camera record of a movie's "cmotion" data: position,
// rotation quaternion and field of view, eight floats.
constexpr uint32_t kCameraRecordSize = 32;

// A movie over the whole screen (or, for a cut-scene, inside a view): a
// video or an image sequence shown through one image, with its own sound
// track, subtitles and, for cut-scenes, per-frame camera and player data.
class cTarvelVideo {
public:
    cTarvelVideo();
    ~cTarvelVideo();
    cTarvelVideo(const cTarvelVideo&) = delete;
    cTarvelVideo& operator=(const cTarvelVideo&) = delete;

    // Starts the movie of that name and makes it the main object's cut-scene
    // movie; with the cut-scene flag the name is an image sequence with its
    // camera data. 0, or -1 when neither a video nor an image of the name
    // exists.
    int Play(const char* name, bool cutScene);
    // Per frame on the current movie: ends finished movies (the cut-scene
    // movie takes over; this object may be deleted), keeps the picture with
    // the sound and applies the per-frame data.
    void Update();
    void UpdateSubtitles();
    // Escape: the first shows the skip prompt, the second ends the movie.
    void Skip();
    // Draws the current picture: over the whole screen, or into the scene
    // band when the movie plays inside a view.
    void Draw();
    void Release();

    // The camera record applied at `frame`, or null.
    const uint8_t* CameraRecord(int32_t frame) const;

    cTarvelView* mView;
    cTarvelImage* mImage;
    sSoundRecord* mSound;
    FMOD::Channel* mChannel;
    uint8_t mCutScene;
    uint8_t mImageKind;
    int32_t mLastFrame;
    uint8_t* mCameraData;     // malloc'd
    uint32_t mCameraDataSize;
    // Per-frame values for the player, set by whoever starts a cut-scene,
    // and where they go.
    int32_t* mPlayerData;     // malloc'd
    int32_t mPlayerDataCount;
    int32_t* mPlayerTarget;
    cTarvelText* mSubtitle;
    cTarvelString mLabel;
    cTarvelScript* mScript;
    uint64_t mScriptSerial = 0;   // another machine may take a gone one's address
    tArray<sSubtitleCue> mCues;
    // Set when the movie plays inside a view rather than over the screen.
    bool mInScene = false;

private:
    // Ends this finished movie: its sound plays out, its view is selected
    // and its script called back.
    void Finish();
    void ReadSubtitles(const char* name);
    bool SoundPlaying() const;
    // Set while the picture follows the sound rather than its own clock.
    bool mFollowsSound = false;
};
