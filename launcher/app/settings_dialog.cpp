#include "launcher/app/settings_dialog.h"

#include <algorithm>
#include <cstdio>

#include "diag/brddiag.h"
#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_link.h"
#include "platform/forms/registry.h"
#include "platform/win32/win32.h"

namespace launcher {
namespace {

using skin::TskUIStyle;

constexpr uint32_t kStandardMode = 0x04000300;  // 1024 x 768

forms::TLabel* Label(forms::TComponent* owner, forms::TWinControl* parent, const char* text, int x, int y) {
  auto* label = new forms::TLabel(owner);
  label->SetParent(parent);
  label->SetTransparent(true);
  label->SetLeft(x);
  label->SetTop(y);
  label->SetCaption(text);
  return label;
}

skin::TskComboBox* List(forms::TComponent* owner, forms::TWinControl* parent, int x, int y) {
  auto* box = new skin::TskComboBox(owner);
  box->SetParent(parent);
  box->SetUIStyle(TskUIStyle::Ocean);
  box->SetStyle(forms::TComboBoxStyle::csDropDownList);
  box->SetBounds(x, y, 201, box->Height());
  return box;
}

skin::TskGroupBox* Group(forms::TComponent* owner, forms::TWinControl* parent, const char* text, int y, int height) {
  auto* group = new skin::TskGroupBox(owner);
  group->SetParent(parent);
  group->SetUIStyle(TskUIStyle::Ocean);
  group->SetBounds(8, y, 377, height);
  group->SetCaption(text);
  return group;
}

skin::TskCheckBox* Check(forms::TComponent* owner, forms::TWinControl* parent, const char* text, int x, int y) {
  auto* box = new skin::TskCheckBox(owner);
  box->SetParent(parent);
  box->SetUIStyle(TskUIStyle::Pearl);
  box->SetAutoSize(false);
  box->SetTransparent(true);
  box->SetBounds(x, y, 129, 19);
  box->SetCaption(text);
  return box;
}

// A value the dialog reads: absent unless it is a 4-byte DWORD (or the key
// is not there at all). Anything else is named once on standard error, and
// the next save replaces it.
bool ReadDword(forms::TRegistry& reg, bool opened, const char* name, int32_t* value) {
  if (!opened || !reg.ValueExists(name)) return false;
  if (reg.ReadInteger(name, value)) return true;
  std::fprintf(stderr, "Settings: the registry value \"%s\" is not a 4-byte DWORD; taken as absent\n", name);
  return false;
}

// The item whose value is `value`, or -1.
int IndexOfValue(const forms::TCustomComboBox* box, uint32_t value) {
  for (int i = 0; i < box->Items().Count(); ++i) {
    if (static_cast<uint32_t>(box->Items().Objects(i)) == value) return i;
  }
  return -1;
}

}  // namespace

TfrmSettings::TfrmSettings(forms::TComponent* owner) : forms::TForm(owner) {
  Name = "frmSettings";
  BorderStyle = forms::TFormBorderStyle::bsDialog;
  SetClientWidth(395);
  SetClientHeight(340);
  SetAlphaBlend(true);
  SetAlphaBlendValue(220);
  SetCaption("Settings");

  skForm = new skin::TskForm(this);
  skForm->Name = "skForm";
  skForm->SetUIStyle(TskUIStyle::Ocean);
  skForm->SetCaption("Settings");
  skForm->SetTitleBarDrawAppIcon(false);
  // A modal dialog of fixed size: closing is all its title bar offers, as
  // on the library's message box.
  skin::TskTitleBar* bar = skForm->TitleBar();
  while (bar->ButtonCount() > 0) bar->DeleteButton(0);
  bar->AddButton()->SetButtonType(skin::TskTitleBarBtnType::skClose);

  gbLanguage = Group(this, skForm, "Language", 28, 49);
  lbLanguage = Label(this, gbLanguage, "In-Game Language:", 24, 20);
  cbLang = List(this, gbLanguage, 152, 16);
  cbLang->AutoDropDown = true;
  cbLang->DropDownCount = 10;

  gbVideo = Group(this, skForm, "Video Performance", 84, 141);
  lbVideoRes = Label(this, gbVideo, "Screen Resolution:", 24, 20);
  cbVideoRes = List(this, gbVideo, 152, 16);
  lbVideoPerf = Label(this, gbVideo, "Performance setting:", 24, 44);
  cbVideoP = List(this, gbVideo, 152, 40);
  lbAA = Label(this, gbVideo, "Anti-Aliasing:", 24, 68);
  cbAA = List(this, gbVideo, 152, 64);
  cbPPL = Check(this, gbVideo, "    Per-Pixel Lighting", 48, 88);
  cbPE = Check(this, gbVideo, "    Post Effects", 192, 88);
  cbShadow = Check(this, gbVideo, "    Shadows", 48, 108);
  cbShadowFilt = Check(this, gbVideo, "    Shadow Filtering", 192, 108);

  gbSound = Group(this, skForm, "Sound Performance", 232, 57);
  lbSBuf0 = Label(this, gbSound, "Sound Buffer Size:", 24, 20);
  lbSBuf1 = Label(this, gbSound, "(Keep as low as possible)", 24, 36);
  cbSoundBuffer = List(this, gbSound, 152, 16);
  for (const char* item : {"50 ms (Default)", "75 ms", "100 ms", "125 ms", "150 ms", "175 ms", "200 ms"}) {
    cbSoundBuffer->AddItem(item);
  }
  cbSoundBuffer->SetItemIndex(0);

  btnSave = new skin::TskButton(this);
  btnSave->SetParent(skForm);
  btnSave->SetUIStyle(TskUIStyle::Ocean);
  btnSave->SetBounds(120, 302, 161, 27);
  btnSave->SetCaption("Save Settings");
  btnSave->SetCursor(forms::crHandPoint);

  skDialog = new skin::TskMessageDialog(this);
  skDialog->Caption = "Error";
  skDialog->SetUIStyle(TskUIStyle::Ocean);
  skDialog->IconType = skin::TskIconType::skNone;
  skDialog->Position = forms::TPosition::poOwnerFormCenter;

  // The designed state is the first preset's.
  for (skin::TskCheckBox* box : {cbPPL, cbPE, cbShadow, cbShadowFilt}) box->SetChecked(true);
  EnableCustomVideo(false);

  OnShow = [this](forms::TObject* s) { FormShow(s); };
  OnClose = [this](forms::TObject* s, forms::TCloseAction& a) { FormClose(s, a); };
  btnSave->OnClick = [this](forms::TObject* s) { btnSaveClick(s); };
  btnSave->OnMouseEnter = [this](forms::TObject* s) { btnSaveMouseEnter(s); };
  cbVideoP->OnChange = [this](forms::TObject* s) { cbVideoPChange(s); };
  cbVideoRes->OnChange = [this](forms::TObject* s) { cbVideoPChange(s); };
}

void TfrmSettings::FormShow(forms::TObject*) {
  cbAA->SetItemIndex(0);
  cbVideoP->SetItemIndex(0);
  cbLang->SetItemIndex(0);
  cbVideoRes->ClearItems();
  uint32_t modes[100] = {};
  const int32_t count = std::clamp<int32_t>(GetResolutions(modes, 100), 0, 100);
  const std::string standardTag = Host.ResStandard ? Host.ResStandard() : std::string();
  const std::string recommendedTag = Host.ResRecommended ? Host.ResRecommended() : std::string();
  int standard = -1;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t mode = modes[i];
    const uint32_t w = mode >> 16, h = mode & 0xFFFF;
    std::string text(" ");
    text.append(std::to_string(w)).append(" x ").append(std::to_string(h));
    const bool isStandard = mode == kStandardMode;
    if (isStandard) {
      text.append("  (").append(standardTag).append(")");
    } else if (w != 0 && static_cast<double>(h) / static_cast<double>(w) == 0.75) {
      text.append("  (").append(recommendedTag).append(")");
    }
    const int index = cbVideoRes->AddItem(text, static_cast<intptr_t>(mode));
    if (isStandard && standard < 0) standard = index;
  }
  cbVideoRes->SetItemIndex(standard >= 0 ? standard : 0);
  LoadSettings(true);
}

