// Skin archives made by the writer in tools/, read back; every fault of the
// archive, the deflate data and "SKINDATA.SK2" leaves the reader not ready
// and never reads out of bounds.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "launcher/skin/inflate.h"
#include "launcher/skin/skin_reader.h"
#include "platform/win32/test_support.h"
#include "tools/skin_archive_writer.h"

namespace skin {
namespace {

using Bytes = std::vector<uint8_t>;
namespace tk = testkit;

void Save(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

void Patch32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<tk::SkinValue> AllKinds() {
  return {tk::SkinInteger("SKIN2_FORMCOLOR", 0x00E8E8E8), tk::SkinInteger("SKIN2_TITLEBARICONPOSX", -7),
          tk::SkinByte("SKIN2_BUTTONTRANS", 1), tk::SkinText("Author", "Someone = else"),
          tk::SkinBitmap("SKIN2_BUTTON", tk::WriteBmp24(6, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xABCDEF}))};
}

class SkinReaderTest : public platform::testing::PlatformTest {
 protected:
  // Reads the archive; `threw` tells whether the failure was reported.
  std::unique_ptr<Tsk2SkinFileReader> Read(const Bytes& zip, const std::string& password, bool* threw) {
    Save("skin.zip", zip);
    *threw = false;
    try {
      return std::make_unique<Tsk2SkinFileReader>("skin.zip", password);
    } catch (const ESkinFileError& e) {
      EXPECT_STREQ(e.what(), "Failed to read skin file!");
      *threw = true;
      return nullptr;
    }
  }
  bool Ready(const Bytes& zip, const std::string& password = "") {
    bool threw;
    auto r = Read(zip, password, &threw);
    return r && r->Ready();
  }
};

TEST_F(SkinReaderTest, EveryValueKindReadsBack) {
  for (bool deflate : {true, false}) {
    tk::ZipEntry e;
    e.data = tk::WriteSkinData(AllKinds());
    e.deflate = deflate;
    bool threw;
    auto r = Read(tk::WriteZip({e}), "", &threw);
    ASSERT_TRUE(r && r->Ready());
    EXPECT_EQ(r->GetInteger("SKIN2_FORMCOLOR"), 0x00E8E8E8);
    EXPECT_EQ(r->GetInteger("skin2_titlebariconposx"), -7);
    EXPECT_EQ(r->GetByte("SKIN2_BUTTONTRANS"), 1);
    EXPECT_EQ(r->GetText("Author"), "Someone = else");
    forms::TBitmap* b = r->GetBitmap("SKIN2_BUTTON");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Width(), 6);
    EXPECT_EQ(b->PixelAt(5, 1), 0xABCDEFu);
    // Missing keys.
    EXPECT_EQ(r->GetInteger("SKIN2_NONE"), -1);
    EXPECT_EQ(r->GetByte("SKIN2_NONE"), 0);
    EXPECT_EQ(r->GetBitmap("SKIN2_NONE"), nullptr);
    // A key of another kind is not there either.
    EXPECT_EQ(r->GetInteger("SKIN2_BUTTONTRANS"), -1);
  }
}

TEST_F(SkinReaderTest, EntryNamesPasswordsAndEmptyChains) {
  tk::ZipEntry lower;
  lower.name = "skindata.sk2";
  lower.data = tk::WriteSkinData(AllKinds());
  EXPECT_TRUE(Ready(tk::WriteZip({lower})));
  // A first entry that closes the chain: ready, with no values.
  tk::ZipEntry empty;
  empty.data = tk::WriteSkinData({});
  bool threw;
  auto r = Read(tk::WriteZip({empty}), "", &threw);
  ASSERT_TRUE(r && r->Ready());
  EXPECT_EQ(r->GetInteger("SKIN2_FORMCOLOR"), -1);
  // Names longer than 287 bytes are passed over; the entry after is found.
  tk::ZipEntry longName;
  longName.name = std::string(300, 'x');
  longName.data = {1};
  EXPECT_TRUE(Ready(tk::WriteZip({longName, lower})));

  struct Case {
    const char* name;
    bool dataDescriptor;
    std::string given;
    bool ready;
  } cases[] = {
      {"right password", false, "secret", true},
      {"check byte from the time", true, "secret", true},
      {"wrong password", false, "Secret", false},
      {"no password", false, "", false},
  };
  for (const Case& c : cases) {
    tk::ZipEntry e;
    e.data = tk::WriteSkinData(AllKinds());
    e.password = "secret";
    e.dataDescriptor = c.dataDescriptor;
    auto got = Read(tk::WriteZip({e}), c.given, &threw);
    EXPECT_FALSE(threw) << c.name;  // a wrong or missing password is silent
    EXPECT_EQ(got && got->Ready(), c.ready) << c.name;
    if (c.ready) {
      EXPECT_EQ(got->GetByte("SKIN2_BUTTONTRANS"), 1);
    }
  }
}

TEST_F(SkinReaderTest, DamagedArchivesAreNotReady) {
  tk::ZipEntry good;
  good.data = tk::WriteSkinData(AllKinds());
  const Bytes zip = tk::WriteZip({good});
  const tk::ZipLayout at = tk::LocateZipEntry(zip, 0);
  struct Case {
    const char* name;
    std::function<Bytes()> make;
    bool reported;  // the exception; otherwise silent
  };
  std::vector<Case> cases = {
      {"archive comment", [&] { return tk::WriteZip({good}, "made by hand"); }, true},
      {"not a ZIP", [&] { Bytes b = zip; b[0] = 'X'; return b; }, true},
      {"truncated", [&] { return Bytes(zip.begin(), zip.end() - 1); }, true},
      {"entry missing", [&] { tk::ZipEntry other = good; other.name = "OTHER.DAT"; return tk::WriteZip({other}); }, true},
      {"directory beyond the file", [&] { Bytes b = zip; Patch32(b, at.endRecord + 16, 0x7FFFFFF0); return b; }, true},
      {"empty entry", [&] { tk::ZipEntry e = good; e.data.clear(); e.deflate = false; return tk::WriteZip({e}); }, true},
      {"bad CRC", [&] { Bytes b = zip; b[at.centralRecord + 16] ^= 1; return b; }, false},
      {"size differs", [&] { Bytes b = zip; Patch32(b, at.centralRecord + 24, static_cast<uint32_t>(good.data.size() + 1)); return b; }, false},
      {"size above the cap", [&] { Bytes b = zip; Patch32(b, at.centralRecord + 24, 0x7FFFFFFF); return b; }, false},
      {"unknown method", [&] { Bytes b = zip; b[at.centralRecord + 10] = 12; return b; }, false},
      {"local header beyond the file", [&] { Bytes b = zip; Patch32(b, at.centralRecord + 42, 0xFFFFFF00); return b; }, false},
      {"compressed size beyond the file", [&] { Bytes b = zip; Patch32(b, at.centralRecord + 20, 0x00FFFFFF); return b; }, false},
      {"deflate data damaged", [&] {
         Bytes b = zip;
         for (size_t i = at.dataStart; i < at.dataStart + 8; ++i) b[i] ^= 0xFF;
         return b;
       }, false},
  };
  for (const Case& c : cases) {
    bool threw;
    testing::internal::CaptureStderr();
    auto r = Read(c.make(), "", &threw);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(!r || !r->Ready()) << c.name;
    EXPECT_EQ(threw, c.reported) << c.name;
    // One line naming the archive and the reason.
    EXPECT_NE(err.find("skin.zip"), std::string::npos) << c.name;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name;
  }
  bool threw;
  EXPECT_EQ(Read(zip, "", &threw)->Ready(), true);
  std::remove("skin.zip");
  EXPECT_THROW(Tsk2SkinFileReader("skin.zip", ""), ESkinFileError);
}

TEST_F(SkinReaderTest, DamagedValueChains) {
  auto ready = [&](const Bytes& sk2) {
    tk::ZipEntry e;
    e.data = sk2;
    bool threw;
    return Read(tk::WriteZip({e}), "", &threw);
  };
  const Bytes base = tk::WriteSkinData(AllKinds());
  // A header above 24 bytes.
  Bytes big = base;
  Patch32(big, 12, 25);
  auto r = ready(big);
  EXPECT_TRUE(r && !r->Ready());
  // An entry outside the data.
  Bytes outside = base;
  Patch32(outside, tk::SkinEntryOffset(1) + tk::kSkinNextField, 0xFFFFFFF0);
  r = ready(outside);
  EXPECT_TRUE(r && !r->Ready());
  // Entries that revisit an earlier one end the walk: what came before stays.
  Bytes circle = base;
  Patch32(circle, tk::SkinEntryOffset(2) + tk::kSkinNextField, static_cast<uint32_t>(tk::SkinEntryOffset(0)));
  r = ready(circle);
  ASSERT_TRUE(r && r->Ready());
  EXPECT_EQ(r->GetByte("SKIN2_BUTTONTRANS"), 1);
  EXPECT_EQ(r->GetBitmap("SKIN2_BUTTON"), nullptr);
  // Entries that cannot be what they claim are skipped; the rest is read.
  tk::SkinValue wideInt = tk::SkinInteger("WIDE", 5);
  wideInt.data.push_back(0);
  tk::SkinValue wideByte{"WIDEBYTE", tk::kSkinByte, {1, 2}};
  tk::SkinValue notBmp{"NOTBMP", tk::kSkinBitmap, {'B', 'M', 0, 0}};
  tk::SkinValue unknown{"ODD", 9, {1, 2, 3}};
  tk::SkinValue far = tk::SkinInteger("FAR", 1);
  tk::SkinValue unterminated = tk::SkinInteger(std::string(63, 'n'), 3);
  Bytes mixed = tk::WriteSkinData({wideInt, wideByte, notBmp, unknown, far, unterminated, tk::SkinInteger("LAST", 8)});
  Patch32(mixed, tk::SkinEntryOffset(4) + 65, 0xFFFFFFF0);  // FAR's data offset
  mixed[tk::SkinEntryOffset(5) + 63] = 'n';                  // a name filling all 64 bytes
  r = ready(mixed);
  ASSERT_TRUE(r && r->Ready());
  EXPECT_EQ(r->GetInteger("WIDE"), -1);
  EXPECT_EQ(r->GetByte("WIDEBYTE"), 0);
  EXPECT_EQ(r->GetBitmap("NOTBMP"), nullptr);
  EXPECT_EQ(r->GetInteger("FAR"), -1);
  EXPECT_EQ(r->GetInteger(std::string(64, 'n')), 3);
  EXPECT_EQ(r->GetInteger("LAST"), 8);
}

// ---- The inflater ----------------------------------------------------------------

// Bits least significant first; Huffman codes most significant bit first.
struct BitWriter {
  Bytes bytes;
  int used = 8;
  void Bits(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) Bit((v >> i) & 1);
  }
  void Code(uint32_t code, int len) {
    for (int i = len - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  void Bit(uint32_t b) {
    if (used == 8) {
      bytes.push_back(0);
      used = 0;
    }
    bytes.back() |= static_cast<uint8_t>(b << used++);
  }
  // A dynamic block header with HCLEN code-length code lengths given in
  // the transmission order.
  void Dynamic(int hlit, int hdist, const std::vector<int>& clen) {
    Bits(1, 1);
    Bits(2, 2);
    Bits(static_cast<uint32_t>(hlit - 257), 5);
    Bits(static_cast<uint32_t>(hdist - 1), 5);
    Bits(static_cast<uint32_t>(clen.size() - 4), 4);
    for (int l : clen) Bits(static_cast<uint32_t>(l), 3);
  }
};

TEST(InflateTest, RoundTripsWhatZlibWrites) {
  std::mt19937 rng(7);
  Bytes data;
  for (int i = 0; i < 200000; ++i) data.push_back(i % 3000 < 1500 ? static_cast<uint8_t>(rng() % 4) : static_cast<uint8_t>(i));
  for (int level : {0, 1, 6, 9}) {
    Bytes packed = tk::RawDeflate(data, level);
    Bytes out;
    std::string why;
    ASSERT_TRUE(Inflate(packed.data(), packed.size(), data.size(), &out, &why)) << level << ": " << why;
    EXPECT_EQ(out, data) << level;
    // One byte short of the output's size is refused.
    EXPECT_FALSE(Inflate(packed.data(), packed.size(), data.size() - 1, &out, &why));
    // Input cut short is refused.
    EXPECT_FALSE(Inflate(packed.data(), packed.size() / 2, data.size(), &out, &why));
  }
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(InflateTest, InvalidStreamsAreRefused) {
  struct Case {
    const char* name;
    std::function<void(BitWriter&)> write;
    const char* reason;
  };
  // Fixed codes: literals 0-143 are 0x30 + value in 8 bits, 256-279 are
  // 7 bits from 0, 280-287 are 0xC0 + (value - 280) in 8 bits.
  std::vector<Case> cases = {
      {"block type 3", [](BitWriter& w) { w.Bits(1, 1); w.Bits(3, 2); }, "block type 3"},
      {"stored complement", [](BitWriter& w) {
         w.Bits(1, 1); w.Bits(0, 2); w.Bits(0, 5); w.Bits(4, 16); w.Bits(0xFFFA, 16);
       }, "a stored length does not match its complement"},
      {"HLIT above 286", [](BitWriter& w) { w.Dynamic(287, 1, {0, 0, 0, 0}); }, "too many length or distance codes"},
      {"HDIST above 30", [](BitWriter& w) { w.Dynamic(257, 31, {0, 0, 0, 0}); }, "too many length or distance codes"},
      {"over-subscribed code-length code", [](BitWriter& w) { w.Dynamic(257, 1, {1, 1, 1, 0}); }, "a bad code-length code"},
      {"incomplete code-length code", [](BitWriter& w) { w.Dynamic(257, 1, {0, 0, 0, 2}); }, "a bad code-length code"},
      {"repeat without a previous length", [](BitWriter& w) {
         w.Dynamic(257, 1, {1, 0, 0, 1});  // 0 is code 0, 16 is code 1
         w.Code(1, 1);
       }, "a repeat without a previous length"},
      {"repeat past the lengths", [](BitWriter& w) {
         w.Dynamic(257, 1, {0, 0, 1, 1});  // 0 is code 0, 18 is code 1
         w.Code(1, 1); w.Bits(127, 7);
         w.Code(1, 1); w.Bits(127, 7);
       }, "a repeat past the code lengths"},
      {"incomplete literal code", [](BitWriter& w) {
         // 18 and 1 of one bit each: 256 zeros, then 1 for symbol 256 and
         // for the single distance code.
         std::vector<int> clen(18, 0);
         clen[2] = 1;   // 18
         clen[17] = 1;  // 1
         w.Dynamic(257, 1, clen);
         // Symbol 1 is code 0, 18 is code 1.
         w.Code(1, 1); w.Bits(127, 7);  // 138 zeros
         w.Code(1, 1); w.Bits(107, 7);  // 118 zeros
         w.Code(0, 1);
         w.Code(0, 1);
       }, "a bad literal/length code"},
      {"length symbol 286", [](BitWriter& w) { w.Bits(1, 1); w.Bits(1, 2); w.Code(0xC6, 8); }, "length symbol 286 or 287"},
      {"distance code 30", [](BitWriter& w) {
         w.Bits(1, 1); w.Bits(1, 2); w.Code(0x30 + 'a', 8); w.Code(1, 7); w.Code(30, 5);
       }, "distance code 30 or 31"},
      {"distance beyond the output", [](BitWriter& w) {
         w.Bits(1, 1); w.Bits(1, 2); w.Code(0x30 + 'a', 8); w.Code(1, 7); w.Code(1, 5);
       }, "a distance beyond the output"},
      {"no end of block", [](BitWriter& w) { w.Bits(1, 1); w.Bits(1, 2); w.Code(0x30 + 'a', 8); }, nullptr},
  };
  for (const Case& c : cases) {
    BitWriter w;
    c.write(w);
    Bytes out;
    std::string why;
    EXPECT_FALSE(Inflate(w.bytes.data(), w.bytes.size(), 1000, &out, &why)) << c.name;
    if (c.reason) {
      EXPECT_EQ(why, c.reason) << c.name;
    }
  }
  // The same fixed block closed properly is fine: "aaaa" by a back reference.
  BitWriter w;
  w.Bits(1, 1); w.Bits(1, 2); w.Code(0x30 + 'a', 8); w.Code(1, 7); w.Code(0, 5); w.Code(0, 7);
  Bytes out;
  std::string why;
  ASSERT_TRUE(Inflate(w.bytes.data(), w.bytes.size(), 1000, &out, &why)) << why;
  EXPECT_EQ(out, (Bytes{'a', 'a', 'a', 'a'}));
}

}  // namespace
}  // namespace skin
