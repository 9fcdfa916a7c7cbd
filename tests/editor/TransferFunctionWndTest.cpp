// The "Transfer Function Editor" on a real display: the window and its menu,
// where points, curve, bar, markers and histogram land (read back from the
// window), clicks, drags and right clicks through the canvas's own handlers,
// the menu's load and save with their failure messages, and Escape.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/colordlg.h>
#include <wx/filedlg.h>
#include <wx/glcanvas.h>
#include <wx/menu.h>

#include "app/ViewerApp.h"
#include "platform/Sync.h"
#include "res/EditorResource.h"
#include "support/GuiTest.h"
#include "transfer/EditorGeometry.h"
#include "transfer/TransferFunction.h"
#include "transfer/TransferFunctionWnd.h"
#include "view/RenderState.h"
#include "volume/Volume.h"

using namespace guitest;

namespace {

// The editor's two colours as the window shows them (0.8 and 0.7 of 255).
constexpr int BACKGROUND = 204;
constexpr int HISTOGRAM = 178;

bool Is(const Pixels& pixels, int x, int y, int r, int g, int b, int nTolerance = 1) {
    const uint8_t* p = pixels.At(x, y);
    return std::abs(p[0] - r) <= nTolerance && std::abs(p[1] - g) <= nTolerance &&
           std::abs(p[2] - b) <= nTolerance;
}
bool IsBackground(const Pixels& pixels, int x, int y) {
    return Is(pixels, x, y, BACKGROUND, BACKGROUND, BACKGROUND, 0);
}
bool IsHistogram(const Pixels& pixels, int x, int y) {
    return Is(pixels, x, y, HISTOGRAM, HISTOGRAM, HISTOGRAM, 0);
}
int CountHistogramPixels(const Pixels& pixels) {
    int n = 0;
    for (int y = 0; y < pixels.nHeight; ++y)
        for (int x = 0; x < pixels.nWidth; ++x)
            n += IsHistogram(pixels, x, y) ? 1 : 0;
    return n;
}
std::string Rgb(const Pixels& pixels, int x, int y) {
    const uint8_t* p = pixels.At(x, y);
    return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

std::vector<ControlPoint> Points(const CTransferFunction& tf) {
    std::vector<ControlPoint> points;
    for (const ControlPoint* p = tf.GetFirstPoint(); p; p = p->next)
        points.push_back(*p);
    return points;
}

const ControlPoint* PointAt(const CTransferFunction& tf, int nPosition) {
    for (const ControlPoint* p = tf.GetFirstPoint(); p; p = p->next)
        if (p->position == nPosition)
            return p;
    return nullptr;
}

long FileSize(const std::string& sPath) {
    struct stat st;
    return stat(sPath.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

class TransferFunctionWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pApp = GetViewerApp();
        // The editor reads only the render mode of the render window.
        m_pState = std::make_unique<CRenderState>(m_pApp);
        m_pApp->m_pRenderWnd = m_pState.get();
        m_pApp->m_pTransferFunction = new CTransferFunction(m_pApp);
        m_pTf = m_pApp->m_pTransferFunction;
        m_pWnd = new CTransferFunctionWnd(m_pApp);
        ASSERT_TRUE(m_pWnd->IsCreated());
        m_pApp->m_pTransferFunctionWnd = m_pWnd;
        m_pWnd->Show();
        ASSERT_TRUE(WaitForShown(m_pWnd->GetCanvas()));
        ASSERT_EQ(m_pWnd->m_nWidth, 700);
        m_nH = m_pWnd->m_nHeight;
        ASSERT_GT(m_nH, 100);
        m_PreviousColour = CTransferFunctionWnd::SetColourChooser(
            [this](wxWindow* pOwner, const wxColour& initial, wxColour& chosen) {
                m_Offered.push_back(initial);
                m_pChooserOwner = pOwner;
                chosen = m_Answer;
                return m_bConfirm;
            });
    }

    void TearDown() override {
        CTransferFunctionWnd::SetColourChooser(std::move(m_PreviousColour));
        CTransferFunctionWnd::SetFileChooser({});
        m_pState->StopProgressiveThread();
        m_pState->WaitForWorkerEnd();
        // The application's order: the editor window goes, then the transfer
        // function and the dataset.
        m_pWnd->Destroy();
        EXPECT_TRUE(WaitFor([&] { return m_pApp->m_pTransferFunctionWnd == nullptr; }));
        delete m_pApp->m_pTransferFunction;
        m_pApp->m_pTransferFunction = nullptr;
        delete m_pApp->m_pVolume;
        m_pApp->m_pVolume = nullptr;
        m_pApp->m_pRenderWnd = nullptr;
        m_pState.reset();
        Pump(20);
    }

    void SetMode(int nMode) { m_pState->m_nRenderMode = nMode; }

    void Mouse(wxEventType type, int x, int y) {
        wxMouseEvent event(type);
        event.m_x = x;
        event.m_y = y;
        event.m_leftDown = type == wxEVT_LEFT_DOWN || type == wxEVT_MOTION;
        event.SetEventObject(m_pWnd->GetCanvas());
        m_pWnd->GetCanvas()->GetEventHandler()->ProcessEvent(event);
    }
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
        event.SetEventObject(m_pWnd);
        m_pWnd->ProcessWindowEvent(event);
    }

    // Mouse point (client, y down) at which a point of this value and opacity sits.
    wxPoint MouseAt(int nPosition, float fOpacity) const {
        return wxPoint(ValueToPixelX(nPosition, 700), m_nH - OpacityToPixelY(fOpacity, m_nH));
    }

    // Marks a table entry so that a rebuild shows (every rebuild rewrites it).
    void MarkTable(int i) { m_pTf->m_Table[i].red = -7.0f; }
    bool TableRebuilt(int i) const { return m_pTf->m_Table[i].red != -7.0f; }

    // What the window shows after an immediate redraw.
    Pixels Shown() {
        EXPECT_TRUE(m_pWnd->Redraw());
        return ReadShownPixels(m_pWnd->GetCanvas());
    }

    // A dataset without voxels whose histogram the test writes itself.
    CVolume* HistogramOnlyVolume() {
        auto* pVolume = new CVolume(m_Dir.Path("missing.dat"));
        delete m_pApp->m_pVolume;
        m_pApp->m_pVolume = pVolume;
        return pVolume;
    }

    CDebugCapture m_Debug; // the renderer's stop messages
    CTempDir m_Dir;
    CViewerApp* m_pApp = nullptr;
    std::unique_ptr<CRenderState> m_pState;
    CTransferFunction* m_pTf = nullptr;
    CTransferFunctionWnd* m_pWnd = nullptr;
    int m_nH = 0;
    CTransferFunctionWnd::ColourChooser m_PreviousColour;
    std::vector<wxColour> m_Offered;
    wxWindow* m_pChooserOwner = nullptr;
    wxColour m_Answer{0, 255, 0};
    bool m_bConfirm = true;
};

TEST_F(TransferFunctionWndTest, WindowGeometryTitleStyleAndMenu) {
    EXPECT_EQ(m_pWnd->GetPosition(), wxPoint(322, 575));
    EXPECT_EQ(m_pWnd->GetSize(), wxSize(700, 211));
    EXPECT_EQ(m_pWnd->GetTitle(), "Transfer Function Editor");
    EXPECT_TRUE(m_pWnd->HasFlag(wxCAPTION));
    EXPECT_TRUE(m_pWnd->HasFlag(wxRESIZE_BORDER));
    EXPECT_FALSE(m_pWnd->HasFlag(wxSYSTEM_MENU));
    EXPECT_FALSE(m_pWnd->HasFlag(wxCLOSE_BOX));
    EXPECT_FALSE(m_pWnd->HasFlag(wxMINIMIZE_BOX));
    EXPECT_FALSE(m_pWnd->HasFlag(wxMAXIMIZE_BOX));
    // The canvas fills the client area, whose size the editor keeps.
    EXPECT_EQ(m_pWnd->GetCanvas()->GetClientSize(), m_pWnd->GetClientSize());
    EXPECT_EQ(m_pWnd->GetCanvas()->GetClientSize(), wxSize(m_pWnd->m_nWidth, m_nH));

    wxMenuBar* pBar = m_pWnd->GetMenuBar();
    ASSERT_NE(pBar, nullptr);
    EXPECT_EQ(pBar, m_pWnd->m_Menu);
    ASSERT_EQ(pBar->GetMenuCount(), 1u);
    EXPECT_EQ(pBar->GetMenuLabelText(0), "TransferFunction");
    wxMenu* pMenu = pBar->GetMenu(0);
    ASSERT_EQ(pMenu->GetMenuItemCount(), 2u);
    EXPECT_EQ(pMenu->FindItemByPosition(0)->GetItemLabelText(), "Load ...");
    EXPECT_EQ(pMenu->FindItemByPosition(0)->GetId(), MenuItemId(32771));
    EXPECT_EQ(pMenu->FindItemByPosition(1)->GetItemLabelText(), "Save ...");
    EXPECT_EQ(pMenu->FindItemByPosition(1)->GetId(), MenuItemId(32772));
}

TEST_F(TransferFunctionWndTest, RealDialogsAreConfiguredAsTheMenuNeedsThem) {
    std::unique_ptr<wxFileDialog> pLoad(CTransferFunctionWnd::CreateFileDialog(m_pWnd, false));
    EXPECT_EQ(pLoad->GetWildcard(), "Transfer functions (*.trf)|*.trf|All Files (*.*)|*.*");
    EXPECT_EQ(pLoad->GetFilename(), "*.trf");
    EXPECT_TRUE(pLoad->HasFlag(wxFD_OPEN));
    EXPECT_TRUE(pLoad->HasFlag(wxFD_FILE_MUST_EXIST));
    EXPECT_EQ(pLoad->GetParent(), m_pWnd);
    std::unique_ptr<wxFileDialog> pSave(CTransferFunctionWnd::CreateFileDialog(m_pWnd, true));
    EXPECT_EQ(pSave->GetWildcard(), pLoad->GetWildcard());
    EXPECT_EQ(pSave->GetFilename(), "*.trf");
    EXPECT_TRUE(pSave->HasFlag(wxFD_SAVE));
    EXPECT_TRUE(pSave->HasFlag(wxFD_OVERWRITE_PROMPT));

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
        // only the point: columns 348..352 for x = 350.
        for (int x = 348; x <= 352; ++x)
            EXPECT_TRUE(Is(pixels, x, y + 2, 255, 0, 0)) << x << ": " << Rgb(pixels, x, y + 2);
        EXPECT_TRUE(IsBackground(pixels, 347, y + 2)) << Rgb(pixels, 347, y + 2);
        EXPECT_TRUE(IsBackground(pixels, 353, y + 2)) << Rgb(pixels, 353, y + 2);
        EXPECT_TRUE(IsBackground(pixels, 350, y + 3));
        EXPECT_TRUE(Is(pixels, 350, y - 2, 255, 0, 0));
        // The last column holds the point at 4095 (a point at 700 would leave
        // column 697 empty).
        for (int x = 697; x <= 699; ++x)
            EXPECT_TRUE(Is(pixels, x, y + 2, 0, 0, 255)) << x << ": " << Rgb(pixels, x, y + 2);
        EXPECT_TRUE(IsBackground(pixels, 696, y + 2));
        // The curve runs from the black end point at (0, 0) up to the red point,
        // blending its colour, and on at the same height to the blue one.
        // (Mesa lights a horizontal line on the pixel boundary y in row y - 1.)
        EXPECT_TRUE(Is(pixels, 525, y - 1, 128, 0, 127, 3)) << Rgb(pixels, 525, y - 1);
        EXPECT_TRUE(IsBackground(pixels, 525, y + 1));
        const int yMid = OpacityToPixelY(0.25f, m_nH);
        const uint8_t* pMid = pixels.At(175, yMid);
        EXPECT_GT(pMid[0], 100);
        EXPECT_LT(pMid[0], 155);
        EXPECT_TRUE(IsBackground(pixels, 175, yMid + 4));
        // Nothing of the Slicing picture: no bar at the bottom.
        EXPECT_TRUE(IsBackground(pixels, 350, 7));
    }
}

