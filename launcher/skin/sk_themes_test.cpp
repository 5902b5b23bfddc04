// Built-in lookups, the generated artwork's layouts, file themes and
// passing a style on to children.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "launcher/skin/sk_public.h"
#include "launcher/skin/sk_themes.h"
#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"
#include "platform/win32/path.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "tools/skin_archive_writer.h"

namespace skin {
namespace {

namespace tk = testkit;
using S = TskUIStyle;

TEST(ThemesTest, BuiltInLookupsByKind) {
  struct Case {
    S style;
    int slot;
    int32_t colour, boolean, integer;
  } cases[] = {
      {S::Pearl, tsFormColor, 0xE7E7E7, 0, -1},
      {S::Meadow, tsBorderColor, 0xC82C00, 0, -1},
      {S::Ocean, tsMenuSelectedColor, 0xA04A44, 0, -1},
      {S::Ember, tsFormColor, 0xFBFBFB, 0, -1},
      {S::Glacier, tsMenuSelectedBorderColor, 0xEC5E5E, 0, -1},
      {S::Meadow, tsControlFontColor, 0xCF4602, 0, -1},
      {S::Pearl, tsButtonTransparent, 0, 1, -1},
      {S::Ocean, tsButtonTransparent, 0, 0, -1},
      {S::Ember, tsTitleButtonTransparent, 0, 1, -1},
      {S::Glacier, tsTitleRightButtonOffset, 0, 0, -3},
      {S::Meadow, tsBorderWidth, 0, 0, 3},
      {S::Glacier, tsFormMinWidth, 0, 0, 270},
      {S::Meadow, tsRoundCorner, 0, 0, 13},
      // Not a built-in style, or not a slot: colour 0, boolean 0, integer -1.
      {S::FromThemeFile, tsFormColor, 0, 0, -1},
      {static_cast<S>(6), tsBorderWidth, 0, 0, -1},
      {S::Ocean, 0, 0, 0, -1},
      {S::Ocean, 49, 0, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.style)) + "/" + std::to_string(c.slot));
    EXPECT_EQ(GetThemeColor(c.style, c.slot), c.colour);
    EXPECT_EQ(GetThemeBool(c.style, c.slot), c.boolean);
    EXPECT_EQ(GetThemeInt(c.style, c.slot), c.integer);
  }
  uint8_t kind = 9;
  EXPECT_EQ(GetThemeValue(S::FromThemeFile, tsFormColor, &kind), -1);
  EXPECT_EQ(kind, 0);
  GetThemeValue(S::Ocean, tsButtonBitmap, &kind);
  EXPECT_EQ(kind, tkBitmap);
  forms::TBitmap none;
  LoadThemeBitmap(S::FromThemeFile, tsButtonBitmap, &none);
  LoadThemeBitmap(S::Ocean, tsFormColor, &none);
  EXPECT_TRUE(none.Empty());
}

TEST(ThemesTest, ArtworkStripsHaveTheirLayouts) {
  struct Strip {
    int slot, frames, frameWidth, height;
  } strips[] = {{tsButtonBitmap, 3, 80, 27}, {tsCheckBoxBitmap, 4, 13, 13}, {tsRadioButtonBitmap, 4, 13, 13},
                {tsTitleButtonsBitmap, 18, 21, 21}};
  for (S style : {S::Pearl, S::Meadow, S::Ocean, S::Ember, S::Glacier}) {
    for (const Strip& s : strips) {
      forms::TBitmap whole;
      LoadThemeBitmap(style, s.slot, &whole);
      EXPECT_EQ(whole.Width(), s.frames * s.frameWidth) << static_cast<int>(style) << "/" << s.slot;
      EXPECT_EQ(whole.Height(), s.height);
      forms::TBitmap frame;
      LoadThemeBitmapFrame(style, s.slot, &frame, s.frames, s.frames);
      EXPECT_EQ(frame.Width(), s.frameWidth);
    }
    for (int slot : {tsTitleLeftBitmap, tsTitleClientBitmap, tsTitleRightBitmap}) {
      forms::TBitmap piece;
      LoadThemeBitmap(style, slot, &piece);
      EXPECT_FALSE(piece.Empty());
    }
  }
  struct Named {
    const char* name;
    int width, height;
  } named[] = {{"MSGDLG", 4 * 32, 32}, {"MENU_CHECKED", 16, 16}, {"PEARL_MENU_SELECT", 16, 20}, {"PEARL_MENU_BAR", 16, 20}, {"MAINICON", 32, 32},
               {"PEARL_FORM_BACKGROUND", 8, 8}, {"EMBER_FORM_BACKGROUND", 8, 8},
               {"PEARL_COMBOBOX_BUTTON", 16, 17}, {"MEADOW_COMBOBOX_BUTTON", 16, 17}};
  RegisterBuiltInBitmaps();
  for (const Named& n : named) {
    forms::TBitmap b;
    ASSERT_TRUE(b.LoadFromResourceName(nullptr, n.name)) << n.name;
    EXPECT_EQ(b.Width(), n.width);
    EXPECT_EQ(b.Height(), n.height);
  }
}

