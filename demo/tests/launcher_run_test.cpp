// The sample game started as a player starts it: the launcher of the game
// folder (headless, in this process) saves language 7 and a resolution in
// its settings dialog and starts a new game; the engine it starts reads
// those settings from the registry files and plays the language-7 speech.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "demo/tests/game_run.h"
#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_dialog.h"
#include "launcher/app/settings_link.h"
#include "platform/forms/appevnts.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace demo {
namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;
using forms::Application;
using launcher::TfrmLauncher;
using launcher::TfrmSettings;

constexpr uint32_t k1280x1024 = 1280u << 16 | 1024u;
// The start cinematic's line (Main's "pc_intro"), spoken about two seconds
// into the game; the game is closed a while after it.
constexpr const char* kIntroLine = "project-pc_intro.ogg";
constexpr uint32_t kCloseMs = 8000;

// The size of a staged file of a language: the recording the engine opens
// from that language's volume, which is stored as it is.
uintmax_t SpeechSize(int language, const std::string& name) {
  const fs::path file = fs::path(TARVEL_GAME_STAGING_DIR) / "language" / std::to_string(language) / name;
  std::error_code error;
  const uintmax_t size = fs::file_size(file, error);
  EXPECT_FALSE(error) << file;
  return error ? 0 : size;
}

class LauncherRunTest : public GameTest {};

TEST_F(LauncherRunTest, SettingsSavedInTheLauncherReachTheGameItStarts) {
  pt::SetProgramPath(install_ + "/launcher");
  pt::SetSetting("shell.record", "1");
  pt::SetSetting("shell.start", "1");
  // The engine is closed once its start cinematic has spoken.
  pt::SetSetting("input.tarvel30x", CloseAt(work_, kCloseMs));

  Application->Reset();
  auto* form = Application->CreateForm<TfrmLauncher>();
  form->resumeVideo = false;
  auto* dialog = static_cast<TfrmSettings*>(launcher::CreateSettingsForm(form));
  form->frmSettings = dialog;
  form->Show();
  Application->ProcessMessages();
  ASSERT_TRUE(form->installed) << "the launcher does not find the game in " << install_;

  // Both language volumes are offered, after the system's language.
  std::vector<int> languages;
  for (int i = 1; i < dialog->cbLang->Items().Count(); ++i) {
    languages.push_back(static_cast<int>(dialog->cbLang->Items().Objects(i)));
  }
  std::sort(languages.begin(), languages.end());
  EXPECT_EQ(languages, (std::vector<int>{7, 9}));

  // Once the dialog is shown: language 7, 1280 x 1024, saved.
  bool resolutionOffered = false;
  forms::TApplicationEvents events(nullptr);
  events.OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message != WM_USER + 78) return;
    handled = true;
    auto& langs = dialog->cbLang->Items();
    for (int i = 0; i < langs.Count(); ++i) {
      if (static_cast<int>(langs.Objects(i)) == 7) dialog->cbLang->SetItemIndex(i);
    }
    auto& modes = dialog->cbVideoRes->Items();
    for (int i = 0; i < modes.Count(); ++i) {
      if (static_cast<uint32_t>(modes.Objects(i)) == k1280x1024) {
        dialog->cbVideoRes->SetItemIndex(i);
        resolutionOffered = true;
      }
    }
    dialog->btnSave->Click();
  };
  Application->HookMessages(&events);
  pt::InjectMessage(WM_USER + 78, 0, 0, timeGetTime() + 50);
  form->btnSettingsClick(nullptr);
  Application->UnhookMessages(&events);
  EXPECT_TRUE(resolutionOffered);
  EXPECT_EQ(dialog->ModalResult(), forms::mrOk);
  const std::string user = pt::ReadText(root_ + "/registry/HKEY_CURRENT_USER.reg");
  EXPECT_NE(user.find("\"Language\"=dword:00000007"), std::string::npos) << user;
  EXPECT_NE(user.find("\"ScreenRes\"=dword:05000400"), std::string::npos) << user;

  // The engine inherits the environment through the shell layer.
  setenv("TARVEL_HEADLESS", "1", 1);
  setenv("LSAN_OPTIONS", "suppressions=" TARVEL_LSAN_SUPPRESSIONS, 1);
  form->btnStartClick(nullptr);
  const auto starts = pt::ShellStarts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].parameters, "n");
  EXPECT_EQ(starts[0].directory, "C:\\Game\\");
  ASSERT_GT(starts[0].pid, 0);
  // It quits by itself through its input; four minutes of real time at most.
  bool quit = false;
  int status = 0;
  for (int i = 0; i < 2400 && !quit; ++i) {
    quit = waitpid(starts[0].pid, &status, WNOHANG) == starts[0].pid;
    if (!quit) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!quit) {
    kill(starts[0].pid, SIGKILL);
    waitpid(starts[0].pid, &status, 0);
  }
  const std::string log = pt::ReadText(install_ + "/tarvel.log");
  EXPECT_TRUE(quit && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the game did not quit cleanly\n" << log;

  EXPECT_NE(log.find("Screen resolution is 1280 x 1024."), std::string::npos) << log;
  const std::string d3d9 = pt::ReadText(work_ + "/d3d9.report");
  EXPECT_NE(d3d9.find("tarvel30x: CreateDevice 1280x1024 "), std::string::npos) << d3d9.substr(0, d3d9.find('\n'));
  // The speech of language 7, not of language 9, was opened.
  const uintmax_t german = SpeechSize(7, kIntroLine), english = SpeechSize(9, kIntroLine);
  ASSERT_NE(german, english) << "the recordings of the two languages cannot be told apart by size";
  const std::string fmod = pt::ReadText(work_ + "/fmod.report");
  EXPECT_NE(fmod.find(" length=" + std::to_string(german) + "\n"), std::string::npos) << fmod;
  EXPECT_EQ(fmod.find(" length=" + std::to_string(english) + "\n"), std::string::npos) << fmod;
  const std::string trace = pt::ReadText(install_ + "/script-trace.log");
  EXPECT_NE(trace.find("\"pc_intro\""), std::string::npos) << trace;

  delete dialog;
  delete form;
  Application->Reset();
  pt::SetProgramPath("");
}

}  // namespace
}  // namespace demo
