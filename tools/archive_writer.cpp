#include "tools/archive_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <system_error>

namespace testkit {
namespace {

constexpr std::string_view kExtensions[kArchiveTypeCount] = {
    "",      ".scene", ".actor", ".item", ".image", ".tga", ".cmotion", ".act",
    ".skm",  ".subtitle", ".ogg", ".wav", ".bik", ".dds", ".pmm"};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ByteLess(const std::string& a, const std::string& b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return c != 0 ? c < 0 : a.size() < b.size();
}

std::string VolumeFileName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "resource.%.3d", number);
  return name;
}

bool WriteFile(const std::filesystem::path& path, std::span<const uint8_t> data,
               std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()),
            static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    if (error) *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// Splices two words into a stream: `first` stream bytes, C, `first` more
// bytes, U, the rest. The stream is padded after its end to 2 * `first`.
Bytes Splice(std::span<const uint8_t> stream, uint32_t inflatedSize, size_t first) {
  Bytes padded(stream.begin(), stream.end());
  if (padded.size() < 2 * first) padded.resize(2 * first, 0);
  Bytes out;
  out.reserve(padded.size() + 8);
  out.insert(out.end(), padded.begin(), padded.begin() + first);
  PutU32(out, static_cast<uint32_t>(padded.size()));
  out.insert(out.end(), padded.begin() + first, padded.begin() + 2 * first);
  PutU32(out, inflatedSize);
  out.insert(out.end(), padded.begin() + 2 * first, padded.end());
  return out;
}

}  // namespace

std::string_view ArchiveTypeExtension(int type) {
  return type >= 0 && type < kArchiveTypeCount ? kExtensions[type] : "";
}

std::pair<int, std::string> ArchiveTypeOfFileName(std::string_view fileName) {
  const std::string lower = Lower(fileName);
  const size_t dot = lower.rfind('.');
  if (dot != std::string::npos) {
    const std::string_view ext = std::string_view(lower).substr(dot);
    for (int type = 1; type < kArchiveTypeCount; ++type)
      if (ext == kExtensions[type]) return {type, lower.substr(0, dot)};
  }
  return {0, lower};
}

