// The "Transfer Function Editor" of the running viewer: where points, curve,
// menu, where points, curve, bar, markers and histogram land (read back from
// the window), clicks, drags and right clicks through the canvas's own
// handlers, and the menu's load and save with their failure messages. (Escape
// is the render window's own handler, tested in ProcessTest.cpp.)
#include <sys/stat.h>

#include <cmath>
#include <memory>

#include <wx/filedlg.h>
#include <wx/menu.h>

#include "support/GuiTest.h"

using namespace guitest;

namespace {

// The editor's two greys as the window shows them (0.8 and 0.7 of 255).
bool IsBackground(const Pixels& pixels, int x, int y) {
    return pixels.IsGrey(x, y, 204);
}
bool IsHistogram(const Pixels& pixels, int x, int y) {
    return pixels.IsGrey(x, y, 178);
}

// The editor of the running viewer, its transfer function reset to the two
// end points of a new one.
class TransferFunctionWndTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        m_pTf = m_pApp->m_pTransferFunction;
        ASSERT_EQ(CTransferFunction().Save(m_Dir.Path("new.trf")), 0);
        ASSERT_EQ(m_pTf->Load(m_Dir.Path("new.trf")), 0);
        ASSERT_EQ(m_pEditor->m_nWidth, 700);
        m_nH = m_pEditor->m_nHeight;
        ASSERT_GT(m_nH, 100);
        CTransferFunctionWnd::SetColourChooser(
            [this](wxWindow* pOwner, const wxColour& initial, wxColour& chosen) {
                m_Offered.push_back(initial);
                EXPECT_EQ(pOwner, m_pEditor);
                chosen = m_Answer;
                return m_bConfirm;
            });
    }

    void TearDown() override {
        CTransferFunctionWnd::SetColourChooser({});
        SetFileChooser({});
        ViewerTest::TearDown();
    }

    void SetMode(int nMode) { m_pRender->m_nRenderMode = nMode; }
    void Mouse(wxEventType type, int x, int y) { SendMouse(m_pEditor->GetCanvas(), type, x, y); }
    void Click(int x, int y) {
        Mouse(wxEVT_LEFT_DOWN, x, y);
        Mouse(wxEVT_LEFT_UP, x, y);
    }
    void Menu(int nCommand) {
        wxCommandEvent event(wxEVT_MENU, MenuItemId(nCommand));
        event.SetEventObject(m_pEditor);
        m_pEditor->ProcessWindowEvent(event);
    }
    // The file dialogs answer with sPath (empty: cancelled) and note "save" or
    // "load" in m_Asked.
    void AnswerFiles(const std::string& sPath) {
        SetFileChooser([this, sPath](wxWindow*, const FileRequest& request, wxString& s) {
            m_Asked.push_back(request.bSave ? "save" : "load");
            s = sPath;
            return !sPath.empty();
        });
    }

    // Mouse point (client, y down) at which a point of this value and opacity sits.
    wxPoint MouseAt(int nPosition, float fOpacity) const {
        return wxPoint(ValueToPixelX(nPosition, 700), m_nH - OpacityToPixelY(fOpacity, m_nH));
    }
    const ControlPoint* PointAt(int nPosition) const {
        for (const ControlPoint* p = m_pTf->GetFirstPoint(); p; p = p->next)
            if (p->position == nPosition)
                return p;
        return nullptr;
    }
    std::vector<int> Positions() const {
        std::vector<int> positions;
        for (const ControlPoint* p = m_pTf->GetFirstPoint(); p; p = p->next)
            positions.push_back(p->position);
        return positions;
    }

    // Marks a table entry so that a rebuild shows (every rebuild rewrites it).
    void MarkTable(int i) { m_pTf->m_Table[i].red = -7.0f; }
    bool TableRebuilt(int i) const { return m_pTf->m_Table[i].red != -7.0f; }

    // What the window shows after an immediate redraw.
    Pixels Shown() {
        EXPECT_TRUE(m_pEditor->Repaint());
        return ReadShownPixels(m_pEditor->GetCanvas());
    }

    // A dataset without voxels whose histogram the test writes itself.
    CVolume* HistogramOnlyVolume() {
        CVolume* pVolume = new CVolume(m_Dir.Path("missing.dat"));
        m_pRender->SetVolume(pVolume);
        delete m_pApp->m_pVolume;
        return m_pApp->m_pVolume = pVolume;
    }

    CTransferFunction* m_pTf = nullptr;
    int m_nH = 0;
    std::vector<wxColour> m_Offered;
    wxColour m_Answer{0, 255, 0};
    bool m_bConfirm = true;
    std::vector<std::string> m_Asked;
};

