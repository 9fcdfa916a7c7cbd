// The running viewer inside the test process: the start-up state of all three
// windows, the main dialog's load path, mode radios, "Refresh", about box and
// exit, and the editor following the dataset and the mode.
#include <wx/filedlg.h>
#include <wx/statbmp.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>

#include "app/AboutDlg.h"
#include "support/GuiTest.h"

using namespace guitest;

namespace {

// A real T1 MRI in NIfTI (Debian's mricron-data).
const char kBrain[] = "/usr/share/mricron/templates/inia19-t1-brain.nii.gz";

// The editor's histogram grey (0.7 of 255), counted from column 40 on: the main
// dialog may cover the editor's left edge.
int CountHistogramPixels(const Pixels& pixels) {
    return pixels.CountGrey(178, 40);
}

class MainDlgTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        m_nH = m_pEditor->m_nHeight;
    }

    wxRadioButton* Radio(int nId) { return dynamic_cast<wxRadioButton*>(m_pDlg->FindWindow(nId)); }
    // A button's click as its handler receives it.
    void Press(int nId) {
        wxCommandEvent event(wxEVT_BUTTON, nId);
        event.SetEventObject(m_pDlg->FindWindow(nId));
        m_pDlg->FindWindow(nId)->GetEventHandler()->ProcessEvent(event);
    }
    // 8 x 8 x 8 voxels, half at 1000 and half at 3000.
    void LoadHalves() {
        LoadDataset(8, 8, 8, [](int, int, int z) { return z < 4 ? 1000 : 3000; });
    }
    std::string WriteCube(const std::string& sName, int nDim, int nValue) {
        return m_Dir.Write(
            sName, testfiles::FieldBytes(nDim, nDim, nDim, [=](int, int, int) { return nValue; }));
    }
    Pixels EditorShows() { return ReadShownPixels(m_pEditor->GetCanvas()); }
    // Where the editor draws the point at 1234 of default.trf, and its colour.
    bool EditorShowsPoint1234(const Pixels& pixels) {
        return pixels.Is(ValueToPixelX(1234, 700), OpacityToPixelY(0.75f, m_nH) + 2, 255, 128, 64);
    }

    int m_nH = 0;
};

TEST_F(MainDlgTest, StartUpShowsTheThreeWindowsInTheirStartState) {
    // The render window: titled, black, no mode, no close, minimise or maximise box.
    EXPECT_EQ(m_pRender->GetTitle(), "Render Output");
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_NONE);
    m_pRender->Repaint();
    EXPECT_EQ(RenderShows().CountNonBlack(), 0);
    for (CGLFrame* pFrame : {static_cast<CGLFrame*>(m_pRender), static_cast<CGLFrame*>(m_pEditor)})
        EXPECT_FALSE(
            pFrame->HasFlag(wxCLOSE_BOX | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxSYSTEM_MENU));
    EXPECT_TRUE(m_pRender->IsEnabled()); // usable beside the main dialog
    // The editor below it shows "default.trf" from the working directory, and
    // no histogram without a dataset.
    EXPECT_EQ(m_pEditor->GetTitle(), "Transfer Function Editor");
    const Pixels editor = EditorShows();
    EXPECT_TRUE(EditorShowsPoint1234(editor));
    EXPECT_EQ(CountHistogramPixels(editor), 0);
    EXPECT_NE(m_pApp->m_pVectorMath, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);

    // The main dialog: caption, place, size in dialog units, texts.
    EXPECT_EQ(m_pDlg->GetTitle(), "Orvex");
    EXPECT_EQ(m_pDlg->GetScreenPosition(), wxPoint(100, 100));
    EXPECT_EQ(m_pDlg->GetClientSize(), m_pDlg->ConvertDialogToPixels(wxSize(144, 407)));
    const std::vector<std::pair<int, const char*>> controls = {
        {IDC_LOAD_DATASET, "Load Dataset"}, {IDC_SLICING, "Slicing"}, {IDC_VOLUME, "Volume"},
        {IDC_REFRESH, "Refresh"},           {IDC_EXIT, "Exit"},       {IDC_INFO, "Info"}};
    for (const auto& [nId, sLabel] : controls) {
        ASSERT_NE(m_pDlg->FindWindow(nId), nullptr) << nId;
        EXPECT_EQ(m_pDlg->FindWindow(nId)->GetLabel(), sLabel);
        EXPECT_EQ(m_pDlg->FindWindow(nId)->IsEnabled(), nId != IDC_SLICING && nId != IDC_VOLUME);
    }
    EXPECT_EQ(m_pDlg->GetDefaultItem(), m_pDlg->FindWindow(IDC_EXIT));
    // Neither mode selected, and no panel: both exist hidden, below the radios.
    EXPECT_FALSE(Radio(IDC_SLICING)->GetValue());
    EXPECT_FALSE(Radio(IDC_VOLUME)->GetValue());
    for (wxWindow* pPanel :
         {static_cast<wxWindow*>(m_pSlicing), static_cast<wxWindow*>(m_pVolume)}) {
        ASSERT_NE(pPanel, nullptr);
        EXPECT_FALSE(pPanel->IsShown());
        EXPECT_GT(pPanel->GetPosition().y, m_pDlg->m_btnRefresh->GetRect().GetBottom());
    }
}

