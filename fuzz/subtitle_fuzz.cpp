// A movie's subtitle file and its camera data: the input is read as both,
// the cues are walked and every camera record a frame can reach is read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/render/video.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tArray<sSubtitleCue> cues;
    ParseSubtitles(data, size, cues);
    size_t total = 0;
    for (int32_t i = 0; i < cues.Count(); ++i)
        total += std::strlen(cues[i].text.c_str()) + size_t(cues[i].start != cues[i].end);

    cTarvelVideo movie;
    movie.mCameraData = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (!movie.mCameraData)
        return 0;
    if (size > 0)
        std::memcpy(movie.mCameraData, data, size);
    movie.mCameraDataSize = uint32_t(size);
    float pose[8];
    for (int32_t frame = -2; frame < int32_t(size / kCameraRecordSize) + 2; ++frame)
        if (const uint8_t* record = movie.CameraRecord(frame)) {
            std::memcpy(pose, record, sizeof pose);
            total += pose[0] == pose[7] ? 1 : 0;
        }
    // Keeps the reads from being left out.
    if (total == size_t(-1))
        std::abort();
    return 0;
}
