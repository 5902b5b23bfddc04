// Themes: the five built-in styles (a value table compiled in, bitmaps from
// the program's own resources), file themes read from skin archives, and
// passing a style from a form on to its children.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "launcher/skin/skin_reader.h"
#include "platform/forms/controls.h"
#include "platform/forms/graphics.h"

namespace skin {

// The message a themed form answers with the width of its file theme's
// left border (at least 4), or 0.
constexpr UINT kLeftBorderQuery = 9923;

enum class TskUIStyle : uint8_t { FromThemeFile = 0, Pearl = 1, Meadow = 2, Ocean = 3, Ember = 4, Glacier = 5 };

// Slot kinds and the slots the controls read (numbered from 1).
enum TskThemeKind : uint8_t { tkInteger = 0, tkColor = 1, tkBitmap = 2, tkBoolean = 3 };
enum TskThemeSlot : int {
  tsButtonBitmap = 1,
  tsButtonTransparent = 2,
  tsCheckBoxBitmap = 3,
  tsRadioButtonBitmap = 4,
  tsTitleButtonsBitmap = 5,
  tsTitleButtonTransparent = 6,
  tsTitleLeftButtonOffset = 7,
  tsTitleRightButtonOffset = 8,
  tsTitleButtonTop = 9,
  tsTitleLeftBitmap = 10,
  tsTitleClientBitmap = 11,
  tsTitleRightBitmap = 12,
  tsFormMinWidth = 13,
  tsRoundCorner = 14,
  tsFormColor = 15,
  tsBorderColor = 16,
  tsBorderWidth = 17,
  tsMenuSelectedBorderColor = 18,
  tsMenuSelectedColor = 19,
  tsMenuSelectedFontColor = 20,
  tsMenuColor = 21,
  tsMenuFontColor = 22,
  tsMenuBarColor = 23,
  tsControlBorderColor = 25,
  tsControlFontColor = 27,
};
constexpr int kThemeSlotCount = 48;

// The raw value and the slot's kind; -1 and kind 0 for a style outside 1
// to 5 or a slot outside 1 to 48.
int32_t GetThemeValue(TskUIStyle style, int slot, uint8_t* kind);
forms::TColor GetThemeColor(TskUIStyle style, int slot);  // 0 unless a colour slot
int32_t GetThemeBool(TskUIStyle style, int slot);         // 0 unless a boolean slot
int32_t GetThemeInt(TskUIStyle style, int slot);          // -1 unless an integer slot
// The slot's bitmap resource into `bitmap` (nothing for other slots).
void LoadThemeBitmap(TskUIStyle style, int slot, forms::TBitmap* bitmap);
// Frame `frame` of `frameCount` equal frames; a count of 0 loads it whole.
void LoadThemeBitmapFrame(TskUIStyle style, int slot, forms::TBitmap* graphic, int frame, int frameCount);
// The bitmap resource table of the built-in styles.
void RegisterBuiltInBitmaps();

// The skin keys of file themes, by group.
extern const char* const kSkinColorKeys[32];
extern const char* const kSkinBitmapKeys[34];
extern const char* const kSkinIntegerKeys[9];
extern const char* const kSkinBooleanKeys[9];
enum TskSkinBitmapKey : int { skTitleButtons = 11, skButton = 15, skCheckBox = 16, skRadioButton = 18 };
enum TskSkinColorKey : int {
  skFormColor = 2,
  skLeftBarStartColor = 9,
  skMenuItemColor = 11,
  skMenuItemFontColor = 12,
  skSelectedMenuColor = 13,
  skSelectedMenuBorderColor = 14,
  skSelectedMenuFontColor = 15,
  skControlFontColor = 23,
  skButtonFontColor = 24
};
enum TskSkinBooleanKey : int { skTitleButtonTrans = 4, skButtonTrans = 5, skCheckBoxTrans = 6, skRadioButtonTrans = 7 };

class TskFileThemeMgr : public forms::TObject {
 public:
  std::string ClassName() const override { return "TskFileThemeMgr"; }
  // Whether a skin was read; a missing file keeps the current reader.
  bool LoadFromFile(const std::string& fileName, const std::string& password);
  forms::TBitmap* GetBitmap(int index) const;
  int32_t GetColor(int index) const;
  int32_t GetInt(int index) const;
  int32_t GetBool(int index) const;
  const Tsk2SkinFileReader* Reader() const { return reader_.get(); }

 private:
  std::unique_ptr<Tsk2SkinFileReader> reader_;
};

class TskFileTheme : public forms::TComponent {
 public:
  explicit TskFileTheme(forms::TComponent* owner);
  ~TskFileTheme() override;
  std::string ClassName() const override { return "TskFileTheme"; }
  std::vector<std::string> PublishedProperties() const override {
    return {"Name", "Tag", "ThemeFile", "Password", "Ready"};
  }

  std::string ThemeFile() const { return themeFile_; }
  void SetThemeFile(const std::string& value);
  std::string Password() const { return password_; }
  void SetPassword(const std::string& value);
  bool Ready() const { return ready_; }
  void SetReady(bool) {}  // reports only

  // True when the control reads the file theme; otherwise `effective` is
  // the built-in style to read (Ocean for a file style without a ready
  // theme).
  static bool ResolveStyle(const TskFileTheme* theme, TskUIStyle style, TskUIStyle* effective);
  forms::TBitmap* GetBitmap(int index) const { return mgr_->GetBitmap(index); }
  int32_t GetColor(int index) const { return mgr_->GetColor(index); }
  int32_t GetInt(int index) const { return mgr_->GetInt(index); }
  int32_t GetBool(int index) const { return mgr_->GetBool(index); }
  // Frame `frame` of `frameCount`; with either 0 the whole bitmap.
  void GetBitmapFrame(int index, forms::TBitmap* graphic, int frame, int frameCount) const;

 private:
  std::string themeFile_;
  std::string password_;
  bool ready_ = false;
  std::unique_ptr<TskFileThemeMgr> mgr_;
};

// The UIStyle of the first TskForm among a form's direct child controls;
// Ocean otherwise.
TskUIStyle GetOwnerFormUIStyle(forms::TComponent* component);
// Sets FileTheme, then UIStyle, on every direct child control that
// publishes both.
void ApplyThemeToChildren(forms::TWinControl* container, TskUIStyle style, TskFileTheme* fileTheme);

}  // namespace skin
