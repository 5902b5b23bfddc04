#include "physics/contact_reduction.h"

#include <cmath>

namespace {

constexpr int kMaxThin = 256;
constexpr int kMaxSweeps = 64;

}  // namespace

int phThinContacts(phContactRecord* records, int count, int n, float tol, unsigned char* marks)
{
    if (n < 1) {
        n = 1;
    }
    if (count <= n) {
        return count;
    }
    // Longer buffers are cut to what one sweep can order.
    if (count > kMaxThin) {
        count = kMaxThin;
    }
    int order[kMaxThin];
    bool kept[kMaxThin];
    for (int i = 0; i < count; ++i) {
        kept[i] = true;
    }
    int remaining = count;
    for (int sweep = 0; sweep < kMaxSweeps && remaining > n; ++sweep) {
        int m = 0;
        for (int i = 0; i < count; ++i) {
            if (kept[i]) {
                // Insertion by x: the buffers are short.
                int j = m++;
                while (j > 0 && records[order[j - 1]].point.x > records[i].point.x) {
                    order[j] = order[j - 1];
                    --j;
                }
                order[j] = i;
            }
        }
        const float tolSq = tol * tol;
        for (int a = 0; a < m && remaining > n; ++a) {
            const phContactRecord& p = records[order[a]];
            for (int b = a - 1; b >= 0; --b) {
                const phContactRecord& q = records[order[b]];
                if (p.point.x - q.point.x >= tol) {
                    break;
                }
                if (!kept[order[b]]) {
                    continue;
                }
                const phVec4 d = p.point - q.point;
                if (phLengthSq(d) < tolSq) {
                    kept[order[a]] = false;
                    --remaining;
                    break;
                }
            }
        }
        tol *= 2.0f;
        if (!std::isfinite(tol)) {
            break;
        }
    }
    // Points that no tolerance separates (not finite) are cut from the end.
    int out = 0;
    for (int i = 0; i < count && out < n; ++i) {
        if (kept[i]) {
            if (marks != nullptr) {
                marks[out] = marks[i];
            }
            records[out++] = records[i];
        }
    }
    return out;
}