TEST_F(TransferFunctionWndTest, ClickSetsAPointAtTheClickedValueAndHeight) {
    // Red falling from 255 at 0 to 0 at 4095.
    m_pTf->SetPoint(0, 1.0f, 0.0f, 0.0f, 1.0f);
    m_pTf->BuildTable();
    Click(350, 0);
    ASSERT_EQ(m_Offered.size(), 1u);
    // The dialog starts from the table colour at 2048 (red 127.47), truncated.
    EXPECT_EQ(m_Offered[0], wxColour(127, 0, 0));
    EXPECT_EQ(m_pChooserOwner, m_pWnd);
    const ControlPoint* p = PointAt(*m_pTf, 2048);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->red, 0.0f);
    EXPECT_EQ(p->green, 1.0f);
    EXPECT_EQ(p->blue, 0.0f);
    EXPECT_EQ(p->opacity, 1.0f);                  // y = 0 is the top: opacity 1
    EXPECT_EQ(m_pTf->Lookup(2048).green, 255.0f); // the table is rebuilt
    EXPECT_FALSE(m_pWnd->m_bDragging);
    EXPECT_FALSE(m_pWnd->GetCanvas()->HasCapture());

    // The last column reaches 4090, never the end point at 4095.
    m_Answer = wxColour(51, 102, 204);
    Click(699, m_nH - 1);
    p = PointAt(*m_pTf, 4090);
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->red, 0.2f);
    EXPECT_FLOAT_EQ(p->green, 0.4f);
    EXPECT_FLOAT_EQ(p->blue, 0.8f);
    EXPECT_FLOAT_EQ(p->opacity, 1.0f - static_cast<float>(m_nH - 1) / m_nH); // nearly 0
    EXPECT_LT(p->opacity, 0.01f);
    EXPECT_EQ(Points(*m_pTf).size(), 4u);
    EXPECT_EQ(Points(*m_pTf).back().opacity, 0.0f); // the end point stays as it was

    // A click on an existing point's value replaces its colour and opacity.
    m_Answer = wxColour(255, 255, 255);
    Click(350, m_nH / 2);
    EXPECT_EQ(Points(*m_pTf).size(), 4u);
    EXPECT_EQ(PointAt(*m_pTf, 2048)->blue, 1.0f);
    EXPECT_FLOAT_EQ(PointAt(*m_pTf, 2048)->opacity, 1.0f - static_cast<float>(m_nH / 2) / m_nH);
}

