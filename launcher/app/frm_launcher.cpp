#include "launcher/app/frm_launcher.h"

#include <array>
#include <cstring>
#include <string_view>

#include "diag/brddiag.h"
#include "launcher/app/settings_link.h"
#include "launcher/app/xml_storage.h"
#include "platform/win32/win32.h"

namespace launcher {

namespace {

using forms::TObject;

constexpr const char* kRegistryKey = "Software\\Brindlewerk\\Kestrelmoor";
constexpr const char* kPublisherScheme = "http://";
// The forum's address is the scheme and "forum" of "launcher.xml", as the
// publisher's is: the texts name the game's own forum.
constexpr const char* kForumScheme = "http://";
// Where "lastdemo" waits while the engine starts.
constexpr const char* kLastDemoAside = "lastdemo.starting";

// The music: open from memory, 2D, looping; the sounds: from memory, 2D.
constexpr FMOD_MODE kMusicMode = 0x80A;
constexpr FMOD_MODE kSoundMode = 0x808;

std::string Narrow(const std::u16string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), size, nullptr, nullptr);
  return out;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A program named "x.exe" is the file "x" here, as the shell finds it.
bool ProgramExists(const std::string& path) {
  if (FileExists(path)) return true;
  const size_t n = path.size();
  if (n <= 4) return false;
  std::string tail = path.substr(n - 4);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return tail == ".exe" && FileExists(path.substr(0, n - 4));
}

// The extended information as long as the sound library's record; this
// layer reads only its head.
struct SoundInfo {
  FMOD_CREATESOUNDEXINFO head{};
  uint8_t rest[92 - sizeof(FMOD_CREATESOUNDEXINFO)]{};
};
static_assert(offsetof(SoundInfo, head) == 0);

FMOD_CREATESOUNDEXINFO* Info(SoundInfo& info, size_t length) {
  info = SoundInfo{};
  info.head.cbsize = 92;
  info.head.length = static_cast<uint32_t>(length);
  return &info.head;
}

skin::TskButton* MakeButton(forms::TForm* form, forms::TWinControl* parent, int left, int top, const char* caption,
                            bool visible) {
  auto* b = new skin::TskButton(form);
  b->SetParent(parent);
  b->SetBounds(left, top, 161, 27);
  b->SetUIStyle(skin::TskUIStyle::Ocean);
  forms::TFont font;
  font.SetName("Tahoma");
  font.SetHeight(-11);
  font.SetColor(forms::clBlack);
  font.SetStyle(forms::fsBold);
  b->SetFont(font);
  b->SetCursor(forms::crHandPoint);
  b->SetCaption(caption);
  b->SetVisible(visible);
  return b;
}

}  // namespace

