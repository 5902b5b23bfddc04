#include "engine/render/video.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cancel_request.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/script/script_api.h"
#include "engine/world/view.h"

namespace {

constexpr uint32_t kSubtitleColor = 0xFFFFFF40u;
constexpr uint32_t kSubtitleFlags = cTarvelFont::kCentre | cTarvelFont::kWrap;
// Lines as the runtime's line reader returns them: at most this many bytes.
constexpr size_t kSubtitleLine = 1023;

bool IsBar(const cTarvelScreenControl* control)
{
    return control->mTypeId == cTarvelScreenControl::kVerbBar ||
           control->mTypeId == cTarvelScreenControl::kDialogueBar;
}

void FreeRecord(sSoundRecord* record)
{
    if (!record)
        return;
    gTarvel.mSound.ReleaseSamples(record);
    std::free(record->block);
    delete record;
}

} // namespace

void ParseSubtitles(const uint8_t* data, size_t size, tArray<sSubtitleCue>& cues)
{
    if (!data || size == 0)
        return;
    // Text mode: a Ctrl-Z ends the file, CR LF reads as LF.
    const uint8_t* stop = static_cast<const uint8_t*>(std::memchr(data, 0x1A, size));
    const size_t length = stop ? size_t(stop - data) : size;
    std::string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i)
        if (!(data[i] == '\r' && i + 1 < length && data[i + 1] == '\n'))
            text.push_back(char(data[i]));

    size_t at = 0;
    while (at < text.size()) {
        // One read of the line reader: through the line end, or 1,023 bytes.
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (end - at > kSubtitleLine)
            end = at + kSubtitleLine;
        std::string line = text.substr(at, end - at);
        at = end;

        size_t first = 0;
        while (first < line.size() && uint8_t(line[first]) >= 0x80)
            ++first;
        line.erase(0, first);
        if (!line.empty() && line[0] == '0')
            break;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        const size_t dash = line.find('-');
        const size_t comma = dash == std::string::npos ? dash : line.find(',', dash + 1);
        if (comma == std::string::npos)
            continue;
        sSubtitleCue cue;
        cue.start = std::atoi(line.c_str());
        cue.end = std::atoi(line.c_str() + dash + 1);
        cue.text = line.c_str() + comma + 1;
        cues.Add(cue);
    }
}

cTarvelVideo::cTarvelVideo()
    : mView(nullptr), mImage(nullptr), mSound(nullptr), mChannel(nullptr), mCutScene(0), mImageKind(0),
      mLastFrame(-1), mCameraData(nullptr), mCameraDataSize(0), mPlayerData(nullptr), mPlayerDataCount(0),
      mPlayerTarget(nullptr), mSubtitle(nullptr), mScript(nullptr)
{
}

cTarvelVideo::~cTarvelVideo()
{
    Release();
}

void cTarvelVideo::Release()
{
    if (mSubtitle) {
        gTarvel.mFonts.DeleteText(mSubtitle);
        mSubtitle = nullptr;
    }
    delete mImage;
    mImage = nullptr;
    std::free(mCameraData);
    mCameraData = nullptr;
    mCameraDataSize = 0;
    std::free(mPlayerData);
    mPlayerData = nullptr;
    mPlayerDataCount = 0;
    if (mSound) {
        if (mChannel)
            mChannel->stop();
        FreeRecord(mSound);
        mSound = nullptr;
    }
    mChannel = nullptr;
    mCues.Clear();
    mLabel = "";
}

