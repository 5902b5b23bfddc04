// What the launcher window asks of its settings dialog (defined in the
// dialog's unit, settings_dialog.cpp).
#pragma once

#include <string>
#include <string_view>

namespace forms {
class TCustomForm;
}

namespace launcher {

class TfrmLauncher;

// Makes the dialog (after the launcher window, owned by the application);
// null when there is none.
forms::TCustomForm* CreateSettingsForm(TfrmLauncher* launcher);
// A key of the "settings" group of "launcher.xml" with its text (Windows
// 1252), in file order; keys of list items come once per item.
void ApplySettingsText(forms::TCustomForm* dialog, std::string_view key, const std::string& text);
// An installed language for the dialog's language list.
void AddSettingsLanguage(forms::TCustomForm* dialog, const std::string& name, int number);

}  // namespace launcher
