#include "app/VuqApp.h"

#include "app/WizardPages.h"
#include "res/VuqResource.h"

PlatformContext CVUQApp::WithMessageBox(const PlatformContext& platform, IMessageBox* pMessageBox)
{
    PlatformContext copy = platform;
    if (copy.pMessageBox == nullptr)
        copy.pMessageBox = pMessageBox;
    return copy;
}

CVUQApp::CVUQApp(const PlatformContext& platform, HINSTANCE hInstance)
    : m_hInstance(hInstance != nullptr ? hInstance : GetModuleHandleA(nullptr)),
      m_hIcon(LoadIconA(m_hInstance, MAKEINTRESOURCEA(IDI_VUQ_APP))),
      m_Downloader(WithMessageBox(platform, &m_MessageBox))
{
}

CVUQApp::~CVUQApp()
{
    if (m_hRichEdit != nullptr)
        FreeLibrary(m_hRichEdit);
}

void CVUQApp::InitUserInterface()
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = 8;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    // Every page's text control is a rich-edit 2.0 control; without the library the
    // pages show no text, but they still work.
    if (m_hRichEdit == nullptr)
        m_hRichEdit = LoadLibraryA("RICHED20.DLL");
}

BOOL CVUQApp::InitInstance()
{
    InitUserInterface();
    CVUQB1Dlg welcome(*this);
    m_pMainWnd = &welcome;
    welcome.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
