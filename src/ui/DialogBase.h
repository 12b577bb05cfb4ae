// CDialogBase: a modal dialog run from a dialog template, shared by the pages and
// progress windows of both updaters.
//
// - DoModal creates the dialog from its template and runs it until EndDialog; it
//   returns the value given to EndDialog. Another dialog may be run modally from a
//   handler of this one (the wizard's pages nest that way).
// - Controls named with BindControl are looked up when the window is created,
//   before OnInitDialog runs.
// - Commands: a handler named with OnCommandId runs for its control id; without
//   one, IDOK (the default button, or Enter) goes to OnOK and IDCANCEL (Esc, the
//   close command) to OnCancel, which end the dialog with that id unless a
//   subclass decides otherwise.
// - Every window message passes through the virtual WindowProc first; Default hands
//   it to the dialog's own window procedure. The background is erased by default
//   and then gets the separator bands (PaintSeparatorBands).
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <functional>
#include <map>
#include <vector>

// The separator every page paints over its background: a grey band one pixel high
// at client row 475 and a white band two pixels high at rows 476 and 477, across
// the whole client width. The rows are fixed pixels, whatever the page's height.
constexpr int SEPARATOR_GREY_ROW = 475;
constexpr int SEPARATOR_WHITE_ROWS = 2;
constexpr COLORREF SEPARATOR_GREY = RGB(128, 128, 128);
constexpr COLORREF SEPARATOR_WHITE = RGB(255, 255, 255);

// Paints the separator bands of hwnd's client width into hdc.
void PaintSeparatorBands(HWND hwnd, HDC hdc);

class CDialogBase
{
public:
    // hInstance: the module that holds the template (null: the program).
    CDialogBase(HINSTANCE hInstance, UINT nTemplateId);
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog modally and returns the value given to EndDialog (-1 when the
    // template cannot be loaded). hwndOwner may be null.
    INT_PTR DoModal(HWND hwndOwner = nullptr);
    // Ends the modal run with nResult; the window goes once the handler in hand returns.
    void EndDialog(INT_PTR nResult);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HINSTANCE GetInstance() const { return m_hInstance; }

protected:
    // The control with id nId is stored in *phwnd when the window is created.
    void BindControl(int nId, HWND* phwnd);
    // fnHandler runs for WM_COMMAND from control nId (any notification code).
    void OnCommandId(int nId, std::function<void()> fnHandler);

    // After the controls are bound; the result is that of WM_INITDIALOG (TRUE: the
    // system sets the focus).
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Erase-background: the default erase, then the separator bands.
    virtual BOOL OnEraseBkgnd(HDC hdc);
    virtual LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // The dialog's own window procedure.
    LRESULT Default(UINT uMsg, WPARAM wParam, LPARAM lParam);

    HINSTANCE m_hInstance;
    UINT m_nTemplateId;
    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void OnCommand(int nId);

    WNDPROC m_pfnDefault = nullptr;
    std::vector<std::pair<int, HWND*>> m_Bindings;
    std::map<int, std::function<void()>> m_Commands;
};
