// The launcher window, headless and in process, over a temporary install:
// the program is a file with a media trailer made here, "launcher.xml" sits
// beside it, the install folder comes from the registry, and every program
// or address it opens is recorded instead of started.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_dialog.h"
#include "launcher/app/settings_link.h"
#include "launcher/app/xml_storage.h"
#include "launcher/skin/golden.h"
#include "platform/bink/testing.h"
#include "platform/d3d9/testing.h"
#include "platform/dxdiag/testing.h"
#include "platform/fmod/test_audio.h"
#include "platform/fmod/testing.h"
#include "platform/forms/appevnts.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "tools/media_trailer_writer.h"
#include "tools/video_writer.h"

namespace launcher {
namespace {

namespace pt = platform::testing;
namespace fs = std::filesystem;
using forms::Application;

constexpr const char* kMain = R"(
      <caption>Kestrelmoor 1.0</caption>
      <startgame>Start</startgame>
      <install>Install</install>
      <resumegame>Resume</resumegame>
      <settings>Options</settings>
      <forums>Forums</forums>
      <pathreg>InstallPath</pathreg>
      <exe>tarvel30x.exe</exe>
      <savegame>Kestrelmoor</savegame>
      <forum>forum.example.org/kestrel</forum>
      <pubhome>Publisher</pubhome>
      <puburl>www.example.com/</puburl>
      <addsetup>addon.exe</addsetup>)";
constexpr const char* kMsg =
    "<msg><csdef>Cannot start</csdef><csos>Old system</csos><csdx>No DirectX</csdx>"
    "<csdx9>No DirectX 9</csdx9><csgfx>Weak graphics</csgfx></msg>";

std::string Xml(bool addinst) {
  return std::string("<?xml version=\"1.0\"?>\n<launcherstr>\n  <default>\n    <main>") + kMain +
         (addinst ? "\n      <addinst>Add-on</addinst>" : "") + "\n    </main>\n    " + kMsg +
         "\n  </default>\n  <lang7><main><caption>Deutsch</caption></main></lang7>\n</launcherstr>\n";
}

testkit::Bytes Video(int width, int height) {
  testkit::VideoSpec recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.frames = 1;
  recipe.paint = [](int, testkit::Picture& p) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) p.Set(x, y, x * 255 / p.width, y * 255 / p.height, 96, 255);
  };
  return testkit::BuildVideo(recipe);
}

class LauncherTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    Application->Reset();
    pt::ResetFmod();
    pt::ResetBink();
    pt::ClearShellStarts();
    pt::TakeClock(10000);
    pt::SetSetting("shell.record", "1");
    prog_ = root_ + "/prog";
    install_ = root_ + "/drives/c/Game";
    saves_ = root_ + "/drives/c/Users/Player/Documents/Kestrelmoor";
    fs::create_directories(prog_);
    fs::create_directories(saves_);
    const char* lang = std::getenv("LC_ALL");
    if (lang) oldLang_ = lang;
    setenv("LC_ALL", "en_US.UTF-8", 1);
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    pt::SetProgramPath("");
    pt::ResetFmod();
    pt::ResetBink();
    pt::ResetD3D9();
    pt::ClearDxDiagTree();
    pt::ClearOsVersion();
    pt::ClearShellStarts();
    pt::Reset();
    if (oldLang_) setenv("LC_ALL", oldLang_->c_str(), 1);
    else unsetenv("LC_ALL");
    PlatformTest::TearDown();
  }

  testkit::MediaTrailer Media(int videoSize = 40) {
    testkit::MediaTrailer m;
    m.video = Video(videoSize, videoSize);
    m.music = pt::EncodeOgg(pt::MakeTone(2.0, 22050, 2, 300), 22050, 2);
    m.click = pt::EncodeWav(pt::MakeTone(0.05, 8000, 1, 800), 8000, 1);
    m.hover = pt::EncodeWav(pt::MakeTone(0.05, 8000, 1, 600), 8000, 1);
    return m;
  }
  // The launcher's own file: some program bytes, with the media or without.
  void Program(const std::optional<testkit::MediaTrailer>& media) {
    testkit::Bytes program(3000, 0x90);
    ASSERT_TRUE(testkit::WriteFileBytes(prog_ + "/launcher", media ? testkit::AppendMediaTrailer(program, *media)
                                                                   : program));
    pt::SetProgramPath(prog_ + "/launcher");
  }
  void Text(const std::string& xml) { pt::WriteText(prog_ + "/launcher.xml", xml); }
  void Install(bool engine, bool lastdemo, const char* folder = "C:\\Game") {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brindlewerk\\Kestrelmoor", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                   static_cast<DWORD>(strlen(folder) + 1));
    RegCloseKey(key);
    if (engine) pt::WriteText(install_ + "/tarvel30x", "engine");
    if (lastdemo) pt::WriteText(saves_ + "/lastdemo", "saved");
  }
  TfrmLauncher* Launch() {
    form_ = Application->CreateForm<TfrmLauncher>();
    form_->resumeVideo = false;
    form_->Show();
    Application->ProcessMessages();
    return form_;
  }
  // The plain launcher over an install with the engine and a saved game.
  void LaunchInstalled() {
    Program(std::nullopt);
    Text(Xml(false));
    Install(true, true);
    Launch();
  }
  // A fresh application and platform for the next case of a table.
  void Restart() {
    Application->Reset();
    pt::Reset();
    pt::SetPlatformRoot(root_);
    pt::SetSetting("shell.record", "1");
  }
  // Runs `action` with Return queued for the modal box it opens.
  template <class F>
  void Answering(F action) {
    pt::InjectKey(VK_RETURN);
    action();
    Application->ProcessMessages();
  }
  static std::vector<pt::ShellStart> Starts() { return pt::ShellStarts(); }
  // The launcher asked the application to end.
  static bool Closed() { return Application->Terminated() || pt::QuitPosted(); }

  std::string prog_, install_, saves_;
  std::optional<std::string> oldLang_;
  TfrmLauncher* form_ = nullptr;
};

// ---- Texts --------------------------------------------------------------------------

