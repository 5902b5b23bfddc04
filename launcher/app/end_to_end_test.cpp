// From the launcher to the engine: the headless launcher saves settings in
// its dialog and starts the real tarvel30x of this build with "n" in a
// temporary install of the sample game; the engine's reports show that it
// took the saved resolution, anti-aliasing and sound buffer.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_dialog.h"
#include "launcher/app/settings_link.h"
#include "platform/d3d9/testing.h"
#include "platform/forms/appevnts.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/archive_writer.h"

namespace launcher {
namespace {

namespace pt = platform::testing;
namespace fs = std::filesystem;
using forms::Application;

constexpr const char* kXml = R"(<?xml version="1.0"?>
<launcherstr><default>
  <main><pathreg>InstallPath</pathreg><exe>tarvel30x.exe</exe><savegame>Kestrelmoor</savegame></main>
  <settings><deflang>System language</deflang>
    <vperf>Highest</vperf><vperf>High</vperf><vperf>Medium</vperf><vperf>Low</vperf><vperf>Custom</vperf>
    <aa>Off</aa><aa>2x</aa><aa>4x</aa></settings>
</default></launcherstr>
)";

// Waits, at most two minutes of real time, until the child ends or
// `enough` holds; then it is ended. Whether it ended by itself.
bool Await(pid_t pid, const std::function<bool()>& enough) {
  for (int i = 0; i < 1200; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
    if (enough()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

class EndToEndTest : public pt::PlatformTest {};

TEST_F(EndToEndTest, SavedSettingsReachTheEngineTheLauncherStarts) {
  const std::string prog = root_ + "/prog", install = root_ + "/drives/c/Game";
  fs::create_directories(prog);
  fs::create_directories(install);
  std::string error;
  ASSERT_TRUE(testkit::PackFolder(TARVEL_GAME_STAGING_DIR, install, &error)) << error;
  // Through the link the loader still finds the libraries beside the real program.
  fs::create_symlink(TARVEL_ENGINE_PATH, install + "/tarvel30x");
  pt::WriteText(prog + "/launcher", "program");
  pt::WriteText(prog + "/launcher.xml", kXml);
  pt::SetProgramPath(prog + "/launcher");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, &key), ERROR_SUCCESS);
  const char folder[] = "C:\\Game";
  RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder);
  RegCloseKey(key);
  pt::TakeClock(10000);
  pt::SetSetting("forms.display", "headless");
  pt::SetSetting("shell.record", "1");
  pt::SetSetting("shell.start", "1");
  pt::SetSetting("d3d9.report", work_ + "/d3d9.report");
  pt::SetSetting("fmod.report", work_ + "/fmod.report");

  Application->Reset();
  auto* form = Application->CreateForm<TfrmLauncher>();
  form->resumeVideo = false;
  auto* dialog = static_cast<TfrmSettings*>(CreateSettingsForm(form));
  form->frmSettings = dialog;
  form->Show();
  Application->ProcessMessages();
  ASSERT_TRUE(form->installed);

  // In the dialog, once shown: 1280 x 1024, the custom preset with 4x, 100 ms.
  forms::TApplicationEvents events(nullptr);
  events.OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message != WM_USER + 78) return;
    handled = true;
    auto& modes = dialog->cbVideoRes->Items();
    for (int i = 0; i < modes.Count(); ++i) {
      if (static_cast<uint32_t>(modes.Objects(i)) == 0x05000400) dialog->cbVideoRes->SetItemIndex(i);
    }
    dialog->cbVideoP->SetItemIndex(4);
    dialog->cbVideoPChange(dialog->cbVideoP);
    dialog->cbAA->SetItemIndex(2);
    dialog->cbSoundBuffer->SetItemIndex(2);
    dialog->btnSave->Click();
  };
  Application->HookMessages(&events);
  pt::InjectMessage(WM_USER + 78, 0, 0, timeGetTime() + 50);
  form->btnSettingsClick(nullptr);
  Application->UnhookMessages(&events);
  EXPECT_EQ(dialog->ModalResult(), forms::mrOk);
  EXPECT_NE(pt::ReadText(root_ + "/registry/HKEY_CURRENT_USER.reg").find("\"ScreenRes\"=dword:05000400"),
            std::string::npos);

  // The engine's loop never waits, so its time would stand still on the
  // test clock: it runs on its own. (Closed, it would stay in its loop of an
  // inactive window: it is ended once it has set up its device and sound.)
  pt::ReleaseClock();
  form->btnStartClick(nullptr);
  const auto starts = pt::ShellStarts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].parameters, "n");
  EXPECT_EQ(starts[0].directory, "C:\\Game\\");
  ASSERT_GT(starts[0].pid, 0);
  Await(starts[0].pid, [&] {
    return pt::ReadText(install + "/tarvel.log").find("Initializing gameplay") != std::string::npos;
  });
  EXPECT_NE(pt::ReadText(install + "/tarvel.log").find("Screen resolution is 1280 x 1024."), std::string::npos)
      << pt::ReadText(install + "/tarvel.log");
  const std::string d3d9 = pt::ReadText(work_ + "/d3d9.report");
  EXPECT_NE(d3d9.find("tarvel30x: CreateDevice 1280x1024 "), std::string::npos) << d3d9;
  EXPECT_NE(d3d9.find(" multisample=4 "), std::string::npos) << d3d9;
  const std::string fmod = pt::ReadText(work_ + "/fmod.report");
  EXPECT_NE(fmod.find("tarvel30x: init "), std::string::npos) << fmod;
  EXPECT_NE(fmod.find(" dspbuffer=1024x6"), std::string::npos) << fmod;

  delete dialog;
  delete form;
  Application->Reset();
  pt::SetProgramPath("");
}

}  // namespace
}  // namespace launcher