TEST_F(TransferFunctionWndTest, CancelledColourSetsNothingButTheTableIsStillRebuilt) {
    m_bConfirm = false;
    MarkTable(1000);
    Click(100, 50);
    EXPECT_EQ(m_Offered.size(), 1u);
    EXPECT_EQ(Points(*m_pTf).size(), 2u);
    EXPECT_TRUE(TableRebuilt(1000));
}

TEST_F(TransferFunctionWndTest, OnlyAReleaseAtThePressPointIsAClick) {
    // Before any press in the editor no release is a click, not even at (0, 0).
    Mouse(wxEVT_LEFT_UP, 0, 0);
    Mouse(wxEVT_LEFT_UP, 100, 50);
    EXPECT_TRUE(m_Offered.empty());
    Mouse(wxEVT_LEFT_DOWN, 100, 50);
    Mouse(wxEVT_LEFT_UP, 101, 50);
    EXPECT_TRUE(m_Offered.empty());
    EXPECT_EQ(Points(*m_pTf).size(), 2u);
    // A release elsewhere later, back at the stored press point, counts.
    Mouse(wxEVT_LEFT_UP, 100, 50);
    EXPECT_EQ(m_Offered.size(), 1u);
    EXPECT_NE(PointAt(*m_pTf, PixelToValue(100, 700)), nullptr);
}

