#include "engine/script/script_api.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/region_set.h"
#include "engine/gameplay/verb_bar.h"
#include "engine/render/image.h"
#include "engine/render/shadow.h"
#include "engine/script/script.h"
#include "engine/world/actor.h"
#include "engine/world/light.h"
#include "engine/world/light_set.h"
#include "engine/world/mobile.h"
#include "engine/world/particle_sparkle.h"
#include "engine/world/scene.h"
#include "engine/world/scene_mesh.h"
#include "engine/world/view.h"

// ---- Hotspots and paths ----------------------------------------------------

namespace {

cTarvelRegionSet* BoundRegion(const tScriptFrame* frame)
{
    return ScriptBound<cTarvelRegionSet>(frame, eScriptObjectType::SceneObject);
}

cTarvelRegionSet* BoundRegionWithArguments(const tScriptFrame* frame)
{
    return ScriptHasArguments(frame) ? BoundRegion(frame) : nullptr;
}

// The object a back link may keep: the call object when it is one of the
// calling machine's globals, else that machine's global of its name and
// class. A this popped off the stack is a temporary the next call reuses.
cTarvelScriptValue* LastingCallObject(const tScriptFrame* frame)
{
    cTarvelScriptValue* self = frame->thisValue;
    cTarvelScript* machine = frame->machine;
    if (!self || !machine)
        return self;
    for (cTarvelScriptValue& global : machine->mGlobals)
        if (&global == self)
            return self;
    return machine->FindSymbol(self->name.c_str(), self->className.c_str());
}

// The scene object at index of the current scene, bound to the call object
// both ways; null (nothing bound) for an index outside the scene's objects.
cTarvelRegionSet* BindRegion(tScriptFrame* frame)
{
    cTarvelScene* scene = gTarvel.mScene;
    const int32_t index = ScriptArgInt(frame, 0);
    if (!ScriptHasArguments(frame) || !frame->thisValue || !scene || index < 0 || index >= scene->mHotspots.Count())
        return nullptr;
    cTarvelRegionSet* region = scene->mHotspots[index];
    if (!region)
        return nullptr;
    const uint32_t handle = gScriptHandles.Bind(region, eScriptObjectType::SceneObject);
    region->mObject = LastingCallObject(frame);
    if (region->mObject)
        region->mObject->object = handle;
    frame->thisValue->object = handle;
    return region;
}

int32_t PutFlag(tScriptFrame* frame, bool cTarvelRegionSet::*flag)
{
    cTarvelRegionSet* region = BoundRegionWithArguments(frame);
    if (!region)
        return -1;
    region->*flag = ScriptArgBool(frame, 0);
    return 0;
}

int32_t GetFlag(tScriptFrame* frame, bool cTarvelRegionSet::*flag)
{
    cTarvelRegionSet* region = BoundRegion(frame);
    if (!region)
        return -1;
    ScriptSetResultBool(frame, region->*flag);
    return 0;
}

} // namespace

int32_t cHotspot__init(tScriptFrame* frame)
{
    cTarvelRegionSet* region = BindRegion(frame);
    if (!region)
        return -1;
    region->mName = ScriptArgString(frame, 1);
    return 0;
}

int32_t cPath__init(tScriptFrame* frame)
{
    cTarvelRegionSet* region = BindRegion(frame);
    if (!region)
        return -1;
    region->mIsPath = true;
    region->mPathFlag = ScriptArgBool(frame, 1);
    return 0;
}

int32_t cHotspot__getEnabled(tScriptFrame* frame) { return GetFlag(frame, &cTarvelRegionSet::mEnabled); }
int32_t cHotspot__putEnabled(tScriptFrame* frame) { return PutFlag(frame, &cTarvelRegionSet::mEnabled); }
int32_t cHotspot__getNoVerbs(tScriptFrame* frame) { return GetFlag(frame, &cTarvelRegionSet::mNoVerbs); }
int32_t cHotspot__putNoVerbs(tScriptFrame* frame) { return PutFlag(frame, &cTarvelRegionSet::mNoVerbs); }
int32_t cHotspot__getLeaveRoom(tScriptFrame* frame) { return GetFlag(frame, &cTarvelRegionSet::mLeaveRoom); }
int32_t cHotspot__putLeaveRoom(tScriptFrame* frame) { return PutFlag(frame, &cTarvelRegionSet::mLeaveRoom); }
int32_t cPath__getNoTeleport(tScriptFrame* frame) { return GetFlag(frame, &cTarvelRegionSet::mNoTeleport); }
int32_t cPath__putNoTeleport(tScriptFrame* frame) { return PutFlag(frame, &cTarvelRegionSet::mNoTeleport); }
int32_t cPath__getNoWalking(tScriptFrame* frame) { return GetFlag(frame, &cTarvelRegionSet::mNoWalking); }
int32_t cPath__putNoWalking(tScriptFrame* frame) { return PutFlag(frame, &cTarvelRegionSet::mNoWalking); }

