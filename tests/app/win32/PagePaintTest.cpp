// Every page and the progress window paint the separator over their background: a
// grey band at client row 475 and a white band at rows 476 and 477, across the
// client width, at those fixed rows whatever the window's height.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "app/VUQDlg.h"
#include "app/WizardPages.h"
#include "app/win32/WizardHarness.h"

namespace
{
constexpr COLORREF MARKER = RGB(1, 2, 3);
constexpr int CANVAS_ROWS = 520;

// A 32-bit canvas filled with the marker colour, wider and taller than the client.
class CCanvas
{
public:
    CCanvas(int nWidth, int nHeight) : m_nWidth(nWidth), m_nHeight(nHeight)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = nWidth;
        info.bmiHeader.biHeight = -nHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_hDC = CreateCompatibleDC(nullptr);
        m_hBitmap = CreateDIBSection(m_hDC, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_pPixels), nullptr, 0);
        m_hOld = SelectObject(m_hDC, m_hBitmap);
        RECT rc = {0, 0, nWidth, nHeight};
        HBRUSH hMarker = CreateSolidBrush(MARKER);
        FillRect(m_hDC, &rc, hMarker);
        DeleteObject(hMarker);
    }
    ~CCanvas()
    {
        SelectObject(m_hDC, m_hOld);
        DeleteObject(m_hBitmap);
        DeleteDC(m_hDC);
    }
    HDC DC() const { return m_hDC; }
    COLORREF At(int nX, int nY) const
    {
        GdiFlush();
        UINT32 uPixel = m_pPixels[nY * m_nWidth + nX];
        return RGB((uPixel >> 16) & 0xFF, (uPixel >> 8) & 0xFF, uPixel & 0xFF);
    }

private:
    int m_nWidth;
    int m_nHeight;
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOld = nullptr;
    UINT32* m_pPixels = nullptr;
};

struct PAINT_CASE
{
    const char* pszName;
    int nPage;
    std::function<void(CVUQApp&)> fnRun;
};

void PrintTo(const PAINT_CASE& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

class SeparatorPaint : public testing::TestWithParam<PAINT_CASE>
{
protected:
    void SetUp() override
    {
        m_Wizard.WriteTempFiles();
        // Without the agent the progress window's worker waits on its first message box.
        std::error_code ec;
        std::filesystem::remove(m_Wizard.TempPath() + "/Tessik_Console.exe", ec);
    }
    CWizardHarness m_Wizard;
};
}

// The background erased into a canvas larger than the window: the default erase
// fills the client area, and the bands cover rows 475 to 477 across the client
// width, also where they lie below the client area.
TEST_P(SeparatorPaint, BandsAtFixedRows)
{
    m_Wizard.StartWith(GetParam().fnRun);
    HWND hPage = m_Wizard.WaitForPage(GetParam().nPage);
    ASSERT_NE(hPage, nullptr);
    RECT rcClient;
    GetClientRect(hPage, &rcClient);
    ASSERT_GT(rcClient.right, 20);

    CCanvas canvas(rcClient.right + 8, CANVAS_ROWS);
    EXPECT_NE(SendMessageA(hPage, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.DC()), 0), 0);

    const COLORREF crFace = GetSysColor(COLOR_3DFACE);
    for (int nX : {0, static_cast<int>(rcClient.right) / 2, static_cast<int>(rcClient.right) - 1})
    {
        EXPECT_EQ(canvas.At(nX, 475), RGB(128, 128, 128)) << "x " << nX;
        EXPECT_EQ(canvas.At(nX, 476), RGB(255, 255, 255)) << "x " << nX;
        EXPECT_EQ(canvas.At(nX, 477), RGB(255, 255, 255)) << "x " << nX;
        // Above and below the bands: the page's background inside the client area,
        // nothing outside it.
        EXPECT_EQ(canvas.At(nX, 474), 474 < rcClient.bottom ? crFace : MARKER) << "x " << nX;
        EXPECT_EQ(canvas.At(nX, 478), 478 < rcClient.bottom ? crFace : MARKER) << "x " << nX;
        EXPECT_EQ(canvas.At(nX, 0), crFace) << "x " << nX;
    }
    // Right of the client area nothing is painted.
    EXPECT_EQ(canvas.At(rcClient.right, 475), MARKER);
    EXPECT_EQ(canvas.At(rcClient.right, 476), MARKER);
}

// On screen: a window made taller than 478 pixels shows the bands when it repaints.
TEST_P(SeparatorPaint, BandsOnScreen)
{
    m_Wizard.StartWith(GetParam().fnRun);
    HWND hPage = m_Wizard.WaitForPage(GetParam().nPage);
    ASSERT_NE(hPage, nullptr);
    RECT rcWindow;
    GetWindowRect(hPage, &rcWindow);
    SetWindowPos(hPage, nullptr, 0, 0, rcWindow.right - rcWindow.left, 700, SWP_NOMOVE | SWP_NOZORDER);
    RedrawWindow(hPage, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rcClient;
    GetClientRect(hPage, &rcClient);
    ASSERT_GT(rcClient.bottom, 478);

    HDC hDC = GetDC(hPage);
    int nX = 4;
    EXPECT_EQ(GetPixel(hDC, nX, 475), RGB(128, 128, 128));
    EXPECT_EQ(GetPixel(hDC, nX, 476), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(hDC, nX, 477), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(hDC, nX, 474), GetSysColor(COLOR_3DFACE));
    EXPECT_EQ(GetPixel(hDC, nX, 478), GetSysColor(COLOR_3DFACE));
    ReleaseDC(hPage, hDC);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, SeparatorPaint,
    testing::Values(PAINT_CASE{"Welcome", PAGE_WELCOME, [](CVUQApp& app) { CVUQB1Dlg(app).DoModal(); }},
                    PAINT_CASE{"NotConnected", PAGE_NOT_CONNECTED, [](CVUQApp& app) { CNOTSyncDialog(app).DoModal(); }},
                    PAINT_CASE{"Confirmation", PAGE_CONFIRM, [](CVUQApp& app) { CVUQC1Dlg(app).DoModal(); }},
                    PAINT_CASE{"Finish", PAGE_FINISH, [](CVUQApp& app) { CENDDlg(app).DoModal(); }},
                    PAINT_CASE{"Progress", PAGE_PROGRESS, [](CVUQApp& app) { CVUQDlg(app).DoModal(); }}),
    [](const testing::TestParamInfo<PAINT_CASE>& paramInfo) { return paramInfo.param.pszName; });
