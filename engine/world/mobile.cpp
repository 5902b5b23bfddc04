#include "engine/world/mobile.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "animation/actor.h"
#include "animation/actor_instance.h"
#include "animation/actor_manager.h"
#include "animation/anim_manager.h"
#include "animation/importer.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/motion_layer_system.h"
#include "animation/node.h"
#include "animation/standard_material.h"
#include "animation/sub_mesh.h"
#include "animation/vertex_attribute_layer.h"
#include "engine/core/maths.h"
#include "engine/core/tarvel.h"
#include "engine/render/image.h"
#include "engine/script/script_handles.h"
#include "engine/world/actor.h"
#include "engine/world/actor_control.h"
#include "engine/world/light.h"
#include "engine/world/mobile_animation.h"
#include "engine/world/mobile_controllers.h"
#include "engine/world/mobile_motion_event_handler.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_mobile";
constexpr uint32_t kVertexStride = 32;
constexpr uint32_t kPPLStride = 24;
constexpr uint32_t kShadowStride = 12;
constexpr DWORD kVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
// Past this many vertices in one buffer kind 16-bit indices would wrap.
constexpr int64_t kMax16BitVertices = 65536;
// Keeps every buffer's byte size inside 32 bits.
constexpr int64_t kMaxVertices = 0x7FFFFFFF / 32;
constexpr int64_t kMaxIndices = 0x7FFFFFFF / 4;

// Named bindings of the mobile effects: six vertex-lit and six per-pixel lit
// techniques, then four of each for hair.
constexpr int kBasicBinding = 11;
constexpr int kNormalBinding = 17;
constexpr int kHairBinding = 23;
constexpr int kHairNormalBinding = 27;

// A flat per-vertex layer of a mesh: at least `minSize` bytes per attribute,
// one attribute per vertex.
struct sLayer {
    const uint8_t* data = nullptr;
    uint32_t stride = 0;
    const float* At(uint32_t v) const { return reinterpret_cast<const float*>(data + size_t(v) * stride); }
};

bool FindLayer(Anim::Mesh* mesh, uint32_t type, uint32_t minSize, bool original, sLayer* out)
{
    Anim::VertexAttributeLayer* layer = mesh->FindVertexAttributeLayer(type);
    if (!layer || !layer->IsAbstractDataClass())
        return false;
    auto* flat = static_cast<Anim::VertexAttributeLayerAbstractData*>(layer);
    if (flat->GetAttributeSize() < minSize || flat->GetNumAttributes() < mesh->GetNumVertices())
        return false;
    void* data = original ? flat->GetOriginalData() : flat->GetData();
    if (!data)
        return false;
    out->data = static_cast<const uint8_t*>(data);
    out->stride = flat->GetAttributeSize();
    return true;
}

// The render mesh of level 0, else the collision mesh (shadow geometry).
Anim::Mesh* NodeMesh(Anim::Node* node, bool* shadow)
{
    if (Anim::Mesh* mesh = node->GetMesh(0)) {
        *shadow = false;
        return mesh;
    }
    *shadow = true;
    return node->GetCollisionMesh(0);
}

bool NodeDeformed(Anim::Node* node, bool shadow)
{
    return shadow ? node->HasCollisionMeshDeformers(0) : node->HasMeshDeformers(0);
}

Anim::StandardMaterialLayer* FindMapLayer(Anim::StandardMaterial* material, uint32_t mapType)
{
    for (uint32_t i = 0; material && i < material->GetNumLayers(); ++i)
        if (Anim::StandardMaterialLayer* layer = material->GetLayer(i); layer && layer->GetMapType() == mapType)
            return layer;
    return nullptr;
}

void Normalise(float v[3])
{
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

template <class T>
void InsertFront(tArray<T>& array, const T& value)
{
    array.Add(value);
    for (int32_t i = array.Count() - 1; i > 0; --i)
        array[i] = array[i - 1];
    array[0] = value;
}

template <class T>
void ReleaseBuffer(T*& buffer)
{
    if (buffer)
        buffer->Release();
    buffer = nullptr;
}

D3DXMATRIX ToD3D(const AnimCore::Matrix& m)
{
    D3DXMATRIX out;
    std::memcpy(&out.m[0][0], m.m16, sizeof m.m16);
    return out;
}

} // namespace

cTarvelMobile::cTarvelMobile()
    : mBoxMin(FLT_MAX, FLT_MAX, FLT_MAX), mBoxMax(-FLT_MAX, -FLT_MAX, -FLT_MAX)
{
    D3DXMatrixIdentity(&mWorld);
}

cTarvelMobile::~cTarvelMobile()
{
    // Scripts holding this mobile see it unbound.
    gScriptHandles.Release(this);
    ReleaseLoaded();
    while (mAnimations.Count() > 0) {
        cTarvelMobileAnimation* animation = mAnimations[mAnimations.Count() - 1];
        mAnimations.RemoveAt(mAnimations.Count() - 1);
        animation->Detach();
    }
}

void cTarvelMobile::ReleaseLoaded()
{
    // The base controller and animation go first, while the instance they
    // play on lives; the other animations only forget their instances.
    SetBaseAnimation(nullptr);
    for (int32_t i = 0; i < mAnimations.Count(); ++i)
        mAnimations[i]->ForgetInstance();
    for (int32_t i = 0; i < mMeshes.Count(); ++i) {
        sMobileMesh* mesh = mMeshes[i];
        for (int32_t j = mesh->passes.Count() - 1; j >= 0; --j)
            gTarvel.mGraphics.RemoveLightPass(&mesh->passes[j], mesh);
        delete mesh;
    }
    mMeshes.Clear();
    mTextures.DeleteAll();
    ReleaseBuffers();
    if (mInstance)
        AnimCore::Delete(mInstance);
    mInstance = nullptr;
    if (mActor)
        AnimCore::Delete(mActor);
    mActor = nullptr;
    mWorldLinkNode = -1;
    mStaticIndexCount = mStaticVertexCount = mDynamicIndexCount = mDynamicVertexCount = 0;
    mStaticShadowIndexCount = mStaticShadowVertexCount = mDynamicShadowIndexCount = mDynamicShadowVertexCount = 0;
    mUsePPL = false;
    mShadowMesh = false;
    mBoundsValid = false;
    mDeformedCurrent = false;
}