TfrmLauncher::TfrmLauncher(forms::TComponent* owner) : forms::TForm(owner) {
  BorderStyle = forms::TFormBorderStyle::bsNone;
  Position = forms::TPosition::poScreenCenter;
  SetClientWidth(400);
  SetClientHeight(400);
  forms::TFont font;
  font.SetName("Tahoma");
  font.SetHeight(-11);
  SetFont(font);

  bgImage = new forms::TImage(this);
  bgImage->SetParent(this);
  bgImage->SetAlign(forms::TAlign::alClient);
  bgImage->SetVisible(false);

  pb = new TincaPaintBox(this);
  pb->SetParent(this);
  pb->SetAlign(forms::TAlign::alClient);
  pb->SetColor(forms::clWhite);
  pb->SetAutoClear(false);
  pb->OnClear = [this](TObject* s, forms::TCanvas& c, bool& stop, const forms::TRect& r) { pbClear(s, c, stop, r); };
  pb->OnPaint = [this](TObject* s, forms::TCanvas& c, bool& stop, const forms::TRect& r) { pbPaint(s, c, stop, r); };

  lbCaption = new forms::TLabel(this);
  lbCaption->SetParent(pb);
  lbCaption->SetAutoSize(false);
  lbCaption->SetBounds(120, 384, 169, 13);
  lbCaption->Alignment = forms::TAlignment::taCenter;
  lbCaption->SetTransparent(true);
  forms::TFont white = font;
  white.SetColor(forms::clWhite);
  lbCaption->SetFont(white);
  lbCaption->SetCaption("Game Version");

  btnResume = MakeButton(this, pb, 120, 176, "Resume Game", false);
  btnStart = MakeButton(this, pb, 119, 208, "Start New Game", true);
  btnSettings = MakeButton(this, pb, 119, 240, "Settings", true);
  btnPublisher = MakeButton(this, pb, 119, 272, "Publisher Homepage", true);
  btnForums = MakeButton(this, pb, 119, 304, "Brindlewerk Forums", true);
  btnAddInst = MakeButton(this, pb, 119, 336, "Additional Installer", false);
  btnClose = MakeButton(this, pb, 376, 0, "", true);
  btnClose->SetBounds(376, 0, 24, 17);
  // A cross on the glyph's see-through colour (its top-left pixel).
  forms::TBitmap glyph(7, 7);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 7; ++x) glyph.Bits()[y * 7 + x] = (x == y || x == 6 - y) ? 0x000000u : 0xFF00FFu;
  }
  glyph.Bits()[0] = 0xFF00FFu;
  btnClose->SetGlyph(glyph);

  btnResume->OnClick = [this](TObject* s) { btnResumeClick(s); };
  btnStart->OnClick = [this](TObject* s) { btnStartClick(s); };
  btnSettings->OnClick = [this](TObject* s) { btnSettingsClick(s); };
  btnPublisher->OnClick = [this](TObject* s) { btnPublisherClick(s); };
  btnForums->OnClick = [this](TObject* s) { btnForumsClick(s); };
  btnAddInst->OnClick = [this](TObject* s) { btnAddInstClick(s); };
  btnClose->OnClick = [this](TObject* s) { btnCloseClick(s); };
  for (skin::TskButton* b : {btnResume, btnStart, btnSettings, btnPublisher, btnForums, btnAddInst, btnClose}) {
    b->OnMouseEnter = [this](TObject* s) { btnResumeMouseEnter(s); };
    // The buttons publish no focus-enter event of their own: the
    // framework's, when a button takes the focus.
    if (b != btnSettings && b != btnClose) b->OnEnter = [this](TObject* s) { btnResumeMouseEnter(s); };
  }

  skDialog = new skin::TskMessageDialog(this);
  skDialog->Caption = "Error";
  skDialog->SetUIStyle(skin::TskUIStyle::Ocean);
  skDialog->SetButtonCount(1);
  skDialog->Button1Caption = "OK";
  skDialog->Button1ModalResult = 1;
  skDialog->IconType = skin::TskIconType::skNone;
  skDialog->Position = forms::TPosition::poMainFormCenter;

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
}

TfrmLauncher::~TfrmLauncher() {
  // The thread paints into pb: it goes first.
  binkThread.reset();
  // The program would end here anyway; released so nothing leaks.
  delete soundTimer;
  if (soundSystem) soundSystem->release();
}

// ---- Start-up ---------------------------------------------------------------------

void TfrmLauncher::FormCreate(TObject*) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  programFolder = path;
  programFolder.erase(programFolder.find_last_of('\\') + 1);
  soundEnabled = false;

  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  mediaRead = ReadMediaTrailer(file, &media);
  CloseHandle(file);
  // A plain executable carries no media at all.
  if (!mediaRead) return;

  // Any failure leaves every sound off, silently.
  SoundInfo info;
  FMOD_SOUND* music = nullptr;
  FMOD_SOUND* click = nullptr;
  FMOD_SOUND* hover = nullptr;
  FMOD_CHANNEL* channel = nullptr;
  const bool ok =
      FMOD_System_Create(&soundSystem) == FMOD_OK &&
      FMOD_System_Init(soundSystem, 5, FMOD_INIT_NORMAL, nullptr) == FMOD_OK &&
      FMOD_System_CreateStream(soundSystem, reinterpret_cast<const char*>(media.music.data()), kMusicMode,
                               Info(info, media.music.size()), &music) == FMOD_OK &&
      FMOD_System_PlaySound(soundSystem, FMOD_CHANNEL_FREE, music, 0, &channel) == FMOD_OK &&
      FMOD_Channel_SetPriority(channel, 1) == FMOD_OK &&
      FMOD_System_CreateSound(soundSystem, reinterpret_cast<const char*>(media.click.data()), kSoundMode,
                              Info(info, media.click.size()), &click) == FMOD_OK &&
      FMOD_System_CreateSound(soundSystem, reinterpret_cast<const char*>(media.hover.data()), kSoundMode,
                              Info(info, media.hover.size()), &hover) == FMOD_OK;
  musicSound = static_cast<FMOD::Sound*>(music);
  musicChannel = static_cast<FMOD::Channel*>(channel);
  clickSound = static_cast<FMOD::Sound*>(click);
  hoverSound = static_cast<FMOD::Sound*>(hover);
  soundEnabled = ok;
  if (soundEnabled) {
    // This sound layer mixes (and ends sounds) in update, where the sound
    // library mixes on a thread of its own: without it nothing is heard.
    soundTimer = new forms::TTimer(this);
    soundTimer->SetInterval(20);
    soundTimer->OnTimer = [this](TObject*) { soundSystem->update(); };
  }
}

