// orvex-phantom: writes the sample data into a folder: phantom.dat, the 3D
// Shepp-Logan head phantom (256 x 256 x 113 voxels, values 0..4095), and
// default.trf, a transfer function that shows its structures.
#include "headless/Phantom.h"

#include "transfer/TransferFunction.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvex-phantom OUTDIR\n");
        return 1;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "orvex-phantom: cannot create '%s': %s\n", dir.c_str(),
                     error.message().c_str());
        return 1;
    }
    const std::string sDataset = (dir / "phantom.dat").string();
    const std::string sTable = (dir / "default.trf").string();
    if (!WriteRawDataset(sDataset, PHANTOM_DIM_X, PHANTOM_DIM_Y, PHANTOM_DIM_Z,
                         MakeHeadPhantom(PHANTOM_DIM_X, PHANTOM_DIM_Y, PHANTOM_DIM_Z))) {
        std::fprintf(stderr, "orvex-phantom: cannot write '%s'\n", sDataset.c_str());
        return 1;
    }
    CTransferFunction tf;
    SetPhantomTransferFunction(tf);
    if (tf.Save(sTable) != 0) {
        std::fprintf(stderr, "orvex-phantom: cannot write '%s'\n", sTable.c_str());
        return 1;
    }
    return 0;
}
