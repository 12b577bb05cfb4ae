// The slash-token markup of the page texts: a narrow text in which "/B" and "/b"
// switch bold on and off, "/c" or "/C" followed by a colour word sets the text
// colour, and "/s" followed by a number sets the height in twips.
//
// ParseMarkup turns such a text into the list of steps a rich-edit renderer
// performs, in order: append a text segment at the end of the control, set the
// working character format as the insertion point's format, and finally set the
// entry format (the one read from the control before the first step) back. The
// parser owns no state between calls; the renderer only walks the list.
#pragma once

#include <string>
#include <vector>

#include "common/Types.h"

// Mask and effect bits of the character-format record, with the values the
// rich-edit control uses (CFM_BOLD, CFM_COLOR, CFM_SIZE, CFE_BOLD, CFE_AUTOCOLOR),
// so a renderer copies them into its record unchanged.
constexpr DWORD MARKUP_MASK_BOLD = 0x00000001u;
constexpr DWORD MARKUP_MASK_COLOR = 0x40000000u;
constexpr DWORD MARKUP_MASK_SIZE = 0x80000000u;
constexpr DWORD MARKUP_EFFECT_BOLD = 0x00000001u;
constexpr DWORD MARKUP_EFFECT_AUTOCOLOR = 0x40000000u;

// Largest height "/s" gives: a longer digit string stops growing here.
constexpr LONG MARKUP_HEIGHT_MAX = 0x7FFFFFFF;

// The attributes of a character format the markup touches. Bits of the mask and
// the effects other than the ones above are carried along unchanged.
struct MARKUP_FORMAT
{
    DWORD dwMask = 0;
    DWORD dwEffects = 0;
    LONG lHeight = 0;        // twips; 240 is 12 points
    DWORD crTextColor = 0;   // 0x00BBGGRR
};

enum MARKUP_STEP_KIND
{
    MARKUP_APPEND_TEXT,       // move to the end of the control's text and insert strText there
    MARKUP_SET_FORMAT,        // set format (the working format) as the insertion point's format
    MARKUP_RESTORE_FORMAT,    // set the whole entry format read from the control back; format holds
                              // the entry's attributes as passed in
};

struct MARKUP_STEP
{
    MARKUP_STEP_KIND nKind = MARKUP_APPEND_TEXT;
    std::string strText;      // MARKUP_APPEND_TEXT only; may be empty
    MARKUP_FORMAT format;     // MARKUP_SET_FORMAT and MARKUP_RESTORE_FORMAT only
};

// Tells whether a byte starts a two-byte character in the text's code page. With
// none, every byte is a character of its own.
typedef bool (*MARKUP_LEAD_BYTE_FN)(BYTE bByte);

// Replaces *pSteps with the steps that render pszText (NUL-terminated; null is an
// empty text) for a control whose insertion point has the format entry. The steps
// are always append, then (set format, append) once per token, then restore. A
// segment is listed even when it is empty (a token at the start of the text, two
// tokens in a row, a token at the end), so the list is exactly the rendering's
// sequence of control operations.
// A slash that begins no token is part of the text. pfnIsLeadByte only matters for
// the character "/B" and "/b" swallow.
void ParseMarkup(const char* pszText, const MARKUP_FORMAT& entry, std::vector<MARKUP_STEP>* pSteps,
                 MARKUP_LEAD_BYTE_FN pfnIsLeadByte = nullptr);
