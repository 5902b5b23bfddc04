// The settings dialog: display modes with their tags, the presets, what it
// reads from the settings key (also values of another type or outside the
// lists) and what it writes there as the engine reads it, and a failed save.
#include "launcher/app/settings_dialog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/d3d9/testing.h"
#include "platform/forms/forms.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace launcher {
namespace {

namespace pt = platform::testing;
using forms::Application;

class SettingsDialogTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(1000);
    Application->Reset();
    pt::AdapterProfile profile = pt::DefaultAdapterProfile();
    profile.modes.clear();
    for (auto [w, h, hz] : {std::tuple{800u, 600u, 60u}, {1024u, 768u, 60u}, {1024u, 768u, 75u}, {1280u, 960u, 60u},
                            {1280u, 1024u, 60u}, {1600u, 1200u, 60u}}) {
      profile.modes.push_back({w, h, hz, D3DFMT_X8R8G8B8});
    }
    pt::SetAdapterProfile(profile);
    dlg_ = new TfrmSettings(nullptr);
    dlg_->Host.ResRecommended = [] { return std::string("Recommended"); };
    dlg_->Host.ResStandard = [] { return std::string("Standard"); };
    dlg_->Host.PlayClick = [this] { ++clicks_; };
    dlg_->Host.PlayHover = [this] { ++hovers_; };
    for (const char* p : {"Highest", "High", "Medium", "Low", "Custom"}) dlg_->cbVideoP->AddItem(p);
    for (const char* a : {"Off", "2x", "4x", "6x"}) dlg_->cbAA->AddItem(a);
    dlg_->cbLang->AddItem("System language");
    dlg_->cbLang->AddItem("English", 9);
    dlg_->cbLang->AddItem("German", 7);
  }
  void TearDown() override {
    delete dlg_;
    Application->Reset();
    PlatformTest::TearDown();
  }
  HKEY Key() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSettingsKey, &key), ERROR_SUCCESS);
    return key;
  }
  void Put(const char* name, int32_t value) {
    HKEY key = Key();
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // As the engine's configuration reader takes it: a REG_DWORD of 4 bytes.
  std::optional<int32_t> Get(const char* name) {
    HKEY key = Key();
    DWORD type = 0, size = 4;
    int32_t value = 0;
    LONG err = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (err != ERROR_SUCCESS) return std::nullopt;
    EXPECT_EQ(type, REG_DWORD) << name;
    EXPECT_EQ(size, 4u) << name;
    return value;
  }
  void Open() {
    dlg_->Show();
    Application->ProcessMessages();
  }
  void Reopen() {
    dlg_->Hide();
    Open();
  }
  std::string Selected(skin::TskComboBox* box) {
    return box->ItemIndex() < 0 ? "(none)" : box->Items().Strings(box->ItemIndex());
  }
  std::vector<bool> Switches() {
    return {dlg_->cbPPL->Checked(), dlg_->cbPE->Checked(), dlg_->cbShadow->Checked(), dlg_->cbShadowFilt->Checked()};
  }

  TfrmSettings* dlg_ = nullptr;
  int clicks_ = 0, hovers_ = 0;
};

TEST_F(SettingsDialogTest, ResolutionsWithTheirTagsListedOnceWhenOpenedTwice) {
  const std::vector<std::string> expected = {" 1024 x 768  (Standard)", " 1280 x 960  (Recommended)", " 1280 x 1024",
                                             " 1600 x 1200  (Recommended)"};
  const std::vector<uint32_t> modes = {0x04000300, 0x050003C0, 0x05000400, 0x064004B0};
  for (int pass = 0; pass < 2; ++pass) {
    pass ? Reopen() : Open();
    ASSERT_EQ(dlg_->cbVideoRes->Items().Count(), 4);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(dlg_->cbVideoRes->Items().Strings(i), expected[i]);
      EXPECT_EQ(static_cast<uint32_t>(dlg_->cbVideoRes->Items().Objects(i)), modes[i]);
    }
    EXPECT_EQ(dlg_->cbVideoRes->ItemIndex(), 0);
  }
  // Without 1024 x 768 the first mode is chosen; a stored mode wins.
  pt::AdapterProfile profile = pt::CurrentAdapterProfile();
  profile.modes.erase(profile.modes.begin() + 1, profile.modes.begin() + 3);
  pt::SetAdapterProfile(profile);
  Reopen();
  EXPECT_EQ(Selected(dlg_->cbVideoRes), " 1280 x 960  (Recommended)");
  Put("ScreenRes", 0x064004B0);
  Reopen();
  EXPECT_EQ(Selected(dlg_->cbVideoRes), " 1600 x 1200  (Recommended)");
}

