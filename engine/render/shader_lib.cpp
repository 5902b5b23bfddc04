#include "engine/render/shader_lib.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/tarvel.h"
#include "engine/render/image.h"

namespace {

constexpr const char* kSourceFile = ".\\source\\class_shaderlib";

struct sNamedBinding {
    const char* effect;
    const char* technique;
    bool fatal;
};

constexpr sNamedBinding kNamed[cTarvelShaderLib::kNamedBindings] = {
    {"image_basic", "image_basic", true},
    {"image_basic", "image_blended", true},
    {"image_basic", "image_blended_nozwrite", true},
    {"image_basic", "image_blended_noalpha", true},
    {"text", "text_basic", true},
    {"text", "text_blended", true},
    {"scenery_unlit", "scenery_unlit", true},
    {"scenery_depthset", "scenery_depthset", true},
    {"scenery_lit", "scenery_lit", true},
    {"scenery_cmv", "scenery_cmv", true},
    {"scenery_cmv", "scenery_cmva", true},
    {"mobile_basic", "one_light", true},
    {"mobile_basic", "two_lights", true},
    {"mobile_basic", "three_lights", true},
    {"mobile_basic", "four_lights", true},
    {"mobile_basic", "five_lights", true},
    {"mobile_basic", "six_lights", true},
    {"mobile_normal", "one_light", false},
    {"mobile_normal", "two_lights", false},
    {"mobile_normal", "three_lights", false},
    {"mobile_normal", "four_lights", false},
    {"mobile_normal", "five_lights", false},
    {"mobile_normal", "six_lights", false},
    {"mobile_hair", "one_light", true},
    {"mobile_hair", "two_lights", true},
    {"mobile_hair", "three_lights", true},
    {"mobile_hair", "four_lights", true},
    {"mobile_hair_normal", "one_light", false},
    {"mobile_hair_normal", "two_lights", false},
    {"mobile_hair_normal", "three_lights", false},
    {"mobile_hair_normal", "four_lights", false},
    {"shadow_cast", "cast_mobile", true},
    {"shadow_scenery", "base", true},
    {"shadow_scenery", "notex", true},
    {"shadow_mobile", "base", true},
    {"shadow_mobile", "notex", true},
};

// The per-pixel groups: the first binding that fails leaves the rest of its
// group unbound and turns per-pixel lighting off.
constexpr int kPerPixelGroups[2][2] = {{17, 22}, {27, 30}};

size_t EntryNameLength(const sShaderLibEntry& entry)
{
    return strnlen(entry.name, sizeof entry.name);
}

} // namespace

cTarvelShader::cTarvelShader(const cTarvelString& name) : mName(name), mEffect(nullptr) {}

cTarvelShader::~cTarvelShader()
{
    if (mEffect)
        mEffect->Release();
}

bool cTarvelShader::LoadFromSourceFile(const cTarvelString& fileName)
{
    cTarvelResource& resources = gTarvel.mResources;
    int slot = resources.OpenResource(fileName.c_str(), kResourceOther);
    if (slot == -1)
        return false;
    uint32_t size = resources.GetSize(slot);
    uint8_t* block = resources.ReadBlock(slot, size);
    resources.CloseResource(slot);
    HRESULT result = D3DXCreateEffect(gTarvel.mGraphics.mDevice, block, size, nullptr, nullptr, 0,
                                      gTarvel.mShaders.mPool, &mEffect, nullptr);
    std::free(block);
    if (FAILED(result)) {
        mEffect = nullptr;
        gTarvel.FatalError(1, kSourceFile, 41, "cTarvelShader::LoadFromSourceFile",
                           cTarvelString("Shaderfile ") + fileName + " could not be loaded or compiled.",
                           uint32_t(result));
    }
    return true;
}

HRESULT cTarvelShader::LoadFromMemory(const void* data, uint32_t size)
{
    HRESULT result = D3DXCreateEffect(gTarvel.mGraphics.mDevice, data, size, nullptr, nullptr, 0,
                                      gTarvel.mShaders.mPool, &mEffect, nullptr);
    if (FAILED(result)) {
        mEffect = nullptr;
        gTarvel.FatalError(1, kSourceFile, 54, "cTarvelShader::LoadFromMemory",
                           "Shaderfile could not be initialized.", uint32_t(result));
    }
    return result;
}