void cTarvelMobile::ReleaseBuffers()
{
    ReleaseBuffer(mStaticIndexBuffer);
    ReleaseBuffer(mStaticVertexBuffer);
    ReleaseBuffer(mStaticPPLStream);
    ReleaseBuffer(mDynamicIndexBuffer);
    ReleaseBuffer(mDynamicVertexBuffer);
    ReleaseBuffer(mDynamicPPLStream);
    ReleaseBuffer(mStaticShadowIndexBuffer);
    ReleaseBuffer(mStaticShadowVertexBuffer);
    ReleaseBuffer(mDynamicShadowIndexBuffer);
    ReleaseBuffer(mDynamicShadowVertexBuffer);
}

void cTarvelMobile::Damaged(const char* what) const
{
    gTarvel.FatalError(0, kSourceFile, 196, "cTarvelMobile::CreateMeshs",
                       cTarvelString("Mobile file ") + mFile + " is damaged: " + what + ".", 0);
}

// ---- Loading ---------------------------------------------------------------

int cTarvelMobile::Load(const cTarvelString& name)
{
    cTarvelResource& resources = gTarvel.mResources;
    const int slot = resources.OpenResource(name.c_str(), 7);
    if (slot < 0)
        return -1;
    mFile = name;
    const int result = Read(slot);
    resources.CloseResource(slot);
    return result;
}

int cTarvelMobile::Read(int slot)
{
    cTarvelResource& resources = gTarvel.mResources;
    const uint32_t size = resources.GetSize(slot);
    // Owned, so that a refusal unwinding as a fatal error under a guard
    // frees it too.
    std::unique_ptr<uint8_t, decltype(&std::free)> block(size ? resources.ReadBlock(slot, size) : nullptr, &std::free);
    return ReadFromMemory(block.get(), block ? size : 0);
}

int cTarvelMobile::ReadFromMemory(const void* data, uint32_t size)
{
    // An actor restore reads a mobile a second time.
    ReleaseLoaded();
    Anim::Importer* importer = Anim::GetImporter();
    if (data && size && importer)
        mActor = importer->LoadActor(data, size, nullptr);
    Anim::ActorManager* manager = Anim::GetActorManager();
    if (!mActor || !manager)
        gTarvel.FatalError(0, kSourceFile, 137, "cTarvelMobile::Read",
                           cTarvelString("Mobile file processing failed: ") + mFile + ".", 0);

    if (!mAttachedTo) {
        const int32_t node = mActor->GetRepositioningNode();
        if (node < 0 || uint32_t(node) >= mActor->GetNumNodes())
            mActor->AutoSetRepositioningNode();
        mActor->SetRepositioningEnabled(true);
    } else {
        mActor->SetRepositioningEnabled(false);
    }
    if (manager->RegisterActor(mActor, 0))
        mInstance = manager->CreateActorInstance(mActor, 0);
    if (!mInstance)
        gTarvel.FatalError(0, kSourceFile, 137, "cTarvelMobile::Read",
                           cTarvelString("Mobile file processing failed: ") + mFile + ".", 0);
    mInstance->SetCustomData(this);
    if (Anim::MotionSystem* motions = mInstance->GetMotionSystem();
        motions && motions->GetType() == Anim::MotionLayerSystem::TYPE_ID)
        AnimCore::New<MobileRepositioningLayerPass>(Anim::MEMCATEGORY_MOTIONSYSTEM,
                                                    static_cast<Anim::MotionLayerSystem*>(motions));

    CreateMeshs();
    CreateD3DBuffers();
    mLoaded = 1;
    return 0;
}

