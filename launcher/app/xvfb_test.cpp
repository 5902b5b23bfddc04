// The real launcher on an X server (run under xvfb-run by ctest, on a
// screen larger than the headless desktop): the same clicks and keys are
// given first to the launcher in this process, whose pictures are the
// goldens (each window's own pixels: without a compositor the alpha is not
// applied), then through XTest to the real program, whose screen must show
// them. A first run without the settings key: every list of the settings
// dialog opened with the mouse and with the keyboard, every preset, a save,
// the dialog again with the key, and a message box.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_dialog.h"
#include "launcher/app/settings_link.h"
#include "launcher/skin/golden.h"
#include "launcher/skin/sk_titlebar.h"
#include "platform/display_sdl/display_sdl.h"
#include "platform/forms/appevnts.h"
#include "platform/win32/presenter.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/media_trailer_writer.h"
#include "tools/video_writer.h"

// Last: the X headers define words (None, Bool, Status) as macros.
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// What the X libraries keep until the process ends.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libX11\nleak:libxcb\nleak:libXext\nleak:libSDL2\nleak:libdbus\n";
}

namespace launcher {
namespace {

namespace pt = platform::testing;
namespace fs = std::filesystem;
using forms::Application;

constexpr const char* kXml = R"(<?xml version="1.0"?>
<launcherstr><default>
  <main><caption>Kestrelmoor</caption><pathreg>InstallPath</pathreg><exe>tarvel30x.exe</exe>
    <savegame>Kestrelmoor</savegame><startgame>Start</startgame><settings>Settings</settings>
    <addinst>Add-on</addinst><addsetup>addon.exe</addsetup></main>
  <msg><csdef>The add-on was not found.</csdef></msg>
  <settings><caption>Settings</caption><deflang>System language</deflang>
    <vperf>Highest</vperf><vperf>High</vperf><vperf>Medium</vperf><vperf>Low</vperf><vperf>Custom</vperf>
    <aa>Off</aa><aa>2x</aa><aa>4x</aa><sbuf0>Sound buffer size:</sbuf0><sbuf1>(Keep as low as possible)</sbuf1>
    <resrec>recommended</resrec><resstd>standard</resstd></settings>
</default></launcherstr>
)";

struct Shown {
  int x = 0, y = 0;
  pt::Picture picture;
  std::vector<bool> inside;  // pixels of a window (the rest is the desktop's)
};

// One step of the walk: done in this process first, then replayed on the
// real program. Positions are the screen's of this process.
struct Step {
  enum Kind { Move, Click, Key, Shot } kind = Move;
  int x = 0, y = 0;
  WPARAM key = 0;
  std::string name;
  Shown want;
};

Step MakeStep(Step::Kind kind, int x = 0, int y = 0, WPARAM key = 0) {
  Step step;
  step.kind = kind;
  step.x = x;
  step.y = y;
  step.key = key;
  return step;
}

// The headless screen as the X server shows it: every visible top-level
// window's own pixels in their order, bottom first.
Shown Screen() {
  std::vector<platform::TopLevelWindowInfo> shown;
  int x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
  for (HWND h : platform::TopLevelWindowsInZOrder()) {
    platform::TopLevelWindowInfo info;
    if (!platform::GetTopLevelWindowInfo(h, &info) || !info.visible || !info.pixels) continue;
    x0 = std::min(x0, info.x), y0 = std::min(y0, info.y);
    x1 = std::max(x1, info.x + info.width), y1 = std::max(y1, info.y + info.height);
    shown.push_back(info);
  }
  Shown s;
  if (shown.empty()) return s;
  s.x = x0;
  s.y = y0;
  s.picture.width = x1 - x0;
  s.picture.height = y1 - y0;
  const size_t count = static_cast<size_t>(s.picture.width) * static_cast<size_t>(s.picture.height);
  s.picture.pixels.assign(count, 0);
  s.inside.assign(count, false);
  for (const platform::TopLevelWindowInfo& w : shown) {
    for (int y = 0; y < w.height; ++y) {
      for (int x = 0; x < w.width; ++x) {
        if (w.region && !platform::RegionHolds(w.region, x, y)) continue;
        const size_t at = static_cast<size_t>(w.y - y0 + y) * static_cast<size_t>(s.picture.width) + (w.x - x0 + x);
        s.picture.pixels[at] = w.pixels[static_cast<size_t>(y) * static_cast<size_t>(w.width) + x] & 0xFFFFFF;
        s.inside[at] = true;
      }
    }
  }
  return s;
}

class LauncherXvfbTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr) << "no X display: run under xvfb-run";
    int event, error, major, minor;
    ASSERT_TRUE(XTestQueryExtension(display_, &event, &error, &major, &minor));
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (display_) XCloseDisplay(display_);
    Application->Reset();
    pt::SetProgramPath("");
    PlatformTest::TearDown();
  }

  // ---- This process ----
  static void Settle() {
    for (int i = 0; i < 3; ++i) Application->ProcessMessages();
  }
  // Where injected positions are counted from: the window with the
  // capture, else the active one.
  static POINT InputOrigin() {
    HWND target = GetCapture();
    while (target && GetParent(target)) target = GetParent(target);
    if (!target) target = GetActiveWindow();
    POINT origin{0, 0};
    ClientToScreen(target, &origin);
    return origin;
  }
  void DoMove(int x, int y) {
    steps_.push_back(MakeStep(Step::Move, x, y));
    const POINT o = InputOrigin();
    pt::InjectMouseMove(x - o.x, y - o.y);
    Settle();
  }
  // Recorded only: the caller does in this process what the click does.
  void RecordClick(forms::TControl* control) {
    const forms::TPoint c = control->ClientToScreen(forms::Point(control->Width() / 2, control->Height() / 2));
    steps_.push_back(MakeStep(Step::Click, c.X, c.Y));
  }
  void DoClickAt(int x, int y) {
    steps_.push_back(MakeStep(Step::Click, x, y));
    const POINT o = InputOrigin();
    pt::InjectMouseMove(x - o.x, y - o.y);
    pt::InjectClick(pt::Button::Left, x - o.x, y - o.y);
    Settle();
  }
  void DoClick(forms::TControl* control) {
    const forms::TPoint c = control->ClientToScreen(forms::Point(control->Width() / 2, control->Height() / 2));
    DoClickAt(c.X, c.Y);
  }
  // An item of a dropped-down list.
  void DoClickItem(forms::TCustomComboBox* box, int index) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(box->Handle(), &info));
    ASSERT_NE(info.hwndList, nullptr) << "the list is not down";
    RECT r;
    GetWindowRect(info.hwndList, &r);
    // Near the list's right end: off the save button, whose hover would
    // follow only the headless pointer once the list is gone.
    DoClickAt(r.right - 12, r.top + 1 + index * box->ItemHeight() + box->ItemHeight() / 2);
  }
  void DoKey(WPARAM key) {
    steps_.push_back(MakeStep(Step::Key, 0, 0, key));
    pt::InjectKey(key);
    Settle();
  }
  // A picture the real screen must show; a golden one when named so.
  void DoShot(const std::string& name, bool golden) {
    Settle();
    Step step = MakeStep(Step::Shot);
    step.name = name;
    step.want = Screen();
    ASSERT_GT(step.want.picture.width, 0);
    if (golden) EXPECT_TRUE(skin::testing::MatchesGolden(step.want.picture, "xvfb_" + name));
    steps_.push_back(std::move(step));
  }

  // ---- The real program ----
  pt::Picture Grab(int x, int y, int w, int h) {
    pt::Picture p;
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!image) return p;
    p.width = w;
    p.height = h;
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) p.pixels.push_back(static_cast<uint32_t>(XGetPixel(image, i, j)) & 0xFFFFFF);
    XDestroyImage(image);
    return p;
  }
  // Whether the screen shows `want` at its place moved by (dx, dy), polled
  // for up to 20 s of real time; the last screenshot is kept beside the
  // test either way.
  ::testing::AssertionResult ScreenShows(const Shown& want, int dx, int dy, const std::string& name) {
    pt::Picture shot;
    int differ = 0;
    for (int attempt = 0; attempt < 200; ++attempt) {
      shot = Grab(want.x + dx, want.y + dy, want.picture.width, want.picture.height);
      differ = 0;
      for (size_t i = 0; i < shot.pixels.size() && i < want.picture.pixels.size(); ++i) {
        if (want.inside[i] && shot.pixels[i] != want.picture.pixels[i]) ++differ;
      }
      if (!shot.pixels.empty() && differ == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    pt::SavePng(shot, std::string(TARVEL_GOLDEN_OUT) + "/xvfb_" + name + ".screen.png");
    if (!shot.pixels.empty() && differ == 0) return ::testing::AssertionSuccess();
    pt::SavePng(want.picture, std::string(TARVEL_GOLDEN_OUT) + "/xvfb_" + name + ".headless.png");
    std::string windows;
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, children[i], &a)) continue;
        windows += " (" + std::to_string(a.x) + "," + std::to_string(a.y) + " " + std::to_string(a.width) + "x" +
                   std::to_string(a.height) + (a.map_state == IsViewable ? " shown)" : " hidden)");
      }
      XFree(children);
    }
    return ::testing::AssertionFailure() << name << ": " << differ << " pixels differ from the headless picture;"
                                         << " windows:" << windows;
  }
  void RealMove(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XFlush(display_);
  }
  void RealClick(int x, int y) {
    RealMove(x, y);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XFlush(display_);
  }
  void RealKey(WPARAM key) {
    KeySym sym = NoSymbol;
    switch (key) {
      case VK_F4: sym = XK_F4; break;
      case VK_UP: sym = XK_Up; break;
      case VK_DOWN: sym = XK_Down; break;
      case VK_RETURN: sym = XK_Return; break;
      case VK_ESCAPE: sym = XK_Escape; break;
      default: break;
    }
    ASSERT_NE(sym, static_cast<KeySym>(NoSymbol)) << key;
    const KeyCode code = XKeysymToKeycode(display_, sym);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
  }

  Display* display_ = nullptr;
  pid_t child_ = 0;
  std::vector<Step> steps_;
};

