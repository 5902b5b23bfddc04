#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/gameplay/screen_control.h"
#include "platform/win32/windows_types.h"

class cTarvelCinematic;
class cTarvelImage;
class cTarvelScript;
class cTarvelSavegame;
class cTarvelText;
struct sSoundRecord;

// A node of the dictaphone tree: a folder (no function) or a clip.
struct sPDAAudioNode {
    sPDAAudioNode() = default;
    // A clip known by the event its end sends.
    sPDAAudioNode(const char* function) : function(function) {}
    sPDAAudioNode(const sPDAAudioNode&) = delete;
    sPDAAudioNode& operator=(const sPDAAudioNode&) = delete;

    // The event sent when the clip's cinematic ends; empty for a folder.
    cTarvelString function;
    cTarvelString description;
    // The scene file whose script holds the clip, and its cinematic object.
    cTarvelString scene;
    cTarvelString symbol;
    sPDAAudioNode* parent = nullptr;
    cTarvelText* display = nullptr;
    std::vector<std::unique_ptr<sPDAAudioNode>> children;

    bool IsFolder() const { return function.Length() == 0; }
    sPDAAudioNode* FindChild(const cTarvelString& description) const;
};

struct sPDAPhoneEntry {
    cTarvelString name;
    cTarvelString detail;
    cTarvelString number;
    // The event the call button sends to the player's script.
    cTarvelString function;
    cTarvelText* texts[3] = {};
};

struct sPDAMailLine {
    cTarvelString text;
    cTarvelText* display = nullptr;
};

struct sPDAMail {
    ~sPDAMail();
    cTarvelString sender;
    cTarvelString recipient;
    cTarvelString topic;
    cTarvelString date;
    bool hasAttachments = false;
    bool read = false;
    int32_t attachment = 0;
    std::vector<sPDAMailLine> lines;
    // Owned; each keeps the name it was loaded by in mName.
    std::vector<cTarvelImage*> attachments;
    cTarvelText* texts[4] = {};
};

// The hand-held device: phone book, dictaphone and mailbox. A member of the
// engine main object; while open it is a screen control that takes all input.
class cTarvelPDA : public cTarvelScreenControl {
public:
    // Pages and mail views.
    static constexpr int32_t kPhonePage = 0;
    static constexpr int32_t kAudioPage = 1;
    static constexpr int32_t kMailPage = 2;
    static constexpr int32_t kMailList = 0;
    static constexpr int32_t kMailReading = 1;
    static constexpr int32_t kMailAttachments = 2;
    // Sound list entries.
    static constexpr int32_t kSoundClick = 0;
    static constexpr int32_t kSoundLaunch = 1;
    static constexpr int32_t kSoundExit = 2;
    static constexpr int32_t kSoundIncoming = 3;
    // Notice codes.
    static constexpr int32_t kNoticeAudio = -1;
    static constexpr int32_t kNoticeMail = -2;
    static constexpr int32_t kNoticePhone = -3;
    // Nesting of saved "Audio" elements read back at most.
    static constexpr int32_t kMaxAudioDepth = 32;

    cTarvelPDA();
    ~cTarvelPDA() override;
    cTarvelPDA(const cTarvelPDA&) = delete;
    cTarvelPDA& operator=(const cTarvelPDA&) = delete;

    // The interface images and the sound list, at gameplay start-up.
    void LoadResources();
    // At shutdown: page resources, images and sounds.
    void Release();

    void Open();
    void Close();
    void AddPhonebookEntry(const cTarvelString& name, const cTarvelString& detail, const cTarvelString& number,
                           const cTarvelString& function);
    void AddMail(const cTarvelString& sender, const cTarvelString& recipient, const cTarvelString& topic,
                 const cTarvelString& date);
    void AddMailTextline(const cTarvelString& text);
    void AddAttachment(const cTarvelString& name);
    void AddAudioEntry(const cTarvelString& path, const cTarvelString& scene, const cTarvelString& symbol,
                       const cTarvelString& function);
    void PlayAudioClip(sPDAAudioNode* node);
    // Empties the PDA (new game, before a load).
    void Reset();
    void Save(cTarvelSavegame& savegame);
    void Load(cTarvelSavegame& savegame);

    // Plays an entry of the sound list at volume 1.0; nothing when there is
    // no such entry.
    void PlaySound(int32_t index);
    // A notice of code (-1 audio, -2 mail, -3 phone book) unless one of that
    // code waits in the inventory's new-item queue: its image starts once
    // from frame 0 and the code joins the queue. False when it was queued.
    bool RaiseNotice(int32_t code);
    // The image shown for a notice code; null for other codes.
    cTarvelImage* NoticeImage(int32_t code) const;

    bool Update() override;
    void Render() override;
    void ReleaseResources() override;

    // The hover code of the mouse position (close 1, tabs 2 to 4, scroll 5
    // and 6, buttons 20 to 23, list items 100 + n); 0 for nothing.
    int32_t HoverCode(int32_t x, int32_t y) const;
    // Whether the bottom-row button exists on the current page.
    bool ButtonExists(int32_t code) const;

    bool mOpen = false;
    int32_t mHover = 0;
    int32_t mPhoneScroll = 0;
    int32_t mSelectedPhone = -1;
    int32_t mAudioScroll = 0;
    int32_t mSelectedClip = -1;
    int32_t mMailScroll = 0;
    int32_t mMailTextScroll = 0;
    int32_t mSelectedMail = -1;
    int32_t mPage = kPhonePage;
    int32_t mMailView = kMailList;
    std::vector<std::unique_ptr<sPDAPhoneEntry>> mPhoneEntries;
    std::vector<std::unique_ptr<sPDAMail>> mMails;
    sPDAMail* mLastMail = nullptr;
    sPDAAudioNode mAudioRoot;
    sPDAAudioNode* mFolder = &mAudioRoot;
    tStringArray mPageLabels;
    // Owned records.
    tArray<sSoundRecord*> mSounds;
    // The clip being played and the cinematic that plays it (owned; it
    // sits on the cinematic stack, whose walks finish and delete it).
    sPDAAudioNode* mPlayingClip = nullptr;
    cTarvelCinematic* mClipCinematic = nullptr;
    // The machine of the clip's cinematic: the speaker rule of its speech.
    cTarvelScript* ClipScript() const;
    // The interface images, in their load order (owned).
    std::vector<cTarvelImage*> mImages;

private:
    // A playing clip kept for its end after a reset emptied the tree.
    std::unique_ptr<sPDAAudioNode> mDetachedClip;

    cTarvelImage* Image(int32_t index) const;
    // The virtual entry count of the current folder's cells.
    int32_t AudioEntryCount() const;
    void Click(int32_t code);
    void SendToPlayer(const cTarvelString& event);
    void ScrollUp();
    void ScrollDown();
    void SetCursor();
    // The scroll thumb of that height at the scroll step.
    void DrawThumb(int32_t height, int32_t step);
    void DrawAt(cTarvelImage* image, float x, float y);
    void DrawHighlight(float x, float y, float width, float height);
    void RenderPhone();
    void RenderMailList();
    void RenderMail();
    void RenderAudio();
    void SaveAudio(cTarvelSavegame& savegame, const sPDAAudioNode& node);
    void LoadAudio(cTarvelSavegame& savegame, sPDAAudioNode& parent, int32_t depth);
};
