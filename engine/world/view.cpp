#include "engine/world/view.h"

#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/render/image.h"
#include "engine/render/video.h"
#include "engine/resource/resource.h"
#include "engine/script/script.h"
#include "engine/script/script_handles.h"
#include "engine/world/camera.h"
#include "engine/world/scene.h"
#include "engine/world/walk_area.h"

namespace {

// Named bindings of the shader library that draw scenery.
constexpr int kSceneryUnlit = 6;
constexpr int kSceneryDepthSet = 7;
constexpr int kSceneryCmv = 9;
constexpr int kSceneryCmva = 10;

cTarvelCamera& StageCamera(int stage)
{
    return stage == 1 ? gTarvel.mCamera2 : gTarvel.mCamera;
}

// A video counts as playing while it has its image and has not finished.
cTarvelImage* ActiveVideoImage(const cTarvelVideo* video)
{
    return video && video->mImage && !video->mImage->mFinished ? video->mImage : nullptr;
}

} // namespace

uint32_t TextureSizeFor(uint32_t n)
{
    if (n > 2048)
        return 4096;
    if (n > 1024)
        return 2048;
    if (n > 512)
        return 1024;
    if (n > 256)
        return 512;
    if (n > 128)
        return 256;
    if (n > 64)
        return 128;
    if (n > 32)
        return 64;
    if (n > 16)
        return 32;
    if (n >= 9)
        return 16;
    return 8;
}

cTarvelView::cTarvelView() = default;

cTarvelView::~cTarvelView()
{
    gScriptHandles.Release(this);
    for (sViewLayer* layer : mLayers)
        delete layer;
    mLayers.Clear();
    mImages.DeleteAll();
}

int cTarvelView::Read(int slot, cTarvelScene* scene)
{
    mScene = scene;
    uint8_t raw[96];
    gTarvel.mResources.Read(slot, raw, sizeof raw);
    std::memcpy(mRecord.name, raw, 64);
    mRecord.name[63] = 0;
    std::memcpy(mRecord.camera, raw + 64, sizeof mRecord.camera);
    mMeshSettingCount = scene ? uint32_t(scene->mMeshes.size()) : 0;
    mMeshSettings = std::make_unique<sSceneMesh[]>(mMeshSettingCount);
    for (uint32_t i = 0; i < mMeshSettingCount; ++i) {
        sSceneMesh& setting = mMeshSettings[i];
        sSceneMeshRecord& mesh = scene->mMeshes[i];
        setting.view = this;
        setting.mesh = &mesh;
        setting.positions = mesh.positions;
        setting.vertexCount = int32_t(mesh.vertices ? mesh.vertexCount : 0);
        setting.indices = mesh.indices;
        setting.indexCount = int32_t(mesh.indices ? mesh.indexCount : 0);
    }
    return 0;
}

void cTarvelView::FireInitView()
{
    if (mScene && mScene->mScript) {
        cTarvelString event("InitView_");
        event += mRecord.name;
        mScene->mScript->CallEvent(mScene->mScriptObject, event.c_str());
    }
    mInitialised = 1;
}

void cTarvelView::Select(int stage)
{
    if (!mInitialised)
        FireInitView();
    gTarvel.mHints.FadeOut();
    mStage = stage == 1 ? 1 : 0;
    cTarvelScene* scene = mScene ? mScene : gTarvel.mScene;
    if (scene)
        scene->StageView(mStage) = this;
    cTarvelCamera& camera = StageCamera(mStage);
    camera.SetPose(mRecord.camera);
    if (scene)
        scene->UpdateViewports();
    for (sViewLayer* layer : mLayers)
        if (layer->image)
            layer->image->SetDepthRamp(layer->depth, layer->shearX, layer->shearY, &camera);
    Build();
    Update();
    gTarvel.mLights.InvalidateAll();
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (graphics.mViewChanged) {
        graphics.mViewChanged = 0;
        std::memset(graphics.mViewChangeRecord, 0, sizeof graphics.mViewChangeRecord);
    }
}

