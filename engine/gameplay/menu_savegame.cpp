// The load and save pages of the in-game menu: the slot list, the typed
// name, the description box and the thumbnails.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/core/tarvel.h"
#include "engine/gameplay/menu.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/font.h"
#include "engine/render/image.h"
#include "platform/d3dx9/d3dx9_tex.h"
#include "platform/win32/crt.h"
#include "platform/win32/win32.h"

namespace {

constexpr int32_t kCursorNormal = 0;
constexpr int32_t kCursorUse = 4;
constexpr uint32_t kNameColour = 0xFF000040u;
constexpr int32_t kNameX = 500;
constexpr int32_t kNameY = 570;
constexpr int kNameFont = 4;
constexpr int kDescriptionFont = 0;
constexpr const char* kExtension = ".demogame";
constexpr size_t kExtensionLength = 9;
// Where the header keeps the time of saving and the game state string.
constexpr uint32_t kHeaderTime = 4;
constexpr uint32_t kHeaderState = 148;

// The icons of the slot pages, screen pixels (top-left; 64 square).
constexpr int32_t kCancelX = 695, kCancelY = 458;
constexpr int32_t kOkX = 695, kOkY = 529;
constexpr int32_t kPreviousX = 328, kPreviousY = 530;
constexpr int32_t kNextX = 605, kNextY = 528;
constexpr int32_t kIconSize = 64;

cTarvelImage* LoadPicture(const char* name, bool twoSets)
{
    auto* image = new cTarvelImage(twoSets);
    image->ReadFile(name);
    image->mDepthOff = 1;
    return image;
}

cTarvelImage* PictureAt(tArray<cTarvelImage*>& pictures, int32_t index)
{
    return index >= 0 && index < pictures.Count() ? pictures.data[index] : nullptr;
}

float SecondsSince(DWORD stamp)
{
    return SecondsBetween(stamp, gTarvel.mTimer.mGameTime, 1.0f);
}

cTarvelWString WideFromUtf8(const cTarvelString& text)
{
    WCHAR* wide = text.ToWideFromUtf8();
    cTarvelWString result(wide);
    std::free(wide);
    return result;
}

cTarvelString AnsiFromWide(const cTarvelWString& text)
{
    char* ansi = text.ToAnsi();
    cTarvelString result(ansi);
    std::free(ansi);
    return result;
}

int32_t TextWidth(const std::u16string& text)
{
    return gTarvel.mFonts.GetTextWidth(kNameFont, text.c_str());
}

uint16_t Read16(const uint8_t* bytes)
{
    return uint16_t(bytes[0] | bytes[1] << 8);
}

template <size_t N>
void CopyField(char (&field)[N], const char* text, size_t length)
{
    const size_t kept = length < N - 1 ? length : N - 1;
    std::memcpy(field, text, kept);
    field[kept] = '\0';
}

} // namespace

cTarvelString cTarvelMenu::SavegameFile(const char* name) const
{
    // The folder normally ends in "\"; a folder without one still gets its
    // own files.
    const cTarvelString& folder = gTarvel.mSavegameFolder;
    const uint32_t length = folder.Length();
    if (length == 0 || folder.CharAt(length - 1) == '\\' || folder.CharAt(length - 1) == '/')
        return folder + name;
    return folder + "\\" + name;
}

bool cTarvelMenu::IsValidSaveName(const cTarvelWString& name)
{
    const uint32_t length = name.Length();
    if (length == 0 || length > kNameLimit || name.c_str()[0] == u'.')
        return false;
    for (uint32_t i = 0; i < length; ++i) {
        const WCHAR c = name.c_str()[i];
        if (c == u'/' || c == u'\\' || c == u':')
            return false;
    }
    return true;
}

