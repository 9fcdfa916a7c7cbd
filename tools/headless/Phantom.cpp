#include "headless/Phantom.h"

#include "transfer/TransferFunction.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

struct Ellipsoid {
    int nValue;             // added to every voxel inside
    double a, b, c;         // semi-axes
    double x0, y0, z0;      // centre
    double phi, theta, psi; // Euler angles in degrees
};

// Geometry of the 3D Shepp-Logan phantom (Kak and Slaney's extension of the
// 2D head, as tabulated by Toft); the additive values give the tissue values
// declared in the header.
const Ellipsoid kEllipsoids[] = {
    {PHANTOM_SKULL, .6900, .920, .810, 0, 0, 0, 0, 0, 0},
    {PHANTOM_BRAIN - PHANTOM_SKULL, .6624, .874, .780, 0, -.0184, 0, 0, 0, 0},
    {PHANTOM_VENTRICLE - PHANTOM_BRAIN, .1100, .310, .220, .22, 0, 0, -18, 0, 10},
    {PHANTOM_VENTRICLE - PHANTOM_BRAIN, .1600, .410, .280, -.22, 0, 0, 18, 0, 10},
    {PHANTOM_UPPER_BLOB - PHANTOM_BRAIN, .2100, .250, .410, 0, .35, -.15, 0, 0, 0},
    {PHANTOM_SMALL_BLOBS - PHANTOM_BRAIN, .0460, .046, .050, 0, .1, .25, 0, 0, 0},
    {PHANTOM_SMALL_BLOBS - PHANTOM_BRAIN, .0460, .046, .050, 0, -.1, .25, 0, 0, 0},
    {PHANTOM_LOWER_BLOBS - PHANTOM_BRAIN, .0460, .023, .050, -.08, -.605, 0, 0, 0, 0},
    {PHANTOM_LOWER_BLOBS - PHANTOM_BRAIN, .0230, .023, .020, 0, -.606, 0, 0, 0, 0},
    {PHANTOM_LOWER_BLOBS - PHANTOM_BRAIN, .0230, .046, .020, .06, -.605, 0, 0, 0, 0},
};

// Grid coordinate of voxel centre i on an axis of n voxels, in -1..1.
double AxisCoordinate(int i, int n) {
    return (2.0 * i + 1.0) / n - 1.0;
}

} // namespace

std::vector<int16_t> MakeHeadPhantom(int nDimX, int nDimY, int nDimZ) {
    const size_t nCount = size_t(nDimX) * size_t(nDimY) * size_t(nDimZ);
    std::vector<int> sum(nCount, 0);
    const double kDegree = std::numbers::pi / 180.0;
    for (const Ellipsoid& e : kEllipsoids) {
        const double cphi = std::cos(e.phi * kDegree), sphi = std::sin(e.phi * kDegree);
        const double cth = std::cos(e.theta * kDegree), sth = std::sin(e.theta * kDegree);
        const double cpsi = std::cos(e.psi * kDegree), spsi = std::sin(e.psi * kDegree);
        // Rows of the rotation into the ellipsoid's own axes, each divided by the
        // semi-axis: q = m p, and the ellipsoid is |q| <= 1.
        const double r[3][3] = {
            {cpsi * cphi - cth * sphi * spsi, cpsi * sphi + cth * cphi * spsi, spsi * sth},
            {-spsi * cphi - cth * sphi * cpsi, -spsi * sphi + cth * cphi * cpsi, cpsi * sth},
            {sth * sphi, -sth * cphi, cth}};
        const double axes[3] = {e.a, e.b, e.c};
        double m[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] = r[i][j] / axes[i];
        for (int z = 0; z < nDimZ; ++z) {
            const double pz = AxisCoordinate(z, nDimZ) - e.z0;
            for (int y = 0; y < nDimY; ++y) {
                const double py = AxisCoordinate(y, nDimY) - e.y0;
                int* pRow = &sum[size_t(nDimX) * (size_t(y) + size_t(nDimY) * size_t(z))];
                for (int x = 0; x < nDimX; ++x) {
                    const double px = AxisCoordinate(x, nDimX) - e.x0;
                    const double q[3] = {m[0][0] * px + m[0][1] * py + m[0][2] * pz,
                                         m[1][0] * px + m[1][1] * py + m[1][2] * pz,
                                         m[2][0] * px + m[2][1] * py + m[2][2] * pz};
                    if (q[0] * q[0] + q[1] * q[1] + q[2] * q[2] <= 1.0)
                        pRow[x] += e.nValue;
                }
            }
        }
    }
    std::vector<int16_t> voxels(nCount);
    for (size_t i = 0; i < nCount; ++i)
        voxels[i] = int16_t(std::clamp(sum[i], 0, 4095));
    return voxels;
}

