// Start-up, the main dialog and teardown inside the test process: the
// application object's InitInstance builds the real windows; closing the main
// dialog runs its OnDestroy and the teardown.
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/glcanvas.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "app/ViewerApp.h"
#include "panels/SlicingDlg.h"
#include "panels/VolumeDlg.h"
#include "platform/Sync.h"
#include "res/Resource.h"
#include "support/GuiTest.h"
#include "transfer/TransferFunction.h"
#include "view/RenderWnd.h"
#include "volume/Volume.h"

using namespace guitest;

namespace {

const std::string kStarted = "ProgressiveVolumeThread started!\n";

class MainDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[PATH_MAX] = {};
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_sOldDir = cwd;
        // "default.trf" is read from the working directory at start-up.
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
        m_pRender = dynamic_cast<CRenderWnd*>(m_pApp->m_pRenderWnd);
        ASSERT_NE(m_pRender, nullptr);
        ASSERT_TRUE(WaitForShown(m_pDlg));
        ASSERT_TRUE(WaitForShown(m_pRender->GetCanvas()));
    }

    void TearDown() override {
        // Ends the program's way if the test has not: the teardown runs and
        // leaves no object behind.
        if (m_pDlg && !m_pDlg->HasEnded())
            m_pDlg->Close();
        Pump(50);
        EXPECT_EQ(m_pApp->m_pRenderWnd, nullptr);
        EXPECT_EQ(m_pApp->m_pTransferFunction, nullptr);
        EXPECT_EQ(m_pApp->m_pVectorMath, nullptr);
        EXPECT_EQ(m_pApp->m_pVolume, nullptr);
        EXPECT_EQ(chdir(m_sOldDir.c_str()), 0);
    }

    wxRadioButton* Radio(int nId) { return dynamic_cast<wxRadioButton*>(m_pDlg->FindWindow(nId)); }
    wxButton* Button(int nId) { return dynamic_cast<wxButton*>(m_pDlg->FindWindow(nId)); }

    void Click(int nId) {
        wxCommandEvent event(wxEVT_BUTTON, nId);
        event.SetEventObject(m_pDlg->FindWindow(nId));
        m_pDlg->FindWindow(nId)->GetEventHandler()->ProcessEvent(event);
    }

    // A real mouse click in the middle of a control.
    void RealClick(wxWindow* pControl) {
        wxUIActionSimulator sim;
        const wxSize size = pControl->GetSize();
        sim.MouseMove(pControl->ClientToScreen(wxPoint(size.GetWidth() / 4, size.GetHeight() / 2)));
        Pump(30);
        sim.MouseClick();
        Pump(100);
    }

    std::string WriteVolume(const std::string& sName, int nDim, int16_t nValue) {
        const std::string sPath = m_Dir.Path(sName);
        WriteRaw(sPath, nDim, nDim, nDim,
                 std::vector<int16_t>(static_cast<size_t>(nDim) * nDim * nDim, nValue));
        return sPath;
    }

    CTempDir m_Dir;
    std::string m_sOldDir;
    CViewerApp* m_pApp = nullptr;
    CMainDlg* m_pDlg = nullptr;
    CRenderWnd* m_pRender = nullptr;
};