TEST_F(LauncherTest, TextsFromEachCaseOfTheTextFile) {
  struct Case {
    const char* what;
    const char* locale;
    std::string xml;
    const char* caption;  // of lbCaption
    bool ends;
  } cases[] = {
      {"language present", "de_DE.UTF-8", Xml(false), "Deutsch", false},
      {"only default", "en_US.UTF-8", Xml(false), "Kestrelmoor 1.0", false},
      {"neither: the root's children are the groups", "de_DE.UTF-8",
       "<launcherstr><main><caption>Root</caption></main></launcherstr>", "Root", false},
      {"entities and a comment inside a text", "en_US.UTF-8",
       "<launcherstr><default><main><caption>A &amp; B<!-- x --> &#67;</caption></main></default></launcherstr>",
       "A & B C", false},
      {"a key twice is applied twice", "en_US.UTF-8",
       "<launcherstr><default><main><caption>one</caption><caption>two</caption></main></default></launcherstr>",
       "two", false},
      {"wrong root", "en_US.UTF-8", "<other><default><main><caption>X</caption></main></default></other>",
       "Game Version", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    setenv("LC_ALL", c.locale, 1);
    Program(std::nullopt);
    Text(c.xml);
    Launch();
    EXPECT_EQ(form_->lbCaption->Caption(), c.caption);
    EXPECT_EQ(Closed(), c.ends);
    if (!c.ends) {
      EXPECT_EQ(form_->Caption(), c.caption);
      EXPECT_EQ(Application->Title, c.caption);
    }
    delete form_;
    form_ = nullptr;
  }
}

TEST_F(LauncherTest, MissingOrUnparseableTextFileShowsTheReadersErrorAndEnds) {
  for (const char* xml : {"", "<launcherstr><default>"}) {
    SCOPED_TRACE(*xml ? "unparseable" : "missing");
    Restart();
    Program(std::nullopt);
    fs::remove(prog_ + "/launcher.xml");
    if (*xml) Text(xml);
    pt::WriteText(prog_ + "/setup.exe", "installer");
    Answering([&] { Launch(); });
    EXPECT_TRUE(Closed());
    // Told in the launcher's message box, with its caption and OK button.
    TXmlStorage reader;
    ASSERT_FALSE(reader.LoadFromFile(form_->programFolder + "launcher.xml"));
    EXPECT_EQ(form_->skDialog->Text, reader.ErrorMessage());
    EXPECT_EQ(form_->skDialog->Caption, "Error");
    // Nothing was read: the start stays unavailable.
    EXPECT_FALSE(form_->startAvailable);
    form_->btnStartClick(nullptr);
    EXPECT_TRUE(Starts().empty());
    delete form_;
    form_ = nullptr;
  }
}

TEST_F(LauncherTest, AddinstShowsItsButtonAndMovesSixButtonsUp) {
  for (bool addinst : {false, true}) {
    SCOPED_TRACE(addinst);
    Program(std::nullopt);
    Text(Xml(addinst));
    Launch();
    const int up = addinst ? 16 : 0;
    EXPECT_EQ(form_->btnResume->Top(), 176 - up);
    EXPECT_EQ(form_->btnStart->Top(), 208 - up);
    EXPECT_EQ(form_->btnSettings->Top(), 240 - up);
    EXPECT_EQ(form_->btnPublisher->Top(), 272 - up);
    EXPECT_EQ(form_->btnForums->Top(), 304 - up);
    EXPECT_EQ(form_->btnAddInst->Top(), 336 - up);
    EXPECT_EQ(form_->btnClose->Top(), 0);
    EXPECT_EQ(form_->btnAddInst->Visible(), addinst);
    if (addinst) EXPECT_EQ(form_->btnAddInst->Caption(), "Add-on");
    delete form_;
    form_ = nullptr;
  }
}

// The sample game's own texts: the resolution tags get their parentheses
// from the dialog, and the sound group has a label and a hint.
TEST_F(LauncherTest, SampleTextsFillTheSettingsDialog) {
  Program(std::nullopt);
  const std::string xml = pt::ReadText(TARVEL_DEMO_LAUNCHER_XML);
  ASSERT_FALSE(xml.empty());
  Text(xml);
  Install(true, false);
  form_ = Application->CreateForm<TfrmLauncher>();
  form_->resumeVideo = false;
  auto* dialog = static_cast<TfrmSettings*>(CreateSettingsForm(form_));
  form_->frmSettings = dialog;
  form_->Show();
  Application->ProcessMessages();
  dialog->Show();
  Application->ProcessMessages();
  EXPECT_EQ(dialog->lbSBuf0->Caption(), "Sound buffer size:");
  EXPECT_EQ(dialog->lbSBuf1->Caption(), "(Keep as low as possible)");
  ASSERT_GT(dialog->cbVideoRes->Items().Count(), 0);
  bool standard = false;
  for (int i = 0; i < dialog->cbVideoRes->Items().Count(); ++i) {
    const std::string& text = dialog->cbVideoRes->Items().Strings(i);
    EXPECT_EQ(text.find("(("), std::string::npos) << text;
    standard |= text == " 1024 x 768  (standard)";
  }
  EXPECT_TRUE(standard);
  dialog->Hide();
  // Its forum is named by the texts, like its publisher.
  form_->btnForumsClick(nullptr);
  const auto starts = Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].file, "http://forum.brindlewerk.example/kestrelmoor");
  delete dialog;
  form_->frmSettings = nullptr;
}

// ---- Install state ------------------------------------------------------------------

TEST_F(LauncherTest, ResumeFollowsLastdemoAlsoAfterTheSettingsDialog) {
  for (bool lastdemo : {false, true}) {
    SCOPED_TRACE(lastdemo);
    fs::remove(saves_ + "/lastdemo");
    Program(std::nullopt);
    Text(Xml(false));
    Install(true, lastdemo);
    Launch();
    EXPECT_TRUE(form_->installed);
    EXPECT_EQ(form_->savegameFolder, "C:\\Users\\Player\\Documents\\Kestrelmoor\\");
    EXPECT_EQ(form_->btnResume->Visible(), lastdemo);
    EXPECT_EQ(form_->btnStart->Caption(), "Start");
    form_->btnSettingsClick(nullptr);
    EXPECT_EQ(form_->btnResume->Visible(), lastdemo);
    EXPECT_TRUE(form_->btnStart->Visible());
    EXPECT_TRUE(form_->btnSettings->Visible() && form_->btnClose->Visible());
    delete form_;
    form_ = nullptr;
  }
}

