#include "engine/gameplay/pda.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <tinyxml.h>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/font.h"
#include "engine/render/image.h"
#include "engine/resource/resource.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/sound/sound.h"
#include "engine/world/actor.h"
#include "engine/world/scene.h"

namespace {

#define TARVEL_SOURCE_PDA ".\\source\\class_pda"

// The stage top: the layout is relative to it.
constexpr int32_t kTop = 128;
constexpr uint32_t kInk = 0xFF000000u;
constexpr int32_t kFontTitle = 2;
constexpr int32_t kFontBody = 3;
constexpr int32_t kRows = 5;
constexpr int32_t kMailLines = 10;
constexpr int32_t kCells = 6;

constexpr int32_t kCursorNone = 0;
constexpr int32_t kCursorPointer = 4;
constexpr int32_t kCursorPDA = 10;

// The interface images, in load order; the indices below follow it.
const char* const kImageNames[] = {
    "PDA_background",       "whitescreen",           "pda-dictaphon",          "pda-newmail",
    "pda-newaddress",       "PDA_phone_highlight",   "PDA_dikta_highlight",    "PDA_mail_highlight",
    "PDA_adressbook",       "PDA_phone_icons_full",  "PDA_phone_icons_gray",   "PDA_folder",
    "PDA_folder_up",        "PDA_soundfile",         "PDA_audio_highlight",    "PDA_audio_icons_full1",
    "PDA_audio_icons_full2", "PDA_audio_icons_gray", "PDA_mail_icon",          "PDA_mail_icon-read",
    "PDA_mail_attachment",  "PDA_mailbox_icons_full", "PDA_mailbox_icons_gray", "PDA_mail_icons_full2",
    "PDA_mail_icons_full1", "PDA_pic_icons_full4",   "PDA_pic_icons_full1",
};
enum : int32_t {
    kBackground, kWhite, kNoticeDictaphone, kNoticeMailImage, kNoticeAddress, kPhoneTab, kAudioTab, kMailTab,
    kAddressIcon, kPhoneButtonsFull, kPhoneButtonsGray, kFolder, kFolderUp, kSoundFile, kAudioHighlight,
    kAudioButtonsFull1, kAudioButtonsFull2, kAudioButtonsGray, kMailIcon, kMailIconRead, kMailAttachmentIcon,
    kMailboxButtonsFull, kMailboxButtonsGray, kMailButtonsFull2, kMailButtonsFull1, kPicButtonsFull4,
    kPicButtonsFull1, kImageCount
};
static_assert(sizeof kImageNames / sizeof kImageNames[0] == kImageCount);

const char* const kSoundNames[] = {"PDA_keystroke", "PDA_launch_app", "PDA_exit_app", "PDA_incoming"};
const char* const kLabelKeys[] = {"pda_page_phone", "pda_page_audio", "pda_page_news", "pda_phone_call",
                                  "pda_audio_play", "pda_news_read",  "pda_news_income"};

bool In(int32_t value, int32_t low, int32_t high)
{
    return value >= low && value <= high;
}

bool TextIsLive(const cTarvelText* text)
{
    for (cTarvelText* live : gTarvel.mFonts.mTexts)
        if (live == text)
            return true;
    return false;
}

// Deletes a display text unless something else already took it off the live
// list (a scene change clears every text).
void DropText(cTarvelText*& text)
{
    if (text && TextIsLive(text))
        gTarvel.mFonts.DeleteText(text);
    text = nullptr;
}

cTarvelText* MakeText(int32_t font, const cTarvelString& text, int32_t x, int32_t y, uint32_t flags = 0,
                      int32_t width = 0)
{
    return gTarvel.mFonts.CreateText(font, text, x, y, kInk, flags, width);
}

void DropNodeTexts(sPDAAudioNode& node)
{
    DropText(node.display);
    for (auto& child : node.children)
        DropNodeTexts(*child);
}

// Passes over what precedes the script in a scene file: the header, meshes,
// views, walk areas, the occlusion block and the hotspots. Every size is
// checked against what is left of the file.
void SkipToSceneScript(int slot, char (&name)[64])
{
    cTarvelResource& archive = gTarvel.mResources;
    auto forward = [&](uint64_t count, const char* what) {
        if (count > SceneBytesLeft(slot) || count > uint64_t(INT32_MAX))
            SceneFileDamaged(nullptr, what);
        if (count > 0)
            archive.Forward(slot, int32_t(count));
    };
    auto read = [&](uint8_t* out, uint32_t count, const char* what) {
        if (count > SceneBytesLeft(slot))
            SceneFileDamaged(nullptr, what);
        archive.Read(slot, out, count);
    };
    uint8_t header[84];
    read(header, sizeof header, "the header is cut short");
    std::memcpy(name, header, 64);
    name[63] = 0;
    const uint32_t meshes = SceneU32(header + 64);
    const uint32_t views = SceneU32(header + 68);
    const uint32_t walkAreas = SceneU32(header + 72);
    const uint32_t hotspots = SceneU32(header + 76);
    const uint32_t occlusion = SceneU32(header + 80);
    for (uint32_t i = 0; i < meshes; ++i) {
        uint8_t mesh[72];
        read(mesh, sizeof mesh, "a mesh runs past the end of the file");
        const uint64_t vertices = SceneU32(mesh + 64);
        const uint64_t indices = SceneU32(mesh + 68);
        if (vertices != 0 && indices != 0)
            forward(vertices * 24 + indices * 2, "a mesh runs past the end of the file");
    }
    forward(uint64_t(views) * 96, "more views than the file holds");
    for (uint32_t i = 0; i < walkAreas; ++i) {
        uint8_t area[112];
        read(area, sizeof area, "more walk areas than the file holds");
        forward(SceneU32(area + 64), "a walk area's data block runs past the end of the file");
    }
    forward(occlusion, "the occlusion geometry runs past the end of the file");
    for (uint32_t i = 0; i < hotspots; ++i) {
        uint8_t hotspot[12];
        read(hotspot, sizeof hotspot, "more hotspots than the file holds");
        forward(SceneU32(hotspot + 8), "a hotspot's data block runs past the end of the file");
    }
}

// Child elements of the cursor's element.
int32_t ChildElementCount(const cTarvelSavegame& savegame)
{
    int32_t count = 0;
    for (const TiXmlElement* e = savegame.mCurrent->FirstChildElement(); e; e = e->NextSiblingElement())
        ++count;
    return count;
}

cTarvelString Numbered(const char* name, int32_t index)
{
    return cTarvelString(name) + cTarvelString(index);
}

bool ImageExists(const cTarvelString& name)
{
    cTarvelResource& archive = gTarvel.mResources;
    return archive.Exists(name.c_str(), kResourceTga) || archive.Exists(name.c_str(), kResourceDds) ||
           archive.Exists(name.c_str(), kResourceImage);
}

} // namespace

