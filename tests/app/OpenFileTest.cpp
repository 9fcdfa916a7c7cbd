// Opening files other than RAW datasets in the running viewer: a file given at
// start-up (with what its import noted), and a file that no reader recognises
// through the bare RAW layout dialog.
#include <wx/choice.h>
#include <wx/textctrl.h>

#include "app/RawLayoutDlg.h"
#include "support/GuiTest.h"

using namespace guitest;

namespace {

class OpenFileTest : public ViewerTest {
protected:
    // A button's click as its handler receives it.
    static void Press(wxWindow* pParent, int nId) {
        wxWindow* pButton = pParent->FindWindow(nId);
        ASSERT_NE(pButton, nullptr);
        wxCommandEvent event(wxEVT_BUTTON, nId);
        event.SetEventObject(pButton);
        pButton->GetEventHandler()->ProcessEvent(event);
    }
    // LoadDatasetFile(sPath), with step run on the bare RAW dialog while it is
    // shown; step ends it. LoadDatasetFile's result.
    int LoadThroughLayoutDialog(const std::string& sPath,
                                const std::function<void(CRawLayoutDlg&)>& step) {
        int nShown = 0;
        bool bLooking = true; // (the dialog comes once the background read has ended)
        std::function<void()> look = [&] {
            for (wxWindow* pWindow : wxTopLevelWindows) {
                auto* pLayout = dynamic_cast<CRawLayoutDlg*>(pWindow);
                if (pLayout && pLayout->IsModal()) {
                    ++nShown;
                    bLooking = false;
                    step(*pLayout);
                    if (pLayout->IsModal()) {
                        ADD_FAILURE() << "the dialog is still open";
                        pLayout->EndModal(wxID_CANCEL);
                    }
                }
            }
            if (bLooking)
                wxTheApp->CallAfter(look);
        };
        wxTheApp->CallAfter(look);
        const int nResult = LoadAndWait(m_pDlg, sPath);
        bLooking = false;
        Pump(); // the step runs now at the latest
        EXPECT_EQ(nShown, 1);
        return nResult;
    }

