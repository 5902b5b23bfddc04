#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/actor.h"
#include "animation/anim_test_support.h"
#include "animation/chunk_info.h"
#include "animation/chunk_processors.h"
#include "animation/fx_material.h"
#include "animation/id_generator.h"
#include "animation/importer.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"
#include "animation/standard_material.h"
#include "tools/anim_file_writer.h"

namespace Anim {
namespace {

using testing::AnimTest;
using testkit::AnimActorInfoChunk;
using testkit::AnimBytes;
using testkit::AnimFileKind;
using testkit::AnimFileWriter;
using testkit::AnimFXMaterialChunk;
using testkit::AnimMaterialChunk;
using testkit::AnimMaterialLayerChunk;
using testkit::AnimMotionInfoChunk;
using testkit::AnimNodeChunk;

AnimNodeChunk Node(const char* name) {
  AnimNodeChunk node;
  node.name = name;
  return node;
}

AnimMaterialLayerChunk Layer(const char* texture, uint16_t material, uint8_t mapType) {
  AnimMaterialLayerChunk layer;
  layer.textureName = texture;
  layer.materialNumber = material;
  layer.mapType = mapType;
  return layer;
}

// Every case runs on a little-endian file and on its big-endian twin.
class MaterialChunkTest : public AnimTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    AnimTest::SetUp();
    importer = AnimCore::New<Importer>(MEMCATEGORY_IMPORTER);
    ASSERT_NE(importer, nullptr);
    ASSERT_TRUE(RegisterStandardChunkProcessors(*importer));
  }
  void TearDown() override {
    AnimCore::Delete(importer);
    AnimTest::TearDown();
  }
  Actor* Load(const AnimBytes& bytes, const ActorSettings* settings = nullptr) {
    return importer->LoadActor(bytes.data(), static_cast<uint32_t>(bytes.size()), settings);
  }
  AnimFileWriter Writer(AnimFileKind kind = AnimFileKind::Actor) const {
    return AnimFileWriter(kind, GetParam());
  }
  static StandardMaterial* Standard(Actor* actor, uint32_t lod, uint32_t index) {
    Material* m = actor->GetMaterial(lod, index);
    return m != nullptr && m->GetType() == StandardMaterial::TYPE_ID
               ? static_cast<StandardMaterial*>(m)
               : nullptr;
  }

  Importer* importer = nullptr;
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, MaterialChunkTest, ::testing::Bool());

TEST_P(MaterialChunkTest, StandardMaterialWithLayersInFileOrder) {
  AnimFileWriter writer = Writer();
  AnimMaterialChunk chunk;
  chunk.name = "skin";
  chunk.ambient[0] = 0.25f, chunk.ambient[1] = 0.5f, chunk.ambient[2] = 0.75f;
  chunk.ambient[3] = 0.0f;  // alpha words are not read
  chunk.diffuse[3] = 0.0f;
  chunk.specular[0] = 0.125f, chunk.specular[3] = 0.5f;
  chunk.emissive[1] = 3.0f, chunk.emissive[3] = 0.0f;
  chunk.shine = 20.0f;
  chunk.shineStrength = 0.5f;
  chunk.opacity = 0.75f;
  chunk.ior = 1.25f;
  chunk.doubleSided = 0;
  chunk.wireFrame = 7;  // any non-zero byte is true
  writer.AddMaterial(chunk);
  AnimMaterialLayerChunk diffuse = Layer("skin_d.tga", 0, 2);
  diffuse.amount = 0.5f;
  diffuse.uOffset = 0.1f, diffuse.vOffset = -0.2f;
  diffuse.uTiling = 2.0f, diffuse.vTiling = 3.0f;
  diffuse.rotation = 1.5f;
  writer.AddMaterialLayer(diffuse);
  writer.AddMaterialLayer(Layer("skin_n.tga", 0, 5));
  Actor* actor = Load(writer.Finish());
  ASSERT_NE(actor, nullptr);
  ASSERT_EQ(actor->GetNumMaterials(0), 1u);
  StandardMaterial* m = Standard(actor, 0, 0);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->GetName(), "skin");
  EXPECT_STREQ(m->GetTypeString(), "StandardMaterial");
  const auto expectColour = [](const StandardMaterial::RGBA& c, float r, float g, float b) {
    EXPECT_EQ(c.r, r);
    EXPECT_EQ(c.g, g);
    EXPECT_EQ(c.b, b);
    EXPECT_EQ(c.a, 1.0f);
  };
  expectColour(m->GetAmbient(), 0.25f, 0.5f, 0.75f);
  expectColour(m->GetDiffuse(), 1.0f, 0.0f, 0.0f);
  expectColour(m->GetSpecular(), 0.125f, 1.0f, 1.0f);
  expectColour(m->GetEmissive(), 1.0f, 3.0f, 0.0f);
  EXPECT_EQ(m->GetShine(), 20.0f);
  EXPECT_EQ(m->GetShineStrength(), 0.5f);
  EXPECT_EQ(m->GetOpacity(), 0.75f);
  EXPECT_EQ(m->GetIOR(), 1.25f);
  EXPECT_FALSE(m->GetDoubleSided());
  EXPECT_TRUE(m->GetWireFrame());

  ASSERT_EQ(m->GetNumLayers(), 2u);
  const StandardMaterialLayer* first = m->GetLayer(0);
  EXPECT_STREQ(first->GetTextureName(), "skin_d.tga");
  EXPECT_EQ(first->GetMapType(), 2u);
  EXPECT_EQ(first->GetAmount(), 0.5f);
  EXPECT_EQ(first->GetUOffset(), 0.1f);
  EXPECT_EQ(first->GetVOffset(), -0.2f);
  EXPECT_EQ(first->GetUTiling(), 2.0f);
  EXPECT_EQ(first->GetVTiling(), 3.0f);
  EXPECT_EQ(first->GetRotationRadians(), 1.5f);
  EXPECT_STREQ(m->GetLayer(1)->GetTextureName(), "skin_n.tga");
  EXPECT_EQ(m->GetLayer(1)->GetMapType(), 5u);
  AnimCore::Delete(actor);
}