void cTarvelMenu::OpenSlotPage(int32_t mode)
{
    cTarvel& engine = gTarvel;
    mState = mode;
    mLastHovered = 0;
    mEnterPressed = false;
    mAllowedKeys = AnsiFromWide(WideFromUtf8(engine.mGameplay.GetText("save_allowed_keys")));

    cTarvelImage* back = LoadPicture("menu-save", false);
    back->SetRect(254.0f, 126.0f, -1.0f, -1.0f);
    mPagePictures.Add(back);
    mPagePictures.Add(LoadPicture("menu-savec", false));
    // The thumbnail is drawn through the second set of coordinates.
    cTarvelImage* front = LoadPicture("menu-savea", true);
    front->SetRect(254.0f, 126.0f, -1.0f, -1.0f);
    front->Play(kImageLoop, 0);
    mPagePictures.Add(front);

    engine.mGraphics.mCursorKind = kCursorNormal;
    mHovered = -1;
    ClearSlotPage();
    if (mode == kSavePage) {
        tSaveSlot entry{};
        entry.saveFileTime = ~uint64_t{0};
        mSlots.Add(entry);
    }

    crt::_finddata_t found{};
    const intptr_t search = crt::_findfirst(SavegameFile("*.demogame").c_str(), &found);
    if (search != -1) {
        do {
            if (found.attrib & crt::_A_SUBDIR)
                continue;
            const int fd = crt::_open(SavegameFile(found.name).c_str(), crt::_O_RDONLY | crt::_O_BINARY);
            if (fd == -1)
                continue;
            tSaveSlot slot{};
            const size_t length = std::strlen(found.name);
            CopyField(slot.fileName, found.name, length);
            // The name is the file's without its extension, which the search
            // pattern guarantees.
            CopyField(slot.name, found.name,
                      std::min<size_t>(length >= kExtensionLength ? length - kExtensionLength : 0, kNameLimit));
            uint8_t header[cTarvelSavegame::kHeaderSize];
            if (cTarvelSavegame::IsSavegameHeader(fd, header)) {
                uint16_t* fields[8] = {&slot.saveTime.wYear,   &slot.saveTime.wMonth,  &slot.saveTime.wDayOfWeek,
                                       &slot.saveTime.wDay,    &slot.saveTime.wHour,   &slot.saveTime.wMinute,
                                       &slot.saveTime.wSecond, &slot.saveTime.wMilliseconds};
                for (int i = 0; i < 8; ++i)
                    *fields[i] = Read16(header + kHeaderTime + 2 * i);
                FILETIME time{};
                // A time that is no date sorts as the oldest.
                if (SystemTimeToFileTime(&slot.saveTime, &time))
                    slot.saveFileTime = uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
                const char* key = reinterpret_cast<const char*>(header + kHeaderState);
                CopyField(slot.descriptionKey, key, strnlen(key, 15));
            }
            crt::_close(fd);
            mSlots.Add(slot);
        } while (crt::_findnext(search, &found) == 0);
        crt::_findclose(search);
    }

    for (int32_t i = 0; i < mSlots.Count(); ++i)
        for (int32_t j = i + 1; j < mSlots.Count(); ++j)
            if (mSlots.data[j].saveFileTime > mSlots.data[i].saveFileTime)
                std::swap(mSlots.data[i], mSlots.data[j]);

    mSelectedSlot = 0;
    ShowSlot();
    if (mode == kSavePage) {
        mTypedName = WideFromUtf8(engine.mGameplay.GetText((cTarvelString("save_name_") + engine.mGameState).c_str()));
        UpdateNameLine();
    }
    engine.mGraphics.mCursorKind = kCursorNormal;
    mHovered = -1;
    mCaretTime = engine.mTimer.mGameTime;
}