void TfrmSettings::LoadSettings(bool first) {
  forms::TRegistry reg;
  reg.RootKey = HKEY_CURRENT_USER;
  // Without the key (every first run) the presets still apply: its values
  // are all absent.
  const bool opened = reg.OpenKeyReadOnly(kSettingsKey);
  int32_t value = 0;
  // An index outside the list selects none, and the presets leave the
  // controls as they are.
  if (first && ReadDword(reg, opened, "Performance", &value)) cbVideoP->SetItemIndex(value);

  struct Preset {
    bool ppl, pe, shadow, shadowFilt;
  };
  static constexpr Preset kPresets[4] = {
      {true, true, true, true}, {true, true, true, true}, {true, false, true, false}, {false, false, false, false}};
  const int preset = cbVideoP->ItemIndex();
  if (preset >= 0 && preset < 4) {
    const Preset& p = kPresets[preset];
    cbAA->SetItemIndex(1);
    cbPPL->SetChecked(p.ppl);
    cbPE->SetChecked(p.pe);
    cbShadow->SetChecked(p.shadow);
    cbShadowFilt->SetChecked(p.shadowFilt);
    EnableCustomVideo(false);
  } else if (preset == 4) {
    if (ReadDword(reg, opened, "Antialiasing", &value)) cbAA->SetItemIndex(value / 2);
    const std::pair<skin::TskCheckBox*, const char*> switches[] = {
        {cbPPL, "PerPixelLighting"}, {cbPE, "PostEffects"}, {cbShadow, "Shadows"}, {cbShadowFilt, "ShadowFilter"}};
    for (const auto& [box, name] : switches) {
      if (ReadDword(reg, opened, name, &value)) box->SetChecked(value == 1);
    }
    EnableCustomVideo(true);
  }

  if (!first) return;
  if (ReadDword(reg, opened, "SoundBuffer", &value)) {
    const int32_t v = std::max<int32_t>(2, value);
    cbSoundBuffer->SetItemIndex(v < 9 ? v - 2 : 6);
  }
  if (ReadDword(reg, opened, "Language", &value)) {
    cbLang->SetItemIndex(IndexOfValue(cbLang, static_cast<uint32_t>(value)));
  } else {
    cbLang->SetItemIndex(0);
  }
  if (ReadDword(reg, opened, "ScreenRes", &value)) {
    cbVideoRes->SetItemIndex(IndexOfValue(cbVideoRes, static_cast<uint32_t>(value)));
  }
}