void cTarvelMobile::CreateMeshs()
{
    if (!mActor)
        return;
    int64_t vertices[4] = {};
    int64_t indices[4] = {};
    const bool pplOn = gTarvel.mConfig.PerPixelLighting != 0;
    const Anim::TransformData& transforms = mActor->GetTransformData();
    for (uint32_t n = 0; n < mActor->GetNumNodes(); ++n) {
        Anim::Node* node = mActor->GetNode(n);
        bool shadow = false;
        Anim::Mesh* mesh = node ? NodeMesh(node, &shadow) : nullptr;
        if (!mesh)
            continue;
        if (shadow)
            mShadowMesh = true;
        const bool dynamic = NodeDeformed(node, shadow);
        const int kind = (shadow ? 2 : 0) + (dynamic ? 1 : 0);

        // What the buffers copy must be there for every vertex.
        sLayer layer;
        if (mesh->GetNumVertices() > 0) {
            if (!FindLayer(mesh, Anim::LAYERTYPE_POSITIONS, 12, false, &layer))
                Damaged("a mesh has no positions");
            if (!shadow && !FindLayer(mesh, Anim::LAYERTYPE_NORMALS, 12, false, &layer))
                Damaged("a mesh has no normals");
            if (!shadow && !FindLayer(mesh, Anim::LAYERTYPE_UVCOORDS, 8, false, &layer))
                Damaged("a mesh has no texture coordinates");
        }

        AnimCore::AABB box;
        mesh->CalcBounds(box, AnimCore::Matrix::Identity());
        D3DXVECTOR3 centre((box.min.x + box.max.x) * 0.5f, (box.min.y + box.max.y) * 0.5f,
                           (box.min.z + box.max.z) * 0.5f);
        const uint32_t parent = node->GetParentIndex();
        if (parent < mActor->GetNumNodes() && transforms.GetWorldMatrices()) {
            const D3DXMATRIX m = ToD3D(transforms.GetWorldMatrices()[parent]);
            D3DXVec3TransformCoord(&centre, &centre, &m);
        }

        for (uint32_t s = 0; s < mesh->GetNumSubMeshes(); ++s) {
            Anim::SubMesh* sub = mesh->GetSubMesh(s);
            if (uint64_t(sub->GetStartVertex()) + sub->GetNumVertices() > mesh->GetNumVertices() ||
                uint64_t(sub->GetStartIndex()) + sub->GetNumIndices() > mesh->GetNumIndices())
                Damaged("a sub-mesh lies outside its mesh");
            if (sub->GetMaterialIndex() >= mActor->GetNumMaterials(0))
                Damaged("a sub-mesh names no material");
            Anim::Material* base = mActor->GetMaterial(0, sub->GetMaterialIndex());
            if (!base || base->GetType() != Anim::StandardMaterial::TYPE_ID)
                gTarvel.FatalError(0, kSourceFile, 196, "cTarvelMobile::CreateMeshs",
                                   cTarvelString("Material type invalid: ") + mFile + ".", 0);
            auto* material = static_cast<Anim::StandardMaterial*>(base);

            // Held here until placed: a missing picture is fatal midway.
            auto record = std::make_unique<sMobileMesh>();
            record->mobile = this;
            record->subMesh = sub;
            record->mesh = mesh;
            record->animNode = node;
            record->node = int32_t(n);
            record->centre = centre;
            for (float& strength : record->shineStrength)
                strength = material->GetShineStrength();
            record->shine = material->GetShine();
            record->firstVertex = int32_t(int64_t(sub->GetStartVertex()) + vertices[kind]);
            record->vertexCount = int32_t(sub->GetNumVertices());
            record->firstIndex = int32_t(int64_t(sub->GetStartIndex()) + indices[kind]);
            record->indexCount = int32_t(sub->GetNumIndices());
            record->dynamic = dynamic;
            record->shadow = shadow;
            record->hair = std::strstr(material->GetName(), "hair") != nullptr;
            record->texture = GetTexture(material, 2);
            record->opacity = FindMapLayer(material, 4) != nullptr;
            if (pplOn) {
                if (cTarvelImage* normalMap = GetTexture(material, 5)) {
                    record->normalMap = normalMap;
                    record->bumpAmount = FindMapLayer(material, 5)->GetAmount();
                    mUsePPL = true;
                }
            }
            // Opacity maps are drawn last, in the order they came.
            if (GetTexture(material, 4))
                mMeshes.Add(record.release());
            else
                InsertFront(mMeshes, record.release());
        }
        vertices[kind] += mesh->GetNumVertices();
        indices[kind] += mesh->GetNumIndices();
        if (vertices[kind] > kMaxVertices || indices[kind] > kMaxIndices)
            Damaged("too many vertices");
    }
    mStaticIndexCount = int32_t(indices[0]);
    mStaticVertexCount = int32_t(vertices[0]);
    mDynamicIndexCount = int32_t(indices[1]);
    mDynamicVertexCount = int32_t(vertices[1]);
    mStaticShadowIndexCount = int32_t(indices[2]);
    mStaticShadowVertexCount = int32_t(vertices[2]);
    mDynamicShadowIndexCount = int32_t(indices[3]);
    mDynamicShadowVertexCount = int32_t(vertices[3]);
}

cTarvelImage* cTarvelMobile::GetTexture(Anim::StandardMaterial* material, uint32_t layerType)
{
    Anim::StandardMaterialLayer* layer = FindMapLayer(material, layerType);
    if (!layer)
        return nullptr;
    cTarvelString name(layer->GetTextureName());
    const size_t suffix = mTextureSuffix.Length();
    if (suffix > 0 && suffix < name.Length() &&
        std::strcmp(name.c_str() + name.Length() - suffix, mTextureSuffix.c_str()) == 0) {
        std::string cut(name.c_str(), name.Length() - suffix);
        name = cTarvelString(cut.c_str()) + mTextureReplacement;
    }
    for (int32_t i = 0; i < mTextures.Count(); ++i)
        if (mTextures[i]->mName == name)
            return mTextures[i];
    auto* image = new cTarvelImage(false);
    // The owner names its pictures; the mobile finds them by file name.
    image->mName = name;
    mTextures.Add(image);
    image->ReadFile(name);
    return image;
}

