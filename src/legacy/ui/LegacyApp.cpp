#include "legacy/ui/LegacyApp.h"

#include <cstdio>

#include "common/Trace.h"
#include "legacy/LegacyDesk.h"
#include "legacy/LegacyRapi.h"
#include "legacy/LegacyRun.h"
#include "legacy/ui/LegacyPages.h"
#include "legacy/ui/UpdateProg1Dlg.h"
#include "res/LegacyResource.h"
#include "res/Strings.h"
#include "ui/RichText.h"

CLegacyApp::CLegacyApp(const PlatformContext& platform, HINSTANCE hInstance, const char* pszPortName)
    : m_hInstance(hInstance != nullptr ? hInstance : GetModuleHandleA(nullptr)),
      m_hIcon(LoadIconA(m_hInstance, MAKEINTRESOURCEA(IDI_LEGACY_APP))), m_Platform(platform),
      m_strPortName(pszPortName != nullptr ? pszPortName : "")
{
    if (m_Platform.pMessageBox == nullptr)
        m_Platform.pMessageBox = &m_MessageBox;
}

CLegacyApp::~CLegacyApp()
{
    if (m_hRichEdit != nullptr)
        FreeLibrary(m_hRichEdit);
}

void CLegacyApp::InitUserInterface()
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    // Every page's text box is a rich-edit 2.0 control; without the library the pages
    // show no text, but they still work.
    if (m_hRichEdit == nullptr)
        m_hRichEdit = LoadLibraryA("RICHED20.DLL");
}

BOOL CLegacyApp::InitInstance()
{
    InitUserInterface();
    while (RunPass() == LEGACY_PASS_RESTART)
        Trace(false, "Restart program\r\n");
    return FALSE;
}

int CLegacyApp::RunPass()
{
    // The first page: the host code of this pass, the instructions, the first
    // confirmation. Anything but NEXT confirmed ends the program (a cancel has
    // cleaned up already).
    INT_PTR nResult = 0;
    {
        CLegacyFirstPage first(*this);
        nResult = first.DoModal();
    }
    if (nResult != IDOK)
        return LEGACY_PASS_END;

    int nAgent = PlaceAgent();
    if (nAgent == LEGACY_AGENT_MISSING)
    {
        ShowMessage(LoadText(IDS_LEGACY_CANNOT_OPEN_FILE).c_str(), LoadText(IDS_LEGACY_ERROR_CAPTION).c_str(),
                    MB_STYLE_OK | MB_STYLE_ICONERROR);
        CleanUp();
        return LEGACY_PASS_END;
    }
    if (nAgent == LEGACY_AGENT_FAILED)
    {
        {
            CLegacyAgentFailedPage failed(*this);
            nResult = failed.DoModal();
        }
        if (nResult == LEGACY_RESULT_RESTART)
            return LEGACY_PASS_RESTART;
        CleanUp();
        return LEGACY_PASS_END;
    }

    // The step pages: a cancel has cleaned up and started the sync software.
    {
        CLegacyStep2Page step2(*this);
        nResult = step2.DoModal();
    }
    if (nResult != IDOK)
        return LEGACY_PASS_END;
    {
        CLegacyStep3Page step3(*this);
        nResult = step3.DoModal();
    }
    if (nResult != IDOK)
        return LEGACY_PASS_END;

    {
        CUpdateProg1Dlg progress(*this);
        nResult = progress.DoModal();
    }
    if (nResult == LEGACY_RUN_DONE)
    {
        CLegacyFinalPage finalPage(*this);
        finalPage.DoModal();
        return LEGACY_PASS_END;
    }

    {
        CLegacyTransferFailedPage failed(*this);
        nResult = failed.DoModal();
    }
    if (nResult == LEGACY_RESULT_RESTART)
    {
        // The new run starts from a fresh staging file.
        DeleteLegacyStagingFile(m_Platform);
        return LEGACY_PASS_RESTART;
    }
    CleanUp();
    return LEGACY_PASS_END;
}

int CLegacyApp::PlaceAgent()
{
    // Opened for reading. An open file cannot be deleted on Windows (the C library
    // shares reading and writing, not deleting), so it is closed as soon as the copy
    // is over, whatever its outcome: every later clean-up can then remove it.
    std::FILE* pAgent = std::fopen(LEGACY_AGENT_NAME, "rb");
    if (pAgent == nullptr)
        return LEGACY_AGENT_MISSING;
    bool bCopied = false;
    if (m_Platform.pRemoteApi != nullptr && m_Platform.pClock != nullptr)
        bCopied = CopyAgentToDevice(*m_Platform.pRemoteApi, *m_Platform.pClock, pAgent);
    std::fclose(pAgent);
    if (!bCopied)
        return LEGACY_AGENT_FAILED;
    if (StartAgentOnDevice(*m_Platform.pRemoteApi, *m_Platform.pClock) != 1)
        return LEGACY_AGENT_FAILED;
    return LEGACY_AGENT_STARTED;
}

std::string CLegacyApp::LoadText(UINT nId) const
{
    return LoadResourceText(nId, m_hInstance);
}

int CLegacyApp::ShowMessage(const char* pszText, const char* pszCaption, UINT uStyle)
{
    return m_Platform.pMessageBox->MessageBox(pszText, pszCaption, uStyle);
}

void CLegacyApp::CleanUp()
{
    DeleteLegacyTempFiles(m_Platform);
}
