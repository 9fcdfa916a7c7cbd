// orvex-race-volume: the datasets of the race against VTK as RAW datasets, which
// both renderers read alike. Either the head phantom of the sample data at any
// grid size (the phantom's transfer function fits every size: the tissue values
// are the same), or a volume file of another kind (a NIfTI scan, say) as the
// import layer opens it: its voxels as Orvex holds them. A target of
// bench/CMakeLists.txt (ORVEX_BUILD_RACE).
#include "headless/Phantom.h"
#include "headless/RenderOptions.h"

#include "volume/Import.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: orvex-race-volume OUT.dat DIMX DIMY DIMZ  (each 1..%d)\n"
                 "       orvex-race-volume OUT.dat --import FILE\n",
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
    int nDim[3] = {0, 0, 0};
    bool bValid = argc == 5;
    for (int i = 0; bValid && i < 3; ++i)
        bValid = ParseWholeNumber(argv[2 + i], 1, INT16_MAX, nDim[i]);
    if (!bValid)
        return Usage();
    // The RAW format counts voxels in 32 bits.
    if (int64_t(nDim[0]) * nDim[1] * nDim[2] > INT32_MAX) {
        std::fprintf(stderr, "orvex-race-volume: %d x %d x %d voxels are too many\n", nDim[0],
                     nDim[1], nDim[2]);
        return 1;
    }
    return WriteOrFail(argv[1], nDim[0], nDim[1], nDim[2],
                       MakeHeadPhantom(nDim[0], nDim[1], nDim[2]));
}
