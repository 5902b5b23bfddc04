// The reader of the launcher's text file: a document tree and a cursor that
// enters children by index, goes back to the parent and reads the current
// node's name and text. Children are every child node, comments included.
// Texts come out resolved: the parser resolves character and entity
// references once, and nothing resolves them again.
#pragma once

#include <memory>
#include <string>

#include "platform/win32/windows_types.h"

class TiXmlDocument;
class TiXmlNode;

namespace launcher {

class TXmlStorage {
 public:
  TXmlStorage();
  ~TXmlStorage();
  TXmlStorage(const TXmlStorage&) = delete;
  TXmlStorage& operator=(const TXmlStorage&) = delete;

  // False (with ErrorMessage) when the file cannot be read or parsed; the
  // cursor is then empty and nothing may be walked.
  bool LoadFromFile(const std::string& windowsPath);
  // UTF-8, or Windows-1252 when the bytes are no UTF-8.
  bool LoadFromStream(const std::string& bytes);
  const std::string& ErrorMessage() const { return error_; }
  // A document with a root element is loaded.
  bool Loaded() const { return current_ != nullptr; }

  // Element names as written; text nodes are "#text", comments "#comment".
  std::u16string GetName() const;
  int ChildCount() const;
  // Empty for an index outside 0 to ChildCount - 1.
  std::u16string GetChildName(int index) const;
  // False, and the cursor stays, for an index outside the children.
  bool GoChild(int index);
  // False at the root element: the cursor never leaves it.
  bool GoParent();
  // The text children joined (a comment in between contributes nothing,
  // nor do nested elements).
  std::u16string GetText() const;

 private:
  TiXmlNode* Child(int index) const;

  std::unique_ptr<TiXmlDocument> document_;
  TiXmlNode* root_ = nullptr;
  TiXmlNode* current_ = nullptr;
  std::string error_;
};

}  // namespace launcher
