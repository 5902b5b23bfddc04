// The SDL presenter on SDL's dummy video driver: a form's window shown with
// its picture, place and visibility; SDL's mouse, key, text and close events
// reaching the controls as the layer's messages; the cursor and the
// clipboard.
#include "platform/display_sdl/display_sdl.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/forms/combobox.h"
#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

// What the X, SDL and D-Bus libraries keep until the process ends.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libX11\nleak:libxcb\nleak:libSDL2\nleak:libdbus\n";
}

namespace platform::display {
namespace {

namespace pt = platform::testing;
using forms::Application;

class DisplaySdlTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();  // SDL_VIDEODRIVER=dummy
    Application->Reset();
    std::string error;
    ASSERT_TRUE(Start(&error)) << error;
    ASSERT_TRUE(Presenting());
    form_ = new forms::TForm(nullptr);
    form_->BorderStyle = forms::TFormBorderStyle::bsNone;
    form_->SetBounds(30, 40, 200, 120);
    form_->SetColor(0x00336699);
    panel_ = new forms::TPanel(form_);
    panel_->SetParent(form_);
    panel_->SetBounds(100, 50, 60, 40);
    panel_->SetColor(0x00CC8844);
    panel_->SetCursor(forms::crHandPoint);
    panel_->OnClick = [this](forms::TObject*) { ++clicks_; };
    panel_->OnDblClick = [this](forms::TObject*) { ++doubleClicks_; };
    form_->KeyPreview = true;
    form_->OnKeyDown = [this](forms::TObject*, WORD& key, forms::TShiftState shift) {
      keys_.push_back(key);
      shiftHeld_.push_back((shift & forms::ssShift) != 0 && GetKeyState(VK_SHIFT) < 0);
    };
    form_->OnKeyPress = [this](forms::TObject*, char& c) { chars_ += c; };
    form_->Show();
    Settle();
  }
  void TearDown() override {
    delete form_;
    Application->Reset();
    Stop();
    PlatformTest::TearDown();
  }
  // Handles everything waiting, then brings the real windows up to date.
  void Settle() {
    Application->ProcessMessages();
    Application->ProcessMessages();
  }
  uint32_t Id() { return SDL_GetWindowID(WindowOf(form_->Handle())); }
  void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  void Button(Uint32 type, int x, int y, Uint8 clicks) {
    SDL_Event e{};
    e.button.type = type;
    e.button.windowID = Id();
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = clicks;
    e.button.x = x;
    e.button.y = y;
    Push(e);
  }
  void Move(int x, int y) {
    SDL_Event e{};
    e.motion.type = SDL_MOUSEMOTION;
    e.motion.windowID = Id();
    e.motion.x = x;
    e.motion.y = y;
    Push(e);
  }
  void Key(Uint32 type, SDL_Keycode key, Uint16 mod) {
    SDL_Event e{};
    e.key.type = type;
    e.key.windowID = Id();
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    Push(e);
  }

  forms::TForm* form_ = nullptr;
  forms::TPanel* panel_ = nullptr;
  int clicks_ = 0, doubleClicks_ = 0;
  std::vector<WORD> keys_;
  std::vector<bool> shiftHeld_;
  std::string chars_;
};

