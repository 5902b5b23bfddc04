#include "engine/script/script_api.h"

#include <cfloat>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/cinematic.h"
#include "engine/render/image.h"
#include "engine/render/video.h"
#include "engine/script/script.h"
#include "engine/world/light.h"
#include "engine/world/mobile.h"
#include "engine/world/particle_weather_rain.h"
#include "engine/world/scene.h"
#include "engine/world/view.h"
#include "engine/world/walk_area.h"

namespace {

cTarvelScene* BoundScene(const tScriptFrame* frame)
{
    return ScriptBound<cTarvelScene>(frame, eScriptObjectType::Scene);
}

cTarvelView* BoundView(const tScriptFrame* frame)
{
    return ScriptBound<cTarvelView>(frame, eScriptObjectType::View);
}

cTarvelView* ViewArgument(const tScriptFrame* frame, int32_t position)
{
    return gScriptHandles.Get<cTarvelView>(ScriptArgObject(frame, position), eScriptObjectType::View);
}

// True when a cinematic is on the stack and its top is in a call into its
// own script.
bool CinematicRunning()
{
    return gCinematics.count > 0 && gCinematics.data[gCinematics.count - 1]->mInCall;
}

// The first image-layer record of that name, exact.
sViewLayer* FindLayer(cTarvelView* view, const char* name, int32_t* index = nullptr)
{
    for (int32_t i = 0; i < view->mLayers.count; ++i) {
        sViewLayer* layer = view->mLayers.data[i];
        if (layer && layer->name == name) {
            if (index)
                *index = i;
            return layer;
        }
    }
    return nullptr;
}

void ReadFloats(const tScriptFrame* frame, int32_t first, int32_t count, float* out)
{
    for (int32_t i = 0; i < count; ++i)
        out[i] = ScriptArgFloat(frame, first + i);
}

// Position, rotation and field of view from eight consecutive arguments.
void SetCamera(const tScriptFrame* frame, int32_t first, cTarvelCamera& camera)
{
    float pose[8];
    ReadFloats(frame, first, 8, pose);
    camera.Set(pose, pose + 3, pose[7]);
}

int32_t CameraMove(tScriptFrame* frame, cTarvelCamera& camera)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (ScriptCinematicSkipping()) {
        SetCamera(frame, 3, camera);
        return 0;
    }
    float target[8];
    ReadFloats(frame, 3, 8, target);
    camera.Move(ScriptArgFloat(frame, 0), ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2), target,
                target + 3, target[7]);
    return 0;
}

} // namespace

// ---- Screen fade and cutscene videos ----------------------------------------

int32_t cScene__fade(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const float duration = ScriptArgFloat(frame, 0);
    const int32_t kind = ScriptArgInt(frame, 1);
    const bool wait = ScriptArgBool(frame, 3);
    cTarvelGameplay& gameplay = gTarvel.mGameplay;
    gTarvel.mHints.FadeOut();

    if (ScriptCinematicSkipping()) {
        // Straight to where the fade would end; nobody waits.
        switch (kind) {
        case 0:
        case 4:
            gameplay.mFadeState = 3;
            break;
        case 1:
        case 3:
        case 6:
            gameplay.mFadeState = 0;
            break;
        case 2:
        case 5:
            gameplay.mFadeState = 6;
            break;
        default:
            break;
        }
        return 0;
    }

    static constexpr int32_t kModes[7] = {1, 2, 4, 5, 3, 6, 7};
    if (kind >= 0) {
        DWORD start = gTarvel.mTimer.mGameTime;
        float rate = 0.0f;
        if (duration > 0.0f) {
            rate = 1.0f / duration;
        } else {
            // No time (or a negative or undefined one) ends the fade at the
            // next update instead of never.
            rate = FLT_MAX;
            if (start > 0)
                --start;
        }
        gameplay.mFadeStart = start;
        gameplay.mFadeRate = rate;
        if (kind <= 6)
            gameplay.mFadeState = kModes[kind];
    }
    // The hold flag takes the effect volumes with the fade; the cross-fade
    // never does, and always resumes its caller.
    gameplay.mFadeSound = kind != 6 && ScriptArgBool(frame, 2);
    if (kind != 6 && !wait)
        return 0;
    // A cinematic's own script waits as the cinematic: held by the fade
    // alone, the cinematic would see no wait of its own and end.
    if (cTarvelCinematic* cinematic = ScriptCallingCinematic(frame)) {
        if (kind == 6)
            cinematic->WaitForCrossFade();
        else
            cinematic->WaitForFade();
        return 0;
    }
    ScriptSuspendInto(frame, gameplay.mFadeWaiter, gameplay.mFadeWaiterSerial, gameplay.mFadeLabel, false);
    return 0;
}

