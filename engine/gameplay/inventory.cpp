#include "engine/gameplay/inventory.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_inventory";
constexpr int kItemResourceType = 3;

// The bar's layout in the 1024 x 768 interface.
constexpr int32_t kScreenWidth = 1024;
constexpr int32_t kCell = 128;
constexpr int32_t kBarTop = 640;
constexpr int32_t kArrowWidth = 64;
constexpr int32_t kRightArrowX = kScreenWidth - kArrowWidth;

// An item's verb bar opens this far below the bar's top, centred on the
// item's cell.
constexpr int32_t kVerbBarY = kBarTop + 48;

// Cursor shape over a usable arrow.
constexpr int32_t kArrowCursor = 4;

// The queue's presentation: shown for two seconds, faded out in the third.
constexpr float kPresentSeconds = 2.0f;
constexpr float kPresentEndSeconds = 3.0f;

uint32_t Now()
{
    return gTarvel.mTimer.mGameTime;
}

// The centre of the cell under x: (x + 64) rounded down to a cell.
int32_t VerbBarX(int32_t x)
{
    return (x + kArrowWidth) / kCell * kCell;
}

float SecondsSince(uint32_t stamp)
{
    return gTarvel.mTimer.SecondsSince(stamp, 1.0f);
}

int32_t FilterValue()
{
    // Exactly 1024 wide needs no filtering; scaled interfaces do.
    return gTarvel.mGraphics.mExact1024 ? 1 : 2;
}

cTarvelImage* LoadPicture(const char* name)
{
    auto* image = new cTarvelImage(false);
    image->ReadFile(name);
    image->mDepthOff = 1;
    return image;
}

void BindIndex(sInventoryItem* item, int32_t index)
{
    if (item && item->object)
        item->object->object = static_cast<uint32_t>(index);
}

bool HasBinding(const cTarvelShaderBinding& binding)
{
    return binding.shader != nullptr && binding.technique != nullptr;
}

// Draws an image through binding with the "intens" pair, or plainly when
// the binding is null or the effect lacks the technique.
void DrawThrough(cTarvelImage* image, const cTarvelShaderBinding* binding, float intens0, float intens1,
                 bool advance = false)
{
    if (!image)
        return;
    if (!binding || !HasBinding(*binding)) {
        image->Draw(advance, true);
        return;
    }
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.Use(binding);
    shaders.SetFloat2(binding, "intens", intens0, intens1);
    shaders.SetInt(binding, "filter", FilterValue());
    image->Draw(advance, false);
}

} // namespace

cTarvelInventory::cTarvelInventory() {}

cTarvelInventory::~cTarvelInventory()
{
    Clear();
    delete mBackground;
    delete mHighlight;
    delete mLeftArrow;
    delete mRightArrow;
}

int cTarvelInventory::InitInterface()
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    shaders.LoadShader("interface", "ui_invitem", &mItemBinding, false);
    shaders.LoadShader("interface", "ui_invbar", &mBarBinding, false);
    delete mBackground;
    delete mHighlight;
    delete mLeftArrow;
    delete mRightArrow;
    mBackground = LoadPicture("ui_inv_bg");
    mHighlight = LoadPicture("ui_inv_hilite");
    mLeftArrow = LoadPicture("ui_inv_arrow_left");
    mRightArrow = LoadPicture("ui_inv_arrow_right");
    mBackground->SetRect(0.0f, float(kBarTop), -1.0f, -1.0f);
    mLeftArrow->SetRect(0.0f, float(kBarTop), float(kArrowWidth), float(kCell));
    mRightArrow->SetRect(float(kRightArrowX), float(kBarTop), float(kArrowWidth), float(kCell));
    return 0;
}


void cTarvelInventory::Show()
{
    gTarvel.mGameplay.mStateFlags ^= cTarvelGameplay::kInventoryPopUp;
    const uint32_t now = Now();
    if (mBarState == kClosed) {
        mBarState = kOpening;
        mBarStart = now;
    } else if (mBarState == kClosing) {
        // Opening runs six times as fast as closing: start where the close
        // had got to.
        mBarState = kOpening;
        mBarStart = now - (now - std::min(mBarStart, now)) / 6;
    }
}

void cTarvelInventory::Hide()
{
    gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kInventoryPopUp;
    const uint32_t now = Now();
    if (mBarState == kOpen) {
        mBarState = kClosing;
        mBarStart = now;
    } else if (mBarState == kOpening) {
        const uint32_t elapsed = now - std::min(mBarStart, now);
        mBarState = kClosing;
        mBarStart = now - std::min<uint32_t>(6 * elapsed, now);
    }
}

