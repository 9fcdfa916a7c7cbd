#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "engine/FloatSteps.h"
#include "engine/RayCaster.h"

namespace {

float Sequential(float x, float s, int64_t n) {
    for (int64_t i = 0; i < n; ++i)
        x += s;
    return x;
}

// Bit for bit, with every NaN counted as the same.
::testing::AssertionResult SameFloat(float a, float b) {
    if (std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b) ||
        (std::isnan(a) && std::isnan(b)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hexfloat << a << " vs " << b;
}

// Runs described by CFloatRuns, and how many of them could be described.
int g_nRunsBuilt = 0;
int g_nRunsTried = 0;

void ExpectSameAsSequential(float x, float s, int64_t n) {
    EXPECT_TRUE(SameFloat(AddRepeated(x, s, n), Sequential(x, s, n)))
        << std::hexfloat << "x " << x << " s " << s << " n " << n;
    // Every position of the run, looked up in increasing order with gaps.
    CFloatRuns runs;
    ++g_nRunsTried;
    if (!runs.Build(x, s, n))
        return;
    ++g_nRunsBuilt;
    float fSum = x;
    for (int64_t i = 0, nNext = 0; i <= n; ++i) {
        if (i == nNext || i == n) {
            ASSERT_TRUE(SameFloat(runs.At(i), fSum))
                << std::hexfloat << "x " << x << " s " << s << " i " << i << " of " << n;
            nNext += 1 + (i * 7919) % 97;
        }
        fSum += s;
    }
}

} // namespace

TEST(FloatStepsTest, RandomRunsMatchOneAdditionAtATime) {
    // (Steps as the casters make them are compared on whole rays with the
    // casters' tests.) Random magnitudes and run lengths, and long runs over
    // several binades.
    std::mt19937_64 rng64(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 100000; ++i) {
        const float x =
            static_cast<float>(unit(rng64) * std::ldexp(1.0, static_cast<int>(rng64() % 40) - 20));
        const float s =
            static_cast<float>(unit(rng64) * std::ldexp(1.0, static_cast<int>(rng64() % 50) - 35));
        ExpectSameAsSequential(x, s, static_cast<int64_t>(rng64() % 3000));
    }
    ExpectSameAsSequential(0.001f, 1.0e-6f, 1000000);
    ExpectSameAsSequential(1000.0f, -0.000731f, 1000000);
    // A ray's coordinates keep their sign and pass a few binades: such runs are
    // always described.
    for (int i = 0; i < 2000; ++i) {
        const double dStart = std::ldexp(unit(rng64), -static_cast<int>(rng64() % 12));
        const int64_t n = 1 + static_cast<int64_t>(rng64() % 1000);
        const float fStep = static_cast<float>(dStart * (1.0 + unit(rng64)) / n);
        const int nBuilt = g_nRunsBuilt;
        ExpectSameAsSequential(static_cast<float>(dStart), fStep, n);
        ASSERT_EQ(g_nRunsBuilt, nBuilt + 1) << std::hexfloat << dStart << " " << fStep << " " << n;
    }
}

TEST(FloatStepsTest, TiesBinadeEdgesAndSignChanges) {
    // s exactly halfway between two multiples of the spacing of x's binade: each
    // addition rounds to the even neighbour, so the increments alternate.
    const float u = std::ldexp(1.0f, -23); // spacing of [1, 2)
    for (const float fHalves : {0.5f, 1.5f, 2.5f, 7.5f}) {
        ExpectSameAsSequential(1.0f, fHalves * u, 1000);
        ExpectSameAsSequential(1.0f + u, fHalves * u, 1000);
        ExpectSameAsSequential(-1.5f, -fHalves * u, 1000);
        ExpectSameAsSequential(1.75f, -fHalves * u, 1000);
    }
    // Just beside a tie the increment is constant again.
    ExpectSameAsSequential(1.0f, std::nextafter(0.5f * u, 1.0f), 5000);
    ExpectSameAsSequential(1.0f, std::nextafter(0.5f * u, 0.0f), 5000);
    for (const float x : {1.0f, 2.0f, 0.5f, 1.9999999f, std::nextafter(2.0f, 0.0f), 4.0f, -1.0f,
                          -2.0f, std::ldexp(1.0f, -100), 3.0e38f}) {
        for (const float s :
             {1.0e-7f, -1.0e-7f, 0.1f, -0.1f, 0.3f, -3.0f, 1.0f / 3.0f, std::ldexp(1.0f, -24),
              -std::ldexp(1.0f, -24), std::ldexp(1.0f, -25), 1.0e30f}) {
            for (const int64_t n : {1, 7, 8, 9, 25, 100, 1000, 100000})
                ExpectSameAsSequential(x, s, n);
        }
    }
    // Walking down through zero and out the other side.
    ExpectSameAsSequential(1.0f, -0.001f, 3000);
    ExpectSameAsSequential(-0.75f, 0.0007f, 5000);
}

TEST(SpecularPowerTest, MatchesPowBitForBit) {
    auto expectSame = [](float f) {
        EXPECT_TRUE(
            SameFloat(SpecularPower(f), static_cast<float>(std::pow(static_cast<double>(f), 30.0))))
            << std::hexfloat << f;
    };
    // Every float in stretches of [0.5, 1] (where highlights are) and random
    // cosines over the whole range, a little beyond 1 for rounding.
    for (float f = 0.99f; f <= 1.0001f; f = std::nextafter(f, 2.0f))
        expectSame(f);
    for (float f = 0.7f; f < 0.7001f; f = std::nextafter(f, 2.0f))
        expectSame(f);
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> cosine(-1.01f, 1.01f);
    for (int i = 0; i < 1000000; ++i)
        expectSame(cosine(rng));
    for (const float f :
         {0.0f, -0.0f, 1.0f, -1.0f, 1.0e-12f, -1.0e-12f, 1.0e-10f, 0.05f, 2.0f, 1.0e11f,
          std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
          std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min()})
        expectSame(f);
    // Of all float mantissas, only this one's 30th power lies so close to a
    // float rounding tie that the shortcut defers to pow.
    for (const float f : {0x1.9ac9ap-1f, -0x1.9ac9ap-1f, 0x1.9ac9ap-2f})
        expectSame(f);
}
