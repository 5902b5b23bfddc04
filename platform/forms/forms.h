// Forms (top-level windows with border styles, positions, modal showing,
// the active control and key preview), the application object and the
// screen.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/forms/controls.h"

namespace forms {

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                       poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

// System commands a form carries out (WM_SYSCOMMAND).
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

class TMainMenu;
class TApplicationEvents;

struct TSizeConstraints {
  int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
};

// A form's window has no non-client area unless its window procedure
// answers WM_NCCALCSIZE with one (a skinned form draws its own frame); its
// client rectangle is what the window layer says.
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;
  std::string ClassName() const override { return "TCustomForm"; }

  TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
  TPosition Position = TPosition::poDesigned;
  TSizeConstraints Constraints;
  bool KeyPreview = false;
  int BorderWidth = 0;
  bool Scaled = true;
  bool AutoScroll = false;
  // The form's own menu (none on skinned forms, which draw a menu bar).
  TMainMenu* Menu = nullptr;

  TRect ClientRect() const override;
  void SetClientWidth(int w) { SetWidth(w + Width() - ClientWidth()); }
  void SetClientHeight(int h) { SetHeight(h + Height() - ClientHeight()); }
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  void Close();
  // Shows the form and runs the message loop until ModalResult is set.
  int ShowModal();
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }
  bool Modal() const { return modal_; }
  bool Active() const;
  // Maximised covers the work area; normal brings the bounds back from
  // before.
  TWindowState WindowState() const;
  void SetWindowState(TWindowState state);

  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* control);
  // Focuses the next (or previous) control in tab order after `current`.
  bool SelectNext(TWinControl* current, bool forward, bool checkTabStop);

  bool AlphaBlend() const { return alphaBlend_; }
  void SetAlphaBlend(bool on);
  BYTE AlphaBlendValue() const { return alphaValue_; }
  void SetAlphaBlendValue(BYTE value);

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;

  // Runs OnCreate; the application calls it when it made the form.
  void DoCreate();
  // Sent to every control of the form when the focus moved to `control`.
  void FocusControlChanged(TWinControl* control);
  // Offers a dialog key (or an accelerator) to the form's controls until
  // one takes it.
  bool BroadcastDialogKey(WORD key, TShiftState shift);
  bool BroadcastDialogChar(char ch);
  void DoKeyDownPreview(WORD& key, TShiftState shift);

 protected:
  void WndProc(TMessage& m) override;
  DWORD WindowStyle() const override;
  DWORD WindowExStyle() const override;
  HWND ParentWindow() const override { return nullptr; }
  bool DialogKey(WORD key, TShiftState shift) override;
  void EraseBackground(TCanvas& canvas) override;
  void PaintWindow(HDC dc) override;

 private:
  void PlaceOnShow();
  void Activated();
  void DragByCaption(int screenX, int screenY);

  int modalResult_ = 0;
  bool modal_ = false;
  TWindowState windowState_ = TWindowState::wsNormal;
  TRect normalBounds_;
  TWinControl* activeControl_ = nullptr;
  bool alphaBlend_ = false;
  BYTE alphaValue_ = 255;
  bool placed_ = false;
  TCanvas paintCanvas_;
};

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* owner) : TCustomForm(owner) {}
  std::string ClassName() const override { return "TForm"; }
};

class TApplication : public TComponent {
 public:
  TApplication() : TComponent(nullptr) {}
  std::string ClassName() const override { return "TApplication"; }

  TCustomForm* MainForm() const { return mainForm_; }
  std::string Title;
  bool Terminated() const { return terminated_; }
  // Posts the quit message: the loop ends at its next turn.
  void Terminate();
  bool Active() const;

  // Makes a form owned by the application (the first becomes the main
  // form) and runs its OnCreate.
  template <class F>
  F* CreateForm() {
    F* form = new F(this);
    if (!mainForm_) SetMainForm(form);
    form->DoCreate();
    return form;
  }
  // The main form's window owns the application's taskbar entry.
  void SetMainForm(TCustomForm* form);
  // Minimising the application minimises the main form's window and hides
  // every other shown form (as owned windows go with their owner); restoring
  // brings them back and activates the window that was active. The window
  // manager minimising or restoring the main form does the same.
  void Minimize();
  void Restore();
  bool Minimized() const { return minimized_; }
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;
  // The message hooks of the application's events objects, in order.
  void HookMessages(TApplicationEvents* events);
  void UnhookMessages(TApplicationEvents* events);
  // Shows the main form and handles messages until terminated.
  void Run();
  // One message, or wait for one.
  void HandleMessage();
  void ProcessMessages();
  bool ProcessMessage();

  // The control under the mouse; enter and leave notices follow it.
  TControl* MouseControl() const { return mouseControl_; }
  void UpdateMouseControl();
  // Back to a fresh start for tests: main form, title, termination.
  void Reset();
  // A control without a window that holds the mouse through `window`.
  TControl* CaptureControl(TWinControl* window) const;
  void SetCaptureControl(TControl* control) { captureControl_ = control; }

 protected:
  void Notification(TComponent* c, TOperation op) override;

 private:
  friend class TControl;
  friend class TCustomForm;
  void ControlDestroyed(TControl* c);
  // The main form's window was minimised or restored, by us or from outside.
  void MainFormMinimized();
  void MainFormRestored();

  TCustomForm* mainForm_ = nullptr;
  bool minimized_ = false;
  std::vector<TCustomForm*> hiddenByMinimize_;
  HWND activeBeforeMinimize_ = nullptr;
  HWND restoredActive_ = nullptr;
  bool terminated_ = false;
  TControl* mouseControl_ = nullptr;
  TControl* captureControl_ = nullptr;
  std::vector<TApplicationEvents*> hooks_;
};

class TScreen {
 public:
  int Width() const;
  int Height() const;
  TRect WorkAreaRect() const;
  TCursor Cursor = crDefault;
  HCURSOR Cursors(TCursor cursor) const;
  const std::vector<TCustomForm*>& Forms() const { return forms_; }
  TCustomForm* ActiveForm() const;

 private:
  friend class TCustomForm;
  std::vector<TCustomForm*> forms_;
};

// A modal box with the text; Enter, Escape or Space closes it.
void ShowMessage(const std::string& text);

extern TApplication* const Application;
extern TScreen* const Screen;

}  // namespace forms