sPDAAudioNode* sPDAAudioNode::FindChild(const cTarvelString& name) const
{
    for (const auto& child : children)
        if (child->description == name)
            return child.get();
    return nullptr;
}

sPDAMail::~sPDAMail()
{
    for (cTarvelImage* image : attachments)
        delete image;
}

cTarvelPDA::cTarvelPDA()
{
    mTypeId = kPDA;
    mMember = true;
    // Closed: a Close before the first Open plays no sound.
    mDone = true;
}

cTarvelPDA::~cTarvelPDA()
{
    for (cTarvelImage* image : mImages)
        delete image;
    // Without a Release the sound system frees the samples; the record's
    // own block is ours.
    for (sSoundRecord* record : mSounds) {
        std::free(record->block);
        delete record;
    }
}

cTarvelImage* cTarvelPDA::Image(int32_t index) const
{
    return index >= 0 && size_t(index) < mImages.size() ? mImages[size_t(index)] : nullptr;
}

void cTarvelPDA::LoadResources()
{
    for (cTarvelImage* image : mImages)
        delete image;
    mImages.clear();
    for (const char* name : kImageNames) {
        auto* image = new cTarvelImage(false);
        mImages.push_back(image);
        image->ReadFile(name);
        image->mDepthOff = 1;
        image->mName = name;
        image->SetRect(64.0f, float(kTop), -1.0f, -1.0f);
    }
    if (mSounds.Count() == 0) {
        for (const char* name : kSoundNames) {
            auto* record = new sSoundRecord;
            std::snprintf(record->name, sizeof record->name, "%s", name);
            record->files = name;
            gTarvel.mSound.CreateSound(record);
            mSounds.Add(record);
        }
    }
}

void cTarvelPDA::Release()
{
    Reset();
    for (cTarvelImage* image : mImages)
        delete image;
    mImages.clear();
    for (sSoundRecord* record : mSounds) {
        gTarvel.mSound.ReleaseSamples(record);
        std::free(record->block);
        record->block = nullptr;
        delete record;
    }
    mSounds.Clear();
}

void cTarvelPDA::PlaySound(int32_t index)
{
    if (index >= 0 && index < mSounds.Count())
        gTarvel.mSound.PlayOnChannel(mSounds.data[index], 1.0f);
}

void cTarvelPDA::Open()
{
    if (mPageLabels.Count() == 0)
        for (const char* key : kLabelKeys)
            mPageLabels.Add(gTarvel.mGameplay.GetText(key));
    bool onStack = false;
    for (cTarvelScreenControl* control : gScreenControls)
        onStack = onStack || control == this;
    if (!onStack)
        gScreenControls.Add(this);
    mOpen = true;
    mDone = false;
    mMailView = kMailList;
    mSelectedMail = -1;
    mSelectedClip = -1;
    mSelectedPhone = -1;
    mAudioScroll = 0;
    PlaySound(std::min(kSoundLaunch, mSounds.Count() - 1));
}

void cTarvelPDA::Close()
{
    if (!mDone)
        PlaySound(std::min(mSounds.Count() - 1, kSoundExit));
    ReleaseResources();
    mOpen = false;
    mDone = true;
}

