#include "animation/importer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "animation/actor.h"
#include "animation/anim_test_support.h"
#include "animation/core/memory_file.h"
#include "animation/importer_shared_data.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"
#include "animation/vertex_attribute_layer.h"
#include "tools/anim_file_writer.h"

namespace Anim {
namespace {

using testing::AnimTest;
using testkit::AnimBytes;
using testkit::AnimFileKind;
using testkit::AnimFileWriter;

// Test processor of any (id, version): reads a string and adds a node of that name to
// the actor (or, for motions, a submotion); fails on a short read or the name "fail".
class NameProcessor : public ChunkProcessor {
 public:
  NameProcessor(uint32_t id, uint32_t version, std::vector<std::string>* seen)
      : ChunkProcessor(id, version), mSeen(seen) {}
  bool Process(AnimCore::MemoryFile* file, AnimCore::Array<ImporterSharedData*>* shared,
               Actor* actor, Motion* motion, uint32_t endianType, ActorSettings*,
               SkeletalMotionSettings*, PMorphMotionSettings*) override {
    AnimCore::String name;
    if (!Importer::ReadString(file, shared, endianType, name)) return false;
    mSeen->push_back(name.AsChar());
    if (name == "fail") return false;
    if (actor != nullptr) {
      return actor->AddNode(AnimCore::New<Node>(MEMCATEGORY_NODE, name.AsChar(), actor));
    }
    if (motion != nullptr && motion->GetType() == SkeletalMotion::TYPE_ID) {
      return static_cast<SkeletalMotion*>(motion)->AddSubMotion(
          AnimCore::New<SkeletalSubMotion>(MEMCATEGORY_SKELETALMOTION, name.AsChar()));
    }
    return true;
  }

 private:
  std::vector<std::string>* mSeen;
};

class ImporterTest : public AnimTest {
 protected:
  // An importer of its own: the library's carries the standard processors,
  // which would answer before the test's.
  void SetUp() override {
    AnimTest::SetUp();
    importer = AnimCore::New<Importer>(MEMCATEGORY_IMPORTER);
    ASSERT_NE(importer, nullptr);
  }
  void TearDown() override {
    AnimCore::Delete(importer);
    AnimTest::TearDown();
  }
  void Register(uint32_t id, uint32_t version) {
    ASSERT_TRUE(importer->RegisterChunkProcessor(
        AnimCore::New<NameProcessor>(MEMCATEGORY_IMPORTER, id, version, &seen)));
  }
  static void AddNameChunk(AnimFileWriter& writer, uint32_t id, uint32_t version,
                           const char* name) {
    writer.BeginChunk(id, version);
    writer.PutString(name);
    writer.EndChunk();
  }
  Actor* Load(const AnimBytes& bytes, const ActorSettings* settings = nullptr) {
    return importer->LoadActor(bytes.data(), static_cast<uint32_t>(bytes.size()), settings);
  }
  std::vector<std::string> NodeNames(const Actor* actor) const {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < actor->GetNumNodes(); ++i) names.push_back(actor->GetNode(i)->GetName());
    return names;
  }

