// Modal message boxes. The worker and the link raise them; the GUI shows them,
// vuqctl turns them into lines on standard error, tests record them.
#pragma once

#include "common/Types.h"

// Buttons, icons and placement (the values of the desktop's message box styles).
constexpr UINT MB_STYLE_OK = 0x0;
constexpr UINT MB_STYLE_YESNO = 0x4;
constexpr UINT MB_STYLE_ICONERROR = 0x10;
constexpr UINT MB_STYLE_ICONEXCLAMATION = 0x30;
constexpr UINT MB_STYLE_ICONINFORMATION = 0x40;
constexpr UINT MB_STYLE_TOPMOST = 0x40000;

// Answers.
constexpr int MB_ANSWER_OK = 1;
constexpr int MB_ANSWER_YES = 6;
constexpr int MB_ANSWER_NO = 7;

class IMessageBox
{
public:
    virtual ~IMessageBox() = default;
    // Shows the box and returns once the user closed it, with the answer.
    virtual int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) = 0;
};
