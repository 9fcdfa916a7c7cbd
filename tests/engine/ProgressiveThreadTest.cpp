#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "app/ViewerApp.h"
#include "engine/Matrix.h"
#include "engine/ProgressiveThread.h"
#include "engine/RayCaster.h"
#include "transfer/TransferFunction.h"
#include "view/RenderState.h"

namespace {

// A render state whose hooks record what the worker posts. The optional
// observers run on the worker thread; they are set only while no run is active.
class CRecordingState : public CRenderState {
public:
    using CRenderState::CRenderState;
    ~CRecordingState() override {
        StopProgressiveThread();
        WaitForWorkerEnd();
    }
    void PostTitle(const std::string& sTitle) override {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Titles.push_back(sTitle);
        }
        CRenderState::PostTitle(sTitle);
        if (m_OnTitle)
            m_OnTitle(sTitle);
    }
    void PostRepaint() override {
        int n;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            n = ++m_nRepaints;
        }
        if (m_OnRepaint)
            m_OnRepaint(n);
    }
    std::vector<std::string> Titles() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Titles;
    }
    int Repaints() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_nRepaints;
    }
    void ClearRecords() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Titles.clear();
        m_nRepaints = 0;
    }

    std::function<void(const std::string&)> m_OnTitle;
    std::function<void(int)> m_OnRepaint; // with the number of repaints so far

private:
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Titles;
    int m_nRepaints = 0;
};

std::vector<std::string> Lines(const std::string& sText) {
    std::vector<std::string> lines;
    std::istringstream in(sText);
    for (std::string s; std::getline(in, s);)
        lines.push_back(s);
    return lines;
}

int CountComputed(const ImageColumn* pImage) {
    int n = 0;
    for (int x = 0; x < IMAGE_MAX_WIDTH; ++x)
        for (int y = 0; y < IMAGE_MAX_HEIGHT; ++y)
            n += pImage[x][y].computed;
    return n;
}

bool ComputedOnlyInside(const ImageColumn* pImage, int w, int h) {
    for (int x = 0; x < IMAGE_MAX_WIDTH; ++x)
        for (int y = 0; y < IMAGE_MAX_HEIGHT; ++y)
            if (pImage[x][y].computed && (x >= w || y >= h))
                return false;
    return true;
}

bool SameBuffers(const ImageColumn* a, const ImageColumn* b) {
    return std::memcmp(a, b, sizeof(ImageColumn) * IMAGE_MAX_WIDTH) == 0;
}

std::vector<ImagePixel> Picture(const ImageColumn* pImage, int w, int h) {
    std::vector<ImagePixel> picture;
    for (int x = 0; x < w; ++x)
        picture.insert(picture.end(), pImage[x], pImage[x] + h);
    return picture;
}

bool SamePicture(const std::vector<ImagePixel>& a, const std::vector<ImagePixel>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(ImagePixel)) == 0;
}

std::string Step(int n) {
    return "Render Output - Step " + std::to_string(n);
}

const std::string kFinished = "Render Output - finished";
const std::string kStarted = "ProgressiveVolumeThread started!\n";
const std::string kEnded = "ProgressiveVolumeThread ended!\n";

} // namespace

class ProgressiveTest : public testing::Test {
protected:
    CViewerApp* m_pApp = GetViewerApp();
    CRecordingState m_State{GetViewerApp()};
    std::unique_ptr<CVolume> m_pVolume;
    CTransferFunction m_Tf{GetViewerApp()};
    CVectorMath m_Math;

