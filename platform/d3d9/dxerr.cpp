// Names and descriptions of result codes, for error reports.
#include "platform/d3d9/dxerr.h"

#include "platform/d3d9/d3d9.h"

namespace {

struct ErrorText {
  uint32_t code;
  const char* name;
  const char* description;
};

constexpr ErrorText kErrors[] = {
    {0x00000000u, "S_OK", "The call succeeded."},
    {0x00000001u, "S_FALSE", "The call succeeded but had nothing to do or answered no."},
    {0x80004001u, "E_NOTIMPL", "The function is not implemented."},
    {0x80004002u, "E_NOINTERFACE", "The object does not offer the interface asked for."},
    {0x80004003u, "E_POINTER", "A pointer argument was not valid."},
    {0x80004004u, "E_ABORT", "The operation was aborted."},
    {0x80004005u, "E_FAIL", "The call failed for an unspecified reason."},
    {0x8000FFFFu, "E_UNEXPECTED", "The call came at a moment the object did not expect."},
    {0x80070005u, "E_ACCESSDENIED", "Access was denied."},
    {0x80070006u, "E_HANDLE", "A handle argument was not valid."},
    {0x8007000Eu, "E_OUTOFMEMORY", "There was not enough memory to complete the call."},
    {0x80070057u, "E_INVALIDARG", "One or more arguments were not valid."},
    // Direct3D 9.
    {0x88760818u, "D3DERR_WRONGTEXTUREFORMAT", "The pixel format of the texture surface is not valid here."},
    {0x88760819u, "D3DERR_UNSUPPORTEDCOLOROPERATION", "The device cannot do the requested color blending operation."},
    {0x8876081Au, "D3DERR_UNSUPPORTEDCOLORARG", "The device cannot take the requested color blending argument."},
    {0x8876081Bu, "D3DERR_UNSUPPORTEDALPHAOPERATION", "The device cannot do the requested alpha blending operation."},
    {0x8876081Cu, "D3DERR_UNSUPPORTEDALPHAARG", "The device cannot take the requested alpha blending argument."},
    {0x8876081Du, "D3DERR_TOOMANYOPERATIONS", "The application asks for more texture filtering operations than the device supports."},
    {0x8876081Eu, "D3DERR_CONFLICTINGTEXTUREFILTER", "The current texture filters cannot be used together."},
    {0x8876081Fu, "D3DERR_UNSUPPORTEDFACTORVALUE", "The device does not support the given texture factor value."},
    {0x88760822u, "D3DERR_CONFLICTINGRENDERSTATE", "The current render states cannot be used together."},
    {0x88760823u, "D3DERR_UNSUPPORTEDTEXTUREFILTER", "The device does not support the given texture filter."},
    {0x88760826u, "D3DERR_CONFLICTINGTEXTUREPALETTE", "The current textures cannot be used at the same time."},
    {0x88760827u, "D3DERR_DRIVERINTERNALERROR", "The display driver failed internally; the device should be released and made again."},
    {0x88760866u, "D3DERR_NOTFOUND", "The requested item was not found."},
    {0x88760867u, "D3DERR_MOREDATA", "There is more data than the given buffer can hold."},
    {0x88760868u, "D3DERR_DEVICELOST", "The device is lost and cannot be reset yet; rendering calls are ignored until it can be."},
    {0x88760869u, "D3DERR_DEVICENOTRESET", "The device was lost and can now be reset."},
    {0x8876086Au, "D3DERR_NOTAVAILABLE", "The device does not support the queried technique."},
    {0x8876086Bu, "D3DERR_INVALIDDEVICE", "The requested device type is not valid."},
    {0x8876086Cu, "D3DERR_INVALIDCALL", "The method call is not valid, for example because a parameter has a bad value."},
    {0x8876086Du, "D3DERR_DRIVERINVALIDCALL", "The driver rejected the call."},
    {0x8876017Cu, "D3DERR_OUTOFVIDEOMEMORY", "There is not enough display memory to complete the call."},
    {0x8876021Cu, "D3DERR_WASSTILLDRAWING", "The surface is still being used by a drawing operation."},
    {0x0876086Fu, "D3DOK_NOAUTOGEN", "The call succeeded, but mipmaps will not be generated automatically for this format."},
    {0x88760870u, "D3DERR_DEVICEREMOVED", "The hardware adapter has been removed."},
    {0x88760874u, "D3DERR_DEVICEHUNG", "The device stopped responding and needs to be made again."},
    // D3DX.
    {0x88760B54u, "D3DXERR_CANNOTMODIFYINDEXBUFFER", "The index buffer cannot be changed."},
    {0x88760B55u, "D3DXERR_INVALIDMESH", "The mesh is not valid."},
    {0x88760B56u, "D3DXERR_CANNOTATTRSORT", "Sorting by attribute is not supported as an optimization here."},
    {0x88760B57u, "D3DXERR_SKINNINGNOTSUPPORTED", "Skinning is not supported."},
    {0x88760B58u, "D3DXERR_TOOMANYINFLUENCES", "Too many bones influence one vertex."},
    {0x88760B59u, "D3DXERR_INVALIDDATA", "The data is not valid."},
    {0x88760B5Au, "D3DXERR_LOADEDMESHASNODATA", "The loaded mesh holds no data."},
    {0x88760B5Bu, "D3DXERR_DUPLICATENAMEDFRAGMENT", "Two fragments have the same name."},
    {0x88760B5Cu, "D3DXERR_CANNOTREMOVELASTITEM", "The last item cannot be removed."},
};

const ErrorText* Find(HRESULT hr) {
  for (const ErrorText& e : kErrors) {
    if (e.code == static_cast<uint32_t>(hr)) return &e;
  }
  return nullptr;
}

}  // namespace

const char* DXGetErrorStringA(HRESULT hr) {
  const ErrorText* e = Find(hr);
  return e ? e->name : "Unknown";
}

const char* DXGetErrorDescriptionA(HRESULT hr) {
  const ErrorText* e = Find(hr);
  return e ? e->description : "n/a";
}
