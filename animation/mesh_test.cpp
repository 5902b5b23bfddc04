#include "animation/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "animation/anim_test_support.h"

namespace Anim {
namespace {

using AnimCore::Matrix;
using AnimCore::Vector3;
using testing::AnimTest;

VertexAttributeLayerAbstractData* MakeLayer(uint32_t type, uint32_t size,
                                            const std::vector<float>& values) {
  const uint32_t floatsPerAttribute = size / 4;
  const uint32_t count = static_cast<uint32_t>(values.size()) / floatsPerAttribute;
  auto* layer = AnimCore::New<VertexAttributeLayerAbstractData>(MEMCATEGORY_VERTEXATTRIBUTELAYER,
                                                                count, type, size, true);
  std::memcpy(layer->GetOriginalData(), values.data(), values.size() * 4);
  layer->ResetToOriginalData();
  return layer;
}

std::vector<float> Floats(const void* data, size_t count) {
  std::vector<float> out(count);
  std::memcpy(out.data(), data, count * 4);
  return out;
}

// The unit quad in z = 0 as two triangles (0, 1, 2) and (0, 2, 3).
Mesh* MakeQuad(const std::vector<float>& uvs, const std::vector<float>& normals,
               bool withPositions = true) {
  Mesh* mesh = AnimCore::New<Mesh>(MEMCATEGORY_MESH, 4u, 2u, 4u);
  const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};
  std::memcpy(mesh->GetIndices(), indices, sizeof(indices));
  if (withPositions) {
    mesh->AddVertexAttributeLayer(
        MakeLayer(LAYERTYPE_POSITIONS, 12, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}));
  }
  if (!normals.empty()) mesh->AddVertexAttributeLayer(MakeLayer(LAYERTYPE_NORMALS, 12, normals));
  if (!uvs.empty()) mesh->AddVertexAttributeLayer(MakeLayer(LAYERTYPE_UVCOORDS, 8, uvs));
  return mesh;
}

const std::vector<float> kUpNormals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
const std::vector<float> kUVs = {0, 0, 1, 0, 1, 1, 0, 1};

TEST_F(AnimTest, LayersAreFoundByTypeAndOccurrence) {
  Mesh* mesh = MakeQuad(kUVs, kUpNormals);
  mesh->AddVertexAttributeLayer(MakeLayer(LAYERTYPE_UVCOORDS, 8, {9, 9, 9, 9, 9, 9, 9, 9}));
  EXPECT_EQ(mesh->FindVertexAttributeLayerNumber(LAYERTYPE_UVCOORDS, 0), 2);
  EXPECT_EQ(mesh->FindVertexAttributeLayerNumber(LAYERTYPE_UVCOORDS, 1), 3);
  EXPECT_EQ(mesh->FindVertexAttributeLayerNumber(LAYERTYPE_UVCOORDS, 2), -1);
  EXPECT_EQ(mesh->FindVertexAttributeLayerNumber(LAYERTYPE_TANGENTS, 0), -1);
  EXPECT_EQ(mesh->FindVertexAttributeLayerData(LAYERTYPE_TANGENTS, 0), nullptr);
  EXPECT_EQ(mesh->FindOriginalVertexAttributeLayerData(LAYERTYPE_COLORS32, 0), nullptr);
  EXPECT_EQ(Floats(mesh->FindVertexAttributeLayerData(LAYERTYPE_UVCOORDS, 1), 1)[0], 9.0f);
  EXPECT_EQ(mesh->FindSharedVertexAttributeLayer(LAYERTYPE_POSITIONS, 0), nullptr);
  EXPECT_EQ(mesh->GetNumIndices(), 6u);
  EXPECT_STREQ(GetLayerTypeName(LAYERTYPE_COLORS128), "128-bit Colors");
  EXPECT_STREQ(GetLayerTypeName(42), "<Unknown>");
  AnimCore::Delete(mesh);
}