int32_t cScene__cmvShow(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    gTarvel.mHints.FadeOut();
    if (ScriptCinematicSkipping())
        return 0;

    cTarvelString name(scene->mHeader.name);
    name += "-cmv-";
    name += ScriptArgString(frame, 0);
    auto* video = new cTarvelVideo();
    if (video->Play(name.c_str(), true) != 0) {
        // Nothing to show: the script goes on rather than waiting for a
        // movie that never ends.
        delete video;
        return 0;
    }
    video->mInScene = true;
    if (cTarvelView* view = ViewArgument(frame, 1)) {
        video->mView = scene->mView;
        view->Select(0);
    }
    if (ScriptArgBool(frame, 2)) {
        // Inside a cinematic the cinematic waits for the movie (see fade).
        if (cTarvelCinematic* cinematic = ScriptCallingCinematic(frame))
            cinematic->WaitForCMV();
        else
            ScriptSuspendInto(frame, video->mScript, video->mScriptSerial, video->mLabel, true);
    }
    if (!gTarvel.mMovie && gTarvel.mCutSceneMovie == video) {
        gTarvel.mMovie = video;
        gTarvel.mCutSceneMovie = nullptr;
        video->Update();
    }
    if (!CinematicRunning())
        gTarvel.mCutscene = 1;
    return 0;
}

// ---- Cameras, depth of field and post effects -------------------------------

int32_t cScene__cameraSet(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    SetCamera(frame, 0, gTarvel.mCamera);
    return 0;
}

int32_t cScene__cameraSetSecond(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    SetCamera(frame, 0, gTarvel.mCamera2);
    return 0;
}

int32_t cScene__cameraMove(tScriptFrame* frame)
{
    return CameraMove(frame, gTarvel.mCamera);
}

int32_t cScene__cameraMoveSecond(tScriptFrame* frame)
{
    return CameraMove(frame, gTarvel.mCamera2);
}

int32_t cScene__initDOF(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    gTarvel.mGraphics.ApplyFOD(ScriptArgFloat(frame, 0));
    return 0;
}

int32_t cScene__setDOF(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    const float focus = ScriptArgFloat(frame, 0);
    const float duration = ScriptArgFloat(frame, 1);
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (duration > 0.01f) {
        graphics.mFocalTransitionStart = gTarvel.mTimer.mGameSeconds;
        graphics.mFocalTransitionDuration = duration;
        graphics.mFocalTransition = true;
        graphics.mFocalTarget = focus;
    } else {
        graphics.mFocalPlane = focus;
    }
    return 0;
}

int32_t cScene__applyTimedPostEffect(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (graphics.mPostEffect.technique) {
        graphics.mTimedPostEffect = false;
        gTarvel.mShaders.ClearBinding(&graphics.mPostEffect);
    }
    if (ScriptCinematicSkipping())
        return 0;
    if (!gTarvel.mShaders.LoadShader(ScriptArgString(frame, 0), ScriptArgString(frame, 1), &graphics.mPostEffect,
                                     false))
        return 0;
    graphics.mTimedPostEffect = true;
    graphics.mPostEffectStart = gTarvel.mTimer.mGameSeconds;
    graphics.mPostEffectDuration = ScriptArgFloat(frame, 2);
    if (ScriptArgBool(frame, 3))
        ScriptWaitCinematic(frame, eScriptWaitRule::TopWhenRunning)->WaitForPostFX();
    return 0;
}