TEST_F(LauncherXvfbTest, ClickedThroughAsAPlayerWouldOnALargerScreen) {
  const std::string prog = root_ + "/prog", install = root_ + "/drives/c/Game";
  fs::create_directories(prog);
  fs::create_directories(install);
  pt::WriteText(install + "/tarvel30x", "engine");
  pt::WriteText(install + "/resource.907", "volume");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, &key), ERROR_SUCCESS);
  const char folder[] = "C:\\Game";
  RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder);
  RegCloseKey(key);
  // The real launcher with a video of one frame: the picture stands still.
  testkit::VideoSpec recipe;
  recipe.width = recipe.height = 400;
  recipe.frames = 1;
  recipe.paint = [](int, testkit::Picture& p) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) p.Set(x, y, x * 255 / p.width, y * 255 / p.height, 96, 255);
  };
  testkit::MediaTrailer media;
  media.video = testkit::BuildVideo(recipe);
  testkit::Bytes program;
  ASSERT_TRUE(testkit::ReadFileBytes(TARVEL_LAUNCHER_PATH, &program));
  ASSERT_TRUE(testkit::WriteFileBytes(prog + "/launcher", testkit::AppendMediaTrailer(program, media)));
  fs::permissions(prog + "/launcher", fs::perms::owner_all);
  pt::WriteText(prog + "/launcher.xml", kXml);
  pt::SetSetting("shell.record", "1");

  // ---- The walk in this process, on the headless 1024 x 768 desktop ----
  pt::SetProgramPath(prog + "/launcher");
  pt::TakeClock(10000);
  Application->Reset();
  auto* form = Application->CreateForm<TfrmLauncher>();
  form->resumeVideo = false;
  auto* dialog = static_cast<TfrmSettings*>(CreateSettingsForm(form));
  form->frmSettings = dialog;
  form->Show();
  Settle();
  ASSERT_NE(form->binkThread, nullptr);
  ASSERT_TRUE(form->binkThread->Step());
  Settle();
  const POINT headlessLauncher{form->Left(), form->Top()};
  EXPECT_EQ(headlessLauncher.x, (1024 - 400) / 2);
  // What the settings button does, without its modal loop.
  auto openSettings = [&] {
    RecordClick(form->btnSettings);
    form->SetButtonsVisible(false);
    dialog->SetBounds(form->Left(), form->Top() + form->Height() - dialog->Height() + 1, form->Width(),
                      dialog->Height());
    dialog->Show();
    Settle();
  };
  auto saveSettings = [&](const std::string& name) {
    DoClick(dialog->btnSave);
    ASSERT_EQ(dialog->ModalResult(), forms::mrOk);
    dialog->Hide();
    ShowWindow(form->Handle(), SW_SHOW);  // active again, as after the modal loop
    form->SetButtonsVisible(true);
    // The launcher with its buttons again, before the next click.
    DoShot(name, false);
  };
  // Where the pointer rests: off every window, and on the dialog where no
  // control reacts to it.
  DoMove(5, 5);
  DoShot("launcher", true);
  HKEY settingsKey = nullptr;
  ASSERT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &settingsKey), ERROR_SUCCESS);
  openSettings();
  const int restX = dialog->Left() + 300, restY = dialog->Top() + 296;
  DoMove(restX, restY);
  DoShot("settings_first", true);

  // Each list with the mouse (a golden picture) and with the keyboard.
  struct List {
    skin::TskComboBox* box;
    const char* name;
    int clicked;
  };
  for (const List& list : {List{dialog->cbLang, "lang", 1}, List{dialog->cbVideoRes, "res", 1}}) {
    DoClick(list.box);
    DoShot(std::string("list_") + list.name, true);
    DoClickItem(list.box, list.clicked);
    EXPECT_EQ(list.box->ItemIndex(), list.clicked);
    DoKey(VK_F4);
    DoShot(std::string("list_") + list.name + "_keys", false);
    EXPECT_TRUE(list.box->DroppedDown());
    DoKey(VK_UP);
    DoKey(VK_RETURN);
    EXPECT_EQ(list.box->ItemIndex(), list.clicked - 1);
    // Closed before the next click, which the list would take.
    DoShot(std::string("list_") + list.name + "_chosen", false);
  }
  // Every preset: the first four with the mouse, the custom one by keys.
  for (int preset = 0; preset < 4; ++preset) {
    DoClick(dialog->cbVideoP);
    if (preset == 0) DoShot("list_perf", true);
    DoClickItem(dialog->cbVideoP, preset);
    DoMove(restX, restY);
    DoShot("preset_" + std::to_string(preset), true);
  }
  DoKey(VK_F4);
  DoShot("list_perf_keys", false);
  DoKey(VK_DOWN);
  DoKey(VK_RETURN);
  ASSERT_EQ(dialog->cbVideoP->ItemIndex(), 4);
  DoShot("preset_4", true);
  // The custom controls now take input.
  DoClick(dialog->cbAA);
  DoShot("list_aa", true);
  DoClickItem(dialog->cbAA, 2);
  DoKey(VK_F4);
  DoShot("list_aa_keys", false);
  DoKey(VK_UP);
  DoKey(VK_RETURN);
  DoShot("list_aa_chosen", false);
  DoClick(dialog->cbPE);
  DoClick(dialog->cbSoundBuffer);
  DoShot("list_sound", true);
  DoClickItem(dialog->cbSoundBuffer, 2);
  DoKey(VK_F4);
  DoShot("list_sound_keys", false);
  DoKey(VK_DOWN);
  DoKey(VK_RETURN);
  DoMove(restX, restY);
  DoShot("settings_chosen", true);
  saveSettings("saved_first");
  // Opened again, from the key the save made.
  openSettings();
  DoMove(restX, restY);
  DoShot("settings_saved", true);
  EXPECT_EQ(dialog->cbVideoP->ItemIndex(), 4);
  EXPECT_EQ(dialog->cbSoundBuffer->ItemIndex(), 3);
  saveSettings("saved_again");
  // A message box: the add-on is on no drive.
  forms::TApplicationEvents events(nullptr);
  events.OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message != WM_USER + 81) return;
    handled = true;
    // Onto the box's text, off the button that opened it: that button's
    // hover would otherwise show on the screen or not by the timing alone.
    RECT box;
    GetWindowRect(GetActiveWindow(), &box);
    DoMove((box.left + box.right) / 2, box.top + 40);
    DoShot("msgbox", true);
    steps_.push_back(MakeStep(Step::Key, 0, 0, VK_RETURN));
    pt::InjectKey(VK_RETURN);
  };
  Application->HookMessages(&events);
  pt::InjectMessage(WM_USER + 81, 0, 0, timeGetTime() + 200);
  DoClick(form->btnAddInst);
  Application->UnhookMessages(&events);
  ASSERT_EQ(steps_.back().kind, Step::Key);
  RecordClick(form->btnClose);
  delete dialog;
  delete form;
  Application->Reset();
  pt::ReleaseClock();
  pt::SetProgramPath("");
  // The real program starts without the settings key, as this one did.
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey), ERROR_SUCCESS);

  // ---- The real program, on the X server's larger screen ----
  const int screenW = DisplayWidth(display_, DefaultScreen(display_));
  const int screenH = DisplayHeight(display_, DefaultScreen(display_));
  ASSERT_GT(screenW, 1024) << "the X screen must be larger than the headless desktop";
  // Centred on the real screen: every window moves by the same amount.
  const int dx = (screenW - 400) / 2 - headlessLauncher.x, dy = (screenH - 400) / 2 - headlessLauncher.y;
  const std::string bin = fs::path(TARVEL_LAUNCHER_PATH).parent_path().string();
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string v = *e;
    if (v.rfind("SDL_VIDEODRIVER=", 0) != 0 && v.rfind("LSAN_OPTIONS=", 0) != 0) env.push_back(v);
  }
  env.push_back("LD_LIBRARY_PATH=" + bin);
  env.push_back(std::string("LSAN_OPTIONS=suppressions=") + TARVEL_LSAN_SUPPRESSIONS);
  std::vector<char*> envp;
  for (std::string& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  const std::string path = prog + "/launcher";
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  ASSERT_EQ(posix_spawn(&child_, path.c_str(), nullptr, nullptr, argv, envp.data()), 0);

  for (const Step& step : steps_) {
    switch (step.kind) {
      case Step::Move: RealMove(step.x + dx, step.y + dy); break;
      case Step::Click: RealClick(step.x + dx, step.y + dy); break;
      case Step::Key: RealKey(step.key); break;
      case Step::Shot: ASSERT_TRUE(ScreenShows(step.want, dx, dy, step.name)); break;
    }
  }
  std::string saved = pt::ReadText(root_ + "/registry/HKEY_CURRENT_USER.reg");
  EXPECT_NE(saved.find("\"Performance\"=dword:00000004"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"Antialiasing\"=dword:00000002"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"PostEffects\"=dword:00000001"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"Shadows\"=dword:00000000"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"SoundBuffer\"=dword:00000005"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("\"Language\""), std::string::npos) << saved;

  int status = -1;
  for (int attempt = 0; attempt < 300; ++attempt) {
    if (waitpid(child_, &status, WNOHANG) == child_) {
      child_ = 0;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(child_, 0) << "the launcher did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A window manager's answer to a request: an error means another client
// (the window manager) holds the root's redirection.
int g_xError = 0;
int KeepXError(Display*, XErrorEvent* e) {
  g_xError = e->error_code;
  return 0;
}

// Under a real window manager (twm): the minimise button of a skinned main
// form iconifies its X window, the application's other window goes too, and
// both come back when the window manager restores it and when the program
// does; it minimises again each time. Only the main window asks for a
// taskbar entry.
TEST_F(LauncherXvfbTest, MinimiseButtonIconifiesUnderAWindowManager) {
  if (access("/usr/bin/twm", X_OK) != 0) GTEST_SKIP() << "no twm: scripts/install-deps installs it";
  // Windows where they ask to be, without title bars.
  const std::string rc = root_ + "/twmrc";
  // The server's built-in font: twm ends when its fonts are missing.
  pt::WriteText(rc,
                "NoTitle\nRandomPlacement\nUsePPosition \"on\"\nBorderWidth 0\nNoGrabServer\n"
                "TitleFont \"fixed\"\nMenuFont \"fixed\"\nIconFont \"fixed\"\nResizeFont \"fixed\"\n"
                "IconManagerFont \"fixed\"\n");
  pid_t wm = 0;
  char twm[] = "/usr/bin/twm", f[] = "-f";
  std::string rcArg = rc;
  char* wmArgv[] = {twm, f, rcArg.data(), nullptr};
  // Quiet: it warns of every character set the built-in font lacks.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawn(&wm, twm, &quiet, nullptr, wmArgv, environ);
  posix_spawn_file_actions_destroy(&quiet);
  ASSERT_EQ(spawned, 0);
  struct Reap {
    pid_t pid;
    ~Reap() {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  } reap{wm};
  // Running once the root's redirection is taken.
  XErrorHandler previous = XSetErrorHandler(KeepXError);
  bool running = false;
  for (int attempt = 0; attempt < 200 && !running; ++attempt) {
    g_xError = 0;
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureRedirectMask);
    XSync(display_, False);
    running = g_xError == BadAccess;
    if (!running) {
      XSelectInput(display_, DefaultRootWindow(display_), NoEventMask);
      XSync(display_, False);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  XSetErrorHandler(previous);
  ASSERT_TRUE(running) << "twm did not start";

  // This process shows its windows on the X server.
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  const std::string oldDriver = driver ? driver : "";
  setenv("SDL_VIDEODRIVER", "x11", 1);
  // Whatever ends the test: the forms go before the program's end (the
  // application would free the main form after the screen's list), the
  // display closes, the driver is as it was.
  struct Cleanup {
    std::string driver;
    forms::TForm* forms[2] = {nullptr, nullptr};
    ~Cleanup() {
      for (forms::TForm* f : forms) delete f;
      Application->Reset();
      platform::display::Stop();
      if (driver.empty()) {
        unsetenv("SDL_VIDEODRIVER");
      } else {
        setenv("SDL_VIDEODRIVER", driver.c_str(), 1);
      }
    }
  } cleanup{oldDriver};
  std::string error;
  ASSERT_TRUE(platform::display::Start(&error)) << error;
  Application->Reset();
  auto* main = Application->CreateForm<forms::TForm>();
  cleanup.forms[1] = main;
  main->BorderStyle = forms::TFormBorderStyle::bsNone;
  main->SetBounds(100, 100, 300, 140);
  auto* bar = new skin::TskTitleBar(main);
  bar->SetParent(main);
  bar->SetUIStyle(skin::TskUIStyle::Ocean);
  auto* other = new forms::TForm(nullptr);
  cleanup.forms[0] = other;
  other->BorderStyle = forms::TFormBorderStyle::bsNone;
  other->SetBounds(500, 100, 120, 80);
  other->Show();
  main->Show();

  auto xWindow = [](forms::TCustomForm* form) -> Window {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_Window* w = platform::display::WindowOf(form->Handle());
    return w && SDL_GetWindowWMInfo(w, &info) ? info.info.x11.window : 0;
  };
  auto viewable = [&](Window w) {
    XWindowAttributes a;
    return w && XGetWindowAttributes(display_, w, &a) && a.map_state == IsViewable;
  };
  const Atom wmState = XInternAtom(display_, "WM_STATE", False);
  auto iconic = [&](Window w) {
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool yes = false;
    if (XGetWindowProperty(display_, w, wmState, 0, 2, False, wmState, &type, &format, &count, &after, &data) ==
            Success &&
        data && format == 32 && count >= 1) {
      yes = reinterpret_cast<unsigned long*>(data)[0] == IconicState;
    }
    if (data) XFree(data);
    return yes;
  };
  // Handles messages until the condition holds (20 s of real time at most).
  auto await = [&](const std::function<bool()>& done) {
    for (int i = 0; i < 400; ++i) {
      while (Application->ProcessMessage()) {
      }
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  };
  Window mainX = 0, otherX = 0;
  ASSERT_TRUE(await([&] {
    mainX = xWindow(main), otherX = xWindow(other);
    return viewable(mainX) && viewable(otherX);
  }));
  const Atom netState = XInternAtom(display_, "_NET_WM_STATE", False);
  const Atom skip = XInternAtom(display_, "_NET_WM_STATE_SKIP_TASKBAR", False);
  auto skipsTaskbar = [&](Window w) {
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool yes = false;
    if (XGetWindowProperty(display_, w, netState, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data && format == 32) {
      for (unsigned long i = 0; i < count; ++i) yes |= reinterpret_cast<Atom*>(data)[i] == skip;
    }
    if (data) XFree(data);
    return yes;
  };
  EXPECT_FALSE(skipsTaskbar(mainX));
  EXPECT_TRUE(skipsTaskbar(otherX));

  auto clickMinimise = [&] {
    forms::TRect r;
    for (int i = 0; i < bar->ButtonCount(); ++i) {
      if (bar->Buttons(i)->ButtonType() == skin::TskTitleBarBtnType::skMin) r = bar->ButtonRect(i);
    }
    const forms::TPoint c = bar->ClientToScreen(forms::Point(r.Left + r.Width() / 2, r.Top + r.Height() / 2));
    RECT origin;
    GetWindowRect(main->Handle(), &origin);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display_, mainX, DefaultRootWindow(display_), c.X - origin.left, c.Y - origin.top, &x, &y,
                          &child);
    RealClick(x, y);
  };
  auto minimised = [&] {
    return iconic(mainX) && !viewable(mainX) && !viewable(otherX) && Application->Minimized() &&
           IsIconic(main->Handle());
  };
  auto restored = [&] {
    return !iconic(mainX) && viewable(mainX) && viewable(otherX) && !Application->Minimized() &&
           !IsIconic(main->Handle());
  };
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    clickMinimise();
    ASSERT_TRUE(await(minimised)) << "iconic " << iconic(mainX) << ", main shown " << viewable(mainX)
                                  << ", other shown " << viewable(otherX);
    if (round == 1) {
      Application->Restore();
    } else {
      // Restored by the window manager, as from its icon.
      XMapRaised(display_, mainX);
      XFlush(display_);
    }
    ASSERT_TRUE(await(restored)) << "iconic " << iconic(mainX) << ", main shown " << viewable(mainX)
                                 << ", other shown " << viewable(otherX);
    // The bar settles (the pointer leaves its button) before the next click.
    RealMove(0, 0);
  }
}

}  // namespace
}  // namespace launcher