void TfrmSettings::EnableCustomVideo(bool enabled) {
  cbAA->SetEnabled(enabled);
  for (skin::TskCheckBox* box : {cbPPL, cbPE, cbShadow, cbShadowFilt}) box->SetEnabled(enabled);
}

void TfrmSettings::cbVideoPChange(forms::TObject*) { LoadSettings(false); }

void TfrmSettings::btnSaveClick(forms::TObject*) {
  if (Host.PlayClick) Host.PlayClick();
  forms::TRegistry reg;
  reg.RootKey = HKEY_CURRENT_USER;
  bool ok = reg.OpenKey(kSettingsKey, true);
  auto put = [&](const char* name, int32_t value) { ok = ok && reg.WriteInteger(name, value); };
  // A list without a selection leaves its value as it was.
  if (cbVideoP->ItemIndex() >= 0) put("Performance", cbVideoP->ItemIndex());
  if (cbAA->ItemIndex() >= 0) put("Antialiasing", cbAA->ItemIndex() * 2);
  put("PerPixelLighting", cbPPL->Checked() ? 1 : 0);
  put("PostEffects", cbPE->Checked() ? 1 : 0);
  put("Shadows", cbShadow->Checked() ? 1 : 0);
  put("ShadowFilter", cbShadowFilt->Checked() ? 1 : 0);
  const int language = cbLang->ItemIndex();
  if (language == 0) {
    // The system's language: the engine falls back to it without a value.
    if (ok && reg.ValueExists("Language")) ok = reg.DeleteValue("Language");
  } else if (language > 0) {
    put("Language", static_cast<int32_t>(cbLang->Items().Objects(language)));
  }
  if (cbVideoRes->ItemIndex() >= 0) {
    put("ScreenRes", static_cast<int32_t>(static_cast<uint32_t>(cbVideoRes->Items().Objects(cbVideoRes->ItemIndex()))));
  }
  if (cbSoundBuffer->ItemIndex() >= 0) put("SoundBuffer", cbSoundBuffer->ItemIndex() + 2);
  const LONG error = reg.LastError();
  reg.CloseKey();
  if (!ok) {
    // Closing as if it had worked would lose the user's choice silently.
    skDialog->Text = "The settings could not be saved: " + forms::SysErrorMessage(error);
    skDialog->Execute();
    return;
  }
  SetModalResult(forms::mrOk);
}

