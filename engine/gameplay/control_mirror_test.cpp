#include "engine/gameplay/control_effects_test_support.h"