bool cTarvelShader::GetTechnique(const cTarvelString& technique, cTarvelShaderBinding* binding, bool fatal)
{
    const size_t n = technique.Length();
    bool found = false;
    if (mEffect) {
        D3DXHANDLE handle = nullptr;
        for (;;) {
            D3DXHANDLE next = nullptr;
            if (FAILED(mEffect->FindNextValidTechnique(handle, &next)) || !next)
                break;
            handle = next;
            D3DXTECHNIQUE_DESC desc{};
            if (FAILED(mEffect->GetTechniqueDesc(handle, &desc)) || !desc.Name)
                continue;
            if (std::strlen(desc.Name) <= n + 1 && std::strncmp(desc.Name, technique.c_str(), n) == 0) {
                binding->technique = handle;
                binding->techniqueName = desc.Name;
                binding->passes = desc.Passes;
                binding->annotations = desc.Annotations;
                found = true;
            }
        }
    }
    if (!found) {
        if (fatal)
            gTarvel.FatalError(0, kSourceFile, 82, "cTarvelShader::GetTechnique",
                               cTarvelString("No valid technique ") + technique + " of shader " + mName +
                                   " found.",
                               0);
        return false;
    }
    std::printf("Valid technique %s of shader %s found.\n", binding->techniqueName, mName.c_str());
    std::fflush(stdout);
    return true;
}

cTarvelShaderLib::cTarvelShaderLib()
    : mNamed{}, mCurrent(nullptr), mPool(nullptr), mPassCount(0), mPass(0)
{
}

cTarvelShaderLib::~cTarvelShaderLib()
{
    Shutdown();
}

int cTarvelShaderLib::Init()
{
    std::printf("Initializing shader library...\n");
    if (!mPool)
        D3DXCreateEffectPool(&mPool);

    cTarvelResource& resources = gTarvel.mResources;
    const char* name = nullptr;
    if (resources.Exists("shaderlibd", kResourceOther))
        name = "shaderlibd";
    else if (resources.Exists("shaderlib", kResourceOther))
        name = "shaderlib";
    int slot = name ? resources.OpenResource(name, kResourceOther) : -1;
    if (slot != -1) {
        uint8_t header[36];
        resources.Read(slot, header, sizeof header);
        char libraryName[33];
        std::memcpy(libraryName, header, 32);
        libraryName[32] = '\0';
        uint32_t build;
        std::memcpy(&build, header + 32, 4);
        std::printf("Shader library loaded: %s, Build %d\n", libraryName, int32_t(build));
        for (;;) {
            // A library that ends without its closing entry ends here too.
            uint32_t position = uint32_t(resources.GetResourcePos(slot, false));
            if (position >= resources.GetSize(slot))
                break;
            sShaderLibEntry entry{};
            resources.Read(slot, entry.name, sizeof entry.name);
            uint8_t size[4];
            resources.Read(slot, size, sizeof size);
            entry.size = uint32_t(size[0]) | uint32_t(size[1]) << 8 | uint32_t(size[2]) << 16 |
                         uint32_t(size[3]) << 24;
            if (entry.size == 0)
                break;
            // The archive refuses a size past the resource's end.
            entry.data = resources.ReadBlock(slot, entry.size);
            mEntries.Add(entry);
        }
        resources.CloseResource(slot);
    }

    static constexpr int kOrder[] = {0, 1, 3, 2};
    for (int index : kOrder)
        LoadShader(kNamed[index].effect, kNamed[index].technique, &mNamed[index], kNamed[index].fatal);
    for (int index = 4; index < kNamedBindings; ++index) {
        const int* group = nullptr;
        for (const auto& g : kPerPixelGroups)
            if (index >= g[0] && index <= g[1])
                group = g;
        // The binding that failed keeps its effect record with no
        // technique; the rest of its group stays empty.
        if (!LoadShader(kNamed[index].effect, kNamed[index].technique, &mNamed[index], kNamed[index].fatal) &&
            group) {
            gTarvel.mConfig.PerPixelLighting = 0;
            index = group[1];
        }
    }
    return 0;
}