int cTarvelVideo::Play(const char* name, bool cutScene)
{
    cTarvelResource& resources = gTarvel.mResources;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    delete mImage;
    mImage = nullptr;
    mCutScene = cutScene ? 1 : 0;

    if (!cutScene && resources.Exists(name, kResourceBik)) {
        const int slot = resources.OpenResource(name, kResourceBik);
        if (slot != -1) {
            mImage = new cTarvelImage(false);
            if (mImage->OpenVideo(slot, false) != 0) {
                resources.CloseResource(slot);
                delete mImage;
                mImage = nullptr;
                return -1;
            }
            if (mImage->mSlot == -1)
                resources.CloseResource(slot);
        }
    }
    if (!mImage) {
        if (!resources.Exists(name, kResourceImage))
            return -1;
        const int slot = resources.OpenResource(name, kResourceImage);
        if (slot == -1)
            return -1;
        mImage = new cTarvelImage(false);
        if (mImage->ReadImageFile(slot) != 0) {
            resources.CloseResource(slot);
            delete mImage;
            mImage = nullptr;
            return -1;
        }
        if (mImage->mSlot == -1)
            resources.CloseResource(slot);
        mImageKind = mImage->mWord == 1 ? 1 : 0;
    }

    if (resources.Exists(name, kResourceOgg)) {
        mSound = new sSoundRecord;
        std::snprintf(mSound->name, sizeof mSound->name, "%s", name);
        mSound->files = name;
        mSound->flags = kSoundOgg;
        gTarvel.mSound.CreateSound(mSound);
        mChannel = gTarvel.mSound.PlayOnChannel(mSound, 1.0f);
    }

    mImage->SetColormap(2.0f);
    mImage->SetRect(0.0f, float(graphics.mSceneTop), 1024.0f, 512.0f);
    mImage->Play(kImageOnce, 0);
    if (mImage->mVideo && mImage->mVideo->Width == 800 && mImage->mVideo->Height == 400) {
        mImage->mAlternateTechnique = 1;
        const tTarvelConfig& config = gTarvel.mConfig;
        BinkSetVolume(mImage->mVideo, 0,
                      int32_t((config.MusicVolume + 2 * config.DialogueVolume + config.SFXVolume) * 32));
    }

    // A pending movie that this one replaces would never play: it is
    // released, and a script waiting for it goes on.
    cTarvelVideo* displaced = gTarvel.mCutSceneMovie;
    gTarvel.mCutSceneMovie = this;
    if (displaced && displaced != this && displaced != gTarvel.mMovie) {
        ScriptResumeDisplaced(displaced->mScript, displaced->mScriptSerial, displaced->mLabel);
        delete displaced;
    }

    if (gTarvel.mConfig.Subtitle && resources.Exists(name, kResourceSubtitle))
        ReadSubtitles(name);

    if (cutScene && resources.Exists(name, kResourceCMotion)) {
        const int slot = resources.OpenResource(name, kResourceCMotion);
        if (slot != -1) {
            mCameraDataSize = resources.GetSize(slot);
            mCameraData = resources.ReadBlock(slot, mCameraDataSize);
            resources.CloseResource(slot);
        }
    }
    return 0;
}

void cTarvelVideo::ReadSubtitles(const char* name)
{
    // Read as a block: the slot's descriptor may be the volume's shared one,
    // which must stay open.
    cTarvelResource& resources = gTarvel.mResources;
    const int slot = resources.OpenResource(name, kResourceSubtitle);
    if (slot == -1)
        return;
    const uint32_t size = resources.GetSize(slot);
    uint8_t* block = resources.ReadBlock(slot, size);
    resources.CloseResource(slot);
    if (!block)
        return;
    ParseSubtitles(block, size, mCues);
    std::free(block);
}

bool cTarvelVideo::SoundPlaying() const
{
    bool playing = false;
    return mChannel && mChannel->isPlaying(&playing) == FMOD_OK && playing;
}

void cTarvelVideo::Finish()
{
    cTarvelSound& sound = gTarvel.mSound;
    if (mSound && SoundPlaying()) {
        // The sound plays out; the sound system frees it when it stops.
        FreeRecord(sound.mOneShotRecord);
        sound.mOneShotRecord = mSound;
        sound.mOneShotChannel = mChannel;
        mSound = nullptr;
        mChannel = nullptr;
    }
    if (mView)
        mView->Select(0);
    if (mScript) {
        cTarvelScript* script = mScript;
        mScript = nullptr;
        // A machine destroyed since the movie started gets no call.
        if (gTarvel.IsScriptLive(script, mScriptSerial))
            script->CallFunction(mLabel.c_str(), nullptr);
    }
}

