// The programs' own message boxes: a box on the calling thread, task-modal, so the
// calling thread's windows wait while it is up.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include "platform/MessageBox.h"

class CAppMessageBox : public IMessageBox
{
public:
    int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) override;
};
