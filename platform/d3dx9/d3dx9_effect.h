// D3DX effects read from effect source text (the HLSL effect syntax) at the
// declaration level: parameters with their types, `shared`, initial values,
// semantics and annotations; `sampler_state` blocks; techniques with their
// passes and state assignments. Function bodies are skipped and shaders are
// not run. A technique is valid when the device's shader versions cover the
// `compile` targets of all its passes. Parameters declared `shared` hold one
// value across every effect of a pool.
//
// Handles (D3DXHANDLE) are either a name or a handle this interface gave
// out; parameters are found by name or by semantic, as D3DX does.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9_math.h"

using D3DXHANDLE = const char*;
using LPD3DXHANDLE = D3DXHANDLE*;

constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);

struct D3DXMACRO {
  const char* Name;
  const char* Definition;
};

// #include handling is not supported: an effect that includes fails to parse.
struct ID3DXInclude;

struct ID3DXBuffer : IUnknown {
  virtual void* GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;
};
using LPD3DXBUFFER = ID3DXBuffer*;

struct ID3DXEffectPool : IUnknown {};
using LPD3DXEFFECTPOOL = ID3DXEffectPool*;

enum D3DXPARAMETER_CLASS : uint32_t {
  D3DXPC_SCALAR = 0,
  D3DXPC_VECTOR = 1,
  D3DXPC_MATRIX_ROWS = 2,
  D3DXPC_MATRIX_COLUMNS = 3,
  D3DXPC_OBJECT = 4,
  D3DXPC_STRUCT = 5,
};

enum D3DXPARAMETER_TYPE : uint32_t {
  D3DXPT_VOID = 0,
  D3DXPT_BOOL = 1,
  D3DXPT_INT = 2,
  D3DXPT_FLOAT = 3,
  D3DXPT_STRING = 4,
  D3DXPT_TEXTURE = 5,
  D3DXPT_TEXTURE1D = 6,
  D3DXPT_TEXTURE2D = 7,
  D3DXPT_TEXTURE3D = 8,
  D3DXPT_TEXTURECUBE = 9,
  D3DXPT_SAMPLER = 10,
  D3DXPT_SAMPLER1D = 11,
  D3DXPT_SAMPLER2D = 12,
  D3DXPT_SAMPLER3D = 13,
  D3DXPT_SAMPLERCUBE = 14,
  D3DXPT_PIXELSHADER = 15,
  D3DXPT_VERTEXSHADER = 16,
};

constexpr DWORD D3DX_PARAMETER_SHARED = 1;

struct D3DXEFFECT_DESC {
  const char* Creator;
  UINT Parameters;
  UINT Techniques;
  UINT Functions;
};

struct D3DXPARAMETER_DESC {
  const char* Name;
  const char* Semantic;  // null without one
  D3DXPARAMETER_CLASS Class;
  D3DXPARAMETER_TYPE Type;
  UINT Rows;
  UINT Columns;
  UINT Elements;  // array length, 0 for a single value
  UINT Annotations;
  UINT StructMembers;
  DWORD Flags;  // D3DX_PARAMETER_SHARED
  UINT Bytes;
};

struct D3DXTECHNIQUE_DESC {
  const char* Name;
  UINT Passes;
  UINT Annotations;
};

struct D3DXPASS_DESC {
  const char* Name;
  UINT Annotations;
  const DWORD* pVertexShaderFunction;
  const DWORD* pPixelShaderFunction;
};

// Flags of ID3DXEffect::Begin.
constexpr DWORD D3DXFX_DONOTSAVESTATE = 1u << 0;
constexpr DWORD D3DXFX_DONOTSAVESHADERSTATE = 1u << 1;
constexpr DWORD D3DXFX_DONOTSAVESAMPLERSTATE = 1u << 2;

struct ID3DXEffect : IUnknown {
  virtual HRESULT GetDesc(D3DXEFFECT_DESC* desc) = 0;
  virtual HRESULT GetPool(ID3DXEffectPool** pool) = 0;
  virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;

