#include "physics/constraint.h"

void phConstraint::Reset()
{
    child = nullptr;
    parent = nullptr;
    link = nullptr;
    counter = 0;
    flagBytes[0] = 0;
    flagBytes[1] = 0;
    maxRows = 6;
    classId = kClassJoint;
}