TEST_F(TransferFunctionWndTest, RealColourDialogStartsFullFromTheTableColour) {
    CTransferFunctionWnd::SetColourChooser({}); // the program's own dialog
    m_pTf->SetPoint(0, 0.0f, 0.0f, 1.0f, 1.0f);
    m_pTf->BuildTable();
    wxColourData shown;
    CModalDialogStub stub([&](wxDialog* pDialog) {
        auto* pColour = dynamic_cast<wxColourDialog*>(pDialog);
        EXPECT_NE(pColour, nullptr);
        if (pColour)
            shown = pColour->GetColourData();
        return static_cast<int>(wxID_OK);
    });
    Click(175, 20); // value 1024: blue 191.28
    EXPECT_EQ(stub.nCalls, 1);
    EXPECT_TRUE(shown.GetChooseFull());
    EXPECT_EQ(shown.GetColour(), wxColour(0, 0, 191));
    const ControlPoint* p = PointAt(*m_pTf, 1024);
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->blue, 191.0f / 255.0f); // confirmed unchanged
}

TEST_F(TransferFunctionWndTest, DragStopsAtTheNeighbourWhileOpacityFollows) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    m_pTf->SetPoint(2000, 0.0f, 1.0f, 0.0f, 0.5f);
    m_pTf->BuildTable();
    MarkTable(1200);
    const wxPoint press = MouseAt(1000, 0.5f);
    Mouse(wxEVT_LEFT_DOWN, press.x + 1, press.y);
    EXPECT_TRUE(m_pWnd->m_bDragging);
    EXPECT_EQ(m_pWnd->m_pPicked, PointAt(*m_pTf, 1000));
    EXPECT_TRUE(m_pWnd->GetCanvas()->HasCapture());

    Mouse(wxEVT_MOTION, 250, 50);
    const ControlPoint* p = m_pWnd->m_pPicked;
    EXPECT_EQ(p->position, 1462); // 250 / 700 * 4096 = 1462.86
    EXPECT_FLOAT_EQ(p->opacity, 1.0f - 50.0f / m_nH);
    EXPECT_FALSE(TableRebuilt(1200)); // not during the drag
    // The redraw shows the point at its new place.
    const Pixels pixels = Shown();
    const int y = OpacityToPixelY(p->opacity, m_nH);
    EXPECT_TRUE(Is(pixels, ValueToPixelX(1462, 700), y + 2, 255, 0, 0))
        << Rgb(pixels, ValueToPixelX(1462, 700), y + 2);
    EXPECT_TRUE(IsBackground(pixels, 171, OpacityToPixelY(0.5f, m_nH) + 2));

    // Onto and past the neighbour at 2000 (x 341.8): the position stays.
    Mouse(wxEVT_MOTION, 342, 20); // 2001
    EXPECT_EQ(p->position, 1462);
    EXPECT_FLOAT_EQ(p->opacity, 1.0f - 20.0f / m_nH);
    Mouse(wxEVT_MOTION, 600, -40); // above the top
    EXPECT_EQ(p->position, 1462);
    EXPECT_EQ(p->opacity, 1.0f);
    Mouse(wxEVT_MOTION, 341, m_nH + 40); // 1995, below the bottom
    EXPECT_EQ(p->position, 1995);
    EXPECT_EQ(p->opacity, 0.0f);
    // Far outside the window (capture): no wrap-round onto a small value.
    Mouse(wxEVT_MOTION, 5800, 10); // 33938 > 32767
    EXPECT_EQ(p->position, 1995);
    EXPECT_FALSE(TableRebuilt(1200));

    Mouse(wxEVT_LEFT_UP, 330, m_nH + 40);
    EXPECT_TRUE(m_Offered.empty()); // not a click
    EXPECT_FALSE(m_pWnd->m_bDragging);
    EXPECT_FALSE(m_pWnd->GetCanvas()->HasCapture());
    EXPECT_TRUE(TableRebuilt(1200));
    // The release point is not a drag step: the position of the last move stays.
    EXPECT_EQ(p->position, 1995);
    EXPECT_EQ(m_pTf->Lookup(1995).red, 255.0f);
}

