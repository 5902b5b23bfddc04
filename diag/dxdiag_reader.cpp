// Reads records field by field from tables of {kind, property, offset,
// size}; the first failing step ends the read of a record and of its list.
#include "diag/dxdiag_reader.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/win32/win32.h"

namespace {

enum class Kind { Text, U32, I32, Bool, U64 };

struct Field {
  Kind kind;
  const char16_t* name;
  size_t offset;
  size_t size;
};

#define DXF(kind, rec, field) \
  Field { Kind::kind, u"" #field, offsetof(rec, field), sizeof(rec::field) }

constexpr size_t kNameChars = 256;

// Decimal digits as a 64-bit number, as the runtime's 64-bit parse does
// (leading blanks and a sign skipped, saturating).
uint64_t ParseU64(const WCHAR* s, UINT length) {
  UINT i = 0;
  while (i < length && (s[i] == u' ' || s[i] == u'\t')) ++i;
  if (i < length && s[i] == u'+') ++i;
  uint64_t v = 0;
  for (; i < length && s[i] >= u'0' && s[i] <= u'9'; ++i) {
    uint64_t digit = static_cast<uint64_t>(s[i] - u'0');
    if (v > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    v = v * 10 + digit;
  }
  return v;
}

HRESULT ReadField(IDxDiagContainer* c, void* record, const Field& f) {
  VARIANT v;
  VariantInit(&v);
  HRESULT hr = c->GetProp(f.name, &v);
  if (FAILED(hr)) {
    VariantClear(&v);
    return hr;
  }
  auto* at = static_cast<char*>(record) + f.offset;
  hr = S_OK;
  switch (f.kind) {
    case Kind::Text:
    case Kind::U64:
      if (v.vt != VT_BSTR) {
        hr = E_INVALIDARG;
      } else if (f.kind == Kind::U64) {
        uint64_t n = v.bstrVal ? ParseU64(v.bstrVal, SysStringLen(v.bstrVal)) : 0;
        std::memcpy(at, &n, sizeof n);
      } else {
        // Cut to the field less one and terminate; Windows-1252 keeps one
        // byte per character.
        int length = v.bstrVal ? static_cast<int>(SysStringLen(v.bstrVal)) : 0;
        int room = static_cast<int>(f.size) - 1;
        if (length > room) length = room;
        int written = length > 0 ? WideCharToMultiByte(CP_ACP, 0, v.bstrVal, length, at, room, nullptr, nullptr) : 0;
        at[written > 0 ? written : 0] = 0;
      }
      break;
    case Kind::U32:
      if (v.vt != VT_UI4) {
        hr = E_INVALIDARG;
      } else {
        DWORD n = v.ulVal;
        std::memcpy(at, &n, sizeof n);
      }
      break;
    case Kind::I32:
      if (v.vt != VT_I4) {
        hr = E_INVALIDARG;
      } else {
        int32_t n = v.lVal;
        std::memcpy(at, &n, sizeof n);
      }
      break;
    case Kind::Bool:
      if (v.vt != VT_BOOL) {
        hr = E_INVALIDARG;
      } else {
        DWORD n = v.boolVal ? 1 : 0;
        std::memcpy(at, &n, sizeof n);
      }
      break;
  }
  VariantClear(&v);
  return hr;
}

template <size_t N>
HRESULT ReadFields(IDxDiagContainer* c, void* record, const Field (&fields)[N]) {
  for (const Field& f : fields) {
    if (HRESULT hr = ReadField(c, record, f); FAILED(hr)) return hr;
  }
  return S_OK;
}

// Walks the children of the container `name` below `parent`. For each index
// the zero-filled record is appended first, then its container is opened and
// `read` fills it; the first failure ends the walk.
template <class Record, class Read>
HRESULT ReadList(IDxDiagContainer* parent, const char16_t* name, std::vector<std::unique_ptr<Record>>& list,
                 Read read) {
  IDxDiagContainer* listContainer = nullptr;
  HRESULT hr = parent->GetChildContainer(name, &listContainer);
  if (FAILED(hr)) return hr;
  if (!listContainer) return E_POINTER;
  DWORD count = 0;
  hr = listContainer->GetNumberOfChildContainers(&count);
  for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
    list.push_back(std::make_unique<Record>());
    Record& record = *list.back();
    WCHAR childName[kNameChars];
    hr = listContainer->EnumChildContainerNames(i, childName, kNameChars);
    if (FAILED(hr)) break;
    IDxDiagContainer* child = nullptr;
    hr = listContainer->GetChildContainer(childName, &child);
    if (FAILED(hr)) break;
    if (!child) {
      hr = E_POINTER;
      break;
    }
    hr = read(child, record);
    child->Release();
  }
  listContainer->Release();
  return hr;
}

#define S DxDiagSystemInfo
const Field kSystemFields[] = {
    DXF(U32, S, dwOSMajorVersion), DXF(U32, S, dwOSMinorVersion), DXF(U32, S, dwOSBuildNumber),
    DXF(U32, S, dwOSPlatformID), DXF(U32, S, dwDirectXVersionMajor), DXF(U32, S, dwDirectXVersionMinor),
    DXF(Text, S, szDirectXVersionLetter), DXF(Bool, S, bDebug), DXF(Bool, S, bNECPC98),
    DXF(U64, S, ullPhysicalMemory), DXF(U64, S, ullUsedPageFile), DXF(U64, S, ullAvailPageFile),
    DXF(Bool, S, bNetMeetingRunning), DXF(Bool, S, bIsD3D8DebugRuntimeAvailable), DXF(Bool, S, bIsD3DDebugRuntime),
    DXF(Bool, S, bIsDInput8DebugRuntimeAvailable), DXF(Bool, S, bIsDInput8DebugRuntime),
    DXF(Bool, S, bIsDMusicDebugRuntimeAvailable), DXF(Bool, S, bIsDMusicDebugRuntime),
    DXF(Bool, S, bIsDDrawDebugRuntime), DXF(Bool, S, bIsDPlayDebugRuntime), DXF(Bool, S, bIsDSoundDebugRuntime),
    DXF(I32, S, nD3DDebugLevel), DXF(I32, S, nDDrawDebugLevel), DXF(I32, S, nDIDebugLevel),
    DXF(I32, S, nDMusicDebugLevel), DXF(I32, S, nDPlayDebugLevel), DXF(I32, S, nDSoundDebugLevel),
    DXF(I32, S, nDShowDebugLevel), DXF(Text, S, szWindowsDir), DXF(Text, S, szBuildLab),
    DXF(Text, S, szDxDiagVersion), DXF(Text, S, szSetupParamEnglish), DXF(Text, S, szProcessorEnglish),
    DXF(Text, S, szSystemManufacturerEnglish), DXF(Text, S, szSystemModelEnglish), DXF(Text, S, szBIOSEnglish),
    DXF(Text, S, szPhysicalMemoryEnglish), DXF(Text, S, szCSDVersion), DXF(Text, S, szDirectXVersionEnglish),
    DXF(Text, S, szDirectXVersionLongEnglish), DXF(Text, S, szMachineNameLocalized), DXF(Text, S, szOSLocalized),
    DXF(Text, S, szOSExLocalized), DXF(Text, S, szOSExLongLocalized), DXF(Text, S, szLanguagesLocalized),
    DXF(Text, S, szPageFileLocalized), DXF(Text, S, szTimeLocalized), DXF(Text, S, szMachineNameEnglish),
    DXF(Text, S, szOSEnglish), DXF(Text, S, szOSExEnglish), DXF(Text, S, szOSExLongEnglish),
    DXF(Text, S, szLanguagesEnglish), DXF(Text, S, szPageFileEnglish), DXF(Text, S, szTimeEnglish),
};
#undef S

#define D DxDiagLogicalDiskInfo
const Field kDiskFields[] = {
    DXF(Text, D, szDriveLetter), DXF(Text, D, szFreeSpace), DXF(Text, D, szMaxSpace), DXF(Text, D, szFileSystem),
    DXF(Text, D, szModel), DXF(Text, D, szPNPDeviceID), DXF(U32, D, dwHardDriveIndex),
};
#undef D

#define F DxDiagFileInfo
const Field kFileFields[] = {
    DXF(Text, F, szPath), DXF(Text, F, szName), DXF(Text, F, szVersion), DXF(Text, F, szLanguageEnglish),
    DXF(Text, F, szLanguageLocalized), DXF(U32, F, dwFileTimeLow), DXF(U32, F, dwFileTimeHigh),
    DXF(Text, F, szDatestampEnglish), DXF(Text, F, szDatestampLocalized), DXF(Text, F, szAttributes),
    DXF(I32, F, lNumBytes), DXF(Bool, F, bExists), DXF(Bool, F, bBeta), DXF(Bool, F, bDebug),
    DXF(Bool, F, bObsolete), DXF(Bool, F, bProblem),
};
#undef F

#define D DxDiagDisplayInfo
const Field kDisplayFields[] = {
    DXF(Text, D, szDeviceName), DXF(Text, D, szDescription), DXF(Text, D, szKeyDeviceID),
    DXF(Text, D, szKeyDeviceKey), DXF(Text, D, szManufacturer), DXF(Text, D, szChipType), DXF(Text, D, szDACType),
    DXF(Text, D, szRevision), DXF(Text, D, szDisplayMemoryLocalized), DXF(Text, D, szDisplayMemoryEnglish),
    DXF(Text, D, szDisplayModeLocalized), DXF(Text, D, szDisplayModeEnglish), DXF(U32, D, dwWidth),
    DXF(U32, D, dwHeight), DXF(U32, D, dwBpp), DXF(U32, D, dwRefreshRate), DXF(Text, D, szMonitorName),
    DXF(Text, D, szMonitorMaxRes), DXF(Text, D, szDriverName), DXF(Text, D, szDriverVersion),
    DXF(Text, D, szDriverAttributes), DXF(Text, D, szDriverLanguageEnglish),
    DXF(Text, D, szDriverLanguageLocalized), DXF(Text, D, szDriverDateEnglish),
    DXF(Text, D, szDriverDateLocalized), DXF(I32, D, lDriverSize), DXF(Text, D, szMiniVdd),
    DXF(Text, D, szMiniVddDateLocalized), DXF(Text, D, szMiniVddDateEnglish), DXF(I32, D, lMiniVddSize),
    DXF(Text, D, szVdd), DXF(Bool, D, bCanRenderWindow), DXF(Bool, D, bDriverBeta), DXF(Bool, D, bDriverDebug),
    DXF(Bool, D, bDriverSigned), DXF(Bool, D, bDriverSignedValid), DXF(Text, D, szDeviceIdentifier),
    DXF(Text, D, szDriverSignDate), DXF(U32, D, dwDDIVersion), DXF(Text, D, szDDIVersionEnglish),
    DXF(Text, D, szDDIVersionLocalized), DXF(U32, D, iAdapter), DXF(Text, D, szVendorId), DXF(Text, D, szDeviceId),
    DXF(Text, D, szSubSysId), DXF(Text, D, szRevisionId), DXF(U32, D, dwWHQLLevel), DXF(Bool, D, bNoHardware),
    DXF(Bool, D, bDDAccelerationEnabled), DXF(Bool, D, b3DAccelerationExists), DXF(Bool, D, b3DAccelerationEnabled),
    DXF(Bool, D, bAGPEnabled), DXF(Bool, D, bAGPExists), DXF(Bool, D, bAGPExistenceValid),
    DXF(Text, D, szDXVAModes), DXF(Text, D, szDDStatusLocalized), DXF(Text, D, szDDStatusEnglish),
    DXF(Text, D, szD3DStatusLocalized), DXF(Text, D, szD3DStatusEnglish), DXF(Text, D, szAGPStatusLocalized),
    DXF(Text, D, szAGPStatusEnglish), DXF(Text, D, szNotesLocalized), DXF(Text, D, szNotesEnglish),
    DXF(Text, D, szRegHelpText), DXF(Text, D, szTestResultDDLocalized), DXF(Text, D, szTestResultDDEnglish),
    DXF(Text, D, szTestResultD3D7Localized), DXF(Text, D, szTestResultD3D7English),
    DXF(Text, D, szTestResultD3D8Localized), DXF(Text, D, szTestResultD3D8English),
    DXF(Text, D, szTestResultD3D9Localized), DXF(Text, D, szTestResultD3D9English),
};
#undef D

#define C DxDiagDeinterlaceCaps
const Field kDeinterlaceFields[] = {
    DXF(Text, C, szD3DInputFormat), DXF(Text, C, szD3DOutputFormat), DXF(Text, C, szGuid), DXF(Text, C, szCaps),
    DXF(U32, C, dwNumPreviousOutputFrames), DXF(U32, C, dwNumForwardRefSamples),
    DXF(U32, C, dwNumBackwardRefSamples),
};
#undef C

#define A DxDiagSoundDevice
const Field kSoundFields[] = {
    DXF(U32, A, dwDevnode), DXF(Text, A, szGuidDeviceID), DXF(Text, A, szHardwareID), DXF(Text, A, szRegKey),
    DXF(Text, A, szManufacturerID), DXF(Text, A, szProductID), DXF(Text, A, szDescription),
    DXF(Text, A, szDriverName), DXF(Text, A, szDriverPath), DXF(Text, A, szDriverVersion),
    DXF(Text, A, szDriverLanguageEnglish), DXF(Text, A, szDriverLanguageLocalized),
    DXF(Text, A, szDriverAttributes), DXF(Text, A, szDriverDateEnglish), DXF(Text, A, szDriverDateLocalized),
    DXF(Text, A, szOtherDrivers), DXF(Text, A, szProvider), DXF(Text, A, szType), DXF(I32, A, lNumBytes),
    DXF(Bool, A, bDriverBeta), DXF(Bool, A, bDriverDebug), DXF(Bool, A, bDriverSigned),
    DXF(Bool, A, bDriverSignedValid), DXF(I32, A, lAccelerationLevel), DXF(Bool, A, bDefaultSoundPlayback),
    DXF(Bool, A, bDefaultVoicePlayback), DXF(Bool, A, bVoiceManager), DXF(Bool, A, bEAX20Listener),
    DXF(Bool, A, bEAX20Source), DXF(Bool, A, bI3DL2Listener), DXF(Bool, A, bI3DL2Source), DXF(Bool, A, bZoomFX),
    DXF(U32, A, dwFlags), DXF(U32, A, dwMinSecondarySampleRate), DXF(U32, A, dwMaxSecondarySampleRate),
    DXF(U32, A, dwPrimaryBuffers), DXF(U32, A, dwMaxHwMixingAllBuffers), DXF(U32, A, dwMaxHwMixingStaticBuffers),
    DXF(U32, A, dwMaxHwMixingStreamingBuffers), DXF(U32, A, dwFreeHwMixingAllBuffers),
    DXF(U32, A, dwFreeHwMixingStaticBuffers), DXF(U32, A, dwFreeHwMixingStreamingBuffers),
    DXF(U32, A, dwMaxHw3DAllBuffers), DXF(U32, A, dwMaxHw3DStaticBuffers), DXF(U32, A, dwMaxHw3DStreamingBuffers),
    DXF(U32, A, dwFreeHw3DAllBuffers), DXF(U32, A, dwFreeHw3DStaticBuffers),
    DXF(U32, A, dwFreeHw3DStreamingBuffers), DXF(U32, A, dwTotalHwMemBytes), DXF(U32, A, dwFreeHwMemBytes),
    DXF(U32, A, dwMaxContigFreeHwMemBytes), DXF(U32, A, dwUnlockTransferRateHwBuffers),
    DXF(U32, A, dwPlayCpuOverheadSwBuffers), DXF(Text, A, szNotesLocalized), DXF(Text, A, szNotesEnglish),
    DXF(Text, A, szRegHelpText), DXF(Text, A, szTestResultLocalized), DXF(Text, A, szTestResultEnglish),
};
#undef A

#define R DxDiagSoundCaptureDevice
const Field kCaptureFields[] = {
    DXF(Text, R, szDescription), DXF(Text, R, szGuidDeviceID), DXF(Text, R, szDriverName),
    DXF(Text, R, szDriverPath), DXF(Text, R, szDriverVersion), DXF(Text, R, szDriverLanguageEnglish),
    DXF(Text, R, szDriverLanguageLocalized), DXF(Text, R, szDriverAttributes), DXF(Text, R, szDriverDateEnglish),
    DXF(Text, R, szDriverDateLocalized), DXF(I32, R, lNumBytes), DXF(Bool, R, bDriverBeta),
    DXF(Bool, R, bDriverDebug), DXF(Bool, R, bDefaultSoundRecording), DXF(Bool, R, bDefaultVoiceRecording),
    DXF(U32, R, dwFlags), DXF(U32, R, dwFormats),
};
#undef R

}  // namespace

DxDiagReader::~DxDiagReader() {
  if (root_) root_->Release();
  if (provider_) provider_->Release();
  if (comInitialised_) CoUninitialize();
}

HRESULT DxDiagReader::Init() {
  HRESULT hr = CoInitialize(nullptr);
  comInitialised_ = SUCCEEDED(hr);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                        reinterpret_cast<void**>(&provider_));
  if (FAILED(hr)) return hr;
  if (!provider_) return E_POINTER;
  DXDIAG_INIT_PARAMS params{sizeof(DXDIAG_INIT_PARAMS), DXDIAG_DX9_SDK_VERSION, FALSE, nullptr};
  hr = provider_->Initialize(&params);
  if (FAILED(hr)) return hr;
  hr = provider_->GetRootContainer(&root_);
  if (FAILED(hr)) return hr;
  return root_ ? S_OK : E_POINTER;
}

