// orvex-race-volume: writes the head phantom of the sample data at any grid size,
// for the race against VTK (the phantom's transfer function fits every size: the
// tissue values are the same). A target of bench/CMakeLists.txt (ORVEX_BUILD_RACE).
#include "_Phantom.h"
#include "_RenderOptions.h"

#include <cstdint>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    int nDim[3] = {0, 0, 0};
    bool bValid = argc == 5;
    for (int i = 0; bValid && i < 3; ++i)
        bValid = ParseWholeNumber(argv[2 + i], 1, INT16_MAX, nDim[i]);
    if (!bValid) {
        std::fprintf(stderr, "usage: orvex-race-volume OUT.dat DIMX DIMY DIMZ  (each 1..%d)\n",
                     INT16_MAX);
        return 1;
    }
    // The RAW format counts voxels in 32 bits.
    if (int64_t(nDim[0]) * nDim[1] * nDim[2] > INT32_MAX) {
        std::fprintf(stderr, "orvex-race-volume: %d x %d x %d voxels are too many\n", nDim[0],
                     nDim[1], nDim[2]);
        return 1;
    }
    if (!WriteRawDataset(argv[1], nDim[0], nDim[1], nDim[2],
                         MakeHeadPhantom(nDim[0], nDim[1], nDim[2]))) {
        std::fprintf(stderr, "orvex-race-volume: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