TEST_F(SettingsDialogTest, PresetsSetTheVideoControls) {
  // The custom preset's stored values: 4 is the third level, only 1 is on,
  // and an absent switch keeps its state.
  Put("Antialiasing", 4);
  Put("PerPixelLighting", 1);
  Put("PostEffects", 0);
  Put("Shadows", 2);
  struct Case {
    int preset;
    int aa;
    std::vector<bool> switches;
    bool custom;
  };
  const Case cases[] = {
      {4, 2, {true, false, false, true}, true},  // ShadowFilter absent: as designed, on
      {0, 1, {true, true, true, true}, false},
      {3, 1, {false, false, false, false}, false},
      {1, 1, {true, true, true, true}, false},
      {2, 1, {true, false, true, false}, false},
  };
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.preset);
    dlg_->cbVideoP->SetItemIndex(c.preset);
    dlg_->cbVideoPChange(dlg_->cbVideoP);
    EXPECT_EQ(dlg_->cbAA->ItemIndex(), c.aa);
    EXPECT_EQ(Switches(), c.switches);
    EXPECT_EQ(dlg_->cbAA->Enabled(), c.custom);
    EXPECT_EQ(dlg_->cbShadowFilt->Enabled(), c.custom);
  }
  // The stored preset is taken at the first load only.
  Put("Performance", 4);
  Reopen();
  EXPECT_EQ(dlg_->cbVideoP->ItemIndex(), 4);
  EXPECT_EQ(dlg_->cbAA->ItemIndex(), 2);
  EXPECT_TRUE(dlg_->cbPPL->Enabled());
}

// A first run: no settings key at all. The presets still set the controls,
// and what Save writes is what the dialog shows when opened again.
TEST_F(SettingsDialogTest, PresetsWorkWithoutTheSettingsKey) {
  HKEY probe = nullptr;
  ASSERT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &probe), ERROR_SUCCESS);
  Open();
  EXPECT_EQ(dlg_->cbVideoP->ItemIndex(), 0);
  EXPECT_EQ(dlg_->cbAA->ItemIndex(), 1);
  EXPECT_EQ(Selected(dlg_->cbSoundBuffer), "50 ms (Default)");
  EXPECT_EQ(dlg_->cbLang->ItemIndex(), 0);
  EXPECT_EQ(dlg_->cbVideoRes->ItemIndex(), 0);
  dlg_->cbVideoP->SetItemIndex(3);
  dlg_->cbVideoPChange(dlg_->cbVideoP);
  EXPECT_EQ(Switches(), (std::vector<bool>{false, false, false, false}));
  EXPECT_FALSE(dlg_->cbAA->Enabled());
  dlg_->cbVideoP->SetItemIndex(4);
  dlg_->cbVideoPChange(dlg_->cbVideoP);
  EXPECT_TRUE(dlg_->cbAA->Enabled());
  EXPECT_TRUE(dlg_->cbShadow->Enabled());
  EXPECT_EQ(Switches(), (std::vector<bool>{false, false, false, false}));  // nothing stored: kept
  dlg_->cbVideoP->SetItemIndex(2);
  dlg_->cbVideoPChange(dlg_->cbVideoP);
  dlg_->btnSave->Click();
  EXPECT_EQ(Get("Performance"), 2);
  EXPECT_EQ(Get("Antialiasing"), 2);
  EXPECT_EQ(Get("PerPixelLighting"), 1);
  EXPECT_EQ(Get("PostEffects"), 0);
  EXPECT_EQ(Get("Shadows"), 1);
  EXPECT_EQ(Get("ShadowFilter"), 0);
  Reopen();
  EXPECT_EQ(dlg_->cbVideoP->ItemIndex(), 2);
  EXPECT_EQ(Switches(), (std::vector<bool>{true, false, true, false}));
}

TEST_F(SettingsDialogTest, SoundBufferAndLanguageFromTheKey) {
  struct Case {
    int32_t stored;
    const char* shown;
  };
  for (const Case& c : {Case{1, "50 ms (Default)"}, {-40, "50 ms (Default)"}, {2, "50 ms (Default)"}, {5, "125 ms"},
                        {8, "200 ms"}, {20, "200 ms"}}) {
    Put("SoundBuffer", c.stored);
    Reopen();
    EXPECT_EQ(Selected(dlg_->cbSoundBuffer), c.shown) << c.stored;
  }
  Open();
  EXPECT_EQ(dlg_->cbLang->ItemIndex(), 0);  // no value: the system's language
  Put("Language", 7);
  Reopen();
  EXPECT_EQ(Selected(dlg_->cbLang), "German");
}