// Each frame shows its own picture, in the order the title bar and the
// message box read the strips (a strip drawn in another order shows a
// close button as a filled square, a warning in red).
bool Dark(uint32_t c) { return ((c >> 16) & 0xFF) < 0x50 && ((c >> 8) & 0xFF) < 0x50 && (c & 0xFF) < 0x50; }
bool Reddish(uint32_t c) { return ((c >> 16) & 0xFF) > 0xA0 && ((c >> 8) & 0xFF) < 0x60 && (c & 0xFF) < 0x60; }
bool White(uint32_t c) { return (c & 0xFFFFFF) == 0xFFFFFF; }
uint32_t At(forms::TBitmap& b, int x, int y) { return b.Bits()[y * b.Width() + x] & 0xFFFFFF; }

TEST(ThemesTest, TitleButtonFramesShowTheirPictures) {
  for (S style : {S::Pearl, S::Meadow, S::Ocean, S::Ember, S::Glacier}) {
    SCOPED_TRACE(static_cast<int>(style));
    auto frame = [&](forms::TBitmap& b, int first) { LoadThemeBitmapFrame(style, tsTitleButtonsBitmap, &b, first, 18); };
    // Control box (1): a coloured window picture, no dark ink.
    forms::TBitmap box;
    frame(box, 1);
    EXPECT_NE(At(box, 6, 6), At(box, 2, 6));
    for (int y = 2; y < 19; ++y)
      for (int x = 2; x < 19; ++x) EXPECT_FALSE(Dark(At(box, x, y))) << "control box " << x << "," << y;
    // Help (4): "?" with its dot.
    forms::TBitmap help;
    frame(help, 4);
    EXPECT_TRUE(Dark(At(help, 10, 15)));
    EXPECT_TRUE(Dark(At(help, 12, 8)));
    EXPECT_FALSE(Dark(At(help, 10, 10)));
    // Maximise (7): one window with a thick top.
    forms::TBitmap max;
    frame(max, 7);
    EXPECT_TRUE(Dark(At(max, 10, 5)) && Dark(At(max, 10, 6)));
    EXPECT_TRUE(Dark(At(max, 5, 10)) && Dark(At(max, 15, 10)));
    EXPECT_FALSE(Dark(At(max, 10, 10)));
    // Restore (10): two windows, the upper one's top thin.
    forms::TBitmap restore;
    frame(restore, 10);
    EXPECT_TRUE(Dark(At(restore, 10, 5)));
    EXPECT_FALSE(Dark(At(restore, 10, 6)));
    EXPECT_TRUE(Dark(At(restore, 5, 12)) && Dark(At(restore, 15, 8)));
    // Minimise (13): a bar at the bottom only.
    forms::TBitmap min;
    frame(min, 13);
    EXPECT_TRUE(Dark(At(min, 10, 13)) && Dark(At(min, 10, 14)));
    EXPECT_FALSE(Dark(At(min, 10, 10)));
    EXPECT_FALSE(Dark(At(min, 10, 6)));
    // Close (16): a red cross.
    forms::TBitmap close;
    frame(close, 16);
    for (auto [x, y] : {std::pair{10, 10}, {6, 6}, {14, 6}, {6, 14}, {14, 14}}) {
      EXPECT_TRUE(Reddish(At(close, x, y))) << "close " << x << "," << y;
    }
    EXPECT_FALSE(Reddish(At(close, 10, 6)));
  }
}

