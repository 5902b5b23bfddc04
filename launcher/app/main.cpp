// The launcher program: the launcher window as the main form, then the
// settings dialog, and the message loop until the window closes. Its
// windows are real SDL windows unless the program runs headless.
#include <cstdio>
#include <string>

#include "launcher/app/frm_launcher.h"
#include "launcher/app/settings_link.h"
#include "platform/display_sdl/display_sdl.h"

int main() {
  std::string error;
  if (!platform::display::Start(&error)) {
    std::fprintf(stderr, "launcher: cannot open a window: %s\n", error.c_str());
    return 1;
  }
  forms::TApplication* app = forms::Application;
  auto* launcher = app->CreateForm<launcher::TfrmLauncher>();
  launcher->frmSettings = launcher::CreateSettingsForm(launcher);
  app->Run();
  delete launcher->frmSettings;
  delete launcher;
  platform::display::Stop();
  return 0;
}
