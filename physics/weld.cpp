#include "physics/weld.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "physics/scratch.h"

namespace {

constexpr int kDirectLimit = 0x18000;

struct Welder {
    std::uint32_t* work;  // per entry: mark, input index, point words
    int words;            // words per entry
    int pointWords;
    int tolWords;
    int exactWords;
    float tolerance;
    float* out;
    std::int32_t* map;

    std::uint32_t* Entry(int i) const { return work + static_cast<std::size_t>(i) * words; }
    float Value(int i, int axis) const
    {
        float f;
        std::memcpy(&f, Entry(i) + 2 + axis, sizeof(f));
        return f;
    }

    void Variances(const int* idx, int n, double* var) const
    {
        for (int axis = 0; axis < 3; ++axis) {
            double s = 0.0, s2 = 0.0;
            for (int k = 0; k < n; ++k) {
                const double v = Value(idx[k], axis);
                s += v;
                s2 += v * v;
            }
            var[axis] = n * s2 - s * s;
        }
    }

    bool Matches(int i, int j, float t) const
    {
        for (int k = 0; k < tolWords; ++k) {
            float a, b;
            std::memcpy(&a, Entry(i) + 2 + k, sizeof(a));
            std::memcpy(&b, Entry(j) + 2 + k, sizeof(b));
            if (!(std::fabs(a - b) < t)) {
                return false;
            }
        }
        return std::memcmp(Entry(i) + 2 + tolWords, Entry(j) + 2 + tolWords,
                           static_cast<std::size_t>(exactWords) * 4) == 0;
    }

    int Direct(int* idx, int n, int base)
    {
        double var[3];
        Variances(idx, n, var);
        int axis = 0;
        if (var[1] >= var[0] && var[1] >= var[2]) {
            axis = 1;
        } else if (var[2] >= var[0] && var[2] >= var[1]) {
            axis = 2;
        }
        std::stable_sort(idx, idx + n, [&](int a, int b) { return Value(a, axis) < Value(b, axis); });
        const float t = tolerance + 0.0001f;
        int unique = 0;
        for (int k = 0; k < n; ++k) {
            std::uint32_t* ei = Entry(idx[k]);
            if (static_cast<std::int32_t>(ei[0]) != -1) {
                continue;
            }
            const int id = base + unique++;
            ei[0] = static_cast<std::uint32_t>(id);
            map[ei[1]] = id;
            std::memcpy(out + static_cast<std::size_t>(id) * pointWords, ei + 2,
                        static_cast<std::size_t>(pointWords) * 4);
            const float limit = Value(idx[k], axis) + 2.0f * t + 0.0001f;
            for (int m = k + 1; m < n && Value(idx[m], axis) < limit; ++m) {
                std::uint32_t* ej = Entry(idx[m]);
                if (static_cast<std::int32_t>(ej[0]) == -1 && Matches(idx[k], idx[m], t)) {
                    ej[0] = static_cast<std::uint32_t>(id);
                    map[ej[1]] = id;
                }
            }
        }
        return unique;
    }

    int Weld(int* idx, int n, int base)
    {
        if (n <= kDirectLimit) {
            return Direct(idx, n, base);
        }
        double var[3];
        Variances(idx, n, var);
        int axis = 0;
        if (var[1] > var[0] && var[1] > var[2]) {
            axis = 1;
        } else if (var[2] > var[0] && var[2] > var[1]) {
            axis = 2;
        }
        double mean = 0.0;
        for (int k = 0; k < n; ++k) {
            mean += Value(idx[k], axis);
        }
        mean /= n;
        int* mid = std::stable_partition(idx, idx + n, [&](int i) { return Value(i, axis) < mean; });
        const int lower = static_cast<int>(mid - idx);
        if (lower == 0 || lower == n) {
            // All on one side (equal values): splitting again would not end.
            return Direct(idx, n, base);
        }
        const int first = Weld(idx, lower, base);
        return first + Weld(mid, n - lower, base + first);
    }
};

}  // namespace

int WeldVertices(float* points, int strideBytes, int tolBytes, int exactBytes, int count, std::int32_t* outMap,
                 float tolerance)
{
    if (points == nullptr || outMap == nullptr || count <= 0 || strideBytes < 12 || strideBytes % 4 != 0 ||
        tolBytes < 0 || exactBytes < 0 || tolBytes + exactBytes < 12 || tolBytes + exactBytes > strideBytes) {
        return 0;
    }
    Welder w{};
    w.pointWords = strideBytes / 4;
    w.words = w.pointWords + 2;
    w.tolWords = tolBytes / 4;
    w.exactWords = exactBytes / 4;
    w.tolerance = tolerance;
    w.out = points;
    w.map = outMap;
    phScratch<std::uint32_t> work(static_cast<std::size_t>(count) * w.words);
    phScratch<int> idx(static_cast<std::size_t>(count));
    if (!work || !idx) {
        return 0;
    }
    w.work = work.Data();
    for (int i = 0; i < count; ++i) {
        std::uint32_t* e = w.Entry(i);
        e[0] = 0xFFFFFFFFu;
        e[1] = static_cast<std::uint32_t>(i);
        std::memcpy(e + 2, points + static_cast<std::size_t>(i) * w.pointWords, static_cast<std::size_t>(strideBytes));
        idx[i] = i;
    }
    return w.Weld(idx.Data(), count, 0);
}