void TfrmLauncher::FormShow(TObject*) {
  {
    TXmlStorage xml;
    if (!xml.LoadFromFile(programFolder + "launcher.xml")) {
      // Without its texts the window would offer buttons that lead nowhere.
      // Told in the launcher's own message box (caption and OK), as every
      // other error of the launcher is.
      ShowError(xml.ErrorMessage());
      forms::Application->Terminate();
      return;
    }
    if (!ReadTexts(xml)) forms::Application->Terminate();
  }

  HKEY key = nullptr;
  if (!pathRegName.empty() && RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    char value[MAX_PATH] = {};
    DWORD type = 0, size = sizeof value - 1;
    if (RegQueryValueExA(key, pathRegName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      const std::string folder(value, strnlen(value, size));
      // An empty folder is no install: its programs would be looked for
      // in the working folder.
      if (!folder.empty()) installFolder = folder + "\\";
    }
    RegCloseKey(key);
  }

  startAvailable = true;
  resumeAvailable = false;
  if (installFolder.empty() || !ProgramExists(installFolder + exeName)) {
    installed = false;
    btnStart->SetCaption(installText);
    btnSettings->SetEnabled(false);
    if (!ProgramExists(programFolder + "setup.exe")) {
      startAvailable = false;
      btnStart->SetEnabled(false);
    }
  } else {
    installed = true;
    FillLanguageList();
    char documents[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents) == S_OK) {
      savegameFolder = std::string(documents) + "\\" + savegameName + "\\";
    } else {
      savegameFolder = installFolder;
    }
    resumeAvailable = FileExists(savegameFolder + "lastdemo");
    btnResume->SetVisible(resumeAvailable);
  }

  if (!media.video.empty()) {
    binkThread = std::make_unique<TBinkThread>(media.video.data(), media.video.size(), pb);
    if (!binkThread->Opened()) {
      binkThread.reset();
    } else if (resumeVideo) {
      binkThread->Resume();
    }
  }
}

bool TfrmLauncher::ReadTexts(TXmlStorage& xml) {
  if (Narrow(xml.GetName()) != "launcherstr") return false;
  const std::string key = "lang" + std::to_string(GetSystemDefaultLCID() & 0xFF);
  int language = -1;
  for (int i = 0, n = xml.ChildCount(); i < n && language < 0; ++i) {
    if (Narrow(xml.GetChildName(i)) == key) language = i;
  }
  for (int i = 0, n = xml.ChildCount(); i < n && language < 0; ++i) {
    if (Narrow(xml.GetChildName(i)) == "default") language = i;
  }
  // With neither, the root's own children are read as the groups.
  if (language >= 0) xml.GoChild(language);
  for (int i = 0, n = xml.ChildCount(); i < n; ++i) {
    if (!xml.GoChild(i)) continue;
    const std::string group = Narrow(xml.GetName());
    if (group == "msg" || group == "main" || group == "settings") ReadGroup(xml, group);
    xml.GoParent();
  }
  return true;
}

void TfrmLauncher::ReadGroup(TXmlStorage& xml, const std::string& group) {
  for (int i = 0, n = xml.ChildCount(); i < n; ++i) {
    if (!xml.GoChild(i)) continue;
    ApplyKey(group, Narrow(xml.GetName()), Narrow(xml.GetText()));
    xml.GoParent();
  }
}

