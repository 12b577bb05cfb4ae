#include "ui/AppMessageBox.h"

int CAppMessageBox::MessageBox(const char* pszText, const char* pszCaption, UINT uStyle)
{
    return MessageBoxA(nullptr, pszText, pszCaption, uStyle | MB_TASKMODAL);
}
