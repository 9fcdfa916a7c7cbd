#include "ToolTestUtil.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace tooltest {

RunResult RunProgram(const std::string& sProgram, const std::vector<std::string>& args) {
    RunResult result;
    const ScratchDir dir;
    const std::string sOut = dir.Path("out"), sErr = dir.Path("err");
    std::vector<char*> argv{const_cast<char*>(sProgram.c_str())};
    for (const std::string& s : args)
        argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int nIn = open("/dev/null", O_RDONLY);
        const int nOut = open(sOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nErr = open(sErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (nIn < 0 || nOut < 0 || nErr < 0 || dup2(nIn, 0) < 0 || dup2(nOut, 1) < 0 ||
            dup2(nErr, 2) < 0)
            _exit(126);
        execv(sProgram.c_str(), argv.data());
        _exit(127);
    }
    int nStatus = 0;
    if (pid > 0 && waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus))
        result.nExitCode = WEXITSTATUS(nStatus);
    result.sStdout = ReadFile(sOut);
    result.sStderr = ReadFile(sErr);
    return result;
}

namespace {

Picture Failed(const char* pReason) {
    Picture picture;
    picture.sError = pReason;
    return picture;
}

uint32_t Word32(const std::string& s, size_t nPos, bool bBigEndian = true) {
    uint32_t n = 0;
    for (size_t i = 0; i < 4; ++i)
        n = n << 8 | uint8_t(s[nPos + (bBigEndian ? i : 3 - i)]);
    return n;
}

} // namespace

Picture ReadPfm(const std::string& sPath) {
    const std::string data = ReadFile(sPath);
    // Three text lines: "PF", "<width> <height>", "-1.0" (little-endian).
    size_t nPos = 0;
    std::string lines[3];
    for (std::string& sLine : lines) {
        const size_t nEnd = data.find('\n', nPos);
        if (nEnd == std::string::npos)
            return Failed("header cut short");
        sLine = data.substr(nPos, nEnd - nPos);
        nPos = nEnd + 1;
    }
    Picture picture;
    if (lines[0] != "PF" || lines[2] != "-1.0" ||
        std::sscanf(lines[1].c_str(), "%d %d", &picture.nWidth, &picture.nHeight) != 2)
        return Failed("not a little-endian colour PFM");
    const size_t nRow = 3 * size_t(picture.nWidth);
    if (data.size() - nPos != 4 * nRow * size_t(picture.nHeight))
        return Failed("pixel data of the wrong length");
    picture.rgb.resize(nRow * size_t(picture.nHeight));
    for (int row = 0; row < picture.nHeight; ++row) // file row 0 is the bottom row
        for (size_t i = 0; i < nRow; ++i) {
            const uint32_t bits = Word32(data, nPos + 4 * (row * nRow + i), false);
            std::memcpy(&picture.rgb[(picture.nHeight - 1 - row) * nRow + i], &bits, 4);
        }
    return picture;
}

Picture ReadPng(const std::string& sPath) {
    const std::string data = ReadFile(sPath);
    if (data.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return Failed("no PNG signature");
    Picture picture;
    std::string packed;
    bool bHeader = false, bEnd = false;
    size_t nPos = 8;
    while (nPos + 12 <= data.size() && !bEnd) {
        const uint32_t nLength = Word32(data, nPos);
        if (nPos + 12 + nLength > data.size())
            return Failed("chunk cut short");
        const std::string sType = data.substr(nPos + 4, 4);
        const std::string sData = data.substr(nPos + 8, nLength);
        const auto* pChunk = reinterpret_cast<const Bytef*>(data.data() + nPos + 4);
        if (crc32(crc32(0L, Z_NULL, 0), pChunk, uInt(4 + nLength)) !=
            Word32(data, nPos + 8 + nLength))
            return Failed("bad CRC");
        if (sType == "IHDR") {
            if (nLength != 13 || sData.compare(8, 5, std::string("\x08\x02\0\0\0", 5)) != 0)
                return Failed("not an 8-bit RGB non-interlaced PNG");
            picture.nWidth = int(Word32(sData, 0));
            picture.nHeight = int(Word32(sData, 4));
            bHeader = true;
        } else if (sType == "IDAT") {
            packed += sData;
        }
        bEnd = sType == "IEND";
        nPos += 12 + nLength;
    }
    if (!bHeader || !bEnd || nPos != data.size())
        return Failed("missing IHDR or IEND, or bytes after IEND");
    const size_t nRow = 1 + 3 * size_t(picture.nWidth);
    std::vector<uint8_t> raw(nRow * size_t(picture.nHeight));
    uLongf nRaw = uLongf(raw.size());
    if (uncompress(raw.data(), &nRaw, reinterpret_cast<const Bytef*>(packed.data()),
                   uLong(packed.size())) != Z_OK ||
        nRaw != raw.size())
        return Failed("image data does not inflate to the expected size");
    for (int y = 0; y < picture.nHeight; ++y) {
        if (raw[nRow * y] != 0)
            return Failed("a row with a filter other than none");
        picture.bytes.insert(picture.bytes.end(), &raw[nRow * y + 1], &raw[nRow * (y + 1)]);
    }
    return picture;
}

Picture ReadPicture(const std::string& sPath) {
    return sPath.ends_with(".png") ? ReadPng(sPath) : ReadPfm(sPath);
}

} // namespace tooltest
