// The running viewer inside the test process: the start-up state of all three
// windows, the main dialog's load path, mode radios, "Refresh" and exit, and
// the editor following the dataset and the mode.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>

#include "render/DatasetPresets.h"
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
    ASSERT_EQ(LoadAndWait(m_pDlg, WriteCube("other.dat", 8, 3000)), 0);
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
         "the file is cut short: its 100 bytes cannot hold the 128 bytes"},
        {m_Dir.Path(), "the folder holds no DICOM series"},
    };
    // Before any dataset the modes stay disabled.
    {
        CMessageBoxCapture boxes;
        EXPECT_EQ(LoadAndWait(m_pDlg, cases[0].first), -1);
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
        EXPECT_EQ(LoadAndWait(m_pDlg, sPath), -1) << sPath;
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

TEST_F(MainDlgTest, ALoadRunsInTheBackgroundAndCancelLeavesEverythingAsItWas) {
    LoadHalves();
    ChooseSlicing();
    const CVolume* pOld = m_pApp->m_pVolume;
    const wxString sStatus = m_pDlg->m_staticStatus->GetLabel();
    // A load held by a pipe that delivers half of it.
    const std::string sPipe = m_Dir.Path("slow.dat");
    ASSERT_EQ(mkfifo(sPipe.c_str(), 0600), 0);
    const std::string sBytes =
        testfiles::FieldBytes(32, 32, 32, [](int, int, int) { return 2000; });
    // "Cancel", Escape, then "Exit" in the middle of the load.
    for (int nEnd : {IDC_CANCEL_LOAD, int(WXK_ESCAPE), IDC_EXIT}) {
        const int nFd = open(sPipe.c_str(), O_RDWR | O_NONBLOCK);
        ASSERT_GE(nFd, 0);
        m_pDlg->LoadDatasetFile(sPipe);
        ASSERT_EQ(write(nFd, sBytes.data(), sBytes.size() / 2),
                  static_cast<ssize_t>(sBytes.size() / 2));
        EXPECT_TRUE(WaitFor([&] {
            return m_pDlg->m_staticStatus->GetLabel().StartsWith(
                       wxString::FromUTF8("Loading slow.dat \u2026 29 %")) ||
                   m_pDlg->m_staticStatus->GetLabel().StartsWith(
                       wxString::FromUTF8("Loading slow.dat \u2026 30 %"));
        })) << m_pDlg->m_staticStatus->GetLabel();
        EXPECT_TRUE(m_pDlg->m_pLoadGauge->IsShown() && m_pDlg->m_btnCancelLoad->IsShown());
        // The old dataset's slices follow the slice number meanwhile.
        const Pixels before = RenderShows();
        m_pRender->SetSliceNumber(m_pRender->m_nSlice < 4 ? 6 : 1);
        EXPECT_TRUE(WaitFor([&] { return RenderShows().rgb != before.rgb; }));
        ASSERT_TRUE(m_pDlg->IsLoading());
        if (nEnd == WXK_ESCAPE) {
            Key(m_pDlg->m_btnRefresh, WXK_ESCAPE);
        } else if (nEnd == IDC_EXIT) {
            Press(IDC_EXIT);
            EXPECT_TRUE(WaitFor([&] { return !m_pDlg; }));
            close(nFd);
            break;
        } else {
            Click(m_pDlg->m_btnCancelLoad);
        }
        close(nFd);
        ASSERT_TRUE(WaitFor([&] { return m_pDlg && !m_pDlg->IsLoading(); }));
        EXPECT_EQ(m_pApp->m_pVolume, pOld);
        EXPECT_EQ(m_pDlg->m_staticStatus->GetLabel(), sStatus);
        EXPECT_FALSE(m_pDlg->m_pLoadGauge->IsShown() || m_pDlg->m_btnCancelLoad->IsShown());
        EXPECT_TRUE(m_pDlg->IsShown());
    }
}

TEST_F(MainDlgTest, EscapeDuringARunWaitsForTheWorkerAndTearsEverythingDown) {
    // A run that takes a while: the teardown must wait for its end before the
    // window and the dataset go. Escape ends the dialog like "Exit".
    ASSERT_EQ(LoadAndWait(m_pDlg, WriteCube("big.dat", 96, 2500)), 0);
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

// Started where there is no "default.trf", as outside the sample folder.
class NoDefaultTrfTest : public ViewerTest {
protected:
    void SetUp() override {
        m_bDefaultTrf = false;
        ViewerTest::SetUp();
    }
    bool StatusSays(const wxString& sText) const {
        wxString sStatus = m_pDlg->m_staticStatus->GetLabel();
        sStatus.Replace("\n", " ");
        return sStatus.Contains(sText);
    }
    // Whether the function holds the preset's points for the current dataset.
    bool Holds(TransferPreset ePreset) const {
        const auto want = PresetPoints(ePreset, PresetDataOf(*m_pApp->m_pVolume));
        size_t i = 0;
        for (const ControlPoint* p = m_pApp->m_pTransferFunction->GetFirstPoint(); p; p = p->next)
            if (i >= want.size() || p->position != want[i].position ||
                p->opacity != want[i++].opacity)
                return false;
        return i == want.size();
    }
};

TEST_F(NoDefaultTrfTest, AScanGetsTheFitAndAPresetChosenFollowsToTheNextScan) {
    // A RAW dataset keeps the function as ever.
    LoadDataset(8, 8, 8, [](int, int, int z) { return z < 4 ? 0 : 2000; });
    EXPECT_FALSE(Holds(PRESET_FIT_TO_DATA));
    EXPECT_FALSE(StatusSays("default.trf"));
    ASSERT_EQ(LoadAndWait(m_pDlg, kBrain), 0);
    EXPECT_TRUE(Holds(PRESET_FIT_TO_DATA));
    EXPECT_TRUE(StatusSays(TEXT_FIT_NOTE));
    ChooseVolume();
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_GT(RenderShows().CountColoured(), 2000); // Levoy shows the brain
    // A preset from the editor's menu replaces the function at once.
    wxCommandEvent menu(wxEVT_MENU, MenuItemId(ID_TRANSFERFUNCTION_PRESET + PRESET_MR_BRAIN));
    m_pEditor->ProcessWindowEvent(menu);
    EXPECT_TRUE(Holds(PRESET_MR_BRAIN));
    EXPECT_FALSE(StatusSays("default.trf"));
    ASSERT_EQ(LoadAndWait(m_pDlg, kBrain), 0);
    EXPECT_TRUE(Holds(PRESET_MR_BRAIN));
    EXPECT_TRUE(StatusSays("Transfer function: MR brain, fitted to this scan"));
}

} // namespace
