#include "tools/pe_writer.h"

#include <cstdio>

namespace testkit {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kHeadersSize = 0x200;

// The resource tree: type 16 (version) > id 1 > language 0x409 > data.
std::vector<uint8_t> ResourceSection(const PeOptions& o) {
  std::vector<uint8_t> r(0x58, 0);
  if (!o.versionResource) {
    // One icon-type entry with no data below it: a tree without a version.
    Put16(r, 14, 1);
    Put32(r, 16, 3);
    Put32(r, 20, 0x80000000u | 0x18);
    return r;
  }
  Put16(r, 14, 1);  // root: one id entry
  Put32(r, 16, 16);
  Put32(r, 20, 0x80000000u | 0x18);
  Put16(r, 0x18 + 14, 1);  // names
  Put32(r, 0x18 + 16, 1);
  Put32(r, 0x18 + 20, 0x80000000u | 0x30);
  Put16(r, 0x30 + 14, 1);  // languages
  Put32(r, 0x30 + 16, 0x409);
  Put32(r, 0x30 + 20, 0x48);
  // VS_VERSIONINFO: header, key, padding, fixed info.
  std::vector<uint8_t> info(92, 0);
  Put16(info, 0, 92);
  Put16(info, 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof key; ++i) Put16(info, 6 + i * 2, static_cast<uint8_t>(key[i]));
  size_t f = 40;
  Put32(info, f, 0xFEEF04BDu);
  Put32(info, f + 4, 0x00010000u);
  Put32(info, f + 8, static_cast<uint32_t>(o.fileVersion >> 32));
  Put32(info, f + 12, static_cast<uint32_t>(o.fileVersion));
  Put32(info, f + 16, static_cast<uint32_t>(o.productVersion >> 32));
  Put32(info, f + 20, static_cast<uint32_t>(o.productVersion));
  Put32(info, f + 24, 0x3F);
  Put32(info, f + 32, 0x40004);  // NT, 32-bit Windows
  Put32(info, f + 36, 2);        // a DLL
  Put32(r, 0x48, kSectionRva + 0x58);
  Put32(r, 0x48 + 4, static_cast<uint32_t>(info.size()));
  r.insert(r.end(), info.begin(), info.end());
  return r;
}

}  // namespace

std::vector<uint8_t> BuildExecutable(const PeOptions& o) {
  std::vector<uint8_t> rsrc = ResourceSection(o);
  uint32_t rawSize = (static_cast<uint32_t>(rsrc.size()) + kFileAlignment - 1) & ~(kFileAlignment - 1);
  std::vector<uint8_t> b(kHeadersSize + rawSize, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  b[0x40] = 'P';
  b[0x41] = 'E';
  const size_t coff = 0x44;
  const uint32_t optionalSize = o.pe32Plus ? 240 : 224;
  Put16(b, coff, o.pe32Plus ? 0x8664 : 0x14C);
  Put16(b, coff + 2, 1);
  Put16(b, coff + 16, optionalSize);
  Put16(b, coff + 18, o.pe32Plus ? 0x2022 : 0x2102);
  const size_t opt = coff + 20;
  Put16(b, opt, o.pe32Plus ? 0x20B : 0x10B);
  Put32(b, opt + 32, 0x1000);  // section alignment
  Put32(b, opt + 36, kFileAlignment);
  Put16(b, opt + 48, 4);  // subsystem version 4.0
  Put32(b, opt + 56, kSectionRva + 0x1000);  // size of image
  Put32(b, opt + 60, kHeadersSize);
  Put16(b, opt + 68, 2);  // windows GUI
  const size_t dirs = opt + (o.pe32Plus ? 112 : 96);
  Put32(b, dirs - 4, 16);
  Put32(b, dirs + 16, kSectionRva);
  Put32(b, dirs + 20, static_cast<uint32_t>(rsrc.size()));
  const size_t section = opt + optionalSize;
  const char name[] = ".rsrc";
  for (size_t i = 0; i < sizeof name - 1; ++i) b[section + i] = static_cast<uint8_t>(name[i]);
  Put32(b, section + 8, static_cast<uint32_t>(rsrc.size()));
  Put32(b, section + 12, kSectionRva);
  Put32(b, section + 16, rawSize);
  Put32(b, section + 20, kHeadersSize);
  Put32(b, section + 36, 0x40000040u);  // initialised data, readable
  std::copy(rsrc.begin(), rsrc.end(), b.begin() + kHeadersSize);
  return b;
}

bool WriteExecutable(const std::string& linuxPath, const PeOptions& options) {
  std::vector<uint8_t> bytes = BuildExecutable(options);
  FILE* f = std::fopen(linuxPath.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace testkit
