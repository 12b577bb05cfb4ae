// Styled pieces of text appended to a rich-edit control ("RichEdit20A"): a piece
// sets bold, colour and size for itself only, and the control's format at the
// insertion point is the same afterwards as before. A default piece is inserted at
// the caret in the format found there.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

// Colours are Windows colour values (0x00BBGGRR).
constexpr COLORREF STYLE_COLOUR_RED = 0x0000FF;
constexpr COLORREF STYLE_COLOUR_GREY = 0x646464;
constexpr LONG STYLE_SIZE_12PT = 240;   // twips
constexpr LONG STYLE_SIZE_15PT = 300;

// Reads the character format at the selection, applies bold (set or cleared as
// bBold says), the colour crColour (0: the colour is left as it is) and the size
// lSizeTwips (0: the size is left as it is) to a copy of it, puts the caret at the
// end of the text, inserts pszText there in the copied format and then restores the
// format read at the start for the insertion point.
void AppendStyledText(HWND hRichEdit, BOOL bBold, COLORREF crColour, LONG lSizeTwips, const char* pszText);

// Inserts pszText at the caret, in the format found there.
void AppendDefaultText(HWND hRichEdit, const char* pszText);

// Puts the caret after the last character of the text.
void MoveCaretToEnd(HWND hRichEdit);

// The styles of the page texts.
enum TEXT_STYLE_ID
{
    TEXT_STYLE_PLAIN_12 = 0,   // not bold, colour unchanged, 12 pt
    TEXT_STYLE_BOLD_12,        // bold, colour unchanged, 12 pt
    TEXT_STYLE_BOLD_RED,       // bold, red, 12 pt
    TEXT_STYLE_RED_12,         // not bold, red, 12 pt
    TEXT_STYLE_GREY_15,        // not bold, grey, 15 pt
    TEXT_STYLE_DEFAULT,        // the control's format at the caret
    TEXT_STYLE_COUNT
};

struct TEXT_STYLE
{
    bool bStyled;       // false: a default piece
    BOOL bBold;
    COLORREF crColour;  // 0: unchanged
    LONG lSizeTwips;    // 0: unchanged
};

constexpr TEXT_STYLE TEXT_STYLES[TEXT_STYLE_COUNT] = {
    {true, FALSE, 0, STYLE_SIZE_12PT},
    {true, TRUE, 0, STYLE_SIZE_12PT},
    {true, TRUE, STYLE_COLOUR_RED, STYLE_SIZE_12PT},
    {true, FALSE, STYLE_COLOUR_RED, STYLE_SIZE_12PT},
    {true, FALSE, STYLE_COLOUR_GREY, STYLE_SIZE_15PT},
    {false, FALSE, 0, 0},
};

// Appends pszText in the style nStyle (a TEXT_STYLE_ID): a styled piece through
// AppendStyledText, the default style through AppendDefaultText.
void AppendTextInStyle(HWND hRichEdit, int nStyle, const char* pszText);
