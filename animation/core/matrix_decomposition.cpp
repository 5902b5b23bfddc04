#include "animation/core/matrix_decomposition.h"

#include <cmath>

// The polar and spectral decomposition of an affine matrix after Shoemake, in single
// precision. Internally the matrices are column-vector matrices (the transpose of
// ours), as the method is usually written.

namespace AnimCore {
namespace {

using Mat3 = float[3][3];

constexpr float kPolarTolerance = 1.0e-6f;
// Newton's iteration converges quadratically; this only guards against input that
// never settles in single precision (such as NaN or infinities).
constexpr int kMaxPolarIterations = 64;
constexpr int kMaxJacobiSweeps = 20;
constexpr float kSqrtHalf = 0.70710677f;

void Copy(const Mat3 src, Mat3 dst) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) dst[i][j] = src[i][j];
}

void Transpose(const Mat3 src, Mat3 dst) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) dst[i][j] = src[j][i];
}

void SetIdentity(Mat3 m) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[i][j] = (i == j) ? 1.0f : 0.0f;
}

float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const float* a, const float* b, float* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// Rows of the adjoint transpose are cross products of the other two rows.
void AdjointTranspose(const Mat3 m, Mat3 out) {
  Cross(m[1], m[2], out[0]);
  Cross(m[2], m[0], out[1]);
  Cross(m[0], m[1], out[2]);
}

// Largest absolute row sum (rows) or column sum (!rows).
float Norm(const Mat3 m, bool columns) {
  float best = 0.0f;
  for (int i = 0; i < 3; ++i) {
    const float sum = columns ? std::fabs(m[0][i]) + std::fabs(m[1][i]) + std::fabs(m[2][i])
                              : std::fabs(m[i][0]) + std::fabs(m[i][1]) + std::fabs(m[i][2]);
    if (sum > best) best = sum;
  }
  return best;
}
float NormOne(const Mat3 m) { return Norm(m, true); }
float NormInf(const Mat3 m) { return Norm(m, false); }

// Column of the element with the largest magnitude, or -1 for a zero matrix.
int FindMaxColumn(const Mat3 m) {
  float best = 0.0f;
  int column = -1;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const float a = std::fabs(m[i][j]);
      if (a > best) {
        best = a;
        column = j;
      }
    }
  }
  return column;
}

// Householder vector u with (I - u u^T) v along the z axis.
void MakeReflector(const float* v, float* u) {
  float s = std::sqrt(Dot(v, v));
  u[0] = v[0];
  u[1] = v[1];
  u[2] = v[2] + (v[2] < 0.0f ? -s : s);
  const float uu = Dot(u, u);
  s = uu > 0.0f ? std::sqrt(2.0f / uu) : 0.0f;
  u[0] *= s;
  u[1] *= s;
  u[2] *= s;
}

// m = (I - u u^T) m
void ReflectColumns(Mat3 m, const float* u) {
  for (int i = 0; i < 3; ++i) {
    const float s = u[0] * m[0][i] + u[1] * m[1][i] + u[2] * m[2][i];
    for (int j = 0; j < 3; ++j) m[j][i] -= u[j] * s;
  }
}

// m = m (I - u u^T)
void ReflectRows(Mat3 m, const float* u) {
  for (int i = 0; i < 3; ++i) {
    const float s = Dot(u, m[i]);
    for (int j = 0; j < 3; ++j) m[i][j] -= u[j] * s;
  }
}

// Orthogonal factor of a matrix of rank 1 (or 0).
void DoRank1(Mat3 m, Mat3 q) {
  SetIdentity(q);
  const int column = FindMaxColumn(m);
  if (column < 0) return;  // rank 0
  float v1[3] = {m[0][column], m[1][column], m[2][column]};
  MakeReflector(v1, v1);
  ReflectColumns(m, v1);
  float v2[3] = {m[2][0], m[2][1], m[2][2]};
  MakeReflector(v2, v2);
  ReflectRows(m, v2);
  // Only the third axis carries the matrix; flip a null axis with it so q stays a
  // rotation rather than a reflection.
  if (m[2][2] < 0.0f) q[0][0] = q[2][2] = -1.0f;
  ReflectColumns(q, v1);
  ReflectRows(q, v2);
}

