#include "launcher/skin/skin_reader.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "launcher/skin/inflate.h"
#include "platform/win32/win32.h"

namespace skin {
namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& fileName, std::vector<uint8_t>* data) {
  HANDLE f = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  DWORD low = GetFileSize(f, &high);
  uint64_t size = static_cast<uint64_t>(high) << 32 | low;
  bool ok = size <= kMaxArchiveSize;
  if (ok) {
    data->resize(static_cast<size_t>(size));
    DWORD got = 0;
    ok = size == 0 || (ReadFile(f, data->data(), static_cast<DWORD>(size), &got, nullptr) && got == size);
  }
  CloseHandle(f);
  return ok;
}

// The traditional ZIP cipher.
class Cipher {
 public:
  explicit Cipher(const std::string& password) {
    for (char c : password) Update(static_cast<uint8_t>(c));
  }
  uint8_t Decrypt(uint8_t c) {
    uint32_t t = (keys_[2] | 2) & 0xFFFF;
    uint8_t plain = c ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    Update(plain);
    return plain;
  }

 private:
  static uint32_t CrcStep(uint32_t crc, uint8_t b) {
    // One byte of the CRC-32 register update, without the pre- and
    // post-inversion.
    return ~Crc32(&b, 1, ~crc);
  }
  void Update(uint8_t b) {
    keys_[0] = CrcStep(keys_[0], b);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 0x08088405u + 1;
    keys_[2] = CrcStep(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

constexpr uint32_t kEndSignature = 0x06054B50u;
constexpr uint32_t kCentralSignature = 0x02014B50u;
constexpr uint32_t kLocalSignature = 0x04034B50u;
constexpr size_t kMaxNameLength = 287;

}  // namespace

ExtractResult ExtractEntry(const std::string& fileName, const std::string& entryName,
                           const std::string& password, std::vector<uint8_t>* out, std::string* reason) {
  auto fail = [&](ExtractResult r, const char* why) {
    *reason = why;
    return r;
  };
  out->clear();
  std::vector<uint8_t> zip;
  if (!ReadWholeFile(fileName, &zip)) return fail(ExtractResult::Failed, "the archive cannot be read");
  const size_t size = zip.size();
  if (size < 2 || zip[0] != 'P' || zip[1] != 'K') return fail(ExtractResult::Failed, "not a ZIP archive");
  // The end record only exactly 22 bytes before the end: no archive comment.
  if (size < 22 || U32(&zip[size - 22]) != kEndSignature || U16(&zip[size - 2]) != 0) {
    return fail(ExtractResult::Failed, "no end record in the last 22 bytes");
  }
  const size_t endPos = size - 22;
  const uint32_t dirOffset = U32(&zip[size - 22 + 16]);
  // The central directory, record by record, up to the end record.
  const uint8_t* entry = nullptr;
  for (size_t pos = dirOffset; pos < endPos;) {
    if (endPos - pos < 46 || U32(&zip[pos]) != kCentralSignature) {
      return fail(ExtractResult::Failed, "a damaged central directory");
    }
    const uint8_t* rec = &zip[pos];
    size_t nameLen = U16(rec + 28), extraLen = U16(rec + 30), commentLen = U16(rec + 32);
    size_t next = pos + 46 + nameLen + extraLen + commentLen;
    if (next > endPos) return fail(ExtractResult::Failed, "a damaged central directory");
    // Longer names are not ours and are skipped.
    if (nameLen <= kMaxNameLength &&
        EqualNoCase(std::string(reinterpret_cast<const char*>(rec + 46), nameLen), entryName)) {
      entry = rec;
      break;
    }
    pos = next;
  }
  if (!entry) return fail(ExtractResult::Failed, "the entry is not in the archive");

  // From here on the output exists: any fault leaves the theme silently
  // not ready (as the size check after extraction would).
  const uint16_t flags = U16(entry + 8), method = U16(entry + 10), time = U16(entry + 12);
  const uint32_t crc = U32(entry + 16), compressed = U32(entry + 20), uncompressed = U32(entry + 24);
  const uint32_t local = U32(entry + 42);
  if (uncompressed > kMaxEntrySize) return fail(ExtractResult::Silent, "the entry is too large");
  if (local > size || size - local < 30 || U32(&zip[local]) != kLocalSignature) {
    return fail(ExtractResult::Silent, "a damaged local header");
  }
  size_t dataPos = local + 30 + U16(&zip[local + 26]) + U16(&zip[local + 28]);
  if (dataPos > size || compressed > size - dataPos) return fail(ExtractResult::Silent, "the entry's data is cut short");
  const uint8_t* data = zip.data() + dataPos;
  size_t dataSize = compressed;
  std::vector<uint8_t> plain;
  if (flags & 1) {
    if (password.empty()) return fail(ExtractResult::Silent, "the entry is encrypted and no password is given");
    if (dataSize < 12) return fail(ExtractResult::Silent, "the entry's data is cut short");
    Cipher cipher(password);
    uint8_t last = 0;
    for (size_t i = 0; i < 12; ++i) last = cipher.Decrypt(data[i]);
    uint8_t check = (flags & 8) ? static_cast<uint8_t>(time >> 8) : static_cast<uint8_t>(crc >> 24);
    if (last != check) return fail(ExtractResult::Silent, "wrong password");
    plain.resize(dataSize - 12);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = cipher.Decrypt(data[12 + i]);
    data = plain.data();
    dataSize = plain.size();
  }
  std::string why;
  if (method == 0) {
    if (dataSize != uncompressed) return fail(ExtractResult::Silent, "a stored entry of the wrong size");
    out->assign(data, data + dataSize);
  } else if (method == 8) {
    if (!Inflate(data, dataSize, uncompressed, out, &why)) {
      out->clear();
      *reason = "bad deflate data: " + why;
      return ExtractResult::Silent;
    }
  } else {
    return fail(ExtractResult::Silent, "an unknown compression method");
  }
  if (out->empty()) return fail(ExtractResult::Failed, "the entry is empty");
  if (out->size() != uncompressed) return fail(ExtractResult::Silent, "the entry's size differs from the directory's");
  if (Crc32(out->data(), out->size()) != crc) return fail(ExtractResult::Silent, "the entry's CRC-32 does not match");
  return ExtractResult::Ok;
}

Tsk2SkinFileReader::Tsk2SkinFileReader(const std::string& fileName, const std::string& password) {
  std::vector<uint8_t> data;
  std::string reason;
  ExtractResult r = ExtractEntry(fileName, "SKINDATA.SK2", password, &data, &reason);
  if (r == ExtractResult::Ok && !Load(data, &reason)) r = ExtractResult::Silent;
  if (r == ExtractResult::Ok) {
    ready_ = true;
    return;
  }
  std::fprintf(stderr, "skin archive \"%s\" not read: %s\n", fileName.c_str(), reason.c_str());
  if (r == ExtractResult::Failed) throw ESkinFileError();
}

Tsk2SkinFileReader::~Tsk2SkinFileReader() = default;

// The value chain of "SKINDATA.SK2".
bool Tsk2SkinFileReader::Load(const std::vector<uint8_t>& d, std::string* reason) {
  constexpr size_t kEntrySize = 77;
  if (d.size() < 16) return *reason = "SKINDATA.SK2 is shorter than its preamble", false;
  uint32_t headerSize = U32(&d[12]);
  if (headerSize > 24) return *reason = "SKINDATA.SK2 has a header above 24 bytes", false;
  if (headerSize > d.size()) return *reason = "SKINDATA.SK2 is shorter than its header", false;
  // The header is read into a zeroed 24-byte area.
  uint8_t header[24] = {};
  std::copy_n(d.begin(), headerSize, header);
  uint64_t offset = U32(header + 20);
  std::set<uint64_t> seen;
  for (;;) {
    if (offset > d.size() || d.size() - offset < kEntrySize) return *reason = "an entry lies outside SKINDATA.SK2", false;
    // An offset seen before would walk in a circle.
    if (!seen.insert(offset).second) break;
    const uint8_t* e = &d[offset];
    size_t nameLen = 0;
    while (nameLen < 64 && e[nameLen]) ++nameLen;
    std::string name(reinterpret_cast<const char*>(e), nameLen);
    uint8_t kind = e[64];
    uint32_t dataOffset = U32(e + 65), dataSize = U32(e + 69), next = U32(e + 73);
    if (next == 0) break;  // the last entry is not loaded
    bool inside = dataOffset <= d.size() && dataSize <= d.size() - dataOffset;
    const uint8_t* p = inside ? d.data() + dataOffset : nullptr;
    // Entries that cannot be what they say are skipped.
    if (inside) {
      switch (kind) {
        case 0: {
          auto bmp = std::make_unique<forms::TBitmap>();
          if (bmp->LoadFromMemory(p, dataSize)) bitmaps_.emplace_back(name, std::move(bmp));
          break;
        }
        case 1:
          if (dataSize <= 4) {
            uint32_t v = 0;
            for (uint32_t i = 0; i < dataSize; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
            integers_.push_back(name + "=" + std::to_string(static_cast<int32_t>(v)));
          }
          break;
        case 2:
          if (dataSize <= 1) bytes_.push_back(name + "=" + std::to_string(dataSize ? p[0] : 0));
          break;
        case 3:
          texts_.push_back(name + "=" + std::string(reinterpret_cast<const char*>(p), dataSize));
          break;
        default:
          break;
      }
    }
    offset = next;
  }
  return true;
}

namespace {
// The value of the first line "name=..." (the name without case).
bool ValueOf(const std::vector<std::string>& lines, const std::string& name, std::string* value) {
  for (const std::string& l : lines) {
    size_t eq = l.find('=');
    if (eq != std::string::npos && EqualNoCase(l.substr(0, eq), name)) {
      *value = l.substr(eq + 1);
      return true;
    }
  }
  return false;
}

bool ToInt(const std::string& s, long long* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  *v = std::strtoll(s.c_str(), &end, 10);
  return end && *end == 0;
}
}  // namespace

forms::TBitmap* Tsk2SkinFileReader::GetBitmap(const std::string& name) const {
  for (const auto& [n, b] : bitmaps_) {
    if (EqualNoCase(n, name)) return b.get();
  }
  return nullptr;
}

int32_t Tsk2SkinFileReader::GetInteger(const std::string& name) const {
  std::string s;
  long long v;
  if (!ValueOf(integers_, name, &s) || !ToInt(s, &v)) return -1;
  return static_cast<int32_t>(v);
}

uint8_t Tsk2SkinFileReader::GetByte(const std::string& name) const {
  std::string s;
  long long v;
  if (!ValueOf(bytes_, name, &s) || !ToInt(s, &v)) return 0;
  return static_cast<uint8_t>(v);
}

std::string Tsk2SkinFileReader::GetText(const std::string& name) const {
  std::string s;
  return ValueOf(texts_, name, &s) ? s : std::string();
}

}  // namespace skin
