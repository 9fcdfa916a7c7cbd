// The "Transfer Function Editor" of the running viewer: the window and its
// menu, where points, curve, bar, markers and histogram land (read back from
// the window), clicks, drags and right clicks through the canvas's own
// handlers, and the menu's load and save with their failure messages. (Escape
// is the render window's own handler, tested in ProcessTest.cpp.)
#include <sys/stat.h>

#include <cmath>
#include <memory>

#include <wx/colordlg.h>
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
        ASSERT_EQ(CTransferFunction(nullptr).Save(m_Dir.Path("new.trf")), 0);
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
    void RightClick(int x, int y) {
        Mouse(wxEVT_RIGHT_DOWN, x, y);
        Mouse(wxEVT_RIGHT_UP, x, y);
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
        delete m_pApp->m_pVolume;
        m_pApp->m_pVolume = new CVolume(m_Dir.Path("missing.dat"));
        return m_pApp->m_pVolume;
    }

    CTransferFunction* m_pTf = nullptr;
    int m_nH = 0;
    std::vector<wxColour> m_Offered;
    wxColour m_Answer{0, 255, 0};
    bool m_bConfirm = true;
    std::vector<std::string> m_Asked;
};

TEST_F(TransferFunctionWndTest, WindowGeometryTitleMenuAndDialogs) {
    EXPECT_EQ(m_pEditor->GetPosition(), wxPoint(322, 575));
    EXPECT_EQ(m_pEditor->GetSize(), wxSize(700, 211));
    EXPECT_EQ(m_pEditor->GetTitle(), "Transfer Function Editor");
    EXPECT_TRUE(m_pEditor->HasFlag(wxRESIZE_BORDER));
    EXPECT_FALSE(m_pEditor->HasFlag(wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX | wxMAXIMIZE_BOX));
    // The canvas fills the client area, whose size the editor keeps.
    EXPECT_EQ(m_pEditor->GetCanvas()->GetClientSize(), m_pEditor->GetClientSize());
    EXPECT_EQ(m_pEditor->GetCanvas()->GetClientSize(), wxSize(m_pEditor->m_nWidth, m_nH));

    wxMenuBar* pBar = m_pEditor->GetMenuBar();
    ASSERT_NE(pBar, nullptr);
    ASSERT_EQ(pBar->GetMenuCount(), 1u);
    EXPECT_EQ(pBar->GetMenuLabelText(0), "TransferFunction");
    wxMenu* pMenu = pBar->GetMenu(0);
    ASSERT_EQ(pMenu->GetMenuItemCount(), 2u);
    EXPECT_EQ(pMenu->FindItemByPosition(0)->GetItemLabelText(), "Load ...");
    EXPECT_EQ(pMenu->FindItemByPosition(0)->GetId(), MenuItemId(32771));
    EXPECT_EQ(pMenu->FindItemByPosition(1)->GetItemLabelText(), "Save ...");
    EXPECT_EQ(pMenu->FindItemByPosition(1)->GetId(), MenuItemId(32772));

    // The real dialogs behind the menu and a click.
    for (bool bSave : {false, true}) {
        std::unique_ptr<wxFileDialog> p(CTransferFunctionWnd::CreateFileDialog(m_pEditor, bSave));
        EXPECT_EQ(p->GetWildcard(), "Transfer functions (*.trf)|*.trf|All Files (*.*)|*.*");
        EXPECT_EQ(p->GetFilename(), "*.trf");
        EXPECT_EQ(p->GetParent(), m_pEditor);
        EXPECT_TRUE(bSave ? p->HasFlag(wxFD_SAVE) && p->HasFlag(wxFD_OVERWRITE_PROMPT)
                          : p->HasFlag(wxFD_OPEN) && p->HasFlag(wxFD_FILE_MUST_EXIST));
    }
    const wxColourData data = CTransferFunctionWnd::MakeColourData(wxColour(12, 34, 56));
    EXPECT_TRUE(data.GetChooseFull());
    EXPECT_EQ(data.GetColour(), wxColour(12, 34, 56));
}

