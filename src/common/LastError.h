// The calling thread's last error, as the platform implementations report it,
// and its text from the system's message table.
#pragma once

#include "common/Types.h"

#include <system_error>

// Each thread keeps its own code; platform implementations set it on failure, in
// the host system's own numbering (errno on Linux, the system error codes on
// Windows).
void SetLastErrorCode(DWORD dwError);
DWORD GetLastErrorCode();

// A failure the portable code detects itself (no handle, nothing to open, not
// supported, timed out...), stored as the host system's own code for it, so that
// GetLastErrorText reads right on every system.
void SetLastErrorCondition(std::errc eCondition);

// The system's text for a code, without trailing line breaks, cut to fit pszBuf
// (nLen bytes including the terminator). An unknown code gives an empty text.
void FormatErrorText(DWORD dwError, char* pszBuf, size_t nLen);

// The text of the calling thread's last error in a 256-byte buffer owned by the
// calling thread: each call overwrites that thread's buffer only, so two threads
// never see each other's text. At most 255 characters.
const char* GetLastErrorText();