TEST_F(TransferFunctionWndTest, EndPointsNeverMoveOrGetRemoved) {
    m_pTf->SetPoint(2048, 1.0f, 1.0f, 1.0f, 0.5f);
    const std::vector<ControlPoint> before = Points(*m_pTf);
    for (int nPosition : {0, 4095}) {
        const wxPoint at = MouseAt(nPosition, 0.0f);
        Mouse(wxEVT_LEFT_DOWN, at.x, at.y - 1);
        ASSERT_EQ(m_pWnd->m_pPicked, PointAt(*m_pTf, nPosition));
        Mouse(wxEVT_MOTION, 300, 20);
        Mouse(wxEVT_LEFT_UP, 300, 20);
        MarkTable(3000);
        RightClick(at.x, at.y - 1);
        EXPECT_TRUE(TableRebuilt(3000)) << nPosition; // rebuilt all the same
    }
    const std::vector<ControlPoint> after = Points(*m_pTf);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].position, before[i].position);
        EXPECT_EQ(after[i].opacity, before[i].opacity);
    }
}

TEST_F(TransferFunctionWndTest, RightClickRemovesTheNearestInnerPoint) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    m_pTf->SetPoint(2000, 0.0f, 1.0f, 0.0f, 0.5f);
    m_pTf->BuildTable();
    MarkTable(1500);
    const wxPoint at = MouseAt(2000, 0.5f);
    RightClick(at.x - 30, at.y + 10);
    EXPECT_EQ(PointAt(*m_pTf, 2000), nullptr);
    EXPECT_NE(PointAt(*m_pTf, 1000), nullptr);
    EXPECT_TRUE(TableRebuilt(1500));
    EXPECT_EQ(m_pTf->Lookup(1500).green, 0.0f); // red fades to the end point now
    // The redraw shows the curve without it.
    const Pixels pixels = Shown();
    EXPECT_TRUE(IsBackground(pixels, 341, OpacityToPixelY(0.5f, m_nH) + 2));
}

TEST_F(TransferFunctionWndTest, ARemovedOrReplacedPointIsNotDraggedAfterwards) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    m_pTf->SetPoint(3000, 0.0f, 1.0f, 0.0f, 0.5f);
    const wxPoint at = MouseAt(1000, 0.5f);
    Mouse(wxEVT_LEFT_DOWN, at.x, at.y);
    ASSERT_EQ(m_pWnd->m_pPicked, PointAt(*m_pTf, 1000));
    RightClick(at.x, at.y); // removes the very point being dragged
    EXPECT_EQ(m_pWnd->m_pPicked, nullptr);
    Mouse(wxEVT_MOTION, 400, 30);
    Mouse(wxEVT_LEFT_UP, 400, 30);
    EXPECT_EQ(Points(*m_pTf).size(), 3u);
    EXPECT_EQ(PointAt(*m_pTf, 3000)->opacity, 0.5f);

    // A load in mid-press replaces every point.
    const std::string sPath = m_Dir.Path("two.trf");
    ASSERT_EQ(m_pTf->Save(sPath), 0);
    const wxPoint at3000 = MouseAt(3000, 0.5f);
    Mouse(wxEVT_LEFT_DOWN, at3000.x, at3000.y);
    ASSERT_NE(m_pWnd->m_pPicked, nullptr);
    EXPECT_EQ(m_pWnd->LoadFile(sPath), 0);
    EXPECT_EQ(m_pWnd->m_pPicked, nullptr);
    Mouse(wxEVT_MOTION, 100, 30);
    Mouse(wxEVT_LEFT_UP, 100, 30);
    ASSERT_NE(PointAt(*m_pTf, 3000), nullptr);
    EXPECT_EQ(PointAt(*m_pTf, 3000)->opacity, 0.5f);
    EXPECT_EQ(Points(*m_pTf).size(), 3u);
}

TEST_F(TransferFunctionWndTest, LostCaptureEndsTheDragAndRebuilds) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    const wxPoint at = MouseAt(1000, 0.5f);
    Mouse(wxEVT_LEFT_DOWN, at.x, at.y);
    Mouse(wxEVT_MOTION, at.x + 10, at.y);
    MarkTable(500);
    wxMouseCaptureLostEvent lost(m_pWnd->GetCanvas()->GetId());
    lost.SetEventObject(m_pWnd->GetCanvas());
    m_pWnd->GetCanvas()->GetEventHandler()->ProcessEvent(lost);
    EXPECT_FALSE(m_pWnd->m_bDragging);
    EXPECT_TRUE(TableRebuilt(500));
    const int nPosition = m_pWnd->m_pPicked->position;
    Mouse(wxEVT_MOTION, at.x + 100, at.y);
    EXPECT_EQ(m_pWnd->m_pPicked->position, nPosition);
}

