// anim_build <source> <output>: writes an actor or motion file from its text form.
#include <cstdio>
#include <string>

#include "tools/anim_build.h"
#include "tools/text_form.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: anim_build <source> <output>\n");
        return 2;
    }
    try {
        const testkit::AnimBytes bytes = testkit::BuildAnimFromText(testkit::ReadTextFile(argv[1]), testkit::FolderOf(argv[1]));
        if (!testkit::WriteOutputFile(argv[2], bytes)) {
            std::fprintf(stderr, "anim_build: cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const testkit::TextFormError& error) {
        std::fprintf(stderr, "%s\n", testkit::TextFormMessage(argv[1], error).c_str());
        return 1;
    }
    return 0;
}
