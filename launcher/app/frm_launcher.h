// The launcher window: a borderless 400 x 400 form playing the intro video
// with music, whose buttons resume or start the game (or run its
// installer), open the settings dialog, the publisher's and the forum's
// addresses and an additional installer, and close. Texts and paths come
// from "launcher.xml" beside the program, in the system's language.
#pragma once

#include <memory>
#include <string>

#include "launcher/app/bink_thread.h"
#include "launcher/app/media_trailer.h"
#include "launcher/app/paint_box.h"
#include "launcher/skin/sk_button.h"
#include "launcher/skin/sk_dialog.h"
#include "platform/fmod/fmod.h"
#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"

namespace launcher {

class TXmlStorage;

class TfrmLauncher : public forms::TForm {
 public:
  explicit TfrmLauncher(forms::TComponent* owner);
  ~TfrmLauncher() override;
  std::string ClassName() const override { return "TfrmLauncher"; }

  // Controls.
  forms::TImage* bgImage;
  TincaPaintBox* pb;
  forms::TLabel* lbCaption;
  skin::TskButton* btnResume;
  skin::TskButton* btnStart;
  skin::TskButton* btnSettings;
  skin::TskButton* btnPublisher;
  skin::TskButton* btnForums;
  skin::TskButton* btnAddInst;
  skin::TskButton* btnClose;
  skin::TskMessageDialog* skDialog;
  // The settings dialog (made after this window), null without one.
  forms::TCustomForm* frmSettings = nullptr;

  // Handlers.
  void FormCreate(forms::TObject* sender);
  void FormShow(forms::TObject* sender);
  void pbClear(forms::TObject* sender, forms::TCanvas& canvas, bool& stop, const forms::TRect& rect);
  void pbPaint(forms::TObject* sender, forms::TCanvas& canvas, bool& stop, const forms::TRect& rect);
  void btnResumeClick(forms::TObject* sender);
  void btnStartClick(forms::TObject* sender);
  void btnSettingsClick(forms::TObject* sender);
  void btnPublisherClick(forms::TObject* sender);
  void btnForumsClick(forms::TObject* sender);
  void btnAddInstClick(forms::TObject* sender);
  void btnCloseClick(forms::TObject* sender);
  void btnResumeMouseEnter(forms::TObject* sender);

  // The texts of a loaded "launcher.xml" in the system's language; false
  // (nothing read) when the root is not "launcherstr".
  bool ReadTexts(TXmlStorage& xml);
  void FillLanguageList();
  bool CheckSystemRequirements();
  void SetButtonsVisible(bool show);
  // The additional installer's path, empty when none was found.
  std::string LocateAddSetup();
  void PlayClickSound();
  void PlayHoverSound();

  // State (paths as Windows paths, texts in Windows-1252).
  std::string programFolder;
  std::string installFolder;
  std::string savegameFolder;
  std::string installText, exeName, pathRegName, savegameName, forumText, publisherUrl, addSetupName;
  std::string msgDefault, msgOs, msgDirectX, msgDirectX9, msgGraphics;
  std::string resRecommended, resStandard;
  bool installed = false;
  bool startAvailable = false;
  bool resumeAvailable = false;

  FMOD::System* soundSystem = nullptr;
  FMOD::Sound* musicSound = nullptr;
  FMOD::Channel* musicChannel = nullptr;
  FMOD::Sound* clickSound = nullptr;
  FMOD::Sound* hoverSound = nullptr;
  bool soundEnabled = false;
  forms::TTimer* soundTimer = nullptr;

  MediaBlocks media;
  // Whether the executable carried a trailer at all.
  bool mediaRead = false;
  std::unique_ptr<TBinkThread> binkThread;
  // False: FormShow makes the video thread but does not start it; tests
  // that take the clock step it themselves.
  bool resumeVideo = true;

 private:
  void ReadGroup(TXmlStorage& xml, const std::string& group);
  void ApplyKey(const std::string& group, const std::string& key, const std::string& text);
  // Opens a program with ShellExecuteA; false (after telling the user) when
  // it could not be started.
  bool Open(const std::string& file, const std::string& parameters, const std::string& folder);
  void ShowError(const std::string& text);
};

}  // namespace launcher
