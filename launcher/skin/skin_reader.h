// Reader of skin archives: a ZIP archive holding "SKINDATA.SK2", a chain of
// named integers, bytes, texts and bitmaps. The entry is found through the
// central directory, decrypted (traditional ZIP encryption) with the
// password, inflated and checked in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/forms/classes.h"
#include "platform/forms/graphics.h"

namespace skin {

// What the constructor throws for a failure that is reported.
class ESkinFileError : public std::runtime_error {
 public:
  ESkinFileError() : std::runtime_error("Failed to read skin file!") {}
};

// Outcome of extracting an entry: 0 success, 1 failure, 2 silent failure.
enum class ExtractResult { Ok = 0, Failed = 1, Silent = 2 };

// Limits on untrusted sizes.
constexpr uint64_t kMaxArchiveSize = 256ull << 20;
constexpr uint32_t kMaxEntrySize = 64u << 20;

// Extracts `entryName` (compared without case) of the archive at
// `fileName` (a Windows path) into memory. `reason` names the fault.
ExtractResult ExtractEntry(const std::string& fileName, const std::string& entryName,
                           const std::string& password, std::vector<uint8_t>* out, std::string* reason);

class Tsk2SkinFileReader : public forms::TObject {
 public:
  // Reads the archive. Throws ESkinFileError for a reported failure;
  // leaves Ready() false for a silent one. Either way one line on standard
  // error names the archive and the reason.
  Tsk2SkinFileReader(const std::string& fileName, const std::string& password);
  ~Tsk2SkinFileReader() override;
  std::string ClassName() const override { return "Tsk2SkinFileReader"; }

  bool Ready() const { return ready_; }
  // Owned by the reader; null when missing.
  forms::TBitmap* GetBitmap(const std::string& name) const;
  // -1 when missing or not a number.
  int32_t GetInteger(const std::string& name) const;
  // 0 when missing or not a number.
  uint8_t GetByte(const std::string& name) const;
  // Empty when missing.
  std::string GetText(const std::string& name) const;

 private:
  bool Load(const std::vector<uint8_t>& data, std::string* reason);

  std::vector<std::pair<std::string, std::unique_ptr<forms::TBitmap>>> bitmaps_;
  std::vector<std::string> integers_;  // "name=value" lines
  std::vector<std::string> bytes_;
  std::vector<std::string> texts_;
  bool ready_ = false;
};

}  // namespace skin
