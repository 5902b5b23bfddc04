// Test controls: the tree file under the platform root and the switches in
// "testing.ini". The tree file is one item a line, fields separated by tabs:
//   + name        enter a child container
//   -             leave it
//   u|i|b|s name value   a property (u32, i32, bool 0/1, text)
// Tabs, line ends and backslashes in names and texts are escaped.
#include "platform/dxdiag/testing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/dxdiag/internal.h"
#include "platform/win32/path.h"
#include "platform/win32/testing.h"

namespace platform::testing {

namespace {

constexpr char kTreeSetting[] = "dxdiag.tree";
constexpr char kFailSetting[] = "dxdiag.fail";
constexpr size_t kMaxDepth = 32;

std::string TreePath() { return PlatformRoot() + "/dxdiag/tree.txt"; }

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view s, std::string* out) {
  out->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      *out += s[i];
      continue;
    }
    if (++i == s.size()) return false;
    switch (s[i]) {
      case '\\': *out += '\\'; break;
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

void Write(const DxDiagNode& node, std::string& out) {
  for (const auto& [name, v] : node.props) {
    switch (v.type) {
      case VT_UI4: out += "u\t" + Escape(name) + "\t" + std::to_string(v.u32); break;
      case VT_I4: out += "i\t" + Escape(name) + "\t" + std::to_string(v.i32); break;
      case VT_BOOL: out += "b\t" + Escape(name) + "\t" + (v.boolean ? "1" : "0"); break;
      default: out += "s\t" + Escape(name) + "\t" + Escape(v.text); break;
    }
    out += '\n';
  }
  for (const DxDiagNode& child : node.children) {
    out += "+\t" + Escape(child.name) + "\n";
    Write(child, out);
    out += "-\n";
  }
}

bool ParseNumber(const std::string& text, bool isSigned, DxDiagValue* v) {
  if (text.empty() || text.size() > 11) return false;
  errno = 0;
  char* end = nullptr;
  long long n = std::strtoll(text.c_str(), &end, 10);
  if (errno || *end) return false;
  if (isSigned) {
    if (n < INT32_MIN || n > INT32_MAX) return false;
    v->i32 = static_cast<int32_t>(n);
  } else {
    if (n < 0 || n > UINT32_MAX) return false;
    v->u32 = static_cast<uint32_t>(n);
  }
  return true;
}

bool Parse(const std::string& text, DxDiagNode* root) {
  std::vector<DxDiagNode*> stack{root};
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string_view> fields;
    std::string_view rest(line);
    while (true) {
      size_t tab = rest.find('\t');
      fields.push_back(rest.substr(0, tab));
      if (tab == std::string_view::npos) break;
      rest.remove_prefix(tab + 1);
    }
    if (fields[0] == "-" && fields.size() == 1) {
      if (stack.size() == 1) return false;
      stack.pop_back();
      continue;
    }
    std::string name;
    if (fields.size() < 2 || !Unescape(fields[1], &name)) return false;
    if (fields[0] == "+" && fields.size() == 2) {
      if (stack.size() >= kMaxDepth) return false;
      stack.back()->children.push_back(DxDiagNode{name, {}, {}});
      stack.push_back(&stack.back()->children.back());
      continue;
    }
    if (fields.size() != 3 || fields[0].size() != 1) return false;
    std::string value;
    if (!Unescape(fields[2], &value)) return false;
    DxDiagValue v;
    switch (fields[0][0]) {
      case 'u': v.type = VT_UI4; if (!ParseNumber(value, false, &v)) return false; break;
      case 'i': v.type = VT_I4; if (!ParseNumber(value, true, &v)) return false; break;
      case 'b':
        if (value != "0" && value != "1") return false;
        v.type = VT_BOOL;
        v.boolean = value == "1";
        break;
      case 's': v.type = VT_BSTR; v.text = value; break;
      default: return false;
    }
    stack.back()->props.emplace_back(std::move(name), std::move(v));
  }
  return stack.size() == 1;
}

DxDiagNode& Set(DxDiagNode& node, const std::string& name, DxDiagValue v) {
  for (auto& [n, value] : node.props) {
    if (n == name) {
      value = std::move(v);
      return node;
    }
  }
  node.props.emplace_back(name, std::move(v));
  return node;
}

}  // namespace

