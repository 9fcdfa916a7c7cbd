// A table rebuild stops the progressive renderer and restarts it only in Volume
// mode, with the real worker rendering a small dataset.
#include <gtest/gtest.h>

#include <string>

#include "headless/Headless.h"
#include "platform/Sync.h"
#include "support/TestFiles.h"
#include "transfer/TransferFunction.h"

namespace {

const std::string STARTED = testfiles::kStarted, ENDED = testfiles::kEnded;
const char* const NOT_RUNNING = "Progressive Thread not running!\n";

// The headless viewer's render state, transfer function (announcing its
// rebuilds to the state, as the viewer's does) and a 24^3 dataset, in Volume
// mode.
class TransferRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string sError;
        ASSERT_TRUE(m_Viewer.LoadDataset(
            m_Dir.Write("v.dat", testfiles::FieldBytes(24, 24, 24,
                                                       [](int x, int y, int z) {
                                                           return (x * 97 + y * 31 + z * 13) % 4096;
                                                       })),
            sError))
            << sError;
        m_TransferFunction.SetPoint(0, 1, 1, 1, 1);
        m_TransferFunction.SetRebuildListener([this](bool b) { m_State.OnTableRebuild(b); });
        m_State.m_nRenderMode = RENDER_MODE_VOLUME;
        SetWindow(16, 16);
    }
    void SetWindow(int nWidth, int nHeight) {
        m_State.m_nWidth = nWidth;
        m_State.m_nHeight = nHeight;
    }
    // Starts a run long enough to be still busy when the test goes on.
    void StartLongRun() {
        SetWindow(1920, 1440);
        m_State.StartProgressiveThread();
        ASSERT_TRUE(m_State.m_hThreadRunning.Wait(5000));
    }

    testfiles::ScratchDir m_Dir;
    CHeadlessViewer m_Viewer;
    CRenderState& m_State = m_Viewer.State();
    CTransferFunction& m_TransferFunction = m_Viewer.TransferFunction();
};

TEST_F(TransferRenderTest, VolumeModeRebuildStartsAFreshRunAfterTheOldOneEnded) {
    CDebugCapture capture;
    EXPECT_EQ(m_TransferFunction.BuildTable(), 0);
    EXPECT_EQ(capture.Count(NOT_RUNNING), 1); // nothing was running before
    EXPECT_EQ(capture.Count(STARTED), 1);
    ASSERT_TRUE(m_State.m_hThreadEnded.Wait(20000));
    m_State.WaitForWorkerEnd();
    EXPECT_EQ(m_State.LastProgress().eState, RenderProgress::FINISHED);
    EXPECT_EQ(capture.Count(ENDED), 1);

    // A rebuild while a run is busy: the old run ends before the new one begins.
    StartLongRun();
    capture.Clear();
    m_TransferFunction.SetPoint(2000, 0, 1, 0, 0.5f);
    EXPECT_EQ(m_TransferFunction.BuildTable(), 0);
    EXPECT_EQ(capture.Count(NOT_RUNNING), 0);
    const std::string sLog = capture.Text();
    ASSERT_EQ(capture.Count(STARTED), 1);
    ASSERT_NE(sLog.find(ENDED), std::string::npos);
    EXPECT_GT(sLog.find(STARTED), sLog.find(ENDED));
    EXPECT_TRUE(m_State.m_hThreadRunning.IsSet());
}

TEST_F(TransferRenderTest, SlicingModeRebuildStopsTheRunAndStartsNone) {
    CDebugCapture capture;
    StartLongRun();
    m_State.m_nRenderMode = RENDER_MODE_SLICING;
    EXPECT_EQ(m_TransferFunction.BuildTable(), 0);
    // By the time the table is rebuilt the worker is gone, and nothing restarts.
    EXPECT_EQ(capture.Count(ENDED), 1);
    EXPECT_EQ(capture.Count(STARTED), 1);
    EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());

    for (int nMode : {RENDER_MODE_SLICING, RENDER_MODE_NONE}) {
        m_State.m_nRenderMode = nMode;
        capture.Clear();
        m_TransferFunction.BuildTable();
        EXPECT_EQ(capture.Text(), NOT_RUNNING);
        EXPECT_FALSE(m_State.m_hThreadRunning.IsSet());
    }
}

} // namespace