std::vector<int16_t> MakeWaveVolume(int nDim) {
    std::vector<int16_t> voxels(size_t(nDim) * size_t(nDim) * size_t(nDim));
    const double c = 0.5 * nDim;
    const double radius = 0.47 * nDim;
    size_t i = 0;
    for (int z = 0; z < nDim; ++z) {
        for (int y = 0; y < nDim; ++y) {
            for (int x = 0; x < nDim; ++x, ++i) {
                const double dx = x - c, dy = y - c, dz = z - c;
                const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
                if (d > radius) {
                    voxels[i] = 0;
                    continue;
                }
                const double w =
                    std::sin(x * 0.11) * std::sin(y * 0.07 + 1.0) * std::sin(z * 0.09 + 2.0) +
                    0.5 * std::cos(d * 0.21);
                voxels[i] = int16_t(std::clamp(2000.0 + 1330.0 * w, 0.0, 4000.0));
            }
        }
    }
    return voxels;
}

bool WriteRawDataset(const std::string& sPath, int nDimX, int nDimY, int nDimZ,
                     const std::vector<int16_t>& voxels) {
    FILE* f = std::fopen(sPath.c_str(), "wb");
    if (!f)
        return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(6 + 2 * voxels.size());
    auto put = [&](int16_t n) {
        const uint16_t u = uint16_t(n);
        bytes.push_back(uint8_t(u));
        bytes.push_back(uint8_t(u >> 8));
    };
    put(int16_t(nDimX));
    put(int16_t(nDimY));
    put(int16_t(nDimZ));
    for (int16_t v : voxels)
        put(v);
    const bool bWritten = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0) && bWritten;
}

void SetPhantomTransferFunction(CTransferFunction& tf) {
    tf.Clear();
    struct Point {
        int16_t nPosition;
        float r, g, b, a;
    };
    // Between two points colour and opacity change linearly. Each inner tissue
    // has an opaque band that ends at its value and starts transparent 200 below,
    // so the ramps that trilinear sampling finds across its faces take little of
    // the colour of the tissues below it.
    const float kIvory[3] = {1.00f, 0.94f, 0.82f};
    const float kBlue[3] = {0.30f, 0.55f, 1.00f};
    const float kGreen[3] = {0.30f, 1.00f, 0.35f};
    const float kYellow[3] = {1.00f, 0.85f, 0.20f};
    const float kRed[3] = {1.00f, 0.25f, 0.20f};
    const Point kPoints[] = {
        {PHANTOM_AIR, 0.0f, 0.0f, 0.0f, 0.0f}, // black air in slices
        {PHANTOM_AIR + 1, kIvory[0], kIvory[1], kIvory[2], 0.0f},
        {PHANTOM_BRAIN - 150, kIvory[0], kIvory[1], kIvory[2], 0.0f},
        {PHANTOM_BRAIN, 0.85f, 0.70f, 0.66f, 0.0f}, // transparent pink brain
        {PHANTOM_BRAIN + 150, kIvory[0], kIvory[1], kIvory[2], 0.0f},
        {1000, kIvory[0], kIvory[1], kIvory[2], 0.0f},
        {PHANTOM_SKULL, 1.00f, 0.96f, 0.88f, 0.6f}, // translucent skull
        {PHANTOM_VENTRICLE - 200, kBlue[0], kBlue[1], kBlue[2], 0.0f},
        {PHANTOM_VENTRICLE, kBlue[0], kBlue[1], kBlue[2], 1.0f},
        {PHANTOM_SMALL_BLOBS - 200, kGreen[0], kGreen[1], kGreen[2], 0.0f},
        {PHANTOM_SMALL_BLOBS, kGreen[0], kGreen[1], kGreen[2], 1.0f},
        {PHANTOM_UPPER_BLOB - 200, kYellow[0], kYellow[1], kYellow[2], 0.0f},
        {PHANTOM_UPPER_BLOB, kYellow[0], kYellow[1], kYellow[2], 1.0f},
        {PHANTOM_LOWER_BLOBS - 200, kRed[0], kRed[1], kRed[2], 0.0f},
        {PHANTOM_LOWER_BLOBS, kRed[0], kRed[1], kRed[2], 1.0f},
        {4095, kRed[0], kRed[1], kRed[2], 1.0f},
    };
    for (const Point& p : kPoints)
        tf.SetPoint(p.nPosition, p.r, p.g, p.b, p.a);
}
