// The program icon of a dialog window: as its large and small icon, painted centred
// in the client area while the window is minimised, and as its drag image.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

// Sets hIcon as the window's large and small icon.
void SetWindowIcons(HWND hwnd, HICON hIcon);

// Paints a minimised window: its icon centred in the client area (WM_PAINT).
void PaintMinimisedIcon(HWND hwnd, HICON hIcon);