void cTarvelPDA::AddPhonebookEntry(const cTarvelString& name, const cTarvelString& detail,
                                   const cTarvelString& number, const cTarvelString& function)
{
    auto entry = std::make_unique<sPDAPhoneEntry>();
    entry->name = name;
    entry->detail = detail;
    entry->number = number;
    entry->function = function;
    mPhoneEntries.push_back(std::move(entry));
}

void cTarvelPDA::AddMail(const cTarvelString& sender, const cTarvelString& recipient, const cTarvelString& topic,
                         const cTarvelString& date)
{
    auto mail = std::make_unique<sPDAMail>();
    mail->sender = sender;
    mail->recipient = recipient;
    mail->topic = topic;
    mail->date = date;
    mLastMail = mail.get();
    mMails.push_back(std::move(mail));
}

void cTarvelPDA::AddMailTextline(const cTarvelString& text)
{
    if (!mLastMail) {
        std::fprintf(stderr, "PDA: mail text line \"%s\" before any mail is ignored.\n", text.c_str());
        return;
    }
    mLastMail->lines.push_back(sPDAMailLine{text, nullptr});
}

void cTarvelPDA::AddAttachment(const cTarvelString& name)
{
    if (!mLastMail) {
        std::fprintf(stderr, "PDA: attachment \"%s\" before any mail is ignored.\n", name.c_str());
        return;
    }
    auto* image = new cTarvelImage(false);
    image->ReadFile(name);
    image->mDepthOff = 1;
    image->mName = name;
    const int32_t width = image->mHeader.width;
    const int32_t height = image->mHeader.height;
    image->SetRect(float(210 - width / 2), float(kTop + 180 - height / 2), -1.0f, -1.0f);
    mLastMail->hasAttachments = true;
    mLastMail->attachments.push_back(image);
}

void cTarvelPDA::AddAudioEntry(const cTarvelString& path, const cTarvelString& scene, const cTarvelString& symbol,
                               const cTarvelString& function)
{
    tStringArray parts;
    SplitString(path, parts, '/');
    if (parts.Count() == 0)
        parts.Add(path);
    sPDAAudioNode* folder = &mAudioRoot;
    for (int32_t i = 0; i + 1 < parts.Count(); ++i) {
        sPDAAudioNode* next = folder->FindChild(parts.data[i]);
        if (!next) {
            auto node = std::make_unique<sPDAAudioNode>();
            node->description = parts.data[i];
            node->parent = folder;
            next = node.get();
            folder->children.push_back(std::move(node));
        }
        folder = next;
    }
    const cTarvelString& name = parts.data[parts.Count() - 1];
    if (folder->FindChild(name))
        return;
    auto clip = std::make_unique<sPDAAudioNode>();
    clip->function = function;
    clip->description = name;
    clip->scene = scene;
    clip->symbol = symbol;
    clip->parent = folder;
    folder->children.push_back(std::move(clip));
}

void cTarvelPDA::PlayAudioClip(sPDAAudioNode* node)
{
    if (!node)
        return;
    if (cTarvelCinematic* held = mClipCinematic) {
        held->Finish();
        delete held;
        mClipCinematic = nullptr;
    }
    cTarvelResource& archive = gTarvel.mResources;
    // Tested first: the archive's own open of a missing entry is fatal with
    // its own message.
    const int slot = archive.Exists(node->scene.c_str(), kResourceScene)
                         ? archive.OpenResource(node->scene.c_str(), kResourceScene)
                         : -1;
    if (slot < 0)
        gTarvel.FatalError(0, TARVEL_SOURCE_PDA, 1132, "cTarvelPDA::PlayAudioClip)",
                           "Scene file " + node->scene + " can not be loaded.", 0);
    char name[64] = {};
    SkipToSceneScript(slot, name);
    auto* script = new cTarvelScript();
    script->ReadSymbolTable(slot, cTarvelString(name));
    archive.CloseResource(slot);
    mPlayingClip = node;
    // Made without a script and started here, as the constructor would, so
    // that the clip's speech in its first run already finds the clip's
    // cinematic and object.
    auto* cinematic = new cTarvelCinematic(nullptr, "", nullptr, "");
    mClipCinematic = cinematic;
    cinematic->SetScript(script);
    cTarvelScriptValue* symbol = script->FindSymbol(node->symbol.c_str(), "cCinematic");
    if (!symbol)
        gTarvel.FatalError(0, TARVEL_SOURCE_CINEMATIC, 39, "cTarvelCinematic::cTarvelCinematic",
                           "Script object <cCinematic> " + node->symbol + " not found.", 0);
    symbol->object = gScriptHandles.Bind(cinematic, eScriptObjectType::Cinematic);
    cinematic->mScriptObject = symbol;
    cinematic->mInCall = true;
    script->CallEvent(symbol, node->function.c_str());
    // The event may have ended the clip (a reset, another clip).
    if (mClipCinematic == cinematic)
        cinematic->mInCall = false;
}

cTarvelScript* cTarvelPDA::ClipScript() const
{
    return mClipCinematic ? mClipCinematic->mScript : nullptr;
}

