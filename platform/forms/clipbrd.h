// The clipboard object: plain text through the Win32 layer's clipboard.
#pragma once

#include <string>

namespace forms {

class TClipboard {
 public:
  void Open();
  void Close();
  // Empties the clipboard and puts the text on it as CF_TEXT. False when
  // the clipboard could not be opened or the text not placed.
  bool SetAsText(const std::string& text);
  std::string AsText();

 private:
  int opened_ = 0;
};

TClipboard& Clipboard();

}  // namespace forms