TEST_F(DisplaySdlTest, WindowShowsThePictureInPlaceAndFollowsHiding) {
  SDL_Window* window = WindowOf(form_->Handle());
  ASSERT_NE(window, nullptr);
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(window, &x, &y);
  SDL_GetWindowSize(window, &w, &h);
  EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({30, 40, 200, 120}));
  EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_BORDERLESS);
  EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_HIDDEN);

  auto surfaceEqualsPicture = [&] {
    const pt::Picture picture = pt::WindowPixels(form_->Handle());
    SDL_Surface* s = SDL_GetWindowSurface(WindowOf(form_->Handle()));
    if (!s || s->w != picture.width || s->h != picture.height) return ::testing::AssertionFailure() << "size";
    std::vector<uint32_t> read(static_cast<size_t>(s->w) * static_cast<size_t>(s->h));
    SDL_ConvertPixels(s->w, s->h, s->format->format, s->pixels, s->pitch, SDL_PIXELFORMAT_XRGB8888, read.data(),
                      s->w * 4);
    for (uint32_t& p : read) p &= 0xFFFFFF;
    if (read != picture.pixels) return ::testing::AssertionFailure() << "pixels differ";
    return ::testing::AssertionSuccess();
  };
  EXPECT_TRUE(surfaceEqualsPicture());
  EXPECT_EQ(pt::WindowPixels(form_->Handle()).At(120, 70), 0x4488CCu);  // the panel, not a blank picture
  // A repaint reaches the window; so do a move and a new size.
  panel_->SetColor(0x0000FF00);
  form_->SetBounds(50, 60, 220, 130);
  Settle();
  EXPECT_TRUE(surfaceEqualsPicture());
  SDL_GetWindowPosition(window, &x, &y);
  EXPECT_EQ(x, 50);
  EXPECT_EQ(y, 60);
  form_->Hide();
  Settle();
  EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_HIDDEN);
}

TEST_F(DisplaySdlTest, MouseEventsReachTheControlUnderThePointer) {
  Move(110, 60);
  Button(SDL_MOUSEBUTTONDOWN, 110, 60, 1);
  Button(SDL_MOUSEBUTTONUP, 110, 60, 1);
  Settle();
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(CursorShown(), SDL_SYSTEM_CURSOR_HAND);
  // The second press of a double click, to a class that asks for them.
  Button(SDL_MOUSEBUTTONDOWN, 110, 60, 2);
  Button(SDL_MOUSEBUTTONUP, 110, 60, 2);
  Settle();
  EXPECT_EQ(doubleClicks_, 1);
  // Outside the panel: the form's, with the arrow.
  const int before = clicks_;
  Move(10, 10);
  Button(SDL_MOUSEBUTTONDOWN, 10, 10, 1);
  Button(SDL_MOUSEBUTTONUP, 10, 10, 1);
  Settle();
  EXPECT_EQ(clicks_, before);
  EXPECT_EQ(CursorShown(), SDL_SYSTEM_CURSOR_ARROW);
}

TEST_F(DisplaySdlTest, KeysTextAndClosing) {
  Key(SDL_KEYDOWN, SDLK_LSHIFT, KMOD_LSHIFT);
  Key(SDL_KEYDOWN, SDLK_a, KMOD_LSHIFT);
  Key(SDL_KEYUP, SDLK_a, KMOD_LSHIFT);
  Key(SDL_KEYUP, SDLK_LSHIFT, 0);
  SDL_Event text{};
  text.text.type = SDL_TEXTINPUT;
  text.text.windowID = Id();
  std::strcpy(text.text.text, "\xC3\xA9");  // é
  Push(text);
  Settle();
  EXPECT_EQ(keys_, (std::vector<WORD>{VK_SHIFT, 'A'}));
  EXPECT_EQ(shiftHeld_, (std::vector<bool>{true, true}));
  EXPECT_EQ(chars_, "A\xE9");
  EXPECT_GE(GetKeyState(VK_SHIFT), 0);

  // The clipboard's text goes to SDL's.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 6);
  std::memcpy(GlobalLock(block), "Hello", 6);
  GlobalUnlock(block);
  SetClipboardData(CF_TEXT, block);
  CloseClipboard();
  Settle();
  char* shared = SDL_GetClipboardText();
  EXPECT_STREQ(shared, "Hello");
  SDL_free(shared);

  bool closed = false;
  form_->OnClose = [&](forms::TObject*, forms::TCloseAction& action) {
    closed = true;
    action = forms::TCloseAction::caHide;
  };
  SDL_Event close{};
  close.window.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = Id();
  Push(close);
  Settle();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(form_->Visible());
}