// Orthogonal factor of a matrix of rank 2 (falls to rank 1 when it is less).
void DoRank2(Mat3 m, const Mat3 madjT, Mat3 q) {
  const int column = FindMaxColumn(madjT);
  if (column < 0) {
    DoRank1(m, q);
    return;
  }
  float v1[3] = {madjT[0][column], madjT[1][column], madjT[2][column]};
  MakeReflector(v1, v1);
  ReflectColumns(m, v1);
  float v2[3];
  Cross(m[0], m[1], v2);
  MakeReflector(v2, v2);
  ReflectRows(m, v2);
  const float w = m[0][0], x = m[0][1], y = m[1][0], z = m[1][1];
  float c, s, d;
  if (w * z > x * y) {
    c = z + w;
    s = y - x;
    d = std::sqrt(c * c + s * s);
    c = d > 0.0f ? c / d : 1.0f;
    s = d > 0.0f ? s / d : 0.0f;
    q[0][0] = q[1][1] = c;
    q[1][0] = s;
    q[0][1] = -s;
  } else {
    c = z - w;
    s = y + x;
    d = std::sqrt(c * c + s * s);
    c = d > 0.0f ? c / d : 1.0f;
    s = d > 0.0f ? s / d : 0.0f;
    q[1][1] = c;
    q[0][0] = -c;
    q[0][1] = q[1][0] = s;
  }
  q[0][2] = q[2][0] = q[1][2] = q[2][1] = 0.0f;
  // The third axis is the null direction, free in sign: pick the one that keeps q
  // a rotation (the published step always takes +1, which leaves a reflection after
  // the 2x2 reflection branch, and a reflection has no quaternion).
  q[2][2] = (w * z > x * y) ? 1.0f : -1.0f;
  ReflectColumns(q, v1);
  ReflectRows(q, v2);
}

// a = q s with q orthogonal and s symmetric; returns the determinant of the last step.
float PolarDecompose(const Mat3 a, Mat3 q, Mat3 s) {
  Mat3 mk, madjTk, ek;
  Transpose(a, mk);
  float mOne = NormOne(mk);
  float mInf = NormInf(mk);
  float det = 0.0f;
  for (int iteration = 0; iteration < kMaxPolarIterations; ++iteration) {
    AdjointTranspose(mk, madjTk);
    det = Dot(mk[0], madjTk[0]);
    if (det == 0.0f) {
      Mat3 reduced;
      DoRank2(mk, madjTk, reduced);
      Copy(reduced, mk);
      break;
    }
    const float madjTOne = NormOne(madjTk);
    const float madjTInf = NormInf(madjTk);
    const float gamma =
        std::sqrt(std::sqrt((madjTOne * madjTInf) / (mOne * mInf)) / std::fabs(det));
    const float g1 = gamma * 0.5f;
    const float g2 = 0.5f / (gamma * det);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        ek[i][j] = mk[i][j];
        mk[i][j] = g1 * mk[i][j] + g2 * madjTk[i][j];
        ek[i][j] -= mk[i][j];
      }
    }
    const float eOne = NormOne(ek);
    mOne = NormOne(mk);
    mInf = NormInf(mk);
    if (!(eOne > mOne * kPolarTolerance)) break;
  }
  Transpose(mk, q);
  // s = q^T a, symmetrised.
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      s[i][j] = mk[i][0] * a[0][j] + mk[i][1] * a[1][j] + mk[i][2] * a[2][j];
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = i; j < 3; ++j) s[i][j] = s[j][i] = 0.5f * (s[i][j] + s[j][i]);
  }
  return det;
}