void PutU32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutU32At(Bytes& out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32At(std::span<const uint8_t> in, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | in[offset + i];
  return value;
}

void PutEntry(Bytes& out, const ArchiveDirEntry& entry) {
  const size_t start = out.size();
  out.resize(start + kArchiveNameField, 0);
  std::memcpy(out.data() + start, entry.name.data(),
              std::min(entry.name.size(), kArchiveNameField));
  out.push_back(entry.volume);
  PutU32(out, entry.offset);
  PutU32(out, entry.size);
  PutU32(out, entry.compressedSize);
}

void PutVolumeRecord(Bytes& out, const ArchiveVolumeRecord& record) {
  PutU32(out, record.number);
  PutU32(out, record.used);
  PutU32(out, record.reserved);
  const size_t start = out.size();
  out.resize(start + 100, 0);
  std::memcpy(out.data() + start, record.name.data(), std::min<size_t>(record.name.size(), 100));
}

Bytes BuildTypeGroups(const std::map<int, std::vector<ArchiveDirEntry>>& groups) {
  Bytes out;
  for (const auto& [type, entries] : groups) {
    if (entries.empty()) continue;
    PutU32(out, static_cast<uint32_t>(type));
    PutU32(out, static_cast<uint32_t>(entries.size()));
    for (const ArchiveDirEntry& entry : entries) PutEntry(out, entry);
  }
  PutU32(out, 0);
  PutU32(out, 0);
  return out;
}

Bytes Deflate(std::span<const uint8_t> data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    return {};
  out.resize(size);
  return out;
}

Bytes SpliceSharedStream(std::span<const uint8_t> stream, uint32_t inflatedSize) {
  return Splice(stream, inflatedSize, 100);
}

Bytes BuildSharedMap(std::span<const uint8_t> directory) {
  return SpliceSharedStream(Deflate(directory), static_cast<uint32_t>(directory.size()));
}

Bytes SpliceLocalStream(std::span<const uint8_t> stream, uint32_t inflatedSize,
                        int language) {
  return Splice(stream, inflatedSize, 2 * static_cast<size_t>(language));
}

Bytes BuildLocalDirectory(std::span<const uint8_t> directory, int language) {
  return SpliceLocalStream(Deflate(directory), static_cast<uint32_t>(directory.size()),
                           language);
}

bool ArchiveWriter::AddItem(std::vector<Item>& items, std::string_view name, int type,
                            std::span<const uint8_t> data, bool compress) {
  Item item{Lower(name), type, Bytes(data.begin(), data.end()), compress};
  if (item.name.empty() || item.name.size() >= kArchiveNameField) {
    errors_.push_back("name does not fit: " + std::string(name));
    return false;
  }
  if (type < 0 || type >= kArchiveTypeCount) {
    errors_.push_back("unknown type " + std::to_string(type) + " of " + std::string(name));
    return false;
  }
  items.push_back(std::move(item));
  return true;
}

void ArchiveWriter::AddShared(int volume, std::string_view name, int type,
                              std::span<const uint8_t> data, bool compress) {
  if (volume < 1 || volume >= kArchiveLanguageBase) {
    errors_.push_back("bad data volume number " + std::to_string(volume));
    return;
  }
  AddItem(shared_[volume].items, name, type, data, compress);
}

void ArchiveWriter::AddLocal(int language, std::string_view name, int type,
                             std::span<const uint8_t> data, bool compress) {
  if (language < 0 || language >= kArchiveLanguageCount) {
    errors_.push_back("bad language " + std::to_string(language));
    return;
  }
  AddItem(languages_[language].items, name, type, data, compress);
}

void ArchiveWriter::AddLanguage(int language) {
  if (language < 0 || language >= kArchiveLanguageCount)
    errors_.push_back("bad language " + std::to_string(language));
  else
    languages_[language];
}

void ArchiveWriter::AddVolume(int volume) {
  if (volume < 1 || volume >= kArchiveLanguageBase)
    errors_.push_back("bad data volume number " + std::to_string(volume));
  else
    shared_[volume];
}

void ArchiveWriter::AddUpdate(std::string_view fileName, std::span<const uint8_t> data) {
  updates_.emplace_back(std::string(fileName), Bytes(data.begin(), data.end()));
}

bool ArchiveWriter::Write(const std::filesystem::path& folder, std::string* error) const {
  if (!errors_.empty()) {
    if (error) *error = errors_.front();
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    if (error) *error = "cannot create " + folder.string();
    return false;
  }

  // Appends a volume's data and returns its entries by type, sorted.
  auto layOut = [&](const Volume& volume, uint8_t index, Bytes& data,
                    std::map<int, std::vector<ArchiveDirEntry>>& groups) {
    for (const Item& item : volume.items) {
      ArchiveDirEntry entry;
      entry.name = item.name;
      entry.volume = index;
      entry.offset = static_cast<uint32_t>(data.size());
      entry.size = static_cast<uint32_t>(item.data.size());
      if (item.compress) {
        const Bytes packed = Deflate(item.data);
        entry.compressedSize = static_cast<uint32_t>(packed.size());
        data.insert(data.end(), packed.begin(), packed.end());
      } else {
        data.insert(data.end(), item.data.begin(), item.data.end());
      }
      groups[item.type].push_back(std::move(entry));
    }
  };
  auto sortGroups = [&](std::map<int, std::vector<ArchiveDirEntry>>& groups) {
    for (auto& [type, entries] : groups) {
      std::sort(entries.begin(), entries.end(),
                [](const ArchiveDirEntry& a, const ArchiveDirEntry& b) {
                  return ByteLess(a.name, b.name);
                });
      for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].name == entries[i - 1].name) {
          if (error)
            *error = "duplicate name " + entries[i].name + " of type " + std::to_string(type);
          return false;
        }
    }
    return true;
  };

  // Data volumes take the engine's volume indexes 1, 2, ... in the order of
  // their records; the language volume is always index 0.
  if (shared_.size() > 255) {
    if (error) *error = "too many data volumes";
    return false;
  }
  Bytes directory;
  std::map<int, std::vector<ArchiveDirEntry>> sharedGroups;
  uint8_t index = 1;
  for (const auto& [number, volume] : shared_) {
    PutVolumeRecord(directory, {static_cast<uint32_t>(number), 1, 0, VolumeFileName(number)});
    Bytes data;
    layOut(volume, index++, data, sharedGroups);
    if (!WriteFile(folder / VolumeFileName(number), data, error)) return false;
  }
  PutVolumeRecord(directory, {0, 0, 0, ""});
  if (!sortGroups(sharedGroups)) return false;
  const Bytes groups = BuildTypeGroups(sharedGroups);
  directory.insert(directory.end(), groups.begin(), groups.end());
  if (writeMap_ && !WriteFile(folder / "resource.map", BuildSharedMap(directory), error))
    return false;

  for (const auto& [language, volume] : languages_) {
    const int number = kArchiveLanguageBase + language;
    Bytes data;
    std::map<int, std::vector<ArchiveDirEntry>> localGroups;
    layOut(volume, 0, data, localGroups);
    if (!sortGroups(localGroups)) return false;
    Bytes local = BuildTypeGroups(localGroups);
    PutVolumeRecord(local, {static_cast<uint32_t>(number), 1, 0, VolumeFileName(number)});
    const uint32_t offset = static_cast<uint32_t>(data.size());
    const Bytes spliced = BuildLocalDirectory(local, language);
    data.insert(data.end(), spliced.begin(), spliced.end());
    PutU32(data, offset);
    if (!WriteFile(folder / VolumeFileName(number), data, error)) return false;
  }

  if (!updates_.empty()) {
    std::filesystem::create_directories(folder / "updates", ec);
    if (ec) {
      if (error) *error = "cannot create the updates folder";
      return false;
    }
    for (const auto& [name, data] : updates_)
      if (!WriteFile(folder / "updates" / name, data, error)) return false;
  }
  return true;
}

