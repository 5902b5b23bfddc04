#pragma once
// The per-vertex loops of skinning and morphing. Each has a plain scalar form, the
// reference, and a fast form that the deformers run: the influences and deltas are
// first compiled into a plan (once, when they change), then the plan runs every
// frame in SSE2. Both forms compute the same sums in the same order, so their results
// agree bit for bit.

#include <cstddef>
#include <cstdint>

#include "animation/core/array.h"
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
  // Where the fast form reads each attribute from when not from where it writes it
  // (the undeformed values, so that they need not be copied back first); the
  // reference always works in place.
  const float* sourcePositions = nullptr;
  const float* sourceNormals = nullptr;
  const float* sourceTangents = nullptr;
};

// Linear blend skinning in place.
void SkinReference(const SkinJob& job);

// The influences of a job resolved for its mesh vertices: runs of consecutive
// vertices with the same number of usable influences, each influence as {first float
// of its bone in the bone table, weight}. Influences the reference skips (a bone past
// the table, a row past the pool or missing) are left out, which adds nothing.
struct SkinPlan {
  struct Run {
    uint32_t firstVertex;
    uint32_t numVertices;
    uint32_t count;  // influences per vertex
  };
  struct Entry {
    uint32_t boneOffset;  // 12 x bone number
    float weight;
  };
  AnimCore::Array<Run> runs;
  AnimCore::Array<Entry> entries;  // run after run, vertex after vertex
  uint32_t numBones = 0;
  uint32_t numVertices = 0;
};

// Builds the plan of the job's bones, influences, rows and vertices; false when
// memory runs out (the plan is then empty).
bool PrepareSkin(const SkinJob& job, SkinPlan& plan);
// Skins the job's attributes with its bones as the plan says; the job must have as many
// bones and vertices as the plan was made for. Two vertices at a time in AVX2 where the
// processor has it, else one at a time in SSE2.
void Skin(const SkinPlan& plan, const SkinJob& job);
// The two forms on their own (for the tests); SkinAvx2 does nothing and answers false
// without AVX2.
void SkinSse2(const SkinPlan& plan, const SkinJob& job);
bool SkinAvx2(const SkinPlan& plan, const SkinJob& job);

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

// The deltas of a job decoded once (the same values the reference decodes every
// frame), those past the mesh left out, and grouped into runs of consecutive vertex
// numbers so that a run's attributes are updated as one stretch of floats.
struct MorphPlan {
  struct Run {
    uint32_t firstVertex;
    uint32_t numVertices;
  };
  AnimCore::Array<Run> runs;
  AnimCore::Array<float> positions;  // 3 a kept delta, when decoded
  AnimCore::Array<float> normals;
  AnimCore::Array<float> tangents;
  bool hasPositions = false;
  bool hasNormals = false;
  bool hasTangents = false;
};

// Builds the plan of the job's deltas for the attributes the job has (its attribute
// pointers and weight are not read otherwise); false when memory runs out.
bool PrepareMorph(const MorphJob& job, MorphPlan& plan);
// True when the plan decoded every attribute the job has.
bool MorphPlanCovers(const MorphPlan& plan, const MorphJob& job);
// Adds the plan's deltas, weighted by the job's weight, to the job's attributes; the
// plan must cover the job and have been made for its deltas and vertex count.
void Morph(const MorphPlan& plan, const MorphJob& job);

}  // namespace Anim::DeformKernels