namespace {

// One buffer kind being filled: its locked vertex, stream and index data and
// how much of it is placed.
struct sFill {
    uint8_t* vertices = nullptr;
    uint8_t* ppl = nullptr;
    uint8_t* indices = nullptr;
    bool wide = false;
    int64_t vertexCount = 0;   // capacity
    int64_t indexCount = 0;
    int64_t placedVertices = 0;
    int64_t placedIndices = 0;
};

void WriteRegularVertices(uint8_t* out, Anim::Mesh* mesh, bool original)
{
    sLayer positions, normals, uvs;
    if (!FindLayer(mesh, Anim::LAYERTYPE_POSITIONS, 12, original, &positions) ||
        !FindLayer(mesh, Anim::LAYERTYPE_NORMALS, 12, original, &normals) ||
        !FindLayer(mesh, Anim::LAYERTYPE_UVCOORDS, 8, false, &uvs))
        return;
    // Runs for every deformed vertex each frame: one reciprocal per normal.
    const uint32_t count = mesh->GetNumVertices();
    for (uint32_t v = 0; v < count; ++v) {
        const float* p = positions.At(v);
        const float* n = normals.At(v);
        const float* t = uvs.At(v);
        const float lengthSquared = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
        const float scale = lengthSquared > 0.0f ? 1.0f / std::sqrt(lengthSquared) : 1.0f;
        const float vertex[8] = {p[0], p[1], p[2], n[0] * scale, n[1] * scale, n[2] * scale, t[0], t[1]};
        std::memcpy(out + size_t(v) * kVertexStride, vertex, sizeof vertex);
    }
}

void WriteShadowVertices(uint8_t* out, Anim::Mesh* mesh, bool original)
{
    sLayer positions;
    if (!FindLayer(mesh, Anim::LAYERTYPE_POSITIONS, 12, original, &positions))
        return;
    for (uint32_t v = 0; v < mesh->GetNumVertices(); ++v)
        std::memcpy(out + size_t(v) * kShadowStride, positions.At(v), 12);
}

// Tangent and binormal (normal x tangent, turned by the handedness) from the
// bind pose.
void WritePPLStream(uint8_t* out, Anim::Mesh* mesh)
{
    sLayer normals, tangents;
    if (!FindLayer(mesh, Anim::LAYERTYPE_NORMALS, 12, true, &normals) ||
        !FindLayer(mesh, Anim::LAYERTYPE_TANGENTS, 16, true, &tangents))
        return;
    for (uint32_t v = 0; v < mesh->GetNumVertices(); ++v) {
        float n[3];
        std::memcpy(n, normals.At(v), 12);
        Normalise(n);
        const float* t = tangents.At(v);
        const float w = t[3];
        const float record[6] = {t[0], t[1], t[2], (n[1] * t[2] - n[2] * t[1]) * w, (n[2] * t[0] - n[0] * t[2]) * w,
                                 (n[0] * t[1] - n[1] * t[0]) * w};
        std::memcpy(out + size_t(v) * kPPLStride, record, sizeof record);
    }
}

void WriteIndices(sFill& fill, Anim::Mesh* mesh)
{
    const uint32_t* source = mesh->GetIndices();
    const uint32_t count = source ? mesh->GetNumIndices() : 0;
    const uint32_t base = uint32_t(fill.placedVertices);
    for (uint32_t i = 0; i < count && fill.placedIndices + i < fill.indexCount; ++i) {
        // An index past the mesh's vertices stays inside it.
        const uint32_t index = base + (source[i] < mesh->GetNumVertices() ? source[i] : 0);
        if (fill.wide)
            reinterpret_cast<uint32_t*>(fill.indices)[fill.placedIndices + i] = index;
        else
            reinterpret_cast<uint16_t*>(fill.indices)[fill.placedIndices + i] = uint16_t(index);
    }
}

} // namespace

