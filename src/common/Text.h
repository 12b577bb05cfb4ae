// Small text helpers shared by the subsystems.
#pragma once

#include "common/Types.h"

// True when the two texts are equal apart from the case of ASCII letters.
bool SameTextNoCase(const char* pszA, const char* pszB);

// Copies a text with its terminator into a buffer of dwLen bytes. False, with the
// last error "result out of range", when there is no buffer or the text does not
// fit: nothing is cut.
bool CopyTextToBuffer(const char* pszText, char* pszBuf, DWORD dwLen);
