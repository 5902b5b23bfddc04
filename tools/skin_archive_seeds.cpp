// Writes seed skin archives for the fuzz corpus into a folder.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/skin_archive_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_archive_seeds <folder>\n");
    return 2;
  }
  namespace tk = testkit;
  std::vector<tk::SkinValue> values = {
      tk::SkinInteger("SKIN2_FORMCOLOR", 0xE8E8E8), tk::SkinByte("SKIN2_BUTTONTRANS", 1),
      tk::SkinText("Author", "seed"), tk::SkinBitmap("SKIN2_BUTTON", tk::WriteBmp24(6, 2, std::vector<uint32_t>(12, 0x336699)))};
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(std::string(argv[1]) + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  tk::ZipEntry e;
  e.data = tk::WriteSkinData(values);
  write("deflated", tk::WriteZip({e}));
  e.deflate = false;
  write("stored", tk::WriteZip({e}));
  // The entry point tries the password "secret".
  e.deflate = true;
  e.password = "secret";
  write("encrypted", tk::WriteZip({e}));
  e.dataDescriptor = true;
  write("encrypted_descriptor", tk::WriteZip({e}));
  tk::ZipEntry empty;
  empty.data = tk::WriteSkinData({});
  write("empty_chain", tk::WriteZip({empty}));
  return 0;
}
