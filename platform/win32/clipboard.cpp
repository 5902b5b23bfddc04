// The clipboard, held in the process, with the movable memory blocks its
// data travel in; and the fixed system colours of the classic scheme.
#include <cstring>
#include <map>
#include <memory>
#include <unordered_set>
#include <vector>

#include "platform/win32/win32.h"

namespace {

struct Block {
  std::vector<uint8_t> bytes;
  int locks = 0;
};

std::unordered_set<Block*>& Blocks() {
  static std::unordered_set<Block*> blocks;
  return blocks;
}

Block* FindBlock(HGLOBAL h) {
  auto* b = static_cast<Block*>(h);
  return Blocks().count(b) ? b : nullptr;
}

struct Clipboard {
  bool open = false;
  HWND owner = nullptr;
  std::map<UINT, HGLOBAL> data;  // the clipboard owns these blocks
};

Clipboard& Board() {
  static Clipboard board;
  return board;
}

void FreeData() {
  for (auto& [format, h] : Board().data) GlobalFree(h);
  Board().data.clear();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
  auto* b = new Block;
  b->bytes.assign(bytes, 0);
  Blocks().insert(b);
  return b;
}

LPVOID GlobalLock(HGLOBAL h) {
  Block* b = FindBlock(h);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ++b->locks;
  // A zero-byte block still hands out a valid address.
  static uint8_t empty;
  return b->bytes.empty() ? &empty : b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL h) {
  Block* b = FindBlock(h);
  if (!b || b->locks == 0) return FALSE;
  return --b->locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL h) {
  Block* b = FindBlock(h);
  return b ? b->bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL h) {
  Block* b = FindBlock(h);
  if (!b) return h;
  Blocks().erase(b);
  delete b;
  return nullptr;
}

BOOL OpenClipboard(HWND owner) {
  Clipboard& c = Board();
  if (c.open) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  c.open = true;
  c.owner = owner;
  return TRUE;
}

BOOL CloseClipboard() {
  Clipboard& c = Board();
  if (!c.open) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  c.open = false;
  return TRUE;
}

BOOL EmptyClipboard() {
  if (!Board().open) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FreeData();
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  Clipboard& c = Board();
  if (!c.open || !FindBlock(data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto it = c.data.find(format);
  if (it != c.data.end() && it->second != data) GlobalFree(it->second);
  c.data[format] = data;
  return data;
}

HANDLE GetClipboardData(UINT format) {
  Clipboard& c = Board();
  if (!c.open) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto it = c.data.find(format);
  return it == c.data.end() ? nullptr : it->second;
}

BOOL IsClipboardFormatAvailable(UINT format) { return Board().data.count(format) ? TRUE : FALSE; }

DWORD GetSysColor(int index) {
  // COLORREF 0x00BBGGRR of the classic scheme.
  switch (index) {
    case COLOR_ACTIVECAPTION: return 0x6A240A;
    case COLOR_INACTIVECAPTION: return 0x808080;
    case COLOR_MENU: return 0xC8D0D4;
    case COLOR_WINDOW: return 0xFFFFFF;
    case 7: return 0x000000;  // menu text
    case COLOR_WINDOWTEXT: return 0x000000;
    case COLOR_HIGHLIGHT: return 0x6A240A;
    case COLOR_HIGHLIGHTTEXT: return 0xFFFFFF;
    case COLOR_BTNFACE: return 0xC8D0D4;
    case COLOR_BTNSHADOW: return 0x808080;
    case COLOR_GRAYTEXT: return 0x808080;
    case COLOR_BTNTEXT: return 0x000000;
    case COLOR_INACTIVECAPTIONTEXT: return 0xC8D0D4;
    case COLOR_BTNHIGHLIGHT: return 0xFFFFFF;
    default: return 0xC8D0D4;
  }
}

namespace platform::detail {
void ResetClipboard() {
  FreeData();
  Board() = Clipboard{};
}
}  // namespace platform::detail