TEST(ThemesTest, MessageIconFramesShowTheirPictures) {
  RegisterBuiltInBitmaps();
  forms::TBitmap strip;
  ASSERT_TRUE(strip.LoadFromResourceName(nullptr, "MSGDLG"));
  auto icon = [&](forms::TBitmap& b, int index) { ExtractFrame(strip, b, 4, index); };
  auto yellow = [](uint32_t c) { return ((c >> 16) & 0xFF) > 0xC0 && ((c >> 8) & 0xFF) > 0xA0 && (c & 0xFF) < 0x40; };
  auto blue = [](uint32_t c) { return ((c >> 16) & 0xFF) < 0x60 && (c & 0xFF) > 0xC0; };
  auto green = [](uint32_t c) { return ((c >> 8) & 0xFF) > 0x80 && ((c >> 16) & 0xFF) < 0x60 && (c & 0xFF) < 0x60; };
  // 1 warning: a yellow triangle with a black "!", white beside its tip.
  forms::TBitmap warning;
  icon(warning, 1);
  EXPECT_TRUE(yellow(At(warning, 16, 6)));
  EXPECT_TRUE(yellow(At(warning, 5, 27)));
  EXPECT_TRUE(Dark(At(warning, 16, 15)) && Dark(At(warning, 16, 24)));
  EXPECT_TRUE(White(At(warning, 5, 5)));
  // 2 stop: a red disc with a white cross.
  forms::TBitmap stop;
  icon(stop, 2);
  EXPECT_TRUE(Reddish(At(stop, 5, 16)) && Reddish(At(stop, 16, 5)));
  EXPECT_TRUE(White(At(stop, 16, 16)) && White(At(stop, 10, 10)) && White(At(stop, 21, 10)));
  // 3 information: a blue disc with "i": a dot over a bar.
  forms::TBitmap info;
  icon(info, 3);
  EXPECT_TRUE(blue(At(info, 5, 16)));
  EXPECT_TRUE(White(At(info, 16, 8)) && White(At(info, 16, 20)));
  EXPECT_TRUE(blue(At(info, 16, 12)));
  EXPECT_TRUE(blue(At(info, 12, 8)));
  // 4 help: a green disc with "?".
  forms::TBitmap help;
  icon(help, 4);
  EXPECT_TRUE(green(At(help, 5, 16)));
  EXPECT_TRUE(White(At(help, 12, 8)) && White(At(help, 19, 12)) && White(At(help, 15, 23)));
  EXPECT_TRUE(green(At(help, 15, 21)));
}

class FileThemeTest : public platform::testing::PlatformTest {
 protected:
  void TearDown() override {
    platform::testing::SetProgramPath("");
    platform::testing::Reset();
    PlatformTest::TearDown();
  }
  static std::vector<uint8_t> Archive(const std::string& password = "", int32_t color = 0x123456) {
    tk::ZipEntry e;
    e.data = tk::WriteSkinData({tk::SkinInteger("SKIN2_FORMCOLOR", color), tk::SkinByte("SKIN2_BUTTONTRANS", 1)});
    e.password = password;
    return tk::WriteZip({e});
  }
  static void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
};

TEST_F(FileThemeTest, ResolveStyle) {
  TskFileTheme notReady(nullptr);
  TskFileTheme ready(nullptr);
  Save(work_ + "/ok.sk", Archive());
  ready.SetThemeFile("ok.sk");
  ASSERT_TRUE(ready.Ready());
  EXPECT_EQ(ready.GetColor(skFormColor), 0x123456);
  EXPECT_EQ(ready.GetBool(skButtonTrans), 1);
  EXPECT_EQ(ready.GetInt(0), -1);  // not in the archive
  struct Case {
    S style;
    const TskFileTheme* theme;
    bool fromFile;
    S effective;
  } cases[] = {
      {S::Pearl, nullptr, false, S::Pearl},
      {S::Ember, &ready, false, S::Ember},
      {S::FromThemeFile, nullptr, false, S::Ocean},
      {S::FromThemeFile, &notReady, false, S::Ocean},
      {S::FromThemeFile, &ready, true, S::FromThemeFile},
  };
  for (const Case& c : cases) {
    S effective = S::Glacier;
    EXPECT_EQ(TskFileTheme::ResolveStyle(c.theme, c.style, &effective), c.fromFile);
    EXPECT_EQ(effective, c.effective);
  }
}

TEST_F(FileThemeTest, ThemeFilesAreSearchedInOrder) {
  // The program's folder, then the Windows folder, then the System folder.
  platform::testing::SetProgramPath(work_ + "/bin/launcher.exe");
  const std::string program = work_ + "/bin/blue.sk";
  const std::string windows = platform::MapPath("C:\\Windows") + "/blue.sk";
  const std::string system = platform::MapPath("C:\\Windows\\system32") + "/blue.sk";
  Save(program, Archive("", 1));
  Save(windows, Archive("", 2));
  Save(system, Archive("", 3));
  TskFileTheme theme(nullptr);
  struct Step {
    std::string remove;
    std::string expectedFile;
    int32_t colour;
  } steps[] = {
      {"", platform::ShowPath(program), 1},
      {program, "C:\\Windows\\blue.sk", 2},
      {windows, "C:\\Windows\\system32\\blue.sk", 3},
  };
  for (const Step& s : steps) {
    if (!s.remove.empty()) std::filesystem::remove(s.remove);
    theme.SetThemeFile("D:\\Skins\\blue.sk");
    EXPECT_EQ(theme.ThemeFile(), s.expectedFile);
    EXPECT_TRUE(theme.Ready());
    EXPECT_EQ(theme.GetColor(skFormColor), s.colour);
  }
  // Found nowhere: nothing changes.
  std::filesystem::remove(system);
  theme.SetThemeFile("D:\\Skins\\blue.sk");
  EXPECT_EQ(theme.ThemeFile(), "C:\\Windows\\system32\\blue.sk");
  EXPECT_TRUE(theme.Ready());
  // As given, first of all.
  Save(work_ + "/local.sk", Archive("", 4));
  theme.SetThemeFile("local.sk");
  EXPECT_EQ(theme.ThemeFile(), "local.sk");
  EXPECT_EQ(theme.GetColor(skFormColor), 4);
}

