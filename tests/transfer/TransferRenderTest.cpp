// A table rebuild stops the progressive renderer and restarts it only in Volume
// mode, with the real worker rendering a small dataset.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/ViewerApp.h"
#include "engine/Matrix.h"
#include "engine/ProgressiveThread.h"
#include "platform/Sync.h"
#include "transfer/TransferFunction.h"
#include "view/RenderState.h"
#include "volume/Volume.h"

namespace fs = std::filesystem;

namespace {

const char* const STARTED = "ProgressiveVolumeThread started!\n";
const char* const ENDED = "ProgressiveVolumeThread ended!\n";
const char* const NOT_RUNNING = "Progressive Thread not running!\n";

class TransferRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sPath =
            (fs::temp_directory_path() / ("orvex-tf-render-" + std::to_string(getpid()) + ".dat"))
                .string();
        {
            const int n = 24;
            std::ofstream out(m_sPath, std::ios::binary);
            const int16_t header[3] = {n, n, n};
            out.write(reinterpret_cast<const char*>(header), sizeof(header));
            for (int z = 0; z < n; ++z)
                for (int y = 0; y < n; ++y)
                    for (int x = 0; x < n; ++x) {
                        const int16_t v = static_cast<int16_t>((x * 97 + y * 31 + z * 13) % 4096);
                        out.write(reinterpret_cast<const char*>(&v), 2);
                    }
        }
        m_pApp = GetViewerApp();
        m_pVolume = std::make_unique<CVolume>(m_sPath);
        ASSERT_EQ(m_pVolume->GetLoadError(), RAW_OK);
        m_pState = std::make_unique<CRenderState>(m_pApp);
        m_pTransferFunction = std::make_unique<CTransferFunction>(m_pApp);
        m_pTransferFunction->SetPoint(0, 1, 1, 1, 1);
        m_pVectorMath = std::make_unique<CVectorMath>();
        m_pApp->m_pRenderWnd = m_pState.get();
        m_pApp->m_pVolume = m_pVolume.get();
        m_pApp->m_pTransferFunction = m_pTransferFunction.get();
        m_pApp->m_pVectorMath = m_pVectorMath.get();
        SetWindow(16, 16);
    }
    void TearDown() override {
        if (m_pState) {
            m_pState->StopProgressiveThread();
            m_pState->WaitForWorkerEnd();
        }
        m_pApp->m_pRenderWnd = nullptr;
        m_pApp->m_pVolume = nullptr;
        m_pApp->m_pTransferFunction = nullptr;
        m_pApp->m_pVectorMath = nullptr;
        m_pState.reset();
        fs::remove(m_sPath);
    }
    void SetWindow(int nWidth, int nHeight) {
        m_pState->m_nWidth = nWidth;
        m_pState->m_nHeight = nHeight;
    }
    // Waits (bounded) for the current run to end by itself.
    bool WaitForRunEnd() { return m_pState->m_hThreadEnded.Wait(20000); }

    std::string m_sPath;
    CViewerApp* m_pApp = nullptr;
    std::unique_ptr<CVolume> m_pVolume;
    std::unique_ptr<CRenderState> m_pState;
    std::unique_ptr<CTransferFunction> m_pTransferFunction;
    std::unique_ptr<CVectorMath> m_pVectorMath;
};

TEST_F(TransferRenderTest, VolumeModeRebuildStartsAFreshRun) {
    m_pState->m_nRenderMode = RENDER_MODE_VOLUME;
    CDebugCapture capture;
    EXPECT_EQ(m_pTransferFunction->BuildTable(), 0);
    EXPECT_EQ(capture.Count(NOT_RUNNING), 1); // nothing was running before
    EXPECT_EQ(capture.Count(STARTED), 1);
    ASSERT_TRUE(WaitForRunEnd());
    m_pState->WaitForWorkerEnd();
    EXPECT_EQ(m_pState->LastPostedTitle(), FINISHED_TITLE);

    // Each rebuild renders the image again from its first step.
    m_pTransferFunction->BuildTable();
    EXPECT_EQ(capture.Count(STARTED), 2);
    ASSERT_TRUE(WaitForRunEnd());
    m_pState->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(ENDED), 2);
}

TEST_F(TransferRenderTest, VolumeModeRebuildReplacesARunningRun) {
    m_pState->m_nRenderMode = RENDER_MODE_VOLUME;
    SetWindow(1920, 1440); // long enough to be still running when the rebuild comes
    CDebugCapture capture;
    m_pState->StartProgressiveThread();
    ASSERT_TRUE(m_pState->m_hThreadRunning.Wait(5000));
    m_pTransferFunction->SetPoint(2000, 0, 1, 0, 0.5f);
    EXPECT_EQ(m_pTransferFunction->BuildTable(), 0);
    // The old run ended before the new one began; the new one is running.
    EXPECT_EQ(capture.Count(NOT_RUNNING), 0);
    EXPECT_EQ(capture.Count(STARTED), 2);
    const std::string sLog = capture.Text();
    const size_t nFirstEnd = sLog.find(ENDED);
    ASSERT_NE(nFirstEnd, std::string::npos);
    EXPECT_GT(sLog.find(STARTED, sLog.find(STARTED) + 1), nFirstEnd);
    EXPECT_TRUE(m_pState->m_hThreadRunning.IsSet());
}

TEST_F(TransferRenderTest, SlicingModeRebuildStopsTheRunAndStartsNone) {
    m_pState->m_nRenderMode = RENDER_MODE_VOLUME;
    SetWindow(1920, 1440);
    CDebugCapture capture;
    m_pState->StartProgressiveThread();
    ASSERT_TRUE(m_pState->m_hThreadRunning.Wait(5000));
    m_pState->m_nRenderMode = RENDER_MODE_SLICING;
    EXPECT_EQ(m_pTransferFunction->BuildTable(), 0);
    // By the time the table is rebuilt the worker is gone, and nothing restarts.
    EXPECT_EQ(capture.Count(ENDED), 1);
    EXPECT_EQ(capture.Count(STARTED), 1);
    EXPECT_FALSE(m_pState->m_hThreadRunning.IsSet());

    for (int nMode : {RENDER_MODE_SLICING, RENDER_MODE_NONE}) {
        m_pState->m_nRenderMode = nMode;
        capture.Clear();
        m_pTransferFunction->BuildTable();
        EXPECT_EQ(capture.Text(), NOT_RUNNING);
        EXPECT_FALSE(m_pState->m_hThreadRunning.IsSet());
    }
}

} // namespace
