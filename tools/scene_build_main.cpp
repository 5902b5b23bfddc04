// scene_build <source> <output>: writes a scene file from its text form.
// scene_build --pictures <source>: prints the views' background pictures,
// one a line, for the build to make them.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/scene_build.h"
#include "tools/text_form.h"

int main(int argc, char** argv)
{
    const bool pictures = argc == 3 && std::strcmp(argv[1], "--pictures") == 0;
    if (argc != 3) {
        std::fprintf(stderr, "usage: scene_build <source> <output>\n"
                             "       scene_build --pictures <source>\n");
        return 2;
    }
    const std::string source = pictures ? argv[2] : argv[1];
    try {
        const testkit::SceneSource scene =
            testkit::ReadSceneText(testkit::ReadTextFile(source), testkit::FolderOf(source));
        if (pictures) {
            for (const std::string& picture : scene.pictures)
                if (!picture.empty())
                    std::printf("%s\n", picture.c_str());
            return 0;
        }
        if (!testkit::WriteOutputFile(argv[2], testkit::BuildSceneFile(scene.file))) {
            std::fprintf(stderr, "scene_build: cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const testkit::TextFormError& error) {
        std::fprintf(stderr, "%s\n", testkit::TextFormMessage(source, error).c_str());
        return 1;
    }
    return 0;
}