  // ---- Parameters --------------------------------------------------------
  // parent null: top-level parameters. Null when there is none.
  virtual D3DXHANDLE GetParameter(D3DXHANDLE parent, UINT index) = 0;
  virtual D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) = 0;
  virtual D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) = 0;
  virtual HRESULT GetParameterDesc(D3DXHANDLE parameter, D3DXPARAMETER_DESC* desc) = 0;
  // Annotations of a parameter, technique or pass.
  virtual D3DXHANDLE GetAnnotation(D3DXHANDLE object, UINT index) = 0;
  virtual D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, const char* name) = 0;

  // Setters and getters convert between bool, int and float as D3DX does
  // (bool: non-zero; int from float: truncated). D3DERR_INVALIDCALL for an
  // unknown handle or a type that does not convert (texture to number).
  virtual HRESULT SetValue(D3DXHANDLE parameter, const void* data, UINT bytes) = 0;
  virtual HRESULT GetValue(D3DXHANDLE parameter, void* data, UINT bytes) = 0;
  virtual HRESULT SetBool(D3DXHANDLE parameter, BOOL b) = 0;
  virtual HRESULT GetBool(D3DXHANDLE parameter, BOOL* b) = 0;
  virtual HRESULT SetInt(D3DXHANDLE parameter, INT n) = 0;
  virtual HRESULT GetInt(D3DXHANDLE parameter, INT* n) = 0;
  virtual HRESULT SetFloat(D3DXHANDLE parameter, float f) = 0;
  virtual HRESULT GetFloat(D3DXHANDLE parameter, float* f) = 0;
  // Writes min(count, size of the parameter) values.
  virtual HRESULT SetFloatArray(D3DXHANDLE parameter, const float* f, UINT count) = 0;
  virtual HRESULT GetFloatArray(D3DXHANDLE parameter, float* f, UINT count) = 0;
  virtual HRESULT SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) = 0;
  virtual HRESULT GetVector(D3DXHANDLE parameter, D3DXVECTOR4* vector) = 0;
  virtual HRESULT SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX* matrix) = 0;
  virtual HRESULT GetMatrix(D3DXHANDLE parameter, D3DXMATRIX* matrix) = 0;
  // The effect holds a reference on the texture while it is set.
  virtual HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) = 0;
  // With a reference added, as D3DX gives it.
  virtual HRESULT GetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9** texture) = 0;
  virtual HRESULT GetString(D3DXHANDLE parameter, const char** string) = 0;

  // ---- Techniques and passes ---------------------------------------------
  virtual D3DXHANDLE GetTechnique(UINT index) = 0;
  virtual D3DXHANDLE GetTechniqueByName(const char* name) = 0;
  virtual D3DXHANDLE GetPass(D3DXHANDLE technique, UINT index) = 0;
  virtual HRESULT GetTechniqueDesc(D3DXHANDLE technique, D3DXTECHNIQUE_DESC* desc) = 0;
  virtual HRESULT GetPassDesc(D3DXHANDLE pass, D3DXPASS_DESC* desc) = 0;
  // D3D_OK when the device can run it, else D3DERR_NOTAVAILABLE.
  virtual HRESULT ValidateTechnique(D3DXHANDLE technique) = 0;
  // The next valid technique after `technique` (null: from the first) in
  // declaration order; S_FALSE with *next null when there is none.
  virtual HRESULT FindNextValidTechnique(D3DXHANDLE technique, D3DXHANDLE* next) = 0;
  virtual HRESULT SetTechnique(D3DXHANDLE technique) = 0;
  virtual D3DXHANDLE GetCurrentTechnique() = 0;

  // ---- Running --------------------------------------------------------------
  // Begin gives the pass count of the current technique; Begin inside a
  // Begin, BeginPass outside or inside a pass, a pass number out of range,
  // EndPass without a pass and End without Begin fail with
  // D3DERR_INVALIDCALL. A pass applies its state assignments and binds the
  // sampler textures to the device; CommitChanges applies values set since.
  virtual HRESULT Begin(UINT* passes, DWORD flags) = 0;
  virtual HRESULT BeginPass(UINT pass) = 0;
  virtual HRESULT CommitChanges() = 0;
  virtual HRESULT EndPass() = 0;
  virtual HRESULT End() = 0;

  virtual HRESULT OnLostDevice() = 0;
  virtual HRESULT OnResetDevice() = 0;
};
using LPD3DXEFFECT = ID3DXEffect*;

HRESULT D3DXCreateEffectPool(ID3DXEffectPool** pool);
// Effect source that does not parse gives E_FAIL and, when asked for, the
// messages in *compilationErrors ("(line): error: ..."); binary (compiled)
// effects are not read: D3DXERR_INVALIDDATA. An #include fails to parse;
// `defines`, `include` and `flags` are ignored.
HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* srcData, UINT srcDataLen, const D3DXMACRO* defines,
                         ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** compilationErrors);
HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer);
