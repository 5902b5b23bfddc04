#include "diag/caps_appendix.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "platform/d3d9/d3d9.h"

namespace {

struct Flag {
  const char* name;
  DWORD mask;  // "Yes" when any of its bits is set
};

// "Name: ____ " filled to 28 characters, then a blank.
std::string Label(const char* name) {
  std::string s = std::string(name) + ": ";
  while (s.size() < 28) s += '_';
  return s + ' ';
}

// A name shorter than `width` gets a blank and underscores up to it.
std::string Pad(const std::string& name, size_t width) {
  std::string s = name;
  if (s.size() < width) s += ' ';
  while (s.size() < width) s += '_';
  return s;
}

void WriteFlags(FILE* out, const char* heading, DWORD value, std::initializer_list<Flag> flags) {
  std::fprintf(out, "[%s]\n", heading);
  size_t width = 0;
  for (const Flag& f : flags) width = std::max(width, std::string(f.name).size());
  for (const Flag& f : flags) {
    std::fprintf(out, "%s %s\n", Pad(f.name, width).c_str(), (value & f.mask) ? "Yes" : "No");
  }
  std::fprintf(out, "\n");
}

const std::initializer_list<Flag> kCmpFlags = {
    {"D3DPCMPCAPS_ALWAYS", 0x80}, {"D3DPCMPCAPS_EQUAL", 0x4},      {"D3DPCMPCAPS_GREATER", 0x10},
    {"D3DPCMPCAPS_GREATEREQUAL", 0x40}, {"D3DPCMPCAPS_LESS", 0x2}, {"D3DPCMPCAPS_LESSEQUAL", 0x8},
    {"D3DPCMPCAPS_NEVER", 0x1},  {"D3DPCMPCAPS_NOTEQUAL", 0x20},
};

const std::initializer_list<Flag> kBlendFlags = {
    {"D3DPBLENDCAPS_BLENDFACTOR", 0x2000}, {"D3DPBLENDCAPS_BOTHINVSRCALPHA", 0x1000},
    {"D3DPBLENDCAPS_BOTHSRCALPHA", 0x800}, {"D3DPBLENDCAPS_DESTALPHA", 0x40},
    {"D3DPBLENDCAPS_DESTCOLOR", 0x100},    {"D3DPBLENDCAPS_INVDESTALPHA", 0x80},
    {"D3DPBLENDCAPS_INVDESTCOLOR", 0x200}, {"D3DPBLENDCAPS_INVSRCALPHA", 0x20},
    {"D3DPBLENDCAPS_INVSRCCOLOR", 0x8},    {"D3DPBLENDCAPS_ONE", 0x2},
    {"D3DPBLENDCAPS_SRCALPHA", 0x10},      {"D3DPBLENDCAPS_SRCALPHASAT", 0x400},
    {"D3DPBLENDCAPS_SRCCOLOR", 0x4},       {"D3DPBLENDCAPS_ZERO", 0x1},
};

const std::initializer_list<Flag> kFilterFlags = {
    {"D3DPTFILTERCAPS_MAGFPOINT", 0x1000000},       {"D3DPTFILTERCAPS_MAGFLINEAR", 0x2000000},
    {"D3DPTFILTERCAPS_MAGFANISOTROPIC", 0x4000000}, {"D3DPTFILTERCAPS_MAGFPYRAMIDALQUAD", 0x8000000},
    {"D3DPTFILTERCAPS_MAGFGAUSSIANQUAD", 0x10000000}, {"D3DPTFILTERCAPS_MINFPOINT", 0x100},
    {"D3DPTFILTERCAPS_MINFLINEAR", 0x200},          {"D3DPTFILTERCAPS_MINFANISOTROPIC", 0x400},
    {"D3DPTFILTERCAPS_MINFPYRAMIDALQUAD", 0x800},   {"D3DPTFILTERCAPS_MINFGAUSSIANQUAD", 0x1000},
    {"D3DPTFILTERCAPS_MIPFPOINT", 0x10000},         {"D3DPTFILTERCAPS_MIPFLINEAR", 0x20000},
};

const std::initializer_list<Flag> kAddressFlags = {
    {"D3DPTADDRESSCAPS_BORDER", 0x8},         {"D3DPTADDRESSCAPS_CLAMP", 0x4},
    {"D3DPTADDRESSCAPS_INDEPENDENTUV", 0x10}, {"D3DPTADDRESSCAPS_MIRROR", 0x2},
    {"D3DPTADDRESSCAPS_MIRRORONCE", 0x20},    {"D3DPTADDRESSCAPS_WRAP", 0x1},
};

void WriteAllFlags(FILE* out, const D3DCAPS9& c) {
  // [Caps] tests three fields, so each line carries its own.
  {
    struct CapsFlag {
      const char* name;
      DWORD value;
    };
    const CapsFlag caps[] = {
        {"D3DCAPS_READ_SCANLINE", c.Caps & 0x20000},
        {"D3DCAPS2_CANAUTOGENMIPMAP", c.Caps2 & 0x40000000},
        {"D3DCAPS2_CANCALIBRATEGAMMA", c.Caps2 & 0x100000},
        {"D3DCAPS2_CANMANAGERESOURCE", c.Caps2 & 0x10000000},
        {"D3DCAPS2_DYNAMICTEXTURES", c.Caps2 & 0x20000000},
        {"D3DCAPS2_FULLSCREENGAMMA", c.Caps2 & 0x20000},
        {"D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD", c.Caps3 & 0x20},
        {"D3DCAPS3_COPY_TO_VIDMEM", c.Caps3 & 0x100},
        {"D3DCAPS3_COPY_TO_SYSTEMMEM", c.Caps3 & 0x200},
        {"D3DCAPS3_LINEAR_TO_SRGB_PRESENTATION", c.Caps3 & 0x80},
    };
    size_t width = 0;
    for (const CapsFlag& f : caps) width = std::max(width, std::string(f.name).size());
    std::fprintf(out, "[Caps]\n");
    for (const CapsFlag& f : caps) std::fprintf(out, "%s %s\n", Pad(f.name, width).c_str(), f.value ? "Yes" : "No");
    std::fprintf(out, "\n");
  }
  WriteFlags(out, "PresentationIntervals", c.PresentationIntervals,
             {{"D3DPRESENT_INTERVAL_IMMEDIATE", 0x80000000u}, {"D3DPRESENT_INTERVAL_ONE", 0x1},
              {"D3DPRESENT_INTERVAL_TWO", 0x2}, {"D3DPRESENT_INTERVAL_THREE", 0x4}, {"D3DPRESENT_INTERVAL_FOUR", 0x8}});
  WriteFlags(out, "CursorCaps", c.CursorCaps, {{"D3DCURSORCAPS_COLOR", 0x1}, {"D3DCURSORCAPS_LOWRES", 0x2}});
  WriteFlags(out, "DevCaps", c.DevCaps,
             {{"D3DDEVCAPS_CANBLTSYSTONONLOCAL", 0x20000}, {"D3DDEVCAPS_CANRENDERAFTERFLIP", 0x800},
              {"D3DDEVCAPS_DRAWPRIMITIVES2", 0x2000}, {"D3DDEVCAPS_DRAWPRIMITIVES2EX", 0x8000},
              {"D3DDEVCAPS_DRAWPRIMTLVERTEX", 0x400}, {"D3DDEVCAPS_EXECUTESYSTEMMEMORY", 0x10},
              {"D3DDEVCAPS_EXECUTEVIDEOMEMORY", 0x20}, {"D3DDEVCAPS_HWRASTERIZATION", 0x80000},
              {"D3DDEVCAPS_HWTRANSFORMANDLIGHT", 0x10000}, {"D3DDEVCAPS_NPATCHES", 0x1000000},
              {"D3DDEVCAPS_PUREDEVICE", 0x100000}, {"D3DDEVCAPS_QUINTICRTPATCHES", 0x200000},
              {"D3DDEVCAPS_RTPATCHES", 0x400000}, {"D3DDEVCAPS_RTPATCHHANDLEZERO", 0x800000},
              {"D3DDEVCAPS_SEPARATETEXTUREMEMORIES", 0x4000}, {"D3DDEVCAPS_TEXTURENONLOCALVIDMEM", 0x1000},
              {"D3DDEVCAPS_TEXTURESYSTEMMEMORY", 0x100}, {"D3DDEVCAPS_TEXTUREVIDEOMEMORY", 0x200},
              {"D3DDEVCAPS_TLVERTEXSYSTEMMEMORY", 0x40}, {"D3DDEVCAPS_TLVERTEXVIDEOMEMORY", 0x80}});
  WriteFlags(out, "PrimitiveMiscCaps", c.PrimitiveMiscCaps,
             {{"D3DPMISCCAPS_MASKZ", 0x2}, {"D3DPMISCCAPS_CULLNONE", 0x10}, {"D3DPMISCCAPS_CULLCW", 0x20},
              {"D3DPMISCCAPS_CULLCCW", 0x40}, {"D3DPMISCCAPS_COLORWRITEENABLE", 0x80},
              {"D3DPMISCCAPS_CLIPPLANESCALEDPOINTS", 0x100}, {"D3DPMISCCAPS_CLIPTLVERTS", 0x200},
              {"D3DPMISCCAPS_TSSARGTEMP", 0x400}, {"D3DPMISCCAPS_BLENDOP", 0x800},
              {"D3DPMISCCAPS_NULLREFERENCE", 0x1000}, {"D3DPMISCCAPS_INDEPENDENTWRITEMASKS", 0x4000},
              {"D3DPMISCCAPS_PERSTAGECONSTANT", 0x8000}, {"D3DPMISCCAPS_FOGANDSPECULARALPHA", 0x10000},
              {"D3DPMISCCAPS_SEPARATEALPHABLEND", 0x20000}, {"D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS", 0x40000},
              {"D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING", 0x80000}, {"D3DPMISCCAPS_FOGVERTEXCLAMPED", 0x100000}});
  WriteFlags(out, "RasterCaps", c.RasterCaps,
             {{"D3DPRASTERCAPS_ANISOTROPY", 0x20000}, {"D3DPRASTERCAPS_COLORPERSPECTIVE", 0x400000},
              {"D3DPRASTERCAPS_DITHER", 0x1}, {"D3DPRASTERCAPS_DEPTHBIAS", 0x4000000},
              {"D3DPRASTERCAPS_FOGRANGE", 0x10000}, {"D3DPRASTERCAPS_FOGTABLE", 0x100},
              {"D3DPRASTERCAPS_FOGVERTEX", 0x80}, {"D3DPRASTERCAPS_MIPMAPLODBIAS", 0x2000},
              {"D3DPRASTERCAPS_MULTISAMPLE_TOGGLE", 0x8000000}, {"D3DPRASTERCAPS_SCISSORTEST", 0x1000000},
              {"D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS", 0x2000000}, {"D3DPRASTERCAPS_WBUFFER", 0x40000},
              {"D3DPRASTERCAPS_WFOG", 0x100000}, {"D3DPRASTERCAPS_ZBUFFERLESSHSR", 0x8000},
              {"D3DPRASTERCAPS_ZFOG", 0x200000}, {"D3DPRASTERCAPS_ZTEST", 0x10}});
  WriteFlags(out, "ZCmpCaps", c.ZCmpCaps, kCmpFlags);
  WriteFlags(out, "SrcBlendCaps", c.SrcBlendCaps, kBlendFlags);
  WriteFlags(out, "DestBlendCaps", c.DestBlendCaps, kBlendFlags);
  WriteFlags(out, "AlphaCmpCaps", c.AlphaCmpCaps, kCmpFlags);
  WriteFlags(out, "ShadeCaps", c.ShadeCaps,
             {{"D3DPSHADECAPS_ALPHAGOURAUDBLEND", 0x4000}, {"D3DPSHADECAPS_COLORGOURAUDRGB", 0x8},
              {"D3DPSHADECAPS_FOGGOURAUD", 0x80000}, {"D3DPSHADECAPS_SPECULARGOURAUDRGB", 0x200}});
  WriteFlags(out, "TextureCaps", c.TextureCaps,
             {{"D3DPTEXTURECAPS_ALPHA", 0x4}, {"D3DPTEXTURECAPS_ALPHAPALETTE", 0x80},
              {"D3DPTEXTURECAPS_CUBEMAP", 0x800}, {"D3DPTEXTURECAPS_CUBEMAP_POW2", 0x20000},
              {"D3DPTEXTURECAPS_MIPCUBEMAP", 0x10000}, {"D3DPTEXTURECAPS_MIPMAP", 0x4000},
              {"D3DPTEXTURECAPS_MIPVOLUMEMAP", 0x8000}, {"D3DPTEXTURECAPS_NONPOW2CONDITIONAL", 0x100},
              {"D3DPTEXTURECAPS_NOPROJECTEDBUMPENV", 0x200000}, {"D3DPTEXTURECAPS_PERSPECTIVE", 0x1},
              {"D3DPTEXTURECAPS_POW2", 0x2}, {"D3DPTEXTURECAPS_PROJECTED", 0x400},
              {"D3DPTEXTURECAPS_SQUAREONLY", 0x20}, {"D3DPTEXTURECAPS_TEXREPEATNOTSCALEDBYSIZE", 0x40},
              {"D3DPTEXTURECAPS_VOLUMEMAP", 0x2000}, {"D3DPTEXTURECAPS_VOLUMEMAP_POW2", 0x40000}});
  WriteFlags(out, "TextureFilterCaps", c.TextureFilterCaps, kFilterFlags);
  WriteFlags(out, "CubeTextureFilterCaps", c.CubeTextureFilterCaps, kFilterFlags);
  WriteFlags(out, "VolumeTextureFilterCaps", c.VolumeTextureFilterCaps, kFilterFlags);
  WriteFlags(out, "TextureAddressCaps", c.TextureAddressCaps, kAddressFlags);
  WriteFlags(out, "VolumeTextureAddressCaps", c.VolumeTextureAddressCaps, kAddressFlags);
  WriteFlags(out, "LineCaps", c.LineCaps,
             {{"D3DLINECAPS_ALPHACMP", 0x8}, {"D3DLINECAPS_ANTIALIAS", 0x20}, {"D3DLINECAPS_BLEND", 0x4},
              {"D3DLINECAPS_FOG", 0x10}, {"D3DLINECAPS_TEXTURE", 0x1}, {"D3DLINECAPS_ZTEST", 0x2}});
  WriteFlags(out, "StencilCaps", c.StencilCaps,
             {{"D3DSTENCILCAPS_KEEP", 0x1}, {"D3DSTENCILCAPS_ZERO", 0x2}, {"D3DSTENCILCAPS_REPLACE", 0x4},
              {"D3DSTENCILCAPS_INCRSAT", 0x8}, {"D3DSTENCILCAPS_DECRSAT", 0x10}, {"D3DSTENCILCAPS_INVERT", 0x20},
              {"D3DSTENCILCAPS_INCR", 0x40}, {"D3DSTENCILCAPS_DECR", 0x80}, {"D3DSTENCILCAPS_TWOSIDED", 0x100}});
  WriteFlags(out, "FVFCaps", c.FVFCaps,
             {{"D3DFVFCAPS_DONOTSTRIPELEMENTS", 0x80000}, {"D3DFVFCAPS_PSIZE", 0x100000},
              {"D3DFVFCAPS_TEXCOORDCOUNTMASK", 0xFFFF}});
  WriteFlags(out, "TextureOpCaps", c.TextureOpCaps,
             {{"D3DTEXOPCAPS_ADD", 0x40}, {"D3DTEXOPCAPS_ADDSIGNED", 0x80}, {"D3DTEXOPCAPS_ADDSIGNED2X", 0x100},
              {"D3DTEXOPCAPS_ADDSMOOTH", 0x400}, {"D3DTEXOPCAPS_BLENDCURRENTALPHA", 0x8000},
              {"D3DTEXOPCAPS_BLENDDIFFUSEALPHA", 0x800}, {"D3DTEXOPCAPS_BLENDFACTORALPHA", 0x2000},
              {"D3DTEXOPCAPS_BLENDTEXTUREALPHA", 0x1000}, {"D3DTEXOPCAPS_BLENDTEXTUREALPHAPM", 0x4000},
              {"D3DTEXOPCAPS_BUMPENVMAP", 0x200000}, {"D3DTEXOPCAPS_BUMPENVMAPLUMINANCE", 0x400000},
              {"D3DTEXOPCAPS_DISABLE", 0x1}, {"D3DTEXOPCAPS_DOTPRODUCT3", 0x800000},
              {"D3DTEXOPCAPS_LERP", 0x2000000}, {"D3DTEXOPCAPS_MODULATE", 0x8}, {"D3DTEXOPCAPS_MODULATE2X", 0x10},
              {"D3DTEXOPCAPS_MODULATE4X", 0x20}, {"D3DTEXOPCAPS_MODULATEALPHA_ADDCOLOR", 0x20000},
              {"D3DTEXOPCAPS_MODULATECOLOR_ADDALPHA", 0x40000}, {"D3DTEXOPCAPS_MODULATEINVALPHA_ADDCOLOR", 0x80000},
              {"D3DTEXOPCAPS_MODULATEINVCOLOR_ADDALPHA", 0x100000}, {"D3DTEXOPCAPS_MULTIPLYADD", 0x1000000},
              {"D3DTEXOPCAPS_PREMODULATE", 0x10000}, {"D3DTEXOPCAPS_SELECTARG1", 0x2},
              {"D3DTEXOPCAPS_SELECTARG2", 0x4}, {"D3DTEXOPCAPS_SUBTRACT", 0x200}});
  WriteFlags(out, "VertexProcessingCaps", c.VertexProcessingCaps,
             {{"D3DVTXPCAPS_DIRECTIONALLIGHTS", 0x8}, {"D3DVTXPCAPS_LOCALVIEWER", 0x20},
              {"D3DVTXPCAPS_MATERIALSOURCE7", 0x2}, {"D3DVTXPCAPS_NO_TEXGEN_NONLOCALVIEWER", 0x200},
              {"D3DVTXPCAPS_POSITIONALLIGHTS", 0x10}, {"D3DVTXPCAPS_TEXGEN", 0x1},
              {"D3DVTXPCAPS_TEXGEN_SPHEREMAP", 0x100}, {"D3DVTXPCAPS_TWEENING", 0x40}});
  WriteFlags(out, "DevCaps2", c.DevCaps2,
             {{"D3DDEVCAPS2_ADAPTIVETESSRTPATCH", 0x4}, {"D3DDEVCAPS2_ADAPTIVETESSNPATCH", 0x8},
              {"D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES", 0x10}, {"D3DDEVCAPS2_DMAPNPATCH", 0x2},
              {"D3DDEVCAPS2_PRESAMPLEDDMAPNPATCH", 0x20}, {"D3DDEVCAPS2_STREAMOFFSET", 0x1},
              {"D3DDEVCAPS2_VERTEXELEMENTSCANSHARESTREAMOFFSET", 0x40}});
  WriteFlags(out, "DeclTypes", c.DeclTypes,
             {{"D3DDTCAPS_UBYTE4", 0x1}, {"D3DDTCAPS_UBYTE4N", 0x2}, {"D3DDTCAPS_SHORT2N", 0x4},
              {"D3DDTCAPS_SHORT4N", 0x8}, {"D3DDTCAPS_USHORT2N", 0x10}, {"D3DDTCAPS_USHORT4N", 0x20},
              {"D3DDTCAPS_UDEC3", 0x40}, {"D3DDTCAPS_DEC3N", 0x80}, {"D3DDTCAPS_FLOAT16_2", 0x100},
              {"D3DDTCAPS_FLOAT16_4", 0x200}});
  WriteFlags(out, "StretchRectFilterCaps", c.StretchRectFilterCaps, kFilterFlags);

  // Shader 2.0 records: flags, dynamic flow-control depth, temporaries,
  // static flow-control depth (and, for pixel shaders, instruction slots).
  constexpr size_t kWidth = 35;
  auto number = [&](const char* name, DWORD value) {
    std::fprintf(out, "%s %d\n", Pad(name, kWidth).c_str(), static_cast<int>(value));
  };
  std::fprintf(out, "[VS20Caps]\n");
  std::fprintf(out, "%s %s\n", Pad("D3DVS20CAPS_PREDICATION", kWidth).c_str(), (c.VS20Caps[0] & 0x1) ? "Yes" : "No");
  number("D3DVS20CAPS_DYNAMICFLOWCONTROLDEPTH", c.VS20Caps[1]);
  number("D3DVS20CAPS_NUMTEMPS", c.VS20Caps[2]);
  number("D3DVS20CAPS_STATICFLOWCONTROLDEPTH", c.VS20Caps[3]);
  std::fprintf(out, "\n");
  std::fprintf(out, "[PS20Caps]\n");
  const Flag psFlags[] = {{"D3DPS20CAPS_ARBITRARYSWIZZLE", 0x1}, {"D3DPS20CAPS_GRADIENTINSTRUCTIONS", 0x2},
                          {"D3DPS20CAPS_PREDICATION", 0x4}, {"D3DPS20CAPS_NODEPENDENTREADLIMIT", 0x8},
                          {"D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT", 0x10}};
  for (const Flag& f : psFlags) {
    std::fprintf(out, "%s %s\n", Pad(f.name, kWidth).c_str(), (c.PS20Caps[0] & f.mask) ? "Yes" : "No");
  }
  // The pixel shader's numbers under pixel-shader labels.
  number("D3DPS20CAPS_DYNAMICFLOWCONTROLDEPTH", c.PS20Caps[1]);
  number("D3DPS20CAPS_NUMTEMPS", c.PS20Caps[2]);
  number("D3DPS20CAPS_STATICFLOWCONTROLDEPTH", c.PS20Caps[3]);
  number("D3DPS20CAPS_NUMINSTRUCTIONSLOTS", c.PS20Caps[4]);
  std::fprintf(out, "\n");
  WriteFlags(out, "VertexTextureFilterCaps", c.VertexTextureFilterCaps, kFilterFlags);
}

}  // namespace

