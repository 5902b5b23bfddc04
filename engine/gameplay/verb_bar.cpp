#include "engine/gameplay/verb_bar.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/maths.h"
#include "engine/core/tarvel.h"
#include "engine/gameplay/gameplay.h"
#include "engine/gameplay/region_set.h"
#include "engine/render/graphics.h"
#include "engine/render/image.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/scene.h"

namespace {

// The player's head follows the hotspot under this look-at id while the bar
// is open.
constexpr int32_t kLookAtId = 1000;
constexpr float kLookAtSpeed = 1.0f;
constexpr int32_t kPointerCursor = 4;

// Centre offsets of the icons, per number of verbs. Five verbs sit on the
// corners and the middle, so that each keeps a place of its own.
constexpr int32_t kLayout[cTarvelVerbBar::kMaxVerbs][cTarvelVerbBar::kMaxVerbs][2] = {
    {{0, -48}},
    {{-48, -48}, {48, -48}},
    {{0, -48}, {-48, 48}, {48, 48}},
    {{-16, -48}, {-48, 0}, {48, 0}, {16, 48}},
    {{-48, -48}, {48, -48}, {-48, 48}, {48, 48}, {0, 0}},
};

} // namespace

cTarvelVerbBar::cTarvelVerbBar()
{
    mTypeId = kVerbBar;
}

cTarvelVerbBar::~cTarvelVerbBar() = default;

void cTarvelVerbBar::Init()
{
    BindEffects();
}

void cTarvelVerbBar::Release()
{
    ReleaseResources();
}

void cTarvelVerbBar::Offset(int32_t count, int32_t i, int32_t& dx, int32_t& dy)
{
    dx = 0;
    dy = 0;
    if (count < 1 || count > kMaxVerbs || i < 0 || i >= count)
        return;
    dx = kLayout[count - 1][i][0];
    dy = kLayout[count - 1][i][1];
}

void cTarvelVerbBar::Show(cTarvelScript* script, cTarvelScriptValue* object, int32_t x, int32_t y)
{
    if (x == 0 && y == 0) {
        x = gTarvel.mGameplay.mMouseX;
        y = gTarvel.mGameplay.mMouseY;
    }
    mCentreX = x;
    mCentreY = y;
    Open(script, object, "OnVerbBar");
}

void cTarvelVerbBar::AddVerb(const cTarvelString& verb, const cTarvelString& label, const cTarvelString& function,
                             cTarvelRegionSet* hotspot, cTarvelActor* actor, cTarvelScript* itemScript,
                             cTarvelScriptValue* itemObject)
{
    if (std::strcmp(verb.c_str(), "inventory") == 0)
        return;
    if (mEntries.Count() >= kMaxVerbs) {
        // The ring has no place for it.
        std::fprintf(stderr, "Verb bar: more than %d verbs, \"%s\" is left out\n", int(kMaxVerbs), verb.c_str());
        return;
    }
    sBarEntry entry;
    entry.hotspot = hotspot;
    entry.actor = actor;
    entry.itemScript = itemScript;
    entry.itemSerial = itemScript ? itemScript->mSerial : 0;
    entry.itemObject = itemObject;
    entry.function = function;
    entry.label = label;
    AddEntry(cTarvelString("verb-") + verb, entry);

    cTarvelActor* player = gTarvel.mPlayer;
    if (mEntries.Count() != 1 || !hotspot || !hotspot->mLookAtValid || !player)
        return;
    const float* point = hotspot->mLookAt;
    player->SetLookAt(point[0], point[1], point[2], kLookAtId, kLookAtSpeed);
    cTarvelActorControl* control = player->mControl;
    if (!control)
        return;
    float position[3] = {};
    control->GetPosition(position);
    // Turned the way a walk toward the point would face.
    const D3DXVECTOR3 direction(point[0] - position[0], 0.0f, point[2] - position[2]);
    D3DXQUATERNION rotation;
    QuaternionFromDirection(&rotation, &direction);
    control->TurnTo(rotation, 45.0f, true);
}

void cTarvelVerbBar::Close()
{
    FadeOut();
    if (cTarvelActor* player = gTarvel.mPlayer)
        player->RemoveLookAt(kLookAtId, kLookAtSpeed);
    if (cTarvelScene* scene = gTarvel.mScene)
        scene->mObjectUnderCursor = false;
}

void cTarvelVerbBar::Run(const sBarEntry& entry)
{
    if (entry.hotspot) {
        entry.hotspot->ExecuteVerb(entry.function);
    } else if (entry.actor) {
        entry.actor->RunVerbEvent(entry.function);
    } else if (entry.itemScript && gTarvel.IsScriptLive(entry.itemScript, entry.itemSerial)) {
        entry.itemScript->CallEvent(entry.itemObject, entry.function.c_str());
    }
}

bool cTarvelVerbBar::Update()
{
    if (!mOpen)
        return false;
    const cTarvelGameplay& gameplay = gTarvel.mGameplay;
    const int32_t x = gameplay.mMouseX - mCentreX;
    const int32_t y = gameplay.mMouseY - mCentreY;
    if (TakeRightClick() || std::abs(x) > kReach || std::abs(y) > kReach) {
        Close();
        return true;
    }
    mHovered = -1;
    const int32_t count = mEntries.Count();
    for (int32_t i = 0; i < count; ++i) {
        int32_t dx = 0;
        int32_t dy = 0;
        Offset(count, i, dx, dy);
        if (std::abs(x - dx) < kIconSize / 2 && std::abs(y - dy) < kIconSize / 2) {
            mHovered = i;
            break;
        }
    }
    if (TakeLeftClick()) {
        if (mState == kShown) {
            // The choice may show the bar again, which empties the entries.
            const bool chosen = mHovered >= 0;
            const sBarEntry entry = chosen ? mEntries[mHovered] : sBarEntry();
            Close();
            if (chosen)
                Run(entry);
            return true;
        }
        // Still fading in: the click belongs to the inventory item below
        // (the second click of a double click on it).
        gTarvel.mInventory.SelectItemAt();
    }
    StartIcons();
    gTarvel.mGraphics.mCursorKind = kPointerCursor;
    return true;
}

void cTarvelVerbBar::Render()
{
    if (!mLaidOut) {
        const int32_t count = mEntries.Count();
        for (int32_t i = 0; i < count; ++i) {
            int32_t dx = 0;
            int32_t dy = 0;
            Offset(count, i, dx, dy);
            if (cTarvelImage* icon = mEntries[i].icon)
                icon->SetRect(float(mCentreX + dx - kIconSize / 2), float(mCentreY + dy - kIconSize / 2), -1.0f,
                              -1.0f);
        }
        mLaidOut = true;
    }
    float intensity = 0.0f;
    if (!Fade(intensity))
        return;
    DrawIcons(intensity);
}