void cTarvelView::Build()
{
    cTarvelScene* scene = mScene;
    if (!scene)
        return;
    mListed.Clear();
    uint64_t vertices = 0, indices = 0;
    for (uint32_t i = 0; i < mMeshSettingCount; ++i) {
        sSceneMesh& setting = mMeshSettings[i];
        if (setting.renderMethod == 0)
            continue;
        mListed.Add(&setting);
        vertices += uint64_t(setting.vertexCount);
        indices += uint64_t(setting.indexCount);
    }
    // The stage buffers are sized in 32 bits; a view that large cannot be
    // drawn from one buffer.
    if (vertices > 0xFFFFFFF || indices > 0xFFFFFFF) {
        cTarvelString message("Too much scenery in view ");
        message += mRecord.name;
        message += ".";
        gTarvel.FatalError(0, TARVEL_SOURCE_SCENE, __LINE__, "cTarvelView::Build", message, 0);
    }
    scene->AllocateVertexBuffers(uint32_t(vertices), uint32_t(indices), mStage);
    sSceneStage& stage = scene->mStages[mStage];
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    cTarvelCamera& camera = StageCamera(mStage);
    camera.SetViewport(0, uint32_t(float(graphics.mSceneTop) * graphics.mScaleY), uint32_t(graphics.mWidth),
                       uint32_t(float(graphics.mSceneBottom - graphics.mSceneTop) * graphics.mScaleY));
    camera.UpdateMatrices();

    float* vertexData = nullptr;
    void* indexData = nullptr;
    // No listed mesh: no buffers to lock.
    if (stage.vertexBuffer && stage.vertexBuffer->Lock(0, 0, reinterpret_cast<void**>(&vertexData), 0) != D3D_OK)
        vertexData = nullptr;
    if (stage.indexBuffer && stage.indexBuffer->Lock(0, 0, &indexData, 0) != D3D_OK)
        indexData = nullptr;
    cTarvelImage* starting = ActiveVideoImage(gTarvel.mCutSceneMovie);
    cTarvelImage* current = ActiveVideoImage(gTarvel.mMovie);
    uint32_t vertexBase = 0, indexBase = 0;
    for (sSceneMesh* setting : mListed) {
        setting->firstVertex = vertexBase;
        setting->firstIndex = indexBase;
        const sSceneMeshRecord& mesh = *setting->mesh;
        if (indexData && stage.index32) {
            uint32_t* out = static_cast<uint32_t*>(indexData) + indexBase;
            for (int32_t k = 0; k < setting->indexCount; ++k)
                out[k] = mesh.indices[k] + vertexBase;
        } else if (indexData) {
            uint16_t* out = static_cast<uint16_t*>(indexData) + indexBase;
            for (int32_t k = 0; k < setting->indexCount; ++k)
                out[k] = uint16_t(mesh.indices[k] + vertexBase);
        }
        cTarvelImage* texture = starting ? starting : (setting->colorMap ? setting->colorMap : current);
        D3DXVECTOR2* scratch = stage.scratch ? stage.scratch + vertexBase : nullptr;
        // Project with the combined matrix once, as D3DXVec3Project does
        // per point: transform, divide by w, map onto the viewport.
        const D3DXMATRIX& m = camera.mViewProj;
        const D3DVIEWPORT9& port = camera.mViewport;
        const float halfWidth = float(port.Width) * 0.5f, halfHeight = float(port.Height) * 0.5f;
        const float left = float(port.X) + halfWidth, top = float(port.Y) + halfHeight;
        float uScale = 0.0f, vScale = 0.0f, uOffset = 0.0f, vOffset = 0.0f;
        if (texture) {
            const float width = float(TextureSizeFor(uint32_t(texture->mHeader.width)));
            const float height = float(TextureSizeFor(uint32_t(texture->mHeader.height)));
            uScale = 1.0f / (graphics.mScaleX * width);
            vScale = 1.0f / (graphics.mScaleY * height);
            uOffset = (0.5f + float(uint32_t(texture->mHeader.x))) / width;
            vOffset = (0.5f + float(uint32_t(texture->mHeader.y)) + float(graphics.mSceneTop)) / height;
        }
        float* out = vertexData ? vertexData + size_t(vertexBase) * 8 : nullptr;
        for (int32_t k = 0; k < setting->vertexCount; ++k) {
            const float* in = mesh.vertices + size_t(k) * 6;
            D3DXVECTOR2 uv(0.0f, 0.0f);
            if (texture) {
                const float x = in[0], y = in[1], z = in[2];
                const float w = x * m._14 + y * m._24 + z * m._34 + m._44;
                const float cx = (x * m._11 + y * m._21 + z * m._31 + m._41) / w;
                const float cy = (x * m._12 + y * m._22 + z * m._32 + m._42) / w;
                const float px = left + cx * halfWidth, py = top - cy * halfHeight;
                uv.x = px * uScale - uOffset;
                uv.y = py * vScale - vOffset;
            }
            if (out) {
                std::memcpy(out, in, 6 * sizeof(float));
                out[6] = uv.x;
                out[7] = uv.y;
                out += 8;
            }
            if (scratch)
                scratch[k] = uv;
        }
        setting->texCoords = scratch;
        vertexBase += uint32_t(setting->vertexCount);
        indexBase += uint32_t(setting->indexCount);
    }
    if (vertexData)
        stage.vertexBuffer->Unlock();
    if (indexData)
        stage.indexBuffer->Unlock();
    scene->UpdateViewports();
    mBuilt = 1;
}

