// Device capabilities as GetDeviceCaps reports them. The headless adapter
// fills them from its profile (testing.h): only the members callers read are
// given values; every other member is 0.
#pragma once

#include "platform/d3d9/d3d9_types.h"

// TextureCaps bits.
constexpr DWORD D3DPTEXTURECAPS_PERSPECTIVE = 0x00000001u;
constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x00000002u;
constexpr DWORD D3DPTEXTURECAPS_ALPHA = 0x00000004u;
constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x00000020u;
constexpr DWORD D3DPTEXTURECAPS_NONPOW2CONDITIONAL = 0x00000100u;
constexpr DWORD D3DPTEXTURECAPS_MIPMAP = 0x00004000u;

// PrimitiveMiscCaps bits.
constexpr DWORD D3DPMISCCAPS_COLORWRITEENABLE = 0x00000080u;
constexpr DWORD D3DPMISCCAPS_SEPARATEALPHABLEND = 0x00020000u;

// DevCaps bits.
constexpr DWORD D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x00010000u;
constexpr DWORD D3DDEVCAPS_PUREDEVICE = 0x00100000u;

// Caps2 bits.
constexpr DWORD D3DCAPS2_FULLSCREENGAMMA = 0x00020000u;
constexpr DWORD D3DCAPS2_CANAUTOGENMIPMAP = 0x40000000u;

// Shader versions as the caps encode them.
constexpr DWORD D3DVS_VERSION(DWORD major, DWORD minor) { return 0xFFFE0000u | (major << 8) | minor; }
constexpr DWORD D3DPS_VERSION(DWORD major, DWORD minor) { return 0xFFFF0000u | (major << 8) | minor; }
constexpr DWORD D3DSHADER_VERSION_MAJOR(DWORD v) { return (v >> 8) & 0xFF; }
constexpr DWORD D3DSHADER_VERSION_MINOR(DWORD v) { return v & 0xFF; }

struct D3DCAPS9 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD Caps;
  DWORD Caps2;
  DWORD Caps3;
  DWORD PresentationIntervals;
  DWORD CursorCaps;
  DWORD DevCaps;
  DWORD PrimitiveMiscCaps;
  DWORD RasterCaps;
  DWORD ZCmpCaps;
  DWORD SrcBlendCaps;
  DWORD DestBlendCaps;
  DWORD AlphaCmpCaps;
  DWORD ShadeCaps;
  DWORD TextureCaps;
  DWORD TextureFilterCaps;
  DWORD CubeTextureFilterCaps;
  DWORD VolumeTextureFilterCaps;
  DWORD TextureAddressCaps;
  DWORD VolumeTextureAddressCaps;
  DWORD LineCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxVolumeExtent;
  DWORD MaxTextureRepeat;
  DWORD MaxTextureAspectRatio;
  DWORD MaxAnisotropy;
  float MaxVertexW;
  float GuardBandLeft;
  float GuardBandTop;
  float GuardBandRight;
  float GuardBandBottom;
  float ExtentsAdjust;
  DWORD StencilCaps;
  DWORD FVFCaps;
  DWORD TextureOpCaps;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD VertexProcessingCaps;
  DWORD MaxActiveLights;
  DWORD MaxUserClipPlanes;
  DWORD MaxVertexBlendMatrices;
  DWORD MaxVertexBlendMatrixIndex;
  float MaxPointSize;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD MaxStreamStride;
  DWORD VertexShaderVersion;
  DWORD MaxVertexShaderConst;
  DWORD PixelShaderVersion;
  float PixelShader1xMaxValue;
  DWORD DevCaps2;
  float MaxNpatchTessellationLevel;
  DWORD Reserved5;
  UINT MasterAdapterOrdinal;
  UINT AdapterOrdinalInGroup;
  UINT NumberOfAdaptersInGroup;
  DWORD DeclTypes;
  DWORD NumSimultaneousRTs;
  DWORD StretchRectFilterCaps;
  DWORD VS20Caps[4];
  DWORD PS20Caps[5];
  DWORD VertexTextureFilterCaps;
  DWORD MaxVShaderInstructionsExecuted;
  DWORD MaxPShaderInstructionsExecuted;
  DWORD MaxVertexShader30InstructionSlots;
  DWORD MaxPixelShader30InstructionSlots;
};
