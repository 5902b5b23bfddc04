#pragma once
// The per-vertex loops of skinning and morphing. Each has a plain scalar form, the
// reference, and an SSE2 form that the deformers run; both compute the same sums in
// the same order, so their results agree bit for bit.

#include <cstddef>
#include <cstdint>

#include "animation/morph_target.h"
#include "animation/skinning_info_vertex_attribute.h"

namespace Anim::DeformKernels {

// The upper 4x3 part of a bone matrix, row after row (12 floats).
struct BoneRows {
  float m[12];
};

struct SkinJob {
  const BoneRows* bones = nullptr;
  uint32_t numBones = 0;
  const SkinInfluence* influences = nullptr;
  uint32_t numInfluences = 0;
  const SkinningInfoVertexAttribute::Row* rows = nullptr;
  uint32_t numRows = 0;
  const uint32_t* orgNumbers = nullptr;
  uint32_t numVertices = 0;
  float* positions = nullptr;  // 3 floats a vertex
  float* normals = nullptr;    // 3 floats a vertex, or none
  float* tangents = nullptr;   // 4 floats a vertex, or none
};

// Linear blend skinning in place.
void SkinReference(const SkinJob& job);
void Skin(const SkinJob& job);

struct MorphJob {
  const ProgressiveMorphTarget::VertexDelta* deltas = nullptr;
  uint32_t numDeltas = 0;
  float minValue = 0.0f;
  float maxValue = 0.0f;
  float weight = 0.0f;
  uint32_t numVertices = 0;
  float* positions = nullptr;  // 3 floats a vertex, or none
  float* normals = nullptr;    // 3 floats a vertex, or none
  float* tangents = nullptr;   // 4 floats a vertex, or none
};

// Adds the weighted, decoded deltas of one morph target in place.
void MorphReference(const MorphJob& job);
void Morph(const MorphJob& job);

}  // namespace Anim::DeformKernels
