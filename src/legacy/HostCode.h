// The host code that every header of a legacy run carries in "Key10".
#pragma once

#include "common/Types.h"

class IHostVersion;

constexpr DWORD LEGACY_HOST_CODE_50 = 1000;      // host version 5.0, and the default
constexpr DWORD LEGACY_HOST_CODE_51 = 1001;      // host version 5.1
constexpr DWORD LEGACY_HOST_CODE_OTHER = 1003;   // any other version

// 1000 for host version 5.0, 1001 for 5.1, 1003 for any other; 1000 when the
// version cannot be read (or no host is given).
DWORD GetLegacyHostCode(IHostVersion* pHostVersion);

// The same code in *pdwCode; false (and 1000) when the version cannot be read, for
// callers that tell the user so.
bool ReadLegacyHostCode(IHostVersion* pHostVersion, DWORD* pdwCode);