TEST_P(MaterialChunkTest, LayersOffSkipsLayerChunks) {
  AnimFileWriter writer = Writer();
  writer.AddMaterial({});
  writer.AddMaterialLayer(Layer("a.tga", 0, 2));
  writer.AddNode(Node("after"));
  ActorSettings settings;
  settings.loadMaterialLayers = false;
  Actor* actor = Load(writer.Finish(), &settings);
  ASSERT_NE(Standard(actor, 0, 0), nullptr);
  EXPECT_EQ(Standard(actor, 0, 0)->GetNumLayers(), 0u);
  EXPECT_EQ(actor->GetNumNodes(), 1u);
  AnimCore::Delete(actor);
}

TEST_P(MaterialChunkTest, FXMaterialParametersByGroup) {
  AnimFileWriter writer = Writer();
  AnimFXMaterialChunk chunk;
  chunk.name = "glass";
  chunk.effectFile = "glass.fx";
  chunk.ints = {{-7, "passes"}, {3, "mode"}};
  chunk.floats = {{0.5f, "fresnel"}};
  chunk.colours = {{{0.1f, 0.2f, 0.3f, 0.4f}, "tint"}};
  chunk.bitmaps = {{"envMap", "sky.dds"}};  // name before value
  writer.AddFXMaterial(chunk);
  AnimFXMaterialChunk bare;  // all counts 0: only the two strings follow the header
  bare.name = "bare";
  bare.effectFile = "plain.fx";
  writer.AddFXMaterial(bare);
  writer.AddNode(Node("after"));
  Actor* actor = Load(writer.Finish());
  ASSERT_EQ(actor->GetNumMaterials(0), 2u);
  ASSERT_EQ(actor->GetMaterial(0, 0)->GetType(), FXMaterial::TYPE_ID);
  const auto* fx = static_cast<const FXMaterial*>(actor->GetMaterial(0, 0));
  EXPECT_STREQ(fx->GetName(), "glass");
  EXPECT_STREQ(fx->GetTypeString(), "FXMaterial");
  EXPECT_STREQ(fx->GetEffectFile(), "glass.fx");
  ASSERT_EQ(fx->GetIntParameters().GetLength(), 2u);
  EXPECT_EQ(fx->GetIntParameters()[0].value, -7);
  EXPECT_STREQ(GetStringForID(fx->GetIntParameters()[0].nameID).AsChar(), "passes");
  EXPECT_EQ(fx->GetIntParameters()[1].value, 3);
  ASSERT_EQ(fx->GetFloatParameters().GetLength(), 1u);
  EXPECT_EQ(fx->GetFloatParameters()[0].value, 0.5f);
  ASSERT_EQ(fx->GetColorParameters().GetLength(), 1u);
  const FXMaterial::ColorParameter& tint = fx->GetColorParameters()[0];
  EXPECT_EQ(tint.r, 0.1f);
  EXPECT_EQ(tint.a, 0.4f);
  EXPECT_STREQ(GetStringForID(tint.nameID).AsChar(), "tint");
  ASSERT_EQ(fx->GetStringParameters().GetLength(), 1u);
  EXPECT_STREQ(fx->GetStringParameters()[0].value.AsChar(), "sky.dds");
  EXPECT_STREQ(GetStringForID(fx->GetStringParameters()[0].nameID).AsChar(), "envMap");

  const auto* plain = static_cast<const FXMaterial*>(actor->GetMaterial(0, 1));
  EXPECT_STREQ(plain->GetEffectFile(), "plain.fx");
  EXPECT_EQ(plain->GetIntParameters().GetLength() + plain->GetStringParameters().GetLength(), 0u);
  EXPECT_EQ(actor->GetNumNodes(), 1u);  // the bare chunk was read exactly
  AnimCore::Delete(actor);
}