namespace {

bool ReadWhole(const std::filesystem::path& path, Bytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Regular files of a folder, sorted by name so packing is reproducible.
std::vector<std::filesystem::path> FilesOf(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(folder, ec))
    if (item.is_regular_file() && item.path().filename().string().rfind('.', 0) != 0)
      files.push_back(item.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Subtitles, sounds and videos are read through the volume's descriptor.
bool Streamed(int type) { return type >= 9 && type <= 12; }

}  // namespace

bool PackFolder(const std::filesystem::path& source, const std::filesystem::path& target,
                std::string* error) {
  ArchiveWriter writer;
  Bytes data;
  auto addAll = [&](const std::filesystem::path& folder, auto add) {
    for (const auto& file : FilesOf(folder)) {
      if (!ReadWhole(file, data)) {
        if (error) *error = "cannot read " + file.string();
        return false;
      }
      const auto [type, name] = ArchiveTypeOfFileName(file.filename().string());
      add(name, type);
    }
    return true;
  };

  const std::filesystem::path shared = source / "shared";
  if (std::filesystem::is_directory(shared)) {
    writer.AddVolume(1);
    if (!addAll(shared, [&](const std::string& name, int type) {
          writer.AddShared(1, name, type, data, !Streamed(type));
        }))
      return false;
  }
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(source / "language", ec)) {
    if (!item.is_directory()) continue;
    const std::string name = item.path().filename().string();
    char* end = nullptr;
    const long language = std::strtol(name.c_str(), &end, 10);
    if (name.empty() || *end != '\0' || language < 0 || language >= kArchiveLanguageCount) {
      if (error) *error = "not a language folder: " + item.path().string();
      return false;
    }
    const int n = static_cast<int>(language);
    writer.AddLanguage(n);
    if (!addAll(item.path(), [&](const std::string& entry, int type) {
          writer.AddLocal(n, entry, type, data, !Streamed(type));
        }))
      return false;
  }
  const std::filesystem::path updates = source / "updates";
  if (std::filesystem::is_directory(updates)) {
    for (const auto& file : FilesOf(updates)) {
      if (!ReadWhole(file, data)) {
        if (error) *error = "cannot read " + file.string();
        return false;
      }
      writer.AddUpdate(file.filename().string(), data);
    }
  }
  return writer.Write(target, error);
}

}  // namespace testkit
