// orvex-race-volume: the datasets of the race against VTK. As RAW datasets, which
// both renderers read alike: the head phantom of the sample data at any grid
// size (the phantom's transfer function fits every size: the tissue values are
// the same), or a volume file of another kind (a NIfTI scan, say) as the import
// layer opens it: its voxels as Orvex holds them. And a CT-like scan as a NIfTI
// file, for the import and for VTK's NIfTI reader. A target of
// bench/CMakeLists.txt (ORVEX_BUILD_RACE).
#include "headless/Phantom.h"
#include "headless/RenderOptions.h"

#include "volume/Import.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: orvex-race-volume OUT.dat DIMX DIMY DIMZ  (each 1..%d)\n"
                 "       orvex-race-volume OUT.dat --import FILE\n"
                 "       orvex-race-volume OUT.nii --ct DIMX DIMY DIMZ\n",
                 INT16_MAX);
    return 1;
}

int WriteOrFail(const std::string& sPath, int nDimX, int nDimY, int nDimZ,
                const std::vector<int16_t>& voxels) {
    if (!WriteRawDataset(sPath, nDimX, nDimY, nDimZ, voxels)) {
        std::fprintf(stderr, "orvex-race-volume: cannot write '%s'\n", sPath.c_str());
        return 1;
    }
    return 0;
}

// A CT-like scan in Hounsfield units, as a scanner stores it (12 bits, -1024 to
// 3071): outside the round field of view the padding -1024; inside it air, a
// body of soft tissue under a layer of fat, a bone shell, two lungs, a spine, a
// metal clip that saturates at 3071, and on every voxel inside the field of view
// noise of +-30 (a fixed sequence, so that every run makes the same scan). The
// full 12-bit range makes the import's value mapping the usual HU + 1024.
std::vector<int16_t> MakeCtScan(int nDimX, int nDimY, int nDimZ) {
    std::vector<int16_t> voxels(size_t(nDimX) * nDimY * nDimZ);
    uint32_t nSeed = 12345;
    size_t i = 0;
    for (int z = 0; z < nDimZ; ++z) {
        const double dz = (z + 0.5) / nDimZ * 2.0 - 1.0;
        for (int y = 0; y < nDimY; ++y) {
            const double dy = (y + 0.5) / nDimY * 2.0 - 1.0;
            for (int x = 0; x < nDimX; ++x, ++i) {
                const double dx = (x + 0.5) / nDimX * 2.0 - 1.0;
                if (dx * dx + dy * dy > 1.0) {
                    voxels[i] = -1024;
                    continue;
                }
                auto radius2 = [&](double cx, double cy, double cz, double rx, double ry,
                                   double rz) {
                    const double ex = (dx - cx) / rx, ey = (dy - cy) / ry, ez = (dz - cz) / rz;
                    return ex * ex + ey * ey + ez * ez;
                };
                const double dBody = radius2(0, 0, 0, 0.9, 0.75, 0.95);
                double dHu = -1000;
                if (dBody < 1.0) {
                    dHu = dBody > 0.88 ? -100 : 40;
                    if (dBody > 0.74 && dBody < 0.8)
                        dHu = 1000;
                    if (radius2(-0.32, 0.0, 0.1, 0.22, 0.35, 0.5) < 1.0 ||
                        radius2(0.32, 0.0, 0.1, 0.22, 0.35, 0.5) < 1.0)
                        dHu = -700;
                    const double sx = dx / 0.09, sy = (dy - 0.5) / 0.09;
                    if (sx * sx + sy * sy < 1.0)
                        dHu = sx * sx + sy * sy > 0.5 ? 1200 : 300;
                    if (std::abs(dx - 0.45) < 0.02 && std::abs(dy + 0.1) < 0.02 &&
                        std::abs(dz - 0.2) < 0.05)
                        dHu = 3071;
                }
                nSeed = nSeed * 1664525u + 1013904223u;
                dHu += static_cast<int>((nSeed >> 16) % 61) - 30;
                voxels[i] = static_cast<int16_t>(std::clamp(dHu, -1024.0, 3071.0));
            }
        }
    }
    return voxels;
}