// Bad layer targets and parameter counts: what the load keeps and whether it goes on.
TEST_P(MaterialChunkTest, UntrustedMaterialReferencesAndCounts) {
  {
    SCOPED_TRACE("layer for a material not read yet stops the load");
    AnimFileWriter writer = Writer();
    writer.AddMaterial({});
    writer.AddMaterialLayer(Layer("a.tga", 1, 2));
    writer.AddNode(Node("after"));
    Actor* actor = Load(writer.Finish());
    EXPECT_EQ(Standard(actor, 0, 0)->GetNumLayers(), 0u);
    EXPECT_EQ(actor->GetNumNodes(), 0u);
    AnimCore::Delete(actor);
  }
  {
    SCOPED_TRACE("layer for an FX material is dropped, the load goes on");
    AnimFileWriter writer = Writer();
    writer.AddFXMaterial({});
    writer.AddMaterialLayer(Layer("a.tga", 0, 2));
    writer.AddNode(Node("after"));
    Actor* actor = Load(writer.Finish());
    EXPECT_EQ(actor->GetNumMaterials(0), 1u);
    EXPECT_EQ(actor->GetNumNodes(), 1u);
    AnimCore::Delete(actor);
  }
  {
    SCOPED_TRACE("parameter counts beyond the data stop the load before any is read");
    AnimFileWriter writer = Writer();
    writer.BeginChunk(5, 1);
    for (uint32_t count : {0u, 0xFFFFFFFFu, 0u, 0x20000000u}) writer.PutU32(count);
    writer.PutString("huge");
    writer.PutString("huge.fx");
    writer.PutF32(1.0f);
    writer.PutString("one");
    writer.EndChunk();
    writer.AddNode(Node("after"));
    Actor* actor = Load(writer.Finish());
    EXPECT_EQ(actor->GetNumMaterials(0), 0u);
    EXPECT_EQ(actor->GetNumNodes(), 0u);
    AnimCore::Delete(actor);
  }
  {
    SCOPED_TRACE("truncated material body stops the load");
    AnimFileWriter writer = Writer();
    writer.AddMaterial({});
    AnimBytes bytes = writer.Finish();
    bytes.resize(bytes.size() - 3);
    Actor* actor = Load(bytes);
    EXPECT_EQ(actor->GetNumMaterials(0), 0u);
    AnimCore::Delete(actor);
  }
}

