#include "platform/win32/win32.h"

extern "C" BOOL GetComboBoxInfo(HWND hwndCombo, PCOMBOBOXINFO info) {
  if (!info || info->cbSize != sizeof(COMBOBOXINFO) || !IsWindow(hwndCombo)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A window that does not know the message answers 0 and leaves the
  // structure alone.
  COMBOBOXINFO answer{};
  answer.cbSize = sizeof answer;
  if (!SendMessageA(hwndCombo, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&answer))) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *info = answer;
  return TRUE;
}