void cTarvelMobile::CreateD3DBuffers()
{
    ReleaseBuffers();
    if (!mActor)
        return;
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    auto fatal = [](int line, const char* message, HRESULT result) {
        gTarvel.FatalError(1, kSourceFile, line, "cTarvelMobile::CreateD3DBuffers", message, uint32_t(result));
    };
    auto vertexBuffer = [&](int32_t count, uint32_t stride, DWORD fvf, IDirect3DVertexBuffer9** out, int line,
                            const char* message) {
        const HRESULT result = device->CreateVertexBuffer(uint32_t(count) * stride, D3DUSAGE_WRITEONLY, fvf,
                                                          D3DPOOL_MANAGED, out, nullptr);
        if (FAILED(result)) {
            *out = nullptr;
            fatal(line, message, result);
        }
    };
    auto indexBuffer = [&](int32_t count, bool wide, IDirect3DIndexBuffer9** out, int line, const char* message) {
        const HRESULT result = device->CreateIndexBuffer(uint32_t(count) * (wide ? 4u : 2u), D3DUSAGE_WRITEONLY,
                                                         wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, D3DPOOL_MANAGED, out,
                                                         nullptr);
        if (FAILED(result)) {
            *out = nullptr;
            fatal(line, message, result);
        }
    };
    auto lock = [](auto* buffer) -> uint8_t* {
        void* data = nullptr;
        if (!buffer || FAILED(buffer->Lock(0, 0, &data, 0)))
            return nullptr;
        return static_cast<uint8_t*>(data);
    };

    // Static part: regular and shadow geometry, each from its own counts.
    sFill fills[4];
    const int32_t vertexCounts[4] = {mStaticVertexCount, mDynamicVertexCount, mStaticShadowVertexCount,
                                     mDynamicShadowVertexCount};
    const int32_t indexCounts[4] = {mStaticIndexCount, mDynamicIndexCount, mStaticShadowIndexCount,
                                    mDynamicShadowIndexCount};
    for (int kind = 0; kind < 4; ++kind) {
        fills[kind].vertexCount = vertexCounts[kind];
        fills[kind].indexCount = indexCounts[kind];
        fills[kind].wide = vertexCounts[kind] > kMax16BitVertices;
    }
    if (mStaticVertexCount && mStaticIndexCount) {
        vertexBuffer(mStaticVertexCount, kVertexStride, kVertexFormat, &mStaticVertexBuffer, 333,
                     "Static vertex buffer creation failed.");
        if (mUsePPL)
            vertexBuffer(mStaticVertexCount, kPPLStride, 0, &mStaticPPLStream, 337,
                         "Static vertex buffer (PPL-Stream) creation failed.");
        indexBuffer(mStaticIndexCount, fills[0].wide, &mStaticIndexBuffer, 341, "Static index buffer creation failed.");
        fills[0].vertices = lock(mStaticVertexBuffer);
        fills[0].ppl = lock(mStaticPPLStream);
        fills[0].indices = lock(mStaticIndexBuffer);
    }
    if (mStaticShadowVertexCount && mStaticShadowIndexCount) {
        vertexBuffer(mStaticShadowVertexCount, kShadowStride, D3DFVF_XYZ, &mStaticShadowVertexBuffer, 350,
                     "Static shadow vertex buffer creation failed.");
        indexBuffer(mStaticShadowIndexCount, fills[2].wide, &mStaticShadowIndexBuffer, 353,
                    "Static shadow index buffer creation failed.");
        fills[2].vertices = lock(mStaticShadowVertexBuffer);
        fills[2].indices = lock(mStaticShadowIndexBuffer);
    }
    if (mDynamicVertexCount && mDynamicIndexCount) {
        vertexBuffer(mDynamicVertexCount, kVertexStride, kVertexFormat, &mDynamicVertexBuffer, 429,
                     "Dynamic vertex buffer creation failed.");
        if (mUsePPL)
            vertexBuffer(mDynamicVertexCount, kPPLStride, 0, &mDynamicPPLStream, 433,
                         "Dynamic vertex buffer (PPL-Stream) creation failed.");
        indexBuffer(mDynamicIndexCount, fills[1].wide, &mDynamicIndexBuffer, 437,
                    "Dynamic index buffer creation failed.");
        fills[1].ppl = lock(mDynamicPPLStream);
        fills[1].indices = lock(mDynamicIndexBuffer);
    }
    if (mDynamicShadowVertexCount && mDynamicShadowIndexCount) {
        vertexBuffer(mDynamicShadowVertexCount, kShadowStride, D3DFVF_XYZ, &mDynamicShadowVertexBuffer, 445,
                     "Dynamic shadow vertex buffer creation failed.");
        indexBuffer(mDynamicShadowIndexCount, fills[3].wide, &mDynamicShadowIndexBuffer, 448,
                    "Dynamic shadow index buffer creation failed.");
        fills[3].indices = lock(mDynamicShadowIndexBuffer);
    }

    for (uint32_t n = 0; n < mActor->GetNumNodes(); ++n) {
        Anim::Node* node = mActor->GetNode(n);
        bool shadow = false;
        Anim::Mesh* mesh = node ? NodeMesh(node, &shadow) : nullptr;
        if (!mesh)
            continue;
        const bool dynamic = NodeDeformed(node, shadow);
        sFill& fill = fills[(shadow ? 2 : 0) + (dynamic ? 1 : 0)];
        const uint32_t count = mesh->GetNumVertices();
        // Counted by CreateMeshs; a buffer that is missing only skips the copy.
        if (fill.placedVertices + count <= fill.vertexCount) {
            if (!dynamic && fill.vertices) {
                if (shadow) {
                    WriteShadowVertices(fill.vertices + fill.placedVertices * kShadowStride, mesh, false);
                } else {
                    if (mUsePPL)
                        mesh->CalcTangents(0);
                    WriteRegularVertices(fill.vertices + fill.placedVertices * kVertexStride, mesh, false);
                }
            }
            if (!shadow && fill.ppl) {
                if (!mesh->FindVertexAttributeLayer(Anim::LAYERTYPE_TANGENTS))
                    mesh->CalcTangents(0);
                WritePPLStream(fill.ppl + fill.placedVertices * kPPLStride, mesh);
            }
            if (fill.indices)
                WriteIndices(fill, mesh);
        }
        fill.placedVertices += count;
        fill.placedIndices += mesh->GetNumIndices();
    }
    for (auto* buffer : {mStaticVertexBuffer, mStaticPPLStream, mStaticShadowVertexBuffer, mDynamicPPLStream})
        if (buffer)
            buffer->Unlock();
    for (auto* buffer : {mStaticIndexBuffer, mStaticShadowIndexBuffer, mDynamicIndexBuffer, mDynamicShadowIndexBuffer})
        if (buffer)
            buffer->Unlock();
    CopyDeformedVertices();
}

void cTarvelMobile::CopyDeformedVertices()
{
    if (!mActor || (!mDynamicVertexBuffer && !mDynamicShadowVertexBuffer))
        return;
    void* regular = nullptr;
    void* shadows = nullptr;
    if (mDynamicVertexBuffer && FAILED(mDynamicVertexBuffer->Lock(0, 0, &regular, 0)))
        regular = nullptr;
    if (mDynamicShadowVertexBuffer && FAILED(mDynamicShadowVertexBuffer->Lock(0, 0, &shadows, 0)))
        shadows = nullptr;
    int64_t placed[2] = {};
    const int64_t capacity[2] = {regular ? mDynamicVertexCount : 0, shadows ? mDynamicShadowVertexCount : 0};
    for (uint32_t n = 0; n < mActor->GetNumNodes(); ++n) {
        Anim::Node* node = mActor->GetNode(n);
        bool shadow = false;
        Anim::Mesh* mesh = node ? NodeMesh(node, &shadow) : nullptr;
        if (!mesh || !NodeDeformed(node, shadow))
            continue;
        const int k = shadow ? 1 : 0;
        if (placed[k] + mesh->GetNumVertices() <= capacity[k]) {
            if (shadow)
                WriteShadowVertices(static_cast<uint8_t*>(shadows) + placed[k] * kShadowStride, mesh, false);
            else
                WriteRegularVertices(static_cast<uint8_t*>(regular) + placed[k] * kVertexStride, mesh, false);
        }
        placed[k] += mesh->GetNumVertices();
    }
    if (regular)
        mDynamicVertexBuffer->Unlock();
    if (shadows)
        mDynamicShadowVertexBuffer->Unlock();
    mDeformedCurrent = true;
}

IDirect3DVertexBuffer9* cTarvelMobile::GetVertexBuffer(const sMobileMesh& mesh) const
{
    switch (mesh.Kind()) {
    case sMobileMesh::kStatic: return mStaticVertexBuffer;
    case sMobileMesh::kDynamic: return mDynamicVertexBuffer;
    case sMobileMesh::kStaticShadow: return mStaticShadowVertexBuffer;
    default: return mDynamicShadowVertexBuffer;
    }
}

