#include "engine/gameplay/control.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script_handles.h"

namespace {

constexpr int32_t kHighestClass = 7;

tControlLoader& LoaderSlot(int32_t classId)
{
    static tControlLoader loaders[kHighestClass + 1] = {};
    return loaders[classId];
}

bool IsSavedClass(int32_t classId)
{
    return classId == 1 || classId == 2 || classId == 4 || classId == 6 || classId == 7;
}

}  // namespace

cTarvelControl::cTarvelControl(int32_t classId) : mClassId(classId) {}

cTarvelControl::~cTarvelControl()
{
    gScriptHandles.Release(this);
}

void cTarvelControl::Update() {}

void cTarvelControl::CollectRenderItems(tArray<sRenderItem>&, int) {}

void cTarvelControl::Save(cTarvelSavegame&) {}

void cTarvelControl::SaveClass(cTarvelSavegame& savegame) const
{
    savegame.SetAttributeInt("class", mClassId);
}

bool RegisterControlClass(int32_t classId, tControlLoader loader)
{
    if (!IsSavedClass(classId))
        return false;
    LoaderSlot(classId) = loader;
    return true;
}

void UpdateActiveControls()
{
    // By index and against the live count: updates may append controls.
    for (int32_t i = 0; i < gActiveControls.Count();) {
        cTarvelControl* control = gActiveControls.data[i];
        if (!control) {
            ++i;
            continue;
        }
        control->Update();
        if (control->mFinished) {
            // The update may have moved the list; find the control again.
            for (int32_t k = 0; k < gActiveControls.Count(); ++k)
                if (gActiveControls.data[k] == control) {
                    gActiveControls.RemoveAt(k);
                    if (k < i)
                        --i;
                    break;
                }
            delete control;
            continue;
        }
        ++i;
    }
}

void SaveActiveControls(cTarvelSavegame& savegame)
{
    for (cTarvelControl* control : gActiveControls) {
        if (!control)
            continue;
        savegame.mCurrent = savegame.mRoot;
        savegame.AddElement("Control");
        control->Save(savegame);
    }
    savegame.mCurrent = savegame.mRoot;
}

void LoadActiveControls(cTarvelSavegame& savegame)
{
    savegame.mCurrent = savegame.mRoot;
    if (!savegame.mRoot || !savegame.EnterElement("Control"))
        return;
    do {
        const int32_t classId = savegame.GetAttributeInt("class", 0);
        if (IsSavedClass(classId)) {
            if (tControlLoader loader = LoaderSlot(classId)) {
                TiXmlElement* element = savegame.mCurrent;
                if (cTarvelControl* control = loader(savegame))
                    gActiveControls.Add(control);
                // A loader that wanders off must not derail the walk.
                savegame.mCurrent = element;
            }
        }
    } while (savegame.NextElement("Control"));
    savegame.mCurrent = savegame.mRoot;
}

void SortRenderItems(tArray<sRenderItem>& list)
{
    const int32_t count = list.Count();
    sRenderItem* items = list.Data();
    for (int32_t i = 0; i < count; ++i)
        for (int32_t j = i + 1; j < count; ++j)
            if (items[i].key < items[j].key) {
                const sRenderItem swap = items[i];
                items[i] = items[j];
                items[j] = swap;
            }
}
