// Regions as rows of pixel spans: each row of the region's extent holds its
// sorted, disjoint [left, right) spans. Combining walks the rows of both
// operands once, so a region made of many one-row rectangles (a skinned
// window's cut-out title bar) stays cheap to build and to test.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_set>

#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

namespace {

using Spans = std::vector<std::pair<int, int>>;

struct Region {
  int top = 0;
  std::vector<Spans> rows;  // row i is y = top + i
};

std::unordered_set<Region*>& Regions() {
  static std::unordered_set<Region*> regions;
  return regions;
}

Region* Find(HRGN rgn) {
  auto* r = reinterpret_cast<Region*>(rgn);
  return Regions().count(r) ? r : nullptr;
}

HRGN Make(Region&& region) {
  auto* r = new Region(std::move(region));
  Regions().insert(r);
  return reinterpret_cast<HRGN>(r);
}

// Drops empty rows at both ends.
void Trim(Region& r) {
  size_t first = 0;
  while (first < r.rows.size() && r.rows[first].empty()) ++first;
  size_t last = r.rows.size();
  while (last > first && r.rows[last - 1].empty()) --last;
  if (first == last) {
    r.rows.clear();
    r.top = 0;
    return;
  }
  r.rows.erase(r.rows.begin() + static_cast<std::ptrdiff_t>(last), r.rows.end());
  r.rows.erase(r.rows.begin(), r.rows.begin() + static_cast<std::ptrdiff_t>(first));
  r.top += static_cast<int>(first);
}

const Spans& Row(const Region& r, int y) {
  static const Spans kNone;
  const int i = y - r.top;
  return i < 0 || i >= static_cast<int>(r.rows.size()) ? kNone : r.rows[static_cast<size_t>(i)];
}

// One row of a boolean combination: a sweep over both span lists' edges.
void CombineRow(const Spans& a, const Spans& b, int mode, Spans& out) {
  out.clear();
  bool inA = false, inB = false;
  int start = 0;
  bool was = false;
  auto in = [&] {
    switch (mode) {
      case RGN_AND: return inA && inB;
      case RGN_XOR: return inA != inB;
      case RGN_DIFF: return inA && !inB;
      default: return inA || inB;
    }
  };
  // Each span gives two edges; the lists are sorted, so merge them.
  size_t ea = 0, eb = 0;  // edge index: span k's left is 2k, right 2k + 1
  while (ea < a.size() * 2 || eb < b.size() * 2) {
    const int xa = ea < a.size() * 2 ? (ea % 2 ? a[ea / 2].second : a[ea / 2].first) : INT32_MAX;
    const int xb = eb < b.size() * 2 ? (eb % 2 ? b[eb / 2].second : b[eb / 2].first) : INT32_MAX;
    const int x = std::min(xa, xb);
    if (xa == x) inA = !(ea++ % 2);
    if (xb == x) inB = !(eb++ % 2);
    const bool now = in();
    if (now && !was) start = x;
    if (!now && was && x > start) {
      if (!out.empty() && out.back().second == start) out.back().second = x;
      else out.emplace_back(start, x);
    }
    was = now;
  }
}

int Kind(const Region& r) {
  if (r.rows.empty()) return NULLREGION;
  const Spans& first = r.rows.front();
  for (const Spans& s : r.rows) {
    if (s.size() != 1 || s != first) return COMPLEXREGION;
  }
  return SIMPLEREGION;
}

Region RectRegion(int l, int t, int r, int b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  Region out;
  if (l == r || t == b) return out;
  out.top = t;
  out.rows.assign(static_cast<size_t>(b - t), Spans{{l, r}});
  return out;
}

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) { return Make(RectRegion(left, top, right, bottom)); }

// The corners follow an ellipse `width` x `height` (at most the
// rectangle's size): a pixel of a corner row is in while its centre lies
// inside the ellipse, so rounding never leaves a hole in a straight edge.
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height) {
  Region out = RectRegion(left, top, right, bottom);
  if (out.rows.empty()) return Make(std::move(out));
  const int l = std::min(left, right), r = std::max(left, right);
  const int rows = static_cast<int>(out.rows.size());
  width = std::min(std::abs(width), r - l);
  height = std::min(std::abs(height), rows);
  if (width < 2 || height < 2) return Make(std::move(out));
  const double ra = width / 2.0, rb = height / 2.0;
  for (int i = 0; i < rows; ++i) {
    // Distance of the row's centre from the nearer corner ellipse's centre line.
    double dy = 0;
    if (i + 0.5 < rb) dy = rb - (i + 0.5);
    else if (rows - i - 0.5 < rb) dy = rb - (rows - i - 0.5);
    if (dy <= 0) continue;
    const double half = ra * std::sqrt(std::max(0.0, 1.0 - (dy / rb) * (dy / rb)));
    // Columns whose centre lies within the ellipse: centre x + 0.5 >= l + ra - half.
    const int inset = static_cast<int>(std::ceil(ra - half - 0.5));
    const int a = l + std::max(inset, 0), b = r - std::max(inset, 0);
    Spans& s = out.rows[static_cast<size_t>(i)];
    s.clear();
    if (a < b) s.emplace_back(a, b);
  }
  Trim(out);
  return Make(std::move(out));
}