    void SetUp() override {
        UseVolume(MakeVolume(6, 6, 6, [](int x, int y, int z) {
            return static_cast<int16_t>(500 + 300 * x + 170 * y + 90 * z);
        }));
        for (int i = 0; i < TABLE_SIZE; ++i)
            m_Tf.m_Table[i] = TableEntry{255.0f, 128.0f, 64.0f, 0.002f};
        m_pApp->m_pRenderWnd = &m_State;
        m_pApp->m_pTransferFunction = &m_Tf;
        m_pApp->m_pVectorMath = &m_Math;
        m_State.m_nVolumeType = VOLUME_TYPE_LEVOY;
        m_State.m_nVolumeInterpolation = VOLUME_TRILINEAR;
        m_State.m_nLowerThreshold = 0;
        m_State.m_nUpperThreshold = 4095;
        m_State.m_fLatitude = 0.3f;
        m_State.m_fLongitude = 0.7f;
    }
    void TearDown() override {
        m_State.StopProgressiveThread();
        m_State.WaitForWorkerEnd();
        m_pApp->m_pRenderWnd = nullptr;
        m_pApp->m_pVolume = nullptr;
        m_pApp->m_pTransferFunction = nullptr;
        m_pApp->m_pVectorMath = nullptr;
    }
    void UseVolume(std::unique_ptr<CVolume> pVolume) {
        m_pVolume = std::move(pVolume);
        m_pApp->m_pVolume = m_pVolume.get();
    }
    void SetSize(int w, int h) {
        m_State.m_nWidth = w;
        m_State.m_nHeight = h;
    }
    void RunToEnd(int w, int h) {
        SetSize(w, h);
        ASSERT_EQ(m_State.StartProgressiveThread(), 0);
        m_State.WaitForWorkerEnd();
    }
};

// ------------------------------------------------------------- step scheme

struct StepCase {
    int w, h;
    int nSteps;    // steps that run to their copy
    int nComputed; // computed pixels after the run
};

class ProgressiveStepTest : public ProgressiveTest, public testing::WithParamInterface<StepCase> {};

TEST_P(ProgressiveStepTest, RunsTheStepsWhoseGridIsFinerThanHalfTheClient) {
    const StepCase c = GetParam();
    CDebugCapture capture;
    RunToEnd(c.w, c.h);

    std::vector<std::string> expected;
    for (int s = 1; s <= c.nSteps; ++s)
        expected.push_back(Step(s));
    if (c.nSteps < PROGRESSIVE_STEPS)
        expected.push_back(Step(c.nSteps + 1)); // shown briefly before the loop test
    expected.push_back(kFinished);
    EXPECT_EQ(m_State.Titles(), expected);
    EXPECT_EQ(m_State.LastPostedTitle(), kFinished);
    EXPECT_EQ(m_State.Repaints(), c.nSteps);
    for (int s = 1; s <= PROGRESSIVE_STEPS; ++s)
        EXPECT_EQ(capture.Text().find("step #" + std::to_string(s) + " ready! ") !=
                      std::string::npos,
                  s <= c.nSteps)
            << "step " << s;
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(capture.Count(kEnded), 1);

    EXPECT_EQ(CountComputed(m_State.m_Image), c.nComputed);
    EXPECT_TRUE(ComputedOnlyInside(m_State.m_Image, c.w, c.h));
    EXPECT_TRUE(SameBuffers(m_State.m_Image, m_State.m_BackImage));
    EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());
    EXPECT_TRUE(m_State.m_hThreadEnded.IsSet());
}

INSTANTIATE_TEST_SUITE_P(
    ClientSizes, ProgressiveStepTest,
    testing::Values(StepCase{1, 1, 1, 1},          // one ray for pixel (0, 0)
                    StepCase{300, 200, 10, 60000}, // 512 x 512 covers every pixel
                    StepCase{692, 448, 11, 692 * 448},
                    StepCase{1200, 900, 11, 1024 * 900}), // 1024 of 1200 columns
    [](const testing::TestParamInfo<StepCase>& info) {
        return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
    });

TEST_F(ProgressiveTest, WideClientLeavesColumnsBetweenGridColumnsUncomputed) {
    RunToEnd(1200, 900);
    // Grid columns floor(k * 1200 / 1024): 5 -> 5, 6 -> 7, so column 6 is never hit.
    EXPECT_EQ(m_State.m_Image[5][0].computed, 1);
    EXPECT_EQ(m_State.m_Image[6][0].computed, 0);
    EXPECT_EQ(m_State.m_Image[7][899].computed, 1);
}

TEST_F(ProgressiveTest, ClientBeyondTheBuffersRendersOnlyWhatFits) {
    RunToEnd(2500, 1600);
    // Columns floor(k * 2500 / 1024) < 1920 for k = 0..786, rows floor(j * 1600 /
    // 1024) < 1440 for j = 0..921.
    EXPECT_EQ(CountComputed(m_State.m_Image), 787 * 922);
    EXPECT_TRUE(SameBuffers(m_State.m_Image, m_State.m_BackImage));
}

