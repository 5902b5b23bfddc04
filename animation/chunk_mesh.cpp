#include "animation/chunk_mesh.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "animation/actor.h"
#include "animation/chunk_reader.h"
#include "animation/core/log.h"
#include "animation/core/memory_manager.h"
#include "animation/import_settings.h"
#include "animation/material.h"
#include "animation/memory_categories.h"
#include "animation/mesh.h"
#include "animation/node.h"
#include "animation/sub_mesh.h"
#include "animation/vertex_attribute_layer.h"

namespace Anim {

using namespace ChunkRead;

namespace {

// Element size of the layer types the library knows; 0 for any other.
uint32_t KnownAttributeSize(uint32_t type) {
  switch (type) {
    case LAYERTYPE_POSITIONS:
    case LAYERTYPE_NORMALS: return 12;
    case LAYERTYPE_TANGENTS:
    case LAYERTYPE_COLORS128: return 16;
    case LAYERTYPE_UVCOORDS: return 8;
    case LAYERTYPE_COLORS32:
    case LAYERTYPE_ORGVTXNUMBERS: return 4;
    default: return 0;
  }
}

const char* YesNo(bool value) { return value ? "Yes" : "No"; }

}  // namespace

bool ChunkProcessorActorMesh::Process(AnimCore::MemoryFile* file,
                                      AnimCore::Array<ImporterSharedData*>*, Actor* actor,
                                      Motion*, uint32_t endianType, ActorSettings* settings,
                                      SkeletalMotionSettings*, PMorphMotionSettings*) {
  if (actor == nullptr) return false;
  uint8_t header[28];
  if (!Bytes(file, header, sizeof(header))) return false;
  const bool isCollisionMesh = header[24] != 0;
  const bool loadMeshes = settings == nullptr || settings->loadMeshes;
  const bool loadCollisionMeshes = settings == nullptr || settings->loadCollisionMeshes;
  if ((isCollisionMesh && !loadCollisionMeshes) || (!isCollisionMesh && !loadMeshes)) {
    // Back to the chunk header for the body size, then past the body.
    const uint32_t chunkStart = file->GetPos() - 40;
    uint8_t chunkHeader[12];
    if (!file->Seek(chunkStart) || !Bytes(file, chunkHeader, 12)) return false;
    return Skip(file, U32At(chunkHeader + 4, endianType));
  }

  const uint32_t nodeIndex = U32At(header, endianType);
  const uint32_t numOrgVerts = U32At(header + 4, endianType);
  const uint32_t numVerts = U32At(header + 8, endianType);
  const uint32_t numIndices = U32At(header + 12, endianType);
  const uint32_t numSubMeshes = U32At(header + 16, endianType);
  const uint32_t numLayers = U32At(header + 20, endianType);
  Node* node = actor->GetNode(nodeIndex);
  // Every index and every layer's data is stored in the body, and each submesh and
  // layer has a header: counts the data cannot hold are refused before allocating.
  // Vertices are held by their layers, at least a byte each; a mesh claiming vertices
  // without a layer would pass its count on to the chunks that size by it.
  const bool verticesHeld = numVerts == 0 || (numLayers > 0 && Fits(file, numVerts, 1));
  if (node == nullptr || numOrgVerts > numVerts || !verticesHeld || !Fits(file, numIndices, 4) ||
      !Fits(file, numSubMeshes, 16) || !Fits(file, numLayers, 12)) {
    AnimCore::Log("ChunkProcessorActorMesh::Process: Invalid mesh header.");
    return false;
  }

  const bool logDetails = GetLogDetails();
  if (logDetails) {
    AnimCore::Log("- Mesh");
    AnimCore::Log("    + NodeIndex         = %d (%s)", nodeIndex, node->GetName());
    AnimCore::Log("    + NumOrgVerts       = %d", numOrgVerts);
    AnimCore::Log("    + NumVerts          = %d", numVerts);
    AnimCore::Log("    + NumIndices        = %d (%d triangles)", numIndices, numIndices / 3);
    AnimCore::Log("    + NumSubMeshes      = %d", numSubMeshes);
    AnimCore::Log("    + Num attrib layers = %d", numLayers);
    AnimCore::Log("    + IsCollisionMesh   = %s", YesNo(isCollisionMesh));
  }

  // A second mesh for the same node replaces the first; the deformers built
  // for the replaced mesh go with it, since they point into it.
  if (isCollisionMesh ? node->GetCollisionMesh(0) != nullptr : node->GetMesh(0) != nullptr) {
    if (!(isCollisionMesh ? node->SetCollisionMeshDeformerStack(0, nullptr)
                          : node->SetMeshDeformerStack(0, nullptr))) {
      return false;
    }
  }
  Mesh* mesh = AnimCore::New<Mesh>(MEMCATEGORY_MESH, numVerts, numIndices / 3, numOrgVerts);
  if (mesh == nullptr) return false;
  if (!(isCollisionMesh ? node->SetCollisionMesh(0, mesh) : node->SetMesh(0, mesh))) return false;
  if (mesh->GetNumTriangles() != numIndices / 3) return false;  // index block not allocated

  for (uint32_t i = 0; i < numLayers; ++i) {
    uint8_t layerHeader[12];
    if (!Bytes(file, layerHeader, sizeof(layerHeader))) return false;
    const uint32_t type = U32At(layerHeader, endianType);
    const uint32_t attributeSize = U32At(layerHeader + 4, endianType);
    const bool keepOriginals = layerHeader[8] != 0;
    if (logDetails) {
      AnimCore::Log("   - Layer #%d:", i);
      AnimCore::Log("     + Type ID:         %d (%s)", type, GetLayerTypeName(type));
      AnimCore::Log("     + Attribute size:  %d bytes", attributeSize);
      AnimCore::Log("     + Keep originals:  %s", YesNo(keepOriginals));
      AnimCore::Log("     + Is scale factor: %s", YesNo(layerHeader[9] != 0));
    }
    if (!Fits(file, numVerts, attributeSize)) return false;
    const uint64_t dataSize = uint64_t{numVerts} * attributeSize;
    if (settings != nullptr && settings->layerTypesToIgnore.Find(type) >= 0) {
      if (logDetails) {
        AnimCore::Log(
            "     + Skipping layer data as this was specified in the actor import settings...");
      }
      if (!Skip(file, dataSize)) return false;
      continue;
    }
    // A known type must have its own element size, or its values would be read as
    // something else.
    const uint32_t knownSize = KnownAttributeSize(type);
    if (knownSize != 0 && attributeSize != knownSize) {
      AnimCore::Log("ChunkProcessorActorMesh::Process: Layer type %d has attributes of %d bytes.",
                    type, attributeSize);
      return false;
    }
    auto* layer = AnimCore::New<VertexAttributeLayerAbstractData>(
        MEMCATEGORY_VERTEXATTRIBUTELAYER, numVerts, type, attributeSize, keepOriginals);
    if (layer == nullptr) return false;
    if (layer->GetNumAttributes() != numVerts || !mesh->AddVertexAttributeLayer(layer)) {
      if (layer->GetNumAttributes() != numVerts) AnimCore::Delete(layer);
      return false;
    }
    void* data = layer->GetOriginalData();
    if (dataSize != 0 && (data == nullptr || !Bytes(file, data, static_cast<uint32_t>(dataSize)))) {
      return false;
    }
    const LayerConvertFunction convert =
        settings != nullptr ? settings->layerConvertFunction : StandardLayerEndianConvert;
    if (convert != nullptr && !convert(layer, endianType)) {
      AnimCore::Log(
          "   + *** WARNING: Don't know how to endian and/or coordinate system convert layer "
          "with type %d (%s)",
          type, GetLayerTypeName(type));
    }
    layer->ResetToOriginalData();
  }

  uint32_t* meshIndices = mesh->GetIndices();
  const uint64_t meshIndexCount = uint64_t{mesh->GetNumTriangles()} * 3;
  uint64_t firstVertex = 0;
  uint64_t firstIndex = 0;
  for (uint32_t s = 0; s < numSubMeshes; ++s) {
    uint8_t subHeader[16];
    if (!Bytes(file, subHeader, sizeof(subHeader))) return false;
    const uint32_t subIndices = U32At(subHeader, endianType);
    const uint32_t subVertices = U32At(subHeader + 4, endianType);
    const uint32_t materialIndex = U32At(subHeader + 8, endianType);
    const uint32_t numBones = U32At(subHeader + 12, endianType);
    if (logDetails) {
      AnimCore::Log("   - SubMesh #%d:", s);
      const Material* material = actor->GetMaterial(0, materialIndex);
      AnimCore::Log("     + Material:       %d (%s)", materialIndex,
                    material != nullptr ? material->GetName() : "");
      AnimCore::Log("     + Num vertices:   %d", subVertices);
      AnimCore::Log("     + Num indices:    %d (%d triangles)", subIndices, subIndices / 3);
      AnimCore::Log("     + Num bones:      %d", numBones);
    }
    // The submesh must lie inside the mesh's vertex and index blocks.
    if (firstVertex + subVertices > numVerts || firstIndex + subIndices > meshIndexCount ||
        !Fits(file, uint64_t{subIndices} + numBones, 4)) {
      AnimCore::Log("ChunkProcessorActorMesh::Process: Submesh %d lies outside the mesh.", s);
      return false;
    }
    SubMesh* subMesh = AnimCore::New<SubMesh>(
        MEMCATEGORY_MESH, mesh, static_cast<uint32_t>(firstVertex),
        static_cast<uint32_t>(firstIndex), subVertices, subIndices, materialIndex, numBones);
    if (subMesh == nullptr || !mesh->AddSubMesh(subMesh)) return false;
    if (subMesh->GetNumBones() != numBones) return false;

    // Indices arrive straight from the body (read in place: their bytes were found
    // above to be there); each must name a vertex of the submesh. All are checked
    // first, then stored; on a bad index only the ones before it are stored.
    const uint8_t* raw = file->GetMemoryStart() + file->GetPos();
    const bool swap = endianType == ENDIAN_BIG;
    const auto indexAt = [raw, swap](uint32_t i) {
      uint32_t index;
      std::memcpy(&index, raw + 4 * size_t{i}, 4);
      return swap ? Endian::Swap32(index) : index;
    };
    uint32_t i = 0;
    bool bad = false;
    if (!swap) {
      // Four at a time: index < subVertices as a signed compare of both biased by 2^31.
      const __m128i bias = _mm_set1_epi32(INT32_MIN);
      const __m128i limit = _mm_xor_si128(_mm_set1_epi32(static_cast<int32_t>(subVertices)), bias);
      __m128i inside = _mm_set1_epi32(-1);
      for (; i + 4 <= subIndices; i += 4) {
        const __m128i index = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 4 * size_t{i}));
        inside = _mm_and_si128(inside, _mm_cmplt_epi32(_mm_xor_si128(index, bias), limit));
      }
      bad = _mm_movemask_epi8(inside) != 0xFFFF;
    }
    for (; !bad && i < subIndices; ++i) bad = indexAt(i) >= subVertices;
    uint32_t numGood = subIndices;
    if (bad) {
      numGood = 0;
      while (indexAt(numGood) < subVertices) ++numGood;
    }
    uint32_t* out = meshIndices + firstIndex;
    const auto base = static_cast<uint32_t>(firstVertex);
    for (uint32_t k = 0; k < numGood; ++k) out[k] = base + indexAt(k);
    if (numGood != subIndices) {
      AnimCore::Log("ChunkProcessorActorMesh::Process: Index %d beyond submesh %d.", indexAt(numGood), s);
      return false;
    }
    raw += 4 * size_t{subIndices};
    for (uint32_t b = 0; b < numBones; ++b, raw += 4) subMesh->SetBone(b, U32At(raw, endianType));
    if (!Skip(file, (uint64_t{subIndices} + numBones) * 4)) return false;
    firstVertex += subVertices;
    firstIndex += subIndices;
  }

  if (mesh->FindVertexAttributeLayer(LAYERTYPE_TANGENTS, 0) == nullptr && settings != nullptr &&
      settings->loadTangents) {
    if (logDetails) AnimCore::Log("    + Generating tangents...");
    mesh->CalcTangents(0);
  }
  return true;
}

}  // namespace Anim
