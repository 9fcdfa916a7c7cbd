// The command line of orvex-render.
#include "headless/RenderOptions.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

TEST(RenderOptions, ErrorsSayWhatIsWrongInOneLine) {
    int w = 0, h = 0, n = 0;
    EXPECT_TRUE(ParseSize("8192x8192", w, h));
    for (const char* p : {"0x10", "10x", "+5x5", "8193x1", " 10x10", "99999999999999999999x1"})
        EXPECT_FALSE(ParseSize(p, w, h)) << "'" << p << "'";
    EXPECT_TRUE(ParseWholeNumber("+7", -100, 100, n));
    EXPECT_EQ(n, 7);
    for (const char* p : {"", "12.5", "1e2", "101", "9999999999999999999999"})
        EXPECT_FALSE(ParseWholeNumber(p, -100, 100, n)) << "'" << p << "'";

    const struct {
        std::vector<std::string> args;
        const char* pExpected; // part of the message
    } cases[] = {
        {{"-o", "x.png"}, "no dataset"},
        {{"d.dat"}, "no output file"},
        {{"d.dat", "-o", "x.jpg"}, ".pfm or .png"},
        {{"d.dat", "-o", "x.png", "--bogus", "1"}, "unknown option '--bogus'"},
        {{"d.dat", "-o", "x.png", "--size"}, "needs a value"},
        {{"d.dat", "-o", "x.png", "--sampling", "bilinear"}, "not a volume sampling"},
        {{"d.dat", "-o", "x.png", "--lower", "4e"}, "expected a number"},
        {{"d.dat", "-o", "x.png", "--threads", "65"}, "0..64"},
        {{"d.dat", "-o", "x.png", "--turntable", "361"}, "1..360"},
        {{"d.dat", "-o", "x.png", "--mode", "slice", "--turntable", "4"}, "--mode volume"},
        {{"d.dat", "-o", "x.png", "--view", "front"}, "anterior, posterior, left, right"},
        {{"d.dat", "-o", "x.png", "--latitude", "3", "--view", "left"}, "either --view or"},
        {{"d.dat", "-o", "x.png", "--crop", "0,9,5,4,0,9"}, "each minimum at most its maximum"},
        {{"d.raw", "-o", "x.png", "--raw-size", "2x2x32768"}, "1..32767"},
        {{"d.raw", "-o", "x.png", "--raw-spacing", "1,0,1"}, "three positive numbers"},
        {{"d.raw", "-o", "x.png", "--raw-header", "8"}, "both --raw-size and --raw-type"},
    };
    for (const auto& c : cases) {
        RenderOptions o;
        std::string sError;
        EXPECT_EQ(ParseRenderOptions(c.args, o, sError), RENDER_PARSE_ERROR) << c.pExpected;
        EXPECT_NE(sError.find(c.pExpected), std::string::npos)
            << "'" << sError << "' lacks '" << c.pExpected << "'";
        EXPECT_EQ(sError.find('\n'), std::string::npos);
    }
    RenderOptions o;
    std::string sError;
    EXPECT_EQ(ParseRenderOptions({"d.dat", "--help"}, o, sError), RENDER_PARSE_HELP);
}

} // namespace