TEST_F(TransferFunctionWndTest, ClickSetsAPointAtTheClickedValueAndHeight) {
    // Red falling from 255 at 0 to 0 at 4095.
    m_pTf->SetPoint(0, 1.0f, 0.0f, 0.0f, 1.0f);
    m_pTf->BuildTable();
    Click(350, 0);
    // The dialog starts from the table colour at 2048 (red 127.47), truncated.
    ASSERT_EQ(m_Offered.size(), 1u);
    EXPECT_EQ(m_Offered[0], wxColour(127, 0, 0));
    const ControlPoint* p = PointAt(2048);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::vector<float>({p->red, p->green, p->blue, p->opacity}),
              std::vector<float>({0.0f, 1.0f, 0.0f, 1.0f})); // y = 0: opacity 1
    EXPECT_EQ(m_pTf->Lookup(2048).green, 255.0f);            // the table is rebuilt
    EXPECT_FALSE(m_pEditor->m_bDragging);
    EXPECT_FALSE(m_pEditor->GetCanvas()->HasCapture());

    // The last column reaches 4090, never the end point at 4095.
    m_Answer = wxColour(51, 102, 204);
    Click(699, m_nH - 1);
    p = PointAt(4090);
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->blue, 0.8f);
    EXPECT_FLOAT_EQ(p->opacity, 1.0f - static_cast<float>(m_nH - 1) / m_nH); // nearly 0
    EXPECT_EQ(Positions(), (std::vector<int>{0, 2048, 4090, 4095}));
    EXPECT_EQ(PointAt(4095)->opacity, 0.0f); // the end point stays as it was

    // A click on an existing point's value replaces its colour and opacity.
    m_Answer = wxColour(255, 255, 255);
    Click(350, m_nH / 2);
    EXPECT_EQ(Positions().size(), 4u);
    EXPECT_EQ(PointAt(2048)->blue, 1.0f);
    EXPECT_FLOAT_EQ(PointAt(2048)->opacity, 1.0f - static_cast<float>(m_nH / 2) / m_nH);
    // Cancelled: no point, but the table is rebuilt all the same.
    m_bConfirm = false;
    MarkTable(1000);
    Click(100, 50);
    EXPECT_EQ(m_Offered.size(), 4u);
    EXPECT_EQ(Positions().size(), 4u);
    EXPECT_TRUE(TableRebuilt(1000));
}

TEST_F(TransferFunctionWndTest, DragStopsAtTheNeighbourWhileOpacityFollows) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    m_pTf->SetPoint(2000, 0.0f, 1.0f, 0.0f, 0.5f);
    m_pTf->BuildTable();
    MarkTable(1200);
    const wxPoint press = MouseAt(1000, 0.5f);
    Mouse(wxEVT_LEFT_DOWN, press.x + 1, press.y);
    EXPECT_TRUE(m_pEditor->m_bDragging);
    EXPECT_EQ(m_pEditor->m_pPicked, PointAt(1000));
    EXPECT_TRUE(m_pEditor->GetCanvas()->HasCapture());

    Mouse(wxEVT_MOTION, 250, 50);
    const ControlPoint* p = m_pEditor->m_pPicked;
    EXPECT_EQ(p->position, 1462); // 250 / 700 * 4096 = 1462.86
    EXPECT_FLOAT_EQ(p->opacity, 1.0f - 50.0f / m_nH);
    // The redraw shows the point at its new place, the table waits.
    const Pixels pixels = Shown();
    EXPECT_TRUE(
        pixels.Is(ValueToPixelX(1462, 700), OpacityToPixelY(p->opacity, m_nH) + 2, 255, 0, 0));
    EXPECT_TRUE(IsBackground(pixels, 171, OpacityToPixelY(0.5f, m_nH) + 2));
    // Onto and past the neighbour at 2000 (x 341.8): the position stays while
    // the opacity follows, clamped above the top and below the bottom.
    const std::tuple<int, int, int, float> steps[] = {
        {342, 20, 1462, 1.0f - 20.0f / m_nH},
        {600, -40, 1462, 1.0f},
        {341, m_nH + 40, 1995, 0.0f},
        {5800, 10, 1995, 1.0f - 10.0f / m_nH}, // 33938: no wrap-round onto a small value
    };
    for (const auto& [x, y, nPosition, fOpacity] : steps) {
        Mouse(wxEVT_MOTION, x, y);
        EXPECT_EQ(p->position, nPosition) << x;
        EXPECT_FLOAT_EQ(p->opacity, fOpacity) << x;
    }
    EXPECT_FALSE(TableRebuilt(1200));
    Mouse(wxEVT_LEFT_UP, 330, m_nH + 40);
    EXPECT_TRUE(m_Offered.empty()); // not a click
    EXPECT_FALSE(m_pEditor->m_bDragging);
    EXPECT_FALSE(m_pEditor->GetCanvas()->HasCapture());
    EXPECT_TRUE(TableRebuilt(1200));
    // The release point is not a drag step: the position of the last move stays.
    EXPECT_EQ(p->position, 1995);
    EXPECT_EQ(m_pTf->Lookup(1995).red, 255.0f);
}

