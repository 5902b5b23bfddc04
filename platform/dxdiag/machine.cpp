// The tree the provider reports of this machine: every property a DxDiag
// provider of the DirectX 9 generation offers, with what Linux can tell
// filled in and the rest left empty, zero or false.
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/dxdiag/testing.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace {

using platform::testing::DxDiagNode;

// Property names by kind: u (u32), i (i32), b (bool), s (text).
struct Schema {
  char kind;
  const char* names;  // separated by blanks
};

const Schema kSystemInfo[] = {
    {'u', "dwOSMajorVersion dwOSMinorVersion dwOSBuildNumber dwOSPlatformID dwDirectXVersionMajor "
          "dwDirectXVersionMinor"},
    {'s', "szDirectXVersionLetter"},
    {'b', "bDebug bNECPC98"},
    {'s', "ullPhysicalMemory ullUsedPageFile ullAvailPageFile"},
    {'b', "bNetMeetingRunning bIsD3D8DebugRuntimeAvailable bIsD3DDebugRuntime bIsDInput8DebugRuntimeAvailable "
          "bIsDInput8DebugRuntime bIsDMusicDebugRuntimeAvailable bIsDMusicDebugRuntime bIsDDrawDebugRuntime "
          "bIsDPlayDebugRuntime bIsDSoundDebugRuntime"},
    {'i', "nD3DDebugLevel nDDrawDebugLevel nDIDebugLevel nDMusicDebugLevel nDPlayDebugLevel nDSoundDebugLevel "
          "nDShowDebugLevel"},
    {'s', "szWindowsDir szBuildLab szDxDiagVersion szSetupParamEnglish szProcessorEnglish "
          "szSystemManufacturerEnglish szSystemModelEnglish szBIOSEnglish szPhysicalMemoryEnglish szCSDVersion "
          "szDirectXVersionEnglish szDirectXVersionLongEnglish szMachineNameLocalized szOSLocalized "
          "szOSExLocalized szOSExLongLocalized szLanguagesLocalized szPageFileLocalized szTimeLocalized "
          "szMachineNameEnglish szOSEnglish szOSExEnglish szOSExLongEnglish szLanguagesEnglish "
          "szPageFileEnglish szTimeEnglish"},
};

const Schema kDisplay[] = {
    {'s', "szDeviceName szDescription szKeyDeviceID szKeyDeviceKey szManufacturer szChipType szDACType "
          "szRevision szDisplayMemoryLocalized szDisplayMemoryEnglish szDisplayModeLocalized "
          "szDisplayModeEnglish"},
    {'u', "dwWidth dwHeight dwBpp dwRefreshRate"},
    {'s', "szMonitorName szMonitorMaxRes szDriverName szDriverVersion szDriverAttributes "
          "szDriverLanguageEnglish szDriverLanguageLocalized szDriverDateEnglish szDriverDateLocalized"},
    {'i', "lDriverSize"},
    {'s', "szMiniVdd szMiniVddDateLocalized szMiniVddDateEnglish"},
    {'i', "lMiniVddSize"},
    {'s', "szVdd"},
    {'b', "bCanRenderWindow bDriverBeta bDriverDebug bDriverSigned bDriverSignedValid"},
    {'s', "szDeviceIdentifier szDriverSignDate"},
    {'u', "dwDDIVersion"},
    {'s', "szDDIVersionEnglish szDDIVersionLocalized"},
    {'u', "iAdapter"},
    {'s', "szVendorId szDeviceId szSubSysId szRevisionId"},
    {'u', "dwWHQLLevel"},
    {'b', "bNoHardware bDDAccelerationEnabled b3DAccelerationExists b3DAccelerationEnabled bAGPEnabled "
          "bAGPExists bAGPExistenceValid"},
    {'s', "szDXVAModes szDDStatusLocalized szDDStatusEnglish szD3DStatusLocalized szD3DStatusEnglish "
          "szAGPStatusLocalized szAGPStatusEnglish szNotesLocalized szNotesEnglish szRegHelpText "
          "szTestResultDDLocalized szTestResultDDEnglish szTestResultD3D7Localized szTestResultD3D7English "
          "szTestResultD3D8Localized szTestResultD3D8English szTestResultD3D9Localized "
          "szTestResultD3D9English"},
};

const Schema kSound[] = {
    {'u', "dwDevnode"},
    {'s', "szGuidDeviceID szHardwareID szRegKey szManufacturerID szProductID szDescription szDriverName "
          "szDriverPath szDriverVersion szDriverLanguageEnglish szDriverLanguageLocalized szDriverAttributes "
          "szDriverDateEnglish szDriverDateLocalized szOtherDrivers szProvider szType"},
    {'i', "lNumBytes"},
    {'b', "bDriverBeta bDriverDebug bDriverSigned bDriverSignedValid"},
    {'i', "lAccelerationLevel"},
    {'b', "bDefaultSoundPlayback bDefaultVoicePlayback bVoiceManager bEAX20Listener bEAX20Source "
          "bI3DL2Listener bI3DL2Source bZoomFX"},
    {'u', "dwFlags dwMinSecondarySampleRate dwMaxSecondarySampleRate dwPrimaryBuffers dwMaxHwMixingAllBuffers "
          "dwMaxHwMixingStaticBuffers dwMaxHwMixingStreamingBuffers dwFreeHwMixingAllBuffers "
          "dwFreeHwMixingStaticBuffers dwFreeHwMixingStreamingBuffers dwMaxHw3DAllBuffers "
          "dwMaxHw3DStaticBuffers dwMaxHw3DStreamingBuffers dwFreeHw3DAllBuffers dwFreeHw3DStaticBuffers "
          "dwFreeHw3DStreamingBuffers dwTotalHwMemBytes dwFreeHwMemBytes dwMaxContigFreeHwMemBytes "
          "dwUnlockTransferRateHwBuffers dwPlayCpuOverheadSwBuffers"},
    {'s', "szNotesLocalized szNotesEnglish szRegHelpText szTestResultLocalized szTestResultEnglish"},
};

const Schema kCapture[] = {
    {'s', "szDescription szGuidDeviceID szDriverName szDriverPath szDriverVersion szDriverLanguageEnglish "
          "szDriverLanguageLocalized szDriverAttributes szDriverDateEnglish szDriverDateLocalized"},
    {'i', "lNumBytes"},
    {'b', "bDriverBeta bDriverDebug bDefaultSoundRecording bDefaultVoiceRecording"},
    {'u', "dwFlags dwFormats"},
};

const Schema kDisk[] = {
    {'s', "szDriveLetter szFreeSpace szMaxSpace szFileSystem szModel szPNPDeviceID"},
    {'u', "dwHardDriveIndex"},
};

template <size_t N>
void Defaults(DxDiagNode& node, const Schema (&schema)[N]) {
  for (const Schema& s : schema) {
    std::istringstream names(s.names);
    std::string name;
    while (names >> name) {
      switch (s.kind) {
        case 'u': node.SetU32(name, 0); break;
        case 'i': node.SetI32(name, 0); break;
        case 'b': node.SetBool(name, false); break;
        default: node.SetString(name, ""); break;
      }
    }
  }
}

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The value of `key` in a "key: value" or "KEY=value" file.
std::string FindField(const std::string& path, const std::string& key, char separator) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t sep = line.find(separator);
    if (sep == std::string::npos) continue;
    std::string name = line.substr(0, sep);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (name != key) continue;
    std::string value = line.substr(sep + 1);
    size_t start = value.find_first_not_of(" \t\"");
    if (start == std::string::npos) return {};
    value = value.substr(start);
    while (!value.empty() && (value.back() == '"' || value.back() == ' ')) value.pop_back();
    return value;
  }
  return {};
}