TEST_P(MaterialChunkTest, ClonesCopyEveryFieldAndOwnTheirLayers) {
  StandardMaterial* original = AnimCore::New<StandardMaterial>(MEMCATEGORY_MATERIAL, "orig");
  original->SetShine(42.0f);
  original->SetDiffuse({0.1f, 0.2f, 0.3f, 1.0f});
  original->SetWireFrame(true);
  for (uint32_t mapType : {2u, 5u}) {
    AnimCore::Pointer<StandardMaterialLayer> layer;
    ASSERT_TRUE(layer.Set(AnimCore::New<StandardMaterialLayer>(MEMCATEGORY_MATERIAL, mapType,
                                                               "t.tga", 0.25f)));
    layer.Get()->SetVTiling(4.0f);
    ASSERT_TRUE(original->AddLayer(layer));
    EXPECT_TRUE(layer.IsEmpty());  // the material holds the only handle
  }
  Material* copy = original->Clone();
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->GetType(), StandardMaterial::TYPE_ID);
  auto* clone = static_cast<StandardMaterial*>(copy);
  EXPECT_STREQ(clone->GetName(), "orig");
  EXPECT_EQ(clone->GetShine(), 42.0f);
  EXPECT_EQ(clone->GetDiffuse().g, 0.2f);
  EXPECT_TRUE(clone->GetWireFrame());
  ASSERT_EQ(clone->GetNumLayers(), 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    EXPECT_NE(clone->GetLayer(i), original->GetLayer(i));
    EXPECT_EQ(clone->GetLayer(i)->GetMapType(), original->GetLayer(i)->GetMapType());
    EXPECT_EQ(clone->GetLayer(i)->GetVTiling(), 4.0f);
    EXPECT_EQ(clone->GetLayer(i)->GetAmount(), 0.25f);
  }
  AnimCore::Delete(original);  // the clone's layers outlive the original's
  EXPECT_STREQ(clone->GetLayer(1)->GetTextureName(), "t.tga");
  AnimCore::Delete(copy);

  FXMaterial* fx = AnimCore::New<FXMaterial>(MEMCATEGORY_MATERIAL, "fx");
  EXPECT_EQ(fx->GetEffectFileID(), kInvalidIndex);
  fx->SetEffectFile("e.fx");
  ASSERT_TRUE(fx->AddStringParameter("map", "a.dds"));
  ASSERT_TRUE(fx->AddIntParameter("n", 9));
  ASSERT_TRUE(fx->AddColorParameter("c", 1, 2, 3, 4));
  ASSERT_TRUE(fx->AddFloatParameter("f", 0.5f));
  Material* fxCopy = fx->Clone();
  AnimCore::Delete(fx);
  ASSERT_NE(fxCopy, nullptr);
  const auto* fxClone = static_cast<const FXMaterial*>(fxCopy);
  EXPECT_STREQ(fxClone->GetEffectFile(), "e.fx");
  EXPECT_STREQ(fxClone->GetStringParameters()[0].value.AsChar(), "a.dds");
  EXPECT_EQ(fxClone->GetIntParameters()[0].value, 9);
  EXPECT_EQ(fxClone->GetColorParameters()[0].b, 3.0f);
  EXPECT_EQ(fxClone->GetFloatParameters()[0].value, 0.5f);
  AnimCore::Delete(fxCopy);
}

TEST_P(MaterialChunkTest, ActorInfoVersions) {
  {
    Actor* actor = Load(Writer().Finish());
    EXPECT_STREQ(actor->GetName(), "Unnamed actor");
    AnimCore::Delete(actor);
  }
  for (uint32_t version : {1u, 2u}) {
    SCOPED_TRACE(version);
    AnimFileWriter writer = Writer();
    AnimActorInfoChunk info;
    info.repositioningMask = 0x6;
    info.repositioningNode = 3;
    info.retargetRootOffset = 2.5f;
    info.sourceApplication = "app";
    info.originalFileName = "hero.max";
    info.compilationDate = "today";
    info.actorName = "hero";
    writer.AddActorInfo(info, version);
    writer.AddNode(Node("after"));
    Actor* actor = Load(writer.Finish());
    EXPECT_STREQ(actor->GetName(), "hero");
    EXPECT_EQ(actor->GetRepositioningMask(), 0x6u);
    EXPECT_EQ(actor->GetRepositioningNode(), 3);
    // Version 1 leaves the offset as the actor had it.
    EXPECT_EQ(actor->GetRetargetRootOffset(), version == 2 ? 2.5f : 0.0f);
    EXPECT_EQ(actor->GetNumNodes(), 1u);
    AnimCore::Delete(actor);
  }
}

TEST_P(MaterialChunkTest, MotionInfoSetsFrameRateOnly) {
  struct Case {
    uint32_t fps;
    float expected;
  };
  for (const Case& c : {Case{30, 30.0f}, Case{0xFFFFFFFFu, 4294967296.0f}}) {
    SCOPED_TRACE(c.fps);
    AnimMotionInfoChunk info;
    info.framesPerSecond = c.fps;
    info.motionName = "walk";
    AnimFileWriter skm = Writer(AnimFileKind::SkeletalMotion);
    skm.AddMotionInfo(info, 201);
    const AnimBytes skmBytes = skm.Finish();
    SkeletalMotion* skeletal =
        importer->LoadSkeletalMotion(skmBytes.data(), static_cast<uint32_t>(skmBytes.size()));
    ASSERT_NE(skeletal, nullptr);
    EXPECT_EQ(skeletal->GetFPS(), c.expected);
    EXPECT_STREQ(skeletal->GetName(), "<Unknown>");
    AnimCore::Delete(skeletal);

    AnimFileWriter pmm = Writer(AnimFileKind::PMorphMotion);
    pmm.AddMotionInfo(info, 101);
    const AnimBytes pmmBytes = pmm.Finish();
    ProgressiveMorphMotion* morph =
        importer->LoadPMorphMotion(pmmBytes.data(), static_cast<uint32_t>(pmmBytes.size()));
    ASSERT_NE(morph, nullptr);
    EXPECT_EQ(morph->GetFPS(), c.expected);
    AnimCore::Delete(morph);
  }
}

