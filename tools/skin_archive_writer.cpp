#include "tools/skin_archive_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace testkit {
namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (8 * i));
}
uint16_t Get16(const std::vector<uint8_t>& v, size_t at) { return static_cast<uint16_t>(v[at] | v[at + 1] << 8); }
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24;
}

// The traditional ZIP cipher, encrypting.
class Cipher {
 public:
  explicit Cipher(const std::string& password) {
    for (char c : password) Update(static_cast<uint8_t>(c));
  }
  uint8_t Encrypt(uint8_t plain) {
    uint32_t t = (keys_[2] | 2) & 0xFFFF;
    uint8_t c = plain ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    Update(plain);
    return c;
  }

 private:
  // One byte of the CRC-32 register, without the inversions.
  static uint32_t Step(uint32_t crc, uint8_t b) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    return crc;
  }
  void Update(uint8_t b) {
    keys_[0] = Step(keys_[0], b);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 0x08088405u + 1;
    keys_[2] = Step(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

}  // namespace

SkinValue SkinInteger(const std::string& name, int32_t value) {
  SkinValue v{name, kSkinInteger, {}};
  Put32(v.data, static_cast<uint32_t>(value));
  return v;
}

SkinValue SkinByte(const std::string& name, uint8_t value) { return {name, kSkinByte, {value}}; }

SkinValue SkinText(const std::string& name, const std::string& text) {
  return {name, kSkinText, std::vector<uint8_t>(text.begin(), text.end())};
}

SkinValue SkinBitmap(const std::string& name, const std::vector<uint8_t>& bmpFile) {
  return {name, kSkinBitmap, bmpFile};
}

std::vector<uint8_t> WriteSkinData(const std::vector<SkinValue>& values) {
  const size_t count = values.size() + 1;  // and the closing entry
  std::vector<uint8_t> out(kSkinHeaderSize + count * kSkinEntrySize, 0);
  std::memcpy(out.data(), "SK2SKINDATA", 11);
  Set32(out, 12, static_cast<uint32_t>(kSkinHeaderSize));
  Set32(out, 20, static_cast<uint32_t>(SkinEntryOffset(0)));
  for (size_t i = 0; i < values.size(); ++i) {
    const SkinValue& v = values[i];
    size_t at = SkinEntryOffset(i);
    std::memcpy(&out[at], v.name.data(), std::min<size_t>(v.name.size(), 63));
    out[at + 64] = v.kind;
    Set32(out, at + 65, static_cast<uint32_t>(out.size()));
    Set32(out, at + 69, static_cast<uint32_t>(v.data.size()));
    Set32(out, at + kSkinNextField, static_cast<uint32_t>(SkinEntryOffset(i + 1)));
    out.insert(out.end(), v.data.begin(), v.data.end());
  }
  std::memcpy(&out[SkinEntryOffset(values.size())], "END", 3);
  return out;
}

uint32_t ZipCrc32(const std::vector<uint8_t>& data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<uint8_t> WriteZip(const std::vector<ZipEntry>& entries, const std::string& comment) {
  std::vector<uint8_t> zip;
  std::vector<uint8_t> central;
  for (const ZipEntry& e : entries) {
    const uint32_t crc = ZipCrc32(e.data);
    std::vector<uint8_t> body = !e.body.empty() ? e.body : e.deflate ? RawDeflate(e.data) : e.data;
    uint16_t flags = 0;
    if (!e.password.empty()) {
      flags |= 1;
      if (e.dataDescriptor) flags |= 8;
      Cipher cipher(e.password);
      std::vector<uint8_t> sealed;
      // Eleven bytes of padding, then the check byte.
      for (int i = 0; i < 11; ++i) sealed.push_back(cipher.Encrypt(static_cast<uint8_t>(0x5A + 13 * i)));
      uint8_t check = e.dataDescriptor ? static_cast<uint8_t>(e.time >> 8) : static_cast<uint8_t>(crc >> 24);
      sealed.push_back(cipher.Encrypt(check));
      for (uint8_t b : body) sealed.push_back(cipher.Encrypt(b));
      body.swap(sealed);
    } else if (e.dataDescriptor) {
      flags |= 8;
    }
    const uint16_t method = e.deflate ? 8 : 0;
    const uint32_t local = static_cast<uint32_t>(zip.size());
    const bool descriptor = (flags & 8) != 0;
    Put32(zip, 0x04034B50u);
    Put16(zip, 20);
    Put16(zip, flags);
    Put16(zip, method);
    Put16(zip, e.time);
    Put16(zip, e.date);
    Put32(zip, descriptor ? 0 : crc);
    Put32(zip, descriptor ? 0 : static_cast<uint32_t>(body.size()));
    Put32(zip, descriptor ? 0 : static_cast<uint32_t>(e.data.size()));
    Put16(zip, static_cast<uint32_t>(e.name.size()));
    Put16(zip, 0);
    zip.insert(zip.end(), e.name.begin(), e.name.end());
    zip.insert(zip.end(), body.begin(), body.end());
    if (descriptor) {
      Put32(zip, 0x08074B50u);
      Put32(zip, crc);
      Put32(zip, static_cast<uint32_t>(body.size()));
      Put32(zip, static_cast<uint32_t>(e.data.size()));
    }
    Put32(central, 0x02014B50u);
    Put16(central, 20);
    Put16(central, 20);
    Put16(central, flags);
    Put16(central, method);
    Put16(central, e.time);
    Put16(central, e.date);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(body.size()));
    Put32(central, static_cast<uint32_t>(e.data.size()));
    Put16(central, static_cast<uint32_t>(e.name.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0x20);
    Put32(central, local);
    central.insert(central.end(), e.name.begin(), e.name.end());
  }
  const uint32_t dirOffset = static_cast<uint32_t>(zip.size());
  zip.insert(zip.end(), central.begin(), central.end());
  Put32(zip, 0x06054B50u);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put32(zip, static_cast<uint32_t>(central.size()));
  Put32(zip, dirOffset);
  Put16(zip, static_cast<uint32_t>(comment.size()));
  zip.insert(zip.end(), comment.begin(), comment.end());
  return zip;
}

ZipLayout LocateZipEntry(const std::vector<uint8_t>& zip, size_t index) {
  ZipLayout l;
  // The end record is found from the end, past any comment.
  for (size_t at = zip.size() - 22;; --at) {
    if (Get32(zip, at) == 0x06054B50u) {
      l.endRecord = at;
      break;
    }
    if (at == 0) return l;
  }
  size_t pos = Get32(zip, l.endRecord + 16);
  for (size_t i = 0; i < index; ++i) pos += 46 + Get16(zip, pos + 28) + Get16(zip, pos + 30) + Get16(zip, pos + 32);
  l.centralRecord = pos;
  l.localHeader = Get32(zip, pos + 42);
  l.dataStart = l.localHeader + 30 + Get16(zip, l.localHeader + 26) + Get16(zip, l.localHeader + 28);
  return l;
}

std::vector<uint8_t> WriteBmp24(int width, int height, const std::vector<uint32_t>& pixels) {
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> f;
  f.reserve(54 + stride * static_cast<size_t>(height));
  f.push_back('B');
  f.push_back('M');
  Put32(f, static_cast<uint32_t>(54 + stride * static_cast<size_t>(height)));
  Put32(f, 0);
  Put32(f, 54);
  Put32(f, 40);
  Put32(f, static_cast<uint32_t>(width));
  Put32(f, static_cast<uint32_t>(height));
  Put16(f, 1);
  Put16(f, 24);
  Put32(f, 0);
  Put32(f, static_cast<uint32_t>(stride * static_cast<size_t>(height)));
  Put32(f, 2835);
  Put32(f, 2835);
  Put32(f, 0);
  Put32(f, 0);
  for (int y = height - 1; y >= 0; --y) {  // bottom-up
    size_t rowStart = f.size();
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
      f.push_back(static_cast<uint8_t>(p));
      f.push_back(static_cast<uint8_t>(p >> 8));
      f.push_back(static_cast<uint8_t>(p >> 16));
    }
    f.resize(rowStart + stride, 0);
  }
  return f;
}

}  // namespace testkit