void cTarvelView::Update()
{
    if (!mBuilt)
        Build();
    const bool video = ActiveVideoImage(gTarvel.mMovie) != nullptr;
    for (sSceneMesh* setting : mListed) {
        const bool image = setting->colorMap || video;
        switch (setting->renderMethod) {
        case 1:
        case 2:
        case 7:
            if (image)
                setting->shader = kSceneryUnlit;
            break;
        case 4:
            setting->shader = kSceneryDepthSet;
            break;
        case 5:
            if (video)
                setting->shader = kSceneryCmva;
            break;
        case 6:
            if (video)
                setting->shader = kSceneryCmv;
            break;
        default:
            break;
        }
    }
}

void cTarvelView::CollectRenderItems(tArray<sRenderItem>& list)
{
    const cTarvelCamera& camera = StageCamera(mStage);
    for (sViewLayer* layer : mLayers) {
        if (!layer->image || !layer->visible)
            continue;
        layer->image->mViewport = camera.mViewport;
        layer->image->mOnTop = layer->method == 7 ? 1 : 0;
        list.Add({layer->depth, layer->image, 1});
    }
    const sSceneStage* stage = mScene ? &mScene->mStages[mStage] : nullptr;
    if (stage && stage->vertexBuffer && stage->indexBuffer)
        for (sSceneMesh* setting : mListed)
            list.Add({setting->depth, setting, 4});
}

void cTarvelView::Render(void* item)
{
    auto* setting = static_cast<sSceneMesh*>(item);
    if (!setting || !mScene)
        return;
    if (!mBuilt)
        Build();
    const int method = setting->renderMethod;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    IDirect3DDevice9* device = graphics.mDevice;
    const sSceneStage& stage = mScene->mStages[mStage];
    if (method != 0 && method != 3 && setting->shader >= 0 && device && stage.vertexBuffer && stage.indexBuffer) {
        cTarvelShaderLib& shaders = gTarvel.mShaders;
        shaders.UseNamed(setting->shader);
        const cTarvelCamera& camera = StageCamera(mStage);
        const bool exact = !mFiltered && !camera.mMoving && graphics.mExact1024 &&
                           camera.mPosition.x == mRecord.camera[0] && camera.mPosition.y == mRecord.camera[1] &&
                           camera.mPosition.z == mRecord.camera[2];
        cTarvelImage* video = ActiveVideoImage(gTarvel.mMovie);
        cTarvelImage* texture = video ? video : setting->colorMap;
        if (texture && texture == setting->colorMap)
            texture->Update();
        shaders.SetBool(nullptr, "zwrite", method != 7);
        shaders.SetInt(nullptr, "filter", exact ? 1 : 2);
        if (texture) {
            shaders.SetTexture(nullptr, "tex", texture);
            shaders.SetBool(nullptr, "blend", texture->mBlended != 0);
        }
        device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
        device->SetStreamSource(0, stage.vertexBuffer, 0, 32);
        device->SetIndices(stage.indexBuffer);
        shaders.Begin();
        while (shaders.NextPass())
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, setting->firstVertex, uint32_t(setting->vertexCount),
                                         setting->firstIndex, uint32_t(setting->indexCount) / 3);
        shaders.End();
    }
    if (method != 0)
        for (int32_t i = 0; i < setting->passes.count; ++i)
            graphics.DrawLightPass(&setting->passes.data[i], setting);
}

