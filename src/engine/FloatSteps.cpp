#include "engine/FloatSteps.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace {

// Runs this short are added one by one: cheaper than the reasoning below.
constexpr int64_t SHORT_RUN = 8;

} // namespace

float AddRepeated(float x, float s, int64_t nCount) {
    while (nCount > 0) {
        if (nCount <= SHORT_RUN) {
            for (; nCount > 0; --nCount)
                x += s;
            return x;
        }
        if (!std::isfinite(x) || !std::isfinite(s)) {
            // An infinity or NaN, once in the sum, stays what it is.
            x += s;
            return x;
        }
        if (s == 0.0f) {
            // Adding a zero changes at most the sign of a zero x, and only once.
            x += s;
            return x;
        }
        const float ax = std::fabs(x);
        if (ax < FLT_MIN) {
            // Zero or subnormal: one addition at a time.
            x += s;
            --nCount;
            continue;
        }
        const auto [bNegative, X, S, e, lo, hi, u] = BinadeOf(x, s);

        // Closer to X than a quarter spacing: every sum rounds back to X, whose
        // neighbours are at least half a spacing away.
        if (std::fabs(S) < 0.25 * u)
            return x;
        const double r = S / u; // exact: a power-of-two scaling
        const double rFloor = std::floor(r);
        if (r - rFloor == 0.5) {
            // A tie goes to the even neighbour: decided by x itself.
            x += s;
            --nCount;
            continue;
        }
        const double d = std::nearbyint(r) * u; // the increment of every addition
        // The exact sums X + k * d + S (k = 0, 1, ...) must stay within [lo, hi].
        // X + S is exact here: S is no smaller than a quarter spacing.
        const double T0 = X + S;
        double q; // how many additions surely keep their sums in the binade
        if (d == 0.0) {
            if (T0 >= lo && T0 <= hi)
                return x; // every sum rounds back to x
            q = 0.0;
        } else if (d > 0.0) {
            q = T0 >= lo ? std::floor((hi - T0) / d) : 0.0;
        } else {
            q = T0 <= hi ? std::floor((T0 - lo) / -d) : 0.0;
        }
        // floor(quotient) is one fewer than the additions that fit, which leaves
        // room for the rounding of the division.
        if (q < 1.0) {
            x += s;
            --nCount;
            continue;
        }
        const int64_t k = q >= static_cast<double>(nCount) ? nCount : static_cast<int64_t>(q);
        // Exact: X + k * d is a multiple of u within [lo, hi].
        const float fResult = static_cast<float>(X + static_cast<double>(k) * d);
        x = bNegative ? -fResult : fResult;
        nCount -= k;
    }
    return x;
}