TEST_F(LauncherTest, NotInstalledOffersTheInstallerOrNothing) {
  struct Case {
    const char* what;
    const char* folder;  // in the registry, null for none
    bool setup;
  } cases[] = {
      {"no install folder, no installer", nullptr, false},
      {"empty install folder, no installer", "", false},
      {"no engine in the folder, installer", "C:\\Game", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    pt::ClearShellStarts();
    fs::remove(prog_ + "/setup.exe");
    Program(std::nullopt);
    Text(Xml(true));
    // An engine in the working folder must not count for an empty folder.
    pt::WriteText(work_ + "/tarvel30x", "engine");
    if (c.folder) Install(false, false, c.folder);
    if (c.setup) pt::WriteText(prog_ + "/setup.exe", "installer");
    Launch();
    EXPECT_FALSE(form_->installed);
    EXPECT_EQ(form_->btnStart->Caption(), "Install");
    EXPECT_FALSE(form_->btnSettings->Enabled());
    EXPECT_EQ(form_->btnStart->Enabled(), c.setup);
    form_->btnSettingsClick(nullptr);
    EXPECT_EQ(form_->btnStart->Visible(), c.setup);
    form_->btnStartClick(nullptr);
    const auto starts = Starts();
    if (c.setup) {
      ASSERT_EQ(starts.size(), 1u);
      std::string expected = "Z:" + prog_ + "/setup.exe";
      for (char& ch : expected) ch = ch == '/' ? '\\' : ch;
      EXPECT_EQ(starts[0].file, expected);
      EXPECT_EQ(starts[0].parameters, "");
      EXPECT_EQ(starts[0].directory, "");
      EXPECT_TRUE(Closed());
    } else {
      EXPECT_TRUE(starts.empty());
      EXPECT_FALSE(Closed());
    }
    delete form_;
    form_ = nullptr;
  }
}

// After the settings dialog the additional installer's button follows
// "addsetup", whatever "addinst" showed at the start.
TEST_F(LauncherTest, AdditionalInstallerButtonAfterTheSettingsDialogFollowsAddsetup) {
  struct Case {
    const char* keys;
    bool atStart, afterwards;
  } cases[] = {
      {"<addinst>Add-on</addinst><addsetup>addon.exe</addsetup>", true, true},
      {"<addinst>Add-on</addinst>", true, false},
      {"<addsetup>addon.exe</addsetup>", false, true},
      {"", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    Restart();
    Program(std::nullopt);
    Text(std::string("<launcherstr><default><main><pathreg>InstallPath</pathreg><exe>tarvel30x.exe</exe>") + c.keys +
         "</main></default></launcherstr>");
    Install(true, false);
    Launch();
    EXPECT_EQ(form_->btnAddInst->Visible(), c.atStart);
    form_->btnSettingsClick(nullptr);
    EXPECT_EQ(form_->btnAddInst->Visible(), c.afterwards);
    delete form_;
    form_ = nullptr;
  }
}

// The installed languages are named by the system, cut before "(".
TEST_F(LauncherTest, LanguageNamesAreCutBeforeTheParenthesis) {
  Program(std::nullopt);
  Text(Xml(false));
  Install(true, false);
  for (const char* volume : {"resource.907", "resource.909", "resource.9xy"}) pt::WriteText(install_ + "/" + volume, "v");
  form_ = Application->CreateForm<TfrmLauncher>();
  form_->resumeVideo = false;
  auto* dialog = static_cast<TfrmSettings*>(CreateSettingsForm(form_));
  form_->frmSettings = dialog;
  form_->Show();
  Application->ProcessMessages();
  std::vector<std::pair<std::string, intptr_t>> languages;
  for (int i = 0; i < dialog->cbLang->Items().Count(); ++i) {
    languages.push_back({dialog->cbLang->Items().Strings(i), dialog->cbLang->Items().Objects(i)});
  }
  std::sort(languages.begin(), languages.end());
  EXPECT_EQ(languages, (std::vector<std::pair<std::string, intptr_t>>{{"English ", 9}, {"German ", 7}}));
  delete dialog;
  form_->frmSettings = nullptr;
}

// ---- Starting the engine ------------------------------------------------------------

TEST_F(LauncherTest, EachFailedSystemCheckShowsItsMessageAndStartsNothing) {
  struct Case {
    const char* message;
    void (*arrange)();
  } cases[] = {
      {"Old system", [] { pt::SetOsVersion(4, 0, 950, 1, ""); }},
      {"No DirectX", [] { pt::FailDxDiagProvider(E_FAIL); }},
      {"No DirectX 9",
       [] {
         pt::DxDiagNode tree;
         tree.Child("DxDiag_SystemInfo")
             .SetU32("dwDirectXVersionMajor", 8)
             .SetU32("dwDirectXVersionMinor", 1)
             .SetString("szDirectXVersionLetter", "b");
         pt::SetDxDiagTree(tree);
       }},
      {"Weak graphics",
       [] {
         pt::AdapterProfile p = pt::DefaultAdapterProfile();
         p.maxTextureWidth = 1024;
         p.maxTextureHeight = 512;
         pt::SetAdapterProfile(p);
       }},
  };
  LaunchInstalled();
  ASSERT_TRUE(form_->btnResume->Visible());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    c.arrange();
    for (bool resume : {false, true}) {
      form_->skDialog->Text.clear();
      Answering([&] { resume ? form_->btnResumeClick(nullptr) : form_->btnStartClick(nullptr); });
      EXPECT_EQ(form_->skDialog->Text, c.message);
      EXPECT_TRUE(Starts().empty());
      EXPECT_FALSE(Closed());
      EXPECT_TRUE(fs::exists(saves_ + "/lastdemo"));
    }
    pt::ClearOsVersion();
    pt::ClearDxDiagTree();
    pt::FailDxDiagProvider(S_OK);
    pt::ResetD3D9();
  }
}

TEST_F(LauncherTest, NewGameStartsTheEngineWithLastdemoGone) {
  LaunchInstalled();
  form_->btnStartClick(nullptr);
  const auto starts = Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].verb, "open");
  EXPECT_EQ(starts[0].file, "C:\\Game\\tarvel30x.exe");
  EXPECT_EQ(starts[0].parameters, "n");
  EXPECT_EQ(starts[0].directory, "C:\\Game\\");
  EXPECT_FALSE(fs::exists(saves_ + "/lastdemo"));
  EXPECT_TRUE(fs::is_empty(saves_));
  EXPECT_TRUE(Closed());
}