std::string Megabytes(unsigned long long bytes) { return std::to_string(bytes >> 20) + "MB"; }

void FillSystem(DxDiagNode& s) {
  Defaults(s, kSystemInfo);
  for (int i = 0; i < 16; ++i) {
    for (const char* part : {"0_31", "32_63", "64_95", "96_127"}) {
      char name[96];
      std::snprintf(name, sizeof name, "ExtendedCPUFunctionBitmasks_0x800000%02x_bits%s", i + 9, part);
      s.SetU32(name, 0);
    }
  }
  OSVERSIONINFOA os{};
  os.dwOSVersionInfoSize = sizeof os;
  GetVersionExA(&os);
  s.SetU32("dwOSMajorVersion", os.dwMajorVersion).SetU32("dwOSMinorVersion", os.dwMinorVersion);
  s.SetU32("dwOSBuildNumber", os.dwBuildNumber).SetU32("dwOSPlatformID", os.dwPlatformId);
  s.SetString("szCSDVersion", os.szCSDVersion);
  // The version of DirectX the Direct3D 9 layer implements.
  s.SetU32("dwDirectXVersionMajor", 9).SetU32("dwDirectXVersionMinor", 0).SetString("szDirectXVersionLetter", "c");
  s.SetString("szDirectXVersionEnglish", "4.09.0000.0904");
  s.SetString("szDirectXVersionLongEnglish", "DirectX 9.0c (4.09.0000.0904)");
  s.SetString("szWindowsDir", "C:\\Windows").SetString("szDxDiagVersion", "5.03.2600.2180");

  std::string osName = FindField("/etc/os-release", "PRETTY_NAME", '=');
  if (osName.empty()) osName = "Linux";
  utsname u{};
  uname(&u);
  std::string osLong = osName + " (" + u.sysname + " " + u.release + ", " + u.machine + ")";
  for (const char* suffix : {"English", "Localized"}) {
    s.SetString(std::string("szOS") + suffix, osName);
    s.SetString(std::string("szOSEx") + suffix, osName);
    s.SetString(std::string("szOSExLong") + suffix, osLong);
  }
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  s.SetString("szMachineNameEnglish", host).SetString("szMachineNameLocalized", host);
  const char* lang = std::getenv("LANG");
  std::string languages = lang && *lang ? lang : "C";
  s.SetString("szLanguagesEnglish", languages).SetString("szLanguagesLocalized", languages);

  std::string cpu = FindField("/proc/cpuinfo", "model name", ':');
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  if (!cpu.empty()) cpu += cpus > 1 ? ", ~" + std::to_string(cpus) + " CPUs" : "";
  s.SetString("szProcessorEnglish", cpu);
  s.SetString("szSystemManufacturerEnglish", ReadLine("/sys/class/dmi/id/sys_vendor"));
  s.SetString("szSystemModelEnglish", ReadLine("/sys/class/dmi/id/product_name"));
  s.SetString("szBIOSEnglish", ReadLine("/sys/class/dmi/id/bios_version"));

  struct sysinfo info {};
  if (sysinfo(&info) == 0) {
    unsigned long long unit = info.mem_unit ? info.mem_unit : 1;
    unsigned long long ram = info.totalram * unit;
    unsigned long long swapUsed = (info.totalswap - info.freeswap) * unit;
    unsigned long long swapFree = info.freeswap * unit;
    s.SetString("ullPhysicalMemory", std::to_string(ram));
    s.SetString("ullUsedPageFile", std::to_string(swapUsed));
    s.SetString("ullAvailPageFile", std::to_string(swapFree));
    s.SetString("szPhysicalMemoryEnglish", Megabytes(ram) + " RAM");
    std::string page = Megabytes(swapUsed) + " used, " + Megabytes(swapFree) + " available";
    s.SetString("szPageFileEnglish", page).SetString("szPageFileLocalized", page);
  }
}