TEST_F(TransferFunctionWndTest, PointsAndCurveLandOnTruncatedPixels) {
    m_pTf->SetPoint(2048, 1.0f, 0.0f, 0.0f, 0.5f); // x 350
    m_pTf->SetPoint(4095, 0.0f, 0.0f, 1.0f, 0.5f); // x 699.83 -> 699
    const int y = OpacityToPixelY(0.5f, m_nH);
    for (int nMode : {RENDER_MODE_NONE, RENDER_MODE_VOLUME}) {
        SetMode(nMode);
        const Pixels pixels = Shown();
        // A 5-pixel point covers its column +-2. The row above the curve holds
        // only the point: columns 348..352 for x = 350, 697..699 for x = 699 (a
        // point at 700 would leave column 697 empty).
        for (int x : {348, 352, 697, 699})
            EXPECT_TRUE(pixels.Is(x, y + 2, x < 400 ? 255 : 0, 0, x < 400 ? 0 : 255))
                << x << ": " << pixels.Rgb(x, y + 2);
        for (int x : {347, 353, 696})
            EXPECT_TRUE(IsBackground(pixels, x, y + 2)) << x << ": " << pixels.Rgb(x, y + 2);
        EXPECT_TRUE(IsBackground(pixels, 350, y + 3));
        // The curve runs from the black end point at (0, 0) up to the red point,
        // blending its colour, and on at the same height to the blue one.
        // (Mesa lights a horizontal line on the pixel boundary y in row y - 1.)
        EXPECT_TRUE(pixels.Is(525, y - 1, 128, 0, 127, 3)) << pixels.Rgb(525, y - 1);
        EXPECT_TRUE(IsBackground(pixels, 525, y + 1));
        const uint8_t* pMid = pixels.At(175, OpacityToPixelY(0.25f, m_nH));
        EXPECT_GT(pMid[0], 100);
        EXPECT_LT(pMid[0], 155);
        EXPECT_TRUE(IsBackground(pixels, 350, 7)); // no colour bar
    }
}

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

TEST_F(TransferFunctionWndTest, OnlyAReleaseAtThePressPointIsAClick) {
    // Before any press in the editor no release is a click, not even at (0, 0).
    Mouse(wxEVT_LEFT_UP, 0, 0);
    Mouse(wxEVT_LEFT_DOWN, 100, 50);
    Mouse(wxEVT_LEFT_UP, 101, 50);
    EXPECT_TRUE(m_Offered.empty());
    // A release elsewhere later, back at the stored press point, counts.
    Mouse(wxEVT_LEFT_UP, 100, 50);
    EXPECT_EQ(m_Offered.size(), 1u);
    EXPECT_EQ(Positions(), (std::vector<int>{0, PixelToValue(100, 700), 4095}));
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

TEST_F(TransferFunctionWndTest, RightClickRemovesTheNearestInnerPointAndNeverAnEndPoint) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    m_pTf->SetPoint(2000, 0.0f, 1.0f, 0.0f, 0.5f);
    m_pTf->BuildTable();
    MarkTable(1500);
    const wxPoint at = MouseAt(2000, 0.5f);
    RightClick(at.x - 30, at.y + 10);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 1000, 4095}));
    EXPECT_TRUE(TableRebuilt(1500));
    EXPECT_EQ(m_pTf->Lookup(1500).green, 0.0f); // red fades to the end point now
    EXPECT_TRUE(IsBackground(Shown(), 341, OpacityToPixelY(0.5f, m_nH) + 2));
    // The end points neither move nor go, but the table is rebuilt all the same.
    for (int nPosition : {0, 4095}) {
        const wxPoint end = MouseAt(nPosition, 0.0f);
        Mouse(wxEVT_LEFT_DOWN, end.x, end.y - 1);
        ASSERT_EQ(m_pEditor->m_pPicked, PointAt(nPosition));
        Mouse(wxEVT_MOTION, 300, 20);
        Mouse(wxEVT_LEFT_UP, 300, 20);
        MarkTable(3000);
        RightClick(end.x, end.y - 1);
        EXPECT_TRUE(TableRebuilt(3000)) << nPosition;
        EXPECT_EQ(PointAt(nPosition)->opacity, 0.0f);
    }
    EXPECT_EQ(Positions(), (std::vector<int>{0, 1000, 4095}));
}