TEST_F(LauncherTest, ResumeStartsTheEngineWithoutParameterAndKeepsLastdemo) {
  LaunchInstalled();
  form_->btnResumeClick(nullptr);
  const auto starts = Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].file, "C:\\Game\\tarvel30x.exe");
  EXPECT_EQ(starts[0].parameters, "");
  EXPECT_EQ(starts[0].directory, "C:\\Game\\");
  EXPECT_TRUE(fs::exists(saves_ + "/lastdemo"));
  EXPECT_TRUE(Closed());
}

TEST_F(LauncherTest, AFailedStartIsReportedKeepsLastdemoAndStaysOpen) {
  LaunchInstalled();
  fs::remove(install_ + "/tarvel30x");  // gone since the window opened
  Answering([&] { form_->btnStartClick(nullptr); });
  EXPECT_EQ(form_->skDialog->Text, "Cannot start");
  EXPECT_TRUE(Starts().empty());
  EXPECT_EQ(pt::ReadText(saves_ + "/lastdemo"), "saved");
  EXPECT_FALSE(fs::exists(saves_ + "/lastdemo.starting"));
  EXPECT_FALSE(Closed());
}

TEST_F(LauncherTest, AdditionalInstallerFromADriveRootInItsOwnFolder) {
  Program(std::nullopt);
  Text(Xml(true));
  Install(true, false);
  Launch();
  // Not on any drive yet.
  Answering([&] { form_->btnAddInstClick(nullptr); });
  EXPECT_EQ(form_->skDialog->Text, "Cannot start");
  EXPECT_TRUE(Starts().empty());
  pt::WriteText(root_ + "/drives/e/addon", "add-on");
  pt::WriteText(root_ + "/drives/f/addon.exe", "add-on");
  form_->btnAddInstClick(nullptr);
  const auto starts = Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].file, "E:\\addon.exe");
  EXPECT_EQ(starts[0].parameters, "n");
  EXPECT_EQ(starts[0].directory, "E:\\");
  EXPECT_TRUE(Closed());
}

