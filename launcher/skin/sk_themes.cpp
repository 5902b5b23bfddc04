#include "launcher/skin/sk_themes.h"

#include <array>

#include "launcher/skin/sk_public.h"
#include "platform/forms/forms.h"
#include "platform/win32/win32.h"

namespace skin {

extern const forms::BitmapResource kBuiltInBitmaps[];
extern const size_t kBuiltInBitmapCount;

namespace {

// Bitmap slots hold an index into this table of resource-name parts; the
// style's word and an underscore go before it.
const char* const kBitmapParts[] = {"", "BUTTON", "CHECKBOX", "RADIOBUTTON", "TITLEBTN", "TITLE_LEFT", "TITLE_CLIENT", "TITLE_RIGHT"};
const char* const kStyleWords[] = {"", "PEARL", "MEADOW", "OCEAN", "EMBER", "GLACIER"};

// One kind per slot, shared by every style. Slots the library does not
// read (24, 26, 28 to 48) keep their numbers with colour and integer values
// for control kinds not built here.
constexpr std::array<uint8_t, kThemeSlotCount> kKinds = {
    tkBitmap, tkBoolean, tkBitmap, tkBitmap, tkBitmap, tkBoolean, tkInteger, tkInteger,  // 1-8
    tkInteger, tkBitmap, tkBitmap, tkBitmap, tkInteger, tkInteger, tkColor, tkColor,     // 9-16
    tkInteger, tkColor, tkColor, tkColor, tkColor, tkColor, tkColor, tkColor,            // 17-24
    tkColor, tkColor, tkColor, tkColor, tkColor, tkColor, tkColor, tkColor,              // 25-32
    tkColor, tkColor, tkColor, tkColor, tkColor, tkColor, tkColor, tkColor,              // 33-40
    tkInteger, tkInteger, tkInteger, tkInteger, tkBoolean, tkBoolean, tkBoolean, tkBoolean,  // 41-48
};

using Values = std::array<int32_t, kThemeSlotCount>;
// Slots 1 to 27 as the controls read them; the rest 0.
constexpr Values MakeValues(int32_t buttonTrans, int32_t titleTrans, int32_t leftOffset, int32_t rightOffset,
                            int32_t buttonTop, int32_t minWidth, int32_t round, int32_t formColor, int32_t border,
                            int32_t borderWidth, int32_t menuSelBorder, int32_t menuSel, int32_t menuSelFont,
                            int32_t menu, int32_t menuFont, int32_t menuBar, int32_t controlBorder, int32_t controlFont) {
  Values v{};
  v[0] = 1;  // BUTTON
  v[1] = buttonTrans;
  v[2] = 2;  // CHECKBOX
  v[3] = 3;  // RADIOBUTTON
  v[4] = 4;  // TITLEBTN
  v[5] = titleTrans;
  v[6] = leftOffset;
  v[7] = rightOffset;
  v[8] = buttonTop;
  v[9] = 5;   // TITLE_LEFT
  v[10] = 6;  // TITLE_CLIENT
  v[11] = 7;  // TITLE_RIGHT
  v[12] = minWidth;
  v[13] = round;
  v[14] = formColor;
  v[15] = border;
  v[16] = borderWidth;
  v[17] = menuSelBorder;
  v[18] = menuSel;
  v[19] = menuSelFont;
  v[20] = menu;
  v[21] = menuFont;
  v[22] = menuBar;
  v[24] = controlBorder;
  v[26] = controlFont;
  return v;
}

const std::array<Values, 5> kValues = {
    MakeValues(1, 0, 3, -2, 4, 130, 0, 0xE7E7E7, 0x7F7F7F, 1, 0xC47339, 0xC47339, 0xFFFFFF, 0x000000, 0x000000,
               0x000000, 0x7F7F7F, 0x000000),  // Pearl
    MakeValues(0, 0, 2, -2, 5, 150, 13, 0xDEEBEF, 0xC82C00, 3, 0xC66931, 0xEFD3C6, 0x000000, 0xFFFFFF, 0x000000,
               0xCED3D6, 0x686868, 0xCF4602),  // Meadow
    MakeValues(0, 0, 0, 0, 2, 130, 0, 0xE8E8E8, 0x000000, 1, 0xA04A44, 0xA04A44, 0xFFFFFF, 0xFFFFFF, 0x000000,
               0xCED3D6, 0x000000, 0x000000),  // Ocean
    MakeValues(0, 1, 0, 0, 2, 130, 0, 0xFBFBFB, 0x000000, 1, 0xC4302D, 0xC4302D, 0xFFFFFF, 0xFFFFFF, 0x000000,
               0xCED3D6, 0x000000, 0x000000),  // Ember
    MakeValues(1, 1, 4, -3, 6, 270, 11, 0xE7E7E7, 0x000000, 1, 0xEC5E5E, 0xEC5E5E, 0xFFFFFF, 0xE7E7E7, 0x000000,
               0xCED3D6, 0x000000, 0x000000),  // Glacier
};

bool BuiltIn(TskUIStyle style) {
  auto s = static_cast<int>(style);
  return s >= 1 && s <= 5;
}

std::string FileNamePart(const std::string& path) {
  size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

const char* const kSkinColorKeys[32] = {
    "SKIN2_TRANSCOLOR", "SKIN2_TITLEFONTCOLOR", "SKIN2_FORMCOLOR", "SKIN2_MENUBARSTARTCOLOR", "SKIN2_MENUBARENDCOLOR",
    "SKIN2_TOPSELECTEDMENUCOLOR", "SKIN2_TOPSELECTEDMENUBORDERCOLOR", "SKIN2_TOPSELECTEDMENUFONTCOLOR",
    "SKIN2_TOPMENUFONTCOLOR", "SKIN2_LEFTBARSTARTCOLOR", "SKIN2_LEFTBARENDCOLOR", "SKIN2_MENUITEMCOLOR",
    "SKIN2_MENUITEMFONTCOLOR", "SKIN2_SELECTEDMENUCOLOR", "SKIN2_SELECTEDMENUBORDERCOLOR",
    "SKIN2_SELECTEDMENUFONTCOLOR", "SKIN2_TOOLBARSTARTCOLOR", "SKIN2_TOOLBARENDCOLOR", "SKIN2_TOOLBARONCOLOR",
    "SKIN2_TOOLBARBORDERCOLOR", "SKIN2_TOOLBARDOWNCOLOR", "SKIN2_CONTROLCOLOR", "SKIN2_CONTROLBORDERCOLOR",
    "SKIN2_CONTROLFONTCOLOR", "SKIN2_BUTTONFONTCOLOR", "SKIN2_SCROLLBARCOLOR", "SKIN2_TABCONTROLCOLOR",
    "SKIN2_TABCONTROLBORDERCOLOR", "SKIN2_TABCONTROLACTIVEFONTCOLOR", "SKIN2_TABCONTROLINACTIVEFONTCOLOR",
    "SKIN2_SIDECHANNELCOLOR", "SKIN2_SIDECHANNELBORDERCOLOR"};

const char* const kSkinBitmapKeys[34] = {
    "SKIN2_TITLEBAR1", "SKIN2_TITLEBAR2", "SKIN2_TITLEBAR3", "SKIN2_TITLEBAR4", "SKIN2_TITLEBAR5",
    "SKIN2_FORMLEFTBORDER", "SKIN2_FORMRIGHTBORDER", "SKIN2_FORMBOTTOMBORDER1", "SKIN2_FORMBOTTOMBORDER2",
    "SKIN2_FORMBOTTOMBORDER3", "SKIN2_MINIMIZEDTITLE", "SKIN2_TITLEBUTTONS", "SKIN2_CHECKEDMENUICON", "SKIN2_MENUBAR",
    "SKIN2_TOOLBAR", "SKIN2_BUTTON", "SKIN2_CHECKBOX", "SKIN2_CHECKBOXLIST", "SKIN2_RADIOBUTTON",
    "SKIN2_PROGRESSBAR1", "SKIN2_PROGRESSBAR2", "SKIN2_PROGRESSBAR3", "SKIN2_PROGRESSBAR4", "SKIN2_TRACKBAR",
    "SKIN2_TRACKBARSLIDER", "SKIN2_TRACKBARVSLIDER", "SKIN2_SCROLLBARUPBUTTON", "SKIN2_SCROLLBAR",
    "SKIN2_SCROLLBARDOWNBUTTON", "SKIN2_TABCONTROL", "SKIN2_TABCONTROLLINE", "SKIN2_SIDECHANNELBAR",
    "SKIN2_SIDECHANNELTITLE", "SKIN2_SCROLLBUTTON"};

const char* const kSkinIntegerKeys[9] = {"SKIN2_TITLEBARICONPOSX",   "SKIN2_TITLEBARICONPOSY", "SKIN2_TITLEBARCAPTIONTOP",
                                         "SKIN2_TITLEBARBUTTONPOSX", "SKIN2_TITLEBARBUTTONPOSY", "SKIN2_TITLEBARREGIONMINY",
                                         "SKIN2_TITLEBARREGIONMAXY", "SKIN2_BOTTOMREGIONMINY", "SKIN2_BOTTOMREGIONMAXY"};

const char* const kSkinBooleanKeys[9] = {"SKIN2_TITLEFIVESECT", "SKIN2_BOTTOMBORDERTHREESECT", "SKIN2_TITLEBARNEEDREGION",
                                         "SKIN2_BOTTOMBORDERNEEDREGION", "SKIN2_TITLEBTNTRANS", "SKIN2_BUTTONTRANS",
                                         "SKIN2_CHECKBOXTRANS", "SKIN2_RADIOBUTTONTRANS", "SKIN2_TABCONTROLTRANS"};

void RegisterBuiltInBitmaps() { forms::RegisterBitmapResources(kBuiltInBitmaps, kBuiltInBitmapCount); }

int32_t GetThemeValue(TskUIStyle style, int slot, uint8_t* kind) {
  // A slot outside the table is treated as an invalid style.
  if (!BuiltIn(style) || slot < 1 || slot > kThemeSlotCount) {
    if (kind) *kind = 0;
    return -1;
  }
  if (kind) *kind = kKinds[static_cast<size_t>(slot - 1)];
  return kValues[static_cast<size_t>(style) - 1][static_cast<size_t>(slot - 1)];
}

forms::TColor GetThemeColor(TskUIStyle style, int slot) {
  uint8_t kind;
  int32_t v = GetThemeValue(style, slot, &kind);
  return BuiltIn(style) && slot >= 1 && slot <= kThemeSlotCount && kind == tkColor ? v : 0;
}

int32_t GetThemeBool(TskUIStyle style, int slot) {
  uint8_t kind;
  int32_t v = GetThemeValue(style, slot, &kind);
  return BuiltIn(style) && slot >= 1 && slot <= kThemeSlotCount && kind == tkBoolean ? v : 0;
}

int32_t GetThemeInt(TskUIStyle style, int slot) {
  uint8_t kind;
  int32_t v = GetThemeValue(style, slot, &kind);
  return kind == tkInteger && BuiltIn(style) && slot >= 1 && slot <= kThemeSlotCount ? v : -1;
}

void LoadThemeBitmap(TskUIStyle style, int slot, forms::TBitmap* bitmap) {
  uint8_t kind;
  int32_t v = GetThemeValue(style, slot, &kind);
  if (!bitmap || kind != tkBitmap || !BuiltIn(style) || v <= 0 || v >= static_cast<int32_t>(std::size(kBitmapParts))) return;
  RegisterBuiltInBitmaps();
  std::string name = std::string(kStyleWords[static_cast<int>(style)]) + "_" + kBitmapParts[v];
  bitmap->LoadFromResourceName(nullptr, name);
}

void LoadThemeBitmapFrame(TskUIStyle style, int slot, forms::TBitmap* graphic, int frame, int frameCount) {
  if (!graphic) return;
  if (frameCount == 0) {
    LoadThemeBitmap(style, slot, graphic);
    return;
  }
  forms::TBitmap whole;
  LoadThemeBitmap(style, slot, &whole);
  ExtractFrame(whole, *graphic, frameCount, frame);
}

// ---- File themes ------------------------------------------------------------------

bool TskFileThemeMgr::LoadFromFile(const std::string& fileName, const std::string& password) {
  if (!PathFileExistsA(fileName.c_str())) return false;
  reader_.reset();
  try {
    reader_ = std::make_unique<Tsk2SkinFileReader>(fileName, password);
  } catch (const ESkinFileError&) {
    reader_.reset();
    return false;
  }
  if (!reader_->Ready()) {
    reader_.reset();
    return false;
  }
  return true;
}

forms::TBitmap* TskFileThemeMgr::GetBitmap(int index) const {
  if (!reader_ || index < 0 || index >= 34) return nullptr;
  return reader_->GetBitmap(kSkinBitmapKeys[index]);
}

int32_t TskFileThemeMgr::GetColor(int index) const {
  if (!reader_) return 0;
  if (index < 0 || index >= 32) return -1;
  return reader_->GetInteger(kSkinColorKeys[index]);
}

int32_t TskFileThemeMgr::GetInt(int index) const {
  if (!reader_) return 0;
  if (index < 0 || index >= 9) return -1;
  return reader_->GetInteger(kSkinIntegerKeys[index]);
}

int32_t TskFileThemeMgr::GetBool(int index) const {
  if (!reader_ || index < 0 || index >= 9) return 0;
  return reader_->GetByte(kSkinBooleanKeys[index]);
}

TskFileTheme::TskFileTheme(forms::TComponent* owner) : TComponent(owner), mgr_(std::make_unique<TskFileThemeMgr>()) {}
TskFileTheme::~TskFileTheme() = default;

bool TskFileTheme::ResolveStyle(const TskFileTheme* theme, TskUIStyle style, TskUIStyle* effective) {
  if (style != TskUIStyle::FromThemeFile) {
    *effective = style;
    return false;
  }
  if (theme && theme->Ready()) {
    *effective = style;
    return true;
  }
  *effective = TskUIStyle::Ocean;
  return false;
}

void TskFileTheme::GetBitmapFrame(int index, forms::TBitmap* graphic, int frame, int frameCount) const {
  forms::TBitmap* whole = GetBitmap(index);
  if (!graphic || !whole) return;
  if (frame != 0 && frameCount != 0) {
    ExtractFrame(*whole, *graphic, frameCount, frame);
  } else {
    graphic->Assign(*whole);
  }
}

void TskFileTheme::SetThemeFile(const std::string& value) {
  const bool hadTheme = !themeFile_.empty();
  // As given, then by its file name in the program's folder, the Windows
  // folder and the System folder.
  std::string found;
  std::vector<std::string> candidates{value};
  const std::string name = FileNamePart(value);
  char buffer[MAX_PATH];
  if (DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH); n > 0 && n < MAX_PATH) {
    std::string program(buffer, n);
    size_t sep = program.find_last_of('\\');
    candidates.push_back(WithBackslash(sep == std::string::npos ? std::string() : program.substr(0, sep)) + name);
  }
  if (UINT n = GetWindowsDirectoryA(buffer, MAX_PATH); n > 0 && n < MAX_PATH) {
    candidates.push_back(WithBackslash(std::string(buffer, n)) + name);
  }
  if (UINT n = GetSystemDirectoryA(buffer, MAX_PATH); n > 0 && n < MAX_PATH) {
    candidates.push_back(WithBackslash(std::string(buffer, n)) + name);
  }
  for (const std::string& c : candidates) {
    if (!value.empty() && !name.empty() && PathFileExistsA(c.c_str())) {
      found = c;
      break;
    }
  }
  if (found.empty()) return;  // found nowhere: nothing changes
  themeFile_ = found;
  ready_ = mgr_->LoadFromFile(themeFile_, password_);
  auto* form = dynamic_cast<forms::TCustomForm*>(Owner());
  if (!ready_ || !form) return;
  // The form's skinned components read their values again, hidden meanwhile.
  const bool visible = form->Visible();
  const bool hide = !(ComponentState() & forms::csDesigning);
  if (hide) form->SetVisible(false);
  bool formUsesTheme = false;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    forms::TComponent* c = form->Components(i);
    forms::TPropValue v;
    bool holdsThis = c->GetPublishedProperty("FileTheme", &v) && std::holds_alternative<forms::TPersistent*>(v) &&
                     std::get<forms::TPersistent*>(v) == this;
    if (c->ClassName() == "TskForm" && holdsThis) formUsesTheme = true;
    if (c->ClassName().rfind("Tsk", 0) == 0 && c->HasPublishedProperty("FileTheme") && holdsThis) {
      c->SetPublishedProperty("FileTheme", static_cast<forms::TPersistent*>(nullptr));
      c->SetPublishedProperty("FileTheme", static_cast<forms::TPersistent*>(this));
    }
  }
  if (hide && visible) form->SetVisible(true);
  if (formUsesTheme && hadTheme) {
    SetWindowPos(form->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

void TskFileTheme::SetPassword(const std::string& value) {
  password_ = value;
  if (!value.empty()) SetThemeFile(themeFile_);
}

// ---- Passing styles on --------------------------------------------------------------

TskUIStyle GetOwnerFormUIStyle(forms::TComponent* component) {
  auto* form = dynamic_cast<forms::TCustomForm*>(component);
  if (!form) return TskUIStyle::Ocean;
  for (int i = 0; i < form->ControlCount(); ++i) {
    forms::TControl* c = form->Controls(i);
    forms::TPropValue v;
    if (c->ClassName() == "TskForm" && c->GetPublishedProperty("UIStyle", &v) && std::holds_alternative<int64_t>(v)) {
      return static_cast<TskUIStyle>(std::get<int64_t>(v));
    }
  }
  return TskUIStyle::Ocean;
}

void ApplyThemeToChildren(forms::TWinControl* container, TskUIStyle style, TskFileTheme* fileTheme) {
  if (!container) return;
  for (int i = 0; i < container->ControlCount(); ++i) {
    forms::TControl* c = container->Controls(i);
    if (!c->HasPublishedProperty("FileTheme") || !c->HasPublishedProperty("UIStyle")) continue;
    c->SetPublishedProperty("FileTheme", static_cast<forms::TPersistent*>(fileTheme));
    c->SetPublishedProperty("UIStyle", static_cast<int64_t>(style));
  }
}

}  // namespace skin