TEST_F(ProgressiveTest, EmptyOrNegativeClientRendersNothing) {
    for (const auto& size :
         {std::pair{0, 0}, std::pair{0, 50}, std::pair{-40, 30}, std::pair{30, -40}}) {
        m_State.ClearRecords();
        RunToEnd(size.first, size.second);
        EXPECT_EQ(CountComputed(m_State.m_Image), 0);
        EXPECT_EQ(m_State.LastPostedTitle(), kFinished);
    }
}

TEST_F(ProgressiveTest, SmallerRunAfterALargerOneLeavesNothingOfIt) {
    RunToEnd(692, 448);
    RunToEnd(300, 200);
    EXPECT_EQ(CountComputed(m_State.m_Image), 60000);
    EXPECT_TRUE(SameBuffers(m_State.m_Image, m_State.m_BackImage));
    RunToEnd(100, 700);
    EXPECT_EQ(CountComputed(m_State.m_Image), 100 * 700);
    EXPECT_TRUE(ComputedOnlyInside(m_State.m_Image, 100, 700));
    EXPECT_TRUE(SameBuffers(m_State.m_Image, m_State.m_BackImage));
}

TEST_F(ProgressiveTest, ImagesAreBitIdenticalRunAfterRun) {
    UseVolume(MakeVolume(24, 20, 16, [](int x, int y, int z) {
        return static_cast<int16_t>((x * 7919 + y * 104729 + z * 1299709) % 4096);
    }));
    for (int i = 0; i < TABLE_SIZE; ++i)
        m_Tf.m_Table[i] = TableEntry{static_cast<float>(i % 256), 200.0f,
                                     static_cast<float>(255 - i % 256), i * 1e-7f};
    m_State.m_nLowerThreshold = 1000;
    m_State.m_nUpperThreshold = 3000;
    for (int nType = 0; nType < 3; ++nType) {
        for (int nInterpolation = 0; nInterpolation < 2; ++nInterpolation) {
            m_State.m_nVolumeType = nType;
            m_State.m_nVolumeInterpolation = nInterpolation;
            RunToEnd(96, 64);
            const std::vector<ImagePixel> first = Picture(m_State.m_Image, 96, 64);
            RunToEnd(96, 64);
            EXPECT_TRUE(SamePicture(first, Picture(m_State.m_Image, 96, 64)))
                << "type " << nType << " interpolation " << nInterpolation;
            bool bAnyColour = false;
            for (const ImagePixel& p : first)
                bAnyColour = bAnyColour || p.r != 0.0f || p.g != 0.0f || p.b != 0.0f;
            EXPECT_TRUE(bAnyColour);
        }
    }
}

// --------------------------------------------------------- run parameters

TEST_F(ProgressiveTest, InteractiveRunRendersNothing) {
    RunToEnd(64, 48);
    const std::vector<ImagePixel> before = Picture(m_State.m_Image, 64, 48);
    m_State.ClearRecords();
    m_State.m_dNear = 0.0;
    m_State.m_bInteractive = true;
    CDebugCapture capture;
    RunToEnd(64, 48);
    EXPECT_EQ(m_State.Titles(), std::vector<std::string>{kFinished});
    EXPECT_EQ(m_State.Repaints(), 0);
    EXPECT_EQ(capture.Text(), kStarted + kEnded);
    EXPECT_TRUE(SamePicture(before, Picture(m_State.m_Image, 64, 48)));
    EXPECT_EQ(m_State.m_dNear.load(), 1.2); // the view set-up still ran
}

TEST_F(ProgressiveTest, RunWithoutVolumeTouchesNothing) {
    auto pEmpty = std::make_unique<CVolume>("/nonexistent/orvex.dat");
    for (CVolume* pVolume : {static_cast<CVolume*>(nullptr), pEmpty.get()}) {
        m_pApp->m_pVolume = pVolume;
        SetSize(64, 48);
        CDebugCapture capture;
        EXPECT_EQ(m_State.StartProgressiveThread(), -1);
        m_State.WaitForWorkerEnd();
        EXPECT_EQ(capture.Text(), "");
        EXPECT_TRUE(m_State.Titles().empty());
        EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());
        EXPECT_FALSE(m_State.m_hThreadEnded.IsSet());
        EXPECT_EQ(CountComputed(m_State.m_Image), 0);
    }
    // The thread object left behind does not block the next start.
    m_pApp->m_pVolume = m_pVolume.get();
    RunToEnd(8, 8);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64);
}

