#pragma once
// Writes scene files: header, meshes, views, walk areas with their node
// graphs, the sound-occlusion block, hotspots and the scene's script image.
//
// This writer knows the file layout on its own and shares no code with the
// engine's loader, so a round trip checks one against the other. Counts and
// sizes are computed from the content unless a field asks to override them,
// which tests and fuzz seeds use to write damaged files on purpose.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

struct SceneMesh {
  std::string name;
  // Position x, y, z then normal x, y, z per vertex.
  std::vector<std::array<float, 6>> vertices;
  std::vector<uint16_t> indices;
  // Counts written into the record when set; the data is written only when
  // both written counts are non-zero.
  std::optional<uint32_t> vertexCount;
  std::optional<uint32_t> indexCount;
};

struct SceneView {
  std::string name;
  // Position x, y, z, rotation quaternion x, y, z, w, vertical field of view.
  std::array<float, 8> camera{0, 0, 0, 0, 0, 0, 1, 0.785f};
};

struct SceneWalkPolygon {
  bool hole = false;
  std::vector<std::array<float, 3>> vertices;  // x, y (height), z
};

struct SceneWalkNode {
  float x = 0, z = 0;
  int16_t unused = 0;
  int16_t polygon = 0;
};

struct SceneWalkRoute {
  uint8_t direct = 0;
  uint8_t unused = 0;
  int16_t next = -1;
  float length = 0;
};

// Packs a walk-area triangle corner: polygon index and vertex index.
constexpr uint32_t WalkRef(uint32_t polygon, uint32_t vertex) { return (polygon << 16) | vertex; }

struct SceneWalkArea {
  std::string name;
  std::vector<SceneWalkPolygon> polygons;
  std::vector<std::array<uint32_t, 3>> triangles;
  std::vector<SceneWalkNode> nodes;
  // node count × node count entries, row by row; padded with defaults.
  std::vector<SceneWalkRoute> routes;
  std::array<uint8_t, 20> reserved{};
  std::optional<uint32_t> dataSize;
  std::optional<uint32_t> polygonCount;
  std::optional<uint32_t> triangleCount;
  std::optional<uint32_t> nodeCount;
};

struct SceneRegionPolygon {
  bool hole = false;
  std::vector<std::array<int32_t, 2>> points;
};

struct SceneRegion {
  std::string view;  // name of the view the region belongs to
  std::vector<SceneRegionPolygon> polygons;
  std::vector<std::array<uint8_t, 12>> extras;
};

struct SceneHotspot {
  uint32_t number = 0;
  std::vector<SceneRegion> regions;
  std::optional<uint32_t> regionCount;
  std::optional<uint32_t> dataSize;
};

struct SceneFile {
  std::string name;
  std::vector<SceneMesh> meshes;
  std::vector<SceneView> views;
  std::vector<SceneWalkArea> walkAreas;
  std::vector<SceneHotspot> hotspots;
  std::vector<uint8_t> occlusion;
  std::vector<uint8_t> script;  // a script image, written last
  std::optional<uint32_t> meshCount, viewCount, walkAreaCount, hotspotCount, occlusionSize;
};

// The archive's resource type of scene files.
constexpr int kSceneResourceType = 1;

std::vector<uint8_t> BuildSceneFile(const SceneFile& scene);

}  // namespace testkit