void cTarvelInventory::Enable()
{
    gTarvel.mGameplay.mStateFlags &= ~cTarvelGameplay::kInventoryPopUp;
    mBarState = kClosed;
}

cTarvelString cTarvelInventory::ItemResource(const cTarvelString& name, const cTarvelString& state)
{
    return name + "." + state;
}

bool cTarvelInventory::ItemExists(const cTarvelString& name, const cTarvelString& state)
{
    return gTarvel.mResources.Exists(ItemResource(name, state).c_str(), kItemResourceType);
}

cTarvelString cTarvelInventory::LoadFailure(const cTarvelString& name, const cTarvelString& resource)
{
    // Named, since an item added before the first scene is looked up with
    // an empty game state ("key." rather than "key.day").
    return "Loading inventory item failed. Item \"" + name + "\", resource \"" + resource + "\".";
}

sInventoryItem* cTarvelInventory::LoadItem(const char* name, const char* function)
{
    cTarvelResource& resources = gTarvel.mResources;
    const cTarvelString resource = ItemResource(name, gTarvel.mGameState);
    // The archive itself would end the process on an unknown name, with its
    // own message.
    const int slot = resources.Exists(resource.c_str(), kItemResourceType)
                         ? resources.OpenResource(resource.c_str(), kItemResourceType)
                         : -1;
    if (slot < 0)
        gTarvel.FatalError(0, kSourceFile, 96, function, LoadFailure(name, resource), 0);
    auto script = std::make_unique<cTarvelScript>();
    script->ReadSymbolTable(slot, cTarvelString(name));
    resources.CloseResource(slot);
    auto* item = new sInventoryItem;
    item->name = name;
    item->script = script.release();
    item->object = item->script->FindSymbol(name, "cInventoryItem");
    return item;
}

void cTarvelInventory::DeleteItem(sInventoryItem* item)
{
    if (!item)
        return;
    delete item->script;
    delete item->image;
    delete item;
}

int32_t cTarvelInventory::IndexOf(const sInventoryItem* item) const
{
    for (int32_t i = 0; i < mItems.count; ++i)
        if (mItems.data[i] == item)
            return i;
    return -1;
}

bool cTarvelInventory::Contains(const sInventoryItem* item) const
{
    return item && (item == mTemporary || IndexOf(item) >= 0);
}

int32_t cTarvelInventory::FindItem(const char* name) const
{
    // Removed records are passed over: an item removed and added again in
    // one frame stays, and a second removal finds the new record.
    for (int32_t i = 0; i < mItems.count; ++i)
        if (!mItems.data[i]->removed && mItems.data[i]->name == name)
            return i;
    return -1;
}

int32_t cTarvelInventory::AddItem(const char* name, bool quiet)
{
    const int32_t found = FindItem(name);
    if (found >= 0)
        return found;
    sInventoryItem* item = LoadItem(name, "cTarvelInventory::AddItem");
    mItems.Add(item);
    BindIndex(item, mItems.count - 1);
    if (cTarvelScriptValue* pc = item->script->FindSymbol("PC", "cActor"))
        pc->object = gTarvel.mPlayer ? gScriptHandles.Bind(gTarvel.mPlayer, eScriptObjectType::Actor) : 0;
    if (item->object)
        item->script->CallEvent(item->object, "OnLoad");
    // "OnLoad" may have changed the inventory, this item included.
    const int32_t index = IndexOf(item);
    if (index >= 0 && !quiet) {
        mNewItems.Add(index);
        mPresentationStart = Now();
    }
    return index;
}

void cTarvelInventory::RemoveItem(int32_t index)
{
    if (index < 0 || index >= mItems.count)
        return;
    sInventoryItem* item = mItems.data[index];
    item->removed = 1;
    if (mSelected == item)
        mSelected = nullptr;
    auto shownFromFirst = [this] {
        int32_t shown = 0;
        for (int32_t i = mFirst; i < mItems.count; ++i)
            shown += mItems.data[i]->removed ? 0 : 1;
        return shown;
    };
    // Scroll back while the bar would show empty cells.
    while (mFirst > 0 && shownFromFirst() < kVisibleItems)
        --mFirst;
}

