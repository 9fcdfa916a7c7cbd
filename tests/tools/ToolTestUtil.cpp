#include "ToolTestUtil.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace tooltest {

ScratchDir::ScratchDir() {
    static int s_nCount = 0;
    m_Dir = std::filesystem::temp_directory_path() /
            ("orvex-tools-test-" + std::to_string(getpid()) + "-" + std::to_string(++s_nCount));
    std::filesystem::remove_all(m_Dir);
    std::filesystem::create_directories(m_Dir);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_Dir, ignored);
}

std::vector<uint8_t> ReadBytes(const std::string& sPath) {
    std::ifstream in(sPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& sPath, const std::vector<uint8_t>& bytes) {
    std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

RunResult RunProgram(const std::string& sProgram, const std::vector<std::string>& args) {
    RunResult result;
    char outName[] = "/tmp/orvex-tool-out-XXXXXX";
    char errName[] = "/tmp/orvex-tool-err-XXXXXX";
    const int nOut = mkstemp(outName);
    const int nErr = mkstemp(errName);
    if (nOut < 0 || nErr < 0)
        return result;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(sProgram.c_str()));
    for (const std::string& s : args)
        argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(nOut, 1);
        dup2(nErr, 2);
        const int nNull = open("/dev/null", O_RDONLY);
        if (nNull >= 0)
            dup2(nNull, 0);
        execv(sProgram.c_str(), argv.data());
        _exit(127);
    }
    int nStatus = 0;
    if (pid > 0 && waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus))
        result.nExitCode = WEXITSTATUS(nStatus);
    close(nOut);
    close(nErr);
    const std::vector<uint8_t> out = ReadBytes(outName);
    const std::vector<uint8_t> err = ReadBytes(errName);
    result.sStdout.assign(out.begin(), out.end());
    result.sStderr.assign(err.begin(), err.end());
    unlink(outName);
    unlink(errName);
    return result;
}

Picture ReadPfm(const std::string& sPath) {
    Picture picture;
    const std::vector<uint8_t> data = ReadBytes(sPath);
    // Three text lines: "PF", "<width> <height>", "<scale>".
    size_t nPos = 0;
    std::string lines[3];
    for (std::string& sLine : lines) {
        while (nPos < data.size() && data[nPos] != '\n')
            sLine += char(data[nPos++]);
        if (nPos >= data.size()) {
            picture.sError = "header cut short";
            return picture;
        }
        ++nPos;
    }
    if (lines[0] != "PF" || lines[2] != "-1.0") {
        picture.sError = "not a little-endian colour PFM";
        return picture;
    }
    if (std::sscanf(lines[1].c_str(), "%d %d", &picture.nWidth, &picture.nHeight) != 2) {
        picture.sError = "bad size line";
        return picture;
    }
    const size_t nFloats = 3 * size_t(picture.nWidth) * size_t(picture.nHeight);
    if (data.size() - nPos != 4 * nFloats) {
        picture.sError = "pixel data of the wrong length";
        return picture;
    }
    picture.rgb.resize(nFloats);
    for (int row = 0; row < picture.nHeight; ++row) {
        // File row 0 is the bottom row of the picture.
        const int y = picture.nHeight - 1 - row;
        for (size_t i = 0; i < 3 * size_t(picture.nWidth); ++i) {
            const uint8_t* p = &data[nPos + 4 * (size_t(row) * 3 * picture.nWidth + i)];
            const uint32_t bits =
                uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
            std::memcpy(&picture.rgb[3 * size_t(y) * picture.nWidth + i], &bits, 4);
        }
    }
    return picture;
}

namespace {
uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
} // namespace

Picture ReadPng(const std::string& sPath) {
    Picture picture;
    const std::vector<uint8_t> data = ReadBytes(sPath);
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (data.size() < 8 || std::memcmp(data.data(), kSignature, 8) != 0) {
        picture.sError = "no PNG signature";
        return picture;
    }
    std::vector<uint8_t> packed;
    bool bHeader = false, bEnd = false;
    size_t nPos = 8;
    while (nPos + 12 <= data.size() && !bEnd) {
        const uint32_t nLength = BigEndian32(&data[nPos]);
        if (nPos + 12 + nLength > data.size()) {
            picture.sError = "chunk cut short";
            return picture;
        }
        const std::string sType(reinterpret_cast<const char*>(&data[nPos + 4]), 4);
        const uint8_t* pData = &data[nPos + 8];
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), &data[nPos + 4], uInt(4 + nLength));
        if (crc != BigEndian32(pData + nLength)) {
            picture.sError = "bad CRC in chunk " + sType;
            return picture;
        }
        if (sType == "IHDR") {
            picture.nWidth = int(BigEndian32(pData));
            picture.nHeight = int(BigEndian32(pData + 4));
            if (nLength != 13 || pData[8] != 8 || pData[9] != 2 || pData[10] != 0 ||
                pData[11] != 0 || pData[12] != 0) {
                picture.sError = "not an 8-bit RGB non-interlaced PNG";
                return picture;
            }
            bHeader = true;
        } else if (sType == "IDAT") {
            packed.insert(packed.end(), pData, pData + nLength);
        } else if (sType == "IEND") {
            bEnd = true;
        }
        nPos += 12 + nLength;
    }
    if (!bHeader || !bEnd || nPos != data.size()) {
        picture.sError = "missing IHDR or IEND, or bytes after IEND";
        return picture;
    }
    const size_t nRow = 1 + 3 * size_t(picture.nWidth);
    std::vector<uint8_t> raw(nRow * size_t(picture.nHeight));
    uLongf nRaw = uLongf(raw.size());
    if (uncompress(raw.data(), &nRaw, packed.data(), uLong(packed.size())) != Z_OK ||
        nRaw != raw.size()) {
        picture.sError = "image data does not inflate to the expected size";
        return picture;
    }
    picture.bytes.resize(3 * size_t(picture.nWidth) * size_t(picture.nHeight));
    for (int y = 0; y < picture.nHeight; ++y) {
        if (raw[nRow * y] != 0) {
            picture.sError = "a row with a filter other than none";
            return picture;
        }
        std::memcpy(&picture.bytes[3 * size_t(y) * picture.nWidth], &raw[nRow * y + 1], nRow - 1);
    }
    return picture;
}

} // namespace tooltest