void TfrmSettings::btnSaveMouseEnter(forms::TObject*) {
  if (Host.PlayHover) Host.PlayHover();
}

void TfrmSettings::FormClose(forms::TObject*, forms::TCloseAction& action) { action = forms::TCloseAction::caHide; }

// ---- The launcher window's side ------------------------------------------------

forms::TCustomForm* CreateSettingsForm(TfrmLauncher* launcher) {
  auto* dialog = forms::Application->CreateForm<TfrmSettings>();
  dialog->Host.ResRecommended = [launcher] { return launcher->resRecommended; };
  dialog->Host.ResStandard = [launcher] { return launcher->resStandard; };
  dialog->Host.PlayClick = [launcher] { launcher->PlayClickSound(); };
  dialog->Host.PlayHover = [launcher] { launcher->PlayHoverSound(); };
  return dialog;
}

void ApplySettingsText(forms::TCustomForm* form, std::string_view key, const std::string& text) {
  auto* d = dynamic_cast<TfrmSettings*>(form);
  if (!d) return;
  const std::pair<std::string_view, forms::TControl*> captions[] = {
      {"gblang", d->gbLanguage}, {"lblang", d->lbLanguage}, {"gbvideo", d->gbVideo}, {"lbvres", d->lbVideoRes},
      {"lbvperf", d->lbVideoPerf}, {"lbaa", d->lbAA}, {"ppl", d->cbPPL}, {"pe", d->cbPE}, {"shad", d->cbShadow},
      {"shfilt", d->cbShadowFilt}, {"gbsound", d->gbSound}, {"sbuf0", d->lbSBuf0}, {"sbuf1", d->lbSBuf1},
      {"save", d->btnSave}};
  for (const auto& [name, control] : captions) {
    if (key == name) control->SetCaption(text);
  }
  if (key == "caption") {
    d->SetCaption(text);
    d->skForm->SetCaption(text);
  } else if (key == "deflang") {
    d->cbLang->AddItem(text);
  } else if (key == "vperf") {
    d->cbVideoP->AddItem(text);
  } else if (key == "aa") {
    d->cbAA->AddItem(text);
  }
}

void AddSettingsLanguage(forms::TCustomForm* form, const std::string& name, int number) {
  if (auto* d = dynamic_cast<TfrmSettings*>(form)) d->cbLang->AddItem(name, number);
}

}  // namespace launcher