// Eigenvalues (returned in k) and eigenvectors (columns of u) of a symmetric matrix,
// by Jacobi rotations.
void SpectralDecompose(const Mat3 s, Mat3 u, float k[3]) {
  SetIdentity(u);
  float diag[3] = {s[0][0], s[1][1], s[2][2]};
  // offDiag[i] is the element that leaves out index i.
  float offDiag[3] = {s[1][2], s[2][0], s[0][1]};
  static constexpr int kNext[3] = {1, 2, 0};
  for (int sweep = 0; sweep < kMaxJacobiSweeps; ++sweep) {
    const float sum = std::fabs(offDiag[0]) + std::fabs(offDiag[1]) + std::fabs(offDiag[2]);
    if (!(sum != 0.0f)) break;
    for (int i = 2; i >= 0; --i) {
      const int p = kNext[i];
      const int q = kNext[p];
      const float absOffDiag = std::fabs(offDiag[i]);
      if (!(absOffDiag > 0.0f)) continue;
      const float h = diag[q] - diag[p];
      const float absH = std::fabs(h);
      if (absH + 100.0f * absOffDiag == absH) {
        // Negligible against the diagonal gap.
        offDiag[i] = 0.0f;
        continue;
      }
      const float theta = 0.5f * h / offDiag[i];
      float t = 1.0f / (std::fabs(theta) + std::sqrt(theta * theta + 1.0f));
      if (theta < 0.0f) t = -t;
      const float c = 1.0f / std::sqrt(t * t + 1.0f);
      const float sn = t * c;
      const float tau = sn / (c + 1.0f);
      const float ta = t * offDiag[i];
      offDiag[i] = 0.0f;
      diag[p] -= ta;
      diag[q] += ta;
      const float offDiagQ = offDiag[q];
      offDiag[q] -= sn * (offDiag[p] + tau * offDiag[q]);
      offDiag[p] += sn * (offDiagQ - tau * offDiag[p]);
      for (int j = 2; j >= 0; --j) {
        const float a = u[j][p];
        const float b = u[j][q];
        u[j][p] -= sn * (b + tau * a);
        u[j][q] += sn * (a - tau * b);
      }
    }
  }
  k[0] = diag[0];
  k[1] = diag[1];
  k[2] = diag[2];
}

// Quaternion of an orthonormal column-vector matrix.
Quaternion QuaternionFromColumnMatrix(const Mat3 m) {
  Quaternion q;
  const float trace = m[0][0] + m[1][1] + m[2][2];
  if (trace >= 0.0f) {
    float s = std::sqrt(trace + 1.0f);
    q.w = s * 0.5f;
    s = 0.5f / s;
    q.x = (m[2][1] - m[1][2]) * s;
    q.y = (m[0][2] - m[2][0]) * s;
    q.z = (m[1][0] - m[0][1]) * s;
    return q;
  }
  int h = 0;
  if (m[1][1] > m[0][0]) h = 1;
  if (m[2][2] > m[h][h]) h = 2;
  const int i = h;
  const int j = (h + 1) % 3;
  const int k = (h + 2) % 3;
  float s = std::sqrt((m[i][i] - (m[j][j] + m[k][k])) + 1.0f);
  float parts[3];
  parts[i] = s * 0.5f;
  s = s > 0.0f ? 0.5f / s : 0.0f;
  parts[j] = (m[i][j] + m[j][i]) * s;
  parts[k] = (m[k][i] + m[i][k]) * s;
  q.x = parts[0];
  q.y = parts[1];
  q.z = parts[2];
  q.w = (m[k][j] - m[j][k]) * s;
  return q;
}

void Swap(float* a, int i, int j) {
  const float t = a[i];
  a[i] = a[j];
  a[j] = t;
}

// Rotates a[0..2] by one place: forward (0 <- 1 <- 2 <- 0) or backward.
void Cycle(float* a, bool forward) {
  if (forward) {
    const float t = a[0];
    a[0] = a[1];
    a[1] = a[2];
    a[2] = t;
  } else {
    const float t = a[2];
    a[2] = a[1];
    a[1] = a[0];
    a[0] = t;
  }
}

float Signed(bool negative, float v) { return negative ? -v : v; }