// ------------------------------------------------------ start and stop

TEST_F(ProgressiveTest, StopWhileIdleSucceedsWithANote) {
    CDebugCapture capture;
    EXPECT_EQ(m_State.StopProgressiveThread(), 0);
    EXPECT_EQ(capture.Text(), "Progressive Thread not running!\n");
}

TEST_F(ProgressiveTest, StartWhileRunningIsRefusedWithoutASecondThread) {
    CManualResetEvent entered, release;
    m_State.m_OnRepaint = [&](int n) {
        if (n == 1) {
            entered.Set();
            release.Wait(10000);
        }
    };
    CDebugCapture capture;
    SetSize(64, 48);
    ASSERT_EQ(m_State.StartProgressiveThread(), 0);
    ASSERT_TRUE(entered.Wait(10000));
    EXPECT_TRUE(m_State.m_hThreadRunning.IsSet());
    EXPECT_EQ(m_State.StartProgressiveThread(), -1);
    release.Set();
    m_State.WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(capture.Count(kEnded), 1);
    EXPECT_EQ(m_State.Repaints(), 7); // the one run went on to its end (64 -> 7 steps)
}

TEST_F(ProgressiveTest, StopMidRunKeepsThePreviousStepAndTheNextRunStartsAfresh) {
    std::vector<ImagePixel> afterStep4;
    int nValidAfterStep4 = 0;
    CManualResetEvent copied;
    auto countValid = [this] {
        int n = 0;
        for (int32_t k = 0; k < m_pVolume->m_nVoxelCount; ++k)
            n += m_pVolume->m_pShadeValid[k];
        return n;
    };
    m_State.m_OnRepaint = [&](int n) {
        if (n == 4) {
            afterStep4 = Picture(m_State.m_Image, 64, 48);
            nValidAfterStep4 = countValid();
            copied.Set();
            m_State.m_hStopRequest.Wait(10000); // step 5 begins only once the stop is asked
        }
    };
    CDebugCapture capture;
    SetSize(64, 48);
    ASSERT_EQ(m_State.StartProgressiveThread(), 0);
    ASSERT_TRUE(copied.Wait(10000));
    EXPECT_EQ(m_State.StopProgressiveThread(), 0);
    m_State.WaitForWorkerEnd();

    EXPECT_TRUE(SamePicture(afterStep4, Picture(m_State.m_Image, 64, 48)));
    EXPECT_NE(capture.Text().find("step #4 ready! "), std::string::npos);
    EXPECT_EQ(capture.Text().find("step #5 ready! "), std::string::npos);
    const std::vector<std::string> titles = m_State.Titles();
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[titles.size() - 2], Step(5));
    EXPECT_EQ(titles.back(), kFinished);
    EXPECT_FALSE(m_State.m_hStopRequest.IsSet());

    // The next run: its first copy holds one computed pixel, and the shading
    // cache has been emptied (the corner ray of step 1 fills little of it).
    int nComputedAtFirstCopy = -1, nValidAtFirstCopy = -1;
    m_State.ClearRecords();
    m_State.m_OnRepaint = [&](int n) {
        if (n == 1) {
            nComputedAtFirstCopy = CountComputed(m_State.m_Image);
            nValidAtFirstCopy = countValid();
        }
    };
    RunToEnd(64, 48);
    EXPECT_EQ(nComputedAtFirstCopy, 1);
    EXPECT_GT(nValidAfterStep4, nValidAtFirstCopy);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64 * 48);
}

TEST_F(ProgressiveTest, StopThatTimesOutWithdrawsTheRequestAndTheRunGoesOn) {
    CManualResetEvent entered, release;
    m_State.m_OnTitle = [&](const std::string& sTitle) {
        if (sTitle == Step(2)) { // a worker held up by its window
            entered.Set();
            release.Wait(10000);
        }
    };
    CDebugCapture capture;
    SetSize(8, 8);
    ASSERT_EQ(m_State.StartProgressiveThread(), 0);
    ASSERT_TRUE(entered.Wait(10000));
    EXPECT_EQ(m_State.StopProgressiveThread(), -1);
    EXPECT_EQ(capture.Count("Error waiting for Progressive Thread End!\n"), 1);
    EXPECT_FALSE(m_State.m_hStopRequest.IsSet());
    EXPECT_EQ(m_State.StartProgressiveThread(), -1); // the old run still runs
    release.Set();
    m_State.WaitForWorkerEnd();
    EXPECT_NE(capture.Text().find("step #4 ready! "), std::string::npos); // ran to its end
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(CountComputed(m_State.m_Image), 64);
}

