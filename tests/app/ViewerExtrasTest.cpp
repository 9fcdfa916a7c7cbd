// What the running viewer offers beyond its three windows' pictures: saving the
// picture (what the window shows, equal to orvex-render's), the status text, the
// numbers beside the sliders, the keys, the file dialogs' folders, and a save
// that fails.
#include <filesystem>
#include <memory>

#include <wx/menu.h>
#include <wx/uiaction.h>

#include "ToolTestUtil.h"
#include "support/GuiTest.h"

using namespace guitest;

namespace {

// A 24^3 block of 3000 inside a 32^3 volume of 0.
int Block(int x, int y, int z) {
    auto inside = [](int c) { return c >= 4 && c < 28; };
    return inside(x) && inside(y) && inside(z) ? 3000 : 0;
}

const char* const kBlockDescription = "volume.dat\n32 x 32 x 32 voxels\nspacing 1 x 1 x 1\n"
                                      "values kept";

class ViewerExtrasTest : public ViewerTest {
protected:
    void TearDown() override {
        SetFileChooser({});
        ViewerTest::TearDown();
    }

    // Every file dialog records its request and answers sAnswer (empty: cancel).
    void AnswerFiles(const std::string& sAnswer) {
        SetFileChooser([this, sAnswer](wxWindow*, const FileRequest& request, wxString& sPath) {
            m_Requests.push_back(request);
            sPath = wxString::FromUTF8(sAnswer);
            return !sAnswer.empty();
        });
    }
    // The request the last key brought, checked to be the only one since the last.
    FileRequest Asked() {
        EXPECT_EQ(m_Requests.size(), 1u);
        const FileRequest request = m_Requests.empty() ? FileRequest{} : m_Requests.back();
        m_Requests.clear();
        return request;
    }

    std::string Status() const {
        return std::string(m_pDlg->m_staticStatus->GetLabel().utf8_str());
    }
    std::string Label(wxStaticText* pText) const {
        return std::string(pText->GetLabel().utf8_str());
    }
    wxGLCanvas* Canvas() const { return m_pRender->GetCanvas(); }

