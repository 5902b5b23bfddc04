// The D3DX 9 layer: maths, effects, textures and surfaces.
#pragma once

#include "platform/d3dx9/d3dx9_effect.h"
#include "platform/d3dx9/d3dx9_math.h"
#include "platform/d3dx9/d3dx9_tex.h"