// Writes int16 voxels as a single-file NIfTI-1 scan of 1 mm cubic voxels whose
// axes run as the patient frame LPS (the import reorders nothing).
int WriteNifti(const std::string& sPath, int nDimX, int nDimY, int nDimZ,
               const std::vector<int16_t>& voxels) {
    unsigned char header[352] = {};
    auto put = [&](size_t nOffset, auto value) {
        std::memcpy(header + nOffset, &value, sizeof value);
    };
    put(0, int32_t(348));
    const int16_t dim[8] = {3, int16_t(nDimX), int16_t(nDimY), int16_t(nDimZ), 1, 1, 1, 1};
    std::memcpy(header + 40, dim, sizeof dim);
    put(70, int16_t(4)); // int16
    put(72, int16_t(16));
    const float pixdim[4] = {1.0f, 1.0f, 1.0f, 1.0f}; // qfac, spacing
    std::memcpy(header + 76, pixdim, sizeof pixdim);
    put(108, 352.0f);     // voxel offset
    put(112, 1.0f);       // scale
    header[123] = 10;     // millimetres, seconds
    put(252, int16_t(1)); // qform: scanner frame
    // The quaternion of a half turn about z: the file's i and j run towards the
    // patient's left and back (NIfTI's frame is RAS).
    put(256, 0.0f);
    put(260, 0.0f);
    put(264, 1.0f);
    std::memcpy(header + 344, "n+1", 4);
    FILE* pFile = std::fopen(sPath.c_str(), "wb");
    const bool bOk =
        pFile && std::fwrite(header, sizeof header, 1, pFile) == 1 &&
        std::fwrite(voxels.data(), sizeof(int16_t), voxels.size(), pFile) == voxels.size();
    if (!(pFile && std::fclose(pFile) == 0 && bOk)) {
        std::fprintf(stderr, "orvex-race-volume: cannot write '%s'\n", sPath.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[2]) == "--import") {
        const ImportResult result = ImportVolume(argv[3]);
        if (result.eStatus != IMPORT_OK) {
            std::fprintf(stderr, "orvex-race-volume: %s\n", result.sError.c_str());
            return 1;
        }
        const CVolume& volume = *result.pVolume;
        const double* s = volume.m_dSpacing;
        if (!(s[0] == s[1] && s[1] == s[2]))
            std::fprintf(stderr,
                         "orvex-race-volume: note: the voxels are not cubic (%g x %g x %g); the "
                         "RAW dataset has cubic voxels\n",
                         s[0], s[1], s[2]);
        return WriteOrFail(
            argv[1], volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ,
            std::vector<int16_t>(volume.m_pVoxels, volume.m_pVoxels + volume.m_nVoxelCount));
    }
    const bool bCt = argc == 6 && std::string(argv[2]) == "--ct";
    int nDim[3] = {0, 0, 0};
    bool bValid = argc == 5 || bCt;
    for (int i = 0; bValid && i < 3; ++i)
        bValid = ParseWholeNumber(argv[argc - 3 + i], 1, INT16_MAX, nDim[i]);
    if (!bValid)
        return Usage();
    // The RAW format counts voxels in 32 bits.
    if (int64_t(nDim[0]) * nDim[1] * nDim[2] > INT32_MAX) {
        std::fprintf(stderr, "orvex-race-volume: %d x %d x %d voxels are too many\n", nDim[0],
                     nDim[1], nDim[2]);
        return 1;
    }
    if (bCt)
        return WriteNifti(argv[1], nDim[0], nDim[1], nDim[2],
                          MakeCtScan(nDim[0], nDim[1], nDim[2]));
    return WriteOrFail(argv[1], nDim[0], nDim[1], nDim[2],
                       MakeHeadPhantom(nDim[0], nDim[1], nDim[2]));
}
