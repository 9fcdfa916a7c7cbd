// Speed of the dataset: loading (read, gradients, histogram) of a volume the size
// of the sample data, and the samplers the ray casters call per sample.
// Usage: volume_bench [dimX dimY dimZ] [samples]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "volume/Volume.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    int nDim[3] = {256, 256, 112};
    long nSamples = 20000000;
    if (argc >= 4)
        for (int i = 0; i < 3; ++i)
            nDim[i] = std::atoi(argv[1 + i]);
    if (argc >= 5)
        nSamples = std::atol(argv[4]);

    const std::string sPath = (std::filesystem::temp_directory_path() /
                               ("orvex-volume-bench-" + std::to_string(getpid()) + ".dat"))
                                  .string();
    {
        std::FILE* pFile = std::fopen(sPath.c_str(), "wb");
        if (!pFile)
            return 1;
        const int16_t header[3] = {static_cast<int16_t>(nDim[0]), static_cast<int16_t>(nDim[1]),
                                   static_cast<int16_t>(nDim[2])};
        std::fwrite(header, 2, 3, pFile);
        std::vector<int16_t> row(nDim[0]);
        for (int z = 0; z < nDim[2]; ++z)
            for (int y = 0; y < nDim[1]; ++y) {
                for (int x = 0; x < nDim[0]; ++x)
                    row[x] = static_cast<int16_t>((x * 7 + y * 13 + z * 29 + x * y / 5) & 4095);
                std::fwrite(row.data(), 2, row.size(), pFile);
            }
        std::fclose(pFile);
    }

    auto t0 = std::chrono::steady_clock::now();
    CVolume volume(sPath);
    const double dLoad = Seconds(t0);
    std::filesystem::remove(sPath);
    if (volume.GetLoadError() != RAW_OK) {
        std::printf("load failed: %s\n", CVolume::LoadErrorText(volume.GetLoadError()));
        return 1;
    }
    std::printf("load %d x %d x %d (%d voxels): %.3f s (%.1f ns/voxel)\n", nDim[0], nDim[1],
                nDim[2], volume.m_nVoxelCount, dLoad, dLoad * 1e9 / volume.m_nVoxelCount);

    // Positions along a slanted line through the interior, as a ray would visit them.
    const float fx = 1.0f, fy = 1.0f, fz = 1.0f;
    const float sx = static_cast<float>(nDim[0] - 3) / 997.0f;
    const float sy = static_cast<float>(nDim[1] - 3) / 1009.0f;
    const float sz = static_cast<float>(nDim[2] - 3) / 1013.0f;
    auto position = [&](long i, float& x, float& y, float& z) {
        x = fx + sx * static_cast<float>(i % 997) + 0.37f;
        y = fy + sy * static_cast<float>(i % 1009) + 0.21f;
        z = fz + sz * static_cast<float>(i % 1013) + 0.53f;
    };

    double dSum = 0;
    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < nSamples; ++i) {
        float x, y, z;
        position(i, x, y, z);
        dSum += volume.SampleTrilinear(x, y, z);
    }
    double dTime = Seconds(t0);
    std::printf("SampleTrilinear: %.2f ns/sample\n", dTime * 1e9 / nSamples);

    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < nSamples; ++i) {
        float x, y, z, g[3];
        position(i, x, y, z);
        dSum += volume.GradientTrilinear(x, y, z, g)[1];
    }
    dTime = Seconds(t0);
    std::printf("GradientTrilinear: %.2f ns/sample\n", dTime * 1e9 / nSamples);

    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < nSamples; ++i) {
        float x, y, z;
        position(i, x, y, z);
        dSum += volume.SampleBilinear(x, y, static_cast<int>(z));
    }
    dTime = Seconds(t0);
    std::printf("SampleBilinear: %.2f ns/sample\n", dTime * 1e9 / nSamples);

    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < nSamples; ++i) {
        float x, y, z;
        position(i, x, y, z);
        dSum += volume.VoxelAt(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z));
    }
    dTime = Seconds(t0);
    std::printf("VoxelAt: %.2f ns/sample\n", dTime * 1e9 / nSamples);
    std::printf("(checksum %.1f)\n", dSum);
    return 0;
}
