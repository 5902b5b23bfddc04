#include "engine/script/script_api.h"
