#pragma once

// The verb bar. Until the gameplay issue lands it holds no verbs.
class cTarvelVerbBar {
public:
    cTarvelVerbBar();
    virtual ~cTarvelVerbBar();
    cTarvelVerbBar(const cTarvelVerbBar&) = delete;
    cTarvelVerbBar& operator=(const cTarvelVerbBar&) = delete;

    virtual void Release();
};