// --------------------------------------------------------- debug lines

TEST(ProgressiveLinesTest, StepLineShowsSecondsWithThreeDigits) {
    EXPECT_EQ(FormatStepReadyLine(3, 1050), "step #3 ready! 1.050 seconds elapsed\n");
    EXPECT_EQ(FormatStepReadyLine(3, 47), "step #3 ready! 0.047 seconds elapsed\n");
    EXPECT_EQ(FormatStepReadyLine(11, 12345), "step #11 ready! 12.345 seconds elapsed\n");
    EXPECT_EQ(FormatStepReadyLine(1, 0), "step #1 ready! 0.000 seconds elapsed\n");
    EXPECT_EQ(StepTitle(7), "Render Output - Step 7");
    EXPECT_STREQ(FINISHED_TITLE, "Render Output - finished");
}

TEST_F(ProgressiveTest, RunWritesItsLinesInOrder) {
    CDebugCapture capture;
    RunToEnd(64, 48);
    const std::vector<std::string> lines = Lines(capture.Text());
    ASSERT_EQ(lines.size(), 9u); // started, steps 1..7, ended
    EXPECT_EQ(lines.front() + "\n", kStarted);
    EXPECT_EQ(lines.back() + "\n", kEnded);
    const std::regex stepLine(R"(step #(\d+) ready! \d+\.\d{3} seconds elapsed)");
    for (int s = 1; s <= 7; ++s) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[s], match, stepLine)) << lines[s];
        EXPECT_EQ(match[1], std::to_string(s));
    }
}

// ----------------------------------------------------------------- stress

TEST_F(ProgressiveTest, ThousandsOfStartStopCyclesKeepOneWorkerAtATime) {
    UseVolume(MakeVolume(16, 16, 16, [](int x, int y, int z) {
        return static_cast<int16_t>(100 + 150 * x + 90 * y + 40 * z);
    }));
    CDebugCapture capture;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int nCycles = 0, nStarted = 0, nStopped = 0;
    while (nCycles < 3000 && std::chrono::steady_clock::now() < tEnd) {
        SetSize(nCycles % 5 == 0 ? 160 : 48, 40);
        m_State.m_bInteractive = nCycles % 7 == 0;
        nStarted += m_State.StartProgressiveThread() == 0 ? 1 : 0;
        switch (nCycles % 4) {
        case 1:
            std::this_thread::yield();
            break;
        case 2:
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            break;
        case 3: // per-pixel settings written while the run goes on
            m_State.m_nVolumeType = (nCycles / 4) % 3;
            m_State.m_nVolumeInterpolation = (nCycles / 8) % 2;
            m_State.m_nLowerThreshold = nCycles % 1000;
            m_State.m_nUpperThreshold = 4095 - nCycles % 1000;
            break;
        default:
            break;
        }
        nStopped += m_State.StopProgressiveThread() == 0 ? 1 : 0;
        ++nCycles;
    }
    m_State.StopProgressiveThread();
    m_State.WaitForWorkerEnd();
    RecordProperty("cycles", nCycles);
    std::printf("%d start/stop cycles, %d runs started, %d stopped in time\n", nCycles, nStarted,
                nStopped);
    EXPECT_GE(nCycles, 500);
    EXPECT_GT(nStarted, nCycles / 2);
    EXPECT_GT(nStopped, nCycles / 2);
    EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());

    // Runs never overlap: their start and end lines alternate strictly.
    std::string sExpected = kStarted;
    int nRuns = 0;
    for (const std::string& sLine : Lines(capture.Text())) {
        const std::string s = sLine + "\n";
        if (s != kStarted && s != kEnded)
            continue;
        ASSERT_EQ(s, sExpected) << "after " << nRuns << " runs";
        sExpected = s == kStarted ? kEnded : kStarted;
        nRuns += s == kEnded ? 1 : 0;
    }
    EXPECT_EQ(sExpected, kStarted); // the last run has ended
    EXPECT_GE(nRuns, nStarted);
}
