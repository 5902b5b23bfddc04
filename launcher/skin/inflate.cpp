#include "launcher/skin/inflate.h"

#include <array>
#include <cstring>

namespace skin {
namespace {

constexpr uint32_t kUnused = 0xFFFFFFFFu;
constexpr int kMaxBits = 15;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kClenOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A decoding table: 2^bits entries of symbol | length << 16 | extra << 24,
// extra being the symbol's extra bits (for lengths and distances).
struct Huffman {
  int bits = 0;
  std::vector<uint32_t> table;

  // `extra` gives each symbol's extra bits (may be null). `allowSingle`
  // accepts the one incomplete code deflate allows: a single code of one
  // bit (or none at all), for distances.
  bool Build(const uint8_t* lengths, int count, const uint8_t* extra, bool allowSingle) {
    int blCount[kMaxBits + 1] = {};
    int maxLen = 0;
    for (int i = 0; i < count; ++i) {
      ++blCount[lengths[i]];
      if (lengths[i] > maxLen) maxLen = lengths[i];
    }
    blCount[0] = 0;
    int used = count - [&] { int z = 0; for (int i = 0; i < count; ++i) z += lengths[i] == 0; return z; }();
    // Kraft sum: over-subscribed or incomplete codes are refused.
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left <<= 1;
      left -= blCount[len];
      if (left < 0) return false;
    }
    if (left > 0 && !(allowSingle && (used == 0 || (used == 1 && blCount[1] == 1)))) return false;
    bits = maxLen == 0 ? 1 : maxLen;
    table.assign(size_t{1} << bits, kUnused);
    int nextCode[kMaxBits + 2] = {};
    int code = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code = (code + blCount[len - 1]) << 1;
      nextCode[len] = code;
    }
    for (int sym = 0; sym < count; ++sym) {
      int len = lengths[sym];
      if (!len) continue;
      int c = nextCode[len]++;
      // Codes are read least significant bit first: reverse them.
      int rev = 0;
      for (int i = 0; i < len; ++i) rev |= ((c >> i) & 1) << (len - 1 - i);
      uint32_t entry = static_cast<uint32_t>(sym) | static_cast<uint32_t>(len) << 16 |
                       static_cast<uint32_t>(extra ? extra[sym] : 0) << 24;
      for (int fill = rev; fill < (1 << bits); fill += 1 << len) table[static_cast<size_t>(fill)] = entry;
    }
    return true;
  }
};

class Decoder {
 public:
  Decoder(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>* out)
      : in_(data), size_(size), limit_(limit), out_(out) {}

  bool Run(std::string* error) {
    out_->clear();
    out_->reserve(limit_);
    bool final = false;
    while (!final) {
      if (!Need(3)) return Fail(error, "the stream ends early");
      final = Take(1);
      int type = static_cast<int>(Take(2));
      bool ok;
      const char* why = nullptr;
      switch (type) {
        case 0: ok = Stored(&why); break;
        case 1: ok = Fixed(&why); break;
        case 2: ok = Dynamic(&why); break;
        default: ok = false, why = "block type 3"; break;
      }
      if (!ok) return Fail(error, why);
    }
    return true;
  }

 private:
  static bool Fail(std::string* error, const char* why) {
    if (error) *error = why ? why : "bad data";
    return false;
  }
  // Keeps at least n bits (n <= 32) in the buffer; false past the input.
  bool Need(int n) {
    while (count_ < n) {
      if (pos_ >= size_) return false;
      bitbuf_ |= static_cast<uint64_t>(in_[pos_++]) << count_;
      count_ += 8;
    }
    return true;
  }
  // Fills the buffer as far as the input allows (for table lookups).
  void Fill() {
    while (count_ <= 56 && pos_ < size_) {
      bitbuf_ |= static_cast<uint64_t>(in_[pos_++]) << count_;
      count_ += 8;
    }
  }
  uint32_t Take(int n) {
    uint32_t v = static_cast<uint32_t>(bitbuf_ & ((uint64_t{1} << n) - 1));
    bitbuf_ >>= n;
    count_ -= n;
    return v;
  }
  // One symbol; kUnused for an unused entry or input that ran out.
  uint32_t Decode(const Huffman& h) {
    if (count_ < h.bits) Fill();
    uint32_t e = h.table[static_cast<size_t>(bitbuf_ & ((uint64_t{1} << h.bits) - 1))];
    if (e == kUnused) return kUnused;
    int len = static_cast<int>((e >> 16) & 0xFF);
    if (len > count_) return kUnused;
    bitbuf_ >>= len;
    count_ -= len;
    return e;
  }

  bool Stored(const char** why) {
    Take(count_ % 8);
    if (!Need(32)) return *why = "the stream ends early", false;
    uint32_t len = Take(16), nlen = Take(16);
    if ((len ^ 0xFFFF) != nlen) return *why = "a stored length does not match its complement", false;
    // Whole bytes may still sit in the bit buffer.
    while (len > 0 && count_ >= 8) {
      if (out_->size() >= limit_) return *why = "more output than the entry's size", false;
      out_->push_back(static_cast<uint8_t>(Take(8)));
      --len;
    }
    if (len > size_ - pos_) return *why = "the stream ends early", false;
    if (len > limit_ - out_->size()) return *why = "more output than the entry's size", false;
    out_->insert(out_->end(), in_ + pos_, in_ + pos_ + len);
    pos_ += len;
    return true;
  }