void cTarvelPDA::Reset()
{
    ReleaseResources();
    mPage = kPhonePage;
    mMailView = kMailList;
    // A clip still playing keeps what its end sends.
    if (mPlayingClip && mPlayingClip != mDetachedClip.get()) {
        auto detached = std::make_unique<sPDAAudioNode>();
        detached->function = mPlayingClip->function;
        detached->description = mPlayingClip->description;
        detached->symbol = mPlayingClip->symbol;
        detached->scene = mPlayingClip->scene;
        mDetachedClip = std::move(detached);
        mPlayingClip = mDetachedClip.get();
    }
    mPhoneEntries.clear();
    mMails.clear();
    mLastMail = nullptr;
    mAudioRoot.children.clear();
    mFolder = &mAudioRoot;
    mSelectedPhone = mSelectedClip = mSelectedMail = -1;
    mPhoneScroll = mAudioScroll = mMailScroll = mMailTextScroll = 0;
}

bool cTarvelPDA::RaiseNotice(int32_t code)
{
    // The inventory's new-item queue is the one list of notices: it presents
    // them beside the items and empties itself, so a later notice of a code
    // shows again once the earlier one was shown (a list of its own here
    // would block it until the PDA is opened, across games).
    cTarvelInventory& inventory = gTarvel.mInventory;
    if (inventory.HasNotice(code))
        return false;
    if (cTarvelImage* image = NoticeImage(code))
        image->Play(kImageOnce, 0);
    return inventory.AddNotice(code);
}

cTarvelImage* cTarvelPDA::NoticeImage(int32_t code) const
{
    switch (code) {
    case kNoticeAudio:
        return Image(kNoticeDictaphone);
    case kNoticeMail:
        return Image(kNoticeMailImage);
    case kNoticePhone:
        return Image(kNoticeAddress);
    default:
        return nullptr;
    }
}

// ---- Input ------------------------------------------------------------------

int32_t cTarvelPDA::AudioEntryCount() const
{
    const int32_t children = int32_t(mFolder->children.size());
    return mFolder == &mAudioRoot ? children : children + 1;
}

bool cTarvelPDA::ButtonExists(int32_t code) const
{
    switch (mPage) {
    case kPhonePage:
        return mSelectedPhone >= 0 || code == 21;
    case kAudioPage:
        return mSelectedClip >= 0 || code == 22;
    default:
        break;
    }
    const sPDAMail* mail =
        mSelectedMail >= 0 && size_t(mSelectedMail) < mMails.size() ? mMails[size_t(mSelectedMail)].get() : nullptr;
    switch (mMailView) {
    case kMailList:
        return mail || code == 22;
    case kMailReading:
        return code != 22 || (mail && mail->hasAttachments);
    default:
        return (code != 22 && code != 23) || (mail && mail->attachments.size() >= 2);
    }
}

int32_t cTarvelPDA::HoverCode(int32_t x, int32_t y) const
{
    if (In(x, 194, 234) && In(y, kTop + 364, kTop + 403))
        return 1;
    if (In(y, kTop + 20, kTop + 56)) {
        if (In(x, 93, 173))
            return 2;
        if (In(x, 174, 253))
            return 3;
        if (In(x, 254, 334))
            return 4;
    }
    if (In(x, 316, 335)) {
        if (In(y, kTop + 56, kTop + 75))
            return 5;
        if (In(y, kTop + 327, kTop + 346))
            return 6;
    }
    if (In(y, kTop + 306, kTop + 346)) {
        const int32_t lefts[] = {94, 150, 205, 260, 315};
        for (int32_t b = 0; b < 4; ++b)
            if (In(x, lefts[b], lefts[b + 1] - 1) && ButtonExists(20 + b))
                return 20 + b;
    }
    if (mPage == kPhonePage || (mPage == kMailPage && mMailView == kMailList)) {
        const int32_t count = int32_t(mPage == kPhonePage ? mPhoneEntries.size() : mMails.size());
        const int32_t scroll = mPage == kPhonePage ? mPhoneScroll : mMailScroll;
        if (In(x, 106, 318))
            for (int32_t i = 0; i < kRows && scroll + i < count; ++i)
                if (In(y, kTop + 64 + 48 * i, kTop + 112 + 48 * i))
                    return 100 + scroll + i;
    } else if (mPage == kAudioPage) {
        const int32_t column = In(x, 109, 189) ? 0 : In(x, 221, 301) ? 1 : -1;
        for (int32_t row = 0; column >= 0 && row < kCells / 2; ++row) {
            if (!In(y, kTop + 62 + 80 * row, kTop + 132 + 80 * row))
                continue;
            const int32_t entry = mAudioScroll + row * 2 + column;
            if (entry < 0 || entry >= AudioEntryCount())
                return 0;
            if (mFolder == &mAudioRoot)
                return 101 + entry;
            return entry == 0 ? 100 : 101 + entry - 1;
        }
    }
    return 0;
}