void FillDisplay(DxDiagNode& root) {
  DxDiagNode& list = root.Child("DxDiag_DisplayDevices");
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!d3d) return;
  D3DADAPTER_IDENTIFIER9 id{};
  D3DDISPLAYMODE mode{};
  if (SUCCEEDED(d3d->GetAdapterIdentifier(0, 0, &id)) && SUCCEEDED(d3d->GetAdapterDisplayMode(0, &mode))) {
    DxDiagNode& d = list.Child("0");
    Defaults(d, kDisplay);
    d.Child("DXVADeinterlaceCaps");
    char text[128];
    d.SetString("szDeviceName", "\\\\.\\DISPLAY1").SetString("szDescription", id.Description);
    d.SetString("szManufacturer", id.Description).SetString("szChipType", id.Description);
    d.SetString("szDriverName", id.Driver);
    std::snprintf(text, sizeof text, "%u.%u.%04u.%04u", static_cast<unsigned>((id.DriverVersion >> 48) & 0xFFFF),
                  static_cast<unsigned>((id.DriverVersion >> 32) & 0xFFFF),
                  static_cast<unsigned>((id.DriverVersion >> 16) & 0xFFFF),
                  static_cast<unsigned>(id.DriverVersion & 0xFFFF));
    d.SetString("szDriverVersion", text);
    std::snprintf(text, sizeof text, "0x%04X", id.VendorId);
    d.SetString("szVendorId", text);
    std::snprintf(text, sizeof text, "0x%04X", id.DeviceId);
    d.SetString("szDeviceId", text);
    std::snprintf(text, sizeof text, "%u x %u (32 bit) (%uHz)", mode.Width, mode.Height, mode.RefreshRate);
    d.SetString("szDisplayModeEnglish", text).SetString("szDisplayModeLocalized", text);
    d.SetU32("dwWidth", mode.Width).SetU32("dwHeight", mode.Height).SetU32("dwBpp", 32);
    d.SetU32("dwRefreshRate", mode.RefreshRate).SetU32("iAdapter", 0).SetU32("dwDDIVersion", 9);
    d.SetBool("bCanRenderWindow", true).SetBool("bDDAccelerationEnabled", true);
    d.SetBool("b3DAccelerationExists", true).SetBool("b3DAccelerationEnabled", true);
    for (const char* status : {"szDDStatusEnglish", "szD3DStatusEnglish", "szDDStatusLocalized", "szD3DStatusLocalized"}) {
      d.SetString(status, "Enabled");
    }
  }
  d3d->Release();
}