TEST_F(MainDlgTest, LoadingADatasetEnablesTheModesAndRedrawsTheEditorAtOnce) {
    // Before any dataset "Refresh" tries a run, which ends at once.
    CDebugCapture capture;
    Press(IDC_REFRESH);
    m_pRender->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 0);

    CMessageBoxCapture boxes;
    LoadHalves();
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_NE(m_pApp->m_pVolume, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume->m_nDimX, 8);
    EXPECT_TRUE(Radio(IDC_SLICING)->IsEnabled());
    EXPECT_TRUE(Radio(IDC_VOLUME)->IsEnabled());
    // No mode chosen yet; the load neither repainted nor restarted the renderer.
    EXPECT_FALSE(Radio(IDC_SLICING)->GetValue());
    EXPECT_FALSE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_NONE);
    EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
    // No pumping: the load itself has repainted the editor. Two full-height
    // columns (both bins are the fullest), less where the curve crosses them.
    const int nHistogram = CountHistogramPixels(EditorShows());
    EXPECT_GE(nHistogram, 2 * m_nH - 4);
    EXPECT_LE(nHistogram, 2 * m_nH);
}

TEST_F(MainDlgTest, ModeRadiosSwitchTheModeAndRedrawTheEditor) {
    LoadHalves();
    const int x1234 = ValueToPixelX(1234, 700);
    CDebugCapture capture;
    // Real clicks: the radio selects itself and its handler runs; Slicing only
    // repaints, also when clicked again.
    for (int i = 0; i < 2; ++i) {
        Click(Radio(IDC_SLICING));
        ASSERT_TRUE(WaitFor([&] { return m_pRender->GetRenderMode() == RENDER_MODE_SLICING; }));
    }
    EXPECT_TRUE(Radio(IDC_SLICING)->GetValue());
    EXPECT_FALSE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_TRUE(m_pSlicing->IsShown());
    EXPECT_EQ(capture.Count(kStarted), 0);
    // The editor shows the colour bar, with the histogram above it.
    Pixels editor = EditorShows();
    EXPECT_TRUE(editor.Is(x1234, 7, 255, 128, 64));
    EXPECT_EQ(CountHistogramPixels(editor), 2 * (m_nH - 16));
    // "Refresh" in Slicing mode recomputes the volume image in the background.
    Press(IDC_REFRESH);
    m_pRender->WaitForWorkerEnd();
    EXPECT_EQ(capture.Count(kStarted), 1);
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_SLICING);

    // Volume restarts the renderer on every click, also when it is selected.
    for (int nStarts : {2, 3}) {
        Click(Radio(IDC_VOLUME));
        EXPECT_TRUE(WaitFor([&] { return capture.Count(kStarted) == nStarts; }));
    }
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_VOLUME);
    EXPECT_TRUE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_FALSE(m_pSlicing->IsShown());
    EXPECT_TRUE(m_pVolume->IsShown());
    editor = EditorShows();
    EXPECT_TRUE(editor.Is(x1234, 7, 204, 204, 204, 0)); // no bar
    EXPECT_TRUE(EditorShowsPoint1234(editor));
    EXPECT_TRUE(WaitForTitle(m_pRender, kFinished));

    // Loading another dataset keeps the mode and does not restart.
    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteCube("other.dat", 8, 3000)), 0);
    Pump();
    m_pRender->WaitForWorkerEnd(); // a restart would have printed its line by now
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_VOLUME);
    EXPECT_TRUE(Radio(IDC_VOLUME)->GetValue());
    EXPECT_EQ(capture.Count(kStarted), 3);
}