HRGN ExtCreateRegion(const void* transform, DWORD count, const RGNDATA* data) {
  const size_t header = sizeof(RGNDATAHEADER);
  if (transform || !data || count < header || data->rdh.iType != RDH_RECTANGLES ||
      data->rdh.nCount > (count - header) / sizeof(RECT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(data) + header;
  int top = INT32_MAX, bottom = INT32_MIN;
  std::vector<RECT> rects(data->rdh.nCount);
  for (size_t i = 0; i < rects.size(); ++i) {
    std::memcpy(&rects[i], bytes + i * sizeof(RECT), sizeof(RECT));
    RECT& r = rects[i];
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    if (r.left == r.right || r.top == r.bottom) continue;
    top = std::min<int>(top, r.top);
    bottom = std::max<int>(bottom, r.bottom);
  }
  Region out;
  if (top < bottom) {
    out.top = top;
    out.rows.resize(static_cast<size_t>(bottom - top));
    for (const RECT& r : rects) {
      if (r.left == r.right || r.top == r.bottom) continue;
      for (int y = r.top; y < r.bottom; ++y) out.rows[static_cast<size_t>(y - top)].emplace_back(r.left, r.right);
    }
    // Each row: sorted, overlapping and touching spans joined.
    for (Spans& s : out.rows) {
      std::sort(s.begin(), s.end());
      Spans joined;
      for (const auto& span : s) {
        if (!joined.empty() && span.first <= joined.back().second) {
          joined.back().second = std::max(joined.back().second, span.second);
        } else {
          joined.push_back(span);
        }
      }
      s = std::move(joined);
    }
    Trim(out);
  }
  return Make(std::move(out));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
  Region* d = Find(dest);
  Region* a = Find(src1);
  Region* b = mode == RGN_COPY ? a : Find(src2);
  if (!d || !a || !b || mode < RGN_AND || mode > RGN_COPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return RGN_ERROR;
  }
  if (mode == RGN_COPY) {
    if (d != a) *d = *a;
    return Kind(*d);
  }
  Region out;
  if (!a->rows.empty() || !b->rows.empty()) {
    int top = INT32_MAX, bottom = INT32_MIN;
    for (const Region* r : {a, b}) {
      if (r->rows.empty()) continue;
      top = std::min(top, r->top);
      bottom = std::max(bottom, r->top + static_cast<int>(r->rows.size()));
    }
    out.top = top;
    out.rows.resize(static_cast<size_t>(bottom - top));
    for (int y = top; y < bottom; ++y) CombineRow(Row(*a, y), Row(*b, y), mode, out.rows[static_cast<size_t>(y - top)]);
    Trim(out);
  }
  *d = std::move(out);
  return Kind(*d);
}

int GetRgnBox(HRGN rgn, LPRECT rect) {
  Region* r = Find(rgn);
  if (!r || !rect) return RGN_ERROR;
  *rect = RECT{0, 0, 0, 0};
  if (r->rows.empty()) return NULLREGION;
  int l = INT32_MAX, rr = INT32_MIN;
  for (const Spans& s : r->rows) {
    if (s.empty()) continue;
    l = std::min(l, s.front().first);
    rr = std::max(rr, s.back().second);
  }
  *rect = RECT{l, r->top, rr, r->top + static_cast<LONG>(r->rows.size())};
  return Kind(*r);
}

BOOL PtInRegion(HRGN rgn, int x, int y) {
  Region* r = Find(rgn);
  return r && platform::detail::RegionContains(rgn, x, y) ? TRUE : FALSE;
}

BOOL DeleteObject(HGDIOBJ object) {
  auto* r = static_cast<Region*>(object);
  if (!Regions().erase(r)) return FALSE;
  delete r;
  return TRUE;
}

namespace platform::detail {

bool RegionContains(HRGN rgn, int x, int y) {
  Region* r = Find(rgn);
  if (!r) return false;
  const Spans& s = Row(*r, y);
  auto it = std::upper_bound(s.begin(), s.end(), x, [](int v, const std::pair<int, int>& span) { return v < span.first; });
  return it != s.begin() && x < std::prev(it)->second;
}

int RegionRowSpans(HRGN rgn, int y, const std::pair<int, int>** spans) {
  Region* r = Find(rgn);
  if (!r) return 0;
  const Spans& s = Row(*r, y);
  *spans = s.data();
  return static_cast<int>(s.size());
}

}  // namespace platform::detail