TEST_F(MainDlgTest, StartUpShowsTheWindowsInTheirStartState) {
    // The render window: black, titled, no mode.
    EXPECT_EQ(m_pRender->GetTitle(), TEXT_RENDER_TITLE);
    EXPECT_TRUE(m_pRender->IsShownOnScreen());
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_NONE);
    m_pRender->Repaint();
    const Pixels pixels = ReadShownPixels(m_pRender->GetCanvas());
    EXPECT_EQ(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight), 0);
    // "default.trf" was loaded from the working directory.
    bool bFound = false;
    for (ControlPoint* p = m_pApp->m_pTransferFunction->GetFirstPoint(); p; p = p->next)
        bFound = bFound || p->position == 1234;
    EXPECT_TRUE(bFound);
    EXPECT_NE(m_pApp->m_pVectorMath, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);

    // The main dialog: caption, place, size in dialog units, controls.
    EXPECT_EQ(m_pDlg->GetTitle(), "Orvex");
    EXPECT_EQ(m_pDlg->GetScreenPosition(), wxPoint(100, 100));
    EXPECT_EQ(m_pDlg->GetClientSize(), m_pDlg->ConvertDialogToPixels(wxSize(144, 407)));
    EXPECT_FALSE(m_pDlg->IsModal());
    const std::vector<std::pair<int, std::wstring>> controls = {
        {IDC_LOAD_DATASET, L"Load Dataset"}, {IDC_SLICING, L"Slicing"}, {IDC_VOLUME, L"Volume"},
        {IDC_REFRESH, L"Refresh"},           {IDC_EXIT, L"Exit"},       {IDC_INFO, L"Info"}};
    for (const auto& [nId, sLabel] : controls) {
        wxWindow* pControl = m_pDlg->FindWindow(nId);
        ASSERT_NE(pControl, nullptr) << nId;
        EXPECT_EQ(pControl->GetLabel(), wxString(sLabel.c_str()));
    }
    EXPECT_EQ(m_pDlg->FindWindow(IDC_LOAD_DATASET)->GetPosition(),
              m_pDlg->ConvertDialogToPixels(wxPoint(2, 7)));
    EXPECT_EQ(m_pDlg->FindWindow(IDC_EXIT)->GetPosition(),
              m_pDlg->ConvertDialogToPixels(wxPoint(2, 390)));
    EXPECT_EQ(m_pDlg->GetDefaultItem(), m_pDlg->FindWindow(IDC_EXIT));
    // Mode radios disabled and unselected, no panel, "Refresh" enabled.
    EXPECT_FALSE(Radio(IDC_SLICING)->IsEnabled());
    EXPECT_FALSE(Radio(IDC_VOLUME)->IsEnabled());
    EXPECT_FALSE(Radio(IDC_SLICING)->GetValue());
    EXPECT_FALSE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_TRUE(Button(IDC_REFRESH)->IsEnabled());
    EXPECT_TRUE(Button(IDC_LOAD_DATASET)->IsEnabled());
    // Both panels exist, hidden.
    ASSERT_NE(m_pDlg->m_pSlicingDlg, nullptr);
    ASSERT_NE(m_pDlg->m_pVolumeDlg, nullptr);
    EXPECT_FALSE(m_pDlg->m_pSlicingDlg->IsShown());
    EXPECT_FALSE(m_pDlg->m_pVolumeDlg->IsShown());

    // The render window stays usable beside the dialog: a setter repaints it.
    EXPECT_TRUE(m_pRender->IsEnabled());
}

TEST_F(MainDlgTest, LoadingADatasetEnablesTheModesAndKeepsTheRendererIdle) {
    const std::string sPath = WriteVolume("cube.dat", 16, 2000);
    CMessageBoxCapture boxes;
    EXPECT_EQ(m_pDlg->LoadDatasetFile(sPath), 0);
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_NE(m_pApp->m_pVolume, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume->m_nDimX, 16);
    EXPECT_NE(m_pApp->m_pVolume->m_pVoxels, nullptr);
    EXPECT_TRUE(Radio(IDC_SLICING)->IsEnabled());
    EXPECT_TRUE(Radio(IDC_VOLUME)->IsEnabled());
    // Neither mode is selected yet, and the load neither repainted nor restarted.
    EXPECT_FALSE(Radio(IDC_SLICING)->GetValue());
    EXPECT_FALSE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_NONE);
    EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
}

