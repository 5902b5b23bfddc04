#include "animation/chunk_skinning.h"

#include "animation/actor.h"
#include "animation/chunk_reader.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/mesh_deformer_stack.h"
#include "animation/node.h"
#include "animation/skinning_info_vertex_attribute.h"
#include "animation/soft_skin_deformer.h"

namespace Anim {

using namespace ChunkRead;

namespace {

// Walks the version-1 rows (a count byte, then count 8-byte records each) and
// returns to where it started. False when the data ends first; every row takes at
// least its byte, so the walk is bounded by the data.
bool CountVersion1Influences(AnimCore::MemoryFile* file, uint32_t numRows, uint32_t& total) {
  if (!Fits(file, numRows, 1)) return false;
  const uint32_t start = file->GetPos();
  uint64_t sum = 0;
  bool ok = true;
  for (uint32_t v = 0; ok && v < numRows; ++v) {
    uint8_t count = 0;
    ok = Bytes(file, &count, 1) && Skip(file, uint64_t{count} * 8);
    sum += count;
  }
  total = static_cast<uint32_t>(sum);  // at most an eighth of the data
  return file->Seek(start) && ok;
}

}  // namespace

bool ChunkProcessorActorSkinningInfo::Process(AnimCore::MemoryFile* file,
                                              AnimCore::Array<ImporterSharedData*>*, Actor* actor,
                                              Motion*, uint32_t endianType, ActorSettings*,
                                              SkeletalMotionSettings*, PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  const bool v2 = GetVersion() == 2;
  uint8_t header[12];
  if (!Bytes(file, header, v2 ? 12 : 8)) return false;
  const uint32_t nodeIndex = U32At(header, endianType);
  const uint32_t total = v2 ? U32At(header + 4, endianType) : 0;
  const bool forCollisionMesh = header[v2 ? 8 : 4] != 0;
  Node* node = actor->GetNode(nodeIndex);
  Mesh* mesh = node == nullptr          ? nullptr
               : forCollisionMesh ? node->GetCollisionMesh(0)
                                  : node->GetMesh(0);
  if (mesh == nullptr) {
    AnimCore::Log("ChunkProcessorActorSkinningInfo::Process: Node %u has no such mesh.", nodeIndex);
    return false;
  }
  if (GetLogDetails()) {
    AnimCore::Log(v2 ? "- Skinning Information (chunk v2)" : "- Skinning Information");
    AnimCore::Log(v2 ? "   + Node number      = %d" : "   + Node number = %d", nodeIndex);
    AnimCore::Log(v2 ? "   + Node name        = %s" : "   + Node name   = %s", node->GetName());
    if (v2) {
      AnimCore::Log("   + Total influences = %d", total);
      AnimCore::Log("   + For Col. Mesh    = %d", forCollisionMesh ? 1 : 0);
    }
  }
  const uint32_t numOrg = mesh->GetNumOrgVertices();
  const uint32_t numNodes = actor->GetNumNodes();
  // Records are read before the layer is made, so a bad chunk leaves the mesh as it was.
  if (v2 && (!Fits(file, total, 8) || !Fits(file, uint64_t{total} * 8 + uint64_t{numOrg} * 8, 1))) {
    return false;
  }
  // Version 1 is walked once to count before anything is sized: the mesh's count is
  // the file's word, and growing the pool influence by influence is quadratic.
  uint32_t v1Total = 0;
  if (!v2 && !CountVersion1Influences(file, numOrg, v1Total)) {
    AnimCore::Log("ChunkProcessorActorSkinningInfo::Process: %u rows exceed the data.", numOrg);
    return false;
  }
  auto* skin = AnimCore::New<SkinningInfoVertexAttribute>(MEMCATEGORY_VERTEXATTRIBUTELAYER,
                                                          numOrg, false);
  if (skin == nullptr) return false;
  if (skin->GetNumAttributes() != numOrg) {
    AnimCore::Delete(skin);
    return false;
  }
  bool ok = true;
  const auto decodeInfluence = [&](const uint8_t* record, SkinInfluence& out) {
    out.weight = F32At(record, endianType);
    out.nodeNumber = U16At(record + 4, endianType);
    out.boneNumber = 0;
    if (out.nodeNumber >= numNodes) {
      AnimCore::Log("ChunkProcessorActorSkinningInfo::Process: Influence of missing node %d.",
                    out.nodeNumber);
      return false;
    }
    return true;
  };
  const auto readInfluence = [&](SkinInfluence& out) {
    uint8_t record[8];
    return Bytes(file, record, 8) && decodeInfluence(record, out);
  };
  AnimCore::Array<SkinningInfoVertexAttribute::Row>& rows = skin->GetRows();
  AnimCore::Array<SkinInfluence>& pool = skin->GetInfluences();
  if (!v2) {
    // Laid out as Shrink would leave them: each row behind the previous one.
    ok = rows.Resize(numOrg) && pool.Resize(v1Total);
    uint32_t at = 0;
    for (uint32_t v = 0; ok && v < numOrg; ++v) {
      uint8_t count = 0;
      ok = Bytes(file, &count, 1) && uint64_t{at} + count <= v1Total;  // as counted
      rows[v] = {at, count};
      for (uint32_t i = 0; ok && i < count; ++i) ok = readInfluence(pool[at++]);
    }
  } else {
    // Both blocks were found above to lie in the data: they are decoded in place.
    ok = pool.Resize(total) && rows.Resize(numOrg);
    const uint8_t* record = file->GetMemoryStart() + file->GetPos();
    SkinInfluence* influence = pool.GetPtr();
    for (uint32_t i = 0; ok && i < total; ++i, record += 8) {
      ok = decodeInfluence(record, influence[i]);
    }
    for (uint32_t v = 0; ok && v < numOrg; ++v, record += 8) {
      const uint32_t start = U32At(record, endianType);
      const uint32_t count = U32At(record + 4, endianType);
      // Rows must lie in the pool; the deformer reads a count only up to 255.
      if (uint64_t{start} + count > total || count > 255) {
        AnimCore::Log("ChunkProcessorActorSkinningInfo::Process: Row %u lies outside the pool.", v);
        ok = false;
        break;
      }
      rows[v] = {start, count};
    }
    ok = ok && Skip(file, (uint64_t{total} + numOrg) * 8);
  }
  if (!ok || !mesh->AddSharedVertexAttributeLayer(skin)) {
    if (!ok) AnimCore::Delete(skin);
    return false;
  }
  if (GetLogDetails()) AnimCore::Log("   + Num org vertices = %d", numOrg);

  MeshDeformerStack* stack = forCollisionMesh ? node->GetCollisionMeshDeformerStack(0)
                                              : node->GetMeshDeformerStack(0);
  if (stack == nullptr) {
    stack = AnimCore::New<MeshDeformerStack>(MEMCATEGORY_MESHDEFORMER, mesh);
    if (stack == nullptr) return false;
    if (!(forCollisionMesh ? node->SetCollisionMeshDeformerStack(0, stack)
                           : node->SetMeshDeformerStack(0, stack))) {
      return false;
    }
  }
  return stack->AddDeformer(AnimCore::New<SoftSkinDeformer>(MEMCATEGORY_MESHDEFORMER, mesh, actor));
}

}  // namespace Anim