HRESULT DxDiagReader::CollectAll() {
  if (!provider_ || !root_) return E_INVALIDARG;
  ReadSystemInfo();
  ReadDisplayDevices();
  ReadSoundDevices();
  ReadSoundCaptureDevices();
  ReadLogicalDisks();
  return S_OK;
}

HRESULT DxDiagReader::ReadSystemInfo() {
  IDxDiagContainer* c = nullptr;
  if (FAILED(root_->GetChildContainer(u"DxDiag_SystemInfo", &c)) || !c) return E_FAIL;
  systemInfo_ = std::make_unique<DxDiagSystemInfo>();
  HRESULT hr = ReadFields(c, systemInfo_.get(), kSystemFields);
  for (int i = 0; SUCCEEDED(hr) && i < 16; ++i) {
    static const char* const kParts[4] = {"0_31", "32_63", "64_95", "96_127"};
    for (int part = 0; SUCCEEDED(hr) && part < 4; ++part) {
      char narrow[kNameChars];
      std::snprintf(narrow, sizeof narrow, "ExtendedCPUFunctionBitmasks_0x800000%02x_bits%s", i + 9, kParts[part]);
      WCHAR name[kNameChars];
      size_t n = 0;
      for (; narrow[n]; ++n) name[n] = static_cast<WCHAR>(narrow[n]);
      name[n] = 0;
      Field f{Kind::U32, name,
              offsetof(DxDiagSystemInfo, ExtendedCPUFunctionBitmasks) + (static_cast<size_t>(i) * 4 + part) * sizeof(DWORD),
              sizeof(DWORD)};
      hr = ReadField(c, systemInfo_.get(), f);
    }
  }
  c->Release();
  return hr;
}