bool cTarvelView::Pick(D3DXVECTOR3* out, int32_t x, int32_t y)
{
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    if (!mScene || !(graphics.mSceneTop < y && y < graphics.mSceneBottom))
        return false;
    const cTarvelCamera& camera = StageCamera(mStage);
    const float px = float(x) * graphics.mScaleX, py = float(y) * graphics.mScaleY;
    D3DXVECTOR3 nearPoint(px, py, camera.DepthFromDistance(1.0f));
    D3DXVECTOR3 farPoint(px, py, camera.DepthFromDistance(5000.0f));
    camera.Unproject(&nearPoint);
    camera.Unproject(&farPoint);
    const D3DXVECTOR3 direction = farPoint - nearPoint;
    float best = 10000.0f;
    for (const sSceneMeshRecord& mesh : mScene->mMeshes) {
        if (mesh.pickDisabled || !mesh.indices)
            continue;
        for (uint32_t t = 0; t + 3 <= mesh.indexCount; t += 3) {
            const D3DXVECTOR3& a = mesh.positions[mesh.indices[t]];
            const D3DXVECTOR3& b = mesh.positions[mesh.indices[t + 1]];
            const D3DXVECTOR3& c = mesh.positions[mesh.indices[t + 2]];
            float u = 0.0f, v = 0.0f, distance = 0.0f;
            if (!D3DXIntersectTri(&a, &b, &c, &nearPoint, &direction, &u, &v, &distance) || !(distance < best))
                continue;
            const D3DXVECTOR3 ab = b - a, ac = c - a, toA = a - camera.mPosition;
            D3DXVECTOR3 normal;
            D3DXVec3Cross(&normal, &ab, &ac);
            if (D3DXVec3Dot(&normal, &toA) <= 0.0f)
                continue;
            best = distance;
            *out = a + ab * u + ac * v;
        }
    }
    return best < 100.0f;
}

namespace {

// The name an image of the view is held and read by.
cTarvelString ImageLayerName(const cTarvelView& view, const cTarvelString& name, bool applySuffix)
{
    if (!applySuffix)
        return name;
    cTarvelString full = name;
    const size_t suffix = size_t(view.mSuffixReplacement0.Length());
    const size_t length = size_t(name.Length());
    if (suffix > 0 && length > suffix &&
        std::strcmp(name.c_str() + length - suffix, view.mSuffixReplacement0.c_str()) == 0) {
        std::string base(name.c_str(), length - suffix);
        base += view.mSuffixReplacement1.c_str();
        full = base.c_str();
    }
    cTarvelString prefixed(view.mScene ? view.mScene->mHeader.name : "");
    prefixed += "_";
    prefixed += view.mRecord.name;
    prefixed += "_";
    prefixed += full;
    return prefixed;
}

cTarvelImage* HeldImage(const tArray<cTarvelImage*>& images, const cTarvelString& full)
{
    for (cTarvelImage* image : images)
        if (image->mName == full)
            return image;
    return nullptr;
}

}  // namespace

cTarvelImage* cTarvelView::GetImageLayer(const cTarvelString& name, bool applySuffix)
{
    if (name.Length() == 0)
        return nullptr;
    const cTarvelString full = ImageLayerName(*this, name, applySuffix);
    if (cTarvelImage* image = HeldImage(mImages, full))
        return image;
    auto* image = new cTarvelImage(false);
    image->mName = full;
    mImages.Add(image);
    image->ReadFile(full);
    return image;
}

cTarvelImage* cTarvelView::FindImageLayer(const cTarvelString& name, bool applySuffix)
{
    if (name.Length() == 0)
        return nullptr;
    const cTarvelString full = ImageLayerName(*this, name, applySuffix);
    if (cTarvelImage* image = HeldImage(mImages, full))
        return image;
    cTarvelResource& archive = gTarvel.mResources;
    const char* text = full.c_str();
    if (!archive.Exists(text, kResourceTga) && !archive.Exists(text, kResourceDds) &&
        !archive.Exists(text, kResourceImage))
        return nullptr;
    return GetImageLayer(full, false);
}

