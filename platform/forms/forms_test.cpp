// The framework over the Win32 layer: object model, routing of mouse and
// keys in the framework's order, focus and tab order, painting, forms,
// modal loops and timers on the test clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/forms/stdctrls.h"
#include "platform/forms/threads.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

namespace pt = platform::testing;

namespace forms {
namespace {

class FormsTest : public pt::PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    pt::TakeClock(10000);
    Application->Reset();
  }
  void TearDown() override {
    delete form_;
    form_ = nullptr;
    Application->Reset();
    pt::Reset();
    PlatformTest::TearDown();
  }
  TForm* MakeForm() {
    form_ = new TForm(nullptr);
    form_->SetBounds(100, 100, 300, 200);
    return form_;
  }
  TForm* form_ = nullptr;
};

// A windowed control that records what reached it.
class Probe : public TCustomControl {
 public:
  explicit Probe(TComponent* owner, std::vector<std::string>* log) : TCustomControl(owner), log_(log) {
    TabStop = true;
  }
  std::string ClassName() const override { return "Probe"; }
  std::string tag;
  bool takeEnter = false;
  char accel = 0;
  TColor fill = clLime;

 protected:
  void Paint() override {
    Canvas().Brush().Color = fill;
    Canvas().FillRect(ClientRect());
  }
  void Click() override { log_->push_back(tag + ":click"); }
  void MouseEnter() override { log_->push_back(tag + ":enter"); }
  void MouseLeave() override { log_->push_back(tag + ":leave"); }
  void KeyDown(WORD& key, TShiftState) override { log_->push_back(tag + ":key" + std::to_string(key)); }
  bool DialogKey(WORD key, TShiftState) override {
    log_->push_back(tag + ":dialog" + std::to_string(key));
    return takeEnter && key == VK_RETURN;
  }
  bool DialogChar(char ch) override {
    if (ch != accel) return false;
    log_->push_back(tag + ":accel");
    return true;
  }
  void FocusChanged(TWinControl* focused) override {
    log_->push_back(tag + ":focus->" + (focused ? static_cast<Probe*>(focused)->tag : "none"));
  }

 private:
  std::vector<std::string>* log_;
};

TEST_F(FormsTest, ComponentsAreFreedByTheirOwnerAndNotifyRemoval) {
  struct Tracked : TComponent {
    Tracked(TComponent* owner, std::vector<std::string>* log, std::string n) : TComponent(owner), log(log) { Name = n; }
    ~Tracked() override { log->push_back("free " + Name); }
    void Notification(TComponent* c, TOperation op) override {
      if (op == TOperation::opRemove) log->push_back(Name + " heard " + c->Name);
    }
    std::vector<std::string>* log;
  };
  std::vector<std::string> log;
  auto* owner = new Tracked(nullptr, &log, "owner");
  auto* a = new Tracked(owner, &log, "a");
  auto* b = new Tracked(owner, &log, "b");
  auto* watcher = new Tracked(nullptr, &log, "watcher");
  a->FreeNotification(watcher);
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(b->Owner(), owner);
  delete owner;
  // A destructor's own part runs first, then the owned components go, last
  // first; whoever asked hears of the removal.
  EXPECT_EQ(log, (std::vector<std::string>{"free owner", "free b", "free a", "watcher heard a"}));
  delete watcher;
  // Published properties by name.
  TLabel label(nullptr);
  EXPECT_TRUE(label.HasPublishedProperty("Name"));
  EXPECT_FALSE(label.HasPublishedProperty("UIStyle"));
  EXPECT_EQ(label.ClassName(), "TLabel");
}

