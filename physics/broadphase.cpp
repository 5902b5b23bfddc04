#include "physics/broadphase.h"

#include <cmath>
#include <cstring>
#include <new>

#include "physics/class_id.h"
#include "physics/constraint.h"
#include "physics/geometry.h"
#include "physics/memory.h"
#include "physics/world.h"

namespace {

// The sums of a cell are rebuilt after this many updates, bounding drift.
constexpr std::uint16_t kSumRefresh = 10000;
// Room for the walks over cells; a cell pushes at most four children and
// the tree is ten levels deep.
constexpr int kCellStack = 64;
// Bodies joined to an awake body that one refresh walk can hold.
constexpr int kJointWalk = 1024;
// Ray cast queue entries kept in place before growing on the heap.
constexpr int kRayQueueInline = 520;

// 0..3 when the box lies inside one quadrant of the cell, 8 or more otherwise.
int Quadrant(float h, const phBroadphaseCell* cell, const phVec4& mn, const phVec4& mx)
{
    int q = 0;
    const float cx = cell->origin.x;
    const float cz = cell->origin.z;
    if (mn.x < cx || mx.x > cx + 2.0f * h || mn.z < cz || mx.z > cz + 2.0f * h) {
        return 8;
    }
    if (mn.x >= cx + h) {
        q |= 1;
    } else if (!(mx.x < cx + h)) {
        q |= 8;
    }
    if (mn.z >= cz + h) {
        q |= 2;
    } else if (!(mx.z < cz + h)) {
        q |= 8;
    }
    return q;
}

// Takes the entry out of the list's links; its own links stay as they were.
void Detach(phBroadphaseCell::AxisList& list, phBroadphaseEntry* e)
{
    if (e->prev != nullptr) {
        e->prev->next = e->next;
    } else {
        list.first = e->next;
    }
    if (e->next != nullptr) {
        e->next->prev = e->prev;
    } else {
        list.last = e->prev;
    }
}

// Links the entry in between two neighbours (either may be the list's end).
void LinkBetween(phBroadphaseCell::AxisList& list, phBroadphaseEntry* e, phBroadphaseEntry* before,
                 phBroadphaseEntry* after)
{
    e->prev = before;
    e->next = after;
    if (before != nullptr) {
        before->next = e;
    } else {
        list.first = e;
    }
    if (after != nullptr) {
        after->prev = e;
    } else {
        list.last = e;
    }
}

void ListInsertSorted(phBroadphaseCell::AxisList& list, phBroadphaseEntry* e)
{
    phBroadphaseEntry* at = list.first;
    while (at != nullptr && at->key < e->key) {
        at = at->next;
    }
    // Before `at`, or at the end.
    LinkBetween(list, e, at != nullptr ? at->prev : list.last, at);
    ++list.count;
    list.sum += e->key;
    list.sumSq += static_cast<double>(e->key) * e->key;
}

void ListUnlink(phBroadphaseCell::AxisList& list, phBroadphaseEntry* e)
{
    Detach(list, e);
    e->prev = e->next = nullptr;
    --list.count;
    list.sum -= e->key;
    list.sumSq -= static_cast<double>(e->key) * e->key;
}

// Moves the entry to its place for a new key.
void ListRekey(phBroadphaseCell::AxisList& list, phBroadphaseEntry* e, float key)
{
    list.sum += static_cast<double>(key) - e->key;
    list.sumSq += static_cast<double>(key) * key - static_cast<double>(e->key) * e->key;
    e->key = key;
    if ((e->prev == nullptr || !(key < e->prev->key)) && (e->next == nullptr || !(e->next->key < key))) {
        return;
    }
    // Bodies move little between steps: the entry walks from where it was
    // to the place a search from the head would give it (after the last key
    // below its own), an insertion sort over the previous order.
    phBroadphaseEntry* before = e->prev;
    phBroadphaseEntry* after = e->next;
    if (before != nullptr && key < before->key) {
        after = before;
        before = before->prev;
        while (before != nullptr && !(before->key < key)) {
            after = before;
            before = before->prev;
        }
    } else {
        while (after != nullptr && after->key < key) {
            before = after;
            after = after->next;
        }
    }
    Detach(list, e);
    LinkBetween(list, e, before, after);
}

bool Overlap(const phRigidBody* a, const phRigidBody* b) { return phBoxOverlap(a->boxMin, a->boxMax, b->boxMin, b->boxMax); }

int BitCount(std::uint32_t n)
{
    int bits = 0;
    while (n != 0) {
        ++bits;
        n >>= 1;
    }
    return bits;
}

// Entry parameter of the segment into the cell's square in x and z: 0 when
// p0 lies inside, 1.2 when the segment misses it.
float CellEntry(const phBroadphaseCell* cell, const phVec4& p0, const phVec4& p1)
{
    const float lo[2] = {cell->origin.x, cell->origin.z};
    const float a[2] = {p0.x, p0.z};
    const float b[2] = {p1.x, p1.z};
    if (a[0] >= lo[0] && a[0] <= lo[0] + cell->side && a[1] >= lo[1] && a[1] <= lo[1] + cell->side) {
        return 0.0f;
    }
    float tIn = 0.0f;
    float tOut = 1.0f;
    for (int i = 0; i < 2; ++i) {
        const float d = b[i] - a[i];
        const float hi = lo[i] + cell->side;
        if (d == 0.0f) {
            if (a[i] < lo[i] || a[i] > hi) {
                return kRayMiss;
            }
            continue;
        }
        float t0 = (lo[i] - a[i]) / d;
        float t1 = (hi - a[i]) / d;
        if (t0 > t1) {
            const float t = t0;
            t0 = t1;
            t1 = t;
        }
        if (t0 > tIn) {
            tIn = t0;
        }
        if (t1 < tOut) {
            tOut = t1;
        }
        if (tIn > tOut) {
            return kRayMiss;
        }
    }
    return tIn;
}

struct QueueItem {
    float t;
    phBroadphaseCell* cell;
};

// Binary min-heap on t with an in-place buffer that grows on the heap.
class CellQueue {
public:
    ~CellQueue()
    {
        if (m_items != m_inline) {
            phFree(m_items);
        }
    }
    bool Empty() const { return m_count == 0; }
    float MinT() const { return m_items[0].t; }
    void Push(QueueItem item)
    {
        if (m_count == m_capacity && !Grow()) {
            return;
        }
        int i = m_count++;
        while (i > 0) {
            const int parent = (i - 1) / 2;
            if (!(item.t < m_items[parent].t)) {
                break;
            }
            m_items[i] = m_items[parent];
            i = parent;
        }
        m_items[i] = item;
    }
    QueueItem Pop()
    {
        const QueueItem top = m_items[0];
        const QueueItem last = m_items[--m_count];
        int i = 0;
        for (;;) {
            int child = 2 * i + 1;
            if (child >= m_count) {
                break;
            }
            if (child + 1 < m_count && m_items[child + 1].t < m_items[child].t) {
                ++child;
            }
            if (!(m_items[child].t < last.t)) {
                break;
            }
            m_items[i] = m_items[child];
            i = child;
        }
        if (m_count > 0) {
            m_items[i] = last;
        }
        return top;
    }

private:
    bool Grow()
    {
        const int capacity = m_capacity * 2;
        auto* items = static_cast<QueueItem*>(phMalloc(sizeof(QueueItem) * static_cast<std::size_t>(capacity)));
        if (items == nullptr) {
            return false;
        }
        std::memcpy(items, m_items, sizeof(QueueItem) * static_cast<std::size_t>(m_count));
        if (m_items != m_inline) {
            phFree(m_items);
        }
        m_items = items;
        m_capacity = capacity;
        return true;
    }