// ---- The second stage and detail views --------------------------------------

int32_t cScene__openSecondStage(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    cTarvelView* view = ViewArgument(frame, 3);
    if (!scene || !view)
        return -1;
    // One rate gives both the strip's width and its speed, as fractions of
    // the screen width.
    const float rate = ScriptArgFloat(frame, 2);
    scene->Open(view, static_cast<int8_t>(ScriptArgInt(frame, 0) & 0xFF), rate, rate);
    return 0;
}

int32_t cScene__closeSecondStage(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    scene->Close(ScriptArgFloat(frame, 0));
    return 0;
}

int32_t cScene__leaveDetailView(tScriptFrame* frame)
{
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    scene->LeaveDetailView();
    return 0;
}

// ---- Lookups ----------------------------------------------------------------

int32_t cScene__getActualView(tScriptFrame* frame)
{
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    ScriptSetResultObject(frame, "cView", gScriptHandles.Bind(scene->mView, eScriptObjectType::View));
    return 0;
}

int32_t cScene__getView(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    cTarvelView* view = scene->FindView(ScriptArgString(frame, 0));
    ScriptSetResultObject(frame, "cView", gScriptHandles.Bind(view, eScriptObjectType::View));
    return 0;
}

int32_t cScene__getMesh(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    sSceneMeshRecord* mesh = scene->FindMesh(ScriptArgString(frame, 0));
    ScriptSetResultObject(frame, "cMesh", gScriptHandles.Bind(mesh, eScriptObjectType::Mesh));
    return 0;
}

int32_t cScene__getLight(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (!BoundScene(frame))
        return -1;
    cTarvelLight* light = gTarvel.mLights.GetLight(ScriptArgString(frame, 0));
    ScriptSetResultObject(frame, "cLight", gScriptHandles.Bind(light, eScriptObjectType::Light), false);
    return 0;
}

int32_t cScene__getFreeMobile(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    const char* name = ScriptArgString(frame, 0);
    frame->result.object = 0;
    // The last of that name wins.
    for (cTarvelMobile* mobile : scene->mMobiles)
        if (mobile && mobile->mFreeID == name)
            ScriptSetResultObject(frame, "cMobile", gScriptHandles.Bind(mobile, eScriptObjectType::Mobile));
    return 0;
}

// ---- Free mobiles and lights --------------------------------------------------

int32_t cScene__createFreeMobile(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    auto* mobile = new cTarvelMobile();
    mobile->mFreeID = ScriptArgString(frame, 0);
    mobile->mFree = true;
    mobile->mSymbol = "";
    scene->mMobiles.Add(mobile);
    ScriptSetResultObject(frame, "cMobile", gScriptHandles.Bind(mobile, eScriptObjectType::Mobile));
    return 0;
}

int32_t cScene__createLight(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (!BoundScene(frame))
        return -1;
    cTarvelLight* light = gTarvel.mLights.CreateLight(ScriptArgInt(frame, 1));
    if (light)
        light->mName = ScriptArgString(frame, 0);
    ScriptSetResultObject(frame, "cLight", gScriptHandles.Bind(light, eScriptObjectType::Light));
    return 0;
}

int32_t cScene__setLights(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene)
        return -1;
    const cTarvelString setting(ScriptArgString(frame, 0));
    cTarvelLightSet& lights = gTarvel.mLights;
    lights.SetLights();
    lights.mName = setting;
    if (scene->mScript)
        scene->mScript->CallEvent(scene->mScriptObject, ("SetLights_" + setting).c_str());
    return 0;
}

int32_t cScene__setAmbientLight(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (!BoundScene(frame))
        return -1;
    gTarvel.mLights.SetAmbientLight(ScriptArgFloat(frame, 0), ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2));
    return 0;
}

int32_t cScene__setShadowFactor(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (!BoundScene(frame))
        return -1;
    gTarvel.mLights.mShadowStrength = ScriptArgFloat(frame, 0);
    return 0;
}

// ---- Weather ------------------------------------------------------------------