TEST_F(MainDlgTest, AFailedLoadIsReportedAndChangesNothing) {
    const std::pair<std::string, const char*> cases[] = {
        {m_Dir.Write("short.dat", testfiles::RawBytes(4, 4, 4, {1, 2})), "too short"},
        {m_Dir.Write("header.dat", testfiles::RawBytes(0, 4, 4, {})), "invalid header"},
        {m_Dir.Write("cut.dat", testfiles::Le16(4)), "invalid header"},
        {m_Dir.Path("missing.dat"), "cannot be opened"},
        // Scans cut short, and a folder without a DICOM series.
        {m_Dir.Write("cut.nii.gz", testfiles::ReadFile(kBrain).substr(0, 200000)),
         "its image data cannot be read (the file is damaged or cut short)"},
        {m_Dir.Write("cut.nrrd", "NRRD0004\ntype: short\ndimension: 3\nsizes: 4 4 4\n"
                                 "encoding: raw\nendian: little\n\n" +
                                     std::string(100, '\0')),
         "its image data cannot be read"},
        {m_Dir.Path(), "the folder holds no DICOM series"},
    };
    // Before any dataset the modes stay disabled.
    {
        CMessageBoxCapture boxes;
        EXPECT_EQ(m_pDlg->LoadDatasetFile(cases[0].first), -1);
        EXPECT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(m_pApp->m_pVolume, nullptr);
        EXPECT_FALSE(Radio(IDC_SLICING)->IsEnabled());
    }
    // Slice 7 of a dataset: it stays, and so do picture, editor, panel and radios.
    LoadHalves();
    ChooseSlicing();
    Key(m_pSlicing->m_sliderSlice, WXK_END);
    const CVolume* pKept = m_pApp->m_pVolume;
    const Pixels render = RenderShows();
    const Pixels editor = EditorShows();
    ASSERT_GT(render.CountNonBlack(), 0);
    for (const auto& [sPath, sReason] : cases) {
        CMessageBoxCapture boxes;
        EXPECT_EQ(m_pDlg->LoadDatasetFile(sPath), -1) << sPath;
        ASSERT_EQ(boxes.boxes.size(), 1u) << sPath;
        const MessageBoxRequest& box = boxes.boxes[0];
        EXPECT_NE(box.sText.Find(wxString(sPath)), wxNOT_FOUND) << box.sText;
        EXPECT_NE(box.sText.Find(sReason), wxNOT_FOUND) << box.sText;
        EXPECT_EQ(box.sCaption, "Load Dataset");
        EXPECT_EQ(box.pOwner, m_pDlg);
        ASSERT_EQ(m_pApp->m_pVolume, pKept);
        ASSERT_NE(pKept->m_pVoxels, nullptr);
        EXPECT_TRUE(Radio(IDC_SLICING)->GetValue());
        EXPECT_TRUE(m_pSlicing->IsShown());
        EXPECT_EQ(m_pSlicing->m_staticSliceNumber->GetLabel(), "Slice # 7");
        m_pRender->Repaint();
        m_pEditor->Repaint();
        EXPECT_EQ(RenderShows().rgb, render.rgb);
        EXPECT_EQ(EditorShows().rgb, editor.rgb);
    }
}

TEST_F(MainDlgTest, CloseRequestsLeaveTheRenderWindowAndTheEditorInPlace) {
    // A block of 2000 in a volume of 1: coloured in both modes.
    LoadDataset(24, 24, 24, [](int x, int y, int z) {
        auto inside = [](int c) { return c >= 6 && c < 18; };
        return inside(x) && inside(y) && inside(z) ? 2000 : 1;
    });
    ChooseVolume();
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    // The window manager's close request (Alt+F4) reaches both and is refused.
    int nRequests = 0;
    const wxWeakRef<wxFrame> frames[] = {m_pRender, m_pEditor};
    for (wxFrame* pFrame : frames) {
        pFrame->Bind(wxEVT_CLOSE_WINDOW, [&](wxCloseEvent& event) {
            ++nRequests;
            event.Skip();
        });
        ASSERT_TRUE(SendCloseRequest(dynamic_cast<CGLFrame*>(pFrame)->GetCanvas()));
    }
    ASSERT_TRUE(WaitFor([&] { return nRequests == 2; }));
    Pump(); // a window that has accepted is deleted at the next idle time
    for (const wxWeakRef<wxFrame>& pFrame : frames) {
        ASSERT_TRUE(pFrame);
        EXPECT_TRUE(pFrame->IsShownOnScreen());
    }
    // Refresh and a mode change still work.
    ExpectOneRun([&] { Press(IDC_REFRESH); });
    EXPECT_GT(RenderShows().CountColoured(), 0);
    ChooseSlicing();
    EXPECT_GT(RenderShows().CountNonBlack(), 0);
    EXPECT_TRUE(EditorShows().Is(ValueToPixelX(1234, 700), 7, 255, 128, 64));
}