    std::vector<FileRequest> m_Requests;
};

TEST_F(ViewerExtrasTest, SavedVolumePictureIsWhatTheWindowShowsAndWhatOrvexRenderWrites) {
    const std::string sDataset = ORVEX_SAMPLE_DIR "/phantom.dat";
    ASSERT_EQ(m_pDlg->LoadDatasetFile(sDataset), 0);
    ChooseVolume();
    // Finished, for the client size the window has settled at (a late size
    // event restarts the run).
    ASSERT_TRUE(WaitFor(
        [&] {
            return m_pRender->GetTitle() == kFinished &&
                   Canvas()->GetClientSize() == wxSize(m_pRender->m_nWidth, m_pRender->m_nHeight);
        },
        30000));
    m_pRender->WaitForWorkerEnd();
    Pump();
    m_pRender->Repaint();
    const int W = m_pRender->m_nWidth;
    const int H = m_pRender->m_nHeight;

    // Ctrl+S proposes the dataset's folder and a name that tells what it shows.
    const std::string sSaved = m_Dir.Path("saved.png");
    AnswerFiles(sSaved);
    Key(Canvas(), 'S', wxMOD_CONTROL);
    const FileRequest request = Asked();
    EXPECT_EQ(request.eKind, FILE_PICTURE);
    EXPECT_TRUE(request.bSave);
    EXPECT_EQ(request.sFolder, ORVEX_SAMPLE_DIR);
    EXPECT_EQ(request.sName, "phantom-levoy.png");

    // orvex-render of the same dataset, table, settings and size: the same file.
    const std::string sRendered = m_Dir.Path("rendered.png");
    const tooltest::RunResult run = tooltest::RunProgram(
        ORVEX_RENDER_EXE, {sDataset, "--tf", m_Dir.Path("default.trf"), "--size",
                           std::to_string(W) + "x" + std::to_string(H), "-o", sRendered});
    ASSERT_EQ(run.nExitCode, 0) << run.sStderr;
    EXPECT_EQ(testfiles::ReadFile(sSaved), testfiles::ReadFile(sRendered));

    // Pixel for pixel what the window shows, except where the white wire box
    // shows through the undrawn last column and bottom row.
    const auto differFromWindow = [&](const tooltest::Picture& picture) {
        const Pixels shown = RenderShows();
        EXPECT_EQ(picture.sError, "");
        EXPECT_EQ(picture.nWidth, W);
        EXPECT_EQ(picture.nHeight, H);
        int nDiffer = 0;
        for (int y = 0; y < H && picture.nHeight == H; ++y)
            for (int x = 0; x < W && picture.nWidth == W; ++x) {
                const uint8_t* p = picture.Byte(x, y);
                nDiffer += !shown.Is(x, H - 1 - y, 255, 255, 255, 0) &&
                           !shown.Is(x, H - 1 - y, p[0], p[1], p[2]);
            }
        return nDiffer;
    };
    const tooltest::Picture saved = tooltest::ReadPng(sSaved);
    EXPECT_EQ(differFromWindow(saved), 0);
    EXPECT_GT(RenderShows().CountColoured(), W * H / 20);

    // A front image computed on every third column and row, each sample in a
    // colour of its own: the saved blocks are the window's quads, and the strips
    // after the last computed column and row stay black.
    ASSERT_TRUE(m_pRender->m_hImageMutex.Lock(1000));
    for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
            m_pRender->m_Image[x][y] =
                ImagePixel{x % 3 == 0 && y % 3 == 0, (x % 251) / 255.0f, (y % 241) / 255.0f, 0.5f};
    m_pRender->m_hImageMutex.Unlock();
    m_pRender->ForgetImageExtents();
    m_pRender->Repaint();
    ASSERT_EQ(m_pRender->SavePicture(sSaved), 0);
    const tooltest::Picture blocks = tooltest::ReadPng(sSaved);
    EXPECT_EQ(differFromWindow(blocks), 0);
    EXPECT_EQ(blocks.Byte(W - 1, 0)[2], 0);
    EXPECT_EQ(blocks.Byte(0, H - 1)[2], 0);
    EXPECT_EQ(blocks.Byte(4, 5)[0], 3); // the sample at (3, 3)
}

TEST_F(ViewerExtrasTest, StatusTellsTheDatasetAndHowFarTheRunHasCome) {
    EXPECT_EQ(Status(), "No dataset loaded");
    // In the free space below the taller panel, above "Info".
    const wxRect status = m_pDlg->m_staticStatus->GetRect();
    EXPECT_GT(status.GetTop(), m_pVolume->GetRect().GetBottom());
    EXPECT_GT(status.GetTop(), m_pSlicing->GetRect().GetBottom());
    EXPECT_LT(status.GetBottom(), m_pDlg->FindWindow(IDC_INFO)->GetRect().GetTop());

    LoadDataset(32, 32, 32, Block);
    EXPECT_EQ(Status(), kBlockDescription);
    // At 300 x 200 a run takes ten steps (a grid of 512 covers 300, and
    // 2 * 300 > 512); every status the notices bring, in order.
    m_pRender->SetClientSize(300, 200);
    ASSERT_TRUE(WaitFor([&] { return m_pRender->m_nWidth == 300 && m_pRender->m_nHeight == 200; }));
    std::vector<std::string> seen;
    m_pRender->SetStatusListener([&] {
        m_pDlg->UpdateStatus();
        if (seen.empty() || seen.back() != Status())
            seen.push_back(Status());
    });
    const auto start = std::chrono::steady_clock::now();
    ChooseVolume();
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    const double dWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m_pRender->WaitForWorkerEnd();
    WaitFor([&] { return seen.size() >= 11; });
    const std::string sDataset = std::string(kBlockDescription) + "\n";
    ASSERT_EQ(seen.size(), 11u);
    for (int nStep = 1; nStep <= 10; ++nStep)
        EXPECT_EQ(seen[nStep - 1], sDataset + "Step " + std::to_string(nStep) + " of 10");
    double dSeconds = -1.0;
    ASSERT_EQ(std::sscanf(seen[10].c_str() + sDataset.size(), "finished in %lf s", &dSeconds), 1)
        << seen[10];
    EXPECT_GT(dSeconds, 0.0);
    EXPECT_LE(dSeconds, dWall + 0.01);
    EXPECT_EQ(Status(), seen[10]);
    // Slicing mode tells no run.
    ChooseSlicing();
    EXPECT_EQ(Status(), kBlockDescription);
}

TEST_F(ViewerExtrasTest, SliderNumbersFollowDragsAndArrowKeysTurnTheView) {
    LoadDataset(32, 32, 32, Block);
    ChooseVolume();
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_EQ(Label(m_pVolume->m_staticLongitude), "0°");
    EXPECT_EQ(Label(m_pVolume->m_staticLatitude), "90°");
    // A drag in the render window: 100 pixels right in 600 turn by -30 degrees.
    m_pRender->ResizeGL(600, 400);
    ExpectOneRun([&] {
        SendMouse(Canvas(), wxEVT_LEFT_DOWN, 300, 200);
        SendMouse(Canvas(), wxEVT_MOTION, 400, 200);
        EXPECT_EQ(Label(m_pVolume->m_staticLongitude), "330°");
        SendMouse(Canvas(), wxEVT_LEFT_UP, 400, 200);
    });
    // An arrow turns by 5 degrees as a drag that way would; the sliders follow
    // at once, and the release renders.
    ExpectOneRun([&] {
        Focus(Canvas());
        wxUIActionSimulator sim;
        sim.KeyDown(WXK_LEFT);
        ASSERT_TRUE(WaitFor([&] { return Label(m_pVolume->m_staticLongitude) == "335°"; }));
        EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 335);
        EXPECT_TRUE(m_pRender->m_bInteractive);
        EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
        sim.KeyUp(WXK_LEFT);
        ASSERT_TRUE(WaitFor([&] { return !m_pRender->m_bInteractive; }));
    });
    EXPECT_EQ(m_pRender->m_fLongitude, DegreesToRadians(-25));
    ExpectOneRun([&] { Key(Canvas(), WXK_DOWN); });
    EXPECT_EQ(Label(m_pVolume->m_staticLatitude), "95°");
    EXPECT_EQ(m_pRender->m_fLatitude, DegreesToRadians(95));
    ExpectOneRun([&] { Key(Canvas(), WXK_RIGHT); });
    EXPECT_EQ(Label(m_pVolume->m_staticLongitude), "330°");