TEST_F(FormsTest, ClicksReachTheControlUnderThePointAndEnterLeaveFollowTheMouse) {
  std::vector<std::string> log;
  MakeForm();
  auto* left = new Probe(form_, &log);
  left->tag = "left";
  left->SetParent(form_);
  left->SetBounds(10, 10, 50, 30);
  auto* label = new TLabel(form_);
  label->SetParent(form_);
  label->SetBounds(100, 10, 40, 20);
  int labelClicks = 0;
  label->OnClick = [&](TObject*) { ++labelClicks; };
  form_->Show();
  Application->ProcessMessages();
  log.clear();
  pt::InjectMouseMove(20, 20);
  pt::InjectClick(pt::Button::Left, 20, 20);
  pt::InjectClick(pt::Button::Left, 110, 15);
  pt::InjectMouseMove(5, 150);
  Application->ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"left:enter", "left:click", "left:leave"}));
  EXPECT_EQ(labelClicks, 1);
  // Down inside, up outside: no click; the capture kept the mouse meanwhile.
  log.clear();
  pt::InjectButtonDown(pt::Button::Left, 20, 20);
  pt::InjectButtonUp(pt::Button::Left, 200, 150);
  Application->ProcessMessages();
  EXPECT_EQ(std::count(log.begin(), log.end(), "left:click"), 0);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(FormsTest, FocusTabOrderAndKeysInTheFrameworksOrder) {
  std::vector<std::string> log;
  MakeForm();
  Probe* p[3];
  for (int i = 0; i < 3; ++i) {
    p[i] = new Probe(form_, &log);
    p[i]->tag = std::string(1, static_cast<char>('a' + i));
    p[i]->SetParent(form_);
    p[i]->SetBounds(10 + 60 * i, 10, 50, 30);
  }
  p[1]->TabStop = false;
  p[2]->SetTabOrder(0);  // c, a, b
  form_->Show();
  Application->ProcessMessages();
  // The first control in tab order takes the focus; every control hears.
  EXPECT_TRUE(p[2]->Focused());
  EXPECT_EQ(form_->ActiveControl(), p[2]);
  EXPECT_NE(std::find(log.begin(), log.end(), "b:focus->c"), log.end());
  pt::InjectKey(VK_TAB);
  Application->ProcessMessages();
  EXPECT_TRUE(p[0]->Focused());
  pt::InjectKey(VK_TAB);  // b is no tab stop: back to c
  Application->ProcessMessages();
  EXPECT_TRUE(p[2]->Focused());
  pt::InjectKeyDown(VK_SHIFT);
  pt::InjectKey(VK_TAB);
  pt::InjectKeyUp(VK_SHIFT);
  Application->ProcessMessages();
  EXPECT_TRUE(p[0]->Focused());

  // Key preview first; a key it clears goes no further.
  std::vector<std::string> order;
  form_->KeyPreview = true;
  form_->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    log.push_back("form:key" + std::to_string(key));
    if (key == 'Z') key = 0;
  };
  log.clear();
  pt::InjectKey('Q');
  pt::InjectKey('Z');
  Application->ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"form:key81", "a:key81", "form:key90"}));
  // Enter is a dialog key: offered to the controls in order until one takes it.
  p[1]->takeEnter = true;
  log.clear();
  pt::InjectKey(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"form:key13", "a:dialog13", "b:dialog13"}));
  // Accelerators after the preview and before the focused control.
  p[2]->accel = 'x';
  log.clear();
  pt::InjectChar('x');
  Application->ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"c:accel"}));
}