int32_t cScene__createWeather(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene || ScriptArgInt(frame, 0) != 0)
        return -1;
    auto* rain = new cTarvelParticleWeatherRain();
    rain->Create(ScriptArgFloat(frame, 1), ScriptArgFloat(frame, 2), ScriptArgFloat(frame, 3),
                 ScriptArgFloat(frame, 4), ScriptArgFloat(frame, 5), ScriptArgFloat(frame, 6),
                 ScriptArgFloat(frame, 7), ScriptArgInt(frame, 8), ScriptArgFloat(frame, 9),
                 ScriptArgFloat(frame, 10));
    rain->mSortKey = ScriptArgFloat(frame, 11);
    scene->mParticles.Add(rain);
    return 0;
}

int32_t cScene__setWeatherLayer(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene || ScriptArgInt(frame, 0) != 0)
        return -1;
    if (ScriptArgInt(frame, 1) != 0)
        return 0;
    for (cTarvelParticle* particle : scene->mParticles) {
        if (particle && particle->mClass == 1) {
            static_cast<cTarvelParticleWeatherRain*>(particle)->SetWeatherLayer(
                scene->FindWalkArea(ScriptArgString(frame, 2)));
            break;
        }
    }
    return 0;
}

int32_t cScene__destroyWeather(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelScene* scene = BoundScene(frame);
    if (!scene || ScriptArgInt(frame, 0) != 0)
        return -1;
    for (int32_t i = scene->mParticles.count - 1; i >= 0; --i) {
        cTarvelParticle* particle = scene->mParticles.data[i];
        if (particle && particle->mClass == 1) {
            scene->mParticles.RemoveAt(i);
            delete particle;
        }
    }
    return 0;
}

// ---- cView: selecting views -------------------------------------------------

int32_t cView__select(tScriptFrame* frame)
{
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    if (view->mScene)
        view->mScene->Close(0.0f);
    view->Select(0);
    return 0;
}

int32_t cView__selectStage(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    view->Select(ScriptArgInt(frame, 0));
    return 0;
}

int32_t cView__selectAsDetail(tScriptFrame* frame)
{
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    cTarvelScene* scene = view->mScene;
    if (!scene || scene->mView == view)
        return 0;
    scene->Close(0.0f);
    if (scene->mView)
        scene->mDetailViews.Add(scene->mView);
    view->Select(0);
    view->mHotspotSymbol = frame->machine ? frame->machine->mThis : nullptr;
    return 0;
}

int32_t cView__init(tScriptFrame* frame)
{
    cTarvelView* view = BoundView(frame);
    if (!view || view->mInitialised)
        return 0;
    // Marked first: the event may call this again.
    view->mInitialised = 1;
    view->FireInitView();
    return 0;
}

int32_t cView__putIsFiltered(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (cTarvelView* view = BoundView(frame))
        view->mFiltered = ScriptArgBool(frame, 0) ? 1 : 0;
    return 0;
}

int32_t cView__putNoActors(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (cTarvelView* view = BoundView(frame))
        view->mNoActors = ScriptArgBool(frame, 0);
    return 0;
}

int32_t cView__attachCamLayer(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    view->mCamLayer = nullptr;
    const char* name = ScriptArgString(frame, 0);
    if (name[0] == '\0' || !view->mScene)
        return 0;
    if (cTarvelWalkArea* area = view->mScene->FindWalkArea(name)) {
        view->mCamLayer = area;
        area->mEnabled = 1;
    }
    return 0;
}

// ---- cView: image layers ----------------------------------------------------

int32_t cView__addLayer(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    const char* name = ScriptArgString(frame, 0);
    const char* imageName = ScriptArgString(frame, 1);
    cTarvelImage* image = ScriptViewImage(view, imageName, "cView__addLayer");
    if (!image && imageName[0] != '\0')
        return 0;
    sViewLayer* layer = FindLayer(view, name);
    if (!layer) {
        layer = new sViewLayer;
        view->mLayers.Add(layer);
    }
    layer->name = name;
    layer->image = image;
    layer->depth = ScriptArgFloat(frame, 2);
    layer->shearX = ScriptArgFloat(frame, 3);
    layer->shearY = ScriptArgFloat(frame, 4);
    layer->visible = ScriptArgBool(frame, 5) ? 1 : 0;
    layer->method = 1;
    if (layer->image) {
        layer->image->SetDepthRamp(layer->depth, layer->shearX, layer->shearY, nullptr);
        layer->image->mInventoryImage = 0;
    }
    return 0;
}

