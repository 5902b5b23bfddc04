#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "physics/fixed_size_allocator.h"
#include "physics/ref.h"

// Red-black tree whose nodes come from one shared fixed-size allocator per
// node type. Nodes never move, so pointers to payloads stay valid until the
// node is removed.
template <typename Payload, typename Key = std::uint32_t>
class phRbTree {
public:
    struct Node : phRef {
        Node* left = nullptr;
        Node* right = nullptr;
        Node* parent = nullptr;
        phFixedSizeAllocator* allocator = nullptr;
        // Bit 0: red; bit 1: linked into a tree.
        std::uint32_t colour = 0;
        Payload payload{};
        Key key{};

        bool IsRed() const { return (colour & 1u) != 0; }
        void Destroy() override
        {
            phFixedSizeAllocator* a = allocator;
            this->~Node();
            a->Free(this);
        }
    };

    phRbTree() = default;
    phRbTree(const phRbTree&) = delete;
    phRbTree& operator=(const phRbTree&) = delete;
    ~phRbTree() { Destroy(); }

    // Returns the node holding key; a new node (payload value-initialised)
    // when absent. *existed tells which. Null only when out of memory.
    Node* Insert(Key key, bool* existed = nullptr)
    {
        Node* parent = nullptr;
        Node* cur = m_root;
        while (cur != nullptr) {
            parent = cur;
            if (key < cur->key) {
                cur = cur->left;
            } else if (cur->key < key) {
                cur = cur->right;
            } else {
                if (existed != nullptr) {
                    *existed = true;
                }
                return cur;
            }
        }
        if (existed != nullptr) {
            *existed = false;
        }
        phFixedSizeAllocator* a = NodeAllocator();
        void* mem = a != nullptr ? a->Alloc() : nullptr;
        if (mem == nullptr) {
            return nullptr;
        }
        Node* node = ::new (mem) Node();
        node->allocator = a;
        node->key = key;
        node->colour = 3;  // red, in tree
        node->parent = parent;
        if (parent == nullptr) {
            m_root = node;
        } else if (key < parent->key) {
            parent->left = node;
        } else {
            parent->right = node;
        }
        ++m_count;
        InsertFixup(node);
        return node;
    }

    Node* Find(Key key) const
    {
        Node* cur = m_root;
        while (cur != nullptr) {
            if (key < cur->key) {
                cur = cur->left;
            } else if (cur->key < key) {
                cur = cur->right;
            } else {
                return cur;
            }
        }
        return nullptr;
    }

    // Unlinks the node and drops the tree's reference to it.
    void Remove(Node* z)
    {
        if (z == nullptr || (z->colour & 2u) == 0) {
            return;
        }
        Node* x = nullptr;
        Node* xParent = nullptr;
        bool removedRed = z->IsRed();
        if (z->left == nullptr) {
            x = z->right;
            xParent = z->parent;
            Transplant(z, z->right);
        } else if (z->right == nullptr) {
            x = z->left;
            xParent = z->parent;
            Transplant(z, z->left);
        } else {
            Node* y = MinimumOf(z->right);
            removedRed = y->IsRed();
            x = y->right;
            if (y->parent == z) {
                xParent = y;
            } else {
                xParent = y->parent;
                Transplant(y, y->right);
                y->right = z->right;
                y->right->parent = y;
            }
            Transplant(z, y);
            y->left = z->left;
            y->left->parent = y;
            SetRed(y, z->IsRed());
        }
        if (!removedRed) {
            RemoveFixup(x, xParent);
        }
        --m_count;
        z->left = z->right = z->parent = nullptr;
        z->colour = 0;
        z->Release();
    }

    Node* Minimum() const { return m_root != nullptr ? MinimumOf(m_root) : nullptr; }

    // The node with the smallest key above key; null when none. Lets a walk
    // go on after the tree changed under it.
    Node* FirstAfter(Key key) const
    {
        Node* best = nullptr;
        Node* cur = m_root;
        while (cur != nullptr) {
            if (key < cur->key) {
                best = cur;
                cur = cur->left;
            } else {
                cur = cur->right;
            }
        }
        return best;
    }

    // In-order successor.
    static Node* Next(Node* n)
    {
        if (n->right != nullptr) {
            return MinimumOf(n->right);
        }
        Node* p = n->parent;
        while (p != nullptr && n == p->right) {
            n = p;
            p = p->parent;
        }
        return p;
    }

    // Releases every node, children before parents.
    void Destroy()
    {
        ReleaseSubtree(m_root);
        m_root = nullptr;
        m_count = 0;
    }

