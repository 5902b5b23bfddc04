#include "tools/scene_writer.h"

#include <cstring>

namespace testkit {
namespace {

using Out = std::vector<uint8_t>;

void U8(Out& out, uint8_t v) { out.push_back(v); }
void U16(Out& out, uint16_t v)
{
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void U32(Out& out, uint32_t v)
{
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void F32(Out& out, float v)
{
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  U32(out, bits);
}
void Zeros(Out& out, size_t n) { out.insert(out.end(), n, 0); }
// A 64-byte name field: the text cut to 63 bytes, zero-padded.
void Name(Out& out, const std::string& name)
{
  const size_t n = name.size() < 63 ? name.size() : 63;
  out.insert(out.end(), name.begin(), name.begin() + ptrdiff_t(n));
  Zeros(out, 64 - n);
}
uint32_t Count(size_t n) { return uint32_t(n); }

void PolygonEntry(Out& out, uint32_t count, bool hole)
{
  U32(out, count);
  U8(out, hole ? 1 : 0);
  Zeros(out, 3 + 4);
}

Out WalkData(const SceneWalkArea& area)
{
  Out data;
  for (const SceneWalkPolygon& p : area.polygons) PolygonEntry(data, Count(p.vertices.size()), p.hole);
  for (const SceneWalkPolygon& p : area.polygons)
    for (const auto& v : p.vertices)
      for (float f : v) F32(data, f);
  for (const auto& t : area.triangles)
    for (uint32_t r : t) U32(data, r);
  for (const SceneWalkNode& n : area.nodes) {
    F32(data, n.x);
    F32(data, n.z);
    U16(data, uint16_t(n.unused));
    U16(data, uint16_t(n.polygon));
    Zeros(data, 4);
  }
  const size_t routes = area.nodes.size() * area.nodes.size();
  for (size_t i = 0; i < routes; ++i) {
    const SceneWalkRoute r = i < area.routes.size() ? area.routes[i] : SceneWalkRoute{};
    U8(data, r.direct);
    U8(data, r.unused);
    U16(data, uint16_t(r.next));
    F32(data, r.length);
  }
  return data;
}

Out HotspotData(const SceneHotspot& hotspot)
{
  Out data;
  for (const SceneRegion& r : hotspot.regions) {
    Name(data, r.view);
    U32(data, 0);
    U32(data, Count(r.polygons.size()));
    U32(data, 0);
    U32(data, Count(r.extras.size()));
    U32(data, 0);
  }
  for (const SceneRegion& r : hotspot.regions) {
    for (const SceneRegionPolygon& p : r.polygons) PolygonEntry(data, Count(p.points.size()), p.hole);
    for (const SceneRegionPolygon& p : r.polygons)
      for (const auto& pt : p.points) {
        U32(data, uint32_t(pt[0]));
        U32(data, uint32_t(pt[1]));
      }
    for (const auto& e : r.extras) data.insert(data.end(), e.begin(), e.end());
  }
  return data;
}

}  // namespace

std::vector<uint8_t> BuildSceneFile(const SceneFile& scene)
{
  Out out;
  Name(out, scene.name);
  U32(out, scene.meshCount.value_or(Count(scene.meshes.size())));
  U32(out, scene.viewCount.value_or(Count(scene.views.size())));
  U32(out, scene.walkAreaCount.value_or(Count(scene.walkAreas.size())));
  U32(out, scene.hotspotCount.value_or(Count(scene.hotspots.size())));
  U32(out, scene.occlusionSize.value_or(Count(scene.occlusion.size())));

  for (const SceneMesh& m : scene.meshes) {
    Name(out, m.name);
    const uint32_t vertices = m.vertexCount.value_or(Count(m.vertices.size()));
    const uint32_t indices = m.indexCount.value_or(Count(m.indices.size()));
    U32(out, vertices);
    U32(out, indices);
    if (vertices != 0 && indices != 0) {
      for (const auto& v : m.vertices)
        for (float f : v) F32(out, f);
      for (uint16_t i : m.indices) U16(out, i);
    }
  }
  for (const SceneView& v : scene.views) {
    Name(out, v.name);
    for (float f : v.camera) F32(out, f);
  }
  for (const SceneWalkArea& a : scene.walkAreas) {
    const Out data = WalkData(a);
    Name(out, a.name);
    U32(out, a.dataSize.value_or(Count(data.size())));
    U32(out, a.polygonCount.value_or(Count(a.polygons.size())));
    U32(out, 0);
    U32(out, a.triangleCount.value_or(Count(a.triangles.size())));
    U32(out, 0);
    U32(out, a.nodeCount.value_or(Count(a.nodes.size())));
    U32(out, 0);
    out.insert(out.end(), a.reserved.begin(), a.reserved.end());
    out.insert(out.end(), data.begin(), data.end());
  }
  out.insert(out.end(), scene.occlusion.begin(), scene.occlusion.end());
  for (const SceneHotspot& h : scene.hotspots) {
    const Out data = HotspotData(h);
    U32(out, h.number);
    U32(out, h.regionCount.value_or(Count(h.regions.size())));
    U32(out, h.dataSize.value_or(Count(data.size())));
    out.insert(out.end(), data.begin(), data.end());
  }
  out.insert(out.end(), scene.script.begin(), scene.script.end());
  return out;
}

}  // namespace testkit
