// The editor within the whole viewer: the start-up creates, shows and paints
// it, the main dialog redraws it after a dataset load and on each mode change,
// and the teardown destroys it.
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/glcanvas.h>
#include <wx/toplevel.h>

#include "app/MainDlg.h"
#include "app/ViewerApp.h"
#include "res/Resource.h"
#include "support/GuiTest.h"
#include "transfer/EditorGeometry.h"
#include "transfer/TransferFunction.h"
#include "transfer/TransferFunctionWnd.h"
#include "view/RenderWnd.h"

using namespace guitest;

namespace {

constexpr int BACKGROUND = 204;
constexpr int HISTOGRAM = 178;

bool IsGrey(const Pixels& pixels, int x, int y, int nLevel) {
    const uint8_t* p = pixels.At(x, y);
    return p[0] == nLevel && p[1] == nLevel && p[2] == nLevel;
}

// The main dialog may cover the editor's left edge: only columns from 40 on count.
int CountHistogramPixels(const Pixels& pixels) {
    int n = 0;
    for (int y = 0; y < pixels.nHeight; ++y)
        for (int x = 40; x < pixels.nWidth; ++x)
            n += IsGrey(pixels, x, y, HISTOGRAM) ? 1 : 0;
    return n;
}

bool IsTopLevel(wxWindow* pWindow) {
    for (wxWindow* p : wxTopLevelWindows)
        if (p == pWindow)
            return true;
    return false;
}

class EditorStartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[PATH_MAX] = {};
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_sOldDir = cwd;
        {
            CTransferFunction tf(nullptr);
            tf.SetPoint(1234, 1.0f, 0.5f, 0.25f, 0.75f);
            ASSERT_EQ(tf.Save(m_Dir.Path("default.trf")), 0);
        }
        ASSERT_EQ(chdir(m_Dir.Root().c_str()), 0);
        m_pApp = GetViewerApp();
        ASSERT_TRUE(m_pApp->InitInstance());
        m_pDlg = dynamic_cast<CMainDlg*>(wxTheApp->GetTopWindow());
        ASSERT_NE(m_pDlg, nullptr);
        m_pEditor = m_pApp->m_pTransferFunctionWnd;
        ASSERT_NE(m_pEditor, nullptr);
        ASSERT_TRUE(WaitForShown(m_pEditor->GetCanvas()));
        m_nH = m_pEditor->m_nHeight;
    }

    void TearDown() override {
        if (m_pDlg && !m_pDlg->HasEnded())
            m_pDlg->Close();
        Pump(50);
        EXPECT_EQ(chdir(m_sOldDir.c_str()), 0);
    }

    Pixels EditorShows() { return ReadShownPixels(m_pEditor->GetCanvas()); }

    CTempDir m_Dir;
    std::string m_sOldDir;
    CViewerApp* m_pApp = nullptr;
    CMainDlg* m_pDlg = nullptr;
    CTransferFunctionWnd* m_pEditor = nullptr;
    int m_nH = 0;
};

TEST_F(EditorStartUpTest, StartUpShowsTheEditorWithDefaultTrf) {
    EXPECT_EQ(m_pEditor->GetTitle(), "Transfer Function Editor");
    EXPECT_EQ(m_pEditor->GetPosition(), wxPoint(322, 575));
    EXPECT_EQ(m_pEditor->m_pApp, m_pApp);
    // The point of default.trf at 1234 (x 210), opacity 0.75, in its colour.
    const Pixels pixels = EditorShows();
    const uint8_t* p = pixels.At(ValueToPixelX(1234, 700), OpacityToPixelY(0.75f, m_nH) + 2);
    EXPECT_EQ(p[0], 255);
    EXPECT_NEAR(p[1], 128, 1);
    EXPECT_NEAR(p[2], 64, 1);
    EXPECT_EQ(CountHistogramPixels(pixels), 0); // no dataset yet
}

TEST_F(EditorStartUpTest, DatasetLoadAndModeChangesRedrawTheEditorAtOnce) {
    // 8 x 8 x 8 voxels, half at 1000 and half at 3000.
    std::vector<int16_t> voxels(512, 1000);
    for (size_t i = 256; i < voxels.size(); ++i)
        voxels[i] = 3000;
    WriteRaw(m_Dir.Path("halves.dat"), 8, 8, 8, voxels);
    ASSERT_EQ(m_pDlg->LoadDatasetFile(m_Dir.Path("halves.dat")), 0);
    // No pumping: the load itself has repainted the editor.
    // Two full-height columns (both bins are the fullest), less where the
    // curve crosses them.
    Pixels pixels = EditorShows();
    EXPECT_GE(CountHistogramPixels(pixels), 2 * m_nH - 4);
    EXPECT_LE(CountHistogramPixels(pixels), 2 * m_nH);

    const int x = ValueToPixelX(1234, 700);
    EXPECT_TRUE(IsGrey(pixels, x, 7, BACKGROUND));
    wxCommandEvent slicing(wxEVT_RADIOBUTTON, IDC_SLICING);
    m_pDlg->OnSlicing(slicing);
    pixels = EditorShows();
    EXPECT_EQ(pixels.At(x, 7)[0], 255); // the colour bar
    EXPECT_EQ(CountHistogramPixels(pixels), 2 * (m_nH - 16));

    wxCommandEvent volume(wxEVT_RADIOBUTTON, IDC_VOLUME);
    m_pDlg->OnVolume(volume);
    pixels = EditorShows();
    EXPECT_TRUE(IsGrey(pixels, x, 7, BACKGROUND));
    EXPECT_EQ(pixels.At(x, OpacityToPixelY(0.75f, m_nH) + 2)[0], 255);
    EXPECT_GE(CountHistogramPixels(pixels), 2 * m_nH - 4);
}

TEST_F(EditorStartUpTest, TeardownDestroysTheEditor) {
    wxWindow* pEditor = m_pEditor;
    ASSERT_TRUE(IsTopLevel(pEditor));
    m_pDlg->Close();
    EXPECT_TRUE(m_pDlg->HasEnded());
    EXPECT_EQ(m_pApp->m_pTransferFunctionWnd, nullptr);
    EXPECT_EQ(m_pApp->m_pTransferFunction, nullptr);
    EXPECT_TRUE(WaitFor([&] { return !IsTopLevel(pEditor); }));
}

} // namespace
