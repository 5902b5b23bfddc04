// The launcher program: the launcher window as the main form, then the
// settings dialog, and the message loop until the window closes.
#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_link.h"

int main() {
  forms::TApplication* app = forms::Application;
  auto* launcher = app->CreateForm<launcher::TfrmLauncher>();
  launcher->frmSettings = launcher::CreateSettingsForm(launcher);
  app->Run();
  delete launcher->frmSettings;
  delete launcher;
  return 0;
}