bool cTarvelShaderLib::LoadShader(cTarvelString effect, cTarvelString technique, cTarvelShaderBinding* binding,
                                  bool fatal)
{
    ClearBinding(binding);
    for (int i = 0; i < mEffects.Count(); ++i) {
        cTarvelShader* shader = mEffects[i];
        if (std::strcmp(shader->mName.c_str(), effect.c_str()) == 0) {
            binding->shader = shader;
            return shader->GetTechnique(technique, binding, fatal);
        }
    }

    cTarvelResource& resources = gTarvel.mResources;
    cTarvelString fileName = effect + ".fx";
    if (resources.Exists(fileName.c_str(), kResourceOther)) {
        auto* shader = new cTarvelShader(effect);
        mEffects.Add(shader);
        // A file that cannot be opened counts as not found.
        if (shader->LoadFromSourceFile(fileName)) {
            binding->shader = shader;
            return shader->GetTechnique(technique, binding, fatal);
        }
        mEffects.RemoveAt(mEffects.Count() - 1);
        delete shader;
    }

    const size_t length = effect.Length();
    for (int i = 0; i < mEntries.Count(); ++i) {
        sShaderLibEntry& entry = mEntries[i];
        if (EntryNameLength(entry) != length || std::memcmp(entry.name, effect.c_str(), length) != 0)
            continue;
        auto* shader = new cTarvelShader(effect);
        mEffects.Add(shader);
        binding->shader = shader;
        shader->LoadFromMemory(entry.data, entry.size);
        const bool found = shader->GetTechnique(technique, binding, fatal);
        std::free(mEntries[i].data);
        mEntries.RemoveAt(i);
        return found;
    }

    if (fatal)
        gTarvel.FatalError(0, kSourceFile, 246, "cTarvelShader::LoadShader",
                           cTarvelString("Shader ") + effect + " not found in library.", 0);
    return false;
}

void cTarvelShaderLib::Shutdown()
{
    if (mCurrent && mCurrent->mEffect)
        mCurrent->mEffect->End();
    mCurrent = nullptr;
    for (int i = 0; i < mEntries.Count(); ++i)
        std::free(mEntries[i].data);
    mEntries.Clear();
    for (int i = 0; i < mEffects.Count(); ++i)
        delete mEffects[i];
    mEffects.Clear();
    for (cTarvelShaderBinding& binding : mNamed)
        ClearBinding(&binding);
    // Nothing is left to share values through.
    if (mPool) {
        mPool->Release();
        mPool = nullptr;
    }
}

void cTarvelShaderLib::OnLostDevice()
{
    for (int i = 0; i < mEffects.Count(); ++i)
        if (mEffects[i]->mEffect)
            mEffects[i]->mEffect->OnLostDevice();
}

void cTarvelShaderLib::OnResetDevice()
{
    for (int i = 0; i < mEffects.Count(); ++i)
        if (mEffects[i]->mEffect)
            mEffects[i]->mEffect->OnResetDevice();
}

void cTarvelShaderLib::ClearBinding(cTarvelShaderBinding* binding)
{
    *binding = cTarvelShaderBinding{};
}

void cTarvelShaderLib::Use(const cTarvelShaderBinding* binding)
{
    if (mCurrent && mCurrent->mEffect)
        mCurrent->mEffect->End();
    mCurrent = binding->shader;
    if (mCurrent && mCurrent->mEffect && binding->technique &&
        SUCCEEDED(mCurrent->mEffect->SetTechnique(binding->technique))) {
        mPass = 0;
        return;
    }
    mCurrent = nullptr;
}

void cTarvelShaderLib::UseNamed(int index)
{
    Use(&mNamed[index]);
}

void cTarvelShaderLib::Begin()
{
    if (!mCurrent)
        return;
    UINT passes = 0;
    mCurrent->mEffect->Begin(&passes, 0);
    mPassCount = passes;
}

bool cTarvelShaderLib::NextPass()
{
    if (!mCurrent)
        return false;
    ID3DXEffect* effect = mCurrent->mEffect;
    if (mPass > 0)
        effect->EndPass();
    if (mPass >= mPassCount)
        return false;
    effect->BeginPass(mPass);
    ++mPass;
    return true;
}

void cTarvelShaderLib::End()
{
    if (!mCurrent)
        return;
    mCurrent->mEffect->End();
    mCurrent = nullptr;
}

void cTarvelShaderLib::Restart()
{
    if (!mCurrent)
        return;
    ID3DXEffect* effect = mCurrent->mEffect;
    if (mPass > 0) {
        effect->End();
        mPass = 0;
    }
    UINT passes = 0;
    effect->Begin(&passes, 0);
    mPassCount = passes;
}

ID3DXEffect* cTarvelShaderLib::EffectOf(const cTarvelShaderBinding* binding) const
{
    const cTarvelShader* shader = binding ? binding->shader : mCurrent;
    return shader ? shader->mEffect : nullptr;
}

ID3DXEffect* cTarvelShaderLib::MatrixEffect() const
{
    return EffectOf(&mNamed[kMatrixBinding]);
}

void cTarvelShaderLib::SetTexture(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, cTarvelImage* image)
{
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetTexture(parameter, image ? image->GetCurrentFrame() : nullptr);
}

void cTarvelShaderLib::SetTextureRaw(const cTarvelShaderBinding* binding, D3DXHANDLE parameter,
                                     IDirect3DBaseTexture9* texture)
{
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetTexture(parameter, texture);
}