void cTarvelView::SaveState(cTarvelSavegame& savegame)
{
    savegame.SetAttributeString("name", mRecord.name);
    savegame.WriteString("SuffixReplacement0", mSuffixReplacement0);
    savegame.WriteString("SuffixReplacement1", mSuffixReplacement1);
    savegame.WriteInt("Initialized", mInitialised);
    savegame.WriteString("CamLayer", mCamLayer ? mCamLayer->Name() : "");
    savegame.WriteInt("IsFiltered", mFiltered);
    savegame.WriteInt("NoActors", mNoActors ? 1 : 0);
    for (uint32_t i = 0; i < mMeshSettingCount; ++i) {
        const sSceneMesh& setting = mMeshSettings[i];
        savegame.AddElement("MeshSetting");
        savegame.SetAttributeString("name", setting.mesh->name);
        savegame.WriteInt("RenderMethod", setting.renderMethod);
        savegame.WriteFloat("Depth", setting.depth);
        savegame.WriteString("ColorMap", setting.colorMap ? setting.colorMap->mName : cTarvelString(""));
        savegame.LeaveElement();
    }
    for (const sViewLayer* layer : mLayers) {
        savegame.AddElement("ViewLayer");
        savegame.SetAttributeString("name", layer->name);
        savegame.WriteInt("Visible", layer->visible);
        savegame.WriteFloat("Depth", layer->depth);
        savegame.WriteFloat("ShearX", layer->shearX);
        savegame.WriteFloat("ShearY", layer->shearY);
        savegame.WriteInt("Method", layer->method);
        if (layer->image)
            savegame.WriteString("ColorMap", layer->image->mName);
        savegame.LeaveElement();
    }
    for (const cTarvelImage* image : mImages) {
        savegame.AddElement("Image");
        savegame.SetAttributeString("name", image->mName);
        savegame.WriteInt("Mode", image->mPlayMode);
        savegame.WriteInt("Frame", image->mCurrentFrame);
        savegame.WriteInt("FrameDrawn", image->mFrameDrawn);
        savegame.WriteInt("Direction", image->mDirection);
        savegame.WriteTimeMs("Time", image->mStepTime);
        savegame.WriteInt("Finished", image->mFinished);
        savegame.WriteInt("OnTop", image->mOnTop);
        savegame.WriteInt("Filtered", image->mFiltered);
        savegame.WriteString("CBLabel", image->mCallbackName);
        // A machine gone since the callback was set is not read: its callback is dropped.
        const bool callbackLive =
            image->mCallbackScript && gTarvel.IsScriptLive(image->mCallbackScript, image->mCallbackSerial);
        savegame.WriteString("CBScript", callbackLive ? image->mCallbackScript->mName : cTarvelString(""));
        // The frame callback's frame, -1 when none waits (fired, or its machine gone).
        const bool frameCallbackLive = image->mFrameCallbackMachine &&
                                       gTarvel.IsScriptLive(image->mFrameCallbackMachine, image->mFrameCallbackSerial);
        savegame.WriteInt("FrameCB", frameCallbackLive ? image->mFrameCallbackFrame : -1);
        savegame.WriteString("FrameCBLabel", frameCallbackLive ? image->mFrameCallbackLabel : cTarvelString(""));
        savegame.WriteString("FrameCBScript",
                             frameCallbackLive ? image->mFrameCallbackMachine->mName : cTarvelString(""));
        savegame.LeaveElement();
    }
}

namespace {

// The live script machine a savegame names: the scene's or the main one.
cTarvelScript* ScriptNamed(const cTarvelScene* scene, const cTarvelString& name)
{
    if (name.Length() == 0)
        return nullptr;
    if (scene && scene->mScript && scene->mScript->mName == name)
        return scene->mScript;
    cTarvelScript* main = gTarvel.mGameplay.mMainScript;
    return main && main->mName == name ? main : nullptr;
}

} // namespace

