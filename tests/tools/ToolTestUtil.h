// Helpers of the tools' tests: running a tool as a child process, and readers
// for the PFM and PNG files the tools write (independent of the writers).
#pragma once

#include "support/TestFiles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tooltest {

using testfiles::ReadFile;
using testfiles::ScratchDir;

struct RunResult {
    int nExitCode = -1; // -1 when the child did not exit normally
    std::string sStdout;
    std::string sStderr;
};

// Runs the program with the arguments and collects its exit code and output.
RunResult RunProgram(const std::string& sProgram, const std::vector<std::string>& args);

// A decoded picture: float RGB (PFM) or byte RGB (PNG), row 0 the top row.
struct Picture {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<float> rgb;     // PFM
    std::vector<uint8_t> bytes; // PNG
    std::string sError;         // set when the file could not be decoded
    const float* Float(int x, int y) const { return &rgb[3 * (size_t(y) * nWidth + x)]; }
    const uint8_t* Byte(int x, int y) const { return &bytes[3 * (size_t(y) * nWidth + x)]; }
};

// Reads a little-endian PFM ("PF", RGB) whose rows are stored bottom row first.
Picture ReadPfm(const std::string& sPath);
// Reads an 8-bit RGB, non-interlaced PNG, checking every chunk's CRC.
Picture ReadPng(const std::string& sPath);
// ReadPng for a path ending in ".png", ReadPfm otherwise.
Picture ReadPicture(const std::string& sPath);

} // namespace tooltest
