#include "fuzz/skin_theme_apply.h"

#include "launcher/skin/sk_combobox.h"
#include "launcher/skin/sk_form.h"
#include "launcher/skin/sk_menu.h"
#include "launcher/skin/sk_panels.h"
#include "launcher/skin/sk_titlebar.h"
#include "platform/forms/forms.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace fuzz {

namespace {

// A whole themed form with a menu bar: its frame sizes, window region (the
// region limits) and non-client paint read the theme's keys, before and
// after a resize.
void ApplyToThemedForm(skin::TskFileTheme* theme) {
  auto* form = new forms::TForm(nullptr);
  form->SetBounds(20, 20, 300, 200);
  auto* sk = new skin::TskForm(form);
  auto* menu = new skin::TskMainMenu(form);
  for (const char* caption : {"&File", "&Help"}) {
    auto* item = new forms::TMenuItem(menu);
    item->SetCaption(caption);
    auto* sub = new forms::TMenuItem(menu);
    sub->SetCaption("&Open");
    item->Add(sub);
    menu->Items()->Add(item);
  }
  sk->SetMenu(menu);
  sk->SetFileTheme(theme);
  sk->SetUIStyle(skin::TskUIStyle::FromThemeFile);
  sk->SetCaption("Fuzzed form");
  form->Show();
  forms::Application->ProcessMessages();
  form->SetBounds(20, 20, 180, 90);
  sk->UpdateRegion();
  SendMessageA(form->Handle(), WM_NCPAINT, 1, 0);
  forms::Application->ProcessMessages();
  delete form;
}

}  // namespace

void ApplySkinTheme(const std::string& root, const std::string& windowsPath) {
  static const bool rooted = [&root] {
    platform::testing::SetPlatformRoot(root);
    return true;
  }();
  (void)rooted;
  auto* form = new forms::TForm(nullptr);
  form->SetBounds(10, 10, 260, 160);
  auto* theme = new skin::TskFileTheme(form);
  theme->SetThemeFile(windowsPath);
  if (theme->Ready()) {
    auto* bar = new skin::TskTitleBar(form);
    bar->SetParent(form);
    bar->SetFileTheme(theme);
    bar->SetUIStyle(skin::TskUIStyle::FromThemeFile);
    bar->SetCaption("Fuzzed theme with a caption");
    auto* box = new skin::TskGroupBox(form);
    box->SetParent(form);
    box->SetBounds(4, 30, 240, 100);
    auto* combo = new skin::TskComboBox(form);
    combo->SetParent(box);
    combo->SetBounds(8, 20, 120, 0);
    combo->AddItem("Item");
    box->SetFileTheme(theme);
    box->SetUIStyle(skin::TskUIStyle::FromThemeFile);
    form->Show();
    forms::Application->ProcessMessages();
    skin::TskPopupMenu menu(nullptr);
    menu.SetFileTheme(theme);
    menu.SetUIStyle(skin::TskUIStyle::FromThemeFile);
    for (const char* caption : {"&Open", "-", "&Close"}) {
      auto* item = new forms::TMenuItem(nullptr);
      item->SetCaption(caption);
      menu.Items()->Add(item);
    }
    forms::TBitmap probe(1, 1);
    const forms::TPoint size = menu.MeasurePopup(menu.Items(), probe.Canvas());
    if (size.X > 0 && size.Y > 0 && size.X < 4096 && size.Y < 4096) {
      forms::TBitmap drawn(size.X, size.Y);
      menu.PaintPopup(menu.Items(), drawn.Canvas(), 0);
    }
    ApplyToThemedForm(theme);
  }
  delete form;
  forms::Application->Reset();
}

}  // namespace fuzz
