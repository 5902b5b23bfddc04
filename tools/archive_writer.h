#pragma once
// Writes resource archives: "resource.map" with its data volumes, language
// volumes 900 + n and an updates folder of loose files. Tests, benchmarks and
// the sample game build their archives with it.
//
// This writer knows the file layout on its own and shares no code with the
// engine's reader, so a round trip checks one against the other.

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

using Bytes = std::vector<uint8_t>;

constexpr int kArchiveTypeCount = 15;
constexpr size_t kArchiveNameField = 63;  // name bytes including the NUL
constexpr size_t kArchiveEntrySize = 76;
constexpr size_t kArchiveVolumeRecordSize = 112;
constexpr int kArchiveLanguageBase = 900;
constexpr int kArchiveLanguageCount = 32;

// Loose-file extension of each type ("" for type 0, whose loose files keep
// their own name).
std::string_view ArchiveTypeExtension(int type);
// Type of a file name by its extension: {type, name without extension}.
// Names without a known extension are type 0 and keep their whole name.
std::pair<int, std::string> ArchiveTypeOfFileName(std::string_view fileName);

// One 76-byte directory entry as it is stored.
struct ArchiveDirEntry {
  std::string name;  // at most 62 bytes; stored NUL-padded
  uint8_t volume = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
  uint32_t compressedSize = 0;
};
// One 112-byte volume record as it is stored.
struct ArchiveVolumeRecord {
  uint32_t number = 0;
  uint32_t used = 1;  // 0 ends the record list
  uint32_t reserved = 0;
  std::string name;   // at most 99 bytes
};

// Layout helpers, exposed so tests and fuzz seeds can build files whose
// content is off on purpose.
void PutU32(Bytes& out, uint32_t value);
void PutU32At(Bytes& out, size_t offset, uint32_t value);
uint32_t GetU32At(std::span<const uint8_t> in, size_t offset);
void PutEntry(Bytes& out, const ArchiveDirEntry& entry);
void PutVolumeRecord(Bytes& out, const ArchiveVolumeRecord& record);
// Type groups {type, count, entries...} in the order given, then {0, 0}.
Bytes BuildTypeGroups(const std::map<int, std::vector<ArchiveDirEntry>>& groups);
// zlib stream of `data` at the best compression level.
Bytes Deflate(std::span<const uint8_t> data);
// "resource.map" from an inflated shared directory. A stream shorter than
// 200 bytes is padded after its end; C counts the padding.
Bytes BuildSharedMap(std::span<const uint8_t> directory);
// The spliced local directory of language n (what starts at offset L).
Bytes BuildLocalDirectory(std::span<const uint8_t> directory, int language);
// Same, from an already deflated stream (no padding is added).
Bytes SpliceLocalStream(std::span<const uint8_t> stream, uint32_t inflatedSize,
                        int language);
Bytes SpliceSharedStream(std::span<const uint8_t> stream, uint32_t inflatedSize);

// Builds a whole archive from code and writes it into a folder.
class ArchiveWriter {
 public:
  // An entry of data volume `volume` (its three-digit number, 1 … 899).
  // `compress` stores it as a zlib stream.
  void AddShared(int volume, std::string_view name, int type,
                 std::span<const uint8_t> data, bool compress);
  // An entry of the language volume of language n (0 … 31).
  void AddLocal(int language, std::string_view name, int type,
                std::span<const uint8_t> data, bool compress);
  // A language volume, even one without entries.
  void AddLanguage(int language);
  // A data volume, even one without entries.
  void AddVolume(int volume);
  // A loose file in "updates", under the file name as given.
  void AddUpdate(std::string_view fileName, std::span<const uint8_t> data);

  // Writes every file into `folder` (created if missing). Returns false with
  // a message on failure (a name that does not fit, an unknown type, I/O).
  bool Write(const std::filesystem::path& folder, std::string* error) const;

  // Whether to write "resource.map" (tests of a missing map turn it off).
  void SetWriteMap(bool write) { writeMap_ = write; }

 private:
  struct Item {
    std::string name;
    int type = 0;
    Bytes data;
    bool compress = false;
  };
  struct Volume {
    std::vector<Item> items;
  };
  bool AddItem(std::vector<Item>& items, std::string_view name, int type,
               std::span<const uint8_t> data, bool compress);

  std::map<int, Volume> shared_;     // by volume number
  std::map<int, Volume> languages_;  // by language
  std::vector<std::pair<std::string, Bytes>> updates_;
  std::vector<std::string> errors_;
  bool writeMap_ = true;
};

// Packs a folder of source files: "shared/" into data volume 1, each
// "language/<n>/" into language volume 900 + n and "updates/" copied as
// loose files. A file's type follows its extension. Subtitles, sounds and
// videos are stored, everything else compressed. Names beginning with "." are skipped.
bool PackFolder(const std::filesystem::path& source,
                const std::filesystem::path& target, std::string* error);

}  // namespace testkit
