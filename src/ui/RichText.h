// Page texts in the slash-token markup, rendered into a rich-edit control (class
// "RichEdit20A"): the text is appended at the end of the control's content, the
// tokens set bold, colour and size for what follows, and the control's format at
// the insertion point is the same afterwards as before.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

#include <string>

// Renders pszText (null: nothing) at the end of hRichEdit's text.
void AppendRichText(const char* pszText, HWND hRichEdit);

// Renders the string resource nId of hInstance (null: the program); a missing
// string renders nothing.
void AppendRichTextResource(UINT nId, HWND hRichEdit, HINSTANCE hInstance = nullptr);

// Shows the whole text of hRichEdit inside the control: when the text, at the sizes
// its formats give, is taller than the control's formatting rectangle (the fonts of
// the machine decide that), the control's view is zoomed down until it fits, to half
// the size at most. The text and its formats are not changed. Returns the zoom
// applied, in percent (100: the text fitted as it is).
int FitRichTextToControl(HWND hRichEdit);

// The string resource nId of hInstance (null: the program) in the ANSI code page;
// empty when there is none.
std::string LoadResourceText(UINT nId, HINSTANCE hInstance = nullptr);