// An actor file with one node and one material, both named after the level.
AnimBytes LodFile(bool bigEndian, const std::string& name, const AnimBytes* nested = nullptr) {
  AnimFileWriter writer(AnimFileKind::Actor, bigEndian);
  writer.AddNode(Node("root"));
  AnimMaterialChunk material;
  material.name = name;
  writer.AddMaterial(material);
  if (nested != nullptr) writer.AddMeshLOD(7, *nested);
  return writer.Finish();
}

TEST_P(MaterialChunkTest, LODChunksAddLevelsInChunkOrder) {
  // The embedded files keep their own byte order, opposite to the outer one here.
  const AnimBytes inner = LodFile(GetParam(), "lod2 inner");
  const AnimBytes lod1 = LodFile(!GetParam(), "lod1", &inner);
  const AnimBytes lod2 = LodFile(GetParam(), "lod2");
  AnimFileWriter writer = Writer();
  writer.AddNode(Node("root"));
  writer.AddMaterial({});
  writer.AddMeshLOD(5, lod1);  // the number in the chunk is not used
  AnimBytes badHeader = lod2;
  badHeader[4] = 2;  // version 2.0
  writer.AddMeshLOD(1, badHeader);
  writer.AddMeshLOD(1, lod2);
  writer.AddNode(Node("after"));
  Actor* actor = Load(writer.Finish());
  ASSERT_NE(actor, nullptr);
  EXPECT_EQ(actor->GetNumLODLevels(), 3u);
  EXPECT_EQ(CountLogged("LOD level loading failed!"), 1u);
  ASSERT_NE(actor->GetMaterial(1, 0), nullptr);
  EXPECT_STREQ(actor->GetMaterial(1, 0)->GetName(), "lod1");
  EXPECT_STREQ(actor->GetMaterial(2, 0)->GetName(), "lod2");
  EXPECT_EQ(actor->GetNumNodes(), 2u);

  ActorSettings settings;
  settings.loadLODs = false;
  Actor* withoutLODs = Load(writer.Finish(), &settings);
  EXPECT_EQ(withoutLODs->GetNumLODLevels(), 1u);
  EXPECT_EQ(withoutLODs->GetNumNodes(), 2u);
  AnimCore::Delete(withoutLODs);
  AnimCore::Delete(actor);
}

TEST_P(MaterialChunkTest, UntrustedLODSizeAndNesting) {
  {
    SCOPED_TRACE("size beyond the data stops the load");
    const AnimBytes lod = LodFile(GetParam(), "lod");
    AnimFileWriter writer = Writer();
    writer.AddNode(Node("root"));
    writer.AddMeshLOD(1, lod, static_cast<int64_t>(lod.size()) + 1);
    Actor* actor = Load(writer.Finish());
    EXPECT_EQ(actor->GetNumLODLevels(), 1u);
    EXPECT_EQ(actor->GetNumNodes(), 1u);
    AnimCore::Delete(actor);
  }
  {
    SCOPED_TRACE("nesting beyond the limit is refused at the limit");
    AnimBytes file = LodFile(GetParam(), "deepest");
    for (uint32_t i = 0; i < ChunkProcessorActorMeshLOD::kMaxNestingDepth + 4; ++i) {
      file = LodFile(GetParam(), "level", &file);
    }
    AnimFileWriter writer = Writer();
    writer.AddNode(Node("root"));
    writer.AddMeshLOD(1, file);
    writer.AddNode(Node("after"));
    Actor* actor = Load(writer.Finish());
    EXPECT_EQ(actor->GetNumLODLevels(), 2u);
    EXPECT_EQ(actor->GetNumNodes(), 2u);
    EXPECT_EQ(CountLogged("ChunkProcessorActorMeshLOD::Process: LOD data nested deeper than 8 "
                          "levels."),
              1u);
    AnimCore::Delete(actor);
  }
}

}  // namespace
}  // namespace Anim