void TfrmLauncher::ApplyKey(const std::string& group, const std::string& key, const std::string& text) {
  if (group == "main") {
    if (key == "caption") {
      lbCaption->SetCaption(text);
      SetCaption(text);
      forms::Application->Title = text;
    } else if (key == "startgame") {
      btnStart->SetCaption(text);
    } else if (key == "install") {
      installText = text;
    } else if (key == "resumegame") {
      btnResume->SetCaption(text);
    } else if (key == "settings") {
      btnSettings->SetCaption(text);
    } else if (key == "forums") {
      btnForums->SetCaption(text);
    } else if (key == "pathreg") {
      pathRegName = text;
    } else if (key == "exe") {
      exeName = text;
    } else if (key == "savegame") {
      savegameName = text;
    } else if (key == "forum") {
      forumText = text;
    } else if (key == "pubhome") {
      btnPublisher->SetCaption(text);
    } else if (key == "puburl") {
      publisherUrl = text;
    } else if (key == "addinst") {
      btnAddInst->SetCaption(text);
      btnAddInst->SetVisible(true);
      for (skin::TskButton* b : {btnResume, btnStart, btnSettings, btnPublisher, btnForums, btnAddInst}) {
        b->SetTop(b->Top() - 16);
      }
    } else if (key == "addsetup") {
      addSetupName = text;
    }
  } else if (group == "msg") {
    if (key == "csdef") msgDefault = text;
    else if (key == "csos") msgOs = text;
    else if (key == "csdx") msgDirectX = text;
    else if (key == "csdx9") msgDirectX9 = text;
    else if (key == "csgfx") msgGraphics = text;
  } else if (group == "settings") {
    static constexpr std::array<std::string_view, 18> kDialogKeys = {
        "caption", "gblang", "lblang", "deflang", "gbvideo", "lbvres", "lbvperf", "vperf", "lbaa",
        "aa",      "ppl",    "pe",     "shad",    "shfilt",  "gbsound", "sbuf0", "sbuf1", "save"};
    for (std::string_view k : kDialogKeys) {
      if (key == k) ApplySettingsText(frmSettings, k, text);
    }
    if (key == "resrec") resRecommended = text;
    else if (key == "resstd") resStandard = text;
  }
}

