// The one main object, in a file of its own: the program and the test
// support library link it, so tests can rebuild it in place.
#include "engine/core/tarvel.h"

cTarvel gTarvel;