void cTarvelPDA::SendToPlayer(const cTarvelString& event)
{
    cTarvelActor* player = gTarvel.mPlayer;
    if (player && player->mScript && player->mSymbol)
        player->mScript->CallEvent(player->mSymbol, event.c_str());
}

void cTarvelPDA::ScrollUp()
{
    int32_t* offset = nullptr;
    int32_t step = 1;
    if (mPage == kPhonePage)
        offset = &mPhoneScroll;
    else if (mPage == kAudioPage) {
        offset = &mAudioScroll;
        step = 2;
    } else if (mMailView == kMailList)
        offset = &mMailScroll;
    else if (mMailView == kMailReading)
        offset = &mMailTextScroll;
    if (offset && *offset > 0) {
        *offset = std::max(0, *offset - step);
        PlaySound(kSoundClick);
    }
    ReleaseResources();
}

void cTarvelPDA::ScrollDown()
{
    int32_t* offset = nullptr;
    int32_t limit = 0;
    int32_t step = 1;
    if (mPage == kPhonePage) {
        offset = &mPhoneScroll;
        limit = int32_t(mPhoneEntries.size()) - kRows;
    } else if (mPage == kAudioPage) {
        offset = &mAudioScroll;
        limit = int32_t(mFolder->children.size()) - (mFolder == &mAudioRoot ? 6 : 5);
        step = 2;
    } else if (mMailView == kMailList) {
        offset = &mMailScroll;
        limit = int32_t(mMails.size()) - kRows;
    } else if (mMailView == kMailReading && mSelectedMail >= 0 && size_t(mSelectedMail) < mMails.size()) {
        offset = &mMailTextScroll;
        limit = int32_t(mMails[size_t(mSelectedMail)]->lines.size()) - kMailLines;
    }
    if (offset && *offset < limit) {
        *offset += step;
        PlaySound(kSoundClick);
    }
    ReleaseResources();
}

void cTarvelPDA::Click(int32_t code)
{
    sPDAMail* mail =
        mSelectedMail >= 0 && size_t(mSelectedMail) < mMails.size() ? mMails[size_t(mSelectedMail)].get() : nullptr;
    if (code >= 100) {
        const int32_t n = code - 100;
        if (mPage == kPhonePage) {
            if (n != mSelectedPhone)
                PlaySound(kSoundClick);
            mSelectedPhone = n;
        } else if (mPage == kMailPage) {
            if (n != mSelectedMail)
                PlaySound(kSoundClick);
            mSelectedMail = n;
        } else if (code == 100) {
            if (mFolder->parent) {
                mFolder = mFolder->parent;
                PlaySound(kSoundLaunch);
                ReleaseResources();
                mAudioScroll = 0;
                mSelectedClip = -1;
            }
        } else if (size_t(code - 101) < mFolder->children.size()) {
            const int32_t k = code - 101;
            sPDAAudioNode* child = mFolder->children[size_t(k)].get();
            if (!child->IsFolder()) {
                if (k != mSelectedClip)
                    PlaySound(kSoundClick);
                mSelectedClip = k;
            } else {
                // The folder's texts go with the page before it changes.
                ReleaseResources();
                mFolder = child;
                PlaySound(kSoundLaunch);
                mAudioScroll = 0;
                mSelectedClip = -1;
            }
        }
        return;
    }
    switch (code) {
    case 1:
        Close();
        return;
    case 2:
    case 3:
    case 4:
        if (mPage != code - 2)
            PlaySound(kSoundLaunch);
        ReleaseResources();
        mPage = code - 2;
        return;
    case 5:
        ScrollUp();
        return;
    case 6:
        ScrollDown();
        return;
    default:
        break;
    }
    if (mPage == kPhonePage) {
        const sPDAPhoneEntry* entry = mSelectedPhone >= 0 && size_t(mSelectedPhone) < mPhoneEntries.size()
                                          ? mPhoneEntries[size_t(mSelectedPhone)].get()
                                          : nullptr;
        static const char* const kEvents[] = {nullptr, "PDAPhoneNew", "PDAPhoneEdit", "PDAPhoneDel"};
        if (code == 20) {
            if (entry) {
                const cTarvelString function = entry->function;
                Close();
                SendToPlayer(function);
            }
        } else {
            SendToPlayer(kEvents[code - 20]);
        }
        return;
    }
    if (mPage == kAudioPage) {
        if (code == 20 && mSelectedClip >= 0 && size_t(mSelectedClip) < mFolder->children.size()) {
            PlaySound(kSoundClick);
            PlayAudioClip(mFolder->children[size_t(mSelectedClip)].get());
        } else if (code == 22) {
            SendToPlayer("PDAAudioRec");
        } else if (code == 23) {
            SendToPlayer("PDAAudioDel");
        }
        return;
    }
    // The mailbox. A view change releases the page, whose texts would stay
    // on the screen otherwise.
    if (code == 20) {
        ReleaseResources();
        PlaySound(kSoundClick);
        if (mMailView == kMailList) {
            if (mail) {
                mMailView = kMailReading;
                mMailTextScroll = 0;
            }
        } else {
            mMailView = kMailList;
        }
    } else if (code == 21 && mMailView == kMailAttachments) {
        ReleaseResources();
        mMailView = kMailReading;
        mMailTextScroll = 0;
        PlaySound(kSoundClick);
    } else if (code == 22 && mMailView == kMailReading && mail && mail->hasAttachments) {
        ReleaseResources();
        mMailView = kMailAttachments;
        PlaySound(kSoundClick);
    } else if ((code == 22 || code == 23) && mMailView == kMailAttachments && mail && mail->attachments.size() > 1) {
        const int32_t count = int32_t(mail->attachments.size());
        int32_t next = mail->attachment + (code == 22 ? -1 : 1);
        if (next < 0)
            next = count - 1;
        if (next >= count)
            next = 0;
        mail->attachment = next;
        PlaySound(kSoundClick);
    }
}