TEST_F(MainDlgTest, UnreadableDatasetIsReportedButBecomesCurrent) {
    const std::string sGood = WriteVolume("good.dat", 8, 1000);
    ASSERT_EQ(m_pDlg->LoadDatasetFile(sGood), 0);

    struct Case {
        std::string sName;
        std::vector<unsigned char> bytes;
        std::string sReason;
    };
    const std::vector<Case> cases = {
        {"short.dat", {4, 0, 4, 0, 4, 0, 1, 0, 2, 0}, "too short"},
        {"header.dat", {0, 0, 4, 0, 4, 0}, "invalid header"},
        {"cut.dat", {4, 0}, "invalid header"},
        {"missing.dat", {}, "cannot be opened"},
    };
    for (const Case& c : cases) {
        const std::string sPath = m_Dir.Path(c.sName);
        if (!c.bytes.empty()) {
            FILE* f = std::fopen(sPath.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
            std::fclose(f);
        }
        CMessageBoxCapture boxes;
        EXPECT_EQ(m_pDlg->LoadDatasetFile(sPath), -1) << c.sName;
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.sName;
        const MessageBoxRequest& box = boxes.boxes[0];
        EXPECT_NE(box.sText.Find(wxString(sPath)), wxNOT_FOUND) << box.sText;
        EXPECT_NE(box.sText.Find(wxString(c.sReason)), wxNOT_FOUND) << box.sText;
        EXPECT_EQ(box.sCaption, TEXT_DATASET_ERROR_CAPTION);
        EXPECT_EQ(box.pOwner, m_pDlg);
        // The empty dataset is the current one; the modes stay enabled.
        ASSERT_NE(m_pApp->m_pVolume, nullptr);
        EXPECT_EQ(m_pApp->m_pVolume->m_pVoxels, nullptr);
        EXPECT_TRUE(Radio(IDC_SLICING)->IsEnabled());
        EXPECT_TRUE(Radio(IDC_VOLUME)->IsEnabled());
    }
    // Slicing an empty dataset shows a black window.
    wxCommandEvent click(wxEVT_RADIOBUTTON, IDC_SLICING);
    m_pDlg->OnSlicing(click);
    const Pixels pixels = ReadShownPixels(m_pRender->GetCanvas());
    EXPECT_EQ(pixels.CountNonBlack(0, 0, pixels.nWidth, pixels.nHeight), 0);
}

TEST_F(MainDlgTest, FileDialogAsksForAnExistingDatasetAndCancelChangesNothing) {
    wxString sWildcard;
    long nStyle = 0;
    CModalDialogStub stub([&](wxDialog* pDialog) {
        auto* pFile = dynamic_cast<wxFileDialog*>(pDialog);
        EXPECT_NE(pFile, nullptr);
        if (pFile) {
            sWildcard = pFile->GetWildcard();
            nStyle = pFile->GetWindowStyle();
        }
        return wxID_CANCEL;
    });
    Click(IDC_LOAD_DATASET);
    EXPECT_EQ(stub.nCalls, 1);
    EXPECT_EQ(sWildcard, TEXT_DATASET_FILTER);
    EXPECT_TRUE(nStyle & wxFD_OPEN);
    EXPECT_TRUE(nStyle & wxFD_FILE_MUST_EXIST);
    // Cancelled before any dataset: the radios stay disabled.
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);
    EXPECT_FALSE(Radio(IDC_SLICING)->IsEnabled());
    EXPECT_FALSE(Radio(IDC_VOLUME)->IsEnabled());

    // Cancelled with a dataset loaded: it stays.
    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteVolume("kept.dat", 8, 1500)), 0);
    CVolume* pKept = m_pApp->m_pVolume;
    Click(IDC_LOAD_DATASET);
    EXPECT_EQ(stub.nCalls, 2);
    EXPECT_EQ(m_pApp->m_pVolume, pKept);
}

