#include "physics/polyhedron.h"

#include "physics/scratch.h"

phPolyhedron::Edge* phPolyhedron::AddFace(int count, const std::int32_t* v, const std::uint64_t* userData)
{
    if (count < 1 || v == nullptr) {
        return nullptr;
    }
    phScratch<Key> keys(static_cast<std::size_t>(count) * 2);
    phScratch<Tree::Node*> nodes(static_cast<std::size_t>(count));
    if (!keys || !nodes) {
        return nullptr;
    }
    int gathered = 0;
    auto seen = [&](Key k) {
        for (int j = 0; j < gathered; ++j) {
            if (keys[j] == k) {
                return true;
            }
        }
        return false;
    };
    for (int i = 0; i < count; ++i) {
        const std::int32_t prev = v[i == 0 ? count - 1 : i - 1];
        const std::int32_t cur = v[i];
        const Key k1 = MakeKey(prev, cur);
        const Key k2 = MakeKey(cur, prev);
        if (prev == cur || seen(k1) || seen(k2) || m_edges.Find(k1) != nullptr) {
            return nullptr;
        }
        keys[gathered++] = k1;
        keys[gathered++] = k2;
    }

    const std::int32_t face = static_cast<std::int32_t>(m_faceCounter + 1);
    for (int n = 0; n < count; ++n) {
        // The closing edge v[count-1] → v[0] comes first, then v[i-1] → v[i].
        const int from = n == 0 ? count - 1 : n - 1;
        const int to = n == 0 ? 0 : n;
        bool existed = false;
        Tree::Node* node = m_edges.Insert(MakeKey(v[from], v[to]), &existed);
        if (node == nullptr) {
            for (int j = 0; j < n; ++j) {
                m_edges.Remove(nodes[j]);
            }
            return nullptr;
        }
        Edge& e = node->payload;
        e.userData = userData != nullptr ? userData[from] : 0;
        e.twin = nullptr;
        e.mark = 0;
        e.face = face;
        e.origin = v[from];
        nodes[n] = node;
    }
    ++m_faceCounter;
    for (int n = 0; n < count; ++n) {
        Edge& e = nodes[n]->payload;
        e.next = &nodes[(n + 1) % count]->payload;
        e.prev = &nodes[(n + count - 1) % count]->payload;
    }
    return &nodes[count > 1 ? 1 : 0]->payload;
}

phPolyhedron::Edge* phPolyhedron::AddTriangle(std::int32_t a, std::int32_t b, std::int32_t c)
{
    const std::int32_t v[3] = {a, b, c};
    return AddFace(3, v, nullptr);
}

phPolyhedron::Edge* phPolyhedron::FindEdge(Key key) const
{
    Tree::Node* node = m_edges.Find(key);
    return node != nullptr ? &node->payload : nullptr;
}

bool phPolyhedron::EndFaces()
{
    for (auto* n = m_edges.Minimum(); n != nullptr; n = Tree::Next(n)) {
        Edge& e = n->payload;
        if (e.twin == nullptr && e.next != nullptr) {
            if (Edge* twin = FindEdge(e.next->origin, e.origin)) {
                e.twin = twin;
                twin->twin = &e;
            }
        }
    }

    // Open edges are gathered first: inserting while walking the tree is unsafe.
    std::uint32_t open = 0;
    for (auto* n = m_edges.Minimum(); n != nullptr; n = Tree::Next(n)) {
        if (n->payload.twin == nullptr && n->payload.next != nullptr) {
            ++open;
        }
    }
    if (open == 0) {
        return true;
    }
    phScratch<Edge*> faces(open);
    phScratch<Edge*> boundary(open);
    if (!faces || !boundary) {
        return false;
    }
    std::uint32_t k = 0;
    for (auto* n = m_edges.Minimum(); n != nullptr; n = Tree::Next(n)) {
        if (n->payload.twin == nullptr && n->payload.next != nullptr) {
            faces[k++] = &n->payload;
        }
    }
    std::uint32_t made = 0;
    for (std::uint32_t i = 0; i < open; ++i) {
        Edge* f = faces[i];
        const std::int32_t destination = f->next->origin;
        Tree::Node* node = m_edges.Insert(MakeKey(destination, f->origin));
        if (node == nullptr) {
            return false;
        }
        Edge& b = node->payload;
        b = Edge{};
        b.origin = destination;
        b.face = -1;
        b.twin = f;
        f->twin = &b;
        boundary[made++] = &b;
    }

    // Each boundary half-edge follows the boundary half-edge that ends at its
    // origin, found by turning around that vertex.
    const std::uint32_t limit = m_edges.Count() + 1;
    for (std::uint32_t i = 0; i < made; ++i) {
        Edge* b = boundary[i];
        Edge* g = b->twin;
        for (std::uint32_t step = 0; step < limit && g != nullptr && g->next != nullptr; ++step) {
            g = g->next->twin;
            if (g != nullptr && g->next == nullptr) {
                g->next = b;
                b->prev = g;
                break;
            }
        }
    }
    return true;
}

int phPolyhedron::Export(phHalfEdge* out, int capacity)
{
    if (static_cast<std::int64_t>(m_edges.Count()) > capacity) {
        return -1;
    }
    std::uint32_t index = 0;
    for (auto* n = m_edges.Minimum(); n != nullptr; n = Tree::Next(n)) {
        n->payload.mark = index++;
    }
    auto indexOf = [](const Edge* e) { return e != nullptr ? static_cast<std::int32_t>(e->mark) : -1; };
    int i = 0;
    for (auto* n = m_edges.Minimum(); n != nullptr; n = Tree::Next(n), ++i) {
        const Edge& e = n->payload;
        out[i] = {e.origin, indexOf(e.twin), indexOf(e.next), indexOf(e.prev)};
    }
    return i;
}

void phPolyhedron::Destroy()
{
    m_edges.Destroy();
    m_faceCounter = 0;
}