    // The thresholds stand beside their sliders, also while one is dragged.
    Click(m_pVolume->m_btnFirstHit);
    CFirstHitDlg* pFirstHit = m_pVolume->m_pFirstHitDlg;
    EXPECT_EQ(Label(pFirstHit->m_staticUpper), "4095");
    DragSlider(pFirstHit->m_sliderLower, 0, 2000, [&] {
        EXPECT_GT(pFirstHit->m_nLower, 1000);
        EXPECT_EQ(Label(pFirstHit->m_staticLower), std::to_string(pFirstHit->m_nLower));
    });
    EXPECT_EQ(Label(pFirstHit->m_staticLower),
              std::to_string(pFirstHit->m_sliderLower->GetValue()));
}

TEST_F(ViewerExtrasTest, KeysReachTheirCommandsAndEachKindOfFileKeepsItsFolder) {
    AnswerFiles("");
    // Nothing to show yet: Ctrl+S does nothing and the menu entry is disabled.
    Key(Canvas(), 'S', wxMOD_CONTROL);
    EXPECT_TRUE(m_Requests.empty());
    std::unique_ptr<wxMenu> pMenu(m_pRender->CreateContextMenu());
    EXPECT_EQ(pMenu->FindItem(ID_SAVE_PICTURE)->GetItemLabelText(), "Save Picture ...");
    EXPECT_FALSE(pMenu->IsEnabled(ID_SAVE_PICTURE));

    // Ctrl+O opens "Load Dataset" from the main dialog and from the render
    // window; in the editor Ctrl+O and Ctrl+S are its menu's "Load ..." and
    // "Save ...".
    for (wxWindow* pWindow :
         {static_cast<wxWindow*>(m_pDlg->m_btnRefresh), static_cast<wxWindow*>(Canvas())}) {
        Key(pWindow, 'O', wxMOD_CONTROL);
        const FileRequest request = Asked();
        EXPECT_EQ(request.eKind, FILE_DATASET);
        EXPECT_FALSE(request.bSave);
        EXPECT_EQ(request.sName, "*.dat");
    }
    wxMenu* pEditorMenu = m_pEditor->GetMenuBar()->GetMenu(0);
    for (bool bSave : {false, true}) {
        Key(m_pEditor->GetCanvas(), bSave ? 'S' : 'O', wxMOD_CONTROL);
        const FileRequest request = Asked();
        EXPECT_EQ(request.eKind, FILE_TRANSFER_FUNCTION);
        EXPECT_EQ(request.bSave, bSave);
        EXPECT_EQ(pEditorMenu->FindItemByPosition(bSave)->GetItemLabel(),
                  bSave ? "Save ...\tCtrl+S" : "Load ...\tCtrl+O");
    }

    // A dataset chosen in another folder: the next dataset dialog opens there,
    // the transfer functions keep their own folder.
    const std::string sFolder = m_Dir.Path("data");
    std::filesystem::create_directory(sFolder);
    const std::string sCube = sFolder + "/cube.dat";
    testfiles::WriteFile(sCube, testfiles::FieldBytes(32, 32, 32, Block));
    AnswerFiles(sCube);
    Key(m_pDlg->m_btnRefresh, 'O', wxMOD_CONTROL);
    EXPECT_EQ(Asked().sFolder, "");
    EXPECT_EQ(m_pApp->m_sDatasetPath, sCube);
    AnswerFiles("");
    Key(Canvas(), 'O', wxMOD_CONTROL);
    EXPECT_EQ(Asked().sFolder, sFolder);
    Key(m_pEditor->GetCanvas(), 'O', wxMOD_CONTROL);
    EXPECT_EQ(Asked().sFolder, "");

    // F5 refreshes from either window; Ctrl+S proposes the slice's picture in
    // the dataset's folder.
    ChooseSlicing();
    ExpectOneRun([&] { Key(m_pDlg->m_btnRefresh, WXK_F5); });
    ExpectOneRun([&] { Key(Canvas(), WXK_F5); });
    Key(Canvas(), 'S', wxMOD_CONTROL);
    const FileRequest picture = Asked();
    EXPECT_EQ(picture.sFolder, sFolder);
    EXPECT_EQ(picture.sName, "cube-xy-0.png");
    pMenu.reset(m_pRender->CreateContextMenu());
    EXPECT_TRUE(pMenu->IsEnabled(ID_SAVE_PICTURE));
}

