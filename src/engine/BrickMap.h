// Empty-space skipping: the value range of every brick of voxels (kept per
// dataset), and per run a map of the bricks whose samples cannot contribute to a
// pixel with the current transfer function, compositing type, sampling and
// thresholds, together with how far the space around each such brick is just as
// empty. The casters skip the samples that fall into that space, and only those,
// so every pixel stays bit for bit what the full march gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CVolume;
class CTransferFunction;

// Bricks of 8 x 8 x 8 voxel cells. Cell (i, j, k) is the unit cube from voxel
// (i, j, k) to (i + 1, j + 1, k + 1), whose eight corners the trilinear sampler
// reads; it holds every position whose coordinates truncate to (i, j, k).
constexpr int BRICK_SHIFT = 3;
constexpr int BRICK_SIZE = 1 << BRICK_SHIFT;

struct BrickRange {
    int16_t nMin;
    int16_t nMax;
};

// The value ranges of a volume's bricks, and whether their shading has no
// gradient to work with.
class CBrickRanges {
public:
    // Computes everything from the volume's voxels and gradients. Asks bStopped()
    // between slabs of bricks and gives up when it says so: false then, and the
    // ranges are for no dataset.
    bool Build(const CVolume& volume, const std::function<bool()>& bStopped = {});
    // The same in parts, for several threads: Prepare, then BuildSlab for every
    // bz in 0 .. m_nBricksZ - 1 (any order, any thread, each once), then Finish.
    void Prepare(const CVolume& volume);
    void BuildSlab(const CVolume& volume, int bz);
    void Finish(const CVolume& volume);
    // Whether the ranges were built from exactly this dataset (its object and its
    // contents, told by the volume's content serial).
    bool IsFor(const CVolume& volume) const;
    // A number that no other build of ranges has (of any object); 0 while the
    // ranges are for no dataset (being built, or set by hand).
    uint64_t BuildNumber() const { return m_nBuildNumber; }
    int Index(int bx, int by, int bz) const { return bx + m_nBricksX * (by + m_nBricksY * bz); }

    int m_nBricksX = 0;
    int m_nBricksY = 0;
    int m_nBricksZ = 0;
    // Over the brick's own voxels: the value a nearest-neighbour sample reads.
    std::vector<BrickRange> m_Own;
    // Over the brick's voxels and the next voxel beyond it on each axis: every
    // corner of the brick's cells, between which a trilinear value lies.
    std::vector<BrickRange> m_Apron;
    // 1 when every voxel of the brick has a zero gradient (all its differences
    // are 0): a nearest-neighbour Levoy sample there has opacity 0.
    std::vector<uint8_t> m_OwnFlat;
    // 1 when every difference of the brick's voxels and the next voxel beyond
    // on each axis is zero: a trilinear gradient there is zero, and so is
    // the opacity of a trilinear Levoy sample.
    std::vector<uint8_t> m_ApronFlat;

private:
    const CVolume* m_pVolume = nullptr;
    uint64_t m_nSerial = 0;
    uint64_t m_nBuildNumber = 0;
};

// Which casts a skip map was made for.
struct SkipKey {
    int32_t nType = -1;
    int32_t nInterpolation = -1;
    int32_t nLowerThreshold = 0;
    int32_t nUpperThreshold = 0;
    bool operator==(const SkipKey&) const = default;
};

// For every brick: 0 when a sample in it may contribute; otherwise the
// chessboard distance, in bricks, to the nearest brick that may contribute
// (capped at SKIP_DISTANCE_CAP). Space outside the volume contributes nothing. So
// for a distance D every brick within D - 1 bricks of this one on each axis is
// empty, and the cells [8 (b - D + 1), 8 (b + D)) on each axis hold no sample
// that contributes.
class CSkipMap {
public:
    static constexpr int SKIP_DISTANCE_CAP = 255;

    // Levoy: a brick is empty when every value its samples can take maps to
    // opacity 0 (nearest neighbour: its own voxels; trilinear: between the
    // corners of its cells, and one less than a positive minimum or one more
    // than a negative maximum for the rounding of the interpolation and its
    // truncation), or when its samples have no gradient.
    void BuildLevoy(const CBrickRanges& ranges, const CTransferFunction& tf, int nInterpolation);
    // First Hit: a brick is empty when no value its samples can take lies strictly
    // between the thresholds.
    void BuildFirstHit(const CBrickRanges& ranges, int nInterpolation, int32_t nLower,
                       int32_t nUpper);
    // X-Ray: a brick is empty when all its voxels are 0 (adding a zero changes no
    // sum).
    void BuildXRay(const CBrickRanges& ranges);

    uint8_t Distance(int bx, int by, int bz) const {
        return m_Distance[static_cast<size_t>(bx + m_nBricksX * (by + m_nBricksY * bz))];
    }
    // The distances, brick (bx, by, bz) at bx + nBricksX * (by + nBricksY * bz).
    const uint8_t* Distances() const { return m_Distance.data(); }
    // Number of bricks that may contribute.
    int SolidBricks() const { return m_nSolid; }
    // Whether the map has the brick grid of a volume of these dimensions.
    bool Fits(int nDimX, int nDimY, int nDimZ) const;

    SkipKey m_Key;
    int m_nBricksX = 0;
    int m_nBricksY = 0;
    int m_nBricksZ = 0;

private:
    // Turns the per-brick emptiness in m_Distance (0 solid, cap empty) into the
    // distances.
    void ComputeDistances();
    void Resize(const CBrickRanges& ranges);
    // Whether the map already holds what a build from these ranges for this key
    // and table gives (nOpaque: the counts of nonzero opacities that Levoy's rule
    // reads; empty for the other types), so that a run with the settings of the
    // last one need not make it again. Otherwise notes them for the next build.
    bool Holds(const CBrickRanges& ranges, const SkipKey& key, std::vector<int>&& nOpaque);

    std::vector<uint8_t> m_Distance;
    int m_nSolid = 0;
    uint64_t m_nRangesBuild = 0; // 0: made from ranges of no dataset, never reused
    std::vector<int> m_nOpaque;
};