TEST_F(TransferFunctionWndTest, SlicingModeShowsTheBarAndTheMarkersInTheirRows) {
    SetMode(RENDER_MODE_SLICING);
    m_pTf->SetPoint(0, 1.0f, 0.0f, 0.0f, 0.0f);
    m_pTf->SetPoint(2048, 0.0f, 1.0f, 0.0f, 0.9f);
    m_pTf->SetPoint(4095, 0.0f, 0.0f, 1.0f, 0.0f);
    const Pixels pixels = Shown();
    // The bar: rows 0 to 14 below the edge at y = 15, blending from point to point.
    for (int y : {0, 7, 14}) {
        EXPECT_TRUE(Is(pixels, 0, y, 255, 0, 0)) << Rgb(pixels, 0, y);
        EXPECT_TRUE(Is(pixels, 349, y, 0, 255, 0)) << Rgb(pixels, 349, y);
        EXPECT_TRUE(Is(pixels, 175, y, 127, 128, 0, 2)) << Rgb(pixels, 175, y);
        EXPECT_TRUE(Is(pixels, 698, y, 0, 0, 255)) << Rgb(pixels, 698, y);
    }
    for (int x = 0; x < 700; x += 50)
        EXPECT_TRUE(IsBackground(pixels, x, 15)) << x << ": " << Rgb(pixels, x, 15);
    // The marker of the inner point: its tip at (350, 16), its top edge 10 wide
    // at y = 21, so rows 16 to 20 of columns 345 to 354.
    EXPECT_TRUE(Is(pixels, 349, 16, 0, 255, 0));
    EXPECT_TRUE(IsBackground(pixels, 346, 16));
    EXPECT_TRUE(IsBackground(pixels, 352, 16));
    for (int x = 345; x <= 353; ++x)
        EXPECT_TRUE(Is(pixels, x, 20, 0, 255, 0)) << x << ": " << Rgb(pixels, x, 20);
    EXPECT_TRUE(IsBackground(pixels, 344, 20));
    EXPECT_TRUE(IsBackground(pixels, 355, 20));
    for (int x = 340; x <= 360; ++x)
        EXPECT_TRUE(IsBackground(pixels, x, 21)) << x;
    // No markers for the end points, and no curve or points.
    for (int y = 16; y <= 22; ++y) {
        for (int x : {0, 2, 4, 695, 697, 699})
            EXPECT_TRUE(IsBackground(pixels, x, y)) << x << "," << y;
    }
    const int yPoint = OpacityToPixelY(0.9f, m_nH);
    EXPECT_TRUE(IsBackground(pixels, 350, yPoint));
    EXPECT_TRUE(IsBackground(pixels, 175, OpacityToPixelY(0.45f, m_nH)));
}

TEST_F(TransferFunctionWndTest, HistogramIsLogarithmicAndStandsAboveTheBarInSlicingMode) {
    CVolume* pVolume = HistogramOnlyVolume();
    pVolume->m_Histogram[2048] = 1000; // the fullest bin: column 350, full height
    pVolume->m_Histogram[1024] = 150;  // column 175: ln 150 / ln 1000 of the height
    pVolume->m_nHistogramPeak = 2048;
    const int nTop = static_cast<int>(std::log(150.0) * (m_nH / std::log(1000.0)));

    SetMode(RENDER_MODE_NONE);
    Pixels pixels = Shown();
    // Mesa lights a vertical line on the pixel boundary x in column x - 1.
    EXPECT_TRUE(IsHistogram(pixels, 174, 3)) << Rgb(pixels, 174, 3);
    EXPECT_TRUE(IsHistogram(pixels, 174, nTop - 1));
    EXPECT_TRUE(IsBackground(pixels, 174, nTop)) << nTop;
    EXPECT_TRUE(IsHistogram(pixels, 349, m_nH - 1));
    EXPECT_TRUE(IsBackground(pixels, 175, 50));
    EXPECT_TRUE(IsBackground(pixels, 173, 50));

    SetMode(RENDER_MODE_SLICING);
    pixels = Shown();
    const int nSlicingTop =
        static_cast<int>(std::log(150.0) * (m_nH / std::log(1000.0)) * (m_nH - 16) / m_nH) + 16;
    EXPECT_TRUE(IsBackground(pixels, 174, 15));
    EXPECT_TRUE(IsHistogram(pixels, 174, 16)) << Rgb(pixels, 174, 16);
    EXPECT_TRUE(IsHistogram(pixels, 174, nSlicingTop - 1));
    EXPECT_TRUE(IsBackground(pixels, 174, nSlicingTop)) << nSlicingTop;
    EXPECT_TRUE(IsHistogram(pixels, 349, m_nH - 1));
    EXPECT_FALSE(IsHistogram(pixels, 174, 7)); // the bar covers the bottom rows
}

TEST_F(TransferFunctionWndTest, NoHistogramWithoutDatasetOrWithASingleVoxelPeak) {
    Pixels pixels = Shown();
    EXPECT_EQ(CountHistogramPixels(pixels), 0);
    EXPECT_TRUE(IsBackground(pixels, 350, m_nH / 2));

    CVolume* pVolume = HistogramOnlyVolume(); // a failed load: all bins 0
    pixels = Shown();
    EXPECT_EQ(CountHistogramPixels(pixels), 0);

    pVolume->m_Histogram[2048] = 1;
    pVolume->m_Histogram[100] = 1;
    pVolume->m_nHistogramPeak = 2048;
    for (int nMode : {RENDER_MODE_NONE, RENDER_MODE_SLICING}) {
        SetMode(nMode);
        pixels = Shown();
        EXPECT_EQ(CountHistogramPixels(pixels), 0) << nMode;
    }
    // The curve is drawn all the same.
    SetMode(RENDER_MODE_NONE);
    m_pTf->SetPoint(2048, 1.0f, 0.0f, 0.0f, 0.5f);
    pixels = Shown();
    EXPECT_TRUE(Is(pixels, 350, OpacityToPixelY(0.5f, m_nH), 255, 0, 0));
}

