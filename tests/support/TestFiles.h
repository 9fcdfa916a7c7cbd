// Files for the tests: a scratch folder per test, whole-file reads and writes, a
// limit on the size of written files, the bytes of RAW datasets and
// little-endian values, datasets read back from such bytes, the worker's
// lines on the debug channel, and the box of a picture's lit pixels.
#pragma once

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "volume/Volume.h"

namespace testfiles {

// A fresh folder under the system's temporary directory (or under another
// folder), removed at the end.
class ScratchDir {
public:
    explicit ScratchDir(
        const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        static int s_nCount = 0;
        m_Dir =
            base / ("orvex-test-" + std::to_string(getpid()) + "-" + std::to_string(++s_nCount));
        std::filesystem::remove_all(m_Dir);
        std::filesystem::create_directories(m_Dir);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Dir, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string Path(const std::string& sName = "") const { return (m_Dir / sName).string(); }
    // Writes the bytes to the named file and returns its path.
    std::string Write(const std::string& sName, const std::string& sBytes) const;

private:
    std::filesystem::path m_Dir;
};

inline std::string ReadFile(const std::string& sPath) {
    std::ifstream in(sPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& sPath, const std::string& sBytes) {
    std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
    out.write(sBytes.data(), static_cast<std::streamsize>(sBytes.size()));
}

inline std::string ScratchDir::Write(const std::string& sName, const std::string& sBytes) const {
    WriteFile(Path(sName), sBytes);
    return Path(sName);
}

// Limits the size of the files this process (and its children) write, with
// SIGXFSZ ignored, while alive: a write beyond the limit fails.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t nBytes) {
        getrlimit(RLIMIT_FSIZE, &m_Old);
        rlimit limit = m_Old;
        limit.rlim_cur = nBytes;
        m_bActive = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_Old);
        std::signal(SIGXFSZ, m_pOldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    void (*m_pOldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit m_Old{};
    bool m_bActive = false;
};

// The little-endian bytes of a 16-bit value, or of a 32-bit word.
inline std::string Le16(int n) {
    const auto u = static_cast<uint16_t>(n);
    return std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}
inline std::string Le32(uint32_t n) {
    return Le16(static_cast<int>(n & 0xFFFF)) + Le16(static_cast<int>(n >> 16));
}
inline std::string LeFloat(float f) {
    uint32_t n;
    std::memcpy(&n, &f, 4);
    return Le32(n);
}

// A RAW dataset: the three dimensions, then the values (x fastest).
inline std::string RawBytes(int nDimX, int nDimY, int nDimZ, const std::vector<int16_t>& values) {
    std::string s = Le16(nDimX) + Le16(nDimY) + Le16(nDimZ);
    for (int16_t v : values)
        s += Le16(v);
    return s;
}

// The values of a dimX x dimY x dimZ grid whose value at (x, y, z) is f(x, y, z).
template <class F> std::vector<int16_t> Field(int nDimX, int nDimY, int nDimZ, F f) {
    std::vector<int16_t> values;
    for (int z = 0; z < nDimZ; ++z)
        for (int y = 0; y < nDimY; ++y)
            for (int x = 0; x < nDimX; ++x)
                values.push_back(static_cast<int16_t>(f(x, y, z)));
    return values;
}
template <class F> std::string FieldBytes(int nDimX, int nDimY, int nDimZ, F f) {
    return RawBytes(nDimX, nDimY, nDimZ, Field(nDimX, nDimY, nDimZ, f));
}

// A dataset whose voxel (x, y, z) holds f(x, y, z), written as a RAW file and
// read back as the viewer reads it.
template <class F> std::unique_ptr<CVolume> MakeVolume(int nDimX, int nDimY, int nDimZ, F f) {
    const ScratchDir dir;
    return std::make_unique<CVolume>(dir.Write("v.dat", FieldBytes(nDimX, nDimY, nDimZ, f)));
}

// The worker's first and last line of a run.
inline const std::string kStarted = "ProgressiveVolumeThread started!\n";
inline const std::string kEnded = "ProgressiveVolumeThread ended!\n";

// The box of the pixels (x, y) of a W x H picture where lit(x, y) holds: left,
// top, right, bottom, inclusive.
template <class F> std::array<int, 4> LitBox(int nWidth, int nHeight, F lit) {
    std::array<int, 4> box{nWidth, nHeight, -1, -1};
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth; ++x)
            if (lit(x, y))
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                       std::max(box[3], y)};
    return box;
}

} // namespace testfiles