TEST_F(TransferFunctionWndTest, APressOutlivesNoPointItPicked) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    m_pTf->SetPoint(3000, 0.0f, 1.0f, 0.0f, 0.5f);
    const wxPoint at = MouseAt(1000, 0.5f);
    Mouse(wxEVT_LEFT_DOWN, at.x, at.y);
    ASSERT_EQ(m_pEditor->m_pPicked, PointAt(1000));
    RightClick(at.x, at.y); // removes the very point being dragged
    EXPECT_EQ(m_pEditor->m_pPicked, nullptr);
    Mouse(wxEVT_MOTION, 400, 30);
    Mouse(wxEVT_LEFT_UP, 400, 30);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 3000, 4095}));
    EXPECT_EQ(PointAt(3000)->opacity, 0.5f);

    // A load in mid-press replaces every point.
    const std::string sPath = m_Dir.Path("two.trf");
    ASSERT_EQ(m_pTf->Save(sPath), 0);
    const wxPoint at3000 = MouseAt(3000, 0.5f);
    Mouse(wxEVT_LEFT_DOWN, at3000.x, at3000.y);
    ASSERT_NE(m_pEditor->m_pPicked, nullptr);
    EXPECT_EQ(m_pEditor->LoadFile(sPath), 0);
    EXPECT_EQ(m_pEditor->m_pPicked, nullptr);
    Mouse(wxEVT_MOTION, 100, 30);
    Mouse(wxEVT_LEFT_UP, 100, 30);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 3000, 4095}));
    EXPECT_EQ(PointAt(3000)->opacity, 0.5f);

    // Another window takes the mouse in mid-drag: the drag ends and rebuilds.
    Mouse(wxEVT_LEFT_DOWN, at3000.x, at3000.y);
    Mouse(wxEVT_MOTION, at3000.x + 10, at3000.y);
    MarkTable(500);
    wxMouseCaptureLostEvent lost(m_pEditor->GetCanvas()->GetId());
    lost.SetEventObject(m_pEditor->GetCanvas());
    m_pEditor->GetCanvas()->GetEventHandler()->ProcessEvent(lost);
    EXPECT_FALSE(m_pEditor->m_bDragging);
    EXPECT_TRUE(TableRebuilt(500));
    const int nPosition = m_pEditor->m_pPicked->position;
    Mouse(wxEVT_MOTION, at3000.x + 100, at3000.y);
    EXPECT_EQ(m_pEditor->m_pPicked->position, nPosition);
}

