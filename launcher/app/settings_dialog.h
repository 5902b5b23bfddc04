// The launcher's modal settings dialog: language, screen resolution, the
// video performance preset with anti-aliasing and four switches, and the
// sound buffer, kept in the current user's settings key that the engine
// reads at start. The launcher window fills the texts and the language
// list, places the dialog over itself and shows it modally.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "launcher/skin/sk_button.h"
#include "launcher/skin/sk_combobox.h"
#include "launcher/skin/sk_dialog.h"
#include "launcher/skin/sk_form.h"
#include "launcher/skin/sk_panels.h"
#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"

namespace launcher {

// The settings key under the current user (the install folder's value lives
// under the same key of the local machine).
inline constexpr const char* kSettingsKey = "Software\\Brindlewerk\\Kestrelmoor";

// What the dialog takes from the launcher window, asked when needed (the
// window reads its texts after the dialog is made).
struct TSettingsHost {
  std::function<std::string()> ResRecommended;  // tag of the other 4:3 modes
  std::function<std::string()> ResStandard;     // tag of 1024 x 768
  std::function<void()> PlayClick;
  std::function<void()> PlayHover;
};

class TfrmSettings : public forms::TForm {
 public:
  explicit TfrmSettings(forms::TComponent* owner);
  std::string ClassName() const override { return "TfrmSettings"; }

  TSettingsHost Host;

  skin::TskForm* skForm;
  skin::TskGroupBox* gbLanguage;
  forms::TLabel* lbLanguage;
  skin::TskComboBox* cbLang;  // item values: language numbers (item 0 none)
  skin::TskGroupBox* gbVideo;
  forms::TLabel* lbVideoRes;
  skin::TskComboBox* cbVideoRes;  // item values: packed display modes
  forms::TLabel* lbVideoPerf;
  skin::TskComboBox* cbVideoP;
  forms::TLabel* lbAA;
  skin::TskComboBox* cbAA;
  skin::TskCheckBox* cbPPL;
  skin::TskCheckBox* cbPE;
  skin::TskCheckBox* cbShadow;
  skin::TskCheckBox* cbShadowFilt;
  skin::TskGroupBox* gbSound;
  forms::TLabel* lbSBuf0;
  forms::TLabel* lbSBuf1;
  skin::TskComboBox* cbSoundBuffer;
  skin::TskButton* btnSave;
  // Tells a failed save.
  skin::TskMessageDialog* skDialog;

  void FormShow(forms::TObject* sender);
  void FormClose(forms::TObject* sender, forms::TCloseAction& action);
  void btnSaveClick(forms::TObject* sender);
  void btnSaveMouseEnter(forms::TObject* sender);
  void cbVideoPChange(forms::TObject* sender);

  void LoadSettings(bool first);
  void EnableCustomVideo(bool enabled);
};

}  // namespace launcher