TEST_F(FileThemeTest, AnEmptyPasswordDoesNotReload) {
  Save(work_ + "/locked.sk", Archive("secret"));
  TskFileTheme theme(nullptr);
  theme.SetThemeFile("locked.sk");
  EXPECT_FALSE(theme.Ready());
  EXPECT_EQ(theme.GetColor(skFormColor), 0);  // no reader
  // Were it read again now, this unlocked file would make it ready.
  Save(work_ + "/locked.sk", Archive());
  theme.SetPassword("");
  EXPECT_FALSE(theme.Ready());
  theme.SetPassword("anything");
  EXPECT_TRUE(theme.Ready());
}

// A control that publishes FileTheme and UIStyle and records their setting.
class Themed : public forms::TCustomControl {
 public:
  Themed(forms::TComponent* owner, std::vector<std::string>* log, const char* cls = "TskThemed")
      : TCustomControl(owner), log_(log), cls_(cls) {}
  std::string ClassName() const override { return cls_; }
  std::vector<std::string> PublishedProperties() const override { return {"Name", "FileTheme", "UIStyle"}; }
  bool SetPublishedProperty(const std::string& name, const forms::TPropValue& v) override {
    if (name == "UIStyle") {
      style = static_cast<S>(std::get<int64_t>(v));
      log_->push_back(Name + ".UIStyle=" + std::to_string(static_cast<int>(style)));
    } else if (name == "FileTheme") {
      theme = static_cast<TskFileTheme*>(std::get<forms::TPersistent*>(v));
      log_->push_back(Name + ".FileTheme=" + (theme ? theme->Name : "none"));
    } else {
      return false;
    }
    return true;
  }
  bool GetPublishedProperty(const std::string& name, forms::TPropValue* v) const override {
    if (name == "UIStyle") *v = static_cast<int64_t>(style);
    else if (name == "FileTheme") *v = static_cast<forms::TPersistent*>(theme);
    else return false;
    return true;
  }
  S style = S::Ocean;
  TskFileTheme* theme = nullptr;

 private:
  std::vector<std::string>* log_;
  std::string cls_;
};

TEST_F(FileThemeTest, StylesPassToChildrenAndReloadedThemesReachControls) {
  std::vector<std::string> log;
  forms::TForm form(nullptr);
  EXPECT_EQ(GetOwnerFormUIStyle(&form), S::Ocean);
  EXPECT_EQ(GetOwnerFormUIStyle(nullptr), S::Ocean);
  auto* a = new Themed(&form, &log);
  a->Name = "a";
  a->SetParent(&form);
  auto* plain = new forms::TPanel(&form);
  plain->SetParent(&form);
  auto* b = new Themed(&form, &log);
  b->Name = "b";
  b->SetParent(&form);
  auto* theme = new TskFileTheme(&form);
  theme->Name = "theme";
  ApplyThemeToChildren(&form, S::Ember, theme);
  EXPECT_EQ(log, (std::vector<std::string>{"a.FileTheme=theme", "a.UIStyle=4", "b.FileTheme=theme", "b.UIStyle=4"}));
  // A form's style is that of its first TskForm child.
  auto* skinForm = new Themed(&form, &log, "TskForm");
  skinForm->Name = "skinForm";
  skinForm->style = S::Glacier;
  skinForm->SetParent(&form);
  EXPECT_EQ(GetOwnerFormUIStyle(&form), S::Glacier);
  // A theme file read for a form makes its skinned components read again.
  log.clear();
  Save(work_ + "/ok.sk", Archive());
  theme->SetThemeFile("ok.sk");
  ASSERT_TRUE(theme->Ready());
  EXPECT_EQ(log, (std::vector<std::string>{"a.FileTheme=none", "a.FileTheme=theme", "b.FileTheme=none",
                                           "b.FileTheme=theme"}));
}

}  // namespace
}  // namespace skin
