#pragma once

#include <cstdint>

#include "engine/gameplay/bar.h"

// The ring of verb icons that opens around a clicked hotspot or inventory
// item, filled by the object's "OnVerbBar" handler.
class cTarvelVerbBar : public cTarvelBar {
public:
    // A bar shows at most this many verbs.
    static constexpr int32_t kMaxVerbs = 5;
    // The mouse closes the bar this far from its centre on either axis.
    static constexpr int32_t kReach = 80;

    cTarvelVerbBar();
    ~cTarvelVerbBar() override;
    cTarvelVerbBar(const cTarvelVerbBar&) = delete;
    cTarvelVerbBar& operator=(const cTarvelVerbBar&) = delete;

    // Binds the icon effects at gameplay start-up.
    void Init();
    // Deletes the icons at shutdown.
    void Release();
    // Opens the bar centred on (x, y), or on the mouse when both are 0, with
    // the verbs the object's "OnVerbBar" adds.
    void Show(cTarvelScript* script, cTarvelScriptValue* object, int32_t x = 0, int32_t y = 0);
    // A verb for the object; "inventory" is never shown. The first verb of a
    // hotspot with a look-at point turns the player toward that point.
    void AddVerb(const cTarvelString& verb, const cTarvelString& label, const cTarvelString& function,
                 cTarvelRegionSet* hotspot, cTarvelActor* actor, cTarvelScript* itemScript = nullptr,
                 cTarvelScriptValue* itemObject = nullptr);
    // Fades the bar out and lets the player look away again.
    void Close();

    bool Update() override;
    void Render() override;

    // Offset of icon i's centre from the bar's centre in a bar of count verbs.
    static void Offset(int32_t count, int32_t i, int32_t& dx, int32_t& dy);

    int32_t mCentreX = 0;
    int32_t mCentreY = 0;

private:
    void Run(const sBarEntry& entry);
};
