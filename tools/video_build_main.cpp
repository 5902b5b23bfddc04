// video_build <description> <output>: writes a video from its description.
#include <cstdio>

#include "tools/text_form.h"
#include "tools/video_build.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: video_build <description> <output>\n");
        return 2;
    }
    try {
        const testkit::Bytes bytes = testkit::BuildVideo(testkit::ReadVideoText(testkit::ReadTextFile(argv[1])));
        if (bytes.empty() || !testkit::WriteOutputFile(argv[2], bytes)) {
            std::fprintf(stderr, "video_build: cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const testkit::TextFormError& error) {
        std::fprintf(stderr, "%s\n", testkit::TextFormMessage(argv[1], error).c_str());
        return 1;
    }
    return 0;
}