    QueueItem m_inline[kRayQueueInline];
    QueueItem* m_items = m_inline;
    int m_count = 0;
    int m_capacity = kRayQueueInline;
};

}  // namespace

phBroadphase::phBroadphase() : m_nullClassId(phGetClassId(phClassIndex::CollisionNull)) {}

phBroadphase::~phBroadphase()
{
    // Bodies still filed are the world's to destroy; the cells go with the pool.
    m_root = nullptr;
    m_freeCells = nullptr;
}

void phBroadphase::SetWorld(phPhysWorld* world)
{
    m_world = world;
    if (world != nullptr) {
        m_nullClassId = world->GetClassIds().null;
    }
}

void phBroadphase::SetPairHandler(PairHandler handler, void* context)
{
    m_pairHandler = handler;
    m_pairContext = context;
}

void phBroadphase::SetWorldSize(const phVec4& min, const phVec4& max)
{
    phVec4 mn = min;
    mn.x = std::floor(mn.x * 512.0f) / 512.0f;
    mn.y = std::floor(mn.y * 512.0f) / 512.0f;
    mn.z = std::floor(mn.z * 512.0f) / 512.0f;
    const float sx = max.x - mn.x;
    const float sz = max.z - mn.z;
    const float size = sx > sz ? sx : sz;
    float side = size;
    for (int i = 0; i < 9; ++i) {
        side *= 0.5f;
    }
    side = std::ceil(side * 512.0f) / 512.0f * 512.0f;
    m_rootSide = side;
    phVec4 mx = {mn.x + side, mn.y + side, mn.z + side, 1.0f};
    mn.y = min.y;
    mx.y = max.y;
    mn.w = 1.0f;
    m_worldMin = mn;
    m_worldMax = mx;

    if (m_world == nullptr) {
        return;
    }
    // Every body is filed afresh from a root of the new size.
    for (auto* node = m_world->Bodies().Minimum(); node != nullptr; node = phPhysWorld::BodyTree::Next(node)) {
        phRigidBody* body = node->payload;
        if (body->inBroadphase) {
            RemoveBody(body);
        }
    }
    m_root = nullptr;
    for (auto* node = m_world->Bodies().Minimum(); node != nullptr; node = phPhysWorld::BodyTree::Next(node)) {
        phRigidBody* body = node->payload;
        AddBody(body);
        body->UpdateCollisionMatrixAndBox();
    }
}

