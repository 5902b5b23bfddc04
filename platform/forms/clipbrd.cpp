#include "platform/forms/clipbrd.h"

#include <cstring>

#include "platform/forms/appevnts.h"
#include "platform/win32/win32.h"

namespace forms {

// ---- TApplicationEvents ----------------------------------------------------------------------

TApplicationEvents::TApplicationEvents(TComponent* owner) : TComponent(owner) { Application->HookMessages(this); }

TApplicationEvents::~TApplicationEvents() { Application->UnhookMessages(this); }

// ---- TClipboard ------------------------------------------------------------------------------

TClipboard& Clipboard() {
  static TClipboard clipboard;
  return clipboard;
}

void TClipboard::Open() {
  if (opened_ == 0 && !OpenClipboard(nullptr)) return;
  ++opened_;
}

void TClipboard::Close() {
  if (opened_ == 0) return;
  if (--opened_ == 0) CloseClipboard();
}

bool TClipboard::SetAsText(const std::string& text) {
  Open();
  if (opened_ == 0) return false;
  bool ok = false;
  if (EmptyClipboard()) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (void* p = h ? GlobalLock(h) : nullptr) {
      std::memcpy(p, text.c_str(), text.size() + 1);
      GlobalUnlock(h);
      ok = SetClipboardData(CF_TEXT, h) != nullptr;
      if (!ok) GlobalFree(h);
    }
  }
  Close();
  return ok;
}

std::string TClipboard::AsText() {
  Open();
  if (opened_ == 0) return {};
  std::string text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    if (const auto* p = static_cast<const char*>(GlobalLock(h))) {
      text.assign(p, strnlen(p, GlobalSize(h)));
      GlobalUnlock(h);
    }
  }
  Close();
  return text;
}

}  // namespace forms
