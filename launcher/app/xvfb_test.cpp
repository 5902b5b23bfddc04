// The real launcher on an X server (run under xvfb-run by ctest): its
// window on the screen equals the headless picture of the same window, a
// click through XTest on Settings shows the dialog as its headless picture
// (its own pixels: without a compositor the alpha is not applied), and a
// click on Save closes it and leaves the values in the registry file.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_dialog.h"
#include "launcher/app/settings_link.h"
#include "platform/forms/appevnts.h"
#include "platform/win32/presenter.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/media_trailer_writer.h"
#include "tools/video_writer.h"

// Last: the X headers define words (None, Bool, Status) as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

// What the X libraries keep until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libX11\nleak:libxcb\nleak:libXext\n"; }

namespace launcher {
namespace {

namespace pt = platform::testing;
namespace fs = std::filesystem;
using forms::Application;

constexpr const char* kXml = R"(<?xml version="1.0"?>
<launcherstr><default>
  <main><caption>Kestrelmoor</caption><pathreg>InstallPath</pathreg><exe>tarvel30x.exe</exe>
    <savegame>Kestrelmoor</savegame><startgame>Start</startgame><settings>Settings</settings></main>
  <settings><caption>Settings</caption><deflang>System language</deflang>
    <vperf>Highest</vperf><vperf>High</vperf><vperf>Medium</vperf><vperf>Low</vperf><vperf>Custom</vperf>
    <aa>Off</aa><aa>2x</aa><aa>4x</aa><resrec>Recommended</resrec><resstd>Standard</resstd></settings>
</default></launcherstr>
)";

struct Shown {
  int x = 0, y = 0;
  pt::Picture picture;
  std::vector<bool> inside;  // the window's region (all when it has none)
};

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

  pt::Picture Screen(int x, int y, int w, int h) {
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
  // Whether the screen shows `want` (inside its region), polled for up to
  // 30 s of real time while the launcher gets there; the last screenshot is
  // saved beside the test either way.
  ::testing::AssertionResult ScreenShows(const Shown& want, const std::string& name) {
    pt::Picture shot;
    int differ = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      shot = Screen(want.x, want.y, want.picture.width, want.picture.height);
      differ = 0;
      for (size_t i = 0; i < shot.pixels.size() && i < want.picture.pixels.size(); ++i) {
        if (want.inside[i] && shot.pixels[i] != want.picture.pixels[i]) ++differ;
      }
      if (!shot.pixels.empty() && differ == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    pt::SavePng(shot, std::string(TARVEL_GOLDEN_OUT) + "/xvfb_" + name + ".png");
    if (!shot.pixels.empty() && differ == 0) return ::testing::AssertionSuccess();
    pt::SavePng(want.picture, std::string(TARVEL_GOLDEN_OUT) + "/xvfb_" + name + ".headless.png");
    // Where the windows are, to tell a misplaced window from a wrong picture.
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
  void Click(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XFlush(display_);
  }
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XFlush(display_);
  }
  static Shown Of(forms::TCustomForm* form) {
    Shown s;
    s.x = form->Left();
    s.y = form->Top();
    s.picture = pt::WindowPixels(form->Handle());
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const bool shaped = GetWindowRgn(form->Handle(), region) != RGN_ERROR;
    for (int y = 0; y < s.picture.height; ++y)
      for (int x = 0; x < s.picture.width; ++x) s.inside.push_back(!shaped || platform::RegionHolds(region, x, y));
    DeleteObject(region);
    return s;
  }

  Display* display_ = nullptr;
  pid_t child_ = 0;
};

TEST_F(LauncherXvfbTest, RealWindowsEqualTheHeadlessPictures) {
  const std::string prog = root_ + "/prog", install = root_ + "/drives/c/Game";
  fs::create_directories(prog);
  fs::create_directories(install);
  pt::WriteText(install + "/tarvel30x", "engine");
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

  // The headless pictures of the same program, in this process.
  pt::SetProgramPath(prog + "/launcher");
  pt::TakeClock(10000);
  Application->Reset();
  auto* form = Application->CreateForm<TfrmLauncher>();
  form->resumeVideo = false;
  auto* dialog = static_cast<TfrmSettings*>(CreateSettingsForm(form));
  form->frmSettings = dialog;
  form->Show();
  Application->ProcessMessages();
  ASSERT_NE(form->binkThread, nullptr);
  ASSERT_TRUE(form->binkThread->Step());
  Application->ProcessMessages();
  const Shown window = Of(form);
  Shown settings;
  forms::TApplicationEvents events(nullptr);
  events.OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message != WM_USER + 79) return;
    handled = true;
    settings = Of(dialog);
    dialog->Close();
  };
  Application->HookMessages(&events);
  pt::InjectMessage(WM_USER + 79, 0, 0, timeGetTime() + 100);
  form->btnSettingsClick(nullptr);
  Application->UnhookMessages(&events);
  ASSERT_GT(settings.picture.width, 0);
  const forms::TRect settingsButton = form->btnSettings->BoundsRect();
  const forms::TRect saveButton = dialog->btnSave->BoundsRect();
  delete dialog;
  delete form;
  Application->Reset();
  pt::ReleaseClock();
  pt::SetProgramPath("");

  // The real one, on the X server's screen.
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

  EXPECT_TRUE(ScreenShows(window, "launcher"));
  Click(window.x + settingsButton.Left + 80, window.y + settingsButton.Top + 13);
  // The pointer rests where no control of the dialog reacts to it.
  MoveTo(settings.x + 300, settings.y + 296);
  EXPECT_TRUE(ScreenShows(settings, "settings"));
  Click(settings.x + saveButton.Left + 80, settings.y + saveButton.Top + 13);
  std::string saved;
  for (int attempt = 0; attempt < 300 && saved.find("\"SoundBuffer\"") == std::string::npos; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    saved = pt::ReadText(root_ + "/registry/HKEY_CURRENT_USER.reg");
  }
  EXPECT_NE(saved.find("\"ScreenRes\"=dword:04000300"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"SoundBuffer\"=dword:00000002"), std::string::npos) << saved;

  // Closed with its close button, the program ends cleanly.
  Click(window.x + 376 + 12, window.y + 8);
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

}  // namespace
}  // namespace launcher
