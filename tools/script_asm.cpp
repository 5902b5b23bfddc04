// script_asm <source.txt> <image.bin>: assembles a script image.
// script_asm --project <name> <build> <source.txt> <project>: assembles the
// "Main" script and writes it as the "project" resource behind the project
// record.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/project_writer.h"
#include "tools/script_assembler.h"

int main(int argc, char** argv)
{
    const bool project = argc == 6 && std::strcmp(argv[1], "--project") == 0;
    if (argc != 3 && !project) {
        std::fprintf(stderr, "usage: script_asm <source> <image>\n"
                             "       script_asm --project <name> <build> <source> <project>\n");
        return 2;
    }
    const char* sourcePath = project ? argv[4] : argv[1];
    const char* outPath = project ? argv[5] : argv[2];
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "script_asm: cannot read %s\n", sourcePath);
        return 1;
    }
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tScriptAssembly a = AssembleScript(source);
    if (!a.ok()) {
        std::fprintf(stderr, "%s:%s\n", sourcePath, a.error.c_str() + 5);
        return 1;
    }
    const std::vector<uint8_t> bytes = project ? testkit::BuildProject(argv[2], argv[3], a.image) : a.image;
    std::ofstream out(outPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "script_asm: cannot write %s\n", outPath);
        return 1;
    }
    return 0;
}