void cTarvelView::LoadState(cTarvelSavegame& savegame)
{
    mSuffixReplacement0 = savegame.ReadString("SuffixReplacement0", mSuffixReplacement0);
    mSuffixReplacement1 = savegame.ReadString("SuffixReplacement1", mSuffixReplacement1);
    mInitialised = savegame.ReadInt("Initialized", mInitialised) != 0 ? 1 : 0;
    const cTarvelString camLayer = savegame.ReadString("CamLayer", "");
    mCamLayer = mScene && camLayer.Length() > 0 ? mScene->FindWalkArea(camLayer.c_str()) : nullptr;
    mFiltered = savegame.ReadInt("IsFiltered", mFiltered) != 0 ? 1 : 0;
    mNoActors = savegame.ReadInt("NoActors", mNoActors ? 1 : 0) != 0;
    if (savegame.EnterElement("MeshSetting")) {
        do {
            const cTarvelString name = savegame.GetAttributeString("name", "");
            for (uint32_t i = 0; i < mMeshSettingCount; ++i) {
                sSceneMesh& setting = mMeshSettings[i];
                if (std::strcmp(setting.mesh->name, name.c_str()) != 0)
                    continue;
                setting.renderMethod = savegame.ReadInt("RenderMethod", setting.renderMethod);
                setting.depth = savegame.ReadFloat("Depth", setting.depth);
                const cTarvelString map = savegame.ReadString("ColorMap", "");
                setting.colorMap = map.Length() > 0 ? GetImageLayer(map, false) : nullptr;
                break;
            }
        } while (savegame.NextElement("MeshSetting"));
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("ViewLayer")) {
        do {
            auto* layer = new sViewLayer;
            layer->name = savegame.GetAttributeString("name", "");
            layer->visible = savegame.ReadInt("Visible", 0) != 0 ? 1 : 0;
            layer->depth = savegame.ReadFloat("Depth", 0.0f);
            layer->shearX = savegame.ReadFloat("ShearX", 0.0f);
            layer->shearY = savegame.ReadFloat("ShearY", 0.0f);
            layer->method = savegame.ReadInt("Method", 0);
            const cTarvelString map = savegame.ReadString("ColorMap", "");
            layer->image = map.Length() > 0 ? GetImageLayer(map, false) : nullptr;
            mLayers.Add(layer);
        } while (savegame.NextElement("ViewLayer"));
        savegame.LeaveElement();
    }
    if (savegame.EnterElement("Image")) {
        do {
            cTarvelImage* image = GetImageLayer(savegame.GetAttributeString("name", ""), false);
            if (!image)
                continue;
            const int32_t mode = savegame.ReadInt("Mode", image->mPlayMode);
            const int32_t frame = savegame.ReadInt("Frame", image->mCurrentFrame);
            const int32_t direction = savegame.ReadInt("Direction", image->mDirection);
            const uint32_t time = savegame.ReadTimeMs("Time", 0);
            const bool finished = savegame.ReadInt("Finished", image->mFinished) != 0;
            image->SetFrame(frame);
            if (mode != kImageStopped && !finished)
                image->Play(mode, frame);   // restarts the playback it had
            image->mPlayMode = mode;
            image->mDirection = direction;
            image->mStepTime = time;
            image->mFinished = finished ? 1 : 0;
            image->mOnTop = savegame.ReadInt("OnTop", image->mOnTop) != 0 ? 1 : 0;
            image->mFiltered = savegame.ReadInt("Filtered", image->mFiltered) != 0 ? 1 : 0;
            image->mCallbackName = savegame.ReadString("CBLabel", "");
            image->mCallbackScript = ScriptNamed(mScene, savegame.ReadString("CBScript", ""));
            image->mCallbackSerial = image->mCallbackScript ? image->mCallbackScript->mSerial : 0;
            // The machine is looked up again by name: the one the callback was
            // set by went with the game that was left. Older savegames wrote
            // only whether a callback waited (1) or not (0): their 1 reads as
            // frame 1, so a resumed playback still gets the event (at its next
            // step); their 0 cannot be told from a wait for frame 0.
            const int32_t at = savegame.ReadInt("FrameCB", -1);
            image->mFrameCallbackLabel = savegame.ReadString("FrameCBLabel", "");
            image->mFrameCallbackScript = savegame.ReadString("FrameCBScript", "");
            cTarvelScript* machine = at >= 0 && image->mFrameCallbackLabel.Length() > 0
                                         ? ScriptNamed(mScene, image->mFrameCallbackScript)
                                         : nullptr;
            image->mFrameCallback = machine ? 1 : 0;
            image->mFrameCallbackMachine = machine;
            image->mFrameCallbackSerial = machine ? machine->mSerial : 0;
            image->mFrameCallbackFrame = machine ? at : -1;
        } while (savegame.NextElement("Image"));
        savegame.LeaveElement();
    }
    mBuilt = 0;
}
