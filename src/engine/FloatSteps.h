// Exact shortcuts for a ray's float position, which advances by adding the same
// step vector once per sample, each addition rounded to single precision. A
// sample that contributes nothing still moves the position by one such
// addition; these helpers give the position after many additions without doing
// them one by one, bit for bit as the additions would.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

// 2^e as a double, for -1022 <= e <= 1023.
inline double PowerOfTwo(int e) {
    return std::bit_cast<double>(static_cast<uint64_t>(e + 1023) << 52);
}

// A normal float x and a step s, seen from |x| (rounding is symmetric, so a
// negative x is handled as -x with -s): the binade [lo, hi] of |x| and its
// spacing u, all exact.
struct FloatBinade {
    bool bNegative;
    double X; // |x|
    double S; // s, negated for a negative x
    int e;    // |x| lies in [2^e, 2^(e+1))
    double lo, hi, u;
};
inline FloatBinade BinadeOf(float x, float s) {
    const float ax = std::fabs(x);
    const bool bNegative = x < 0.0f;
    const int e = static_cast<int>(std::bit_cast<uint32_t>(ax) >> 23) - 127;
    return {bNegative,
            ax,
            bNegative ? -static_cast<double>(s) : static_cast<double>(s),
            e,
            PowerOfTwo(e),
            PowerOfTwo(e + 1),
            PowerOfTwo(e - 23)};
}

// The result of adding s to x, nCount times in a row, in single precision with
// round-to-nearest-even: exactly what `for (i < nCount) x += s;` gives.
//
// Within one binade of x, [2^e, 2^(e+1)), every float is a multiple of the
// spacing u = 2^(e-23), and so is x. As long as each exact sum x + s stays in
// that closed binade, its rounding is x plus s rounded to a multiple of u; unless
// s lies exactly halfway between two multiples (then the tie goes to the even
// neighbour, which depends on x), that increment is the same for every addition.
// So a whole run of additions inside one binade is one exact multiplication; only
// the additions that leave a binade, meet a tie, or start at zero or a subnormal
// are done one by one.
float AddRepeated(float x, float s, int64_t nCount);

// The float positions x_0 .. x_last of one coordinate, x_0 = x and x_(i+1) =
// x_i + s in single precision, described by a few runs: within a run x_i grows
// by the same amount d (the exact sums stay in one binade; see AddRepeated), so
// x_i = base + (i - first) * d, exactly, in double. Where that does not hold (a
// tie from an odd x, zero or subnormal values) a run is one position long. A
// ray's coordinate grows in magnitude from its start to its end and passes only
// a few binades, so a few runs describe the whole ray, and any of its positions
// costs one multiplication.
class CFloatRuns {
public:
    static constexpr int MAX_RUNS = 24;

    // Describes x_0 .. x_nLast (nLast >= 0); false when that takes more than
    // MAX_RUNS runs (then nothing is described).
    bool Build(float x, float s, int64_t nLast) {
        Begin(x, s, nLast);
        while (!Step()) {
        }
        return !m_bFailed;
    }
    // Build in parts, so that several coordinates can be described side by
    // side: Begin, then Step until it returns true (done, or failed when
    // Failed() says so).
    void Begin(float x, float s, int64_t nLast) {
        m_nRuns = 0;
        m_nCursor = 0;
        m_bFailed = false;
        m_fNext = x;
        m_fStep = s;
        m_nNext = 0;
        m_nLast = nLast;
    }
    inline bool Step();
    bool Failed() const { return m_bFailed; }

    // x_i for 0 <= i <= nLast; i must not be less than in the call before (the
    // run it lies in is looked for from there on).
    float At(int64_t i) {
        while (m_First[m_nCursor + 1] <= i)
            ++m_nCursor;
        const double d = m_Step[m_nCursor];
        if (d == 0.0)
            return m_Base[m_nCursor]; // also keeps the sign of a zero
        return static_cast<float>(static_cast<double>(m_Base[m_nCursor]) +
                                  static_cast<double>(i - m_First[m_nCursor]) * d);
    }

private:
    void Add(int64_t nFirst, float fBase, double dStep) {
        m_First[m_nRuns] = nFirst;
        m_Base[m_nRuns] = fBase;
        m_Step[m_nRuns] = dStep;
        ++m_nRuns;
    }
    bool Finish() {
        m_First[m_nRuns] = INT64_MAX;
        return true;
    }
    // One position, then the next pass.
    bool Single(float x) {
        Add(m_nNext, x, 0.0);
        m_fNext = x + m_fStep;
        ++m_nNext;
        return false;
    }

    int64_t m_First[MAX_RUNS + 1]; // run r covers [m_First[r], m_First[r + 1])
    float m_Base[MAX_RUNS];
    double m_Step[MAX_RUNS];
    int m_nRuns = 0;
    int m_nCursor = 0;
    bool m_bFailed = false;
    // Where the next pass begins: position m_nNext, value m_fNext.
    float m_fNext = 0.0f;
    float m_fStep = 0.0f;
    int64_t m_nNext = 0;
    int64_t m_nLast = 0;
};

