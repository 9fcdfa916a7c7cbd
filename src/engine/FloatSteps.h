// Exact shortcuts for a ray's float position, which advances by adding the same
// step vector once per sample, each addition rounded to single precision. A
// sample that contributes nothing still moves the position by one such
// addition; these helpers give the position after many additions without doing
// them one by one, bit for bit as the additions would.
#pragma once

#include <cstdint>

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