void cTarvelInventory::SetItemImage(const char* itemName, const char* imageName)
{
    const int32_t index = FindItem(itemName);
    if (index < 0)
        return;
    sInventoryItem* item = mItems.data[index];
    delete item->image;
    item->image = nullptr;
    auto* image = new cTarvelImage(false);
    image->ReadFile(imageName);
    image->mInventoryImage = 1;
    image->mName = imageName;
    item->image = image;
}

void cTarvelInventory::SelectTempItem(const char* name)
{
    sInventoryItem* item = LoadItem(name, "cTarvelInventory::SelectTempItem");
    if (mSelected == mTemporary)
        mSelected = nullptr;
    DeleteItem(mTemporary);
    mTemporary = item;
    BindIndex(item, kTemporaryIndex);
    if (item->object)
        item->script->CallEvent(item->object, "OnLoad");
    // "OnLoad" may have replaced or dropped the temporary item.
    if (mTemporary == item)
        SelectItem(item);
}

void cTarvelInventory::SelectItem(sInventoryItem* item)
{
    if (!Contains(item) || item->removed)
        return;
    mSelected = item;
    mSelectionStart = Now();
}

void cTarvelInventory::UnselectItem()
{
    if (mSelected && mSelected == mTemporary) {
        DeleteItem(mTemporary);
        mTemporary = nullptr;
    }
    mSelected = nullptr;
}

sInventoryItem* cTarvelInventory::ItemAt(int32_t index)
{
    if (index == kTemporaryIndex)
        return mTemporary;
    if (index < 0 || index >= mItems.count)
        return nullptr;
    return mItems.data[index];
}

bool cTarvelInventory::HitTest()
{
    mHover = nullptr;
    const int32_t x = gTarvel.mGameplay.mMouseX;
    if (x >= kRightArrowX || x <= kArrowWidth)
        return false;
    const int32_t index = (x - kArrowWidth) / kCell + mFirst;
    if (index < 0 || index >= mItems.count)
        return false;
    mHover = mItems.data[index];
    return true;
}

int32_t cTarvelInventory::ClickedIndex()
{
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    const int32_t x = gameplay.mMouseX;
    const int32_t y = gameplay.mMouseY;
    if (y > kBarTop && x > kRightArrowX) {
        if (mItems.count > mFirst + kVisibleItems)
            ++mFirst;
        return -1;
    }
    if (y > kBarTop && x < kArrowWidth) {
        if (mFirst > 0)
            --mFirst;
        return -1;
    }
    // The cells between the arrows, as the hit test counts them: a click
    // elsewhere reaches no item that the bar does not show.
    if (x >= kRightArrowX || x <= kArrowWidth)
        return -1;
    const int32_t index = (x - kArrowWidth) / kCell + mFirst;
    if (index < 0 || index >= mItems.count)
        return -1;
    BindIndex(mItems.data[index], index);
    return index;
}

void cTarvelInventory::UseItemAt()
{
    const int32_t index = ClickedIndex();
    if (index < 0)
        return;
    sInventoryItem* item = mItems.data[index];
    cTarvelScript* script = item->script;
    if (mSelected) {
        if (item->object && script->FindQualified(item->object, "DoInventory"))
            script->CallEvent(item->object, "DoInventory");
        return;
    }
    if (item->noVerbs) {
        if (item->object)
            script->CallEvent(item->object, "Do");
        return;
    }
    gTarvel.mVerbBar.Show(script, item->object, VerbBarX(gTarvel.mGameplay.mMouseX), kVerbBarY);
}

void cTarvelInventory::SelectItemAt()
{
    const int32_t index = ClickedIndex();
    if (index < 0)
        return;
    sInventoryItem* item = mItems.data[index];
    if (item->noVerbs)
        return;
    // The first click of the double click opened the item's verb bar.
    cTarvelVerbBar& bar = gTarvel.mVerbBar;
    if (!bar.mOpen || bar.mCentreX != VerbBarX(gTarvel.mGameplay.mMouseX) || bar.mCentreY != kVerbBarY)
        return;
    bar.Close();
    item->script->CallEvent(item->object, "DoSelect");
}

void cTarvelInventory::Clear()
{
    for (sInventoryItem* item : mItems)
        DeleteItem(item);
    mItems.Clear();
    DeleteItem(mTemporary);
    mTemporary = nullptr;
    mFirst = 0;
    mSelected = nullptr;
    mHover = nullptr;
    mNewItems.Clear();
}

