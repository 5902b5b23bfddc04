// Copies the parts of the DxDiag provider's tree the report prints into
// plain records of fixed-size text and number fields, so the report prints
// without touching COM. Texts are cut to their field less one character and
// always terminated.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/dxdiag/dxdiag.h"

struct DxDiagSystemInfo {
  DWORD dwOSMajorVersion, dwOSMinorVersion, dwOSBuildNumber, dwOSPlatformID;
  DWORD dwDirectXVersionMajor, dwDirectXVersionMinor;
  char szDirectXVersionLetter[2];
  DWORD bDebug, bNECPC98;
  uint64_t ullPhysicalMemory, ullUsedPageFile, ullAvailPageFile;
  DWORD bNetMeetingRunning, bIsD3D8DebugRuntimeAvailable, bIsD3DDebugRuntime, bIsDInput8DebugRuntimeAvailable,
      bIsDInput8DebugRuntime, bIsDMusicDebugRuntimeAvailable, bIsDMusicDebugRuntime, bIsDDrawDebugRuntime,
      bIsDPlayDebugRuntime, bIsDSoundDebugRuntime;
  int32_t nD3DDebugLevel, nDDrawDebugLevel, nDIDebugLevel, nDMusicDebugLevel, nDPlayDebugLevel,
      nDSoundDebugLevel, nDShowDebugLevel;
  char szWindowsDir[260];
  char szBuildLab[100], szDxDiagVersion[100], szSetupParamEnglish[100];
  char szProcessorEnglish[200], szSystemManufacturerEnglish[200], szSystemModelEnglish[200], szBIOSEnglish[200];
  char szPhysicalMemoryEnglish[100];
  char szCSDVersion[200];
  char szDirectXVersionEnglish[100], szDirectXVersionLongEnglish[100];
  char szMachineNameLocalized[200];
  char szOSLocalized[100], szOSExLocalized[100];
  char szOSExLongLocalized[300];
  char szLanguagesLocalized[200];
  char szPageFileLocalized[100], szTimeLocalized[100];
  char szMachineNameEnglish[200];
  char szOSEnglish[100], szOSExEnglish[100];
  char szOSExLongEnglish[300];
  char szLanguagesEnglish[200];
  char szPageFileEnglish[100], szTimeEnglish[100];
  // Function 0x80000009 + i, bits 0-31, 32-63, 64-95, 96-127.
  DWORD ExtendedCPUFunctionBitmasks[16][4];
};

struct DxDiagFileInfo {
  char szPath[260], szName[260];
  char szVersion[50];
  char szLanguageEnglish[100], szLanguageLocalized[100];
  DWORD dwFileTimeLow, dwFileTimeHigh;
  char szDatestampEnglish[30], szDatestampLocalized[30];
  char szAttributes[50];
  int32_t lNumBytes;
  DWORD bExists, bBeta, bDebug, bObsolete, bProblem;
};

struct DxDiagLogicalDiskInfo {
  char szDriveLetter[64];
  char szFreeSpace[128], szMaxSpace[128], szFileSystem[128];
  char szModel[512], szPNPDeviceID[512];
  DWORD dwHardDriveIndex;
};

struct DxDiagLogicalDisk {
  DxDiagLogicalDiskInfo info{};
  std::vector<std::unique_ptr<DxDiagFileInfo>> files;
};

struct DxDiagDeinterlaceCaps {
  char szD3DInputFormat[100], szD3DOutputFormat[100], szGuid[100], szCaps[100];
  DWORD dwNumPreviousOutputFrames, dwNumForwardRefSamples, dwNumBackwardRefSamples;
};

struct DxDiagDisplayInfo {
  char szDeviceName[100];
  char szDescription[200], szKeyDeviceID[200], szKeyDeviceKey[200], szManufacturer[200];
  char szChipType[100], szDACType[100], szRevision[100], szDisplayMemoryLocalized[100],
      szDisplayMemoryEnglish[100], szDisplayModeLocalized[100], szDisplayModeEnglish[100];
  DWORD dwWidth, dwHeight, dwBpp, dwRefreshRate;
  char szMonitorName[100], szMonitorMaxRes[100], szDriverName[100], szDriverVersion[100],
      szDriverAttributes[100], szDriverLanguageEnglish[100], szDriverLanguageLocalized[100],
      szDriverDateEnglish[100], szDriverDateLocalized[100];
  int32_t lDriverSize;
  char szMiniVdd[100], szMiniVddDateLocalized[100], szMiniVddDateEnglish[100];
  int32_t lMiniVddSize;
  char szVdd[100];
  DWORD bCanRenderWindow, bDriverBeta, bDriverDebug, bDriverSigned, bDriverSignedValid;
  char szDeviceIdentifier[100];
  char szDriverSignDate[50];
  DWORD dwDDIVersion;
  char szDDIVersionEnglish[100], szDDIVersionLocalized[100];
  DWORD iAdapter;
  char szVendorId[50], szDeviceId[50], szSubSysId[50], szRevisionId[50];
  DWORD dwWHQLLevel;
  DWORD bNoHardware, bDDAccelerationEnabled, b3DAccelerationExists, b3DAccelerationEnabled, bAGPEnabled,
      bAGPExists, bAGPExistenceValid;
  char szDXVAModes[100], szDDStatusLocalized[100], szDDStatusEnglish[100], szD3DStatusLocalized[100],
      szD3DStatusEnglish[100], szAGPStatusLocalized[100], szAGPStatusEnglish[100];
  char szNotesLocalized[3000], szNotesEnglish[3000], szRegHelpText[3000], szTestResultDDLocalized[3000],
      szTestResultDDEnglish[3000], szTestResultD3D7Localized[3000], szTestResultD3D7English[3000],
      szTestResultD3D8Localized[3000], szTestResultD3D8English[3000], szTestResultD3D9Localized[3000],
      szTestResultD3D9English[3000];
};