void WriteCapsAppendix(FILE* out) {
  IDirect3D9* d3d = Direct3DCreate9(32);
  if (!d3d) {
    std::fprintf(out, "DirectX creation failed.\n");
    return;
  }
  D3DADAPTER_IDENTIFIER9 id{};
  if (SUCCEEDED(d3d->GetAdapterIdentifier(0, 0, &id))) {
    id.DeviceName[sizeof id.DeviceName - 1] = 0;
    id.Description[sizeof id.Description - 1] = 0;
    id.Driver[sizeof id.Driver - 1] = 0;
    std::fprintf(out, "Adapter: %s\n", id.DeviceName);
    std::fprintf(out, "Description: %s\n", id.Description);
    std::fprintf(out, "Driver: %s\n", id.Driver);
  } else {
    std::fprintf(out, "Adapter identifier failed.\n");
  }
  std::fprintf(out, "\n");
  D3DCAPS9 c{};
  if (FAILED(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &c))) {
    std::fprintf(out, "Device caps failed.\n");
    d3d->Release();
    return;
  }
  auto d = [](DWORD v) { return static_cast<int>(v); };
  std::fprintf(out, "%sW %d  H %d\n", Label("MaxTextureSize").c_str(), d(c.MaxTextureWidth), d(c.MaxTextureHeight));
  std::fprintf(out, "%s%d\n", Label("MaxVolumeExtent").c_str(), d(c.MaxVolumeExtent));
  std::fprintf(out, "%s%d\n", Label("MaxTextureRepeat").c_str(), d(c.MaxTextureRepeat));
  std::fprintf(out, "%s%d\n", Label("MaxTextureAspectRatio").c_str(), d(c.MaxTextureAspectRatio));
  std::fprintf(out, "%s%d\n", Label("MaxAnisotropy").c_str(), d(c.MaxAnisotropy));
  std::fprintf(out, "%s%.0f\n", Label("MaxVertexW").c_str(), c.MaxVertexW);
  std::fprintf(out, "%s%g  %g  %g  %g\n", Label("GuardBand").c_str(), c.GuardBandLeft, c.GuardBandTop,
               c.GuardBandRight, c.GuardBandBottom);
  std::fprintf(out, "%s%f\n", Label("ExtentsAdjust").c_str(), c.ExtentsAdjust);
  std::fprintf(out, "%s%d\n", Label("MaxTextureBlendStages").c_str(), d(c.MaxTextureBlendStages));
  std::fprintf(out, "%s%d\n", Label("MaxSimultaneousTextures").c_str(), d(c.MaxSimultaneousTextures));
  std::fprintf(out, "%s%d\n", Label("MaxActiveLights").c_str(), d(c.MaxActiveLights));
  std::fprintf(out, "%s%d\n", Label("MaxUserClipPlanes").c_str(), d(c.MaxUserClipPlanes));
  std::fprintf(out, "%s%d\n", Label("MaxVertexBlendMatrices").c_str(), d(c.MaxVertexBlendMatrices));
  std::fprintf(out, "%s%d\n", Label("MaxVertexBlendMatrixIndex").c_str(), d(c.MaxVertexBlendMatrixIndex));
  std::fprintf(out, "%s%.0f\n", Label("MaxPointSize").c_str(), c.MaxPointSize);
  std::fprintf(out, "%s%d\n", Label("MaxPrimitiveCount").c_str(), d(c.MaxPrimitiveCount));
  std::fprintf(out, "%s%d\n", Label("MaxVertexIndex").c_str(), d(c.MaxVertexIndex));
  std::fprintf(out, "%s%d\n", Label("MaxStreams").c_str(), d(c.MaxStreams));
  std::fprintf(out, "%s%d\n", Label("MaxStreamStride").c_str(), d(c.MaxStreamStride));
  std::fprintf(out, "%s%d.%d\n", Label("VertexShaderVersion").c_str(), d((c.VertexShaderVersion >> 8) & 0xFF),
               d(c.VertexShaderVersion & 0xFF));
  std::fprintf(out, "%s%d\n", Label("MaxVertexShaderConst").c_str(), d(c.MaxVertexShaderConst));
  std::fprintf(out, "%s%d.%d\n", Label("PixelShaderVersion").c_str(), d((c.PixelShaderVersion >> 8) & 0xFF),
               d(c.PixelShaderVersion & 0xFF));
  std::fprintf(out, "%s%.0f\n", Label("PixelShader1xMaxValue").c_str(), c.PixelShader1xMaxValue);
  std::fprintf(out, "%s%.0f\n", Label("MaxNpatchTessellationLevel").c_str(), c.MaxNpatchTessellationLevel);
  std::fprintf(out, "%s%d\n", Label("NumSimultaneousRTs").c_str(), d(c.NumSimultaneousRTs));
  std::fprintf(out, "%sV %d  P %d\n", Label("MaxInstructionsExecuted").c_str(), d(c.MaxVShaderInstructionsExecuted),
               d(c.MaxPShaderInstructionsExecuted));
  std::fprintf(out, "%sV %d  P %d\n", Label("MaxV30InstructionSlots").c_str(),
               d(c.MaxVertexShader30InstructionSlots), d(c.MaxPixelShader30InstructionSlots));
  std::fprintf(out, "\n");
  WriteAllFlags(out, c);
  d3d->Release();
}