TEST_F(MainDlgTest, ModeRadiosSwitchTheRenderModeAndVolumeRestartsOnEveryClick) {
    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteVolume("cube.dat", 16, 2000)), 0);
    CDebugCapture capture;
    // Real clicks: the radio selects itself and its handler runs.
    RealClick(Radio(IDC_SLICING));
    ASSERT_TRUE(WaitFor([&] { return m_pRender->GetRenderMode() == RENDER_MODE_SLICING; }));
    EXPECT_TRUE(Radio(IDC_SLICING)->GetValue());
    EXPECT_FALSE(Radio(IDC_VOLUME)->GetValue());
    RealClick(Radio(IDC_SLICING));
    EXPECT_EQ(capture.Count(kStarted), 0);

    RealClick(Radio(IDC_VOLUME));
    ASSERT_TRUE(WaitFor([&] { return m_pRender->GetRenderMode() == RENDER_MODE_VOLUME; }));
    EXPECT_TRUE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_FALSE(Radio(IDC_SLICING)->GetValue());
    EXPECT_TRUE(WaitFor([&] { return capture.Count(kStarted) == 1; }));
    // Clicking the selected "Volume" again restarts the renderer.
    RealClick(Radio(IDC_VOLUME));
    EXPECT_TRUE(WaitFor([&] { return capture.Count(kStarted) == 2; }));
    EXPECT_TRUE(WaitForTitle(m_pRender, "Render Output - finished"));

    // Loading another dataset keeps the mode and does not restart.
    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteVolume("other.dat", 8, 1000)), 0);
    Pump(100);
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_VOLUME);
    EXPECT_TRUE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_EQ(capture.Count(kStarted), 2);
}

TEST_F(MainDlgTest, RefreshRestartsTheRendererInAnyMode) {
    CDebugCapture capture;
    // Without a dataset the run ends at once.
    Click(IDC_REFRESH);
    m_pRender->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 0);

    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteVolume("cube.dat", 16, 2000)), 0);
    wxCommandEvent click(wxEVT_RADIOBUTTON, IDC_SLICING);
    m_pDlg->OnSlicing(click);
    Click(IDC_REFRESH);
    m_pRender->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_SLICING);
}

TEST_F(MainDlgTest, InfoOpensTheAboutBox) {
    wxString sCaption;
    std::vector<wxString> texts;
    wxString sOk;
    int nOkId = 0;
    bool bBitmap = false;
    CModalDialogStub stub([&](wxDialog* pDialog) {
        EXPECT_NE(dynamic_cast<CAboutDlg*>(pDialog), nullptr);
        sCaption = pDialog->GetTitle();
        for (wxWindow* pChild : pDialog->GetChildren()) {
            if (dynamic_cast<wxStaticText*>(pChild))
                texts.push_back(pChild->GetLabel());
            if (auto* pButton = dynamic_cast<wxButton*>(pChild)) {
                sOk = pButton->GetLabel();
                nOkId = pButton->GetId();
            }
            bBitmap = bBitmap || dynamic_cast<wxStaticBitmap*>(pChild) != nullptr;
        }
        return wxID_OK;
    });
    Click(IDC_INFO);
    EXPECT_EQ(stub.nCalls, 1);
    EXPECT_EQ(sCaption, wxString(L"Info \u00fcber Orvex"));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Orvex Version 1.0");
    EXPECT_FALSE(texts[1].empty());
    EXPECT_EQ(sOk, "OK");
    EXPECT_EQ(nOkId, 1);
    EXPECT_TRUE(bBitmap);
}

TEST_F(MainDlgTest, ExitDuringARunStopsWaitsAndTearsDown) {
    // A run that takes a while: the teardown must wait for its end before the
    // window and the dataset go.
    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteVolume("big.dat", 96, 2500)), 0);
    wxCommandEvent click(wxEVT_RADIOBUTTON, IDC_VOLUME);
    m_pDlg->OnVolume(click);
    ASSERT_TRUE(m_pRender->m_hThreadRunning.IsSet());
    Click(IDC_EXIT);
    EXPECT_TRUE(m_pDlg->HasEnded());
    EXPECT_EQ(m_pApp->m_pRenderWnd, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);
}

} // namespace