TEST_F(AnimTest, LayerResetSwapAndRemove) {
  std::vector<float> values;
  for (int i = 0; i < 8; ++i) values.push_back(float(i));
  VertexAttributeLayerAbstractData* layer = MakeLayer(LAYERTYPE_COLORS32, 4, values);
  EXPECT_EQ(layer->CalcTotalDataSizeInBytes(false), 32u);
  EXPECT_EQ(layer->CalcTotalDataSizeInBytes(true), 64u);

  static_cast<float*>(layer->GetData())[0] = 100;  // a deformed value
  layer->ResetToOriginalData();
  EXPECT_EQ(Floats(layer->GetData(), 1)[0], 0.0f);

  layer->SwapAttributes(0, 7);
  EXPECT_EQ(Floats(layer->GetData(), 8), (std::vector<float>{7, 1, 2, 3, 4, 5, 6, 0}));
  EXPECT_EQ(Floats(layer->GetOriginalData(), 8), (std::vector<float>{7, 1, 2, 3, 4, 5, 6, 0}));
  layer->SwapAttributes(0, 8);  // out of range: nothing

  layer->RemoveAttributes(5, 2);  // 2 to 5, four attributes
  EXPECT_EQ(layer->GetNumAttributes(), 4u);
  EXPECT_EQ(Floats(layer->GetData(), 4), (std::vector<float>{7, 1, 6, 0}));
  EXPECT_EQ(Floats(layer->GetOriginalData(), 4), (std::vector<float>{7, 1, 6, 0}));
  layer->RemoveAttributes(3, 100);  // clipped to the layer
  EXPECT_EQ(Floats(layer->GetOriginalData(), 3), (std::vector<float>{7, 1, 6}));
  layer->RemoveAttributes(0, 2);
  EXPECT_EQ(layer->GetNumAttributes(), 0u);
  EXPECT_EQ(layer->GetData(), nullptr);
  AnimCore::Delete(layer);

  // Without originals both views are the same block.
  auto* plain = AnimCore::New<VertexAttributeLayerAbstractData>(MEMCATEGORY_VERTEXATTRIBUTELAYER,
                                                                3u, 4u, 4u, false);
  EXPECT_EQ(plain->GetData(), plain->GetOriginalData());
  EXPECT_EQ(plain->CalcTotalDataSizeInBytes(true), 12u);
  AnimCore::Delete(plain);
}

TEST_F(AnimTest, BoundsOfTransformedPositionsWithAStep) {
  Mesh* mesh = MakeQuad({}, {});
  Matrix m;
  m.SetRotationMatrixZ(float(M_PI / 2));  // (x, y) -> (-y, x)
  m(3, 0) = 10;
  AnimCore::AABB box;
  mesh->CalcBounds(box, m, 1);
  EXPECT_NEAR(box.min.x, 9.0f, 1e-6);
  EXPECT_NEAR(box.max.x, 10.0f, 1e-6);
  EXPECT_NEAR(box.min.y, 0.0f, 1e-6);
  EXPECT_NEAR(box.max.y, 1.0f, 1e-6);
  mesh->CalcBounds(box, Matrix(), 2);  // vertices 0 and 2 only
  EXPECT_EQ(box.min, Vector3(0, 0, 0));
  EXPECT_EQ(box.max, Vector3(1, 1, 0));
  AnimCore::Delete(mesh);

  Mesh* empty = MakeQuad({}, {}, false);
  empty->CalcBounds(box, Matrix(), 1);
  EXPECT_FALSE(box.IsValid());
  AnimCore::Delete(empty);
}

TEST_F(AnimTest, RayTestInTheMeshsSpace) {
  Mesh* mesh = MakeQuad({}, {});
  Matrix world;
  world(3, 2) = 5;  // the quad lies in z = 5
  EXPECT_TRUE(mesh->Intersects(world, AnimCore::Ray({0.5f, 0.5f, 10}, {0.5f, 0.5f, 0})));
  EXPECT_FALSE(mesh->Intersects(world, AnimCore::Ray({0.5f, 0.5f, 10}, {0.5f, 0.5f, 6})));
  EXPECT_FALSE(mesh->Intersects(world, AnimCore::Ray({1.5f, 0.5f, 10}, {1.5f, 0.5f, 0})));
  EXPECT_FALSE(mesh->Intersects(Matrix(), AnimCore::Ray({0.5f, 0.5f, 10}, {0.5f, 0.5f, 6})));
  AnimCore::Delete(mesh);
}