// Cards as ALSA lists them: " 0 [PCH   ]: HDA-Intel - HDA Intel PCH".
void FillSound(DxDiagNode& root) {
  DxDiagNode& list = root.Child("DxDiag_DirectSound.DxDiag_SoundDevices");
  root.Child("DxDiag_DirectSound.DxDiag_SoundCaptureDevices");
  std::ifstream in("/proc/asound/cards");
  std::string line;
  int n = 0;
  while (std::getline(in, line) && n < 32) {
    size_t open = line.find('[');
    size_t close = line.find("]:");
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::string id = line.substr(open + 1, close - open - 1);
    while (!id.empty() && id.back() == ' ') id.pop_back();
    std::string rest = line.substr(close + 2);
    size_t dash = rest.find(" - ");
    std::string driver = rest.substr(0, dash);
    std::string description = dash == std::string::npos ? rest : rest.substr(dash + 3);
    size_t start = driver.find_first_not_of(' ');
    driver = start == std::string::npos ? std::string() : driver.substr(start);
    DxDiagNode& d = list.Child(std::to_string(n));
    Defaults(d, kSound);
    d.SetString("szHardwareID", id).SetString("szDescription", description).SetString("szDriverName", driver);
    d.SetString("szProvider", "ALSA").SetString("szType", "WDM").SetBool("bDefaultSoundPlayback", n == 0);
    ++n;
  }
}

void FillDisks(DxDiagNode& root) {
  DxDiagNode& list = root.Child("DxDiag_LogicalDisks");
  struct Drive {
    const char* letter;
    std::string path;
  } drives[] = {{"C:", platform::MapPath("C:\\")}, {"Z:", "/"}};
  int n = 0;
  for (const Drive& drive : drives) {
    struct statvfs vfs {};
    if (statvfs(drive.path.c_str(), &vfs) != 0) continue;
    DxDiagNode& d = list.Child(std::to_string(n));
    Defaults(d, kDisk);
    d.Child("Drivers");
    unsigned long long unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    d.SetString("szDriveLetter", drive.letter);
    d.SetString("szFreeSpace", Megabytes(vfs.f_bavail * unit)).SetString("szMaxSpace", Megabytes(vfs.f_blocks * unit));
    d.SetU32("dwHardDriveIndex", static_cast<uint32_t>(n + 1));
    ++n;
  }
}

}  // namespace

namespace platform::testing {

DxDiagNode EmptyDxDiagRecord(const std::string& kind, const std::string& name) {
  DxDiagNode node{name, {}, {}};
  if (kind == "DisplayDevice") {
    Defaults(node, kDisplay);
    node.Child("DXVADeinterlaceCaps");
  } else if (kind == "SoundDevice") {
    Defaults(node, kSound);
  } else if (kind == "SoundCaptureDevice") {
    Defaults(node, kCapture);
  } else if (kind == "LogicalDisk") {
    Defaults(node, kDisk);
    node.Child("Drivers");
  }
  return node;
}

DxDiagNode MachineDxDiagTree() {
  DxDiagNode root;
  FillSystem(root.Child("DxDiag_SystemInfo"));
  FillDisplay(root);
  FillSound(root);
  FillDisks(root);
  return root;
}

}  // namespace platform::testing
