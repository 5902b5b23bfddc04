#pragma once

// A running control of the active-control list.
class cTarvelControl {
public:
    cTarvelControl();
    virtual ~cTarvelControl();
    cTarvelControl(const cTarvelControl&) = delete;
    cTarvelControl& operator=(const cTarvelControl&) = delete;
};
