// The calling thread's last error, as the platform implementations report it,
// and its text from the system's message table.
#pragma once

#include "common/Types.h"

// Each thread keeps its own code; platform implementations set it on failure.
void SetLastErrorCode(DWORD dwError);
DWORD GetLastErrorCode();

// The system's text for a code, without trailing line breaks, cut to fit pszBuf
// (nLen bytes including the terminator). An unknown code gives an empty text.
void FormatErrorText(DWORD dwError, char* pszBuf, size_t nLen);

// The text of the calling thread's last error in a 256-byte buffer owned by the
// calling thread: each call overwrites that thread's buffer only, so two threads
// never see each other's text. At most 255 characters.
const char* GetLastErrorText();
