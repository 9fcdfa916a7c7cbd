// What the running viewer offers beyond its three windows' pictures: saving the
// picture (what the window shows, equal to orvex-render's), the status text, the
// arrow keys with the numbers beside the sliders, and a save that fails.
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

    std::string Label(wxStaticText* pText) const {
        return std::string(pText->GetLabel().utf8_str());
    }
    wxGLCanvas* Canvas() const { return m_pRender->GetCanvas(); }

    std::vector<FileRequest> m_Requests;
};

TEST_F(ViewerExtrasTest, SavedVolumePictureIsWhatTheWindowShowsAndWhatOrvexRenderWrites) {
    const std::string sDataset = ORVEX_SAMPLE_DIR "/phantom.dat";
    ASSERT_EQ(LoadAndWait(m_pDlg, sDataset), 0);
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
    // The whole extension of a compressed scan goes, a folder's name stays.
    EXPECT_EQ(ProposedPictureName("/scans/colin27.nii.gz", RENDER_MODE_VOLUME,
                                  VOLUME_TYPE_FIRST_HIT, 0, 0),
              "colin27-firsthit.png");
    EXPECT_EQ(ProposedPictureName("/scans/series", RENDER_MODE_SLICING, 0, 1, 7),
              "series-xz-7.png");

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

TEST_F(ViewerExtrasTest, ArrowKeysTurnTheViewAndTheSliderNumbersFollow) {
    LoadDataset(32, 32, 32, Block);
    ChooseVolume();
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    EXPECT_EQ(Label(m_pVolume->m_staticLongitude), "0°");
    EXPECT_EQ(Label(m_pVolume->m_staticLatitude), "90°");
    // An arrow turns by 5 degrees as a drag that way would; the sliders follow
    // at once, and the release renders.
    ExpectOneRun([&] {
        Focus(Canvas());
        wxUIActionSimulator sim;
        sim.KeyDown(WXK_LEFT);
        ASSERT_TRUE(WaitFor([&] { return Label(m_pVolume->m_staticLongitude) == "5°"; }));
        EXPECT_EQ(m_pVolume->m_sliderLongitude->GetValue(), 5);
        EXPECT_TRUE(m_pRender->m_bInteractive);
        EXPECT_FALSE(m_pRender->m_hThreadRunning.IsSet());
        sim.KeyUp(WXK_LEFT);
        ASSERT_TRUE(WaitFor([&] { return !m_pRender->m_bInteractive; }));
    });
    EXPECT_EQ(m_pRender->m_fLongitude, DegreesToRadians(5));
    ExpectOneRun([&] { Key(Canvas(), WXK_DOWN); });
    EXPECT_EQ(Label(m_pVolume->m_staticLatitude), "95°");
    EXPECT_EQ(m_pRender->m_fLatitude, DegreesToRadians(95));
    ExpectOneRun([&] { Key(Canvas(), WXK_RIGHT); });
    EXPECT_EQ(Label(m_pVolume->m_staticLongitude), "0°");
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
// mode (First Hit, turned by the arrow keys) on a real T1 MRI from Debian's
// mricron-data, started without a default.trf as `scripts/run FILE` starts a
// scan. Run under xvfb-run -a -s "-screen 0 1920x1200x24":
//   build/tests/app/app_viewer_extras_test --gtest_also_run_disabled_tests
//       --gtest_filter='*Screenshot*'
class ReadmeScreenshot : public ViewerTest {
protected:
    ReadmeScreenshot() { m_bDefaultTrf = false; }
};

TEST_F(ReadmeScreenshot, DISABLED_WriteTheReadmeScreenshot) {
    ASSERT_EQ(LoadAndWait(m_pDlg, "/usr/share/mricron/templates/ch2.nii.gz"), 0);
    ChooseVolume();
    Click(m_pVolume->m_btnTypes[VOLUME_TYPE_FIRST_HIT]);
    for (int i = 0; i < 7; ++i)
        Key(m_pRender->GetCanvas(), WXK_LEFT);
    Key(m_pRender->GetCanvas(), WXK_UP);
    ASSERT_TRUE(WaitForTitle(m_pRender, kFinished));
    m_pRender->WaitForWorkerEnd();
    Pump();
    m_pRender->Repaint();
    EXPECT_TRUE(WriteScreenPng(ORVEX_SOURCE_DIR "/docs/screenshot.png", wxRect(88, 88, 946, 710)));
}