IDirect3DIndexBuffer9* cTarvelMobile::GetIndexBuffer(const sMobileMesh& mesh) const
{
    switch (mesh.Kind()) {
    case sMobileMesh::kStatic: return mStaticIndexBuffer;
    case sMobileMesh::kDynamic: return mDynamicIndexBuffer;
    case sMobileMesh::kStaticShadow: return mStaticShadowIndexBuffer;
    default: return mDynamicShadowIndexBuffer;
    }
}

// ---- Update ------------------------------------------------------------------

void cTarvelMobile::UpdateWorldTransform()
{
    if (mAttachedTo) {
        if (mInstance) {
            const AnimCore::Vector3& p = mInstance->GetPosition();
            mPosition = D3DXVECTOR3(p.x, p.y, p.z);
        }
        return;
    }
    D3DXQuaternionNormalize(&mRotation, &mRotation);
    MatrixFromPositionRotation(&mWorld, &mPosition, &mRotation);
    if (mInstance) {
        mInstance->SetPosition(AnimCore::Vector3(mPosition.x, mPosition.y, mPosition.z));
        mInstance->SetRotation(AnimCore::Quaternion(mRotation.x, mRotation.y, mRotation.z, mRotation.w));
    }
}

void cTarvelMobile::SetPosition(float x, float y, float z)
{
    mPosition = D3DXVECTOR3(x, y, z);
    UpdateWorldTransform();
}

void cTarvelMobile::SetRotation(const D3DXQUATERNION& rotation)
{
    mRotation = rotation;
    UpdateWorldTransform();
}

void cTarvelMobile::SetRotationXYZ(float ax, float ay, float az)
{
    D3DXQuaternionIdentity(&mRotation);
    QuaternionRotateXYZ(&mRotation, ax, ay, az);
    UpdateWorldTransform();
}

void cTarvelMobile::SetWorldLink(const char* nodeName, cTarvelMobile* target)
{
    mWorldLinkNode = -1;
    mWorldLinkTarget = target ? gScriptHandles.Bind(target, eScriptObjectType::Mobile) : 0;
    if (!mActor || !nodeName)
        return;
    if (Anim::Node* node = mActor->FindNodeByName(nodeName))
        mWorldLinkNode = int32_t(node->GetIndex());
}

cTarvelMobile* cTarvelMobile::WorldLinkTarget() const
{
    return gScriptHandles.Get<cTarvelMobile>(mWorldLinkTarget, eScriptObjectType::Mobile);
}

void cTarvelMobile::Update(float dt)
{
    if (!mActor || !mInstance)
        return;
    mBoundsValid = false;
    // The instance is brought in step first: a position set straight into
    // the field since the last frame is not taken for root motion.
    UpdateWorldTransform();
    const float oldX = mInstance->GetPosition().x;
    const float oldZ = mInstance->GetPosition().z;
    if (mBaseController)
        mBaseController->AdvanceTime(dt);
    for (int32_t i = 0; i < mAnimations.Count(); ++i)
        if (mAnimations[i] != mBaseAnimation)
            mAnimations[i]->Update();
    {
        MotionEventHold hold;
        mInstance->Update(dt, true);
    }
    mInstance->UpdateTransformations(dt);
    if (mAttachedTo) {
        mDeformedCurrent = false;
        return;
    }
    const int32_t linkNode = mWorldLinkNode;
    if (linkNode >= 0 && uint32_t(linkNode) < mInstance->GetNumNodes()) {
        const Anim::Transform& local = mInstance->GetTransformData().GetLocalTransforms()[linkNode];
        mPosition = D3DXVECTOR3(local.position.x, local.position.y, local.position.z);
        mRotation = D3DXQUATERNION(local.rotation.x, local.rotation.y, local.rotation.z, local.rotation.w);
        if (const cTarvelMobile* target = WorldLinkTarget()) {
            RotateByQuaternion(&mPosition, &target->mRotation);
            mPosition += target->mPosition;
            D3DXQuaternionMultiply(&mRotation, &mRotation, &target->mRotation);
        }
    } else {
        const float dx = mInstance->GetPosition().x - oldX;
        const float dz = mInstance->GetPosition().z - oldZ;
        bool accept = true;
        const cTarvelActor* player = gTarvel.mPlayer;
        if (player && player->mMobile == this)
            accept = player->mControl && player->mControl->IsOnWalkArea(mPosition.x + dx, mPosition.z + dz);
        if (accept) {
            mPosition.x += dx;
            mPosition.z += dz;
        }
        const AnimCore::Quaternion& r = mInstance->GetRotation();
        mRotation = D3DXQUATERNION(r.x, r.y, r.z, r.w);
    }
    UpdateWorldTransform();
    mDeformedCurrent = false;
}

// ---- Rendering -----------------------------------------------------------------

int cTarvelMobile::CollectRenderItems(tArray<sRenderItem>& list, int camera)
{
    if (!mVisible)
        return 0;
    const cTarvelCamera& view = camera == 1 ? gTarvel.mCamera2 : gTarvel.mCamera;
    D3DXVECTOR3 projected = mPosition;
    view.Project(&projected);
    list.Add(sRenderItem{view.DistanceFromDepth(projected.z), this, 2});
    return 0;
}

int cTarvelMobile::Draw(const D3DXMATRIX* matrix, bool depth, const cTarvelShaderBinding* shader, int cull,
                        int maxLights, bool plainLighting)
{
    if (!mActor)
        return 0;
    if (!mDeformedCurrent)
        CopyDeformedVertices();
    Render(matrix, depth, shader, false, cull, maxLights, plainLighting);
    return 0;
}

