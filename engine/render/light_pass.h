#pragma once

#include <cstdint>

// A light pass drawn over a receiver while the receiver itself is drawn:
// held in the light-pass lists of mobiles, mobile meshes, scenery meshes and
// view layers. Kinds: 1 shadow onto scenery, 2 shadow onto a mobile mesh
// (object is a cTarvelShadow), 3 flashlight onto scenery, 4 flashlight onto a
// mobile mesh (object is a cTarvelFlashlight).
struct sLightPass {
    int32_t kind;
    void* object;
    // What the pass draws with: the receiver's texture, or none.
    void* target;
    // The receiver's ranges in the pass object's receiver buffers; for the
    // mobile kinds indexCount holds the visibility of the last frustum test.
    int32_t firstVertex;
    int32_t vertexCount;
    int32_t firstIndex;
    int32_t indexCount;
};
