// Datasets and transfer functions for the tests of the parallel and skipping
// renderer: a small head phantom, volumes with empty space, flat plateaus and
// noise, and tables with transparent gaps.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "EngineTestSupport.h"
#include "headless/Phantom.h"
#include "transfer/TransferFunction.h"

// The sample head phantom at a small size.
inline std::unique_ptr<CVolume> MakeSmallPhantom(int nDimX, int nDimY, int nDimZ) {
    const std::vector<int16_t> voxels = MakeHeadPhantom(nDimX, nDimY, nDimZ);
    return MakeVolume(nDimX, nDimY, nDimZ, [&](int x, int y, int z) {
        return voxels[static_cast<size_t>(x + nDimX * (y + nDimY * z))];
    });
}

// Air (0) around a ball of plateaus and noisy blobs, with a few values below 0
// and above the table.
inline std::unique_ptr<CVolume> MakeRandomVolume(unsigned nSeed, int nDimX, int nDimY, int nDimZ) {
    std::mt19937 rng(nSeed);
    struct Blob {
        double x, y, z, r;
        int nValue, nNoise;
    };
    std::vector<Blob> blobs;
    for (int i = 0; i < 6; ++i) {
        std::uniform_real_distribution<double> unit(0.2, 0.8);
        blobs.push_back({unit(rng) * nDimX, unit(rng) * nDimY, unit(rng) * nDimZ,
                         (0.1 + 0.2 * unit(rng)) * std::min({nDimX, nDimY, nDimZ}),
                         std::uniform_int_distribution<int>(-200, 4600)(rng),
                         i % 3 == 0 ? 300 : 0});
    }
    return MakeVolume(nDimX, nDimY, nDimZ, [&](int x, int y, int z) {
        int nValue = 0;
        for (const Blob& b : blobs) {
            const double dx = x - b.x, dy = y - b.y, dz = z - b.z;
            if (dx * dx + dy * dy + dz * dz < b.r * b.r) {
                nValue = b.nValue;
                if (b.nNoise)
                    nValue += std::uniform_int_distribution<int>(0, b.nNoise)(rng);
            }
        }
        return static_cast<int16_t>(nValue);
    });
}

// The phantom's sample transfer function, built.
inline void UsePhantomTable(CTransferFunction& tf) {
    SetPhantomTransferFunction(tf);
    tf.BuildTable();
}

// A table of random colours whose opacity is zero over random stretches (and
// always at 0, the air).
inline void UseGappyTable(CTransferFunction& tf, unsigned nSeed) {
    std::mt19937 rng(nSeed);
    bool bOpaque = false;
    for (int i = 0; i < TABLE_SIZE; ++i) {
        if (rng() % 97 == 0)
            bOpaque = !bOpaque;
        const float fOpacity = bOpaque && i > 0 ? (0.5f + (rng() % 100) * 0.01f) / 3547.5f : 0.0f;
        tf.m_Table[i] = TableEntry{static_cast<float>(rng() % 256), static_cast<float>(rng() % 256),
                                   static_cast<float>(rng() % 256), fOpacity};
    }
}
