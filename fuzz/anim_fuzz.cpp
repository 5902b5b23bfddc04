// The first byte picks the loader: 0 actor, 1 skeletal motion, 2 progressive morph
// motion (taken modulo 3); the rest is the file. Each load must give back every
// block it took, whatever it returns. Names a load meets stay registered with the
// library's id generator, so the input is loaded twice and the second load must end
// with as many live blocks as it started with.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "animation/actor.h"
#include "animation/anim_manager.h"
#include "animation/core/memory_manager.h"
#include "animation/importer.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"

namespace {

Anim::Importer* StartLibrary() {
  static bool started = AnimCore::SetMemoryAllocator(nullptr) && Anim::Initialize();
  return started ? Anim::GetImporter() : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Anim::Importer* importer = StartLibrary();
  if (importer == nullptr || size < 1 || size > 0xFFFFFFFFu) return 0;
  const uint8_t* file = data + 1;
  const uint32_t fileSize = static_cast<uint32_t>(size - 1);
  uint32_t live = 0;
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) live = AnimCore::MemoryManager::GetMemoryAllocator()->GetNumAllocations();
    switch (data[0] % 3) {
      case 0: AnimCore::Delete(importer->LoadActor(file, fileSize)); break;
      case 1: AnimCore::Delete(importer->LoadSkeletalMotion(file, fileSize)); break;
      default: AnimCore::Delete(importer->LoadPMorphMotion(file, fileSize)); break;
    }
  }
  if (AnimCore::MemoryManager::GetMemoryAllocator()->GetNumAllocations() != live) std::abort();
  return 0;
}