TEST_F(TransferFunctionWndTest, HistogramOfARealDatasetFollowsItsCounts) {
    // 4 x 4 x 4 voxels: 48 at value 500, 16 at value 3000.
    std::vector<int16_t> voxels(64, 500);
    for (int i = 0; i < 16; ++i)
        voxels[i] = 3000;
    WriteRaw(m_Dir.Path("small.dat"), 4, 4, 4, voxels);
    delete m_pApp->m_pVolume;
    m_pApp->m_pVolume = new CVolume(m_Dir.Path("small.dat"));
    ASSERT_EQ(m_pApp->m_pVolume->m_nHistogramPeak, 500);
    const Pixels pixels = Shown();
    // A bin after the first bin of its column reaches the next column's line:
    // 500 lies in column 85 (first bin 498) and is drawn at 86, 3000 lies in
    // column 512 (first bin 2996) and is drawn at 513. Mesa lights the line on
    // the boundary x in column x - 1.
    const int x500 = 85;
    const int x3000 = 512;
    const int nTop3000 = static_cast<int>(std::log(16.0) * (m_nH / std::log(48.0)));
    EXPECT_TRUE(IsHistogram(pixels, x500, m_nH - 1)) << Rgb(pixels, x500, m_nH - 1);
    EXPECT_TRUE(IsHistogram(pixels, x500, 3));
    EXPECT_TRUE(IsHistogram(pixels, x3000, nTop3000 - 1));
    EXPECT_TRUE(IsBackground(pixels, x3000, nTop3000));
    // Nothing else: a line of the full height and one of nTop3000 pixels.
    EXPECT_EQ(CountHistogramPixels(pixels), m_nH + nTop3000);
}

TEST_F(TransferFunctionWndTest, SaveAndLoadRoundTripThroughTheMenu) {
    m_pTf->SetPoint(1000, 0.25f, 0.5f, 0.75f, 0.6f);
    m_pTf->SetPoint(3000, 1.0f, 0.0f, 0.5f, 0.3f);
    const std::vector<ControlPoint> saved = Points(*m_pTf);
    const std::string sPath = m_Dir.Path("curve.trf");
    std::vector<bool> asked;
    CTransferFunctionWnd::SetFileChooser([&](wxWindow* pOwner, bool bSave, wxString& sChosen) {
        EXPECT_EQ(pOwner, m_pWnd);
        asked.push_back(bSave);
        sChosen = sPath;
        return true;
    });
    CMessageBoxCapture boxes;
    Menu(ID_TRANSFERFUNCTION_SAVE);
    EXPECT_EQ(FileSize(sPath), 4 * 24);

    m_pTf->SetPoint(2000, 0.0f, 0.0f, 0.0f, 1.0f);
    m_pTf->RemovePoint(const_cast<ControlPoint*>(PointAt(*m_pTf, 1000)));
    Menu(ID_TRANSFERFUNCTION_LOAD);
    EXPECT_EQ(asked, (std::vector<bool>{true, false}));
    EXPECT_TRUE(boxes.boxes.empty());
    const std::vector<ControlPoint> loaded = Points(*m_pTf);
    ASSERT_EQ(loaded.size(), saved.size());
    for (size_t i = 0; i < loaded.size(); ++i) {
        EXPECT_EQ(loaded[i].position, saved[i].position);
        EXPECT_EQ(loaded[i].red, saved[i].red);
        EXPECT_EQ(loaded[i].green, saved[i].green);
        EXPECT_EQ(loaded[i].blue, saved[i].blue);
        EXPECT_EQ(loaded[i].opacity, saved[i].opacity);
    }
    EXPECT_EQ(m_pTf->Lookup(1000).blue, 0.75f * 255.0f); // the table is rebuilt
    // And redrawn at once: the loaded point shows.
    const Pixels pixels = ReadShownPixels(m_pWnd->GetCanvas());
    EXPECT_TRUE(Is(pixels, ValueToPixelX(3000, 700), OpacityToPixelY(0.3f, m_nH) + 2, 255, 0, 127))
        << Rgb(pixels, ValueToPixelX(3000, 700), OpacityToPixelY(0.3f, m_nH) + 2);
}

