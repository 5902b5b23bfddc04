// Stands in for the settings dialog until its unit is built: no dialog.
#include "launcher/app/settings_link.h"

namespace launcher {

forms::TCustomForm* CreateSettingsForm(TfrmLauncher*) { return nullptr; }
void ApplySettingsText(forms::TCustomForm*, std::string_view, const std::string&) {}
void AddSettingsLanguage(forms::TCustomForm*, const std::string&, int) {}

}  // namespace launcher
