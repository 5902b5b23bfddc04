#pragma once

#include <cstdint>

#include "physics/half_edge.h"
#include "physics/rb_tree.h"

// Builds a half-edge structure from faces given as vertex loops. The shapes
// use it once per kind and copy the result into a flat phHalfEdge table.
class phPolyhedron {
public:
    struct Edge {
        std::uint64_t userData = 0;
        Edge* twin = nullptr;
        Edge* next = nullptr;
        Edge* prev = nullptr;
        std::uint32_t mark = 0;
        std::int32_t face = 0;  // -1 for boundary half-edges
        std::int32_t origin = 0;
    };
    // Key of the half-edge origin → destination: destination in the high word.
    using Key = std::int64_t;
    using Tree = phRbTree<Edge, Key>;

    static Key MakeKey(std::int32_t origin, std::int32_t destination)
    {
        const std::uint64_t high = static_cast<std::uint64_t>(static_cast<std::uint32_t>(destination)) << 32;
        return static_cast<Key>(high | static_cast<std::uint32_t>(origin));
    }

    phPolyhedron() = default;
    phPolyhedron(const phPolyhedron&) = delete;
    phPolyhedron& operator=(const phPolyhedron&) = delete;
    ~phPolyhedron() { Destroy(); }

    // Adds the face indices[0..count-1]; edge k takes userData[k] (may be
    // null for zeros). Returns the half-edge leaving indices[0], or null when
    // the face is refused (a repeated vertex or edge, or an edge that another
    // face already has) or memory runs out.
    Edge* AddFace(int count, const std::int32_t* indices, const std::uint64_t* userData);
    Edge* AddFace(int count, const std::int32_t* indices) { return AddFace(count, indices, nullptr); }
    Edge* AddTriangle(std::int32_t a, std::int32_t b, std::int32_t c);

    Edge* FindEdge(Key key) const;
    Edge* FindEdge(std::int32_t origin, std::int32_t destination) const { return FindEdge(MakeKey(origin, destination)); }

    // Links twins, then closes open boundaries with half-edges of face -1.
    // Returns false when memory ran out.
    bool EndFaces();

    // Numbers the half-edges in key order and writes them as table records.
    // Returns the count, or -1 when capacity is too small.
    int Export(phHalfEdge* out, int capacity);

    void Destroy();

    std::uint32_t EdgeCount() const { return m_edges.Count(); }
    std::uint32_t FaceCount() const { return m_faceCounter; }
    const Tree& Edges() const { return m_edges; }

private:
    Tree m_edges;
    std::uint32_t m_faceCounter = 0;
};