int32_t cView__removeLayer(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    int32_t index = -1;
    if (sViewLayer* layer = FindLayer(view, ScriptArgString(frame, 0), &index)) {
        view->mLayers.RemoveAt(index);
        delete layer;
    }
    return 0;
}

int32_t cView__showLayer(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    sViewLayer* layer = FindLayer(view, ScriptArgString(frame, 0));
    if (!layer)
        return -1;
    layer->visible = ScriptArgBool(frame, 1) ? 1 : 0;
    return 0;
}

int32_t cView__setLayerRenderMethod(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    sViewLayer* layer = FindLayer(view, ScriptArgString(frame, 0));
    if (!layer)
        return -1;
    layer->method = ScriptArgInt(frame, 1);
    return 0;
}

int32_t cView__setLayerColormap(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    sViewLayer* layer = FindLayer(view, ScriptArgString(frame, 0));
    if (!layer)
        return -1;
    const char* imageName = ScriptArgString(frame, 1);
    cTarvelImage* image = ScriptViewImage(view, imageName, "cView__setLayerColormap");
    if (!image && imageName[0] != '\0')
        return 0;
    layer->image = image;
    if (image)
        image->SetColormap(layer->depth);
    return 0;
}

int32_t cView__imagePreload(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (cTarvelView* view = BoundView(frame))
        ScriptViewImage(view, ScriptArgString(frame, 0), "cView__imagePreload");
    return 0;
}

int32_t cView__imageSetFrame(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    if (cTarvelImage* image = ScriptViewImage(view, ScriptArgString(frame, 0), "cView__imageSetFrame"))
        image->SetFrame(ScriptArgInt(frame, 1));
    return 0;
}

int32_t cView__imageRestart(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    if (cTarvelImage* image = ScriptViewImage(view, ScriptArgString(frame, 0), "cView__imageRestart"))
        image->Play(ScriptArgInt(frame, 1), ScriptArgInt(frame, 2));
    return 0;
}

int32_t cView__imageSetCallback(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view)
        return 0;
    cTarvelImage* image = ScriptViewImage(view, ScriptArgString(frame, 0), "cView__imageSetCallback");
    if (!image)
        return 0;
    const int32_t at = ScriptArgInt(frame, 1);
    const char* event = ScriptArgString(frame, 2);
    if (at == -1) {
        image->mCallbackScript = frame->machine;
        image->mCallbackSerial = frame->machine ? frame->machine->mSerial : 0;
        image->mCallbackName = event;
    } else {
        image->mFrameCallback = 1;
        image->mFrameCallbackLabel = event;
        image->mFrameCallbackScript = frame->machine ? frame->machine->mName : cTarvelString("");
        image->mFrameCallbackMachine = frame->machine;
        image->mFrameCallbackSerial = frame->machine ? frame->machine->mSerial : 0;
        image->mFrameCallbackFrame = at;
    }
    return 0;
}

int32_t cView__imageReplaceSuffix(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    if (cTarvelView* view = BoundView(frame)) {
        view->mSuffixReplacement0 = ScriptArgString(frame, 0);
        view->mSuffixReplacement1 = ScriptArgString(frame, 1);
    }
    return 0;
}

int32_t cView__imageWait(tScriptFrame* frame)
{
    if (!ScriptHasArguments(frame))
        return -1;
    cTarvelView* view = BoundView(frame);
    if (!view || ScriptCinematicSkipping())
        return 0;
    if (cTarvelImage* image = ScriptViewImage(view, ScriptArgString(frame, 0), "cView__imageWait"))
        ScriptWaitCinematic(frame, eScriptWaitRule::TopWhenRunning)->WaitForImage(image, 0);
    return 0;
}
