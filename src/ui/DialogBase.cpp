#include "ui/DialogBase.h"

namespace
{
// The window property that leads from a dialog's window to its object.
const char DIALOG_OBJECT_PROPERTY[] = "CDialogBase";
}

void PaintSeparatorBands(HWND hwnd, HDC hdc)
{
    RECT rcClient;
    GetClientRect(hwnd, &rcClient);
    RECT rcGrey = {rcClient.left, SEPARATOR_GREY_ROW, rcClient.right, SEPARATOR_GREY_ROW + 1};
    RECT rcWhite = {rcClient.left, SEPARATOR_GREY_ROW + 1, rcClient.right, SEPARATOR_GREY_ROW + 1 + SEPARATOR_WHITE_ROWS};
    HBRUSH hGrey = CreateSolidBrush(SEPARATOR_GREY);
    HBRUSH hWhite = CreateSolidBrush(SEPARATOR_WHITE);
    FillRect(hdc, &rcGrey, hGrey);
    FillRect(hdc, &rcWhite, hWhite);
    DeleteObject(hGrey);
    DeleteObject(hWhite);
}

CDialogBase::CDialogBase(HINSTANCE hInstance, UINT nTemplateId)
    : m_hInstance(hInstance != nullptr ? hInstance : GetModuleHandleA(nullptr)), m_nTemplateId(nTemplateId)
{
}

CDialogBase::~CDialogBase() = default;

INT_PTR CDialogBase::DoModal(HWND hwndOwner)
{
    return DialogBoxParamA(m_hInstance, MAKEINTRESOURCEA(m_nTemplateId), hwndOwner, &CDialogBase::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR nResult)
{
    if (m_hWnd != nullptr)
        ::EndDialog(m_hWnd, nResult);
}

void CDialogBase::BindControl(int nId, HWND* phwnd)
{
    m_Bindings.emplace_back(nId, phwnd);
}

void CDialogBase::OnCommandId(int nId, std::function<void()> fnHandler)
{
    m_Commands[nId] = std::move(fnHandler);
}

BOOL CDialogBase::OnInitDialog()
{
    return TRUE;
}

void CDialogBase::OnOK()
{
    EndDialog(IDOK);
}

void CDialogBase::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialogBase::OnEraseBkgnd(HDC hdc)
{
    Default(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    PaintSeparatorBands(m_hWnd, hdc);
    return TRUE;
}

void CDialogBase::OnCommand(int nId)
{
    auto it = m_Commands.find(nId);
    if (it != m_Commands.end())
    {
        // The handler may run further dialogs modally; it owns no copy of itself,
        // and the map is not changed while the dialog runs.
        it->second();
        return;
    }
    if (nId == IDOK)
        OnOK();
    else if (nId == IDCANCEL)
        OnCancel();
}

LRESULT CDialogBase::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    default:
        return Default(uMsg, wParam, lParam);
    }
}

LRESULT CDialogBase::Default(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(m_pfnDefault, m_hWnd, uMsg, wParam, lParam);
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT uMsg, WPARAM, LPARAM lParam)
{
    if (uMsg != WM_INITDIALOG)
        return FALSE;   // everything else was seen by WindowProc already, or is the default's

    // From here on every message passes the object's WindowProc before the dialog's
    // own procedure.
    CDialogBase* pThis = reinterpret_cast<CDialogBase*>(lParam);
    pThis->m_hWnd = hwnd;
    SetPropA(hwnd, DIALOG_OBJECT_PROPERTY, pThis);
    pThis->m_pfnDefault =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
    for (const auto& binding : pThis->m_Bindings)
        *binding.second = GetDlgItem(hwnd, binding.first);
    return pThis->OnInitDialog();
}

LRESULT CALLBACK CDialogBase::SubclassProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CDialogBase* pThis = static_cast<CDialogBase*>(GetPropA(hwnd, DIALOG_OBJECT_PROPERTY));
    if (uMsg == WM_NCDESTROY)
    {
        WNDPROC pfnDefault = pThis->m_pfnDefault;
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pfnDefault));
        RemovePropA(hwnd, DIALOG_OBJECT_PROPERTY);
        pThis->m_hWnd = nullptr;
        return CallWindowProcA(pfnDefault, hwnd, uMsg, wParam, lParam);
    }
    return pThis->WindowProc(uMsg, wParam, lParam);
}