TEST_F(ViewerExtrasTest, SavedSliceIsTheSliceAsDrawnAndAFailedSaveLeavesNoFile) {
    LoadDataset(32, 32, 32, [](int x, int y, int) { return 100 * x + 40 * y; });
    ChooseSlicing();
    ASSERT_EQ(m_pRender->SavePicture(m_Dir.Path("slice.png")), 0);
    const tooltest::Picture slice = tooltest::ReadPng(m_Dir.Path("slice.png"));
    ASSERT_EQ(slice.sError, "");
    const Pixels shown = RenderShows();
    ASSERT_EQ(slice.nWidth, shown.nWidth);
    ASSERT_EQ(slice.nHeight, shown.nHeight);
    int nDiffer = 0;
    for (int y = 0; y < slice.nHeight; ++y)
        for (int x = 0; x < slice.nWidth; ++x) {
            const uint8_t* p = slice.Byte(x, y);
            nDiffer += !shown.Is(x, slice.nHeight - 1 - y, p[0], p[1], p[2]);
        }
    EXPECT_EQ(nDiffer, 0);
    EXPECT_GT(shown.CountNonBlack(), slice.nWidth * slice.nHeight / 4);

    // A folder that is a file, and a disk that takes no more bytes (also for
    // root): the box names the file and the reason; no file appears, and an
    // old one stays as it was.
    const std::string sOld = m_Dir.Write("old.png", "old picture");
    const std::pair<std::string, const char*> cases[] = {
        {m_Dir.Write("file.txt", "x") + "/picture.png", "Not a directory"},
        {sOld, "File too large"},
    };
    for (const auto& [sPath, sReason] : cases) {
        testfiles::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.m_bActive);
        CMessageBoxCapture boxes;
        EXPECT_EQ(m_pRender->SavePicture(sPath), -1);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        const MessageBoxRequest& box = boxes.boxes[0];
        EXPECT_NE(box.sText.Find(wxString::FromUTF8(sPath)), wxNOT_FOUND) << box.sText;
        EXPECT_NE(box.sText.Find(sReason), wxNOT_FOUND) << box.sText;
        EXPECT_EQ(box.sCaption, "Save Picture");
        EXPECT_EQ(box.pOwner, m_pRender);
    }
    EXPECT_EQ(testfiles::ReadFile(sOld), "old picture");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_Dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"default.trf", "file.txt", "old.png", "slice.png",
                                               "volume.dat"}));
}

} // namespace

// Not part of the suite: writes the README's screenshot of the viewer in Volume
// mode (First Hit, turned by the arrow keys) on the sample phantom with the
// sample's transfer function. Run under xvfb-run -a -s "-screen 0 1920x1200x24":
//   build/tests/app/app_viewer_extras_test --gtest_also_run_disabled_tests
//       --gtest_filter='*Screenshot*'
TEST_F(ViewerExtrasTest, DISABLED_WriteTheReadmeScreenshot) {
    ASSERT_EQ(m_pEditor->LoadFile(ORVEX_SAMPLE_DIR "/default.trf"), 0);
    ASSERT_EQ(m_pDlg->LoadDatasetFile(ORVEX_SAMPLE_DIR "/phantom.dat"), 0);
    ChooseVolume();
    Click(m_pVolume->m_btnFirstHit);
    for (int i = 0; i < 6; ++i) {
        Key(Canvas(), WXK_RIGHT);
        Key(Canvas(), WXK_UP);
    }
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    m_pRender->WaitForWorkerEnd();
    Pump();
    m_pRender->Repaint();
    EXPECT_TRUE(WriteScreenPng(ORVEX_SOURCE_DIR "/docs/screenshot.png", wxRect(88, 88, 946, 710)));
}