// The quaternion p that, applied after q, brings the scale axes closest to the
// identity; permutes k to match.
Quaternion Snuggle(Quaternion q, float k[3]) {
  float ka[3] = {k[0], k[1], k[2]};
  int turn = -1;
  if (ka[0] == ka[1]) {
    turn = (ka[0] == ka[2]) ? 3 : 2;
  } else if (ka[0] == ka[2]) {
    turn = 1;
  } else if (ka[1] == ka[2]) {
    turn = 0;
  }

  Quaternion p;
  if (turn >= 0) {
    // Two or three equal factors: only the rotation about the odd axis matters.
    if (turn == 3) return q.Conjugate();
    Quaternion qtoz;
    if (turn == 0) {
      qtoz = Quaternion(0.0f, kSqrtHalf, 0.0f, kSqrtHalf);
      q = q * qtoz;
      Swap(ka, 0, 2);
    } else if (turn == 1) {
      qtoz = Quaternion(kSqrtHalf, 0.0f, 0.0f, kSqrtHalf);
      q = q * qtoz;
      Swap(ka, 1, 2);
    }
    q = q.Conjugate();
    float mag[3] = {q.z * q.z + q.w * q.w - 0.5f, q.x * q.z - q.y * q.w,
                    q.y * q.z + q.x * q.w};
    bool negative[3];
    for (int i = 0; i < 3; ++i) {
      negative[i] = mag[i] < 0.0f;
      if (negative[i]) mag[i] = -mag[i];
    }
    int win;
    if (mag[0] > mag[1]) {
      win = mag[0] > mag[2] ? 0 : 2;
    } else {
      win = mag[1] > mag[2] ? 1 : 2;
    }
    switch (win) {
      case 0:
        p = negative[0] ? Quaternion(1.0f, 0.0f, 0.0f, 0.0f) : Quaternion(0.0f, 0.0f, 0.0f, 1.0f);
        break;
      case 1:
        p = negative[1] ? Quaternion(0.5f, 0.5f, -0.5f, -0.5f) : Quaternion(0.5f, 0.5f, 0.5f, 0.5f);
        Cycle(ka, false);
        break;
      default:
        p = negative[2] ? Quaternion(-0.5f, 0.5f, -0.5f, -0.5f)
                        : Quaternion(0.5f, 0.5f, 0.5f, -0.5f);
        Cycle(ka, true);
        break;
    }
    const Quaternion qp = q * p;
    const float t = std::sqrt(mag[win] + 0.5f);
    p = p * Quaternion(0.0f, 0.0f, -qp.z / t, qp.w / t);
    p = qtoz * p.Conjugate();
  } else {
    float qa[4] = {q.x, q.y, q.z, q.w};
    float pa[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool negative[4];
    bool parity = false;
    for (int i = 0; i < 4; ++i) {
      negative[i] = qa[i] < 0.0f;
      if (negative[i]) qa[i] = -qa[i];
      parity ^= negative[i];
    }
    // Indices of the two largest components: hi the largest, lo the next.
    int lo = qa[0] > qa[1] ? 0 : 1;
    int hi = qa[2] > qa[3] ? 2 : 3;
    if (qa[lo] > qa[hi]) {
      if (qa[lo ^ 1] > qa[hi]) {
        hi = lo;
        lo ^= 1;
      } else {
        const int t = hi;
        hi = lo;
        lo = t;
      }
    } else if (qa[hi ^ 1] > qa[lo]) {
      lo = hi ^ 1;
    }
    const float all = (qa[0] + qa[1] + qa[2] + qa[3]) * 0.5f;
    const float two = (qa[hi] + qa[lo]) * kSqrtHalf;
    const float big = qa[hi];
    if (all > two) {
      if (all > big) {
        for (int i = 0; i < 4; ++i) pa[i] = Signed(negative[i], 0.5f);
        Cycle(ka, parity);
      } else {
        pa[hi] = Signed(negative[hi], 1.0f);
      }
    } else if (two > big) {
      pa[hi] = Signed(negative[hi], kSqrtHalf);
      pa[lo] = Signed(negative[lo], kSqrtHalf);
      if (lo > hi) {
        const int t = hi;
        hi = lo;
        lo = t;
      }
      if (hi == 3) {
        static constexpr int kNextAxis[3] = {1, 2, 0};
        hi = kNextAxis[lo];
        lo = 3 - hi - lo;
      }
      Swap(ka, hi, lo);
    } else {
      pa[hi] = Signed(negative[hi], 1.0f);
    }
    p = Quaternion(-pa[0], -pa[1], -pa[2], pa[3]);
  }
  k[0] = ka[0];
  k[1] = ka[1];
  k[2] = ka[2];
  return p;
}

}  // namespace

void MatrixDecomposition::Decompose(const Matrix& m) {
  rotation = Quaternion();
  scaleRotation = Quaternion();
  translation = Vector3(m.m16[12], m.m16[13], m.m16[14]);

  // Column-vector form of the 3x3 part.
  Mat3 a;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i][j] = m.m16[4 * j + i];

  Mat3 q, s;
  const float det = PolarDecompose(a, q, s);
  if (det < 0.0f) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) q[i][j] = -q[i][j];
    determinantSign = -1.0f;
  } else {
    determinantSign = 1.0f;
  }
  rotation = QuaternionFromColumnMatrix(q);

  Mat3 u;
  float k[3];
  SpectralDecompose(s, u, k);
  scaleRotation = QuaternionFromColumnMatrix(u);
  const Quaternion p = Snuggle(scaleRotation, k);
  scaleRotation = scaleRotation * p;
  scale = Vector3(k[0], k[1], k[2]) * determinantSign;
}

}  // namespace AnimCore