TEST_F(MainDlgTest, FileDialogAsksForAnExistingDatasetAndCancelChangesNothing) {
    wxString sWildcard;
    long nStyle = 0;
    CModalDialogStub stub([&](wxDialog* pDialog) {
        auto* pFile = dynamic_cast<wxFileDialog*>(pDialog);
        EXPECT_NE(pFile, nullptr);
        sWildcard = pFile ? pFile->GetWildcard() : "";
        nStyle = pFile ? pFile->GetWindowStyle() : 0;
        return wxID_CANCEL;
    });
    Press(IDC_LOAD_DATASET);
    EXPECT_EQ(stub.nCalls, 1);
    // Every volume file first, then each kind, then every file.
    EXPECT_EQ(sWildcard, "All volume files|*.dat;*.nii;*.nii.gz;*.hdr;*.img;*.nrrd;*.nhdr;*.mha;"
                         "*.mhd;*.dcm;*.ima;*|RAW volume datasets (*.dat)|*.dat|"
                         "NIfTI (*.nii;*.nii.gz;*.hdr;*.img)|*.nii;*.nii.gz;*.hdr;*.img|"
                         "NRRD (*.nrrd;*.nhdr)|*.nrrd;*.nhdr|MetaImage (*.mha;*.mhd)|*.mha;*.mhd|"
                         "DICOM (*.dcm;*.ima;*)|*.dcm;*.ima;*|All Files (*.*)|*.*");
    EXPECT_EQ(nStyle & (wxFD_OPEN | wxFD_FILE_MUST_EXIST), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    // Cancelled before any dataset: the radios stay disabled.
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);
    EXPECT_FALSE(Radio(IDC_SLICING)->IsEnabled());
    // Cancelled with a dataset loaded: it stays.
    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteCube("kept.dat", 8, 1500)), 0);
    CVolume* pKept = m_pApp->m_pVolume;
    Press(IDC_LOAD_DATASET);
    EXPECT_EQ(stub.nCalls, 2);
    EXPECT_EQ(m_pApp->m_pVolume, pKept);
}

TEST_F(MainDlgTest, InfoOpensTheAboutBox) {
    std::vector<wxString> texts;
    CModalDialogStub stub([&](wxDialog* pDialog) {
        EXPECT_NE(dynamic_cast<CAboutDlg*>(pDialog), nullptr);
        texts.push_back(pDialog->GetTitle());
        for (wxWindow* pChild : pDialog->GetChildren()) {
            if (dynamic_cast<wxStaticText*>(pChild) || dynamic_cast<wxButton*>(pChild))
                texts.push_back(pChild->GetLabel());
            if (dynamic_cast<wxStaticBitmap*>(pChild))
                texts.push_back("icon");
        }
        return wxID_OK;
    });
    Press(IDC_INFO);
    EXPECT_EQ(stub.nCalls, 1);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0], wxString(L"Info \u00fcber Orvex"));
    EXPECT_EQ(texts[1], "icon");
    EXPECT_EQ(texts[2], "Orvex Version 1.0");
    EXPECT_FALSE(texts[3].empty());
    EXPECT_EQ(texts[4], "OK");
}

TEST_F(MainDlgTest, EscapeDuringARunWaitsForTheWorkerAndTearsEverythingDown) {
    // A run that takes a while: the teardown must wait for its end before the
    // window and the dataset go. Escape ends the dialog like "Exit".
    ASSERT_EQ(m_pDlg->LoadDatasetFile(WriteCube("big.dat", 96, 2500)), 0);
    wxCommandEvent click(wxEVT_RADIOBUTTON, IDC_VOLUME);
    m_pDlg->OnVolume(click);
    ASSERT_TRUE(m_pRender->m_hThreadRunning.IsSet());
    wxWindow* pEditor = m_pEditor;
    Key(m_pDlg->m_btnRefresh, WXK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !m_pDlg; }));
    EXPECT_EQ(m_pApp->m_pRenderWnd, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);
    EXPECT_EQ(m_pApp->m_pTransferFunctionWnd, nullptr);
    EXPECT_TRUE(WaitFor([&] {
        for (wxWindow* pWindow : wxTopLevelWindows)
            if (pWindow == pEditor)
                return false;
        return true;
    }));
}

} // namespace
