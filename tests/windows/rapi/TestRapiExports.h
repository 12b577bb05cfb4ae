// The test-only functions of the test "rapi.dll", for the tests that load it.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

// Makes a fresh handset: default registry values, nothing stored, connections ready at once.
typedef void(WINAPI* PFN_VUQ_TEST_RAPI_RESET)();
// A SIM_CONNECT_MODE of CSimRemoteApi.
typedef void(WINAPI* PFN_VUQ_TEST_RAPI_SET_CONNECT_MODE)(int nMode);
// A ready connection signals its event this long after the start, from a thread of the library.
typedef void(WINAPI* PFN_VUQ_TEST_RAPI_SET_CONNECT_DELAY_MS)(WIN_DWORD dwMs);
typedef void(WINAPI* PFN_VUQ_TEST_RAPI_PUT_FILE)(const char* pszName, const BYTE* pData, int nLen);
// The stored file's size (its first nCapacity bytes copied), or -1 when there is none.
typedef int(WINAPI* PFN_VUQ_TEST_RAPI_GET_FILE)(const char* pszName, BYTE* pBuf, int nCapacity);
typedef void(WINAPI* PFN_VUQ_TEST_RAPI_SET_REGISTRY_TEXT)(const char* pszValueName, const char* pszUtf8);
// The handset's record of calls, one a line; the text's length (cut to fit pszBuf).
typedef int(WINAPI* PFN_VUQ_TEST_RAPI_CALLS)(char* pszBuf, int nCapacity);
typedef BOOL(WINAPI* PFN_VUQ_TEST_RAPI_IS_CONNECTED)();