struct DxDiagDisplayDevice {
  DxDiagDisplayInfo info{};
  std::vector<std::unique_ptr<DxDiagDeinterlaceCaps>> deinterlaceCaps;
};

struct DxDiagSoundDevice {
  DWORD dwDevnode;
  char szGuidDeviceID[100];
  char szHardwareID[200], szRegKey[200];
  char szManufacturerID[100], szProductID[100];
  char szDescription[200], szDriverName[200];
  char szDriverPath[261];
  char szDriverVersion[100], szDriverLanguageEnglish[100], szDriverLanguageLocalized[100], szDriverAttributes[100];
  char szDriverDateEnglish[60], szDriverDateLocalized[60];
  char szOtherDrivers[200], szProvider[200];
  char szType[100];
  int32_t lNumBytes;
  DWORD bDriverBeta, bDriverDebug, bDriverSigned, bDriverSignedValid;
  int32_t lAccelerationLevel;
  DWORD bDefaultSoundPlayback, bDefaultVoicePlayback, bVoiceManager, bEAX20Listener, bEAX20Source, bI3DL2Listener,
      bI3DL2Source, bZoomFX;
  DWORD dwFlags, dwMinSecondarySampleRate, dwMaxSecondarySampleRate, dwPrimaryBuffers, dwMaxHwMixingAllBuffers,
      dwMaxHwMixingStaticBuffers, dwMaxHwMixingStreamingBuffers, dwFreeHwMixingAllBuffers,
      dwFreeHwMixingStaticBuffers, dwFreeHwMixingStreamingBuffers, dwMaxHw3DAllBuffers, dwMaxHw3DStaticBuffers,
      dwMaxHw3DStreamingBuffers, dwFreeHw3DAllBuffers, dwFreeHw3DStaticBuffers, dwFreeHw3DStreamingBuffers,
      dwTotalHwMemBytes, dwFreeHwMemBytes, dwMaxContigFreeHwMemBytes, dwUnlockTransferRateHwBuffers,
      dwPlayCpuOverheadSwBuffers;
  char szNotesLocalized[3000], szNotesEnglish[3000], szRegHelpText[3000], szTestResultLocalized[3000],
      szTestResultEnglish[3000];
};

struct DxDiagSoundCaptureDevice {
  char szDescription[200], szGuidDeviceID[100], szDriverName[200], szDriverPath[261];
  char szDriverVersion[100], szDriverLanguageEnglish[100], szDriverLanguageLocalized[100], szDriverAttributes[100];
  char szDriverDateEnglish[60], szDriverDateLocalized[60];
  int32_t lNumBytes;
  DWORD bDriverBeta, bDriverDebug, bDefaultSoundRecording, bDefaultVoiceRecording;
  DWORD dwFlags, dwFormats;
};

class DxDiagReader {
 public:
  DxDiagReader() = default;
  ~DxDiagReader();
  DxDiagReader(const DxDiagReader&) = delete;
  DxDiagReader& operator=(const DxDiagReader&) = delete;

  // COM, the provider and its root container. The failing step's result, or
  // E_POINTER when the provider comes back null.
  HRESULT Init();
  // E_INVALIDARG without a provider; otherwise 0, whatever single reads gave.
  HRESULT CollectAll();

  const DxDiagSystemInfo* systemInfo() const { return systemInfo_.get(); }
  const std::vector<std::unique_ptr<DxDiagDisplayDevice>>& displayDevices() const { return displays_; }
  const std::vector<std::unique_ptr<DxDiagSoundDevice>>& soundDevices() const { return sounds_; }
  const std::vector<std::unique_ptr<DxDiagSoundCaptureDevice>>& soundCaptureDevices() const { return captures_; }
  const std::vector<std::unique_ptr<DxDiagLogicalDisk>>& logicalDisks() const { return disks_; }

 private:
  HRESULT ReadSystemInfo();
  HRESULT ReadDisplayDevices();
  HRESULT ReadSoundDevices();
  HRESULT ReadSoundCaptureDevices();
  HRESULT ReadLogicalDisks();

  IDxDiagProvider* provider_ = nullptr;
  IDxDiagContainer* root_ = nullptr;
  bool comInitialised_ = false;
  std::unique_ptr<DxDiagSystemInfo> systemInfo_;
  std::vector<std::unique_ptr<DxDiagDisplayDevice>> displays_;
  std::vector<std::unique_ptr<DxDiagSoundDevice>> sounds_;
  std::vector<std::unique_ptr<DxDiagSoundCaptureDevice>> captures_;
  std::vector<std::unique_ptr<DxDiagLogicalDisk>> disks_;
};