int32_t cHotspot__setLookatPoint(tScriptFrame* frame)
{
    cTarvelRegionSet* region = BoundRegionWithArguments(frame);
    if (!region)
        return -1;
    for (int32_t i = 0; i < 3; ++i)
        region->mLookAt[i] = ScriptArgFloat(frame, i);
    region->mLookAtValid = true;
    return 0;
}

// One entry point for hotspots, paths and lights: the handle's type says
// which record the three floats go to.
int32_t cHotspot__setPathfinderDestination(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame) || !frame->thisValue)
        return -1;
    float values[3];
    for (int32_t i = 0; i < 3; ++i)
        values[i] = ScriptArgFloat(frame, i);
    const uint32_t handle = frame->thisValue->object;
    switch (cTarvelScriptHandles::TypeOf(handle)) {
    case eScriptObjectType::SceneObject:
        if (cTarvelRegionSet* region = gScriptHandles.Get<cTarvelRegionSet>(handle, eScriptObjectType::SceneObject)) {
            // x, z and the facing of the walk target, in the script's order.
            for (int32_t i = 0; i < 3; ++i)
                region->mDestination[i] = values[i];
            return 0;
        }
        break;
    case eScriptObjectType::Light:
        if (cTarvelLight* light = gScriptHandles.Get<cTarvelLight>(handle, eScriptObjectType::Light)) {
            light->mPosition = D3DXVECTOR3(values[0], values[1], values[2]);
            return 0;
        }
        break;
    default:
        break;
    }
    return -1;
}

int32_t cHotspot__addVerb(tScriptFrame* frame)
{
    cTarvelRegionSet* region = BoundRegionWithArguments(frame);
    if (!region)
        return -1;
    gTarvel.mVerbBar.AddVerb(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2), region,
                             nullptr);
    return 0;
}

int32_t cPath__feedPathfinder(tScriptFrame* frame)
{
    cTarvelRegionSet* region = BoundRegion(frame);
    if (!region)
        return -1;
    region->FeedPathfinder();
    return 0;
}




// ---- Lights ----------------------------------------------------------------

namespace {

cTarvelLight* BoundLight(const tScriptFrame* frame)
{
    return ScriptHasArguments(frame) ? ScriptBound<cTarvelLight>(frame, eScriptObjectType::Light) : nullptr;
}

// The shadow of this light cast by the caster (argument 0) in the view
// (argument 1); fails without the light, caster or view.
int32_t CastShadow(tScriptFrame* frame, bool onScenery)
{
    cTarvelLight* light = BoundLight(frame);
    if (!light)
        return -1;
    cTarvelMobile* caster = ScriptMobileOf<cTarvelActor, cTarvelMobile>(ScriptArgument(frame, 0));
    cTarvelView* view = gScriptHandles.Get<cTarvelView>(ScriptArgObject(frame, 1), eScriptObjectType::View);
    if (!caster || !view)
        return -1;
    sSceneMeshRecord* mesh = nullptr;
    cTarvelMobile* receiver = nullptr;
    if (onScenery)
        mesh = gScriptHandles.Get<sSceneMeshRecord>(ScriptArgObject(frame, 2), eScriptObjectType::Mesh);
    else
        receiver = ScriptMobileOf<cTarvelActor, cTarvelMobile>(ScriptArgument(frame, 2));
    if (!mesh && !receiver)
        return -1;
    // None while shadows are off.
    cTarvelShadow* shadow = gTarvel.mLights.GetShadowCaster(light, caster);
    if (!shadow)
        return 0;
    if (receiver) {
        shadow->AddMobileCaster(receiver);
        return 0;
    }
    for (uint32_t i = 0; i < view->mMeshSettingCount; ++i)
        if (view->mMeshSettings[i].mesh == mesh) {
            shadow->AddSceneryCaster(&view->mMeshSettings[i]);
            break;
        }
    return 0;
}

} // namespace

int32_t cLight__setColor(tScriptFrame* frame)
{
    cTarvelLight* light = BoundLight(frame);
    if (!light)
        return -1;
    light->mColor.r = ScriptArgFloat(frame, 0);
    light->mColor.g = ScriptArgFloat(frame, 1);
    light->mColor.b = ScriptArgFloat(frame, 2);
    return 0;
}

