// video_build <description> <output>: writes a video from its description.
// video_build --picture <description> <output>: writes its first frame as a
// TGA picture.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/text_form.h"
#include "tools/video_build.h"

int main(int argc, char** argv)
{
    const bool picture = argc == 4 && std::strcmp(argv[1], "--picture") == 0;
    if (argc != 3 && !picture) {
        std::fprintf(stderr, "usage: video_build <description> <output>\n"
                             "       video_build --picture <description> <output.tga>\n");
        return 2;
    }
    const std::string source = argv[picture ? 2 : 1];
    const std::string output = argv[picture ? 3 : 2];
    try {
        const testkit::VideoSpec recipe = testkit::ReadVideoText(testkit::ReadTextFile(source));
        const testkit::Bytes bytes = picture ? testkit::BuildPictureTga(recipe) : testkit::BuildVideo(recipe);
        if (bytes.empty() || !testkit::WriteOutputFile(output, bytes)) {
            std::fprintf(stderr, "video_build: cannot write %s\n", output.c_str());
            return 1;
        }
    } catch (const testkit::TextFormError& error) {
        std::fprintf(stderr, "%s\n", testkit::TextFormMessage(source, error).c_str());
        return 1;
    }
    return 0;
}
