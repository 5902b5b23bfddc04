// script_asm <source.txt> <image.bin>: assembles a script image.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/script_assembler.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: script_asm <source> <image>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "script_asm: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tScriptAssembly a = AssembleScript(source);
    if (!a.ok()) {
        std::fprintf(stderr, "%s:%s\n", argv[1], a.error.c_str() + 5);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(a.image.data()), std::streamsize(a.image.size()));
    if (!out) {
        std::fprintf(stderr, "script_asm: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
