// orvex-render with several casting threads and with empty-space skipping: the
// same file, byte for byte, as one thread marching every sample.
#include "ToolTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace tooltest;

TEST(RenderThreadsTool, EveryThreadCountAndSkippingWriteTheSameFile) {
    ScratchDir dir;
    const std::string sPhantom = std::string(ORVEX_SAMPLE_DIR) + "/phantom.dat";
    const std::string sTable = std::string(ORVEX_SAMPLE_DIR) + "/default.trf";
    for (const char* pType : {"levoy", "xray", "firsthit"}) {
        std::vector<std::string> files;
        for (const auto& run : {std::pair{"1", "off"}, std::pair{"1", "on"}, std::pair{"2", "on"},
                                std::pair{"3", "off"}, std::pair{"0", "on"}}) {
            const std::string sOut = dir.Path(std::string(pType) + run.first + run.second + ".pfm");
            const RunResult r =
                RunProgram(ORVEX_RENDER_EXE, {sPhantom, "-o", sOut, "--tf", sTable, "--type", pType,
                                              "--size", "173x112", "--longitude", "20", "--threads",
                                              run.first, "--skipping", run.second});
            ASSERT_EQ(r.nExitCode, 0) << r.sStderr;
            files.push_back(ReadFile(sOut));
        }
        for (size_t i = 1; i < files.size(); ++i)
            EXPECT_EQ(files[0], files[i]) << pType << ", run " << i;
        const Picture p = ReadPfm(dir.Path(std::string(pType) + "1off.pfm"));
        ASSERT_EQ(p.sError, "");
        EXPECT_GT(*std::max_element(p.rgb.begin(), p.rgb.end()), 0.1f) << pType;
    }
}

} // namespace