int32_t cLight__setAmbient(tScriptFrame* frame)
{
    cTarvelLight* light = BoundLight(frame);
    if (!light)
        return -1;
    light->mAmbient.r = ScriptArgFloat(frame, 0);
    light->mAmbient.g = ScriptArgFloat(frame, 1);
    light->mAmbient.b = ScriptArgFloat(frame, 2);
    return 0;
}

int32_t cLight__setAttenuation(tScriptFrame* frame)
{
    cTarvelLight* light = BoundLight(frame);
    if (!light)
        return -1;
    for (int32_t i = 0; i < 3; ++i)
        light->mAttenuation[i] = ScriptArgFloat(frame, i);
    return 0;
}

int32_t cLight__setRange(tScriptFrame* frame)
{
    cTarvelLight* light = BoundLight(frame);
    if (!light)
        return -1;
    light->mRange = ScriptArgFloat(frame, 0);
    return 0;
}

int32_t cLight__setRotation(tScriptFrame* frame)
{
    cTarvelLight* light = BoundLight(frame);
    if (!light)
        return -1;
    light->mRotation = D3DXQUATERNION(ScriptArgFloat(frame, 0), ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2),
                                      ScriptArgFloat(frame, 3));
    return 0;
}

int32_t cLight__castShadowMobileOnScenery(tScriptFrame* frame)
{
    return CastShadow(frame, true);
}

int32_t cLight__castShadowMobileOnMobile(tScriptFrame* frame)
{
    return CastShadow(frame, false);
}




// ---- Meshes and mobiles ----------------------------------------------------

namespace {

// The view (argument 0) and its setting of the bound mesh; the mesh
// functions do nothing without either.
struct sMeshTarget {
    cTarvelView* view = nullptr;
    sSceneMeshRecord* mesh = nullptr;
};

sMeshTarget MeshTarget(const tScriptFrame* frame)
{
    return {gScriptHandles.Get<cTarvelView>(ScriptArgObject(frame, 0), eScriptObjectType::View),
            ScriptBound<sSceneMeshRecord>(frame, eScriptObjectType::Mesh)};
}

sSceneMesh* MeshSetting(const sMeshTarget& target)
{
    if (!target.view || !target.mesh)
        return nullptr;
    for (uint32_t i = 0; i < target.view->mMeshSettingCount; ++i)
        if (target.view->mMeshSettings[i].mesh == target.mesh)
            return &target.view->mMeshSettings[i];
    return nullptr;
}

cTarvelMobile* BoundMobile(const tScriptFrame* frame)
{
    return ScriptMobileOf<cTarvelActor, cTarvelMobile>(frame->thisValue);
}

cTarvelMobile* BoundMobileWithArguments(const tScriptFrame* frame)
{
    return ScriptHasArguments(frame) ? BoundMobile(frame) : nullptr;
}

} // namespace

int32_t cMesh__setRenderMethod(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const sMeshTarget target = MeshTarget(frame);
    if (sSceneMesh* setting = MeshSetting(target)) {
        setting->renderMethod = ScriptArgInt(frame, 1);
        setting->depth = ScriptArgFloat(frame, 2);
        target.view->mBuilt = 0;
    }
    return 0;
}

int32_t cMesh__assignColormap(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const sMeshTarget target = MeshTarget(frame);
    if (sSceneMesh* setting = MeshSetting(target)) {
        const char* name = ScriptArgString(frame, 1);
        cTarvelImage* image = ScriptViewImage(target.view, name, "cMesh__assignColormap");
        if (!image && name[0] != '\0')
            return 0;
        setting->colorMap = image;
        target.view->mBuilt = 0;
    }
    return 0;
}

int32_t cMesh__disablePick(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const sMeshTarget target = MeshTarget(frame);
    if (target.view && target.mesh)
        target.mesh->pickDisabled = 1;
    return 0;
}

int32_t cMesh__enablePick(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const sMeshTarget target = MeshTarget(frame);
    if (target.view && target.mesh)
        target.mesh->pickDisabled = 0;
    return 0;
}

int32_t cMobile__createAsFreeMobile(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame) || !frame->thisValue || !frame->machine)
        return -1;
    const cTarvelScriptValue* owner = frame->machine->mThis;
    cTarvelScene* scene = owner && owner->className == "cScene"
                              ? gScriptHandles.Get<cTarvelScene>(owner->object, eScriptObjectType::Scene)
                              : nullptr;
    if (!scene)
        return -1;
    auto* mobile = new cTarvelMobile();
    mobile->mFreeID = ScriptArgString(frame, 0);
    mobile->mFree = true;
    mobile->mSymbol = frame->thisValue->name;
    scene->mMobiles.Add(mobile);
    frame->thisValue->object = gScriptHandles.Bind(mobile, eScriptObjectType::Mobile);
    return 0;
}

