#include "engine/render/video.h"

cTarvelVideo::cTarvelVideo() {}
cTarvelVideo::~cTarvelVideo() = default;

void cTarvelVideo::Skip() {}

void cTarvelVideo::Draw() {}