    CMessageBoxCapture m_Boxes;
};

// Started with a NRRD file of two volumes of 3 x 2 x 2 voxels of 1 x 1 x 2.
class StartFileTest : public OpenFileTest {
protected:
    void SetUp() override {
        std::string s = "NRRD0004\ntype: short\ndimension: 4\nsizes: 3 2 2 2\n"
                        "spacings: 1 1 2 NaN\nencoding: raw\nendian: little\n\n";
        for (int i = 0; i < 24; ++i)
            s += testfiles::Le16(i < 12 ? 100 + i : 4000);
        m_sStartFile = m_Dir.Write("two.nrrd", s);
        OpenFileTest::SetUp();
    }
};

TEST_F(StartFileTest, TheFileOpensWithTheModesEnabledAndNoModeChosen) {
    ASSERT_TRUE(WaitFor([&] { return m_pApp->m_pVolume != nullptr; }));
    const CVolume& volume = *m_pApp->m_pVolume;
    EXPECT_EQ(volume.m_nDimX * 100 + volume.m_nDimY * 10 + volume.m_nDimZ, 322);
    EXPECT_DOUBLE_EQ(volume.m_Source.ToScan(volume.VoxelAt(2, 1, 1)), 111);
    EXPECT_EQ(volume.m_dSpacing[2], 2.0);
    EXPECT_TRUE(m_pDlg->m_btnSlicing->IsEnabled());
    EXPECT_TRUE(m_pDlg->m_btnVolume->IsEnabled());
    EXPECT_FALSE(m_pDlg->m_btnSlicing->GetValue() || m_pDlg->m_btnVolume->GetValue());
    EXPECT_EQ(m_pRender->GetRenderMode(), RENDER_MODE_NONE);
    // What the import noted, once the dataset is in place.
    ASSERT_EQ(m_Boxes.boxes.size(), 1u);
    const MessageBoxRequest& box = m_Boxes.boxes[0];
    EXPECT_NE(box.sText.Find("holds 2 volumes; the first is shown"), wxNOT_FOUND) << box.sText;
    EXPECT_EQ(box.sCaption, "Load Dataset");
    EXPECT_EQ(box.nStyle, wxOK | wxICON_INFORMATION);
}

TEST_F(OpenFileTest, AFileNoReaderRecognisesIsReadWithTheLayoutTheUserGives) {
    LoadDataset(4, 4, 4, [](int, int, int) { return 1000; });
    const CVolume* pKept = m_pApp->m_pVolume;
    // 16 x 16 x 16 big-endian 16-bit values x + 16 y + 256 z: 8192 bytes, which
    // the dialog takes for a little-endian cube of 16-bit values.
    std::string sBytes;
    for (int i = 0; i < 4096; ++i)
        sBytes += {static_cast<char>(i >> 8), static_cast<char>(i & 0xFF)};
    const std::string sPath = m_Dir.Write("head.raw", sBytes);
    const int nResult = LoadThroughLayoutDialog(sPath, [&](CRawLayoutDlg& dialog) {
        EXPECT_EQ(dialog.m_pSize->GetValue(), "16 x 16 x 16");
        EXPECT_EQ(dialog.m_pType->GetStringSelection(), "uint16");
        EXPECT_EQ(dialog.m_pByteOrder->GetSelection(), 0);
        EXPECT_EQ(dialog.m_pHeader->GetValue(), "0");
        EXPECT_EQ(dialog.m_pSpacing->GetValue(), "1, 1, 1");
        // A size that does not explain the file is refused; the dialog stays.
        dialog.m_pSize->SetValue("16 x 16 x 15");
        Press(&dialog, wxID_OK);
        EXPECT_TRUE(WaitFor([&] { return m_Boxes.boxes.size() == 1; }));
        EXPECT_TRUE(dialog.IsModal());
        EXPECT_EQ(m_pApp->m_pVolume, pKept);
        dialog.m_pSize->SetValue("16x16x16");
        dialog.m_pByteOrder->SetSelection(1);
        dialog.m_pSpacing->SetValue("1,1,2");
        Press(&dialog, wxID_OK);
        EXPECT_TRUE(WaitFor([&] { return !dialog.IsModal(); })); // read in the background
    });
    EXPECT_EQ(nResult, 0);
    ASSERT_EQ(m_Boxes.boxes.size(), 1u);
    const MessageBoxRequest& box = m_Boxes.boxes[0];
    EXPECT_NE(box.sText.Find(L"\u201c" + wxString(sPath) +
                             L"\u201d could not be loaded: the "
                             L"file has 8192 bytes, but 0 header bytes and 16 x 16 x 15 uint16 "
                             L"values make 7680."),
              wxNOT_FOUND)
        << box.sText;
    EXPECT_EQ(box.sCaption, "Load Dataset");
    const CVolume* pVolume = m_pApp->m_pVolume;
    ASSERT_NE(pVolume, pKept);
    int nWrong = 0;
    for (int z = 0; z < 16; ++z)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                nWrong += pVolume->VoxelAt(x, y, z) != x + 16 * y + 256 * z;
    EXPECT_EQ(nWrong, 0);
    EXPECT_EQ(pVolume->m_dSpacing[2], 2.0);

    // No layout fits 1001 bytes: the size is left to the user. A field without
    // a layout is refused; Cancel reads nothing.
    m_Boxes.boxes.clear();
    const int nCancelled =
        LoadThroughLayoutDialog(m_Dir.Write("odd.bin", std::string(1001, 'x')), [&](auto& dialog) {
            EXPECT_EQ(dialog.m_pSize->GetValue(), "");
            Press(&dialog, wxID_OK);
            EXPECT_TRUE(dialog.IsModal());
            Press(&dialog, wxID_CANCEL);
        });
    EXPECT_EQ(nCancelled, -1);
    EXPECT_EQ(m_pApp->m_pVolume, pVolume);
    ASSERT_EQ(m_Boxes.boxes.size(), 1u);
    EXPECT_EQ(m_Boxes.boxes[0].sText, TEXT_RAW_SIZE_INVALID);
    EXPECT_EQ(m_Boxes.boxes[0].sCaption, "Bare RAW File");
}

} // namespace