// ---- Input, addresses and sounds ------------------------------------------------------

TEST_F(LauncherTest, ButtonsAreWiredAndPlayTheirSounds) {
  Program(Media());
  Text(Xml(false));
  Install(true, true);
  Launch();
  ASSERT_TRUE(form_->soundEnabled);
  auto played = [&](FMOD::Sound* sound) {
    int n = 0;
    for (const auto& c : pt::FmodChannels()) n += c.sound == sound;
    return n;
  };
  auto channels = pt::FmodChannels();
  ASSERT_FALSE(channels.empty());
  EXPECT_EQ(channels[0].sound, form_->musicSound);
  EXPECT_TRUE(channels[0].stream && channels[0].loop && !channels[0].paused);
  EXPECT_EQ(channels[0].priority, 1);
  EXPECT_EQ(pt::FmodSystem().maxChannels, 5);
  // The first button took the focus as the window showed: its enter event.
  EXPECT_EQ(played(form_->hoverSound), 1);
  EXPECT_EQ(channels.size(), 2u);
  // The sounds are mixed and end as time passes; the music loops on.
  pt::AdvanceClock(500);
  Application->ProcessMessages();
  EXPECT_EQ(played(form_->hoverSound), 0);
  EXPECT_EQ(played(form_->musicSound), 1);
  EXPECT_GT(pt::FmodChannels()[0].positionMs, 400u);

  // Hovering plays the hover sound; clicks play the click sound.
  const int x = form_->btnPublisher->Left() + 20, y = form_->btnPublisher->Top() + 10;
  pt::InjectMouseMove(x, y);
  Application->ProcessMessages();
  EXPECT_EQ(played(form_->hoverSound), 1);
  EXPECT_EQ(played(form_->clickSound), 0);
  pt::InjectClick(pt::Button::Left, x, y);
  Application->ProcessMessages();
  EXPECT_EQ(played(form_->clickSound), 1);
  pt::InjectClick(pt::Button::Left, form_->btnForums->Left() + 20, form_->btnForums->Top() + 10);
  Application->ProcessMessages();
  auto starts = Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].file, "http://www.example.com/");
  EXPECT_EQ(starts[1].file, "http://forum.example.org/kestrel");
  EXPECT_FALSE(Closed());

  // Resume plays no click; the close glyph closes.
  pt::AdvanceClock(500);
  const int clicks = played(form_->clickSound);
  form_->btnResumeClick(nullptr);
  EXPECT_EQ(played(form_->clickSound), clicks);
  pt::ClearShellStarts();
  pt::InjectClick(pt::Button::Left, 388, 8);
  Application->ProcessMessages();
  EXPECT_TRUE(Closed());
}