TEST_F(AnimTest, TangentAndBinormalOfOneTriangle) {
  Vector3 t, b;
  const float uv0[2] = {0, 0}, uv1[2] = {1, 0}, uv2[2] = {1, 1};
  Mesh::CalcTangentAndBinormal({0, 0, 0}, {2, 0, 0}, {2, 2, 0}, uv0, uv1, uv2, &t, &b);
  EXPECT_EQ(t, Vector3(1, 0, 0));
  EXPECT_EQ(b, Vector3(0, 1, 0));

  // Degenerate texture coordinates: T = (0, 0, 1), B = T x (a, b_x, g_x).
  // p0 (0,0,0), p1 (1,0,0), p2 (0,1,0), all uv (0.5, 0.5): a = 0, b_x = 0, g_x = 0.
  const float same[2] = {0.5f, 0.5f};
  Mesh::CalcTangentAndBinormal({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, same, same, same, &t, &b);
  EXPECT_EQ(t, Vector3(0, 0, 1));
  EXPECT_EQ(b, Vector3(0, 0, 0));
  // uv0 (0,0), uv1 (1,1), uv2 (2,2): du1 = dv1 = 1, du2 = dv2 = 2, a = 0;
  // e1 = (1,0,0), e2 = (0,1,0): b_x = 1*0 - 1*2 = -2, g_x = 1*2 - 1*0 = 2.
  // (0,0,1) x (0,-2,2) = (0*2 - 1*(-2), 1*0 - 0*2, 0) = (2, 0, 0).
  const float d0[2] = {0, 0}, d1[2] = {1, 1}, d2[2] = {2, 2};
  Mesh::CalcTangentAndBinormal({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, d0, d1, d2, &t, &b);
  EXPECT_EQ(t, Vector3(0, 0, 1));
  EXPECT_EQ(b, Vector3(2, 0, 0));
}

TEST_F(AnimTest, TangentsOfAQuadMatchHandComputedValues) {
  // u runs along -x (mirrored): every triangle gives T = (-1, 0, 0), B = (0, 1, 0).
  // Vertex 0 has the tilted normal (1, 0, 1): N = (s, 0, s), T' = T - N (N.T) =
  // (-1, 0, 0) + s (s, 0, s) = (-0.5, 0, 0.5), normalised (-s, 0, s);
  // (T x B) . N = (0, 0, -1) . N = -s < 0, so w = -1.
  // Vertex 3 has a zero normal, which stays zero and keeps T; w = +1 as 0 >= 0.
  const float s = std::sqrt(0.5f);
  Mesh* mesh = MakeQuad({1, 0, 0, 0, 0, 1, 1, 1}, {1, 0, 1, 0, 0, 1, 0, 0, 3, 0, 0, 0});
  mesh->CalcTangents(0);
  ASSERT_EQ(mesh->FindVertexAttributeLayerNumber(LAYERTYPE_TANGENTS, 0), 3);
  const std::vector<float> tangents =
      Floats(mesh->FindOriginalVertexAttributeLayerData(LAYERTYPE_TANGENTS, 0), 16);
  const std::vector<float> expected = {-s, 0, s, -1, -1, 0, 0, -1, -1, 0, 0, -1, -1, 0, 0, 1};
  for (size_t i = 0; i < 16; ++i) EXPECT_NEAR(tangents[i], expected[i], 1e-6) << i;
  EXPECT_EQ(Floats(mesh->FindVertexAttributeLayerData(LAYERTYPE_TANGENTS, 0), 16), tangents);

  const std::vector<float> normals =
      Floats(mesh->FindOriginalVertexAttributeLayerData(LAYERTYPE_NORMALS, 0), 12);
  const std::vector<float> expectedNormals = {s, 0, s, 0, 0, 1, 0, 0, 1, 0, 0, 0};
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_FALSE(std::isnan(normals[i])) << i;
    EXPECT_NEAR(normals[i], expectedNormals[i], 1e-6) << i;
  }

  // A second run overwrites the layer in place.
  mesh->CalcTangents(0);
  EXPECT_EQ(mesh->GetNumVertexAttributeLayers(), 4u);
  AnimCore::Delete(mesh);
}

TEST_F(AnimTest, TangentsNeedPositionsNormalsAndUVs) {
  struct Case {
    bool positions;
    bool normals;
    bool uvs;
  } cases[] = {{false, true, true}, {true, false, true}, {true, true, false}};
  for (const Case& c : cases) {
    Mesh* mesh = MakeQuad(c.uvs ? kUVs : std::vector<float>{},
                          c.normals ? kUpNormals : std::vector<float>{}, c.positions);
    const uint32_t layers = mesh->GetNumVertexAttributeLayers();
    mesh->CalcTangents(0);
    EXPECT_EQ(mesh->GetNumVertexAttributeLayers(), layers);
    EXPECT_EQ(mesh->FindVertexAttributeLayer(LAYERTYPE_TANGENTS, 0), nullptr);
    AnimCore::Delete(mesh);
  }
}

TEST_F(AnimTest, CloneCopiesEverythingDeeply) {
  Mesh* mesh = MakeQuad(kUVs, kUpNormals);
  mesh->AddSubMesh(AnimCore::New<SubMesh>(MEMCATEGORY_MESH, mesh, 0u, 0u, 4u, 6u, 3u, 2u));
  mesh->GetSubMesh(0)->SetBone(1, 17);
  Mesh* clone = mesh->Clone(nullptr, nullptr);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetNumVertexAttributeLayers(), 3u);
  EXPECT_NE(clone->GetIndices(), mesh->GetIndices());
  EXPECT_EQ(std::memcmp(clone->GetIndices(), mesh->GetIndices(), 24), 0);
  EXPECT_EQ(clone->GetSubMesh(0)->GetMesh(), clone);
  EXPECT_EQ(clone->GetSubMesh(0)->GetBone(1), 17u);
  EXPECT_EQ(clone->GetSubMesh(0)->GetMaterialIndex(), 3u);
  EXPECT_EQ(Floats(clone->FindOriginalVertexAttributeLayerData(LAYERTYPE_UVCOORDS, 0), 8), kUVs);
  AnimCore::Delete(mesh);
  EXPECT_EQ(Floats(clone->FindVertexAttributeLayerData(LAYERTYPE_NORMALS, 0), 12), kUpNormals);
  clone->ReleaseData();
  EXPECT_EQ(clone->GetNumVertices(), 0u);
  EXPECT_EQ(clone->GetIndices(), nullptr);
  AnimCore::Delete(clone);
}

}  // namespace
}  // namespace Anim
