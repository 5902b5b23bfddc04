#pragma once

#include <cstdint>

class cTarvelActor;
class cTarvelText;

// The line being said or thought: its speech file, the speaker's talking
// animation and the subtitle.
class cTarvelSpeech {
public:
    cTarvelSpeech();
    ~cTarvelSpeech();
    cTarvelSpeech(const cTarvelSpeech&) = delete;
    cTarvelSpeech& operator=(const cTarvelSpeech&) = delete;

    // Creates the off-screen voice actor "OFF".
    int Init();
    // Ends a running line and deletes the off-screen voice.
    void Release();

    // Starts a line, replacing the running one. mode is the sound's channel
    // group: 1 for a said line, 0 for a thought.
    void Say(const char* text, const char* soundName, cTarvelActor* speaker, int32_t mode);
    // As Say, dropping a leading "_" from a longer sound name, and marks the
    // line as a thought.
    void Think(const char* text, const char* soundName, cTarvelActor* speaker, int32_t mode);
    // Ends the line when its sound or text time is over, when a skip was
    // asked, or on a click while the interface flags let lines be clicked
    // through.
    void Update();
    // The font service deleted every live text, the subtitle line with them.
    void ForgetTextLine() { mTextLine = nullptr; }

    // Subtitle lines last this long a line when no speech file plays.
    static constexpr float kSecondsPerLine = 3.0f;
    // Layout flags of the subtitle line: centred and wrapped.
    static constexpr uint32_t kSubtitleFlags = 17;
    // The subtitle's x: the centre of the 1024-unit layout.
    static constexpr int32_t kLayoutCentreX = 1024 / 2;

    // 0 idle, 2 a line runs.
    int32_t mState;
    cTarvelActor* mOffVoice;   // owned
    bool mWithSound;
    bool mThought;
    bool mSkipRequested;
    cTarvelText* mTextLine;   // in the font service's live list, or null
    // Game time in ms at which the subtitle line was made.
    uint32_t mStartMs;
    cTarvelActor* mSpeaker;

private:
    void DeleteTextLine();
    void EndLine();
};
