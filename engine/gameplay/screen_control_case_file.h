#pragma once

#include <cstdint>

#include "engine/core/string.h"
#include "engine/gameplay/screen_control.h"
#include "engine/script/script_value.h"

class cTarvelImage;
class cTarvelRegionSet;
class cTarvelScript;

// A paged document shown over the scene: each page is a top and a bottom
// picture named <name>_top_0<page> and <name>_btm_0<page>. Clicks at the
// sides turn pages, a click in the band along the screen's edges closes it
// and calls "CaseFileExit" in the script that opened it.
class cTarvelScreenControlCaseFile : public cTarvelScreenControl {
public:
    cTarvelScreenControlCaseFile(const cTarvelString& name, int32_t pageCount, cTarvelScript* script);
    ~cTarvelScreenControlCaseFile() override;
    cTarvelScreenControlCaseFile(const cTarvelScreenControlCaseFile&) = delete;
    cTarvelScreenControlCaseFile& operator=(const cTarvelScreenControlCaseFile&) = delete;

    bool Update() override;
    void Render() override;
    void ReleaseResources() override;

    // (Re)loads the two pictures of the current page; a missing one is fatal.
    void LoadPages();

    cTarvelImage* mTop = nullptr;      // owned
    cTarvelImage* mBottom = nullptr;   // owned
    cTarvelScript* mScript;            // not owned
    uint64_t mScriptSerial;            // another machine may take a gone one's address
    cTarvelRegionSet* mExit = nullptr;       // owned
    cTarvelRegionSet* mPrevious = nullptr;   // owned
    cTarvelRegionSet* mNext = nullptr;       // owned
    cTarvelString mName;
    int32_t mPageCount;
    int32_t mPage = 0;

private:
    // What the regions are bound to: a region set takes hits only while it
    // has a script object.
    cTarvelScriptValue mRegionObject;
};