// One pass: describes the run that begins at the next position, as AddRepeated
// reasons, with the exact count of its additions.
bool CFloatRuns::Step() {
    if (m_nRuns >= MAX_RUNS - 1) {
        m_bFailed = true;
        return true;
    }
    const float x = m_fNext;
    const float s = m_fStep;
    const int64_t i = m_nNext;
    if (i >= m_nLast || !std::isfinite(x)) {
        // The last position, or an infinity or NaN, which a finite step leaves
        // as it is (an infinite or NaN step is dealt with below).
        if (i < m_nLast && !std::isfinite(s)) {
            Add(i, x, 0.0);
            Add(i + 1, x + s, 0.0);
            return Finish();
        }
        Add(i, x, 0.0);
        return Finish();
    }
    if (s == 0.0f || !std::isfinite(s)) {
        // One addition (it may change the sign of a zero, or make the sum
        // infinite or NaN); every later one leaves the sum as it is.
        Add(i, x, 0.0);
        Add(i + 1, x + s, 0.0);
        return Finish();
    }
    const float ax = std::fabs(x);
    if (ax < FLT_MIN)
        return Single(x); // zero or subnormal: one addition at a time
    const auto [bNegative, X, S, e, lo, hi, u] = BinadeOf(x, s);
    if (std::fabs(S) < 0.25 * u) {
        Add(i, x, 0.0); // every sum rounds back to x
        return Finish();
    }
    const double r = S * PowerOfTwo(23 - e); // S / u, exactly
    double d = std::nearbyint(r) * u;
    if (r - std::floor(r) == 0.5) {
        // A tie: each sum rounds to the neighbour with an even significand.
        // From an even x that is always the same one of the two, floor(r) or
        // floor(r) + 1 spacings on, whichever is even; an odd x takes one
        // addition to become even.
        if (std::bit_cast<uint32_t>(ax) & 1u)
            return Single(x);
        const double m = std::floor(r);
        d = (std::fmod(m, 2.0) == 0.0 ? m : m + 1.0) * u;
    }
    // Addition j (j = 1, 2, ...) gives X + j d as long as its exact sum
    // T0 + (j - 1) d lies in [lo, hi]. All these sums and products are exact in
    // double (multiples of a 2^-25 share of the spacing, below 2^(e + 2)).
    const double T0 = X + S;
    if (!(T0 >= lo && T0 <= hi))
        return Single(x);
    if (d == 0.0) {
        Add(i, x, 0.0); // every sum rounds back to x
        return Finish();
    }
    // The largest j - 1 whose sum stays in the binade: the quotient of the room
    // left and |d|, floored. A correctly rounded quotient is at most one above
    // the exact one's floor (an exact whole quotient comes out exactly), so one
    // check corrects it.
    double q = std::floor((d > 0.0 ? hi - T0 : T0 - lo) / std::fabs(d));
    const double dLastSum = T0 + q * d;
    if (dLastSum > hi || dLastSum < lo)
        q -= 1.0;
    const int64_t nLeft = m_nLast - i;
    const int64_t k = q + 1.0 >= static_cast<double>(nLeft) ? nLeft : static_cast<int64_t>(q) + 1;
    const double dSigned = bNegative ? -d : d;
    Add(i, x, dSigned);
    if (k >= nLeft)
        return Finish(); // the run reaches the last position
    // The next addition leaves the binade: the next run begins with its sum.
    const float fEnd =
        static_cast<float>(static_cast<double>(x) + static_cast<double>(k) * dSigned);
    m_fNext = fEnd + s;
    m_nNext = i + k + 1;
    return false;
}

// Describes the three coordinates of a ray's positions side by side (their
// passes interleaved, as they do not depend on each other). False when one of
// them takes too many runs.
inline bool BuildFloatRuns3(CFloatRuns* pRuns, const float* pStart, const float* pStep,
                            int64_t nLast) {
    for (int c = 0; c < 3; ++c)
        pRuns[c].Begin(pStart[c], pStep[c], nLast);
    bool bDone0 = false, bDone1 = false, bDone2 = false;
    while (!(bDone0 && bDone1 && bDone2)) {
        if (!bDone0)
            bDone0 = pRuns[0].Step();
        if (!bDone1)
            bDone1 = pRuns[1].Step();
        if (!bDone2)
            bDone2 = pRuns[2].Step();
    }
    return !pRuns[0].Failed() && !pRuns[1].Failed() && !pRuns[2].Failed();
}

// AddRepeated for the three components of a position. Short runs are added
// one by one, the three components side by side.
inline void AddRepeated3(float* pPosition, const float* pStep, int64_t nCount) {
    if (nCount <= 24) {
        float x = pPosition[0], y = pPosition[1], z = pPosition[2];
        for (int64_t i = 0; i < nCount; ++i) {
            x += pStep[0];
            y += pStep[1];
            z += pStep[2];
        }
        pPosition[0] = x;
        pPosition[1] = y;
        pPosition[2] = z;
        return;
    }
    pPosition[0] = AddRepeated(pPosition[0], pStep[0], nCount);
    pPosition[1] = AddRepeated(pPosition[1], pStep[1], nCount);
    pPosition[2] = AddRepeated(pPosition[2], pStep[2], nCount);
}