TEST_F(FormsTest, PaintComposesControlsIntoTheFormsPicture) {
  std::vector<std::string> log;
  MakeForm();
  form_->SetColor(clBlue);
  auto* probe = new Probe(form_, &log);
  probe->SetParent(form_);
  probe->SetBounds(10, 20, 30, 40);
  auto* panel = new TPanel(form_);
  panel->SetParent(form_);
  panel->BevelOuter = TBevelCut::bvNone;
  panel->SetAlign(TAlign::alBottom);
  panel->SetHeight(50);
  panel->SetColor(clRed);
  form_->Show();
  Application->ProcessMessages();
  pt::Picture pic = pt::WindowPixels(form_->Handle());
  ASSERT_EQ(pic.width, 300);
  EXPECT_EQ(pic.At(0, 0), ColorToPixel(clBlue));
  EXPECT_EQ(pic.At(10, 20), ColorToPixel(clLime));
  EXPECT_EQ(pic.At(39, 59), ColorToPixel(clLime));
  EXPECT_EQ(pic.At(40, 60), ColorToPixel(clBlue));
  // Aligned to the bottom across the whole width.
  EXPECT_EQ(panel->Top(), 150);
  EXPECT_EQ(panel->Width(), 300);
  EXPECT_EQ(pic.At(0, 150), ColorToPixel(clRed));
  EXPECT_EQ(pic.At(299, 199), ColorToPixel(clRed));
  // A change repaints at the next turn of the loop.
  probe->fill = clYellow;
  probe->Invalidate();
  Application->ProcessMessages();
  EXPECT_EQ(pt::WindowPixels(form_->Handle()).At(10, 20), ColorToPixel(clYellow));
}

TEST_F(FormsTest, LabelsWrapDownwardsAndImagesSizeThemselves) {
  MakeForm();
  auto* label = new TLabel(form_);
  label->SetParent(form_);
  TCanvas m;
  label->SetCaption("one two");
  EXPECT_EQ(label->Width(), m.TextWidth("one two"));
  EXPECT_EQ(label->Height(), m.TextHeight("W"));
  label->SetWidth(m.TextWidth("one"));
  label->SetWordWrap(true);
  EXPECT_EQ(label->Width(), m.TextWidth("one"));
  EXPECT_EQ(label->Height(), 2 * m.TextHeight("W"));

  auto* image = new TImage(form_);
  image->SetParent(form_);
  image->Picture().SetSize(7, 5);
  image->SetAutoSize(true);
  EXPECT_EQ(image->Width(), 7);
  EXPECT_EQ(image->Height(), 5);
}

TEST_F(FormsTest, ImageListsDrawMaskedAndGreyed) {
  TImageList list(nullptr);
  list.Width = 2;
  list.Height = 1;
  TBitmap strip(4, 1);
  strip.Canvas().SetPixel(0, 0, clFuchsia);
  strip.Canvas().SetPixel(1, 0, clBlack);
  strip.Canvas().SetPixel(2, 0, clWhite);
  strip.Canvas().SetPixel(3, 0, clNavy);
  EXPECT_EQ(list.AddMasked(strip, clFuchsia), 0);
  EXPECT_EQ(list.Count(), 2);
  TBitmap out(2, 1);
  out.Canvas().Brush().Color = clLime;
  out.Canvas().FillRect(Rect(0, 0, 2, 1));
  list.Draw(out.Canvas(), 0, 0, 0, true);
  EXPECT_EQ(out.Canvas().Pixel(0, 0), clLime);  // masked
  EXPECT_EQ(out.Canvas().Pixel(1, 0), clBlack);
  out.Canvas().FillRect(Rect(0, 0, 2, 1));
  list.Draw(out.Canvas(), 0, 0, 1, false);
  EXPECT_EQ(out.Canvas().Pixel(0, 0), clLime);  // light pixels vanish when greyed
  EXPECT_EQ(out.Canvas().Pixel(1, 0), clGray);
  list.Draw(out.Canvas(), 0, 0, 5, true);        // outside the list: nothing
}

TEST_F(FormsTest, ModalFormEndsOnModalResultAndTimersTick) {
  MakeForm();
  form_->Position = TPosition::poScreenCenter;
  TTimer timer(nullptr);
  timer.SetInterval(100);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 3) form_->SetModalResult(mrOk);
  };
  TTimer idle(nullptr);
  idle.SetInterval(0);
  int idleTicks = 0;
  idle.OnTimer = [&](TObject*) { ++idleTicks; };
  EXPECT_EQ(form_->ShowModal(), mrOk);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(idleTicks, 0);
  EXPECT_EQ(timeGetTime(), 10300u);
  EXPECT_FALSE(form_->Visible());
  EXPECT_EQ(form_->Left(), (1024 - 300) / 2);
  EXPECT_EQ(form_->Top(), (768 - 200) / 2);
  // Close on a modal form gives mrCancel.
  timer.OnTimer = [&](TObject*) { form_->Close(); };
  EXPECT_EQ(form_->ShowModal(), mrCancel);
}