DxDiagNode& DxDiagNode::Child(const std::string& childName) {
  size_t dot = childName.find('.');
  std::string first = childName.substr(0, dot);
  DxDiagNode* found = nullptr;
  for (DxDiagNode& c : children) {
    if (c.name == first) found = &c;
  }
  if (!found) {
    children.push_back(DxDiagNode{first, {}, {}});
    found = &children.back();
  }
  return dot == std::string::npos ? *found : found->Child(childName.substr(dot + 1));
}

const DxDiagNode* DxDiagNode::Find(const std::string& childName) const {
  size_t dot = childName.find('.');
  std::string first = childName.substr(0, dot);
  for (const DxDiagNode& c : children) {
    if (c.name == first) return dot == std::string::npos ? &c : c.Find(childName.substr(dot + 1));
  }
  return nullptr;
}

const DxDiagValue* DxDiagNode::Prop(const std::string& propName) const {
  for (const auto& [n, v] : props) {
    if (n == propName) return &v;
  }
  return nullptr;
}

DxDiagNode& DxDiagNode::SetU32(const std::string& n, uint32_t value) {
  DxDiagValue v;
  v.type = VT_UI4;
  v.u32 = value;
  return Set(*this, n, std::move(v));
}
DxDiagNode& DxDiagNode::SetI32(const std::string& n, int32_t value) {
  DxDiagValue v;
  v.type = VT_I4;
  v.i32 = value;
  return Set(*this, n, std::move(v));
}
DxDiagNode& DxDiagNode::SetBool(const std::string& n, bool value) {
  DxDiagValue v;
  v.type = VT_BOOL;
  v.boolean = value;
  return Set(*this, n, std::move(v));
}
DxDiagNode& DxDiagNode::SetString(const std::string& n, const std::string& value) {
  DxDiagValue v;
  v.type = VT_BSTR;
  v.text = value;
  return Set(*this, n, std::move(v));
}
void DxDiagNode::Remove(const std::string& propName) {
  std::erase_if(props, [&](const auto& p) { return p.first == propName; });
}

void SetDxDiagTree(const DxDiagNode& root) {
  std::string text;
  Write(root, text);
  mkdir(PlatformRoot().c_str(), 0755);
  mkdir((PlatformRoot() + "/dxdiag").c_str(), 0755);
  std::string temp = TreePath() + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::rename(temp.c_str(), TreePath().c_str());
  SetSetting(kTreeSetting, "1");
}

void ClearDxDiagTree() {
  SetSetting(kTreeSetting, "");
  std::remove(TreePath().c_str());
}

void FailDxDiagProvider(HRESULT result) {
  SetSetting(kFailSetting, SUCCEEDED(result) ? std::string() : std::to_string(static_cast<uint32_t>(result)));
}

int LiveDxDiagObjects() { return dxdiag::g_live.load(); }

}  // namespace platform::testing

namespace platform::dxdiag {

std::optional<testing::DxDiagNode> LoadTestTree(bool* ok) {
  *ok = true;
  if (!testing::GetSetting(testing::kTreeSetting)) return std::nullopt;
  std::ifstream in(testing::TreePath(), std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  testing::DxDiagNode root;
  if (!in || !testing::Parse(all.str(), &root)) {
    *ok = false;
    return std::nullopt;
  }
  return root;
}

HRESULT ProviderFailure() {
  auto v = testing::GetSetting(testing::kFailSetting);
  if (!v) return S_OK;
  return static_cast<HRESULT>(std::strtoul(v->c_str(), nullptr, 0));
}

}  // namespace platform::dxdiag
