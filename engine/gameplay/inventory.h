#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "engine/render/shader_lib.h"

class cTarvelImage;
class cTarvelSavegame;
class cTarvelScript;
class cTarvelScriptValue;

// One item: its own script machine, loaded from the item resource of its
// name, and the picture the bar shows.
struct sInventoryItem {
    cTarvelString name;
    // Set by the item's script; the tooltip names the item in hand by it.
    cTarvelString displayName;
    cTarvelImage* image = nullptr;        // owned, may be null
    cTarvelScript* script = nullptr;      // owned
    // The script's "cInventoryItem" object named like the item; its object
    // field holds the item's index (kTemporaryIndex for the temporary item).
    cTarvelScriptValue* object = nullptr;
    // Dropped at the next drawing of the bar.
    uint8_t removed = 0;
    // A click runs the item's "Do" instead of opening the verb bar.
    uint8_t noVerbs = 0;
};

// The player's inventory: the items in the bar along the bottom of the
// screen, one temporary item selected outside it, the new-item queue and
// the pushed inventory.
class cTarvelInventory {
public:
    // Bar states.
    static constexpr int32_t kClosed = 1;
    static constexpr int32_t kOpen = 2;
    static constexpr int32_t kOpening = 3;
    static constexpr int32_t kClosing = 4;
    // Items the bar shows at once.
    static constexpr int32_t kVisibleItems = 7;
    // The bound index of the temporary item.
    static constexpr int32_t kTemporaryIndex = -10;
    // Codes of the PDA's notices in the new-item queue.
    static constexpr int32_t kNoticeAudio = -1;
    static constexpr int32_t kNoticeMail = -2;
    static constexpr int32_t kNoticePhone = -3;

    cTarvelInventory();
    ~cTarvelInventory();
    cTarvelInventory(const cTarvelInventory&) = delete;
    cTarvelInventory& operator=(const cTarvelInventory&) = delete;

    // Binds the bar's effects and loads its four pictures; 0.
    int InitInterface();
    // Pops the bar up (toggling the pop-up flag of the interface flags) or
    // turns a closing bar back.
    void Show();
    // Closes the bar and clears the pop-up flag.
    void Hide();
    // Each scene start: closed, no pop-up.
    void Enable();

    // The index of the item of that name, adding it (its script loaded and
    // its "OnLoad" run) when there is none; quiet adds are not presented.
    // A missing item resource is fatal.
    int32_t AddItem(const char* name, bool quiet);
    // The index of the first item of that name that is not removed; -1.
    int32_t FindItem(const char* name) const;
    // Marks the item removed; it leaves the list at the next drawing.
    void RemoveItem(int32_t index);
    void SetItemImage(const char* itemName, const char* imageName);
    // Loads an item outside the list and selects it.
    void SelectTempItem(const char* name);
    // Selects an item of the list or the temporary item, stamped now.
    void SelectItem(sInventoryItem* item);
    void UnselectItem();
    // The record a script's bound value selects: 0 to count - 1 or
    // kTemporaryIndex; null for any other.
    sInventoryItem* ItemAt(int32_t index);
    // True while item is a record of this inventory (the list or the
    // temporary item); holders of a record test it before using it.
    bool Contains(const sInventoryItem* item) const;

    // The item under the cursor (the hover item); true when there is one.
    bool HitTest();
    // A click and a double click on the bar.
    void UseItemAt();
    void SelectItemAt();

    void Clear();
    void Push();
    void Pop();

    // A PDA notice (kNoticeAudio, kNoticeMail, kNoticePhone) joins the
    // new-item queue, presented with the PDA's picture of it; false, and
    // nothing changes, while that code is queued already.
    bool AddNotice(int32_t code);
    bool HasNotice(int32_t code) const;

    // The "Inventory" element: written into and read from the savegame's
    // current element.
    void Save(cTarvelSavegame& savegame) const;
    void Load(cTarvelSavegame& savegame);
    // The item resource's name in a game state, and whether the archive has
    // it: a savegame's items are checked before a load replaces anything.
    static cTarvelString ItemResource(const cTarvelString& name, const cTarvelString& state);
    static bool ItemExists(const cTarvelString& name, const cTarvelString& state);
    // "Loading inventory item failed." with the item and the resource tried.
    static cTarvelString LoadFailure(const cTarvelString& name, const cTarvelString& resource);

    // Drops removed items, then draws the queue, the item in hand and the
    // bar; once a frame.
    void Render();
    // At shutdown.
    void Release();

    cTarvelShaderBinding mItemBinding{};
    cTarvelShaderBinding mBarBinding{};
    cTarvelImage* mBackground = nullptr;   // owned
    cTarvelImage* mHighlight = nullptr;    // owned
    cTarvelImage* mLeftArrow = nullptr;    // owned
    cTarvelImage* mRightArrow = nullptr;   // owned
    // Item indices and notice codes waiting to be presented; the head is
    // shown since mPresentationStart (game time, ms).
    tArray<int32_t> mNewItems;
    uint32_t mPresentationStart = 0;
    uint32_t mBarStart = 0;
    int32_t mBarState = kClosed;
    uint32_t mSelectionStart = 0;
    sInventoryItem* mTemporary = nullptr;   // owned
    sInventoryItem* mSelected = nullptr;
    sInventoryItem* mHover = nullptr;
    int32_t mFirst = 0;
    uint8_t mPushed = 0;
    // Owned records: a record keeps its address while it lives, so the
    // selection and the verb bar's entries can point at it.
    tArray<sInventoryItem*> mItems;
    tArray<cTarvelString> mPushedNames;

private:
    // Loads the item resource into a new record with its script and object;
    // function names the caller in the fatal error.
    sInventoryItem* LoadItem(const char* name, const char* function);
    // Deletes the record with its script and image.
    static void DeleteItem(sInventoryItem* item);
    int32_t IndexOf(const sInventoryItem* item) const;
    // The click's item: the bar's arrows scroll (then -1), else the index
    // under the cursor, -1 when there is none.
    int32_t ClickedIndex();
    // Drops removed records, renumbering the later ones.
    void Compact();
    void DrawQueue();
    void DrawBar();
};