void cTarvelMobile::GetNodeWorldMatrix(int32_t node, D3DXMATRIX* out)
{
    const AnimCore::Matrix* world = mInstance ? mInstance->GetTransformData().GetWorldMatrices() : nullptr;
    if (world && node >= 0 && uint32_t(node) < mInstance->GetNumNodes())
        *out = ToD3D(world[node]);
    else
        D3DXMatrixIdentity(out);
}

namespace {

// The light constants for n lights of the ranked list, in the node's space.
void SetLightConstants(const cTarvelShaderBinding* binding, int n, const D3DXMATRIX& nodeWorld, float bump)
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    cTarvelLightSet& lights = gTarvel.mLights;
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, &nodeWorld);
    static const char* const kPositions[6] = {"lp1", "lp2", "lp3", "lp4", "lp5", "lp6"};
    static const char* const kIntensities[6] = {"li1", "li2", "li3", "li4", "li5", "li6"};
    static const char* const kColours[6] = {"lc1", "lc2", "lc3", "lc4", "lc5", "lc6"};
    for (int i = 0; i < n && i < 6 && lights.mLights.Count() > 0; ++i) {
        const cTarvelLight* light = lights.mLights[i];
        D3DXVECTOR3 position;
        D3DXVec3TransformCoord(&position, &light->mPosition, &inverse);
        shaders.SetFloat3(binding, kPositions[i], position.x, position.y, position.z);
        shaders.SetFloat(binding, kIntensities[i], std::min(light->mIntensity, 2.0f));
        shaders.SetFloat3(binding, kColours[i], light->mColor.r, light->mColor.g, light->mColor.b);
    }
    if (n == 0)
        shaders.SetFloat(binding, "li1", 0.0f);
    const D3DCOLORVALUE& ambient = lights.mObjectAmbient;
    shaders.SetFloat3(binding, "la", ambient.r * 0.5f, ambient.g * 0.5f, ambient.b * 0.5f);
    shaders.SetFloat(binding, "bi", 2.0f * bump);
}

} // namespace

void cTarvelMobile::Render(const D3DXMATRIX* matrix, bool depth, const cTarvelShaderBinding* shader,
                           bool keepTransforms, int cull, int maxLights, bool plainLighting)
{
    if (!mInstance)
        return;
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    cTarvelGraphics& graphics = gTarvel.mGraphics;
    IDirect3DDevice9* device = graphics.mDevice;
    D3DXVECTOR3 centre;
    GetBoundsCenter(&centre);
    const int ranked = gTarvel.mLights.RankLights(centre.x, centre.y, centre.z);
    const int lightCount = std::max(0, std::min(ranked, maxLights));
    const cTarvelShaderBinding* chosen = shader ? shader : mOverrideShader;
    const bool pplConfig = gTarvel.mConfig.PerPixelLighting != 0;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);

    for (int32_t i = 0; i < mMeshes.Count(); ++i) {
        sMobileMesh* mesh = mMeshes[i];
        if (mesh->shadow)
            continue;
        D3DXMATRIX nodeWorld;
        GetNodeWorldMatrix(mesh->node, &nodeWorld);
        if (!keepTransforms) {
            D3DXMATRIX world;
            D3DXMatrixMultiply(&world, &nodeWorld, matrix ? matrix : &identity);
            shaders.SetWorldTransform(&world);
        }
        const cTarvelShaderBinding* binding = chosen;
        if (!chosen) {
            int n = lightCount;
            const bool perPixel = pplConfig && mUsePPL && !plainLighting;
            if (!mesh->hair || plainLighting) {
                n = std::min(n, 6);
                const int first = perPixel && n >= 1 ? kNormalBinding : kBasicBinding;
                binding = &shaders.mNamed[first + std::max(n, 1) - 1];
            } else {
                n = std::min(n, 4);
                const int first = perPixel && n >= 1 ? kHairNormalBinding : kHairBinding;
                binding = &shaders.mNamed[first + std::max(n, 1) - 1];
            }
            SetLightConstants(binding, n, nodeWorld, mesh->bumpAmount);
        } else if (mOverrideLightCount > 0) {
            SetLightConstants(binding, std::min(mOverrideLightCount, lightCount), nodeWorld, mesh->bumpAmount);
        }
        shaders.Use(binding);
        shaders.SetInt(nullptr, "cull", cull);
        const int kind = mesh->Kind();
        device->SetIndices(GetIndexBuffer(*mesh));
        if (pplConfig && mUsePPL && !shader) {
            device->SetStreamSource(0, GetVertexBuffer(*mesh), 0, kVertexStride);
            device->SetStreamSource(1, kind == sMobileMesh::kStatic ? mStaticPPLStream : mDynamicPPLStream, 0,
                                    kPPLStride);
            graphics.SetVertexDeclaration(0);
            if (mesh->normalMap)
                shaders.SetTexture(nullptr, "normal", mesh->normalMap);
        } else {
            device->SetStreamSource(0, GetVertexBuffer(*mesh), 0, kVertexStride);
            device->SetFVF(kVertexFormat);
        }
        shaders.SetBool(nullptr, "blend", mesh->opacity);
        shaders.SetBool(nullptr, "depth", depth);
        if (mesh->texture)
            shaders.SetTexture(nullptr, "tex", mesh->texture);
        shaders.Begin();
        while (shaders.NextPass())
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(mesh->firstVertex), UINT(mesh->vertexCount),
                                         UINT(mesh->firstIndex), UINT(mesh->indexCount / 3));
        shaders.End();
        for (int32_t j = 0; j < mesh->passes.Count(); ++j)
            graphics.DrawLightPass(&mesh->passes[j], mesh);
    }
    if (!keepTransforms)
        shaders.SetWorldTransform(&identity);
}