void phBroadphase::GetWorldSize(phVec4& outMin, phVec4& outMax) const
{
    outMin = m_worldMin;
    outMax = m_worldMax;
}

phBroadphaseCell* phBroadphase::NewCell(phBroadphaseCell* parent, int quadrant, float half)
{
    phBroadphaseCell* cell = m_freeCells;
    if (cell != nullptr) {
        m_freeCells = cell->nextFree;
    } else {
        cell = m_cellPool.Alloc();
        if (cell == nullptr) {
            return nullptr;
        }
    }
    *cell = phBroadphaseCell();
    cell->nullClassId = m_nullClassId;
    cell->world = m_world;
    cell->parent = parent;
    if (parent == nullptr) {
        cell->origin = m_worldMin;
        cell->side = m_rootSide;
    } else {
        cell->origin = parent->origin;
        cell->origin.x += (quadrant & 1) != 0 ? half : 0.0f;
        cell->origin.z += (quadrant & 2) != 0 ? half : 0.0f;
        cell->side = half;
        cell->level = static_cast<std::uint16_t>(parent->level + 1);
        parent->children[quadrant] = cell;
        ++parent->childCount;
    }
    return cell;
}

void phBroadphase::FreeCell(phBroadphaseCell* cell)
{
    cell->nextFree = m_freeCells;
    m_freeCells = cell;
}

