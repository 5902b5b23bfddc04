#pragma once

// Test-only polygon collision: a fixed list of faces; the query returns the
// faces whose bounds touch the box, in list order.

#include <algorithm>
#include <vector>

#include "physics/maths.h"
#include "physics/polygon_soup.h"

class TestSoup : public phCollisionPolygonalSoup {
public:
    // vertices: x, y, z triples; faces: index lists wound counter-clockwise
    // seen from the front.
    static TestSoup* Make(std::vector<float> vertices, std::vector<std::vector<int>> faces,
                          std::vector<int> attributes = {})
    {
        auto* soup = new TestSoup();
        if (soup == nullptr) {
            return nullptr;
        }
        soup->m_vertices = std::move(vertices);
        soup->m_faces = std::move(faces);
        soup->m_attributes = std::move(attributes);
        soup->m_attributes.resize(soup->m_faces.size(), 0);
        return soup;
    }

    void QueryFaces(const phVec4& mn, const phVec4& mx, phFaceQueryResult& out) const override
    {
        ++queries;
        m_counts.clear();
        m_attrOut.clear();
        m_indices.clear();
        for (std::size_t f = 0; f < m_faces.size(); ++f) {
            phVec4 lo = {1e30f, 1e30f, 1e30f, 1}, hi = {-1e30f, -1e30f, -1e30f, 1};
            for (int i : m_faces[f]) {
                for (int a = 0; a < 3; ++a) {
                    lo[a] = std::min(lo[a], m_vertices[i * 3 + a]);
                    hi[a] = std::max(hi[a], m_vertices[i * 3 + a]);
                }
            }
            if (lo.x > mx.x || hi.x < mn.x || lo.y > mx.y || hi.y < mn.y || lo.z > mx.z || hi.z < mn.z) {
                continue;
            }
            m_counts.push_back(static_cast<int>(m_faces[f].size()));
            m_attrOut.push_back(m_attributes[f]);
            m_indices.insert(m_indices.end(), m_faces[f].begin(), m_faces[f].end());
        }
        out.faceCount = static_cast<int>(m_counts.size());
        out.vertexCounts = m_counts.data();
        out.attributes = m_attrOut.data();
        out.indices = m_indices.data();
        out.indexCount = static_cast<int>(m_indices.size());
        out.vertices = m_vertices.data();
        out.strideBytes = 12;
        out.vertexCount = static_cast<int>(m_vertices.size() / 3);
        if (corrupt) {
            out.indexCount = out.indexCount > 0 ? out.indexCount - 1 : 0;
        }
    }

    void CalcAABB(const phMat4& m, phVec4& mn, phVec4& mx) const override
    {
        mn = {1e30f, 1e30f, 1e30f, 1};
        mx = {-1e30f, -1e30f, -1e30f, 1};
        for (std::size_t i = 0; i + 2 < m_vertices.size(); i += 3) {
            const phVec4 p = phTransformPoint(m, {m_vertices[i], m_vertices[i + 1], m_vertices[i + 2], 1});
            for (int a = 0; a < 3; ++a) {
                mn[a] = std::min(mn[a], p[a]);
                mx[a] = std::max(mx[a], p[a]);
            }
        }
    }

    mutable int queries = 0;
    // Reports one index fewer than the faces need.
    bool corrupt = false;

private:
    TestSoup() : phCollisionPolygonalSoup(0x5005, GetIdentityMatrix()) {}

    std::vector<float> m_vertices;
    std::vector<std::vector<int>> m_faces;
    std::vector<int> m_attributes;
    mutable std::vector<int> m_counts;
    mutable std::vector<int> m_attrOut;
    mutable std::vector<int> m_indices;
};

// A square wall in the plane x = at, from -half to half in y and z, facing -x.
inline TestSoup* MakeWall(float at, float half, int attribute = 0)
{
    return TestSoup::Make({at, -half, -half, at, -half, half, at, half, half, at, half, -half}, {{0, 1, 2, 3}},
                          {attribute});
}