TEST_F(TransferFunctionWndTest, SlicingModeShowsTheBarAndTheMarkersInTheirRows) {
    SetMode(RENDER_MODE_SLICING);
    m_pTf->SetPoint(0, 1.0f, 0.0f, 0.0f, 0.0f);
    m_pTf->SetPoint(2048, 0.0f, 1.0f, 0.0f, 0.9f);
    m_pTf->SetPoint(4095, 0.0f, 0.0f, 1.0f, 0.0f);
    const Pixels pixels = Shown();
    // The bar: rows 0 to 14 below the edge at y = 15, blending from point to point.
    for (int y : {0, 7, 14}) {
        EXPECT_TRUE(pixels.Is(0, y, 255, 0, 0)) << pixels.Rgb(0, y);
        EXPECT_TRUE(pixels.Is(349, y, 0, 255, 0)) << pixels.Rgb(349, y);
        EXPECT_TRUE(pixels.Is(175, y, 127, 128, 0, 2)) << pixels.Rgb(175, y);
        EXPECT_TRUE(pixels.Is(698, y, 0, 0, 255)) << pixels.Rgb(698, y);
    }
    for (int x = 0; x < 700; x += 50)
        EXPECT_TRUE(IsBackground(pixels, x, 15)) << x << ": " << pixels.Rgb(x, 15);
    // The marker of the inner point: its tip at (350, 16), its top edge 10 wide
    // at y = 21, so rows 16 to 20, narrowing downwards, of columns 345 to 353.
    for (int x = 344; x <= 355; ++x) {
        EXPECT_EQ(pixels.Is(x, 20, 0, 255, 0), x >= 345 && x <= 353)
            << x << ": " << pixels.Rgb(x, 20);
        EXPECT_TRUE(IsBackground(pixels, x, 21)) << x;
    }
    EXPECT_TRUE(pixels.Is(349, 16, 0, 255, 0));
    EXPECT_TRUE(IsBackground(pixels, 346, 16) && IsBackground(pixels, 352, 16));
    // No markers for the end points, and no curve or points.
    for (int y = 16; y <= 22; ++y)
        for (int x : {0, 2, 4, 695, 697, 699})
            EXPECT_TRUE(IsBackground(pixels, x, y)) << x << "," << y;
    EXPECT_TRUE(IsBackground(pixels, 350, OpacityToPixelY(0.9f, m_nH)));
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

TEST_F(TransferFunctionWndTest, NoHistogramWithoutDatasetOrWithASingleVoxelPeak) {
    EXPECT_EQ(Shown().CountGrey(178), 0);
    CVolume* pVolume = HistogramOnlyVolume(); // a failed load: all bins 0
    EXPECT_EQ(Shown().CountGrey(178), 0);
    pVolume->m_Histogram[2048] = 1;
    pVolume->m_Histogram[100] = 1;
    pVolume->m_nHistogramPeak = 2048;
    for (int nMode : {RENDER_MODE_SLICING, RENDER_MODE_NONE}) {
        SetMode(nMode);
        EXPECT_EQ(Shown().CountGrey(178), 0) << nMode;
    }
    // The curve is drawn all the same.
    m_pTf->SetPoint(2048, 1.0f, 0.0f, 0.0f, 0.5f);
    EXPECT_TRUE(Shown().Is(350, OpacityToPixelY(0.5f, m_nH), 255, 0, 0));
}

TEST_F(TransferFunctionWndTest, SaveAndLoadRoundTripThroughTheMenu) {
    m_pTf->SetPoint(1000, 0.25f, 0.5f, 0.75f, 0.6f);
    m_pTf->SetPoint(3000, 1.0f, 0.0f, 0.5f, 0.3f);
    const std::vector<int> saved = Positions();
    const std::string sPath = m_Dir.Path("curve.trf");
    CMessageBoxCapture boxes;
    // Cancelled dialogs change nothing.
    AnswerFiles("");
    Menu(ID_TRANSFERFUNCTION_SAVE);
    Menu(ID_TRANSFERFUNCTION_LOAD);
    struct stat st;
    EXPECT_NE(stat(sPath.c_str(), &st), 0);
    EXPECT_EQ(Positions(), saved);

    AnswerFiles(sPath);
    Menu(ID_TRANSFERFUNCTION_SAVE);
    ASSERT_EQ(stat(sPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4 * 24);
    m_pTf->SetPoint(2000, 0.0f, 0.0f, 0.0f, 1.0f);
    m_pTf->RemovePoint(const_cast<ControlPoint*>(PointAt(1000)));
    Menu(ID_TRANSFERFUNCTION_LOAD);
    EXPECT_EQ(m_Asked, (std::vector<std::string>{"save", "load", "save", "load"}));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(Positions(), saved);
    EXPECT_EQ(PointAt(1000)->green, 0.5f);
    EXPECT_EQ(PointAt(3000)->opacity, 0.3f);
    EXPECT_EQ(m_pTf->Lookup(1000).blue, 0.75f * 255.0f); // the table is rebuilt
    // And redrawn at once: the loaded point shows.
    const Pixels pixels = ReadShownPixels(m_pEditor->GetCanvas());
    EXPECT_TRUE(pixels.Is(ValueToPixelX(3000, 700), OpacityToPixelY(0.3f, m_nH) + 2, 255, 0, 127));
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

TEST_F(TransferFunctionWndTest, ZeroSizedClientAreaNeverDividesByZero) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.5f, 0.5f);
    CVolume* pVolume = HistogramOnlyVolume();
    pVolume->m_Histogram[10] = 100;
    pVolume->m_nHistogramPeak = 10;
    for (const wxSize size : {wxSize(700, 0), wxSize(0, 120), wxSize(0, 0)}) {
        wxSizeEvent event(size, m_pEditor->GetCanvas()->GetId());
        event.SetEventObject(m_pEditor->GetCanvas());
        m_pEditor->GetCanvas()->GetEventHandler()->ProcessEvent(event);
        EXPECT_EQ(m_pEditor->m_nWidth, size.GetWidth());
        EXPECT_EQ(m_pEditor->m_nHeight, size.GetHeight());
        for (int nMode : {RENDER_MODE_NONE, RENDER_MODE_SLICING}) {
            SetMode(nMode);
            ASSERT_TRUE(m_pEditor->MakeCurrent());
            m_pEditor->DrawScene();
        }
        Mouse(wxEVT_LEFT_DOWN, 5, 5);
        Mouse(wxEVT_MOTION, 8, 8);
        Mouse(wxEVT_LEFT_UP, 8, 8);
        Click(3, 3);
        RightClick(2, 2);
        for (const ControlPoint* p = m_pTf->GetFirstPoint(); p; p = p->next) {
            EXPECT_GE(p->position, 0);
            EXPECT_LE(p->position, 4095);
            EXPECT_FALSE(std::isnan(p->opacity));
        }
    }
}

} // namespace