  bool Fixed(const char** why) {
    static const auto tables = [] {
      std::array<Huffman, 2> t;
      uint8_t lengths[288];
      for (int i = 0; i < 144; ++i) lengths[i] = 8;
      for (int i = 144; i < 256; ++i) lengths[i] = 9;
      for (int i = 256; i < 280; ++i) lengths[i] = 7;
      for (int i = 280; i < 288; ++i) lengths[i] = 8;
      uint8_t extra[288] = {};
      for (int i = 257; i < 286; ++i) extra[i] = kLengthExtra[i - 257];
      t[0].Build(lengths, 288, extra, false);
      uint8_t dist[32];
      std::memset(dist, 5, sizeof dist);
      uint8_t dextra[32] = {};
      for (int i = 0; i < 30; ++i) dextra[i] = kDistExtra[i];
      t[1].Build(dist, 32, dextra, false);
      return t;
    }();
    return Codes(tables[0], tables[1], why);
  }

  bool Dynamic(const char** why) {
    if (!Need(14)) return *why = "the stream ends early", false;
    int hlit = static_cast<int>(Take(5)) + 257, hdist = static_cast<int>(Take(5)) + 1, hclen = static_cast<int>(Take(4)) + 4;
    if (hlit > 286 || hdist > 30) return *why = "too many length or distance codes", false;
    uint8_t clen[19] = {};
    for (int i = 0; i < hclen; ++i) {
      if (!Need(3)) return *why = "the stream ends early", false;
      clen[kClenOrder[i]] = static_cast<uint8_t>(Take(3));
    }
    Huffman cl;
    if (!cl.Build(clen, 19, nullptr, false)) return *why = "a bad code-length code", false;
    uint8_t lengths[286 + 30] = {};
    int n = 0;
    while (n < hlit + hdist) {
      uint32_t e = Decode(cl);
      if (e == kUnused) return *why = "a bad code-length symbol", false;
      int sym = static_cast<int>(e & 0xFFFF);
      if (sym < 16) {
        lengths[n++] = static_cast<uint8_t>(sym);
        continue;
      }
      int repeat;
      uint8_t value = 0;
      if (sym == 16) {
        if (n == 0) return *why = "a repeat without a previous length", false;
        if (!Need(2)) return *why = "the stream ends early", false;
        value = lengths[n - 1];
        repeat = 3 + static_cast<int>(Take(2));
      } else if (sym == 17) {
        if (!Need(3)) return *why = "the stream ends early", false;
        repeat = 3 + static_cast<int>(Take(3));
      } else {
        if (!Need(7)) return *why = "the stream ends early", false;
        repeat = 11 + static_cast<int>(Take(7));
      }
      if (n + repeat > hlit + hdist) return *why = "a repeat past the code lengths", false;
      std::memset(lengths + n, value, static_cast<size_t>(repeat));
      n += repeat;
    }
    if (lengths[256] == 0) return *why = "no end-of-block code", false;
    uint8_t extra[286] = {};
    for (int i = 257; i < 286; ++i) extra[i] = kLengthExtra[i - 257];
    uint8_t dextra[30];
    std::memcpy(dextra, kDistExtra, sizeof dextra);
    if (!lit_.Build(lengths, hlit, extra, false)) return *why = "a bad literal/length code", false;
    if (!dist_.Build(lengths + hlit, hdist, dextra, true)) return *why = "a bad distance code", false;
    return Codes(lit_, dist_, why);
  }

  bool Codes(const Huffman& lit, const Huffman& dist, const char** why) {
    std::vector<uint8_t>& out = *out_;
    for (;;) {
      uint32_t e = Decode(lit);
      if (e == kUnused) return *why = "a bad literal/length symbol", false;
      uint32_t sym = e & 0xFFFF;
      if (sym < 256) {
        if (out.size() >= limit_) return *why = "more output than the entry's size", false;
        out.push_back(static_cast<uint8_t>(sym));
        continue;
      }
      if (sym == 256) return true;
      if (sym > 285) return *why = "length symbol 286 or 287", false;
      int extra = static_cast<int>(e >> 24);
      if (!Need(extra)) return *why = "the stream ends early", false;
      size_t length = kLengthBase[sym - 257] + Take(extra);
      uint32_t d = Decode(dist);
      if (d == kUnused) return *why = "a bad distance symbol", false;
      uint32_t dsym = d & 0xFFFF;
      if (dsym > 29) return *why = "distance code 30 or 31", false;
      int dextra = static_cast<int>(d >> 24);
      if (!Need(dextra)) return *why = "the stream ends early", false;
      size_t distance = kDistBase[dsym] + Take(dextra);
      if (distance > out.size()) return *why = "a distance beyond the output", false;
      if (length > limit_ - out.size()) return *why = "more output than the entry's size", false;
      size_t from = out.size() - distance;
      size_t at = out.size();
      out.resize(at + length);
      uint8_t* p = out.data();
      if (distance >= length) {
        std::memcpy(p + at, p + from, length);
      } else {
        for (size_t i = 0; i < length; ++i) p[at + i] = p[from + i];  // overlapping copy
      }
    }
  }

  const uint8_t* in_;
  size_t size_;
  size_t pos_ = 0;
  uint64_t bitbuf_ = 0;
  int count_ = 0;
  size_t limit_;
  std::vector<uint8_t>* out_;
  Huffman lit_, dist_;
};

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

}  // namespace

bool Inflate(const uint8_t* data, size_t size, size_t limit, std::vector<uint8_t>* out, std::string* error) {
  Decoder d(data, size, limit, out);
  return d.Run(error);
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  static const std::array<uint32_t, 256> table = MakeCrcTable();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace skin