  Importer* importer = nullptr;
  std::vector<std::string> seen;
};

TEST_F(ImporterTest, BadHeadersAreRefusedWithTheirMessages) {
  struct Case {
    AnimBytes bytes;
    std::string message;
  } cases[] = {
      {{}, "Failed to read the actor file header!"},
      {{'A', 'C', 'T', ' ', 3, 0}, "Failed to read the actor file header!"},
      {{'A', 'C', 'X', ' ', 3, 0, 0, 1}, "The specified file is not a valid actor file!"},
      {{'S', 'K', 'M', ' ', 3, 0, 0, 1}, "The specified file is not a valid actor file!"},
      {{'A', 'C', 'T', ' ', 2, 0, 0, 1},
       "Actor file version is unsupported! Only v3.0 can be read, while the file contains v2.0"},
      {{'A', 'C', 'T', ' ', 3, 1, 0, 1},
       "Actor file version is unsupported! Only v3.0 can be read, while the file contains v3.1"},
      {{'A', 'C', 'T', ' ', 4, 0, 0, 1},
       "Actor file version is unsupported! Only v3.0 can be read, while the file contains v4.0"},
      {{'A', 'C', 'T', ' ', 3, 0, 2, 1}, "Unsupported endian type used! (endian type = 2)"},
      {{'A', 'C', 'T', ' ', 3, 0, 0, 2}, "Unsupported multiply order used! (mulOrder = 2)"},
  };
  for (const Case& c : cases) {
    messages.clear();
    const uint8_t empty = 0;
    const uint8_t* data = c.bytes.empty() ? &empty : c.bytes.data();
    EXPECT_EQ(importer->LoadActor(data, static_cast<uint32_t>(c.bytes.size())), nullptr);
    ASSERT_EQ(messages.size(), 2u) << c.message;
    EXPECT_EQ(messages[0], c.message);
    EXPECT_EQ(messages[1].rfind("Failed to load actor from memory location 0x", 0), 0u);
  }

  messages.clear();
  const AnimBytes actorFile = AnimFileWriter(AnimFileKind::Actor).Finish();
  EXPECT_EQ(importer->LoadSkeletalMotion(actorFile.data(), 8), nullptr);
  EXPECT_EQ(messages, std::vector<std::string>{"The specified file is not a valid motion file!"});
  AnimFileWriter oldMotion(AnimFileKind::PMorphMotion);
  oldMotion.SetVersion(3, 1);
  const AnimBytes oldBytes = oldMotion.Finish();
  messages.clear();
  EXPECT_EQ(importer->LoadPMorphMotion(oldBytes.data(), 8), nullptr);
  EXPECT_EQ(messages, std::vector<std::string>{"Motion file version is unsupported! Only v3.0 "
                                               "can be read, while the file contains v3.1"});
}

TEST_F(ImporterTest, HeaderAloneGivesEmptyObjects) {
  const AnimBytes actorFile = AnimFileWriter(AnimFileKind::Actor, false, 0).Finish();
  ASSERT_EQ(actorFile.size(), 8u);
  Actor* actor = Load(actorFile);
  ASSERT_NE(actor, nullptr);
  EXPECT_STREQ(actor->GetName(), "Unnamed actor");
  EXPECT_EQ(actor->GetNumNodes(), 0u);
  EXPECT_EQ(actor->GetMultiplyOrder(), 0u);
  AnimCore::Delete(actor);

  // A motion's fourth header byte is not read.
  const AnimBytes skm = AnimFileWriter(AnimFileKind::SkeletalMotion, true, 7).Finish();
  SkeletalMotion* skeletal = importer->LoadSkeletalMotion(skm.data(), 8);
  ASSERT_NE(skeletal, nullptr);
  EXPECT_STREQ(skeletal->GetName(), "<Unknown>");
  AnimCore::Delete(skeletal);
  const AnimBytes pmm = AnimFileWriter(AnimFileKind::PMorphMotion).Finish();
  ProgressiveMorphMotion* morph = importer->LoadPMorphMotion(pmm.data(), 8);
  ASSERT_NE(morph, nullptr);
  EXPECT_STREQ(morph->GetName(), "<Unknown>");
  AnimCore::Delete(morph);
}

TEST_F(ImporterTest, ChunksGoToTheirProcessorsInBothByteOrders) {
  Register(0, 1);
  for (bool bigEndian : {false, true}) {
    AnimFileWriter writer(AnimFileKind::Actor, bigEndian);
    AddNameChunk(writer, 0, 1, "root");
    AddNameChunk(writer, 0, 1, "spine");
    Actor* actor = Load(writer.Finish());
    ASSERT_NE(actor, nullptr);
    EXPECT_EQ(NodeNames(actor), (std::vector<std::string>{"root", "spine"})) << bigEndian;
    // The post-load step sizes the node arrays to the node count.
    EXPECT_EQ(actor->GetTransformData().GetMaxNumNodes(), 2u);
    AnimCore::Delete(actor);
  }
  EXPECT_EQ(importer->FindChunkProcessor(0, 1)->GetChunkID(), 0u);
  EXPECT_EQ(importer->FindChunkProcessor(0, 2), nullptr);
}

TEST_F(ImporterTest, UnknownChunksAreSkippedBySize) {
  Register(0, 1);
  AnimFileWriter writer(AnimFileKind::Actor, true);
  AddNameChunk(writer, 0, 1, "a");
  writer.BeginChunk(7, 3);  // a known id in an unknown version
  writer.PutU32(1);
  writer.PutString("ignored");
  writer.EndChunk();
  writer.AddChunk(9999, 1, {});
  AddNameChunk(writer, 0, 1, "b");
  Actor* actor = Load(writer.Finish());
  ASSERT_NE(actor, nullptr);
  EXPECT_EQ(NodeNames(actor), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Logged("Importer::ProcessChunk() - Unknown chunk (ID=7  Size=15 bytes), skipping..."));
  EXPECT_TRUE(Logged("Importer::ProcessChunk() - Unknown chunk (ID=9999  Size=0 bytes), skipping..."));
  AnimCore::Delete(actor);
}

TEST_F(ImporterTest, TruncatedOrFailingChunksStopTheLoadWithWhatWasBuilt) {
  Register(0, 1);
  struct Case {
    const char* what;
    AnimBytes tail;
  } cases[] = {
      {"string longer than the data", {}},
      {"body size beyond the data", {}},
      {"partial chunk header", {1, 0, 0}},
      {"processor fails", {}},
  };
  for (Case& c : cases) {
    AnimFileWriter writer(AnimFileKind::Actor);
    AddNameChunk(writer, 0, 1, "kept");
    const std::string what = c.what;
    if (what == "string longer than the data") {
      writer.PutChunkHeader(0, 20, 1);
      writer.PutU32(1000);
      writer.PutBytes({'a', 'b'});
    } else if (what == "body size beyond the data") {
      writer.PutChunkHeader(4242, 1000, 1);
      writer.PutU32(0);
    } else if (what == "processor fails") {
      AddNameChunk(writer, 0, 1, "fail");
    }
    writer.PutBytes(c.tail);
    AddNameChunk(writer, 0, 1, "never");  // behind the damage (or inside it)
    AnimBytes bytes = writer.Finish();
    if (what == "partial chunk header") bytes.resize(bytes.size() - 13);  // cut the last chunk
    Actor* actor = Load(bytes);
    ASSERT_NE(actor, nullptr) << what;
    EXPECT_EQ(NodeNames(actor), std::vector<std::string>{"kept"}) << what;
    AnimCore::Delete(actor);
  }
}

TEST_F(ImporterTest, SettingsSkipTheirChunks) {
  struct Case {
    uint32_t id;
    void (*adjust)(ActorSettings&);
  } cases[] = {
      {CHUNK_SKINNINGINFO, [](ActorSettings& s) { s.loadSkinning = false; }},
      {CHUNK_SKINNINGINFO, [](ActorSettings& s) { s.loadMeshes = false; }},  // checked
      {CHUNK_MATERIALLAYER, [](ActorSettings& s) { s.loadMaterialLayers = false; }},
      {CHUNK_LIMIT, [](ActorSettings& s) { s.loadLimits = false; }},
      {CHUNK_INFO, [](ActorSettings& s) { s.loadActorInfo = false; }},
      {CHUNK_PROGMORPHTARGET, [](ActorSettings& s) { s.loadMorphTargets = false; }},
      {CHUNK_MESHLODLEVELS, [](ActorSettings& s) { s.loadLODs = false; }},
      {CHUNK_MESHLODLEVELS,
       [](ActorSettings& s) { s.loadMeshes = s.loadCollisionMeshes = false; }},
      {CHUNK_MESH, [](ActorSettings& s) { s.loadMeshes = s.loadCollisionMeshes = false; }},
      {CHUNK_MATERIAL, [](ActorSettings& s) { s.chunkIdsToIgnore.Add(CHUNK_MATERIAL); }},
  };
  for (const Case& c : cases) {
    Register(c.id, 1);
    AnimFileWriter writer(AnimFileKind::Actor);
    AddNameChunk(writer, c.id, 1, "x");
    const AnimBytes bytes = writer.Finish();
    ActorSettings settings;
    seen.clear();
    Actor* loaded = Load(bytes, &settings);
    EXPECT_EQ(seen.size(), 1u) << "chunk " << c.id << " with defaults";
    AnimCore::Delete(loaded);
    c.adjust(settings);
    seen.clear();
    loaded = Load(bytes, &settings);
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(seen.empty()) << "chunk " << c.id;
    AnimCore::Delete(loaded);
  }
  // A mesh chunk stays when only one of the two mesh kinds is off.
  AnimFileWriter writer(AnimFileKind::Actor);
  AddNameChunk(writer, CHUNK_MESH, 1, "m");
  ActorSettings settings;
  settings.loadMeshes = false;
  seen.clear();
  AnimCore::Delete(Load(writer.Finish(), &settings));
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ImporterTest, MotionSettingsSkipEventsAndInfo) {
  Register(CHUNK_MOTIONEVENTTABLE, 1);
  Register(CHUNK_SKELETALMOTIONINFO, 1);
  Register(CHUNK_PMORPHMOTIONINFO, 1);
  Register(CHUNK_SKELETALSUBMOTION, 1);
  AnimFileWriter skm(AnimFileKind::SkeletalMotion);
  AddNameChunk(skm, CHUNK_MOTIONEVENTTABLE, 1, "events");
  AddNameChunk(skm, CHUNK_SKELETALMOTIONINFO, 1, "info");
  AddNameChunk(skm, CHUNK_SKELETALSUBMOTION, 1, "hip");
  const AnimBytes bytes = skm.Finish();
  SkeletalMotionSettings settings;
  settings.loadMotionEvents = false;
  settings.loadMotionInfo = false;
  SkeletalMotion* motion =
      importer->LoadSkeletalMotion(bytes.data(), static_cast<uint32_t>(bytes.size()), &settings);
  ASSERT_NE(motion, nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"hip"});
  EXPECT_EQ(motion->GetNumSubMotions(), 1u);
  AnimCore::Delete(motion);

