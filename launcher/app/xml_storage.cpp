#include "launcher/app/xml_storage.h"

#include <tinyxml.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace launcher {

namespace {

// The parser descends once per nesting level, and so does freeing the
// tree: deeper documents are refused before parsing.
constexpr int kMaxDepth = 512;

// Nesting depth by the tags alone; markup inside comments and CDATA may
// count too, which only errs towards refusing.
bool NestsTooDeep(const std::string& text) {
  int depth = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '<') {
      const char next = text[i + 1];
      if (next == '/') {
        if (depth > 0) --depth;
      } else if (next != '!' && next != '?') {
        if (++depth > kMaxDepth) return true;
      }
    } else if (text[i] == '/' && text[i + 1] == '>') {
      if (depth > 0) --depth;
    }
  }
  return false;
}

// Condensing white space is the parser's global setting: off while this
// parse runs, so texts keep their spaces as written, then as it was.
class KeepWhiteSpace {
 public:
  KeepWhiteSpace() : was_(TiXmlBase::IsWhiteSpaceCondensed()) { TiXmlBase::SetCondenseWhiteSpace(false); }
  ~KeepWhiteSpace() { TiXmlBase::SetCondenseWhiteSpace(was_); }
  KeepWhiteSpace(const KeepWhiteSpace&) = delete;
  KeepWhiteSpace& operator=(const KeepWhiteSpace&) = delete;

 private:
  bool was_;
};

}  // namespace

namespace {

std::u16string Widen(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
  const int count = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
  if (count <= 0) return {};
  std::u16string out(static_cast<size_t>(count), u'\0');
  MultiByteToWideChar(codePage, flags, text.data(), length, reinterpret_cast<LPWSTR>(out.data()), count);
  return out;
}

std::string AsUtf8(const std::string& bytes) {
  if (bytes.empty() || !Widen(CP_UTF8, bytes).empty()) return bytes;
  const std::u16string wide = Widen(CP_ACP, bytes);
  const int length = static_cast<int>(wide.size());
  const LPCWSTR w = reinterpret_cast<LPCWSTR>(wide.data());
  const int count = WideCharToMultiByte(CP_UTF8, 0, w, length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string out(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, length, out.data(), count, nullptr, nullptr);
  return out;
}

}  // namespace

TXmlStorage::TXmlStorage() = default;
TXmlStorage::~TXmlStorage() = default;

bool TXmlStorage::LoadFromFile(const std::string& windowsPath) {
  std::ifstream in(platform::MapPath(windowsPath), std::ios::binary);
  if (!in) {
    document_.reset();
    root_ = current_ = nullptr;
    error_ = "Cannot open file \"" + windowsPath + "\". The system cannot find the file specified";
    return false;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    document_.reset();
    root_ = current_ = nullptr;
    error_ = "Cannot read file \"" + windowsPath + "\"";
    return false;
  }
  return LoadFromStream(bytes.str());
}

bool TXmlStorage::LoadFromStream(const std::string& bytes) {
  document_.reset();
  root_ = current_ = nullptr;
  error_.clear();
  if (NestsTooDeep(bytes)) {
    error_ = "The document nests elements too deeply";
    return false;
  }
  auto document = std::make_unique<TiXmlDocument>();
  {
    KeepWhiteSpace keep;
    // The parser needs a terminated text (a NUL inside ends it there) in
    // UTF-8: a file that is no UTF-8 is read as Windows-1252.
    const std::string text = AsUtf8(std::string(bytes.c_str()));
    document->Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
  }
  if (document->Error()) {
    error_ = std::string(document->ErrorDesc() ? document->ErrorDesc() : "Error parsing the document") + " (line " +
             std::to_string(document->ErrorRow()) + ", column " + std::to_string(document->ErrorCol()) + ")";
    return false;
  }
  TiXmlElement* root = document->RootElement();
  if (!root) {
    error_ = "The document has no root element";
    return false;
  }
  document_ = std::move(document);
  root_ = current_ = root;
  return true;
}

std::u16string TXmlStorage::GetName() const {
  if (!current_) return {};
  switch (current_->Type()) {
    case TiXmlNode::TINYXML_ELEMENT: return Widen(CP_UTF8, current_->ValueStr());
    case TiXmlNode::TINYXML_TEXT: return u"#text";
    case TiXmlNode::TINYXML_COMMENT: return u"#comment";
    case TiXmlNode::TINYXML_DOCUMENT: return u"#document";
    case TiXmlNode::TINYXML_DECLARATION: return u"#declaration";
    default: return u"#unknown";
  }
}

int TXmlStorage::ChildCount() const {
  int n = 0;
  if (current_) {
    for (const TiXmlNode* c = current_->FirstChild(); c; c = c->NextSibling()) ++n;
  }
  return n;
}

TiXmlNode* TXmlStorage::Child(int index) const {
  if (!current_ || index < 0) return nullptr;
  TiXmlNode* c = current_->FirstChild();
  for (; c && index > 0; --index) c = c->NextSibling();
  return c;
}

std::u16string TXmlStorage::GetChildName(int index) const {
  TiXmlNode* child = Child(index);
  if (!child) return {};
  TXmlStorage* self = const_cast<TXmlStorage*>(this);
  TiXmlNode* saved = self->current_;
  self->current_ = child;
  std::u16string name = GetName();
  self->current_ = saved;
  return name;
}

bool TXmlStorage::GoChild(int index) {
  TiXmlNode* child = Child(index);
  if (!child) return false;
  current_ = child;
  return true;
}

bool TXmlStorage::GoParent() {
  if (!current_ || current_ == root_ || !current_->Parent()) return false;
  current_ = current_->Parent();
  return true;
}

std::u16string TXmlStorage::GetText() const {
  if (!current_) return {};
  std::string text;
  for (const TiXmlNode* c = current_->FirstChild(); c; c = c->NextSibling()) {
    if (c->Type() == TiXmlNode::TINYXML_TEXT) text += c->ValueStr();
  }
  return Widen(CP_UTF8, text);
}

}  // namespace launcher