TEST_F(LauncherTest, MediaThatCannotBeUsedLeaveTheLauncherSilentOrStill) {
  struct Case {
    const char* what;
    bool trailer;
    void (*damage)(testkit::MediaTrailer&);
    bool sound, video;
  } cases[] = {
      {"plain program", false, nullptr, false, false},
      {"all there", true, nullptr, true, true},
      {"music no sound file", true, [](testkit::MediaTrailer& m) { m.music.assign(300, 7); }, false, true},
      {"video no video", true, [](testkit::MediaTrailer& m) { m.video.assign(300, 7); }, true, false},
      {"no video block", true, [](testkit::MediaTrailer& m) { m.video.clear(); }, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Application->Reset();
    pt::ResetFmod();
    testkit::MediaTrailer media = Media();
    if (c.damage) c.damage(media);
    Program(c.trailer ? std::optional(media) : std::nullopt);
    Text(Xml(false));
    Launch();
    EXPECT_EQ(form_->mediaRead, c.trailer);
    EXPECT_EQ(form_->soundEnabled, c.sound);
    EXPECT_EQ(form_->binkThread != nullptr, c.video);
    delete form_;
    form_ = nullptr;
    EXPECT_EQ(pt::LiveFmodSystems(), 0);
  }
}

TEST_F(LauncherTest, RunningVideoStopsBeforeTheWindowGoes) {
  pt::ReleaseClock();  // the thread runs on its own
  Program(Media());
  Text(Xml(false));
  form_ = Application->CreateForm<TfrmLauncher>();
  form_->Show();
  ASSERT_NE(form_->binkThread, nullptr);
  EXPECT_FALSE(form_->binkThread->Suspended());
  // The frame's pixel at (20, 20): B = G = 20 * 255 / 40, R = 96.
  const uint32_t frame = 0x607F7F;
  bool painted = false;
  // Drains the queue, but boundedly: a video that decodes faster than it is
  // painted can keep it from ever running dry, so ProcessMessages need not
  // return. The repaint comes once the posted wakes are taken.
  for (int i = 0; i < 2000 && !painted; ++i) {
    int messages = 0;
    while (messages < 100 && Application->ProcessMessage()) ++messages;
    painted = pt::WindowPixels(form_->Handle()).At(20, 20) == frame;
    if (!painted) Sleep(1);
  }
  EXPECT_TRUE(painted);
  delete form_;  // while the thread still decodes and asks for repaints
  form_ = nullptr;
  Application->ProcessMessages();
}

TEST_F(LauncherTest, TrailerIsValidatedBeforeAnyBlockIsRead) {
  const testkit::Bytes program(100, 0x90);
  testkit::MediaTrailer m;
  m.video.assign(10, 1);
  m.music.assign(20, 2);
  m.click.assign(30, 3);
  m.hover.assign(40, 4);
  const testkit::Bytes good = testkit::AppendMediaTrailer(program, m);
  auto word = [](testkit::Bytes bytes, int index, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 44 + size_t(index) * 4 + size_t(i)] = uint8_t(value >> (8 * i));
    return bytes;
  };
  struct Case {
    const char* what;
    testkit::Bytes file;
    bool ok;
  } cases[] = {
      {"good", good, true},
      {"shorter than the table", testkit::Bytes(43, 0), false},
      {"just the table, no blocks", word(testkit::Bytes(44, 0), 10, 44), true},
      {"distance below the table", word(good, 10, 43), false},
      {"first block before the file", word(good, 10, uint32_t(good.size() + 1)), false},
      {"blocks overrun the table", word(good, 9, 41), false},
      {"sizes that wrap", word(word(good, 3, 0xFFFFFFFFu), 5, 0xFFFFFFFFu), false},
      {"whole file as media", word(word(good, 10, uint32_t(good.size())), 3, 110), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = root_ + "/exe";
    ASSERT_TRUE(testkit::WriteFileBytes(path, c.file));
    HANDLE file = CreateFileA(("Z:" + path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    MediaBlocks blocks;
    blocks.video.assign(5, 9);
    EXPECT_EQ(ReadMediaTrailer(file, &blocks), c.ok);
    CloseHandle(file);
    if (std::string(c.what) == "good") {
      EXPECT_EQ(blocks.video, m.video);
      EXPECT_EQ(blocks.music, m.music);
      EXPECT_EQ(blocks.click, m.click);
      EXPECT_EQ(blocks.hover, m.hover);
    } else if (!c.ok) {
      EXPECT_TRUE(blocks.video.empty() && blocks.music.empty() && blocks.click.empty() && blocks.hover.empty());
    }
  }
}

// ---- Pictures -------------------------------------------------------------------------

// The launcher's own video: after its last frame the first is shown again.
TEST_F(LauncherTest, IntroVideoStartsAgainAfterItsLastFrame) {
  pt::TakeClock(20000);
  testkit::MediaTrailer media = Media();
  testkit::VideoSpec recipe;
  recipe.width = recipe.height = 400;
  recipe.frames = 3;
  media.video = testkit::BuildVideo(recipe);  // frame n all VideoFrameColour(n)
  Program(media);
  Text(Xml(false));
  Install(true, false);
  Launch();
  ASSERT_NE(form_->binkThread, nullptr);
  std::vector<uint32_t> shown;
  for (int turn = 0; turn < 200 && shown.size() < 5; ++turn) {
    if (!form_->binkThread->Step()) continue;
    Application->ProcessMessages();
    shown.push_back(pt::WindowPixels(form_->Handle()).At(30, 100));
  }
  std::vector<uint32_t> expected;
  for (int n : {0, 1, 2, 0, 1}) expected.push_back(testkit::VideoFrameColour(n) & 0xFFFFFF);
  EXPECT_EQ(shown, expected);
}

TEST_F(LauncherTest, WindowWithAFixedVideoFrame) {
  for (bool addinst : {false, true}) {
    SCOPED_TRACE(addinst);
    Application->Reset();
    Program(Media(400));
    Text(Xml(addinst));
    Install(true, true);
    Launch();
    ASSERT_NE(form_->binkThread, nullptr);
    ASSERT_TRUE(form_->binkThread->Step());
    Application->ProcessMessages();
    EXPECT_EQ(form_->Left(), (1024 - 400) / 2);
    EXPECT_EQ(form_->Top(), (768 - 400) / 2);
    EXPECT_TRUE(skin::testing::MatchesGolden(pt::WindowPixels(form_->Handle()),
                                             addinst ? "launcher_addinst" : "launcher"));
    delete form_;
    form_ = nullptr;
  }
}


TEST_F(LauncherTest, SettingsDialogOverTheWindow) {
  Program(Media(400));
  std::string xml = Xml(false);
  xml.insert(xml.find("</default>"),
             "<settings><caption>Settings</caption><deflang>System language</deflang>"
             "<vperf>Highest</vperf><vperf>High</vperf><vperf>Medium</vperf><vperf>Low</vperf><vperf>Custom</vperf>"
             "<aa>Off</aa><aa>2x</aa><aa>4x</aa><resrec>Recommended</resrec><resstd>Standard</resstd>"
             "<save>Save Settings</save></settings>");
  Text(xml);
  Install(true, false);
  pt::WriteText(install_ + "/resource.907", "volume");
  form_ = Application->CreateForm<TfrmLauncher>();
  form_->resumeVideo = false;
  auto* dialog = static_cast<TfrmSettings*>(CreateSettingsForm(form_));
  form_->frmSettings = dialog;
  form_->Show();
  Application->ProcessMessages();
  ASSERT_TRUE(form_->binkThread->Step());
  Application->ProcessMessages();
  EXPECT_EQ(dialog->cbVideoP->Items().Count(), 5);
  ASSERT_EQ(dialog->cbLang->Items().Count(), 2);
  EXPECT_EQ(dialog->cbLang->Items().Objects(1), 7);

  // Once everything is painted, the message due later finds the dialog
  // shown modally over the window; the screen is taken, and the dialog closed.
  pt::Picture screen;
  forms::TApplicationEvents events(nullptr);
  events.OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message != WM_USER + 77) return;
    handled = true;
    screen = pt::ScreenPixels();
    dialog->Close();
  };
  Application->HookMessages(&events);
  pt::InjectMessage(WM_USER + 77, 0, 0, timeGetTime() + 100);
  form_->btnSettingsClick(nullptr);
  Application->UnhookMessages(&events);
  ASSERT_EQ(screen.width, 1024);
  EXPECT_FALSE(dialog->Visible());
  // Placed over the window, its bottom edge one pixel below the window's.
  EXPECT_EQ(dialog->Left(), form_->Left());
  EXPECT_EQ(dialog->Width(), 400);
  EXPECT_EQ(dialog->Top() + dialog->Height(), form_->Top() + form_->Height() + 1);
  EXPECT_EQ(dialog->AlphaBlendValue(), 220);
  EXPECT_TRUE(skin::testing::MatchesGolden(screen, "settings_over_launcher"));
  delete dialog;
  form_->frmSettings = nullptr;
}

}  // namespace
}  // namespace launcher
