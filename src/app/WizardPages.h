// The wizard's pages. Each shows one text in its rich-text control beside the side
// picture. A page moves forward by ending its own modal run and then, still in its
// button handler, running the next page modally, so the wizard is a chain of nested
// modal runs that unwinds when the newest page closes.
//
//   CVUQB1Dlg       welcome: Next checks the link, then the free space of TEMP
//   CNOTSyncDialog  not connected: Try again runs a new welcome page
//   CVUQC1Dlg       version confirmation: Continue checks the link and runs the
//                   progress window; success leads to the finish page, anything
//                   else to a new confirmation page
//   CENDDlg         finish: Finish deletes the temporary files
//
// Cancel on the first three pages (and Exit on the not-connected page) asks the
// cancel question; Yes deletes the temporary files and ends the page.
#pragma once

#include "ui/DialogBase.h"

#include "app/VuqApp.h"

// Free space the TEMP volume needs for an update (20 MiB).
constexpr QWORD REQUIRED_FREE_SPACE = 0x1400000;
// Version texts of the confirmation page: 63 characters and the terminator.
constexpr size_t VERSION_TEXT_BUFFER = 64;

class CVUQB1Dlg : public CDialogBase
{
public:
    explicit CVUQB1Dlg(CVUQApp& app);

protected:
    BOOL OnInitDialog() override;

private:
    void OnBnClickedNext();

    CVUQApp& m_App;
    HICON m_hIcon;
    HWND m_hRichText = nullptr;
};

class CNOTSyncDialog : public CDialogBase
{
public:
    explicit CNOTSyncDialog(CVUQApp& app);

protected:
    BOOL OnInitDialog() override;

private:
    void OnBnClickedTryAgain();

    CVUQApp& m_App;
    HWND m_hRichText = nullptr;
};

class CVUQC1Dlg : public CDialogBase
{
public:
    explicit CVUQC1Dlg(CVUQApp& app);

protected:
    BOOL OnInitDialog() override;

private:
    void OnBnClickedContinue();

    CVUQApp& m_App;
    HWND m_hRichText = nullptr;
    char m_szCurrentVersion[VERSION_TEXT_BUFFER] = {};
    char m_szCurrentGsmVersion[VERSION_TEXT_BUFFER] = {};
    char m_szNewVersion[VERSION_TEXT_BUFFER] = {};
};

class CENDDlg : public CDialogBase
{
public:
    explicit CENDDlg(CVUQApp& app);

protected:
    BOOL OnInitDialog() override;

private:
    void OnBnClickedFinish();

    CVUQApp& m_App;
    HWND m_hRichText = nullptr;
};

// The confirmation page's text filled with the two current versions and the new
// one (the new GSM version is a single space).
std::string FormatConfirmationText(const char* pszCurrentVersion, const char* pszCurrentGsmVersion,
                                   const char* pszNewVersion);