void cTarvelShaderLib::SetInt(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, int32_t value)
{
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetInt(parameter, value);
}

void cTarvelShaderLib::SetBool(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, bool value)
{
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetBool(parameter, value ? 1 : 0);
}

void cTarvelShaderLib::SetFloat(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float value)
{
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetFloat(parameter, value);
}

void cTarvelShaderLib::SetFloat2(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float x, float y)
{
    const float values[2] = {x, y};
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetFloatArray(parameter, values, 2);
}

void cTarvelShaderLib::SetFloat3(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float x, float y,
                                 float z)
{
    const float values[3] = {x, y, z};
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetFloatArray(parameter, values, 3);
}

void cTarvelShaderLib::SetFloat4(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float x, float y,
                                 float z, float w)
{
    const float values[4] = {x, y, z, w};
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetFloatArray(parameter, values, 4);
}

void cTarvelShaderLib::SetMatrix(const cTarvelShaderBinding* binding, D3DXHANDLE parameter,
                                 const D3DXMATRIX* matrix)
{
    if (ID3DXEffect* effect = EffectOf(binding))
        effect->SetMatrix(parameter, matrix);
}

void cTarvelShaderLib::SetWorldDependent(ID3DXEffect* effect, const D3DXMATRIX* world)
{
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, world);
    effect->SetMatrix("WorldInv", &inverse);
    D3DXMATRIX transposed;
    D3DXMatrixTranspose(&transposed, &inverse);
    effect->SetMatrix("WorldInvTrans", &transposed);
}

void cTarvelShaderLib::SetCameraTransforms(const cTarvelCamera* camera, const D3DXMATRIX* world)
{
    if (ID3DXEffect* effect = MatrixEffect()) {
        effect->SetMatrix("World", world);
        effect->SetMatrix("View", &camera->mView);
        D3DXMATRIX product;
        D3DXMatrixMultiply(&product, world, &camera->mView);
        effect->SetMatrix("WorldView", &product);
        effect->SetMatrix("ViewInv", &camera->mViewInv);
        effect->SetMatrix("Proj", &camera->mProj);
        effect->SetMatrix("ViewProj", &camera->mViewProj);
        D3DXMatrixMultiply(&product, world, &camera->mViewProj);
        effect->SetMatrix("WorldViewProj", &product);
        SetWorldDependent(effect, world);
    }
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    if (device) {
        device->SetTransform(D3DTS_VIEW, &camera->mView);
        device->SetTransform(D3DTS_PROJECTION, &camera->mProj);
        device->SetTransform(D3DTS_WORLD, world);
    }
}

void cTarvelShaderLib::SetTransforms(const D3DXMATRIX* view, const D3DXMATRIX* projection, const D3DXMATRIX* world)
{
    if (ID3DXEffect* effect = MatrixEffect()) {
        effect->SetMatrix("World", world);
        effect->SetMatrix("View", view);
        D3DXMATRIX matrix;
        D3DXMatrixInverse(&matrix, nullptr, view);
        effect->SetMatrix("ViewInv", &matrix);
        D3DXMatrixMultiply(&matrix, world, view);
        effect->SetMatrix("WorldView", &matrix);
        effect->SetMatrix("Proj", projection);
        D3DXMATRIX viewProj;
        D3DXMatrixMultiply(&viewProj, view, projection);
        effect->SetMatrix("ViewProj", &viewProj);
        D3DXMatrixMultiply(&matrix, world, &viewProj);
        effect->SetMatrix("WorldViewProj", &matrix);
        SetWorldDependent(effect, world);
    }
    IDirect3DDevice9* device = gTarvel.mGraphics.mDevice;
    if (device) {
        device->SetTransform(D3DTS_VIEW, view);
        device->SetTransform(D3DTS_PROJECTION, projection);
        device->SetTransform(D3DTS_WORLD, world);
    }
}

void cTarvelShaderLib::SetWorldTransform(const D3DXMATRIX* world)
{
    if (ID3DXEffect* effect = MatrixEffect()) {
        effect->SetMatrix("World", world);
        D3DXMATRIX read;
        D3DXMATRIX product;
        effect->GetMatrix("View", &read);
        D3DXMatrixMultiply(&product, world, &read);
        effect->SetMatrix("WorldView", &product);
        effect->GetMatrix("ViewProj", &read);
        D3DXMatrixMultiply(&product, world, &read);
        effect->SetMatrix("WorldViewProj", &product);
        SetWorldDependent(effect, world);
    }
    if (IDirect3DDevice9* device = gTarvel.mGraphics.mDevice)
        device->SetTransform(D3DTS_WORLD, world);
}