void cTarvelMenu::ShowSlot()
{
    cTarvel& engine = gTarvel;
    const cTarvelGameplay& gameplay = engine.mGameplay;
    if (mThumbnail) {
        mThumbnail->Release();
        mThumbnail = nullptr;
    }
    ClearPageTexts();
    if (mSlots.Count() == 0) {
        SetDescription(gameplay.GetText("save_none"));
        return;
    }
    const tSaveSlot& slot = mSlots[mSelectedSlot];
    const cTarvelString description = gameplay.GetText((cTarvelString("save_desc_") + slot.descriptionKey).c_str());
    if (mState == kSavePage && mSelectedSlot == 0) {
        mTypedName = WideFromUtf8(gameplay.GetText((cTarvelString("save_name_") + engine.mGameState).c_str()));
        SetDescription(gameplay.GetText("save_new"));
        UpdateNameLine();
        return;
    }
    if (mState == kSavePage) {
        mTypedName = cTarvelWString(slot.name);
        SetDescription(description);
        UpdateNameLine();
    } else {
        mNameLine = engine.mFonts.CreateText(kNameFont, cTarvelString(slot.name).ToUtf8(), kNameX, kNameY, kNameColour,
                                             cTarvelFont::kCentre, 0);
        if (mNameLine)
            mNameLine->mLayer = 1;
        SetDescription(description);
    }

    const size_t length = std::strlen(slot.fileName);
    if (length <= kExtensionLength)
        return;
    // The picture beside the savegame: its name with ".png".
    const std::string picture = std::string(slot.fileName, length - 8) + "png";
    const cTarvelString path = SavegameFile(picture.c_str());
    const int fd = crt::_open(path.c_str(), crt::_O_RDONLY | crt::_O_BINARY);
    if (fd == -1)
        return;
    crt::_close(fd);
    if (FAILED(D3DXCreateTextureFromFileExA(engine.mGraphics.mDevice, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                            D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                            nullptr, nullptr, &mThumbnail)))
        mThumbnail = nullptr;
}

void cTarvelMenu::SetDescription(const cTarvelString& text)
{
    cTarvelFont& fonts = gTarvel.mFonts;
    for (const tDescriptionLine& line : mDescriptionLines) {
        fonts.DeleteText(line.shadow);
        fonts.DeleteText(line.text);
    }
    mDescriptionLines.Clear();
    tStringArray pieces;
    SplitString(text, pieces, '|');
    int32_t n = 0;
    for (const cTarvelString& piece : pieces)
        if (piece.Length() > 0)
            ++n;
    int32_t k = 0;
    for (const cTarvelString& piece : pieces) {
        if (piece.Length() == 0)
            continue;
        const int32_t y = 510 - 15 * (n - 1) + 15 * k;
        tDescriptionLine line{};
        line.shadow = fonts.CreateText(kDescriptionFont, piece, 346, y + 1, 0xFF000000u, 0, 0);
        line.text = fonts.CreateText(kDescriptionFont, piece, 345, y, 0xFFFFFFFFu, 0, 0);
        for (cTarvelText* object : {line.shadow, line.text}) {
            if (!object)
                continue;
            object->mLayer = 1;
            object->mVisibleCount = 0;
        }
        line.count = line.text ? line.text->mCharCount : 0;
        mDescriptionLines.Add(line);
        ++k;
    }
    mDescriptionStart = gTarvel.mTimer.mGameTime;
}

void cTarvelMenu::UpdateNameLine()
{
    cTarvelFont& fonts = gTarvel.mFonts;
    fonts.DeleteText(mNameLine);
    mNameLine = nullptr;
    std::u16string text(mTypedName.c_str());
    const int32_t x = kNameX - TextWidth(text) / 2;
    if (mCaretOn)
        text += u'|';
    mNameLine = fonts.CreateTextW(kNameFont, text.c_str(), x, kNameY, kNameColour, 0, 0);
    if (mNameLine)
        mNameLine->mLayer = 1;
}

void cTarvelMenu::OnChar(int character)
{
    if (!mOpen || mState != kSavePage)
        return;
    std::u16string name(mTypedName.c_str());
    if (character == 8) {
        if (!name.empty())
            name.pop_back();
    } else if (character == 13) {
        mEnterPressed = true;
    } else if (character > 0 && character <= 0xFFFF) {
        // The window gives characters of the ANSI code page; the name is
        // wide and the allowed keys are ANSI.
        WCHAR wide = 0;
        char ansi = 0;
        if (character <= 0xFF) {
            ansi = char(character);
            if (MultiByteToWideChar(CP_ACP, 0, &ansi, 1, &wide, 1) != 1)
                wide = 0;
        } else {
            wide = WCHAR(character);
            BOOL lossy = FALSE;
            if (WideCharToMultiByte(CP_ACP, 0, &wide, 1, &ansi, 1, nullptr, &lossy) != 1 || lossy)
                ansi = 0;
        }
        const bool allowed = ansi != 0 && wide != 0 && std::strchr(mAllowedKeys.c_str(), ansi) != nullptr;
        const bool separator = wide == u'/' || wide == u'\\' || wide == u':' || (wide == u'.' && name.empty());
        if (allowed && !separator && name.size() < kNameLimit &&
            TextWidth(name + wide + u'|') < kNameWidthLimit)
            name += wide;
    }
    mTypedName = name.c_str();
    UpdateNameLine();
}

