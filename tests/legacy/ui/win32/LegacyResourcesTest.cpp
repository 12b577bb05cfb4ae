// The legacy updater's resources (res/vuq-legacy.rc), as the program uses them: the
// string table agrees with the compiled-in copy (res/LegacyStrings.cpp), every dialog
// template can be created and holds its controls, title and font, and the pictures
// load.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "platform/win32/Win32SystemHeaders.h"
#include "res/LegacyResource.h"
#include "res/Strings.h"
#include "ui/DialogBase.h"

namespace
{
// The text of string nId in the program's resources ("" when there is none).
std::string ResourceString(UINT nId)
{
    std::vector<char> buffer(8192);
    int nLen = LoadStringA(GetModuleHandleA(nullptr), nId, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), nLen > 0 ? static_cast<size_t>(nLen) : 0);
}

std::string Lower(std::string strText)
{
    std::transform(strText.begin(), strText.end(), strText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return strText;
}

std::string WindowText(HWND hwnd)
{
    char szText[512] = {};
    GetWindowTextA(hwnd, szText, sizeof(szText));
    return szText;
}

std::string ClassName(HWND hwnd)
{
    char szClass[128] = {};
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    return Lower(szClass);
}

// The pixels of a bitmap as the system holds it, for comparing two bitmaps.
std::vector<BYTE> BitmapBits(HBITMAP hBitmap)
{
    BITMAP bitmap = {};
    if (hBitmap == nullptr || GetObjectA(hBitmap, sizeof(bitmap), &bitmap) == 0)
        return {};
    std::vector<BYTE> bits(static_cast<size_t>(bitmap.bmWidthBytes) * static_cast<size_t>(bitmap.bmHeight));
    GetBitmapBits(hBitmap, static_cast<LONG>(bits.size()), bits.data());
    return bits;
}

const UINT LEGACY_STRING_IDS[] = {
    IDS_LEGACY_ABOUT_MENU,          IDS_LEGACY_FIRST_WELCOME,        IDS_LEGACY_FIRST_WARNING,
    IDS_LEGACY_FIRST_STEPS,         IDS_LEGACY_FIRST_BACKUP,         IDS_LEGACY_FIRST_RESET,
    IDS_LEGACY_FIRST_POWER,         IDS_LEGACY_FIRST_CLOSE_APPS,     IDS_LEGACY_FIRST_DISK_SPACE,
    IDS_LEGACY_FIRST_NO_CARD,       IDS_LEGACY_FIRST_SYNC_READY,     IDS_LEGACY_FIRST_CLICK_NEXT,
    IDS_LEGACY_STEP2_TEXT,          IDS_LEGACY_STEP2_FIGURE,         IDS_LEGACY_STEP2_CLICK_NEXT,
    IDS_LEGACY_STEP2_NOTE,          IDS_LEGACY_STEP3_TEXT,           IDS_LEGACY_STEP3_SCREEN,
    IDS_LEGACY_STEP3_TRANSFER,      IDS_LEGACY_STEP3_NOTE,           IDS_LEGACY_FINAL_TEXT,
    IDS_LEGACY_TRANSFER_FAILED_TEXT, IDS_LEGACY_AGENT_FAILED_TEXT,   IDS_LEGACY_AGENT_FAILED_HINT,
    IDS_LEGACY_CONFIRM_ERASE,       IDS_LEGACY_CONFIRM_START,        IDS_LEGACY_CANNOT_OPEN_FILE,
    IDS_LEGACY_PDA_INIT_FAILED,     IDS_LEGACY_ERROR_CAPTION,        IDS_LEGACY_CANCEL_TEXT,
    IDS_LEGACY_CANCEL_CAPTION,      IDS_LEGACY_PROGRESS_TITLE,       IDS_LEGACY_NO_IMAGE,
    IDS_LEGACY_BULK_SIZE_PROBLEM,   IDS_LEGACY_STEP1,                IDS_LEGACY_STEP2,
    IDS_LEGACY_STEP3,               IDS_LEGACY_STEP4,                IDS_LEGACY_STEP5,
    IDS_LEGACY_STEP6,               IDS_LEGACY_STEP7,                IDS_LEGACY_STEP8,
    IDS_LEGACY_PROGRESS_HEADING,
};
} // namespace