void cTarvelMobile::RenderShadow()
{
    cTarvelShaderLib& shaders = gTarvel.mShaders;
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    bool drawn = false;
    for (int32_t i = 0; i < mMeshes.Count(); ++i) {
        sMobileMesh* mesh = mMeshes[i];
        if (!mesh->shadow)
            continue;
        D3DXMATRIX world;
        GetNodeWorldMatrix(mesh->node, &world);
        shaders.SetWorldTransform(&world);
        device->SetIndices(GetIndexBuffer(*mesh));
        device->SetStreamSource(0, GetVertexBuffer(*mesh), 0, kShadowStride);
        device->SetFVF(D3DFVF_XYZ);
        shaders.Restart();
        while (shaders.NextPass())
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, UINT(mesh->firstVertex), UINT(mesh->vertexCount),
                                         UINT(mesh->firstIndex), UINT(mesh->indexCount / 3));
        drawn = true;
    }
    if (drawn) {
        shaders.End();
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        shaders.SetWorldTransform(&identity);
    }
}

// ---- Bounds and picking -----------------------------------------------------

void cTarvelMobile::UpdateBounds()
{
    if (mBoundsValid || !mInstance)
        return;
    AnimCore::AABB box;
    if (mShadowMesh)
        mInstance->CalcCollisionMeshBasedBounds(0, box, 1);
    else
        mInstance->CalcMeshBasedBounds(0, box, 1);
    mBoxMin = D3DXVECTOR3(box.min.x, box.min.y, box.min.z);
    mBoxMax = D3DXVECTOR3(box.max.x, box.max.y, box.max.z);
    mBoundsValid = true;
}

void cTarvelMobile::GetBoundingBox(D3DXVECTOR3 corners[8])
{
    UpdateBounds();
    for (int i = 0; i < 8; ++i)
        corners[i] = D3DXVECTOR3((i & 2) ? mBoxMax.x : mBoxMin.x, (i & 4) ? mBoxMax.y : mBoxMin.y,
                                 (i & 1) ? mBoxMax.z : mBoxMin.z);
}

void cTarvelMobile::GetBoundsCenter(D3DXVECTOR3* out)
{
    UpdateBounds();
    *out = (mBoxMin + mBoxMax) * 0.5f;
}

void cTarvelMobile::GetBoundsHalfSize(D3DXVECTOR3* out)
{
    UpdateBounds();
    *out = (mBoxMax - mBoxMin) * 0.5f;
}

bool cTarvelMobile::HitTest(int32_t x, int32_t y, int camera)
{
    if (!mInstance)
        return false;
    const cTarvelCamera& view = camera == 1 ? gTarvel.mCamera2 : gTarvel.mCamera;
    const cTarvelGraphics& graphics = gTarvel.mGraphics;
    const float top = float(gTarvel.mCamera.mViewport.Y);
    const float bottom = top + float(gTarvel.mCamera.mViewport.Height);
    const float py = float(y) * graphics.mScaleY;
    const float px = float(x) * graphics.mScaleX;
    if (!(py > top && py < bottom))
        return false;
    D3DXVECTOR3 nearPoint(px, py, view.DepthFromDistance(1.0f));
    D3DXVECTOR3 farPoint(px, py, view.DepthFromDistance(5000.0f));
    view.Unproject(&nearPoint);
    view.Unproject(&farPoint);
    const AnimCore::Ray ray(AnimCore::Vector3(nearPoint.x, nearPoint.y, nearPoint.z),
                            AnimCore::Vector3(farPoint.x, farPoint.y, farPoint.z));
    return mInstance->IntersectsMesh(0, ray) != nullptr;
}

// ---- Savegame ------------------------------------------------------------------

void cTarvelMobile::Save(cTarvelSavegame& savegame)
{
    savegame.WriteString("File", mFile);
    savegame.WriteInt("ColorOverride", int32_t(mColorOverride));
    savegame.WriteInt("Cached", mCached ? 1 : 0);
    savegame.WriteInt("GlobalCached", mGlobalCached ? 1 : 0);
    savegame.WriteInt("ShadowMesh", mShadowMesh ? 1 : 0);
    savegame.WriteInt("UsePPL", mUsePPL ? 1 : 0);
    savegame.WriteVec3("Position", &mPosition.x);
    savegame.WriteVec4("Rotation", &mRotation.x);
    savegame.WriteInt("LinkBone", mLinkBone);
    savegame.WriteInt("Free", mFree ? 1 : 0);
    savegame.WriteInt("Visible", mVisible ? 1 : 0);
    savegame.WriteString("FreeID", mFreeID);
    savegame.WriteString("Symbol", mSymbol);
    if (mBaseAnimation) {
        savegame.AddElement("BaseAnim");
        savegame.WriteString("File", mBaseAnimation->mName);
        savegame.LeaveElement();
    }
}

void cTarvelMobile::LoadState(cTarvelSavegame& savegame)
{
    const cTarvelString file = savegame.ReadString("File", "");
    // A mobile saved without an actor has nothing to load.
    if (file.Length() > 0)
        Load(file);
    mColorOverride = uint32_t(savegame.ReadInt("ColorOverride", 0));
    savegame.ReadVec3("Position", &mPosition.x);
    savegame.ReadVec4("Rotation", &mRotation.x);
    // Only a node of the actor can be the link bone.
    mLinkBone = savegame.ReadInt("LinkBone", -1);
    if (mLinkBone < -1 || !mActor || mLinkBone >= int32_t(mActor->GetNumNodes()))
        mLinkBone = -1;
    mFree = savegame.ReadInt("Free", 0) != 0;
    mVisible = savegame.ReadInt("Visible", 1) != 0;
    mFreeID = savegame.ReadString("FreeID", "");
    mSymbol = savegame.ReadString("Symbol", "");
    UpdateWorldTransform();
    if (savegame.EnterElement("BaseAnim")) {
        const cTarvelString name = savegame.ReadString("File", "");
        savegame.LeaveElement();
        SetBaseAnimation(name.c_str());
    }
}
