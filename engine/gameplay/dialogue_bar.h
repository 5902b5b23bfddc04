#pragma once

#include <cstdint>

#include "engine/gameplay/bar.h"

class cTarvelImage;

// The row of choice icons along the bottom of the stage during a
// conversation, filled by the character's "OnDlgBar" handler.
class cTarvelDialogueBar : public cTarvelBar {
public:
    // The band behind the icons and the icons' row.
    static constexpr int32_t kTop = 560;
    static constexpr int32_t kSpacing = 72;

    cTarvelDialogueBar();
    ~cTarvelDialogueBar() override;
    cTarvelDialogueBar(const cTarvelDialogueBar&) = delete;
    cTarvelDialogueBar& operator=(const cTarvelDialogueBar&) = delete;

    // Binds the icon effects and loads the band at gameplay start-up.
    void Init();
    // Deletes the icons and the band at shutdown.
    void Release();
    // Opens the bar with the lines the object's "OnDlgBar" adds.
    void Show(cTarvelScript* script, cTarvelScriptValue* object);
    // A choice: its icon is "dialogue-" and the icon name; choosing it calls
    // the function in the scene's script.
    void AddLine(const cTarvelString& icon, const cTarvelString& label, const cTarvelString& function);

    bool Update() override;
    void Render() override;

    cTarvelImage* mBackground = nullptr;   // owned

private:
    void Layout();
};