void cTarvelInventory::Push()
{
    mPushedNames.Clear();
    for (const sInventoryItem* item : mItems)
        if (!item->removed)
            mPushedNames.Add(item->name);
    mFirst = 0;
    mPushed = 1;
    Clear();
}

void cTarvelInventory::Pop()
{
    if (!mPushed)
        return;
    Clear();
    // The items' "OnLoad" may push or pop again: work on a copy.
    const tArray<cTarvelString> names = mPushedNames;
    mPushedNames.Clear();
    mFirst = 0;
    mPushed = 0;
    for (const cTarvelString& name : names)
        AddItem(name.c_str(), true);
}

bool cTarvelInventory::HasNotice(int32_t code) const
{
    for (int32_t entry : mNewItems)
        if (entry == code)
            return true;
    return false;
}

bool cTarvelInventory::AddNotice(int32_t code)
{
    if (code < kNoticePhone || code > kNoticeAudio || HasNotice(code))
        return false;
    mNewItems.Add(code);
    mPresentationStart = Now();
    return true;
}

void cTarvelInventory::Save(cTarvelSavegame& savegame) const
{
    savegame.WriteInt("First", mFirst);
    savegame.WriteInt("Pushed", mPushed ? 1 : 0);
    // Every item and every pushed name: a savegame that left some out
    // would lose them for good.
    for (const sInventoryItem* item : mItems) {
        if (item->removed)
            continue;
        savegame.AddElement("Item");
        savegame.SetAttributeString("name", item->name);
        if (item->image)
            savegame.WriteString("Image", item->image->mName);
        if (item->object)
            savegame.WriteString("Symbol", item->object->name);
        savegame.WriteInt("NoVerbs", item->noVerbs ? 1 : 0);
        savegame.LeaveElement();
    }
    for (const cTarvelString& name : mPushedNames) {
        savegame.AddElement("PItem");
        savegame.SetAttributeString("name", name);
        savegame.LeaveElement();
    }
}

void cTarvelInventory::Load(cTarvelSavegame& savegame)
{
    Clear();
    mPushedNames.Clear();
    const int32_t first = savegame.ReadInt("First", 0);
    // Without "Pushed" nothing was pushed: a Pop would otherwise empty the
    // inventory.
    mPushed = savegame.ReadInt("Pushed", 0) != 0 ? 1 : 0;
    tArray<cTarvelString> items;
    if (savegame.EnterElement("Item")) {
        do {
            const cTarvelString name = savegame.GetAttributeString("name", "");
            if (name.Length() > 0)
                items.Add(name);
        } while (savegame.NextElement("Item"));
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("PItem")) {
        do {
            const cTarvelString name = savegame.GetAttributeString("name", "");
            if (name.Length() > 0)
                mPushedNames.Add(name);
        } while (savegame.NextElement("PItem"));
        savegame.LeaveElement();
    }
    // The items' scripts run only once the element has been read: they may
    // change the inventory, and the cursor must not move under them.
    for (const cTarvelString& name : items)
        AddItem(name.c_str(), true);
    mFirst = std::clamp(first, 0, std::max(0, mItems.count - kVisibleItems));
}

void cTarvelInventory::Compact()
{
    for (int32_t i = 0; i < mItems.count;) {
        sInventoryItem* item = mItems.data[i];
        if (!item->removed) {
            BindIndex(item, i);
            ++i;
            continue;
        }
        // The queue's later indices move up with their records.
        for (int32_t q = 0; q < mNewItems.count;) {
            int32_t& entry = mNewItems.data[q];
            if (entry == i) {
                mNewItems.RemoveAt(q);
                continue;
            }
            if (entry > i)
                --entry;
            ++q;
        }
        if (mHover == item)
            mHover = nullptr;
        if (mSelected == item)
            mSelected = nullptr;
        mItems.RemoveAt(i);
        DeleteItem(item);
    }
}

void cTarvelInventory::DrawQueue()
{
    if (mNewItems.count == 0)
        return;
    const float t = SecondsSince(mPresentationStart);
    const int32_t head = mNewItems.data[0];
    cTarvelImage* image = nullptr;
    if (head >= 0 && head < mItems.count)
        image = mItems.data[head]->image;
    else
        image = gTarvel.mPDA.NoticeImage(head);
    if (t > kPresentEndSeconds) {
        if (image)
            image->SetAlpha(255);
        mNewItems.RemoveAt(0);
        mPresentationStart = Now();
        return;
    }
    if (!image)
        return;
    const float size = 10.0f * t + 98.0f;
    image->SetRect(float(kScreenWidth - kCell) + (float(kCell) - size) / 2.0f, (float(kCell) - size) / 2.0f, size,
                   size);
    if (t > kPresentSeconds)
        image->SetAlpha(int32_t(255.0f * (kPresentEndSeconds - t)));
    image->Draw(true, true);
}