void cTarvelPDA::SetCursor()
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    cTarvelString& label = gTarvel.mCursorLabel;
    graphics.mCursorKind = mHover == 0 ? kCursorNone : mHover == 1 ? kCursorPointer : kCursorPDA;
    if (mHover == 0)
        label = "";
}

bool cTarvelPDA::Update()
{
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    const uint32_t flags = gameplay.mStateFlags;
    if (!(flags & cTarvelGameplay::kInterfaceEnabled) || (flags & cTarvelGameplay::kMouseLocked) ||
        gCinematics.Count() > 0 || gameplay.mFadeState != 0) {
        TakeClick();
        return true;
    }
    const int32_t code = HoverCode(gameplay.mMouseX, gameplay.mMouseY);
    const int32_t previous = mHover;
    mHover = code;
    if (TakeClick())
        Click(code);
    SetCursor();
    if (code != previous) {
        cTarvelString& label = gTarvel.mCursorLabel;
        label = "";
        int32_t index = -1;
        if (code >= 2 && code <= 4)
            index = code - 2;
        else if (code == 20)
            index = mPage == kPhonePage ? 3 : mPage == kAudioPage ? 4 : mMailView == kMailList ? 5 : 6;
        if (index >= 0 && index < mPageLabels.Count())
            label = mPageLabels.data[index];
    }
    return true;
}

// ---- Drawing ----------------------------------------------------------------

void cTarvelPDA::DrawAt(cTarvelImage* image, float x, float y)
{
    if (!image)
        return;
    image->SetRect(x, y, -1.0f, -1.0f);
    image->Draw(false, true);
}

void cTarvelPDA::DrawHighlight(float x, float y, float width, float height)
{
    if (cTarvelImage* white = Image(kWhite)) {
        white->SetRect(x, y, width, height);
        white->Draw(false, true);
    }
}

void cTarvelPDA::DrawThumb(int32_t height, int32_t step)
{
    DrawHighlight(319.0f, float(kTop + 73 + step * height), 15.0f, float(height));
}

void cTarvelPDA::RenderPhone()
{
    const int32_t count = int32_t(mPhoneEntries.size());
    if (count > kRows)
        DrawThumb(265 / (count - 4), mPhoneScroll);
    for (int32_t i = 0; i < kRows && mPhoneScroll + i < count; ++i) {
        const int32_t index = mPhoneScroll + i;
        sPDAPhoneEntry& entry = *mPhoneEntries[size_t(index)];
        if (index == mSelectedPhone)
            DrawHighlight(106.0f, float(kTop + 62 + 48 * i), 212.0f, 54.0f);
        DrawAt(Image(kAddressIcon), 94.0f, float(kTop + 50 + 48 * i));
        if (!entry.texts[0]) {
            entry.texts[0] = MakeText(kFontTitle, entry.name, 150, kTop + 76 + 48 * i);
            entry.texts[1] = MakeText(kFontBody, entry.detail, 150, kTop + 90 + 48 * i);
            entry.texts[2] = MakeText(kFontBody, entry.number, 150, kTop + 104 + 48 * i);
        }
    }
}

void cTarvelPDA::RenderMailList()
{
    const int32_t count = int32_t(mMails.size());
    if (count > kRows)
        DrawThumb(265 / (count - 4), mMailScroll);
    for (int32_t i = 0; i < kRows && mMailScroll + i < count; ++i) {
        const int32_t index = mMailScroll + i;
        sPDAMail& mail = *mMails[size_t(index)];
        if (index == mSelectedMail)
            DrawHighlight(106.0f, float(kTop + 62 + 48 * i), 212.0f, 58.0f);
        DrawAt(Image(mail.read ? kMailIconRead : kMailIcon), 104.0f, float(kTop + 55 + 48 * i));
        if (mail.hasAttachments)
            DrawAt(Image(kMailAttachmentIcon), 124.0f, float(kTop + 75 + 48 * i));
        if (!mail.texts[0]) {
            mail.texts[0] = MakeText(kFontTitle, mail.topic, 150, kTop + 78 + 48 * i);
            mail.texts[1] = MakeText(kFontBody, mail.sender, 150, kTop + 92 + 48 * i);
            mail.texts[2] = MakeText(kFontBody, mail.date, 150, kTop + 106 + 48 * i);
        }
    }
}

