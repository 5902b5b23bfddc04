#pragma once

#include <cstdint>

#include "engine/core/array.h"
#include "engine/core/string.h"
#include "platform/d3dx9/d3dx9.h"

class cTarvelCamera;
class cTarvelImage;
struct cTarvelShaderBinding;

// One effect of the library: its name and the effect, created at the first
// request for that name. Owned by the library until its shutdown.
class cTarvelShader {
public:
    explicit cTarvelShader(const cTarvelString& name);
    ~cTarvelShader();
    cTarvelShader(const cTarvelShader&) = delete;
    cTarvelShader& operator=(const cTarvelShader&) = delete;

    // Creates the effect from a whole resource of type 0. False when the
    // resource cannot be opened (the record then has no effect).
    bool LoadFromSourceFile(const cTarvelString& fileName);
    HRESULT LoadFromMemory(const void* data, uint32_t size);
    // Binds the last valid technique whose name is the requested one, or
    // it followed by one more character.
    bool GetTechnique(const cTarvelString& technique, cTarvelShaderBinding* binding, bool fatal);

    cTarvelString mName;
    ID3DXEffect* mEffect;
};

// A technique of an effect, ready to be made current. Plain value; a
// binding whose technique is 0 draws nothing.
struct cTarvelShaderBinding {
    cTarvelShader* shader;
    D3DXHANDLE technique;
    const char* techniqueName;   // owned by the effect
    uint32_t passes;
    uint32_t annotations;
};

// A packed effect not created yet: its source stays here until the first
// request for its name.
struct sShaderLibEntry {
    char name[32];   // not always NUL-terminated: a full field is the name
    uint32_t size;
    uint8_t* data;   // malloc'd
};

// All effects, in one pool so that shared parameters (the camera matrices)
// are set once for every effect, and the one current effect through which
// every renderer draws: Use, set parameters, Begin, one draw per NextPass,
// End.
class cTarvelShaderLib {
public:
    static constexpr int kNamedBindings = 36;
    // The binding whose effect carries the shared matrices.
    static constexpr int kMatrixBinding = 11;

    cTarvelShaderLib();
    ~cTarvelShaderLib();
    cTarvelShaderLib(const cTarvelShaderLib&) = delete;
    cTarvelShaderLib& operator=(const cTarvelShaderLib&) = delete;

    // Reads the library resource and binds the named bindings. Always 0.
    int Init();
    bool LoadShader(cTarvelString effect, cTarvelString technique, cTarvelShaderBinding* binding,
                    bool fatal);
    void Shutdown();
    void OnLostDevice();
    void OnResetDevice();

    // Drawing protocol.
    void ClearBinding(cTarvelShaderBinding* binding);
    void Use(const cTarvelShaderBinding* binding);
    void UseNamed(int index);
    void Begin();
    bool NextPass();
    void End();
    void Restart();

    // Parameters of the binding's effect, or of the current effect when the
    // binding is null. Nothing happens without an effect.
    void SetTexture(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, cTarvelImage* image);
    void SetTextureRaw(const cTarvelShaderBinding* binding, D3DXHANDLE parameter,
                       IDirect3DBaseTexture9* texture);
    void SetInt(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, int32_t value);
    void SetBool(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, bool value);
    void SetFloat(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float value);
    void SetFloat2(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float x, float y);
    void SetFloat3(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float x, float y, float z);
    void SetFloat4(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, float x, float y, float z,
                   float w);
    void SetMatrix(const cTarvelShaderBinding* binding, D3DXHANDLE parameter, const D3DXMATRIX* matrix);

    // The shared matrices of a camera and a world matrix.
    void SetCameraTransforms(const cTarvelCamera* camera, const D3DXMATRIX* world);
    // The same from a light's view and projection.
    void SetTransforms(const D3DXMATRIX* view, const D3DXMATRIX* projection, const D3DXMATRIX* world);
    // Only the world-dependent matrices, for one object.
    void SetWorldTransform(const D3DXMATRIX* world);

    tArray<cTarvelShader*> mEffects;
    tArray<sShaderLibEntry> mEntries;
    cTarvelShaderBinding mNamed[kNamedBindings];
    cTarvelShader* mCurrent;
    ID3DXEffectPool* mPool;
    uint32_t mPassCount;
    uint32_t mPass;

private:
    ID3DXEffect* EffectOf(const cTarvelShaderBinding* binding) const;
    ID3DXEffect* MatrixEffect() const;
    void SetWorldDependent(ID3DXEffect* effect, const D3DXMATRIX* world);
};
