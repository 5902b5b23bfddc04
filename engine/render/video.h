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
    // Draws the current picture: over the whole screen, or into the scene
    // band when the movie plays inside a view.
    void Draw();

    // Set when the movie plays inside a view rather than over the screen.
    bool mInScene = false;
};
