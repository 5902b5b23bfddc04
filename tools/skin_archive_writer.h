// Writer of skin archives, from the format alone: "SKINDATA.SK2" (a chain
// of named integers, bytes, texts and bitmaps) in a ZIP archive (stored or
// deflated entries, traditional ZIP encryption, archive comments), and BMP
// file images for the bitmaps. Used by tests, the fuzz corpus and the
// benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

// ---- SKINDATA.SK2 ---------------------------------------------------------------
constexpr uint8_t kSkinBitmap = 0, kSkinInteger = 1, kSkinByte = 2, kSkinText = 3;
constexpr size_t kSkinHeaderSize = 24;
constexpr size_t kSkinEntrySize = 77;
// Where entry i's record lies (entries follow the header, data after them)
// and its next-entry field.
constexpr size_t SkinEntryOffset(size_t i) { return kSkinHeaderSize + i * kSkinEntrySize; }
constexpr size_t kSkinNextField = 73;

struct SkinValue {
  std::string name;  // at most 63 characters are kept with the terminator
  uint8_t kind = kSkinInteger;
  std::vector<uint8_t> data;
};
SkinValue SkinInteger(const std::string& name, int32_t value);
SkinValue SkinByte(const std::string& name, uint8_t value);
SkinValue SkinText(const std::string& name, const std::string& text);
SkinValue SkinBitmap(const std::string& name, const std::vector<uint8_t>& bmpFile);

// The values in order, then the closing entry (next-entry offset 0).
std::vector<uint8_t> WriteSkinData(const std::vector<SkinValue>& values);

// ---- ZIP ---------------------------------------------------------------------
struct ZipEntry {
  std::string name = "SKINDATA.SK2";
  std::vector<uint8_t> data;  // uncompressed
  bool deflate = true;
  // When set, stored as the compressed data instead of deflating `data`
  // (which still gives the CRC and the uncompressed size).
  std::vector<uint8_t> body;
  std::string password;       // empty: not encrypted
  // Flag bit 3: sizes and CRC in a data descriptor after the data, and the
  // password check byte taken from the time.
  bool dataDescriptor = false;
  uint16_t time = 0x6A21, date = 0x5A8C;
};
std::vector<uint8_t> WriteZip(const std::vector<ZipEntry>& entries, const std::string& comment = "");
// Where the n-th entry's fields lie in an archive WriteZip made with no
// encryption: its local header and its central record.
struct ZipLayout {
  size_t localHeader = 0;
  size_t dataStart = 0;
  size_t centralRecord = 0;
  size_t endRecord = 0;
};
ZipLayout LocateZipEntry(const std::vector<uint8_t>& zip, size_t index);

// A raw deflate stream (zlib, no header).
std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& data, int level = 6);
uint32_t ZipCrc32(const std::vector<uint8_t>& data);

// ---- BMP ---------------------------------------------------------------------
// A 24-bit bottom-up BMP file image of 0x00RRGGBB pixels given top row first.
std::vector<uint8_t> WriteBmp24(int width, int height, const std::vector<uint32_t>& pixels);

}  // namespace testkit
