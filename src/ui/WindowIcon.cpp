#include "ui/WindowIcon.h"

void SetWindowIcons(HWND hwnd, HICON hIcon)
{
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
}

void PaintMinimisedIcon(HWND hwnd, HICON hIcon)
{
    PAINTSTRUCT paint;
    HDC hdc = BeginPaint(hwnd, &paint);
    SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    RECT rc;
    GetClientRect(hwnd, &rc);
    int nX = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int nY = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(hdc, nX, nY, hIcon);
    EndPaint(hwnd, &paint);
}
