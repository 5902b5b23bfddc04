#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "animation/anim_test_support.h"
#include "animation/event_manager.h"
#include "animation/id_generator.h"
#include "animation/importer.h"
#include "animation/motion_event_table.h"
#include "animation/progressive_morph_motion.h"
#include "animation/skeletal_motion.h"
#include "animation/skeletal_sub_motion.h"
#include "tools/anim_file_writer.h"

namespace Anim {
namespace {

using testing::AnimTest;
using testkit::AnimBytes;
using testkit::AnimFileKind;
using testkit::AnimFileWriter;
using testkit::AnimMotionEventTableChunk;
using testkit::AnimSkeletalSubMotionChunk;

using Q = Compressed16BitQuaternion;

class MotionChunkTest : public AnimTest, public ::testing::WithParamInterface<bool> {
 protected:
  AnimFileWriter Writer(AnimFileKind kind = AnimFileKind::SkeletalMotion) const {
    return AnimFileWriter(kind, GetParam());
  }
  static SkeletalMotion* LoadSkeletal(const AnimBytes& bytes,
                                      const SkeletalMotionSettings* settings = nullptr) {
    return GetImporter()->LoadSkeletalMotion(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                             settings);
  }
  static ProgressiveMorphMotion* LoadMorph(const AnimBytes& bytes) {
    return GetImporter()->LoadPMorphMotion(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, MotionChunkTest, ::testing::Bool());

AnimSkeletalSubMotionChunk SubMotion(const char* name) {
  AnimSkeletalSubMotionChunk chunk;
  chunk.name = name;
  return chunk;
}

TEST_P(MotionChunkTest, SubMotionPoseIsNormalisedAndCompressed) {
  AnimSkeletalSubMotionChunk chunk = SubMotion("hip");
  const float poseRotation[4] = {0, 0, 0, 2};
  const float bindRotation[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  const float poseScaleRotation[4] = {0, 0, 3, 4};  // (0, 0, 0.6, 0.8)
  const float bindScaleRotation[4] = {-0.5f, -0.5f, -0.5f, -0.5f};
  std::memcpy(chunk.poseRotation, poseRotation, sizeof poseRotation);
  std::memcpy(chunk.bindRotation, bindRotation, sizeof bindRotation);
  std::memcpy(chunk.poseScaleRotation, poseScaleRotation, sizeof poseScaleRotation);
  std::memcpy(chunk.bindScaleRotation, bindScaleRotation, sizeof bindScaleRotation);
  const float posePosition[3] = {1.5f, -2, 3};
  const float poseScale[3] = {2, 3, 4};
  const float bindPosition[3] = {-1, 0.25f, 8};
  const float bindScale[3] = {0.5f, 1, 1.5f};
  std::memcpy(chunk.posePosition, posePosition, sizeof posePosition);
  std::memcpy(chunk.poseScale, poseScale, sizeof poseScale);
  std::memcpy(chunk.bindPosition, bindPosition, sizeof bindPosition);
  std::memcpy(chunk.bindScale, bindScale, sizeof bindScale);
  AnimFileWriter writer = Writer();
  writer.AddSkeletalSubMotion(chunk);
  writer.AddSkeletalSubMotion(SubMotion("spine"));

  SkeletalMotion* motion = LoadSkeletal(writer.Finish());
  ASSERT_NE(motion, nullptr);
  ASSERT_EQ(motion->GetNumSubMotions(), 2u);
  const SkeletalSubMotion& hip = *motion->GetSubMotion(0);
  EXPECT_STREQ(hip.GetName(), "hip");
  EXPECT_EQ(hip.GetNameID(), GetStringID("hip"));
  EXPECT_EQ(hip.poseRotation, Q(0, 0, 0, 32767));
  EXPECT_EQ(hip.bindRotation, Q(16383, 16383, 16383, 16383));
  // 0.6 * 32767 = 19660.2 and 0.8 * 32767 = 26213.6, truncated.
  EXPECT_EQ(hip.poseScaleRotation, Q(0, 0, 19660, 26213));
  EXPECT_EQ(hip.bindScaleRotation, Q(-16383, -16383, -16383, -16383));  // toward zero
  EXPECT_EQ(hip.posePosition, AnimCore::Vector3(1.5f, -2, 3));
  EXPECT_EQ(hip.poseScale, AnimCore::Vector3(2, 3, 4));
  EXPECT_EQ(hip.bindPosition, AnimCore::Vector3(-1, 0.25f, 8));
  EXPECT_EQ(hip.bindScale, AnimCore::Vector3(0.5f, 1, 1.5f));

  // All counts zero: no tracks, the pose stands in.
  const SkeletalSubMotion& spine = *motion->GetSubMotion(1);
  EXPECT_STREQ(spine.GetName(), "spine");
  EXPECT_EQ(spine.GetPositionTrack(), nullptr);
  EXPECT_EQ(spine.GetRotationTrack(), nullptr);
  EXPECT_EQ(spine.GetScaleTrack(), nullptr);
  EXPECT_EQ(spine.GetScaleRotationTrack(), nullptr);
  EXPECT_EQ(spine.poseRotation, Q(0, 0, 0, 32767));
  EXPECT_EQ(spine.poseScale, AnimCore::Vector3(1, 1, 1));
  EXPECT_EQ(motion->FindSubMotionByNodeID(GetStringID("spine")), 1);
  AnimCore::Delete(motion);
}

TEST_P(MotionChunkTest, SubMotionKeysKeepFileOrderAndStartAtZero) {
  AnimSkeletalSubMotionChunk chunk = SubMotion("arm");
  // First time 0.5: shifted to 0.
  chunk.positionKeys = {{{1, 2, 3}, 0.5f}, {{4, 5, 6}, 1.5f}, {{7, 8, 9}, 1.0f}};
  // First time 0: kept; values normalised and compressed.
  chunk.rotationKeys = {{{0, 0, 0, 2}, 0.0f}, {{0.5f, 0.5f, 0.5f, 0.5f}, 2.0f}};
  // First time negative: not shifted.
  chunk.scaleKeys = {{{2, 2, 2}, -1.0f}, {{3, 3, 3}, 1.0f}};
  chunk.scaleRotationKeys = {{{0, 4, 0, 0}, 0.25f}};
  AnimFileWriter writer = Writer();
  writer.AddSkeletalSubMotion(chunk);

  SkeletalMotion* motion = LoadSkeletal(writer.Finish());
  ASSERT_NE(motion, nullptr);
  ASSERT_EQ(motion->GetNumSubMotions(), 1u);
  const SkeletalSubMotion& arm = *motion->GetSubMotion(0);

  const Vector3KeyTrack* position = arm.GetPositionTrack();
  ASSERT_NE(position, nullptr);
  ASSERT_EQ(position->GetNumKeys(), 3u);
  const float positionTimes[3] = {0.0f, 1.0f, 0.5f};  // unsorted, as in the file
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(position->GetKey(i).time, positionTimes[i]) << i;
    EXPECT_EQ(position->GetKey(i).GetValue(),
              AnimCore::Vector3(3.0f * i + 1, 3.0f * i + 2, 3.0f * i + 3))
        << i;
  }

  const QuaternionKeyTrack* rotation = arm.GetRotationTrack();
  ASSERT_NE(rotation, nullptr);
  ASSERT_EQ(rotation->GetNumKeys(), 2u);
  EXPECT_EQ(rotation->GetKey(0).GetStorageValue(), Q(0, 0, 0, 32767));
  EXPECT_EQ(rotation->GetKey(0).time, 0.0f);
  EXPECT_EQ(rotation->GetKey(1).GetStorageValue(), Q(16383, 16383, 16383, 16383));
  EXPECT_EQ(rotation->GetKey(1).time, 2.0f);

  const Vector3KeyTrack* scale = arm.GetScaleTrack();
  ASSERT_NE(scale, nullptr);
  ASSERT_EQ(scale->GetNumKeys(), 2u);
  EXPECT_EQ(scale->GetKey(0).time, -1.0f);
  EXPECT_EQ(scale->GetKey(1).time, 1.0f);
  EXPECT_EQ(scale->GetKey(1).GetValue(), AnimCore::Vector3(3, 3, 3));

  const QuaternionKeyTrack* scaleRotation = arm.GetScaleRotationTrack();
  ASSERT_NE(scaleRotation, nullptr);
  ASSERT_EQ(scaleRotation->GetNumKeys(), 1u);
  EXPECT_EQ(scaleRotation->GetKey(0).GetStorageValue(), Q(0, 32767, 0, 0));
  EXPECT_EQ(scaleRotation->GetKey(0).time, 0.0f);

  for (const void* interpolator :
       {static_cast<const void*>(position->GetInterpolator()),
        static_cast<const void*>(rotation->GetInterpolator()),
        static_cast<const void*>(scale->GetInterpolator()),
        static_cast<const void*>(scaleRotation->GetInterpolator())}) {
    EXPECT_NE(interpolator, nullptr);
  }
  // Halfway between the first two position keys, now at 0 and 1.
  EXPECT_EQ(position->GetValueAtTime(0.5f), AnimCore::Vector3(2.5f, 3.5f, 4.5f));
  AnimCore::Delete(motion);
}

TEST_P(MotionChunkTest, RotationKeysAreNormalisedAndCompressedAsKeyByKey) {
  // Eleven keys (two groups of four and three more), among them a zero quaternion, a
  // NaN, an infinity, squares that underflow and overflow, and components on the
  // compression limits. Each is expected as the scalar normalisation and Compress give.
  const float inf = INFINITY;
  const float values[11][4] = {
      {0, 0, 0, 0},        {NAN, 0, 0, 1},           {inf, 0, 0, 0},     {1e-30f, 0, 1e-30f, 0},
      {1e30f, 1e30f, 0, 0}, {-0.5f, -0.5f, -0.5f, -0.5f}, {0.1f, 0.2f, 0.3f, 0.9f}, {-1, 0, 0, 0},
      {0, 0.70710678f, 0, 0.70710678f}, {3e-20f, 0, 0, -0.0f}, {2, -7, 0.001f, 5}};
  AnimSkeletalSubMotionChunk chunk = SubMotion("spine");
  for (uint32_t i = 0; i < 11; ++i) {
    chunk.rotationKeys.push_back({{values[i][0], values[i][1], values[i][2], values[i][3]}, float(i)});
  }
  chunk.scaleRotationKeys = chunk.rotationKeys;
  AnimFileWriter writer = Writer();
  writer.AddSkeletalSubMotion(chunk);
  SkeletalMotion* motion = LoadSkeletal(writer.Finish());
  ASSERT_NE(motion, nullptr);
  ASSERT_EQ(motion->GetNumSubMotions(), 1u);
  const SkeletalSubMotion& spine = *motion->GetSubMotion(0);
  for (const QuaternionKeyTrack* track : {spine.GetRotationTrack(), spine.GetScaleRotationTrack()}) {
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->GetNumKeys(), 11u);
    for (uint32_t i = 0; i < 11; ++i) {
      const AnimCore::Quaternion n =
          AnimCore::Quaternion(values[i][0], values[i][1], values[i][2], values[i][3]).Normalized();
      EXPECT_EQ(track->GetKey(i).GetStorageValue(), Q(Q::Compress(n.x), Q::Compress(n.y), Q::Compress(n.z), Q::Compress(n.w)))
          << "key " << i;
      EXPECT_EQ(track->GetKey(i).time, float(i));
    }
  }
  AnimCore::Delete(motion);
}

AnimMotionEventTableChunk EventTable() {
  AnimMotionEventTableChunk table;
  table.types = {"footstep", "sound", "never used"};
  table.parameters = {"left", "bang", "right"};
  // Unsorted; "left" is named twice.
  table.events = {{2.0f, 0, 0}, {1.0f, 1, 1}, {3.0f, 0, 2}, {0.5f, 0, 0}};
  return table;
}

TEST_P(MotionChunkTest, EventTableResolvesTypesToRegisteredIDs) {
  EventManager* events = GetEventManager();
  ASSERT_EQ(events->RegisterEventType("footstep", 40), 40u);
  ASSERT_FALSE(events->HasEventType("sound"));
  AnimFileWriter writer = Writer();
  writer.AddMotionEventTable(EventTable());
  writer.AddSkeletalSubMotion(SubMotion("after the table"));

  SkeletalMotion* motion = LoadSkeletal(writer.Finish());
  ASSERT_NE(motion, nullptr);
  EXPECT_EQ(motion->GetNumSubMotions(), 1u);
  const uint32_t soundID = events->FindEventID("sound");
  ASSERT_NE(soundID, kInvalidIndex);  // registered by the chunk
  EXPECT_NE(soundID, 40u);
  EXPECT_FALSE(events->HasEventType("never used"));  // no event of that type

  const MotionEventTable& table = motion->GetEventTable();
  struct Expected {
    float time;
    uint32_t typeID;
    const char* parameter;
  };
  const Expected expected[] = {
      {0.5f, 40, "left"}, {1.0f, soundID, "bang"}, {2.0f, 40, "left"}, {3.0f, 40, "right"}};
  ASSERT_EQ(table.GetNumEvents(), 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    const MotionEvent& event = table.GetEvent(i);
    EXPECT_EQ(event.time, expected[i].time) << i;
    EXPECT_EQ(event.eventTypeID, expected[i].typeID) << i;
    EXPECT_STREQ(table.GetParameter(event.parameterIndex).AsChar(), expected[i].parameter) << i;
  }
  EXPECT_EQ(table.GetNumParameters(), 3u);  // "left" stored once
  AnimCore::Delete(motion);
}

TEST_P(MotionChunkTest, EventTableWithoutAutoRegistrationDropsUnknownTypes) {
  ASSERT_EQ(GetEventManager()->RegisterEventType("footstep", 40), 40u);
  SkeletalMotionSettings settings;
  settings.autoRegisterEvents = false;
  AnimFileWriter writer = Writer();
  writer.AddMotionEventTable(EventTable());

  SkeletalMotion* motion = LoadSkeletal(writer.Finish(), &settings);
  ASSERT_NE(motion, nullptr);
  EXPECT_FALSE(GetEventManager()->HasEventType("sound"));
  const MotionEventTable& table = motion->GetEventTable();
  ASSERT_EQ(table.GetNumEvents(), 3u);
  EXPECT_EQ(table.GetNumParameters(), 2u);  // "bang" went with its event
  EXPECT_TRUE(Logged(
      "MotionEventTable::AddEvent - *** WARNING: Event type 'sound' has not yet been registered "
      "at the animation event manager! Event will not be added! ***"));
  AnimCore::Delete(motion);
}

TEST_P(MotionChunkTest, MorphMotionsCarryEventTablesAndEmptyTablesReadTheirStrings) {
  AnimMotionEventTableChunk empty = EventTable();
  empty.events.clear();
  AnimFileWriter writer = Writer(AnimFileKind::PMorphMotion);
  writer.AddMotionEventTable(empty);
  writer.AddMotionEventTable(EventTable());

  ProgressiveMorphMotion* motion = LoadMorph(writer.Finish());
  ASSERT_NE(motion, nullptr);
  // The second table was read from where the first ended.
  EXPECT_EQ(motion->GetEventTable().GetNumEvents(), 4u);
  AnimCore::Delete(motion);
}

// Bodies that must stop the load; what came before stays loaded and what follows
// is not read.
TEST_P(MotionChunkTest, BadBodiesStopTheLoad) {
  struct Case {
    const char* what;
    void (*write)(AnimFileWriter&);
    bool endsTheData;  // a body cut short can only be the last chunk
  };
  const auto putSubMotionHeader = [](AnimFileWriter& w, uint32_t numPos, uint32_t numRot,
                                     uint32_t numScale, uint32_t numScaleRot) {
    w.BeginChunk(200, 1);
    for (int i = 0; i < 28; ++i) w.PutF32(i % 4 == 3 ? 1.0f : 0.0f);
    w.PutU32(numPos);
    w.PutU32(numRot);
    w.PutU32(numScale);
    w.PutU32(numScaleRot);
    w.PutString("bad");
  };
  static decltype(putSubMotionHeader) header = putSubMotionHeader;
  const Case cases[] = {
      {"key counts beyond the data",
       [](AnimFileWriter& w) {
         header(w, 2, 0, 0, 0);
         for (int i = 0; i < 7; ++i) w.PutF32(0);  // one float short of two keys
         w.EndChunk();
       },
       true},
      {"key counts whose byte total passes 32 bits",
       [](AnimFileWriter& w) {
         header(w, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu);
         w.EndChunk();
       },
       false},
      {"event type index out of range",
       [](AnimFileWriter& w) {
         AnimMotionEventTableChunk table = EventTable();
         table.events[1].typeIndex = 3;
         w.AddMotionEventTable(table);
       },
       false},
      {"event parameter index out of range",
       [](AnimFileWriter& w) {
         AnimMotionEventTableChunk table = EventTable();
         table.events[1].parameterIndex = 0xFFFFFFFFu;
         w.AddMotionEventTable(table);
       },
       false},
      {"event counts beyond the data",
       [](AnimFileWriter& w) {
         w.BeginChunk(50, 1);
         w.PutU32(0x20000000u);
         w.PutU32(0xFFFFFFFFu);
         w.PutU32(0xFFFFFFFFu);
         w.EndChunk();
       },
       false},
      {"type string longer than the data",
       [](AnimFileWriter& w) {
         w.BeginChunk(50, 1);
         w.PutU32(0);
         w.PutU32(1);
         w.PutU32(0);
         w.PutU32(1000);
         w.EndChunk();
       },
       true},
  };
  ASSERT_EQ(GetEventManager()->RegisterEventType("footstep", 40), 40u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AnimFileWriter writer = Writer();
    writer.AddSkeletalSubMotion(SubMotion("before"));
    c.write(writer);
    if (!c.endsTheData) writer.AddSkeletalSubMotion(SubMotion("after"));
    SkeletalMotion* motion = LoadSkeletal(writer.Finish());
    ASSERT_NE(motion, nullptr);
    ASSERT_EQ(motion->GetNumSubMotions(), 1u);
    EXPECT_STREQ(motion->GetSubMotion(0)->GetName(), "before");
    // Events read before the bad one are kept: the first (time 2) only.
    EXPECT_LE(motion->GetEventTable().GetNumEvents(), 1u);
    AnimCore::Delete(motion);
  }
}

TEST_P(MotionChunkTest, ChunksOfTheWrongFileKindStopTheLoad) {
  AnimFileWriter morph = Writer(AnimFileKind::PMorphMotion);
  morph.AddSkeletalSubMotion(SubMotion("hip"));
  morph.AddMotionEventTable(EventTable());
  ProgressiveMorphMotion* morphMotion = LoadMorph(morph.Finish());
  ASSERT_NE(morphMotion, nullptr);
  EXPECT_EQ(morphMotion->GetEventTable().GetNumEvents(), 0u);
  AnimCore::Delete(morphMotion);

  AnimFileWriter actor = Writer(AnimFileKind::Actor);
  actor.AddMotionEventTable(EventTable());
  testkit::AnimNodeChunk node;
  node.name = "root";
  actor.AddNode(node);
  const AnimBytes bytes = actor.Finish();
  Actor* loaded = GetImporter()->LoadActor(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetNumNodes(), 0u);
  AnimCore::Delete(loaded);
}

}  // namespace
}  // namespace Anim