TEST_F(SettingsDialogTest, SaveWritesDwordsAsTheEngineReadsThem) {
  Open();
  dlg_->cbVideoP->SetItemIndex(4);
  dlg_->cbVideoPChange(dlg_->cbVideoP);
  dlg_->cbAA->SetItemIndex(3);
  dlg_->cbPE->SetChecked(false);
  dlg_->cbLang->SetItemIndex(1);
  dlg_->cbVideoRes->SetItemIndex(2);
  dlg_->cbSoundBuffer->SetItemIndex(2);  // 100 ms
  dlg_->btnSave->Click();
  EXPECT_EQ(dlg_->ModalResult(), forms::mrOk);
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(Get("Performance"), 4);
  EXPECT_EQ(Get("Antialiasing"), 6);
  EXPECT_EQ(Get("PerPixelLighting"), 1);
  EXPECT_EQ(Get("PostEffects"), 0);
  EXPECT_EQ(Get("Shadows"), 1);
  EXPECT_EQ(Get("ShadowFilter"), 1);
  EXPECT_EQ(Get("Language"), 9);
  EXPECT_EQ(Get("ScreenRes"), 0x05000400);
  EXPECT_EQ(Get("SoundBuffer"), 4);
  // The first language deletes the value, so the engine takes the system's.
  dlg_->cbLang->SetItemIndex(0);
  dlg_->btnSave->Click();
  EXPECT_EQ(Get("Language"), std::nullopt);
  EXPECT_EQ(Get("SoundBuffer"), 4);
}

TEST_F(SettingsDialogTest, ValuesOutsideTheListsAreLeftAsTheyWere) {
  Put("Performance", 9);
  Put("ScreenRes", 0x03200258);  // 800 x 600: not offered
  Put("Language", 31);
  Open();
  EXPECT_EQ(dlg_->cbVideoP->ItemIndex(), -1);
  EXPECT_EQ(dlg_->cbVideoRes->ItemIndex(), -1);
  EXPECT_EQ(dlg_->cbLang->ItemIndex(), -1);
  dlg_->btnSave->Click();
  EXPECT_EQ(Get("Performance"), 9);
  EXPECT_EQ(Get("ScreenRes"), 0x03200258);
  EXPECT_EQ(Get("Language"), 31);
  // A stored level beyond the list: no level, and none written.
  Put("Performance", 4);
  Put("Antialiasing", 40);
  Reopen();
  EXPECT_EQ(dlg_->cbAA->ItemIndex(), -1);
  dlg_->btnSave->Click();
  EXPECT_EQ(Get("Antialiasing"), 40);
  // No modes at all: an empty list, and ScreenRes stays.
  pt::AdapterProfile profile = pt::CurrentAdapterProfile();
  profile.modes.resize(1);  // 800 x 600
  pt::SetAdapterProfile(profile);
  Reopen();
  EXPECT_EQ(dlg_->cbVideoRes->Items().Count(), 0);
  dlg_->btnSave->Click();
  EXPECT_EQ(Get("ScreenRes"), 0x03200258);
}

TEST_F(SettingsDialogTest, ValuesOfAnotherTypeAreAbsentAndReplacedOnSave) {
  HKEY key = Key();
  const char text[] = "4";
  ASSERT_EQ(RegSetValueExA(key, "Performance", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
            ERROR_SUCCESS);
  const BYTE shortValue[2] = {5, 0};
  ASSERT_EQ(RegSetValueExA(key, "SoundBuffer", 0, REG_DWORD, shortValue, 2), ERROR_SUCCESS);
  RegCloseKey(key);
  ::testing::internal::CaptureStderr();
  Open();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("\"Performance\""), std::string::npos) << err;
  EXPECT_NE(err.find("\"SoundBuffer\""), std::string::npos) << err;
  EXPECT_EQ(dlg_->cbVideoP->ItemIndex(), 0);
  EXPECT_EQ(dlg_->cbSoundBuffer->ItemIndex(), 0);
  dlg_->btnSave->Click();
  EXPECT_EQ(Get("Performance"), 0);
  EXPECT_EQ(Get("SoundBuffer"), 2);
}

TEST_F(SettingsDialogTest, ShownModallySavesOnTheButtonAndAFailedSaveSaysWhy) {
  Put("Shadows", 0);
  // The button's middle in the dialog's window; the user moves there first.
  const int x = 120 + 80, y = 302 + 13;
  pt::InjectMouseMove(x, y);
  pt::InjectClick(pt::Button::Left, x, y);
  EXPECT_EQ(dlg_->ShowModal(), forms::mrOk);
  EXPECT_FALSE(dlg_->Visible());
  EXPECT_EQ(hovers_, 1);
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(Get("Shadows"), 1);

  Put("Shadows", 0);
  pt::FailRegistryWrites(true);
  Open();
  pt::InjectKey(VK_RETURN);  // closes the message box
  dlg_->btnSave->Click();
  EXPECT_EQ(dlg_->skDialog->Text,
            "The settings could not be saved: The configuration registry key could not be written.");
  EXPECT_EQ(dlg_->ModalResult(), forms::mrNone);
  EXPECT_TRUE(dlg_->Visible());
  pt::FailRegistryWrites(false);
  EXPECT_EQ(Get("Shadows"), 0);
}

}  // namespace
}  // namespace launcher
