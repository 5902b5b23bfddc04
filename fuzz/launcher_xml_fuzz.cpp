// Any bytes as the launcher's text file: the reader parses them and the
// whole tree is walked with its cursor (names, texts, child lookups by
// index, one past the end included); then the launcher window reads its
// texts from the tree as it does when it is shown.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/app/frm_launcher.h"
#include "launcher/app/xml_storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  launcher::TXmlStorage storage;
  if (!storage.LoadFromStream(bytes)) return 0;
  // Depth first with the cursor alone: the child index to visit next per level.
  std::vector<int> next{0};
  size_t visited = 0;
  while (!next.empty() && visited < 100000) {
    (void)storage.GetName();
    (void)storage.GetText();
    const int count = storage.ChildCount();
    (void)storage.GetChildName(count);
    int& index = next.back();
    if (index < count) {
      (void)storage.GetChildName(index);
      if (storage.GoChild(index++)) {
        next.push_back(0);
        ++visited;
        continue;
      }
    }
    next.pop_back();
    if (!next.empty()) storage.GoParent();
  }

  // The window's walk, over a fresh cursor. The window is never shown.
  launcher::TXmlStorage texts;
  if (!texts.LoadFromStream(bytes)) return 0;
  auto* form = new launcher::TfrmLauncher(nullptr);
  form->ReadTexts(texts);
  delete form;
  return 0;
}