TEST_F(FormsTest, MainFormCloseTerminatesAtTheNextTurn) {
  auto* main = Application->CreateForm<TForm>();
  int created = 0;
  EXPECT_EQ(Application->MainForm(), main);
  main->OnClose = [&](TObject*, TCloseAction& a) {
    ++created;
    a = TCloseAction::caHide;
  };
  main->Show();
  main->Close();
  EXPECT_FALSE(Application->Terminated());
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(created, 1);
  delete main;
  EXPECT_EQ(Application->MainForm(), nullptr);
}

// Minimising the main form minimises the application: its other shown forms
// go as owned windows go with their owner (told, then hidden, their Visible
// kept) and come back on restore, the one that was active active again.
// Another form minimises alone; the window manager's own minimise and
// restore of the main form do the same as ours.
TEST_F(FormsTest, MinimisingTheMainFormMinimisesTheApplication) {
  TForm* main = Application->CreateForm<TForm>();
  form_ = main;
  main->SetBounds(100, 100, 300, 200);
  auto* dialog = new TForm(main);
  dialog->SetBounds(150, 150, 200, 100);
  auto* never = new TForm(main);  // never shown: stays hidden
  auto* freed = new TForm(main);  // shown, then freed while minimised
  main->Show();
  dialog->Show();
  freed->Show();
  ShowWindow(dialog->Handle(), SW_SHOW);  // the dialog is active
  Application->ProcessMessages();
  ASSERT_EQ(GetActiveWindow(), dialog->Handle());
  // The main form's window alone owns the taskbar entry.
  EXPECT_TRUE(GetWindowLongPtrA(main->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_FALSE(GetWindowLongPtrA(dialog->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
  int minimised = 0, restored = 0;
  Application->OnMinimize = [&](TObject*) { ++minimised; };
  Application->OnRestore = [&](TObject*) { ++restored; };
  auto shows = [](HWND hwnd) {
    std::vector<std::pair<WPARAM, LPARAM>> got;
    for (const pt::DeliveredMessage& m : pt::DeliveredMessages()) {
      if (m.hwnd == hwnd && m.message == WM_SHOWWINDOW) got.push_back({m.wParam, m.lParam});
    }
    return got;
  };
  using Shows = std::vector<std::pair<WPARAM, LPARAM>>;

  for (bool fromOutside : {false, true}) {
    SCOPED_TRACE(fromOutside ? "by the window manager" : "by the system command");
    pt::ClearDeliveredMessages();
    if (fromOutside) {
      ShowWindow(main->Handle(), SW_MINIMIZE);
    } else {
      main->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }
    EXPECT_TRUE(IsIconic(main->Handle()));
    EXPECT_EQ(main->WindowState(), TWindowState::wsMinimized);
    EXPECT_TRUE(Application->Minimized());
    EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
    EXPECT_TRUE(dialog->Visible());
    EXPECT_EQ(shows(dialog->Handle()), (Shows{{FALSE, SW_PARENTCLOSING}}));
    EXPECT_TRUE(shows(never->Handle()).empty());
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(minimised, fromOutside ? 2 : 1);
    // A second minimise changes nothing.
    Application->Minimize();
    EXPECT_EQ(minimised, fromOutside ? 2 : 1);

    if (!fromOutside) {
      delete freed;
      freed = nullptr;
    }
    pt::ClearDeliveredMessages();
    if (fromOutside) {
      ShowWindow(main->Handle(), SW_SHOWNOACTIVATE);  // restored, as the display reports it
    } else {
      main->Perform(WM_SYSCOMMAND, SC_RESTORE, 0);
    }
    EXPECT_FALSE(IsIconic(main->Handle()));
    EXPECT_FALSE(Application->Minimized());
    EXPECT_TRUE(IsWindowVisible(dialog->Handle()));
    EXPECT_EQ(shows(dialog->Handle()), (Shows{{TRUE, SW_PARENTOPENING}}));
    EXPECT_FALSE(IsWindowVisible(never->Handle()));
    EXPECT_EQ(GetActiveWindow(), dialog->Handle());
    EXPECT_EQ(restored, fromOutside ? 2 : 1);
  }

  // Another form minimises on its own.
  dialog->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(dialog->Handle()));
  EXPECT_FALSE(IsIconic(main->Handle()));
  EXPECT_TRUE(IsWindowVisible(main->Handle()));
  EXPECT_FALSE(Application->Minimized());
  // A form hidden while the application is minimised stays hidden.
  dialog->Perform(WM_SYSCOMMAND, SC_RESTORE, 0);
  Application->Minimize();
  dialog->Hide();
  Application->Restore();
  EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
  EXPECT_TRUE(IsWindowVisible(main->Handle()));
  EXPECT_EQ(GetActiveWindow(), main->Handle());
}

TEST_F(FormsTest, WindowProcedureCanBeReplacedAndCallThePreviousOne) {
  MakeForm();
  auto* panel = new TPanel(form_);
  panel->SetParent(form_);
  int seen = 0;
  TWndMethod previous = panel->WindowProc;
  panel->WindowProc = [&](TMessage& m) {
    if (m.Msg == CM_TEXTCHANGED) ++seen;
    previous(m);
  };
  panel->SetCaption("x");
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(GetWindowLongPtrA(panel->Handle(), GWLP_USERDATA), reinterpret_cast<LONG_PTR>(panel));
}

TEST_F(FormsTest, AlphaBlendedFormsShowTheDesktopThrough) {
  MakeForm();
  form_->SetColor(clBlack);
  form_->SetAlphaBlendValue(51);
  form_->SetAlphaBlend(true);
  form_->Show();
  Application->ProcessMessages();
  pt::Picture screen = pt::ScreenPixels();
  uint32_t desktop = screen.At(0, 0);
  uint32_t over = screen.At(150, 150);
  for (int s : {0, 8, 16}) {
    int d = static_cast<int>((desktop >> s) & 0xFF);
    EXPECT_EQ(static_cast<int>((over >> s) & 0xFF), (d * 204 + 127) / 255);
  }
}

// A worker that queues faster than the loop runs: its requests run in order
// at the next message, and its wakes do not pile up in the queue (a video
// thread behind its clock once buried the repaints under them).
TEST_F(FormsTest, QueuedRequestsRunInOrderAndWakeTheLoopOncePerBatch) {
  class Worker : public TThread {
   public:
    explicit Worker(std::vector<int>* ran) : TThread(true), ran_(ran) {}
    ~Worker() override { WaitFor(); }

   protected:
    void Execute() override {
      for (int i = 0; i < 1000; ++i) Queue([ran = ran_, i] { ran->push_back(i); });
    }

   private:
    std::vector<int>* ran_;
  };
  std::vector<int> ran;
  for (int batch = 0; batch < 2; ++batch) {
    SCOPED_TRACE(batch);
    ran.clear();
    {
      Worker worker(&ran);
      worker.Resume();
      worker.WaitFor();
      EXPECT_TRUE(ran.empty());  // nothing runs before the loop does
      int messages = 0;
      while (Application->ProcessMessage()) ++messages;
      EXPECT_EQ(messages, 1);
    }
    ASSERT_EQ(ran.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(ran[size_t(i)], i);
  }
}

}  // namespace
}  // namespace forms