    Node* Root() const { return m_root; }
    std::uint32_t Count() const { return m_count; }

private:
    static phFixedSizeAllocator* NodeAllocator()
    {
        static phFixedSizeAllocator* slot = nullptr;
        return phFixedSizeAllocator::Shared(&slot, sizeof(Node));
    }

    static Node* MinimumOf(Node* n)
    {
        while (n->left != nullptr) {
            n = n->left;
        }
        return n;
    }

    static bool Red(const Node* n) { return n != nullptr && n->IsRed(); }
    static void SetRed(Node* n, bool red) { n->colour = red ? (n->colour | 1u) : (n->colour & ~1u); }

    static void ReleaseSubtree(Node* n)
    {
        if (n == nullptr) {
            return;
        }
        ReleaseSubtree(n->left);
        ReleaseSubtree(n->right);
        n->left = n->right = n->parent = nullptr;
        n->colour = 0;
        n->Release();
    }

    void Transplant(Node* u, Node* v)
    {
        if (u->parent == nullptr) {
            m_root = v;
        } else if (u == u->parent->left) {
            u->parent->left = v;
        } else {
            u->parent->right = v;
        }
        if (v != nullptr) {
            v->parent = u->parent;
        }
    }

    void RotateLeft(Node* x)
    {
        Node* y = x->right;
        x->right = y->left;
        if (y->left != nullptr) {
            y->left->parent = x;
        }
        Transplant(x, y);
        y->left = x;
        x->parent = y;
    }

    void RotateRight(Node* x)
    {
        Node* y = x->left;
        x->left = y->right;
        if (y->right != nullptr) {
            y->right->parent = x;
        }
        Transplant(x, y);
        y->right = x;
        x->parent = y;
    }

    void InsertFixup(Node* z)
    {
        while (Red(z->parent)) {
            Node* p = z->parent;
            Node* g = p->parent;
            if (p == g->left) {
                Node* u = g->right;
                if (Red(u)) {
                    SetRed(p, false);
                    SetRed(u, false);
                    SetRed(g, true);
                    z = g;
                } else {
                    if (z == p->right) {
                        z = p;
                        RotateLeft(z);
                        p = z->parent;
                    }
                    SetRed(p, false);
                    SetRed(g, true);
                    RotateRight(g);
                }
            } else {
                Node* u = g->left;
                if (Red(u)) {
                    SetRed(p, false);
                    SetRed(u, false);
                    SetRed(g, true);
                    z = g;
                } else {
                    if (z == p->left) {
                        z = p;
                        RotateRight(z);
                        p = z->parent;
                    }
                    SetRed(p, false);
                    SetRed(g, true);
                    RotateLeft(g);
                }
            }
        }
        SetRed(m_root, false);
    }

    void RemoveFixup(Node* x, Node* parent)
    {
        while (x != m_root && !Red(x)) {
            if (x == parent->left) {
                Node* w = parent->right;
                if (Red(w)) {
                    SetRed(w, false);
                    SetRed(parent, true);
                    RotateLeft(parent);
                    w = parent->right;
                }
                if (!Red(w->left) && !Red(w->right)) {
                    SetRed(w, true);
                    x = parent;
                    parent = x->parent;
                } else {
                    if (!Red(w->right)) {
                        SetRed(w->left, false);
                        SetRed(w, true);
                        RotateRight(w);
                        w = parent->right;
                    }
                    SetRed(w, parent->IsRed());
                    SetRed(parent, false);
                    SetRed(w->right, false);
                    RotateLeft(parent);
                    x = m_root;
                    parent = nullptr;
                }
            } else {
                Node* w = parent->left;
                if (Red(w)) {
                    SetRed(w, false);
                    SetRed(parent, true);
                    RotateRight(parent);
                    w = parent->left;
                }
                if (!Red(w->left) && !Red(w->right)) {
                    SetRed(w, true);
                    x = parent;
                    parent = x->parent;
                } else {
                    if (!Red(w->left)) {
                        SetRed(w->right, false);
                        SetRed(w, true);
                        RotateLeft(w);
                        w = parent->left;
                    }
                    SetRed(w, parent->IsRed());
                    SetRed(parent, false);
                    SetRed(w->left, false);
                    RotateRight(parent);
                    x = m_root;
                    parent = nullptr;
                }
            }
        }
        if (x != nullptr) {
            SetRed(x, false);
        }
    }

    Node* m_root = nullptr;
    std::uint32_t m_count = 0;
};