TEST_F(TransferFunctionWndTest, CancelledFileDialogsChangeNothing) {
    int nAsked = 0;
    CTransferFunctionWnd::SetFileChooser([&](wxWindow*, bool, wxString& sChosen) {
        ++nAsked;
        sChosen = m_Dir.Path("never.trf");
        return false;
    });
    CMessageBoxCapture boxes;
    m_pTf->SetPoint(1234, 1.0f, 1.0f, 1.0f, 1.0f);
    Menu(ID_TRANSFERFUNCTION_SAVE);
    Menu(ID_TRANSFERFUNCTION_LOAD);
    EXPECT_EQ(nAsked, 2);
    EXPECT_EQ(FileSize(m_Dir.Path("never.trf")), -1);
    EXPECT_EQ(Points(*m_pTf).size(), 3u);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(TransferFunctionWndTest, FailedSaveAndLoadAreReportedNamingTheFile) {
    m_pTf->SetPoint(1234, 1.0f, 1.0f, 1.0f, 1.0f);
    m_pTf->BuildTable();
    const std::string sNoDir = m_Dir.Path("no/such/dir/curve.trf");
    const std::string sMissing = m_Dir.Path("missing.trf");
    std::string sNext;
    CTransferFunctionWnd::SetFileChooser([&](wxWindow*, bool, wxString& sChosen) {
        sChosen = sNext;
        return true;
    });
    CMessageBoxCapture boxes;
    sNext = sNoDir;
    Menu(ID_TRANSFERFUNCTION_SAVE);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(
        boxes.boxes[0].sText,
        wxString::Format(L"The transfer function \u201c%s\u201d could not be saved.", sNoDir));
    EXPECT_EQ(boxes.boxes[0].sCaption, "Save Transfer Function");
    EXPECT_EQ(boxes.boxes[0].pOwner, m_pWnd);
    EXPECT_EQ(boxes.boxes[0].nStyle & (wxOK | wxCANCEL | wxYES_NO), wxOK);

    sNext = sMissing;
    MarkTable(1000);
    Menu(ID_TRANSFERFUNCTION_LOAD);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].sText, wxString::Format(L"The transfer function \u201c%s\u201d "
                                                     L"could not be loaded.",
                                                     sMissing));
    EXPECT_EQ(boxes.boxes[1].sCaption, "Load Transfer Function");
    // The function is kept as it was, table included.
    EXPECT_EQ(Points(*m_pTf).size(), 3u);
    EXPECT_NE(PointAt(*m_pTf, 1234), nullptr);
    EXPECT_FALSE(TableRebuilt(1000));

    // A directory cannot be read as a file either.
    sNext = m_Dir.Root();
    Menu(ID_TRANSFERFUNCTION_LOAD);
    EXPECT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(Points(*m_pTf).size(), 3u);
}

TEST_F(TransferFunctionWndTest, ZeroSizedClientAreaNeverDividesByZero) {
    m_pTf->SetPoint(1000, 1.0f, 0.0f, 0.0f, 0.5f);
    CVolume* pVolume = HistogramOnlyVolume();
    pVolume->m_Histogram[10] = 100;
    pVolume->m_nHistogramPeak = 10;
    for (const wxSize size : {wxSize(700, 0), wxSize(0, 120), wxSize(0, 0)}) {
        wxSizeEvent event(size, m_pWnd->GetCanvas()->GetId());
        event.SetEventObject(m_pWnd->GetCanvas());
        m_pWnd->GetCanvas()->GetEventHandler()->ProcessEvent(event);
        EXPECT_EQ(m_pWnd->m_nWidth, size.GetWidth());
        EXPECT_EQ(m_pWnd->m_nHeight, size.GetHeight());
        for (int nMode : {RENDER_MODE_NONE, RENDER_MODE_SLICING}) {
            SetMode(nMode);
            ASSERT_TRUE(m_pWnd->MakeCurrent());
            m_pWnd->DrawScene();
        }
        const wxPoint at(5, 5);
        Mouse(wxEVT_LEFT_DOWN, at.x, at.y);
        Mouse(wxEVT_MOTION, at.x + 3, at.y + 3);
        Mouse(wxEVT_LEFT_UP, at.x + 3, at.y + 3);
        Click(3, 3);
        RightClick(2, 2);
        for (const ControlPoint& p : Points(*m_pTf)) {
            EXPECT_GE(p.position, 0);
            EXPECT_LE(p.position, 4095);
            EXPECT_FALSE(std::isnan(p.opacity));
        }
    }
}

TEST_F(TransferFunctionWndTest, EscapeEndsTheProcessAtOnceWithStatusZero) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child sends Escape to the canvas; the handler must end the process
        // with status 0 before control returns here.
        wxKeyEvent key(wxEVT_KEY_DOWN);
        key.m_keyCode = WXK_ESCAPE;
        key.SetEventObject(m_pWnd->GetCanvas());
        m_pWnd->GetCanvas()->GetEventHandler()->ProcessEvent(key);
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Other keys do nothing.
    wxKeyEvent key(wxEVT_KEY_DOWN);
    key.m_keyCode = 'A';
    key.SetEventObject(m_pWnd->GetCanvas());
    m_pWnd->GetCanvas()->GetEventHandler()->ProcessEvent(key);
    EXPECT_TRUE(m_pWnd->IsShown());
}

TEST(TransferFunctionWndCreation, FailedPixelFormatShowsTheBoxesAndCreatesNoWindow) {
    CMessageBoxCapture boxes;
    PixelFormatRequest impossible;
    impossible.nColorBits = 192;
    impossible.bFallBack = false;
    auto* pWnd = new CTransferFunctionWnd(GetViewerApp(), impossible);
    EXPECT_FALSE(pWnd->IsCreated());
    EXPECT_EQ(pWnd->GetCanvas(), nullptr);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].sText, "ChoosePixelFormat failed");
    EXPECT_EQ(boxes.boxes[1].sText, "SetPixelformat Failed!");
    EXPECT_EQ(boxes.boxes[1].sCaption, "Error");
    pWnd->Destroy();
    Pump(20);
}

} // namespace