void TfrmLauncher::FillLanguageList() {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((installFolder + "resource.9*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name.size() < 2) continue;
    const char a = name[name.size() - 2], b = name[name.size() - 1];
    // The last two characters are the language's number; other names are
    // no language volume.
    if (a < '0' || a > '9' || b < '0' || b > '9') continue;
    const int number = (a - '0') * 10 + (b - '0');
    char language[512] = {};
    GetLocaleInfoA(static_cast<LCID>(number), LOCALE_SLANGUAGE, language, 511);
    std::string text = language;
    text.erase(std::min(text.size(), text.find('(')));
    AddSettingsLanguage(frmSettings, text, number);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// ---- Painting ---------------------------------------------------------------------

void TfrmLauncher::pbClear(TObject*, forms::TCanvas&, bool& stop, const forms::TRect&) { stop = true; }

void TfrmLauncher::pbPaint(TObject*, forms::TCanvas&, bool&, const forms::TRect&) {
  if (binkThread) binkThread->CopyFrame(pb->Bitmap().Handle());
}

// ---- Sounds -----------------------------------------------------------------------

void TfrmLauncher::PlayClickSound() {
  if (soundEnabled && clickSound) soundSystem->playSound(FMOD_CHANNEL_FREE, clickSound, false, nullptr);
}

void TfrmLauncher::PlayHoverSound() {
  if (soundEnabled && hoverSound) soundSystem->playSound(FMOD_CHANNEL_FREE, hoverSound, false, nullptr);
}

void TfrmLauncher::btnResumeMouseEnter(TObject*) { PlayHoverSound(); }

// ---- Buttons ----------------------------------------------------------------------

void TfrmLauncher::ShowError(const std::string& text) {
  skDialog->Text = text;
  skDialog->Execute();
}

bool TfrmLauncher::Open(const std::string& file, const std::string& parameters, const std::string& folder) {
  HINSTANCE result = ShellExecuteA(Handle(), "open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                                   folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(result) > 32) return true;
  ShowError(msgDefault);
  return false;
}

bool TfrmLauncher::CheckSystemRequirements() {
  forms::Screen->Cursor = forms::crHourGlass;
  const int32_t code = CheckSystem();
  forms::Screen->Cursor = forms::crDefault;
  if (code == 0) return true;
  switch (code) {
    case 1: ShowError(msgOs); break;
    case 2: ShowError(msgDirectX); break;
    case 3: ShowError(msgDirectX9); break;
    case 4: ShowError(msgGraphics); break;
    default: ShowError(msgDefault); break;
  }
  return false;
}

void TfrmLauncher::btnStartClick(TObject*) {
  PlayClickSound();
  if (!startAvailable) return;
  if (!installed) {
    if (Open(programFolder + "setup.exe", "", "")) Close();
    return;
  }
  if (!CheckSystemRequirements()) return;
  // A new game: "lastdemo" stays aside until the engine has started, so a
  // failed start loses nothing.
  const std::string lastDemo = savegameFolder + "lastdemo";
  const std::string aside = savegameFolder + kLastDemoAside;
  bool moved = false;
  if (FileExists(lastDemo)) {
    DeleteFileA(aside.c_str());
    moved = MoveFileA(lastDemo.c_str(), aside.c_str()) != FALSE;
    if (!moved) DeleteFileA(lastDemo.c_str());
  }
  if (Open(installFolder + exeName, "n", installFolder)) {
    if (moved) DeleteFileA(aside.c_str());
    Close();
  } else if (moved) {
    MoveFileA(aside.c_str(), lastDemo.c_str());
  }
}

void TfrmLauncher::btnResumeClick(TObject*) {
  if (!installed || !CheckSystemRequirements()) return;
  if (Open(installFolder + exeName, "", installFolder)) Close();
}

void TfrmLauncher::btnSettingsClick(TObject*) {
  PlayClickSound();
  SetButtonsVisible(false);
  if (frmSettings) {
    frmSettings->SetBounds(Left(), Top() + Height() - frmSettings->Height() + 1, Width(), frmSettings->Height());
    frmSettings->ShowModal();
  }
  SetButtonsVisible(true);
}

void TfrmLauncher::SetButtonsVisible(bool show) {
  btnClose->SetVisible(show);
  btnSettings->SetVisible(show);
  btnPublisher->SetVisible(show);
  btnForums->SetVisible(show);
  btnResume->SetVisible(show && resumeAvailable);
  btnStart->SetVisible(show && startAvailable);
  btnAddInst->SetVisible(show && !addSetupName.empty());
}

void TfrmLauncher::btnPublisherClick(TObject*) {
  PlayClickSound();
  ShellExecuteA(Handle(), "open", (kPublisherScheme + publisherUrl).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TfrmLauncher::btnForumsClick(TObject*) {
  PlayClickSound();
  ShellExecuteA(Handle(), "open", (kForumScheme + forumText).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string TfrmLauncher::LocateAddSetup() {
  forms::Screen->Cursor = forms::crHourGlass;
  std::string found;
  if (!addSetupName.empty()) {
    if (installed) {
      for (char drive = 'C'; drive <= 'Z' && found.empty(); ++drive) {
        const std::string path = std::string(1, drive) + ":\\" + addSetupName;
        if (ProgramExists(path)) found = path;
      }
    } else if (ProgramExists(programFolder + addSetupName)) {
      found = programFolder + addSetupName;
    }
  }
  forms::Screen->Cursor = forms::crDefault;
  return found;
}

void TfrmLauncher::btnAddInstClick(TObject*) {
  PlayClickSound();
  const std::string path = LocateAddSetup();
  if (path.empty()) {
    ShowError(msgDefault);
    return;
  }
  // Started in its own folder.
  if (Open(path, "n", path.substr(0, path.find_last_of('\\') + 1))) Close();
}

void TfrmLauncher::btnCloseClick(TObject*) {
  PlayClickSound();
  Close();
}

}  // namespace launcher