  AnimFileWriter pmm(AnimFileKind::PMorphMotion, true);
  AddNameChunk(pmm, CHUNK_PMORPHMOTIONINFO, 1, "info");
  AddNameChunk(pmm, CHUNK_MOTIONEVENTTABLE, 1, "events");
  const AnimBytes morphBytes = pmm.Finish();
  PMorphMotionSettings morphSettings;
  morphSettings.chunkIdsToIgnore.Add(CHUNK_MOTIONEVENTTABLE);
  seen.clear();
  ProgressiveMorphMotion* morph = importer->LoadPMorphMotion(
      morphBytes.data(), static_cast<uint32_t>(morphBytes.size()), &morphSettings);
  ASSERT_NE(morph, nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"info"});
  AnimCore::Delete(morph);
}

TEST_F(ImporterTest, ActorSettingsCheck) {
  ActorSettings s;
  s.loadMeshes = false;
  s.loadCollisionMeshes = false;
  Importer::CheckActorSettings(s);
  EXPECT_FALSE(s.loadSkinning);
  EXPECT_FALSE(s.loadLODs);

  ActorSettings noTangents;
  noTangents.loadTangents = false;
  Importer::CheckActorSettings(noTangents);
  EXPECT_EQ(noTangents.layerTypesToIgnore.Find(LAYERTYPE_TANGENTS), 0);
  Importer::CheckActorSettings(noTangents);  // added once only
  EXPECT_EQ(noTangents.layerTypesToIgnore.GetLength(), 1u);

  ActorSettings ignoring;
  ignoring.layerTypesToIgnore.Add(LAYERTYPE_TANGENTS);
  ignoring.layerTypesToIgnore.Add(LAYERTYPE_POSITIONS);
  ignoring.layerTypesToIgnore.Add(LAYERTYPE_POSITIONS);
  ignoring.layerTypesToIgnore.Add(LAYERTYPE_NORMALS);
  Importer::CheckActorSettings(ignoring);
  EXPECT_FALSE(ignoring.loadTangents);
  // Only the first occurrence of positions and normals is removed.
  ASSERT_EQ(ignoring.layerTypesToIgnore.GetLength(), 2u);
  EXPECT_EQ(ignoring.layerTypesToIgnore[0], LAYERTYPE_TANGENTS);
  EXPECT_EQ(ignoring.layerTypesToIgnore[1], LAYERTYPE_POSITIONS);
}

