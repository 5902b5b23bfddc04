// sound_assets <description> <folder>: writes the sounds a description names
// into the folder.
#include <cstdio>
#include <string>

#include "tools/sound_assets.h"
#include "tools/text_form.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: sound_assets <description> <folder>\n");
        return 2;
    }
    try {
        for (const testkit::SoundSource& sound : testkit::ReadSoundText(testkit::ReadTextFile(argv[1]))) {
            const std::vector<uint8_t> bytes = testkit::EncodeSound(sound);
            const std::string path = std::string(argv[2]) + "/" + sound.path;
            if (bytes.empty() || !testkit::WriteOutputFile(path, bytes)) {
                std::fprintf(stderr, "sound_assets: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    } catch (const testkit::TextFormError& error) {
        std::fprintf(stderr, "%s\n", testkit::TextFormMessage(argv[1], error).c_str());
        return 1;
    }
    return 0;
}