void cTarvelInventory::DrawBar()
{
    const uint32_t flags = gTarvel.mGameplay.mStateFlags;
    if (!(flags & cTarvelGameplay::kInventoryShown))
        return;
    float progress = 1.0f;
    if (mBarState == kOpening) {
        progress = 6.0f * SecondsSince(mBarStart);
        if (progress >= 1.0f) {
            mBarState = kOpen;
            progress = 1.0f;
        }
    } else if (mBarState == kClosing) {
        const float p = SecondsSince(mBarStart);
        if (p > 1.0f)
            mBarState = kClosed;
        else
            progress = 1.0f - p;
    }
    const bool moving = mBarState == kOpening || mBarState == kClosing;
    const bool lit = mBarState != kClosed;
    const bool still = mBarState == kOpen;
    // Through the bar's effect unless open and still.
    const cTarvelShaderBinding* bar = still ? nullptr : &mBarBinding;

    // The arrows and the highlight take the background's brightness.
    const float barIntens = moving ? std::min(std::max(progress + 0.5f, 0.5f), 1.0f) : 0.5f;
    DrawThrough(mBackground, bar, barIntens, 0.0f);

    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    const bool below = gameplay.mMouseY > kBarTop;
    auto drawArrow = [&](cTarvelImage* arrow, bool hovered) {
        if (!arrow)
            return;
        const int32_t height = arrow->mHeader.height;
        if (lit && hovered) {
            arrow->SetTextureRect(kArrowWidth, 0, 2 * kArrowWidth, height);
            if (gCinematics.count == 0)
                gTarvel.mGraphics.mCursorKind = kArrowCursor;
        } else {
            arrow->SetTextureRect(0, 0, kArrowWidth, height);
        }
        DrawThrough(arrow, bar, barIntens, 0.0f);
    };
    if (mItems.count > mFirst + kVisibleItems)
        drawArrow(mRightArrow, below && gameplay.mMouseX > kRightArrowX);
    if (mFirst > 0)
        drawArrow(mLeftArrow, below && gameplay.mMouseX < kArrowWidth);

    const int32_t selected = mSelected ? IndexOf(mSelected) : -1;
    if (mHighlight && selected >= mFirst && selected < mFirst + kVisibleItems) {
        const int32_t x = kArrowWidth + kCell * (selected - mFirst);
        mHighlight->SetRect(float(x), float(kBarTop), float(kCell), float(kCell));
        mHighlight->SetTextureRect(x, 0, x + kCell, kCell);
        DrawThrough(mHighlight, bar, barIntens, 0.0f);
    }

    float itemIntens0 = 1.0f / 6.0f;
    float itemIntens1 = 0.0f;
    if (moving) {
        itemIntens0 = progress <= 0.5f ? 1.0f / 6.0f : (1.0f - progress) / 3.0f;
        itemIntens1 = progress;
    }
    for (int32_t k = 0; k < kVisibleItems && mFirst + k < mItems.count; ++k) {
        cTarvelImage* image = mItems.data[mFirst + k]->image;
        if (!image)
            continue;
        image->SetRect(float(kArrowWidth + kCell * k), float(kBarTop + 1), -1.0f, -1.0f);
        DrawThrough(image, still ? nullptr : &mItemBinding, itemIntens0, itemIntens1, true);
    }
}

void cTarvelInventory::Render()
{
    HitTest();
    Compact();
    DrawQueue();
    if (mSelected && mSelected->image) {
        const float size = 10.0f * std::sin(SecondsSince(mSelectionStart)) + 98.0f;
        const float corner = (float(kCell) - size) / 2.0f;
        mSelected->image->SetRect(corner, corner, size, size);
        mSelected->image->Draw(true, true);
    }
    DrawBar();
}

void cTarvelInventory::Release()
{
    Clear();
    mPushedNames.Clear();
    delete mBackground;
    delete mHighlight;
    delete mLeftArrow;
    delete mRightArrow;
    mBackground = mHighlight = mLeftArrow = mRightArrow = nullptr;
}