void cTarvelPDA::RenderMail()
{
    if (mSelectedMail < 0 || size_t(mSelectedMail) >= mMails.size())
        return;
    sPDAMail& mail = *mMails[size_t(mSelectedMail)];
    mail.read = true;
    if (mMailView == kMailAttachments) {
        if (mail.attachment >= 0 && size_t(mail.attachment) < mail.attachments.size())
            mail.attachments[size_t(mail.attachment)]->Draw(false, true);
        return;
    }
    const int32_t lines = int32_t(mail.lines.size());
    if (lines > kMailLines)
        DrawThumb(265 / (lines - 9), mMailTextScroll);
    if (!mail.texts[0]) {
        mail.texts[0] = MakeText(kFontTitle, mail.topic, 110, kTop + 78);
        const cTarvelString* header[] = {&mail.sender, &mail.recipient, &mail.date};
        int32_t y = kTop + 78 + (mail.texts[0] ? mail.texts[0]->mHeight : 0);
        for (int32_t k = 0; k < 3; ++k) {
            mail.texts[k + 1] = MakeText(kFontBody, *header[k], 110, y);
            y += mail.texts[k + 1] ? mail.texts[k + 1]->mHeight : 0;
        }
        y = kTop + 141;
        for (int32_t i = mMailTextScroll; i < lines && i < mMailTextScroll + kMailLines; ++i) {
            sPDAMailLine& line = mail.lines[size_t(i)];
            line.display = MakeText(kFontBody, line.text, 110, y);
            y += line.display ? line.display->mHeight : 0;
        }
    }
}

void cTarvelPDA::RenderAudio()
{
    const bool root = mFolder == &mAudioRoot;
    const int32_t children = int32_t(mFolder->children.size());
    if (root && children > kCells)
        DrawThumb(265 / ((children - 5) / 2 + 1), mAudioScroll / 2);
    else if (!root && children + 1 > kCells)
        DrawThumb(265 / ((children - 4) / 2 + 1), mAudioScroll / 2);
    for (int32_t cell = 0; cell < kCells; ++cell) {
        const int32_t entry = mAudioScroll + cell;
        if (entry >= AudioEntryCount())
            break;
        const int32_t row = cell / 2;
        const bool left = cell % 2 == 0;
        const float y = float(kTop + 62 + 80 * row);
        if (!root && entry == 0) {
            DrawAt(Image(kFolderUp), left ? 125.0f : 237.0f, y);
            continue;
        }
        const int32_t k = root ? entry : entry - 1;
        sPDAAudioNode& node = *mFolder->children[size_t(k)];
        if (k == mSelectedClip)
            DrawAt(Image(kAudioHighlight), left ? 99.0f : 211.0f, y);
        DrawAt(Image(node.IsFolder() ? kFolder : kSoundFile), left ? 125.0f : 237.0f, y);
        if (!node.display)
            node.display = MakeText(kFontBody, node.description, left ? 149 : 261, kTop + 120 + 80 * row,
                                    cTarvelFont::kCentre | cTarvelFont::kWrap, 100);
    }
}

void cTarvelPDA::Render()
{
    if (!mOpen)
        return;
    DrawAt(Image(kBackground), 64.0f, float(kTop));
    const int32_t tabs[] = {kPhoneTab, kAudioTab, kMailTab};
    DrawAt(Image(tabs[std::clamp(mPage, 0, 2)]), 93.0f, float(kTop + 20));
    const float buttonsY = float(kTop + 306);
    switch (mPage) {
    case kPhonePage:
        DrawAt(Image(mSelectedPhone >= 0 ? kPhoneButtonsFull : kPhoneButtonsGray), 94.0f, buttonsY);
        RenderPhone();
        break;
    case kAudioPage:
        DrawAt(Image(mSelectedClip >= 0 ? kAudioButtonsFull1 : kAudioButtonsGray), 94.0f, buttonsY);
        RenderAudio();
        break;
    default:
        if (mMailView == kMailList) {
            DrawAt(Image(mSelectedMail >= 0 ? kMailboxButtonsFull : kMailboxButtonsGray), 94.0f, buttonsY);
            RenderMailList();
        } else {
            const sPDAMail* mail = mSelectedMail >= 0 && size_t(mSelectedMail) < mMails.size()
                                       ? mMails[size_t(mSelectedMail)].get()
                                       : nullptr;
            int32_t row = kMailButtonsFull1;
            if (mMailView == kMailReading && mail && mail->hasAttachments)
                row = kMailButtonsFull2;
            else if (mMailView == kMailAttachments)
                row = mail && mail->attachments.size() >= 2 ? kPicButtonsFull4 : kPicButtonsFull1;
            DrawAt(Image(row), 94.0f, buttonsY);
            RenderMail();
        }
        break;
    }
}

void cTarvelPDA::ReleaseResources()
{
    for (auto& entry : mPhoneEntries)
        for (cTarvelText*& text : entry->texts)
            DropText(text);
    for (auto& mail : mMails) {
        for (cTarvelText*& text : mail->texts)
            DropText(text);
        for (sPDAMailLine& line : mail->lines)
            DropText(line.display);
    }
    DropNodeTexts(mAudioRoot);
}