HRESULT DxDiagReader::ReadDisplayDevices() {
  return ReadList(root_, u"DxDiag_DisplayDevices", displays_, [](IDxDiagContainer* c, DxDiagDisplayDevice& d) {
    HRESULT hr = ReadFields(c, &d.info, kDisplayFields);
    if (FAILED(hr)) return hr;
    // A device whose capabilities cannot be read still lets the walk go on.
    ReadList(c, u"DXVADeinterlaceCaps", d.deinterlaceCaps,
             [](IDxDiagContainer* cc, DxDiagDeinterlaceCaps& caps) { return ReadFields(cc, &caps, kDeinterlaceFields); });
    return S_OK;
  });
}

HRESULT DxDiagReader::ReadSoundDevices() {
  return ReadList(root_, u"DxDiag_DirectSound.DxDiag_SoundDevices", sounds_,
                  [](IDxDiagContainer* c, DxDiagSoundDevice& d) { return ReadFields(c, &d, kSoundFields); });
}

HRESULT DxDiagReader::ReadSoundCaptureDevices() {
  return ReadList(root_, u"DxDiag_DirectSound.DxDiag_SoundCaptureDevices", captures_,
                  [](IDxDiagContainer* c, DxDiagSoundCaptureDevice& d) { return ReadFields(c, &d, kCaptureFields); });
}

HRESULT DxDiagReader::ReadLogicalDisks() {
  return ReadList(root_, u"DxDiag_LogicalDisks", disks_, [](IDxDiagContainer* c, DxDiagLogicalDisk& d) {
    HRESULT hr = ReadFields(c, &d.info, kDiskFields);
    if (FAILED(hr)) return hr;
    return ReadList(c, u"Drivers", d.files,
                    [](IDxDiagContainer* fc, DxDiagFileInfo& f) { return ReadFields(fc, &f, kFileFields); });
  });
}
