#pragma once
// Power requests that are recorded instead of made.
#include <QStringList>

#include "PowerControl.h"

class TFakePowerRequests : public TPowerRequests {
public:
    QStringList Calls;
    bool CanRequest = true;

    bool Available() override { return CanRequest; }
    void Quit() override { Calls << "Quit"; }
    void PowerOff() override { Calls << "PowerOff"; }
    void Reboot() override { Calls << "Reboot"; }
    void Hibernate() override { Calls << "Hibernate"; }
    void Suspend() override { Calls << "Suspend"; }
};