void phBroadphase::InsertIntoCell(phBroadphaseCell* cell, phRigidBody* body)
{
    phBroadphaseProxy& p = body->proxy;
    for (int a = 0; a < 3; ++a) {
        p.entries[a].body = body;
        p.entries[a].key = body->boxMin[a];
        ListInsertSorted(cell->lists[a], &p.entries[a]);
    }
    ++cell->bodyCount;
    ++cell->updateCounter;
    p.cell = cell;
}

void phBroadphase::UnlinkFromCell(phRigidBody* body)
{
    phBroadphaseCell* cell = body->proxy.cell;
    if (cell == nullptr) {
        return;
    }
    for (int a = 0; a < 3; ++a) {
        ListUnlink(cell->lists[a], &body->proxy.entries[a]);
    }
    ++cell->updateCounter;
    --cell->bodyCount;
    body->proxy.cell = nullptr;
}

void phBroadphase::CleanUp(phBroadphaseCell* cell)
{
    while (cell != nullptr && cell->bodyCount == 0 && cell->childCount == 0) {
        phBroadphaseCell* parent = cell->parent;
        if (parent != nullptr) {
            for (auto*& child : parent->children) {
                if (child == cell) {
                    child = nullptr;
                    --parent->childCount;
                }
            }
        }
        if (cell == m_root) {
            m_root = nullptr;
        }
        FreeCell(cell);
        cell = parent;
    }
}

void phBroadphase::AppendMoved(phRigidBody* body)
{
    phBroadphaseProxy& p = body->proxy;
    p.movedPrev = m_movedLast;
    p.movedNext = nullptr;
    if (m_movedLast != nullptr) {
        m_movedLast->proxy.movedNext = body;
    } else {
        m_movedFirst = body;
    }
    m_movedLast = body;
    p.inMovedList = true;
    ++m_movedCount;
}

void phBroadphase::RemoveMoved(phRigidBody* body)
{
    phBroadphaseProxy& p = body->proxy;
    if (!p.inMovedList) {
        return;
    }
    if (p.movedPrev != nullptr) {
        p.movedPrev->proxy.movedNext = p.movedNext;
    } else {
        m_movedFirst = p.movedNext;
    }
    if (p.movedNext != nullptr) {
        p.movedNext->proxy.movedPrev = p.movedPrev;
    } else {
        m_movedLast = p.movedPrev;
    }
    p.movedPrev = p.movedNext = nullptr;
    p.inMovedList = false;
    --m_movedCount;
}

void phBroadphase::AddBody(phRigidBody* body)
{
    if (body->inBroadphase) {
        return;
    }
    if (m_root == nullptr) {
        m_root = NewCell(nullptr, 0, 0.0f);
        if (m_root == nullptr) {
            return;
        }
    }
    InsertIntoCell(m_root, body);
    body->inBroadphase = true;
}

void phBroadphase::RemoveBody(phRigidBody* body)
{
    if (!body->inBroadphase) {
        return;
    }
    RemoveMoved(body);
    phBroadphaseCell* cell = body->proxy.cell;
    UnlinkFromCell(body);
    CleanUp(cell);
    body->inBroadphase = false;
}