// ---- Savegame ---------------------------------------------------------------

void cTarvelPDA::SaveAudio(cTarvelSavegame& savegame, const sPDAAudioNode& node)
{
    savegame.AddElement("Audio");
    savegame.WriteString("desc", node.description);
    savegame.WriteString("scene", node.scene);
    savegame.WriteString("symbol", node.symbol);
    savegame.WriteString("func", node.function);
    for (const auto& child : node.children)
        SaveAudio(savegame, *child);
    savegame.LeaveElement();
}

void cTarvelPDA::Save(cTarvelSavegame& savegame)
{
    // Every entry and mail: a load must give back what was saved.
    for (const auto& entry : mPhoneEntries) {
        savegame.AddElement("PhoneNo");
        savegame.WriteString("name", entry->name);
        savegame.WriteString("detail", entry->detail);
        savegame.WriteString("no", entry->number);
        savegame.WriteString("func", entry->function);
        savegame.LeaveElement();
    }
    for (const auto& child : mAudioRoot.children)
        SaveAudio(savegame, *child);
    for (const auto& mail : mMails) {
        savegame.AddElement("Mail");
        savegame.WriteString("sender", mail->sender);
        savegame.WriteString("rec", mail->recipient);
        savegame.WriteString("topic", mail->topic);
        savegame.WriteString("date", mail->date);
        savegame.AddElement("Text");
        savegame.SetAttributeInt("count", int32_t(mail->lines.size()));
        for (size_t i = 0; i < mail->lines.size(); ++i)
            savegame.WriteString(Numbered("line", int32_t(i)).c_str(), mail->lines[i].text);
        savegame.LeaveElement();
        savegame.AddElement("Pics");
        savegame.SetAttributeInt("count", int32_t(mail->attachments.size()));
        for (size_t i = 0; i < mail->attachments.size(); ++i)
            savegame.WriteString(Numbered("pic", int32_t(i)).c_str(), mail->attachments[i]->mName);
        savegame.LeaveElement();
        savegame.WriteInt("read", mail->read ? 1 : 0);
        savegame.LeaveElement();
    }
}

void cTarvelPDA::LoadAudio(cTarvelSavegame& savegame, sPDAAudioNode& parent, int32_t depth)
{
    if (!savegame.EnterElement("Audio"))
        return;
    do {
        auto node = std::make_unique<sPDAAudioNode>();
        node->description = savegame.ReadString("desc", "");
        node->scene = savegame.ReadString("scene", "");
        node->symbol = savegame.ReadString("symbol", "");
        node->function = savegame.ReadString("func", "");
        node->parent = &parent;
        if (depth + 1 < kMaxAudioDepth)
            LoadAudio(savegame, *node, depth + 1);
        else if (savegame.mCurrent->FirstChildElement("Audio"))
            std::fprintf(stderr, "PDA: dictaphone folders nested deeper than %d are not read.\n",
                         int(kMaxAudioDepth));
        parent.children.push_back(std::move(node));
    } while (savegame.NextElement("Audio"));
    savegame.LeaveElement();
}

void cTarvelPDA::Load(cTarvelSavegame& savegame)
{
    Reset();
    if (savegame.EnterElement("PhoneNo")) {
        do
            AddPhonebookEntry(savegame.ReadString("name", ""), savegame.ReadString("detail", ""),
                              savegame.ReadString("no", ""), savegame.ReadString("func", ""));
        while (savegame.NextElement("PhoneNo"));
        savegame.LeaveElement();
    }
    LoadAudio(savegame, mAudioRoot, 0);
    if (savegame.EnterElement("Mail")) {
        do {
            AddMail(savegame.ReadString("sender", ""), savegame.ReadString("rec", ""),
                    savegame.ReadString("topic", ""), savegame.ReadString("date", ""));
            if (savegame.EnterElement("Text")) {
                const int32_t count = std::min(savegame.GetAttributeInt("count", 0), ChildElementCount(savegame));
                for (int32_t i = 0; i < count; ++i)
                    AddMailTextline(savegame.ReadString(Numbered("line", i).c_str(), ""));
                savegame.LeaveElement();
            }
            if (savegame.EnterElement("Pics")) {
                const int32_t count = std::min(savegame.GetAttributeInt("count", 0), ChildElementCount(savegame));
                for (int32_t i = 0; i < count; ++i) {
                    const cTarvelString name = savegame.ReadString(Numbered("pic", i).c_str(), "");
                    // A picture the archive lacks would end the game.
                    if (ImageExists(name))
                        AddAttachment(name);
                    else
                        std::fprintf(stderr, "PDA: mail attachment \"%s\" is not in the archive.\n", name.c_str());
                }
                savegame.LeaveElement();
            }
            mLastMail->read = savegame.ReadInt("read", 0) != 0;
        } while (savegame.NextElement("Mail"));
        savegame.LeaveElement();
    }
}