int32_t cMobile__show(tScriptFrame* frame)
{
    cTarvelMobile* mobile = BoundMobileWithArguments(frame);
    if (!mobile)
        return -1;
    mobile->mVisible = ScriptArgBool(frame, 0);
    return 0;
}

int32_t cMobile__loadMesh(tScriptFrame* frame)
{
    cTarvelMobile* mobile = BoundMobileWithArguments(frame);
    if (!mobile)
        return -1;
    const char* file = ScriptArgString(frame, 0);
    if (file[0] != '\0')
        mobile->Load(file);
    return 0;
}

int32_t cMobile__setBaseAnimation(tScriptFrame* frame)
{
    cTarvelMobile* mobile = BoundMobileWithArguments(frame);
    if (!mobile)
        return -1;
    const char* animation = ScriptArgString(frame, 0);
    if (animation[0] != '\0')
        mobile->SetBaseAnimation(animation);
    return 0;
}

int32_t cMobile__imageReplaceSuffix(tScriptFrame* frame)
{
    cTarvelMobile* mobile = BoundMobileWithArguments(frame);
    if (!mobile)
        return -1;
    mobile->mTextureSuffix = ScriptArgString(frame, 0);
    mobile->mTextureReplacement = ScriptArgString(frame, 1);
    return 0;
}

int32_t cMobile__setWorldLink(tScriptFrame* frame)
{
    cTarvelMobile* mobile = BoundMobileWithArguments(frame);
    cTarvelMobile* target = ScriptMobileOf<cTarvelActor, cTarvelMobile>(ScriptArgument(frame, 1));
    if (!mobile || !target)
        return -1;
    mobile->SetWorldLink(ScriptArgString(frame, 0), target);
    return 0;
}




// ---- Sparkles --------------------------------------------------------------

int32_t cParticleSparkle__init(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = gTarvel.mScene;
    if (!scene)
        return 0;
    auto* sparkle = new cTarvelParticleSparkle();
    sparkle->Init(ScriptArgInt(frame, 0), ScriptArgString(frame, 1));
    // The burst's shining time before it glows out.
    sparkle->mLifeTime = ScriptArgFloat(frame, 2);
    scene->mParticles.Add(sparkle);
    if (frame->thisValue)
        frame->thisValue->object = gScriptHandles.Bind(sparkle, eScriptObjectType::Sparkle);
    return 0;
}

int32_t cParticleSparkle__spawn(tScriptFrame* frame)
{
    cTarvelParticleSparkle* sparkle =
        ScriptHasArguments(frame) ? ScriptBound<cTarvelParticleSparkle>(frame, eScriptObjectType::Sparkle) : nullptr;
    if (!sparkle)
        return -1;
    float values[8];
    for (int32_t i = 0; i < 8; ++i)
        values[i] = ScriptArgFloat(frame, i);
    sparkle->Spawn(values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7],
                   ScriptArgInt(frame, 8));
    return 0;
}




// ---- Inventory items -------------------------------------------------------

namespace {

// The record the call object's index selects; null (and the call does
// nothing) for an index outside the inventory.
sInventoryItem* BoundItem(const tScriptFrame* frame)
{
    return gTarvel.mInventory.ItemAt(ScriptInventoryIndex(frame));
}

} // namespace

int32_t cInventoryItem__addVerb(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (sInventoryItem* item = BoundItem(frame))
        gTarvel.mVerbBar.AddVerb(ScriptArgString(frame, 0), ScriptArgString(frame, 1), ScriptArgString(frame, 2),
                                 nullptr, nullptr, item->script, item->object);
    return 0;
}

int32_t cInventoryItem__loadImages(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    sInventoryItem* item = BoundItem(frame);
    const char* name = ScriptArgString(frame, 0);
    if (!item || !*name)
        return 0;
    delete item->image;
    item->image = nullptr;
    auto* image = new cTarvelImage(false);
    image->ReadFile(name);
    image->mInventoryImage = 1;
    image->mName = name;
    item->image = image;
    if (image->mVideo || image->mHeader.frameCount > 1)
        image->Play(kImageLoop, 0);
    return 0;
}

int32_t cInventoryItem__putName(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (sInventoryItem* item = BoundItem(frame))
        item->displayName = ScriptArgString(frame, 0);
    return 0;
}

int32_t cInventoryItem__select(tScriptFrame* frame)
{
    if (sInventoryItem* item = BoundItem(frame))
        gTarvel.mInventory.SelectItem(item);
    return 0;
}



