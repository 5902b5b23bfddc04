#include "physics/mass_integrals.h"

#include <cmath>

namespace {

double ClampedVolume(double v) { return v < 0.001 ? 0.001 : v; }

}  // namespace

void phMassIntegrals::AddFace(const float* pts, int stride, int count)
{
    if (count < 3) {
        return;
    }
    auto at = [&](int i, int axis) { return static_cast<double>(pts[(i % count) * stride + axis]); };

    // Plane of the first three points, normalised.
    const double e1[3] = {at(1, 0) - at(0, 0), at(1, 1) - at(0, 1), at(1, 2) - at(0, 2)};
    const double e2[3] = {at(2, 0) - at(0, 0), at(2, 1) - at(0, 1), at(2, 2) - at(0, 2)};
    double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] + 1e-8);
    for (double& c : n) {
        c /= len;
    }
    const double w = -(n[0] * at(0, 0) + n[1] * at(0, 1) + n[2] * at(0, 2));

    const double ax = std::fabs(n[0]), ay = std::fabs(n[1]), az = std::fabs(n[2]);
    const int C = (ax > ay && ax > az) ? 0 : (ay > az ? 1 : 2);
    if (std::fabs(n[C]) < 1e-12) {
        return;
    }
    const int A = (C + 1) % 3;
    const int B = (A + 1) % 3;

    double P1 = 0, Pa = 0, Pb = 0, Paa = 0, Pab = 0, Pbb = 0, Paaa = 0, Paab = 0, Pabb = 0, Pbbb = 0;
    for (int i = 0; i < count; ++i) {
        const double a0 = at(i, A), b0 = at(i, B);
        const double a1 = at(i + 1, A), b1 = at(i + 1, B);
        const double da = a1 - a0, db = b1 - b0;
        const double a0_2 = a0 * a0, a0_3 = a0_2 * a0, a0_4 = a0_3 * a0;
        const double b0_2 = b0 * b0, b0_3 = b0_2 * b0, b0_4 = b0_3 * b0;
        const double a1_2 = a1 * a1, a1_3 = a1_2 * a1;
        const double b1_2 = b1 * b1, b1_3 = b1_2 * b1;

        const double C1 = a1 + a0;
        const double Ca = a1 * C1 + a0_2, Caa = a1 * Ca + a0_3, Caaa = a1 * Caa + a0_4;
        const double Cb = b1 * (b1 + b0) + b0_2, Cbb = b1 * Cb + b0_3, Cbbb = b1 * Cbb + b0_4;
        const double Cab = 3 * a1_2 + 2 * a1 * a0 + a0_2, Kab = a1_2 + 2 * a1 * a0 + 3 * a0_2;
        const double Caab = a0 * Cab + 4 * a1_3, Kaab = a1 * Kab + 4 * a0_3;
        const double Cabb = 4 * b1_3 + 3 * b1_2 * b0 + 2 * b1 * b0_2 + b0_3;
        const double Kabb = b1_3 + 2 * b1_2 * b0 + 3 * b1 * b0_2 + 4 * b0_3;

        P1 += db * C1;
        Pa += db * Ca;
        Paa += db * Caa;
        Paaa += db * Caaa;
        Pb += da * Cb;
        Pbb += da * Cbb;
        Pbbb += da * Cbbb;
        Pab += db * (b1 * Cab + b0 * Kab);
        Paab += db * (b1 * Caab + b0 * Kaab);
        Pabb += da * (a1 * Cabb + a0 * Kabb);
    }
    P1 /= 2.0;
    Pa /= 6.0;
    Paa /= 12.0;
    Paaa /= 20.0;
    Pb /= -6.0;
    Pbb /= -12.0;
    Pbbb /= -20.0;
    Pab /= 24.0;
    Paab /= 60.0;
    Pabb /= -60.0;

    const double k1 = 1.0 / n[C], k2 = k1 * k1, k3 = k2 * k1, k4 = k3 * k1;
    const double nA = n[A], nB = n[B];
    const double Fa = k1 * Pa;
    const double Fb = k1 * Pb;
    const double Fc = -k2 * (nA * Pa + nB * Pb + w * P1);
    const double Faa = k1 * Paa;
    const double Fbb = k1 * Pbb;
    const double Fcc = k3 * (nA * nA * Paa + 2 * nA * nB * Pab + nB * nB * Pbb + w * (2 * (nA * Pa + nB * Pb) + w * P1));
    const double Faaa = k1 * Paaa;
    const double Fbbb = k1 * Pbbb;
    const double Fccc = -k4 * (nA * nA * nA * Paaa + 3 * nA * nA * nB * Paab + 3 * nA * nB * nB * Pabb +
                               nB * nB * nB * Pbbb + 3 * w * (nA * nA * Paa + 2 * nA * nB * Pab + nB * nB * Pbb) +
                               w * w * (3 * (nA * Pa + nB * Pb) + w * P1));
    const double Faab = k1 * Paab;
    const double Fbbc = -k2 * (nA * Pabb + nB * Pbbb + w * Pbb);
    const double Fcca = k3 * (nA * nA * Paaa + 2 * nA * nB * Paab + nB * nB * Pabb + w * (2 * (nA * Paa + nB * Pab) + w * Pa));

    volume += n[0] * (A == 0 ? Fa : (B == 0 ? Fb : Fc));
    first[A] += nA * Faa;
    first[B] += nB * Fbb;
    first[C] += n[C] * Fcc;
    second[A] += nA * Faaa;
    second[B] += nB * Fbbb;
    second[C] += n[C] * Fccc;
    products[A] += nA * Faab;
    products[B] += nB * Fbbc;
    products[C] += n[C] * Fcca;
}

phVec4 phMassIntegrals::Centre() const
{
    const double s = 0.5 / ClampedVolume(volume);
    return {static_cast<float>(first[0] * s), static_cast<float>(first[1] * s), static_cast<float>(first[2] * s), 1.0f};
}

phVec4 phMassIntegrals::Inertia() const
{
    const double v = ClampedVolume(volume);
    const double c[3] = {first[0] * 0.5 / v, first[1] * 0.5 / v, first[2] * 0.5 / v};
    return {static_cast<float>((second[1] + second[2]) / (3.0 * v) - (c[1] * c[1] + c[2] * c[2])),
            static_cast<float>((second[0] + second[2]) / (3.0 * v) - (c[0] * c[0] + c[2] * c[2])),
            static_cast<float>((second[0] + second[1]) / (3.0 * v) - (c[0] * c[0] + c[1] * c[1])), 0.0f};
}