void cTarvelVideo::Update()
{
    cTarvelVideo* movie = this;
    while (!movie->mImage || movie->mImage->mFinished) {
        movie->Finish();
        if (gTarvel.mMovie == movie)
            gTarvel.mMovie = nullptr;
        if (gTarvel.mCutSceneMovie == movie)
            gTarvel.mCutSceneMovie = nullptr;
        delete movie;
        movie = gTarvel.mCutSceneMovie;
        gTarvel.mCutSceneMovie = nullptr;
        gTarvel.mMovie = movie;
        if (!movie)
            return;
    }

    cTarvelImage* image = movie->mImage;
    uint32_t position = 0;
    movie->mFollowsSound = movie->SoundPlaying() &&
                           movie->mChannel->getPosition(&position, FMOD_TIMEUNIT_MS) == FMOD_OK;
    if (movie->mFollowsSound) {
        double rate = double(image->mHeader.frameRate & 0xFF);
        if (image->mVideo && image->mVideo->FrameRateDiv != 0)
            rate = double(image->mVideo->FrameRate) / double(image->mVideo->FrameRateDiv);
        if (rate > 0.0) {
            const int32_t frame = int32_t(std::floor(double(position) / (1000.0 / rate))) + 1;
            // Bounded by the clip's length, so a looping picture cannot hold
            // the frame here.
            for (uint32_t steps = 0; image->mCurrentFrame <= frame && !image->mFinished &&
                                     steps <= image->mHeader.frameCount + 1;
                 ++steps)
                image->NextFrame();
        }
    }

    if (movie->mCutScene && image->mCurrentFrame != movie->mLastFrame) {
        const int32_t frame = image->mCurrentFrame;
        movie->mLastFrame = frame;
        if (const uint8_t* record = movie->CameraRecord(frame)) {
            float pose[8];
            std::memcpy(pose, record, sizeof pose);
            gTarvel.mCamera.SetPose(pose);
        }
        if (movie->mPlayerData && movie->mPlayerTarget && frame >= 0 && frame < movie->mPlayerDataCount - 1)
            *movie->mPlayerTarget = movie->mPlayerData[frame];
    }
}

const uint8_t* cTarvelVideo::CameraRecord(int32_t frame) const
{
    const int64_t records = mCameraData ? int64_t(mCameraDataSize / kCameraRecordSize) : 0;
    if (frame < 0 || frame >= records - 1)
        return nullptr;
    return mCameraData + size_t(frame + 1) * kCameraRecordSize;
}

void cTarvelVideo::UpdateSubtitles()
{
    if (!mImage)
        return;
    const int32_t frame = mImage->mCurrentFrame;
    cTarvelFont& fonts = gTarvel.mFonts;
    if (mSubtitle && mCues.Count() > 0 && frame > mCues[0].end) {
        fonts.DeleteText(mSubtitle);
        mSubtitle = nullptr;
        mCues.RemoveAt(0);
    }
    if (!mSubtitle && mCues.Count() > 0 && frame > mCues[0].start)
        mSubtitle = fonts.CreateText(0, mCues[0].text, 1024 / 2, fonts.mFonts[0].lineHeight, kSubtitleColor,
                                     kSubtitleFlags, 0);
}

void cTarvelVideo::Skip()
{
    if (mCutScene)
        return;
    tArray<cTarvelScreenControl*>& stack = gScreenControls;
    cTarvelScreenControl* top = stack.Count() > 0 ? stack.data[stack.Count() - 1] : nullptr;
    if (RemoveSkipPrompt()) {
        if (mImage)
            mImage->mFinished = 1;
        if (mChannel)
            mChannel->stop();
        return;
    }
    if (!top || IsBar(top))
        stack.Add(new cTarvelCancelRequest());
}

void cTarvelVideo::Draw()
{
    if (!mImage)
        return;
    // While the picture follows the sound, Update has stepped it already.
    mImage->Draw(!mFollowsSound, true);
}
