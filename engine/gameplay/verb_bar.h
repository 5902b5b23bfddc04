#pragma once

#include "engine/gameplay/screen_control.h"

// The verb bar. Until the gameplay issue lands it holds no verbs.
class cTarvelVerbBar : public cTarvelScreenControl {
public:
    cTarvelVerbBar();
    virtual ~cTarvelVerbBar();
    cTarvelVerbBar(const cTarvelVerbBar&) = delete;
    cTarvelVerbBar& operator=(const cTarvelVerbBar&) = delete;

    virtual void Release();
};
