#include "PanelTest.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/glcanvas.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/uiaction.h>

#include "app/MainDlg.h"
#include "app/ViewerApp.h"
#include "panels/SlicingDlg.h"
#include "panels/VolumeDlg.h"
#include "res/Resource.h"
#include "transfer/TransferFunction.h"
#include "view/RenderWnd.h"

using namespace guitest;

namespace paneltest {

float Radians(int nDegrees) {
    const float fScaled = static_cast<float>(nDegrees) * (1.0f / 180.0f);
    return static_cast<float>(static_cast<double>(fScaled) * 3.14159265358979323846);
}

void PanelTest::SetUp() {
    char cwd[PATH_MAX] = {};
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    m_sOldDir = cwd;
    // "default.trf": every value from 1 up is bright and fairly opaque.
    {
        CTransferFunction tf(nullptr);
        tf.SetPoint(0, 0.0f, 0.0f, 0.0f, 0.0f);
        tf.SetPoint(1, 1.0f, 0.8f, 0.4f, 0.6f);
        tf.SetPoint(4095, 0.4f, 0.8f, 1.0f, 0.6f);
        ASSERT_EQ(tf.Save(m_Dir.Path("default.trf")), 0);
    }
    ASSERT_EQ(chdir(m_Dir.Root().c_str()), 0);
    m_pApp = GetViewerApp();
    ASSERT_TRUE(m_pApp->InitInstance());
    m_pDlg = dynamic_cast<CMainDlg*>(wxTheApp->GetTopWindow());
    ASSERT_NE(m_pDlg, nullptr);
    m_pRender = dynamic_cast<CRenderWnd*>(m_pApp->m_pRenderWnd);
    ASSERT_NE(m_pRender, nullptr);
    m_pSlicing = m_pDlg->m_pSlicingDlg;
    m_pVolume = m_pDlg->m_pVolumeDlg;
    ASSERT_NE(m_pSlicing, nullptr);
    ASSERT_NE(m_pVolume, nullptr);
    ASSERT_TRUE(WaitForShown(m_pDlg));
    ASSERT_TRUE(WaitForShown(m_pRender->GetCanvas()));
}

void PanelTest::TearDown() {
    if (m_pDlg && !m_pDlg->HasEnded())
        m_pDlg->Close();
    Pump(50);
    EXPECT_EQ(m_pApp->m_pRenderWnd, nullptr);
    EXPECT_EQ(m_pApp->m_pVolume, nullptr);
    EXPECT_EQ(chdir(m_sOldDir.c_str()), 0);
}

void PanelTest::LoadDataset(int nDimX, int nDimY, int nDimZ,
                            const std::function<int16_t(int, int, int)>& value) {
    std::vector<int16_t> voxels(static_cast<size_t>(nDimX) * nDimY * nDimZ);
    size_t i = 0;
    for (int z = 0; z < nDimZ; ++z)
        for (int y = 0; y < nDimY; ++y)
            for (int x = 0; x < nDimX; ++x)
                voxels[i++] = value(x, y, z);
    const std::string sPath = m_Dir.Path("volume.dat");
    WriteRaw(sPath, nDimX, nDimY, nDimZ, voxels);
    ASSERT_EQ(m_pDlg->LoadDatasetFile(sPath), 0);
}

void PanelTest::ChooseSlicing() {
    Click(m_pDlg->m_btnSlicing);
    ASSERT_TRUE(WaitFor([&] { return m_pRender->GetRenderMode() == RENDER_MODE_SLICING; }));
}

void PanelTest::ChooseVolume() {
    Click(m_pDlg->m_btnVolume);
    ASSERT_TRUE(WaitFor([&] { return m_pRender->GetRenderMode() == RENDER_MODE_VOLUME; }));
}

void PanelTest::Click(wxWindow* pControl) {
    ASSERT_TRUE(pControl->IsShownOnScreen());
    wxUIActionSimulator sim;
    const wxSize size = pControl->GetSize();
    sim.MouseMove(pControl->ClientToScreen(wxPoint(size.GetWidth() / 2, size.GetHeight() / 2)));
    Pump(30);
    sim.MouseClick();
    Pump(100);
}

void PanelTest::Key(wxWindow* pControl, int nKeyCode) {
    pControl->SetFocus();
    ASSERT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == pControl; }, 2000));
    wxUIActionSimulator sim;
    sim.Char(nKeyCode);
    Pump(100);
}

wxPoint PanelTest::SliderPoint(wxSlider* pSlider, int nValue) {
    // The knob's centre runs from half a knob inside the left end to half a
    // knob inside the right end (GTK's knob is about 20 pixels wide, with a
    // pixel or two of margin).
    const wxSize size = pSlider->GetSize();
    const double dMargin = 12.0;
    const double dFraction = static_cast<double>(nValue - pSlider->GetMin()) /
                             static_cast<double>(pSlider->GetMax() - pSlider->GetMin());
    const int x = static_cast<int>(dMargin + dFraction * (size.GetWidth() - 2.0 * dMargin));
    return pSlider->ClientToScreen(wxPoint(x, size.GetHeight() / 2));
}

void PanelTest::DragSlider(wxSlider* pSlider, int nFrom, int nTo,
                           const std::function<void()>& during) {
    wxUIActionSimulator sim;
    const wxPoint start = SliderPoint(pSlider, nFrom);
    const wxPoint end = SliderPoint(pSlider, nTo);
    sim.MouseMove(start);
    Pump(50);
    sim.MouseDown();
    Pump(50);
    const int nSteps = 6;
    for (int i = 1; i <= nSteps; ++i) {
        sim.MouseMove(start + wxPoint((end.x - start.x) * i / nSteps, 0));
        Pump(40);
    }
    during();
    sim.MouseUp();
    Pump(100);
}

} // namespace paneltest
