#pragma once

// A movie player. Until the video issue lands no movie plays.
class cTarvelVideo {
public:
    cTarvelVideo();
    ~cTarvelVideo();
    cTarvelVideo(const cTarvelVideo&) = delete;
    cTarvelVideo& operator=(const cTarvelVideo&) = delete;

    // Skips the playing movie (Escape).
    void Skip();
};