void phBroadphase::UpdateBody(phRigidBody* body)
{
    if (!body->inBroadphase || m_root == nullptr) {
        return;
    }
    phBroadphaseCell* cell = m_root;
    float h = m_rootSide * 0.5f;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const int q = Quadrant(h, cell, body->boxMin, body->boxMax);
        if (q >= 4) {
            break;
        }
        phBroadphaseCell* child = cell->children[q];
        if (child == nullptr) {
            child = NewCell(cell, q, h);
            if (child == nullptr) {
                break;
            }
        }
        cell = child;
        h *= 0.5f;
    }

    phBroadphaseProxy& p = body->proxy;
    if (cell == p.cell) {
        ++cell->updateCounter;
        for (int a = 0; a < 3; ++a) {
            ListRekey(cell->lists[a], &p.entries[a], body->boxMin[a]);
        }
    } else {
        // Into the new cell before the old one is tidied, so the tidying
        // never frees the cell the body is going to.
        phBroadphaseCell* old = p.cell;
        UnlinkFromCell(body);
        InsertIntoCell(cell, body);
        CleanUp(old);
    }

    if (m_movedCount < 2 * m_movedThreshold && !p.inMovedList) {
        AppendMoved(body);
    }

    if (m_world != nullptr && !phBoxOverlap(body->boxMin, body->boxMax, m_worldMin, m_worldMax)) {
        m_world->RemoveFromAwake(body);
        if ((body->flags & phRigidBody::kFlagActive) != 0 && body->activationCallback != nullptr) {
            body->activationCallback(body, 0);
        }
        body->flags &= ~(phRigidBody::kFlagActive | phRigidBody::kFlagAutoSleep);
        if (m_world->bodyLeftWorldCallback != nullptr) {
            m_world->bodyLeftWorldCallback(body);
            if (phBoxOverlap(body->boxMin, body->boxMax, m_worldMin, m_worldMax)) {
                body->flags |= phRigidBody::kFlagActive | phRigidBody::kFlagAutoSleep;
                m_world->WakeBody(body);
            }
        }
    }
}

void phBroadphase::RefreshAxis(phBroadphaseCell* cell)
{
    if (cell->axisStamp == m_step && cell->sweepAxis >= 0) {
        return;
    }
    cell->axisStamp = m_step;
    if (cell->updateCounter > kSumRefresh) {
        cell->updateCounter = 0;
        for (auto& list : cell->lists) {
            list.sum = 0.0;
            list.sumSq = 0.0;
            for (const phBroadphaseEntry* e = list.first; e != nullptr; e = e->next) {
                list.sum += e->key;
                list.sumSq += static_cast<double>(e->key) * e->key;
            }
        }
    }
    double var[3];
    const double n = cell->bodyCount;
    for (int a = 0; a < 3; ++a) {
        var[a] = n * cell->lists[a].sumSq - cell->lists[a].sum * cell->lists[a].sum;
    }
    if (var[0] >= var[1] && var[0] >= var[2]) {
        cell->sweepAxis = 0;
    } else if (var[2] >= var[0] && var[2] >= var[1]) {
        cell->sweepAxis = 2;
    } else {
        cell->sweepAxis = 1;
    }
}

void phBroadphase::TestPair(phRigidBody* a, phRigidBody* b)
{
    const bool aDynamic = (a->flags & phRigidBody::kFlagActive) != 0 && a->invMass.w > 0.0f;
    const bool bDynamic = (b->flags & phRigidBody::kFlagActive) != 0 && b->invMass.w > 0.0f;
    if (!aDynamic && !bDynamic) {
        return;
    }
    if ((a->collision != nullptr && a->collision->IsType(m_nullClassId)) ||
        (b->collision != nullptr && b->collision->IsType(m_nullClassId))) {
        return;
    }
    if (m_pairHandler != nullptr) {
        m_pairHandler(m_pairContext, a, b);
    }
}

void phBroadphase::SweepBodyAgainstCell(phRigidBody* a, phBroadphaseCell* cell)
{
    RefreshAxis(cell);
    const int axis = cell->sweepAxis;
    const float limit = a->boxMax[axis];
    for (phBroadphaseEntry* e = cell->lists[axis].first; e != nullptr && e->key < limit; e = e->next) {
        phRigidBody* b = e->body;
        if (b != a && b->proxy.sweepMark != m_step && Overlap(a, b)) {
            TestPair(a, b);
        }
    }
}