// Minimised, a window stays with the window manager (an icon, the taskbar)
// to be restored from there: it is minimised, not hidden. Only the main
// form's window is on the taskbar. The window manager's own minimise and
// restore of the main window take the application's other windows along.
TEST_F(DisplaySdlTest, MinimisedMainWindowStaysWithTheWindowManager) {
  auto* main = Application->CreateForm<forms::TForm>();
  main->BorderStyle = forms::TFormBorderStyle::bsNone;
  main->SetBounds(300, 200, 150, 100);
  main->Show();
  Settle();
  SDL_Window* mainWindow = WindowOf(main->Handle());
  SDL_Window* other = WindowOf(form_->Handle());
  ASSERT_NE(mainWindow, nullptr);
  EXPECT_FALSE(SDL_GetWindowFlags(mainWindow) & SDL_WINDOW_SKIP_TASKBAR);
  EXPECT_TRUE(SDL_GetWindowFlags(other) & SDL_WINDOW_SKIP_TASKBAR);
  auto shown = [](SDL_Window* w) { return !(SDL_GetWindowFlags(w) & SDL_WINDOW_HIDDEN); };
  auto event = [&](Uint8 what) {
    SDL_Event e{};
    e.window.type = SDL_WINDOWEVENT;
    e.window.event = what;
    e.window.windowID = SDL_GetWindowID(mainWindow);
    Push(e);
    Settle();
  };
  for (bool byWindowManager : {false, true}) {
    SCOPED_TRACE(byWindowManager ? "by the window manager" : "by the program");
    if (byWindowManager) {
      event(SDL_WINDOWEVENT_MINIMIZED);
    } else {
      Application->Minimize();
      Settle();
    }
    EXPECT_TRUE(Application->Minimized());
    EXPECT_TRUE(IsIconic(main->Handle()));
    EXPECT_TRUE(shown(mainWindow));
    EXPECT_FALSE(shown(other));
    if (byWindowManager) {
      event(SDL_WINDOWEVENT_RESTORED);
    } else {
      Application->Restore();
      Settle();
    }
    EXPECT_FALSE(Application->Minimized());
    EXPECT_FALSE(IsIconic(main->Handle()));
    EXPECT_TRUE(shown(mainWindow));
    EXPECT_TRUE(shown(other));
  }
  delete main;
}

// A display without a window manager focuses every window it maps: the
// drop-down list, shown without activation, must not take the activation
// from its form (which would close the list at once).
TEST_F(DisplaySdlTest, DropDownListLeavesItsFormActive) {
  auto* box = new forms::TComboBox(form_);
  box->SetParent(form_);
  box->SetStyle(forms::TComboBoxStyle::csDropDownList);
  box->SetBounds(10, 10, 80, 0);
  for (const char* item : {"one", "two", "three"}) box->AddItem(item);
  box->SetItemIndex(0);
  Settle();
  ASSERT_EQ(GetActiveWindow(), form_->Handle());
  Button(SDL_MOUSEBUTTONDOWN, 20, 15, 1);
  Button(SDL_MOUSEBUTTONUP, 20, 15, 1);
  Settle();
  ASSERT_TRUE(box->DroppedDown());
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(box->Handle(), &info));
  SDL_Window* list = WindowOf(info.hwndList);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(SDL_GetWindowFlags(list) & SDL_WINDOW_POPUP_MENU);
  SDL_Event focus{};
  focus.window.type = SDL_WINDOWEVENT;
  focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  focus.window.windowID = Id();
  Push(focus);
  focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  focus.window.windowID = SDL_GetWindowID(list);
  Push(focus);
  Settle();
  EXPECT_EQ(GetActiveWindow(), form_->Handle());
  EXPECT_TRUE(box->DroppedDown());
  // The keyboard still works the list.
  Key(SDL_KEYDOWN, SDLK_DOWN, 0);
  Key(SDL_KEYUP, SDLK_DOWN, 0);
  Key(SDL_KEYDOWN, SDLK_RETURN, 0);
  Key(SDL_KEYUP, SDLK_RETURN, 0);
  Settle();
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_EQ(box->ItemIndex(), 1);
  // A loss of the focus to another program still deactivates.
  focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  focus.window.windowID = Id();
  Push(focus);
  Settle();
  EXPECT_EQ(GetActiveWindow(), nullptr);
}

}  // namespace
}  // namespace platform::display