void cTarvelMenu::UpdateSlotPage()
{
    cTarvel& engine = gTarvel;
    const int32_t count = mSlots.Count();
    if (MouseInRect(kCancelX, kCancelY, kCancelX + kIconSize, kCancelY + kIconSize))
        mHovered = 0;
    if (count > 0 && MouseInRect(kOkX, kOkY, kOkX + kIconSize, kOkY + kIconSize))
        mHovered = 1;
    if (mSelectedSlot > 0 && MouseInRect(kPreviousX, kPreviousY, kPreviousX + kIconSize, kPreviousY + kIconSize))
        mHovered = 2;
    if (mSelectedSlot < count - 1 && MouseInRect(kNextX, kNextY, kNextX + kIconSize, kNextY + kIconSize))
        mHovered = 3;

    if (mState == kSavePage && SecondsSince(mCaretTime) > 0.5f) {
        mCaretTime = engine.mTimer.mGameTime;
        mCaretOn = !mCaretOn;
        UpdateNameLine();
    }

    engine.mGraphics.mCursorKind = mHovered >= 0 ? kCursorUse : kCursorNormal;
    if (mHovered != mLastHovered && mHovered > 0)
        PlaySound(0);
    mLastHovered = mHovered;
    cTarvelGameplay& gameplay = engine.mGameplay;
    if (gameplay.TestButton(0, 1) || gameplay.TestButton(0, 2))
        mClicked = mHovered;
    gameplay.TestButton(1, 1);
    if (mState == kSavePage && mEnterPressed) {
        mEnterPressed = false;
        mClicked = 1;
    }

    switch (mClicked) {
    case 0:
        PlaySound(1);
        ClosePage();
        break;
    case 2:
    case 3:
        PlaySound(1);
        mSelectedSlot += mClicked == 2 ? -1 : 1;
        mSelectedSlot = std::max(0, std::min(mSelectedSlot, count - 1));
        ShowSlot();
        break;
    case 1:
        if (mState == kLoadPage) {
            if (count == 0 || mSelectedSlot >= count)
                break;
            PlaySound(1);
            const cTarvelString path = SavegameFile(mSlots[mSelectedSlot].fileName);
            // A file the load would refuse is refused here, and the page
            // stays: the running game is not ended for it.
            const cTarvelString refusal = engine.mSavegame.Check(path);
            if (refusal.Length() != 0) {
                SetDescription(DescriptionOfError(refusal));
                break;
            }
            engine.mSavegamePath = path;
            engine.mLoadRequest = 1;
            ClosePage();
            Close();
        } else if (IsValidSaveName(mTypedName)) {
            PlaySound(1);
            const cTarvelString name = AnsiFromWide(mTypedName);
            mSavePath = SavegameFile((name + kExtension).c_str());
            engine.mThumbnailPath = SavegameFile((name + ".png").c_str());
            if (GetFileAttributesA(mSavePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
                ClosePage();
                Close();
                RequestSave();
            } else {
                mCaretTime = engine.mTimer.mGameTime;
                mCaretOn = false;
                UpdateNameLine();
                OpenConfirm(kConfirmOverwrite);
            }
        }
        break;
    default:
        break;
    }
}

cTarvelString cTarvelMenu::DescriptionOfError(const cTarvelString& message)
{
    // A line per sentence, a long one wrapped at its spaces to the box's
    // width.
    constexpr int32_t kBoxWidth = 340;
    auto width = [](const std::string& line) {
        const std::u16string wide(line.begin(), line.end());
        return gTarvel.mFonts.GetTextWidth(kDescriptionFont, wide.c_str());
    };
    std::string text, line, word;
    auto endWord = [&] {
        if (word.empty())
            return;
        if (!line.empty() && width(line + " " + word) > kBoxWidth) {
            text += line + "|";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        word.clear();
    };
    for (const char* c = message.c_str(); *c; ++c) {
        if (*c == ' ') {
            endWord();
            continue;
        }
        word += *c;
        if ((*c == '.' || *c == ':') && (c[1] == ' ' || c[1] == 0)) {
            endWord();
            text += line + "|";
            line.clear();
        }
    }
    endWord();
    return (text + line).c_str();
}

void cTarvelMenu::ShowSaveFailure(const cTarvelString& message)
{
    if (!mOpen)
        OpenMainPage();
    if (!mOpen)
        return;
    while (mState != kMainPage && mState != kSavePage)
        ClosePage();
    if (mState == kMainPage)
        OpenSlotPage(kSavePage);
    SetDescription(DescriptionOfError(message));
}

void cTarvelMenu::RequestSave()
{
    // The main loop saves between frames, and the savegame writer replaces
    // an old file only once the new one is whole; the picture follows the
    // frame the closed menu leaves on screen.
    cTarvel& engine = gTarvel;
    engine.mSavegamePath = mSavePath;
    engine.mSaveRequest = 1;
    engine.mThumbnailRequest = 1;
}

void cTarvelMenu::RenderSlotPage()
{
    const float now = SecondsSince(mDescriptionStart);
    const int32_t typed = int32_t(std::floor(now * 30.0f));
    const int32_t n = mDescriptionLines.Count();
    for (int32_t k = 0; k < n; ++k) {
        tDescriptionLine& line = mDescriptionLines.data[k];
        const int32_t shown = std::min(line.count, std::max(0, typed - 5 * (n - k)));
        for (cTarvelText* object : {line.shadow, line.text})
            if (object)
                object->mVisibleCount = shown;
    }

    RenderMainPage();
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    if (cTarvelImage* back = PictureAt(mPagePictures, 0))
        back->Draw(true, true);
    if (cTarvelImage* front = PictureAt(mPagePictures, 2)) {
        if (!mThumbnail) {
            cTarvelImage* colour = PictureAt(mPagePictures, 1);
            shaders.Use(&mPolaroid);
            shaders.SetTextureRaw(&mPolaroid, "tex2", colour ? colour->GetCurrentFrame() : nullptr);
            shaders.SetFloat2(&mPolaroid, "intens", 1.0f, 1.0f);
        } else {
            // The picture drifts slowly to and fro inside the frame.
            const float drift = 0.15f * std::sin(SecondsSince(0) / 3.0f);
            const float left = 0.15f + drift;
            front->SetTexCoords2(left, 0.05f, left + 0.7f, 0.95f);
            shaders.Use(&mThumbnailEffect);
            shaders.SetTextureRaw(&mThumbnailEffect, "tex2", mThumbnail);
            shaders.SetFloat2(&mThumbnailEffect, "intens", 1.0f, 1.0f);
        }
        front->Draw(true, false);
    }
    if (mState == kConfirmOverwrite)
        return;
    const int32_t count = mSlots.Count();
    const struct {
        cTarvelImage* image;
        int32_t x, y, item;
        bool shown;
    } icons[] = {
        {mCancel, kCancelX, kCancelY, 0, true},
        {mOk, kOkX, kOkY, 1, true},
        {mLeft, kPreviousX, kPreviousY, 2, mSelectedSlot > 0},
        {mRight, kNextX, kNextY, 3, mSelectedSlot < count - 1},
    };
    for (const auto& icon : icons) {
        if (!icon.image || !icon.shown)
            continue;
        icon.image->SetRect(float(icon.x), float(icon.y), -1.0f, -1.0f);
        DrawIcon(icon.image, mHovered == icon.item, 1.0f);
    }
}