void phBroadphase::SweepCellInternal(phBroadphaseCell* cell)
{
    RefreshAxis(cell);
    const int axis = cell->sweepAxis;
    for (phBroadphaseEntry* ea = cell->lists[axis].first; ea != nullptr; ea = ea->next) {
        phRigidBody* a = ea->body;
        const float limit = a->boxMax[axis];
        for (phBroadphaseEntry* eb = ea->next; eb != nullptr && eb->key < limit; eb = eb->next) {
            if (Overlap(a, eb->body)) {
                TestPair(a, eb->body);
            }
        }
    }
}

void phBroadphase::MergeCells(phBroadphaseCell* ancestor, phBroadphaseCell* cell)
{
    RefreshAxis(ancestor);
    const int axis = ancestor->sweepAxis;
    phBroadphaseEntry* i = ancestor->lists[axis].first;
    phBroadphaseEntry* j = cell->lists[axis].first;
    while (i != nullptr && j != nullptr) {
        if (!(j->key < i->key)) {
            phRigidBody* a = i->body;
            const float limit = a->boxMax[axis];
            for (phBroadphaseEntry* e = j; e != nullptr && e->key < limit; e = e->next) {
                if (Overlap(a, e->body)) {
                    TestPair(a, e->body);
                }
            }
            i = i->next;
        } else {
            phRigidBody* a = j->body;
            const float limit = a->boxMax[axis];
            for (phBroadphaseEntry* e = i; e != nullptr && e->key < limit; e = e->next) {
                if (Overlap(a, e->body)) {
                    TestPair(a, e->body);
                }
            }
            j = j->next;
        }
    }
}

void phBroadphase::RefreshBody(phRigidBody* body)
{
    body->proxy.stamp = m_step;
    body->force = {0.0f, 0.0f, 0.0f, 0.0f};
    body->torque = {0.0f, 0.0f, 0.0f, 0.0f};
    if (body->forceTorqueCallback != nullptr) {
        body->forceTorqueCallback(body);
    }
    body->UpdateCollisionMatrixAndBox();
}

void phBroadphase::RefreshForces(phRigidBody* body)
{
    if (body->proxy.stamp != m_step) {
        RefreshBody(body);
    }
}

