#include "engine/gameplay/cinematic.h"

#include "engine/core/tarvel.h"

cTarvelCinematic::cTarvelCinematic() = default;
cTarvelCinematic::~cTarvelCinematic() = default;

void cTarvelCinematic::Update() {}

void cTarvelCinematic::Finish()
{
    for (int32_t i = gCinematics.count - 1; i >= 0; --i) {
        if (gCinematics.data[i] == this) {
            gCinematics.RemoveAt(i);
            return;
        }
    }
}