class StringTest : public AnimTest {
 protected:
  bool Read(const AnimBytes& bytes, uint32_t endianType, AnimCore::String& out) {
    AnimCore::Array<ImporterSharedData*> shared;
    shared.Add(AnimCore::New<SharedStringBuffer>(MEMCATEGORY_IMPORTER));
    AnimCore::MemoryFile file;
    file.Open(const_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    const bool ok = Importer::ReadString(&file, &shared, endianType, out);
    position = file.GetPos();
    shared.ClearAndDelete();
    return ok;
  }
  uint32_t position = 0;
};

TEST_F(StringTest, ReadStringChecksTheLengthAgainstTheData) {
  AnimCore::String s;
  EXPECT_TRUE(Read({3, 0, 0, 0, 'a', 'b', 'c', 'd'}, 0, s));
  EXPECT_STREQ(s.AsChar(), "abc");
  EXPECT_EQ(position, 7u);
  EXPECT_TRUE(Read({0, 0, 0, 3, 'x', 'y', 'z'}, 1, s));
  EXPECT_STREQ(s.AsChar(), "xyz");
  EXPECT_TRUE(Read({0, 0, 0, 0}, 0, s));
  EXPECT_STREQ(s.AsChar(), "");
  EXPECT_EQ(position, 4u);
  EXPECT_TRUE(Read({4, 0, 0, 0, 'a', 0, 'b', 'c'}, 0, s));  // cut at the zero byte
  EXPECT_STREQ(s.AsChar(), "a");
  EXPECT_EQ(position, 8u);
  EXPECT_FALSE(Read({0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'}, 0, s));
  EXPECT_FALSE(Read({5, 0, 0, 0, 'a', 'b'}, 0, s));
  EXPECT_FALSE(Read({5, 0}, 0, s));
  // Longer than the buffer's first 128 bytes.
  AnimBytes longer = {200, 0, 0, 0};
  longer.insert(longer.end(), 200, 'q');
  EXPECT_TRUE(Read(longer, 0, s));
  EXPECT_EQ(s.GetLength(), 200u);
}

TEST_F(AnimTest, StandardLayerEndianConvertSwapsEachValue) {
  auto* layer = AnimCore::New<VertexAttributeLayerAbstractData>(
      MEMCATEGORY_VERTEXATTRIBUTELAYER, 1u, LAYERTYPE_TANGENTS, 16u, true);
  const uint8_t big[16] = {0x3F, 0x80, 0, 0, 0x40, 0, 0, 0, 0xC0, 0x40, 0, 0, 0xBF, 0x80, 0, 0};
  std::memcpy(layer->GetOriginalData(), big, 16);
  EXPECT_TRUE(StandardLayerEndianConvert(layer, 1));
  float values[4];
  std::memcpy(values, layer->GetOriginalData(), 16);
  EXPECT_EQ(values[0], 1.0f);
  EXPECT_EQ(values[1], 2.0f);
  EXPECT_EQ(values[2], -3.0f);
  EXPECT_EQ(values[3], -1.0f);
  EXPECT_TRUE(StandardLayerEndianConvert(layer, 0));  // little endian: as read
  std::memcpy(values, layer->GetOriginalData(), 16);
  EXPECT_EQ(values[1], 2.0f);
  AnimCore::Delete(layer);

  auto* unknown = AnimCore::New<VertexAttributeLayerAbstractData>(
      MEMCATEGORY_VERTEXATTRIBUTELAYER, 1u, 17u, 4u, false);
  EXPECT_FALSE(StandardLayerEndianConvert(unknown, 0));
  EXPECT_TRUE(Logged("Importer::StandardLayerEndianConvert() - The layer type is unknown, so "
                     "the data can't be converted!"));
  AnimCore::Delete(unknown);
  // A layer whose attribute size does not fit its type is refused.
  auto* odd = AnimCore::New<VertexAttributeLayerAbstractData>(
      MEMCATEGORY_VERTEXATTRIBUTELAYER, 2u, LAYERTYPE_POSITIONS, 8u, false);
  EXPECT_FALSE(StandardLayerEndianConvert(odd, 1));
  AnimCore::Delete(odd);
}

}  // namespace
}  // namespace Anim