TEST(LegacyStringTable, ResourcesAndCompiledTableAgree)
{
    for (UINT nId = 0; nId <= 0xFFFF; ++nId)
        EXPECT_EQ(ResourceString(nId), std::string(LoadLegacyString(nId))) << "string " << nId;
}

TEST(LegacyStringTable, EveryTextOfTheProgramIsThere)
{
    for (UINT nId : LEGACY_STRING_IDS)
        EXPECT_FALSE(ResourceString(nId).empty()) << "string " << nId;
    // The texts the resource compiler reads differently from C++: a quoted word, a
    // trailing space before a line break, a leading line break.
    EXPECT_NE(ResourceString(IDS_LEGACY_CONFIRM_ERASE).find("please press \"Yes\"; to cancel"), std::string::npos);
    EXPECT_EQ(ResourceString(IDS_LEGACY_STEP2_CLICK_NEXT), ", click Next button \nto continue. \n\n");
    EXPECT_EQ(ResourceString(IDS_LEGACY_FIRST_CLICK_NEXT), "\n, click the Next button to continue.");
}

namespace
{
// A control a template must hold. nId IDC_STATIC: found by class and text instead.
struct EXPECTED_CONTROL
{
    int nId;
    const char* pszClass;  // lower case
    const char* pszText;   // null: not checked
};

struct TEMPLATE_CASE
{
    const char* pszName;
    UINT nTemplateId;
    const char* pszTitle;
    // The first page's About item goes into its system menu; the progress window must
    // offer no way to close it; pages that ignore Esc offer no dead close box.
    bool bSystemMenu;
    UINT nPictureId;  // the bitmap a picture control shows (0: none)
    std::vector<EXPECTED_CONTROL> controls;
};

// Failure lines name the template.
void PrintTo(const TEMPLATE_CASE& page, std::ostream* pOut)
{
    *pOut << page.pszName;
}

const char* const RICH_EDIT = "richedit20a";
const char* const BUTTON = "button";
const char* const STATIC = "static";
const char* const EDIT = "edit";
const char* const PROGRESS = "msctls_progress32";

const TEMPLATE_CASE TEMPLATE_CASES[] = {
    {"About", IDD_LEGACY_ABOUT, "About VUQ", true, 0,
     {{IDOK, BUTTON, "OK"}, {IDC_STATIC, STATIC, "VUQ legacy updater, Version 1.0"}}},
    {"FirstPage", IDD_LEGACY_FIRST, "VUQ", true, 0,
     {{IDC_LEGACY_RICH_TEXT, RICH_EDIT, nullptr},
      {IDC_LEGACY_FIRST_NEXT, BUTTON, "NEXT"},
      {IDC_LEGACY_FIRST_CANCEL, BUTTON, "CANCEL"}}},
    {"Step2Page", IDD_LEGACY_STEP2, "VUQ - STEP 2", true, IDB_LEGACY_FIGURE1,
     {{IDC_LEGACY_RICH_TEXT, RICH_EDIT, nullptr},
      {IDC_STATIC, STATIC, "figure 1"},
      {IDC_LEGACY_STEP2_NEXT, BUTTON, "NEXT"},
      {IDC_LEGACY_STEP2_CANCEL, BUTTON, "CANCEL"}}},
    {"Step3Page", IDD_LEGACY_STEP3, "VUQ - STEP 3", true, IDB_LEGACY_FIGURE2,
     {{IDC_LEGACY_RICH_TEXT, RICH_EDIT, nullptr},
      {IDC_LEGACY_UPDATE, BUTTON, "UPDATE"},
      {IDC_LEGACY_STEP3_CANCEL, BUTTON, "CANCEL"}}},
    {"FinalPage", IDD_LEGACY_FINAL, "VUQ - FINAL STEP", false, 0,
     {{IDC_LEGACY_RICH_TEXT, RICH_EDIT, nullptr}, {IDC_LEGACY_FINISH, BUTTON, "FINISH"}}},
    {"TransferFailedPage", IDD_LEGACY_TRANSFER_FAILED, "VUQ - TRANSFER FAILED", false, 0,
     {{IDC_LEGACY_WARNING_ICON, STATIC, nullptr},
      {IDC_LEGACY_RICH_TEXT, RICH_EDIT, nullptr},
      {IDC_LEGACY_RESTART, BUTTON, "restart program"},
      {IDC_LEGACY_TRANSFER_OK, BUTTON, "OK"}}},
    {"AgentFailedPage", IDD_LEGACY_AGENT_FAILED, "", false, 0,
     {{IDC_LEGACY_WARNING_ICON, STATIC, nullptr},
      {IDC_LEGACY_RICH_TEXT, RICH_EDIT, nullptr},
      {IDC_LEGACY_RESTART, BUTTON, "restart program"},
      {IDC_LEGACY_AGENT_OK, BUTTON, "OK"}}},
    {"ProgressWindow", IDD_LEGACY_PROGRESS, "", false, 0,
     {{IDC_LEGACY_HEADING_BOX, EDIT, nullptr},
      {IDC_LEGACY_OVERALL_BAR, PROGRESS, nullptr},
      {IDC_LEGACY_STEP_BOX, EDIT, nullptr},
      {IDC_LEGACY_STEP_BAR, PROGRESS, nullptr}}},
};

INT_PTR CALLBACK TrivialDialogProc(HWND, UINT uMsg, WPARAM, LPARAM)
{
    return uMsg == WM_INITDIALOG ? TRUE : FALSE;
}

// The child of hwndDialog that shows a bitmap (null when there is none).
HWND FindPicture(HWND hwndDialog)
{
    for (HWND hwnd = GetWindow(hwndDialog, GW_CHILD); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
        if (ClassName(hwnd) == STATIC && (GetWindowLongA(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            return hwnd;
    return nullptr;
}

RECT WindowRect(HWND hwnd)
{
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    return rc;
}

// A template created as a modeless window with a dialog procedure that does nothing,
// after the rich-edit and the common controls' classes are registered, as the program
// does before its first page.
class CCreatedTemplate
{
public:
    explicit CCreatedTemplate(UINT nTemplateId)
    {
        m_hRichEdit = LoadLibraryA("RICHED20.DLL");
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        m_hwnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(nTemplateId), nullptr,
                                    TrivialDialogProc, 0);
        m_dwError = GetLastError();
    }
    ~CCreatedTemplate()
    {
        if (m_hwnd != nullptr)
            DestroyWindow(m_hwnd);
        if (m_hRichEdit != nullptr)
            FreeLibrary(m_hRichEdit);
    }
    CCreatedTemplate(const CCreatedTemplate&) = delete;
    CCreatedTemplate& operator=(const CCreatedTemplate&) = delete;

    HWND GetHwnd() const { return m_hwnd; }
    HWND GetControl(int nId) const { return GetDlgItem(m_hwnd, nId); }
    unsigned long GetCreateError() const { return m_dwError; }

private:
    HMODULE m_hRichEdit = nullptr;
    HWND m_hwnd = nullptr;
    unsigned long m_dwError = 0;
};

class LegacyTemplateTest : public testing::TestWithParam<TEMPLATE_CASE>
{
protected:
    void SetUp() override
    {
        ASSERT_NE(m_Dialog.GetHwnd(), nullptr)
            << "template " << GetParam().nTemplateId << ", error " << m_Dialog.GetCreateError();
        m_hwnd = m_Dialog.GetHwnd();
    }

    HWND FindControl(const EXPECTED_CONTROL& control) const
    {
        if (control.nId != IDC_STATIC)
            return GetDlgItem(m_hwnd, control.nId);
        return FindWindowExA(m_hwnd, nullptr, control.pszClass, control.pszText);
    }

    CCreatedTemplate m_Dialog{GetParam().nTemplateId};
    HWND m_hwnd = nullptr;
};

TEST_P(LegacyTemplateTest, HasItsTitleFontAndControls)
{
    const TEMPLATE_CASE& page = GetParam();
    EXPECT_EQ(WindowText(m_hwnd), page.pszTitle);

    HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(m_hwnd, WM_GETFONT, 0, 0));
    ASSERT_NE(hFont, nullptr);
    LOGFONTA font = {};
    ASSERT_NE(GetObjectA(hFont, sizeof(font), &font), 0);
    EXPECT_STREQ(font.lfFaceName, "Times New Roman");

    for (const EXPECTED_CONTROL& control : page.controls)
    {
        HWND hwndControl = FindControl(control);
        ASSERT_NE(hwndControl, nullptr) << "control " << control.nId << " " << (control.pszText ? control.pszText : "");
        EXPECT_EQ(ClassName(hwndControl), control.pszClass) << "control " << control.nId;
        if (control.pszText != nullptr)
        {
            EXPECT_EQ(WindowText(hwndControl), control.pszText) << "control " << control.nId;
        }
        if (control.pszClass == RICH_EDIT)
        {
            // The page texts are laid out line by line and never edited.
            LONG_PTR nStyle = GetWindowLongPtrA(hwndControl, GWL_STYLE);
            EXPECT_TRUE(nStyle & ES_MULTILINE);
            EXPECT_TRUE(nStyle & ES_READONLY);
        }
    }
}

TEST_P(LegacyTemplateTest, SystemMenuAsTheWindowNeeds)
{
    LONG_PTR nStyle = GetWindowLongPtrA(m_hwnd, GWL_STYLE);
    EXPECT_EQ((nStyle & WS_SYSMENU) != 0, GetParam().bSystemMenu);
    if (GetParam().bSystemMenu)
    {
        EXPECT_NE(GetSystemMenu(m_hwnd, FALSE), nullptr);
    }
}

TEST_P(LegacyTemplateTest, ShowsItsPicture)
{
    HWND hwndPicture = FindPicture(m_hwnd);
    if (GetParam().nPictureId == 0)
    {
        EXPECT_EQ(hwndPicture, nullptr);
        return;
    }
    ASSERT_NE(hwndPicture, nullptr);
    HBITMAP hShown = reinterpret_cast<HBITMAP>(SendMessageA(hwndPicture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    HBITMAP hExpected = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(GetParam().nPictureId));
    ASSERT_NE(hShown, nullptr);
    ASSERT_NE(hExpected, nullptr);
    std::vector<BYTE> shownBits = BitmapBits(hShown);
    EXPECT_FALSE(shownBits.empty());
    EXPECT_TRUE(shownBits == BitmapBits(hExpected)) << "the picture is not bitmap " << GetParam().nPictureId;
    DeleteObject(hExpected);
}

// The dialog base paints separator bands from client row 475: each template is
// shorter, so no page shows them.
TEST_P(LegacyTemplateTest, EndsAboveTheSeparatorBands)
{
    RECT rcClient = {};
    GetClientRect(m_hwnd, &rcClient);
    EXPECT_LE(rcClient.bottom, SEPARATOR_GREY_ROW);
}

INSTANTIATE_TEST_SUITE_P(Templates, LegacyTemplateTest, testing::ValuesIn(TEMPLATE_CASES),
                         [](const testing::TestParamInfo<TEMPLATE_CASE>& caseInfo) { return caseInfo.param.pszName; });

TEST(LegacyProgressWindow, ControlsFromTopToBottomAndNoButtons)
{
    CCreatedTemplate dialog(IDD_LEGACY_PROGRESS);
    ASSERT_NE(dialog.GetHwnd(), nullptr);
    const int ORDER[] = {IDC_LEGACY_HEADING_BOX, IDC_LEGACY_OVERALL_BAR, IDC_LEGACY_STEP_BOX, IDC_LEGACY_STEP_BAR};
    for (size_t i = 1; i < std::size(ORDER); ++i)
    {
        RECT rcAbove = WindowRect(dialog.GetControl(ORDER[i - 1]));
        RECT rcBelow = WindowRect(dialog.GetControl(ORDER[i]));
        EXPECT_LE(rcAbove.bottom, rcBelow.top) << "control " << ORDER[i - 1] << " above " << ORDER[i];
    }
    EXPECT_EQ(FindWindowExA(dialog.GetHwnd(), nullptr, "Button", nullptr), nullptr);
    // The step box is read-only and centred.
    LONG_PTR nStyle = GetWindowLongPtrA(dialog.GetControl(IDC_LEGACY_STEP_BOX), GWL_STYLE);
    EXPECT_TRUE(nStyle & ES_READONLY);
    EXPECT_TRUE(nStyle & ES_CENTER);
}

// The About box shows the program's icon.
TEST(LegacyAboutBox, ShowsTheProgramIcon)
{
    CCreatedTemplate dialog(IDD_LEGACY_ABOUT);
    ASSERT_NE(dialog.GetHwnd(), nullptr);
    HICON hShown = nullptr;
    for (HWND hwnd = GetWindow(dialog.GetHwnd(), GW_CHILD); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
        if (ClassName(hwnd) == STATIC && (GetWindowLongA(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            hShown = reinterpret_cast<HICON>(SendMessageA(hwnd, STM_GETICON, 0, 0));
    EXPECT_NE(hShown, nullptr);
}

// The picture of the step-2 page has its caption under it.
TEST(LegacyStep2Page, FigureCaptionUnderThePicture)
{
    CCreatedTemplate dialog(IDD_LEGACY_STEP2);
    ASSERT_NE(dialog.GetHwnd(), nullptr);
    HWND hwndPicture = FindPicture(dialog.GetHwnd());
    HWND hwndCaption = FindWindowExA(dialog.GetHwnd(), nullptr, "Static", "figure 1");
    ASSERT_NE(hwndPicture, nullptr);
    ASSERT_NE(hwndCaption, nullptr);
    RECT rcPicture = WindowRect(hwndPicture);
    RECT rcCaption = WindowRect(hwndCaption);
    EXPECT_LE(rcPicture.bottom, rcCaption.top);
    EXPECT_LT(rcCaption.left, rcPicture.right);
    EXPECT_GT(rcCaption.right, rcPicture.left);
}

// The step-3 page's text speaks of "the screen as shown to the left": the picture is.
TEST(LegacyStep3Page, PictureLeftOfTheText)
{
    CCreatedTemplate dialog(IDD_LEGACY_STEP3);
    ASSERT_NE(dialog.GetHwnd(), nullptr);
    HWND hwndPicture = FindPicture(dialog.GetHwnd());
    ASSERT_NE(hwndPicture, nullptr);
    EXPECT_LE(WindowRect(hwndPicture).right, WindowRect(dialog.GetControl(IDC_LEGACY_RICH_TEXT)).left);
}
} // namespace

TEST(LegacyPictures, IconAndBitmapsLoad)
{
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    for (int nSize : {16, 32, 48})
    {
        HICON hIcon = static_cast<HICON>(
            LoadImageA(hInstance, MAKEINTRESOURCEA(IDI_LEGACY_APP), IMAGE_ICON, nSize, nSize, LR_DEFAULTCOLOR));
        EXPECT_NE(hIcon, nullptr) << nSize << " pixels";
        if (hIcon != nullptr)
            DestroyIcon(hIcon);
    }
    for (UINT nId : {IDB_LEGACY_FIGURE1, IDB_LEGACY_FIGURE2})
    {
        HBITMAP hBitmap = static_cast<HBITMAP>(
            LoadImageA(hInstance, MAKEINTRESOURCEA(nId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(hBitmap, nullptr) << "bitmap " << nId;
        DIBSECTION dib = {};
        ASSERT_EQ(GetObjectA(hBitmap, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
        EXPECT_EQ(dib.dsBm.bmBitsPixel, 24) << "bitmap " << nId;
        DeleteObject(hBitmap);
    }
}