void phBroadphase::UpdatePairs()
{
    ++m_step;
    if (m_world != nullptr) {
        // Forces and boxes of the awake bodies and of those joined to them;
        // integration is the solver's.
        phPhysWorld::BodyTree& awake = m_world->Awake();
        phRigidBody* stack[kJointWalk];
        auto* node = awake.Minimum();
        while (node != nullptr) {
            phRigidBody* body = node->payload;
            if (body->proxy.stamp == m_step || !(body->invMass.w > 0.0f)) {
                node = phPhysWorld::BodyTree::Next(node);
                continue;
            }
            RefreshBody(body);
            int top = 0;
            stack[top++] = body;
            while (top > 0) {
                phRigidBody* b = stack[--top];
                phConstraintLink* first = b->constraints;
                phConstraintLink* link = first;
                while (link != nullptr) {
                    phRigidBody* other = link->other;
                    // Contacts count: the solver's islands follow them, and a
                    // body it integrates needs this step's forces.
                    if (other != nullptr && link->constraint != nullptr && other->invMass.w > 0.0f &&
                        other->proxy.stamp != m_step) {
                        RefreshBody(other);
                        if (top < kJointWalk) {
                            stack[top++] = other;
                        }
                    }
                    link = link->next;
                    if (link == first) {
                        break;
                    }
                }
            }
            // A callback may have taken bodies out of the awake set; start
            // over then (refreshed bodies are skipped by their stamp).
            node = body->awakeNode == node ? phPhysWorld::BodyTree::Next(node) : awake.Minimum();
        }
    }

    if (m_movedCount <= m_movedThreshold) {
        while (phRigidBody* a = m_movedFirst) {
            RemoveMoved(a);
            if (a->proxy.sweepMark == m_step || a->proxy.cell == nullptr) {
                continue;
            }
            a->proxy.sweepMark = m_step;
            for (phBroadphaseCell* up = a->proxy.cell->parent; up != nullptr; up = up->parent) {
                if (up->bodyCount != 0) {
                    SweepBodyAgainstCell(a, up);
                }
            }
            phBroadphaseCell* stack[kCellStack];
            int top = 0;
            stack[top++] = a->proxy.cell;
            while (top > 0) {
                phBroadphaseCell* cell = stack[--top];
                if (cell->bodyCount != 0) {
                    SweepBodyAgainstCell(a, cell);
                }
                for (phBroadphaseCell* child : cell->children) {
                    if (child != nullptr && top < kCellStack) {
                        stack[top++] = child;
                    }
                }
            }
        }
    } else {
        if (m_root != nullptr) {
            phBroadphaseCell* stack[kCellStack];
            int top = 0;
            stack[top++] = m_root;
            while (top > 0) {
                phBroadphaseCell* cell = stack[--top];
                if (cell->bodyCount != 0) {
                    SweepCellInternal(cell);
                    for (phBroadphaseCell* up = cell->parent; up != nullptr; up = up->parent) {
                        if (up->bodyCount != 0) {
                            MergeCells(up, cell);
                        }
                    }
                }
                for (phBroadphaseCell* child : cell->children) {
                    if (child != nullptr && top < kCellStack) {
                        stack[top++] = child;
                    }
                }
            }
        }
        while (m_movedFirst != nullptr) {
            RemoveMoved(m_movedFirst);
        }
    }

    const std::uint32_t bodies = m_world != nullptr ? m_world->BodyCount() : 0;
    m_movedThreshold = bodies == 0 ? 2u : 2u * static_cast<std::uint32_t>(BitCount(bodies) + 1);

    if (m_world != nullptr) {
        // The first vehicle joint on each flagged body takes its tires' contacts.
        phPhysWorld::BodyTree& flagged = m_world->Flagged();
        while (auto* node = flagged.Minimum()) {
            const phRigidBody* body = node->payload;
            const phConstraintLink* first = body != nullptr ? body->constraints : nullptr;
            for (const phConstraintLink* link = first; link != nullptr;
                 link = link->next == first ? nullptr : link->next) {
                if (link->constraint->classId == phConstraint::kClassVehicle) {
                    static_cast<VehicleJoint*>(link->constraint)->CollectContacts();
                    break;
                }
            }
            flagged.Remove(node);
        }
    }
}

void phBroadphase::RayCast(const phVec4& p0, const phVec4& p1, phRayFilter filter, void* userData,
                           phRayPrefilter prefilter)
{
    if (filter == nullptr || m_root == nullptr) {
        return;
    }
    float best = 1.1f;
    const phVec4 d = {std::fabs(p1.x - p0.x), std::fabs(p1.y - p0.y), std::fabs(p1.z - p0.z), 0.0f};
    int axis;
    if (d.x > d.y) {
        axis = d.y > d.z ? 2 : 1;
    } else {
        axis = d.x > d.z ? 2 : 0;
    }

    CellQueue queue;
    phBroadphaseCell* stack[kCellStack];
    int top = 0;
    stack[top++] = m_root;
    while (top > 0) {
        phBroadphaseCell* cell = stack[--top];
        const float t = CellEntry(cell, p0, p1);
        if (!(t < 1.0f)) {
            continue;
        }
        queue.Push({t, cell});
        for (phBroadphaseCell* child : cell->children) {
            if (child != nullptr && top < kCellStack) {
                stack[top++] = child;
            }
        }
    }

    const float bound = p0[axis] > p1[axis] ? p0[axis] : p1[axis];
    while (!queue.Empty() && queue.MinT() < best) {
        phBroadphaseCell* cell = queue.Pop().cell;
        for (phBroadphaseEntry* e = cell->lists[axis].first; e != nullptr && e->key < bound; e = e->next) {
            best = e->body->RayCast(p0, p1, filter, userData, best, prefilter);
        }
    }
}