TEST_F(TransferFunctionWndTest, HistogramIsLogarithmicAndStandsAboveTheBarInSlicingMode) {
    CVolume* pVolume = HistogramOnlyVolume();
    pVolume->m_Histogram[2048] = 1000; // the fullest bin: column 350, full height
    pVolume->m_Histogram[1024] = 150;  // column 175: ln 150 / ln 1000 of the height
    pVolume->m_nHistogramPeak = 2048;
    const double dScale = m_nH / std::log(1000.0);
    // Mesa lights a vertical line on the pixel boundary x in column x - 1.
    for (const auto& [nMode, nBottom, nTop] :
         {std::tuple{RENDER_MODE_NONE, 0, static_cast<int>(std::log(150.0) * dScale)},
          std::tuple{RENDER_MODE_SLICING, 16,
                     static_cast<int>(std::log(150.0) * dScale * (m_nH - 16) / m_nH) + 16}}) {
        SetMode(nMode);
        const Pixels pixels = Shown();
        EXPECT_TRUE(IsHistogram(pixels, 174, nBottom + 3)) << pixels.Rgb(174, nBottom + 3);
        EXPECT_TRUE(IsHistogram(pixels, 174, nTop - 1));
        EXPECT_TRUE(IsBackground(pixels, 174, nTop)) << nTop;
        EXPECT_TRUE(IsHistogram(pixels, 349, m_nH - 1));
        EXPECT_TRUE(IsBackground(pixels, 175, 50));
        EXPECT_TRUE(IsBackground(pixels, 173, 50));
        EXPECT_FALSE(IsHistogram(pixels, 174, nBottom - 1)); // the bar covers the bottom
    }
}

TEST_F(TransferFunctionWndTest, FailedSaveAndLoadAreReportedNamingTheFile) {
    m_pTf->SetPoint(1234, 1.0f, 1.0f, 1.0f, 1.0f);
    m_pTf->BuildTable();
    CMessageBoxCapture boxes;
    const std::string sNoDir = m_Dir.Path("no/such/dir/curve.trf");
    AnswerFiles(sNoDir);
    Menu(ID_TRANSFERFUNCTION_SAVE);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(
        boxes.boxes[0].sText,
        wxString::Format(L"The transfer function \u201c%s\u201d could not be saved.", sNoDir));
    EXPECT_EQ(boxes.boxes[0].sCaption, "Save Transfer Function");
    EXPECT_EQ(boxes.boxes[0].pOwner, m_pEditor);
    EXPECT_EQ(boxes.boxes[0].nStyle & (wxOK | wxCANCEL | wxYES_NO), wxOK);
    // The real save dialog starts without a name: GTK would take the filter's
    // "*.trf" as one, and a name typed over its "*" would end in ".trf.trf".
    const std::unique_ptr<wxFileDialog> pDialog(
        CTransferFunctionWnd::CreateFileDialog(m_pEditor, true));
    EXPECT_EQ(pDialog->GetFilename(), "");

    // A missing file, a directory and an empty file cannot be loaded: the
    // function is kept as it was, table included.
    MarkTable(1000);
    for (const std::string& sPath :
         {m_Dir.Path("missing.trf"), m_Dir.Path(), m_Dir.Write("empty.trf", "")}) {
        AnswerFiles(sPath);
        Menu(ID_TRANSFERFUNCTION_LOAD);
        EXPECT_EQ(
            boxes.boxes.back().sText,
            wxString::Format(L"The transfer function \u201c%s\u201d could not be loaded.", sPath));
        EXPECT_EQ(boxes.boxes.back().sCaption, "Load Transfer Function");
        EXPECT_EQ(Positions(), (std::vector<int>{0, 1234, 4095}));
        EXPECT_FALSE(TableRebuilt(1000));
    }
    EXPECT_EQ(boxes.boxes.size(), 4u);
}

} // namespace
