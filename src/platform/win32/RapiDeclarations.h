// The desktop's remote API to the handset ("rapi.dll"), declared here from its
// public documentation: the start record and the nine functions the programs use,
// with the system's types. Texts are UTF-16. Handles and registry keys are the
// handset's, carried in the desktop's handle types.
#pragma once

#include "platform/win32/Win32SystemHeaders.h"

// RAPIINIT: the connection start record. cbSize is the record's size; the library
// sets the event once the connection is ready (or has failed: hrRapiInit says which).
struct RAPI_INIT_RECORD
{
    WIN_DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};

typedef HRESULT(WINAPI* PFN_CE_RAPI_INIT_EX)(RAPI_INIT_RECORD* pRapiInit);
typedef HRESULT(WINAPI* PFN_CE_RAPI_UNINIT)();
typedef HANDLE(WINAPI* PFN_CE_CREATE_FILE)(LPCWSTR lpFileName, WIN_DWORD dwDesiredAccess, WIN_DWORD dwShareMode,
                                           LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                           WIN_DWORD dwCreationDisposition, WIN_DWORD dwFlagsAndAttributes,
                                           HANDLE hTemplateFile);
typedef BOOL(WINAPI* PFN_CE_WRITE_FILE)(HANDLE hFile, LPCVOID lpBuffer, WIN_DWORD nNumberOfBytesToWrite,
                                        LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
typedef BOOL(WINAPI* PFN_CE_CLOSE_HANDLE)(HANDLE hObject);
typedef BOOL(WINAPI* PFN_CE_CREATE_PROCESS)(LPCWSTR lpApplicationName, LPCWSTR lpCommandLine,
                                            LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                            LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                            WIN_DWORD dwCreationFlags, LPVOID lpEnvironment,
                                            LPWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                            LPPROCESS_INFORMATION lpProcessInformation);
typedef WIN_LONG(WINAPI* PFN_CE_REG_OPEN_KEY_EX)(HKEY hKey, LPCWSTR lpszSubKey, WIN_DWORD ulOptions,
                                                 REGSAM samDesired, PHKEY phkResult);
typedef WIN_LONG(WINAPI* PFN_CE_REG_QUERY_VALUE_EX)(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                                                    LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
typedef WIN_LONG(WINAPI* PFN_CE_REG_CLOSE_KEY)(HKEY hKey);

// The library's module name and its functions' names, in the order of RAPI_FUNCTION.
constexpr wchar_t RAPI_LIBRARY_NAME[] = L"rapi.dll";

enum RAPI_FUNCTION
{
    RAPI_INIT_EX = 0,
    RAPI_UNINIT,
    RAPI_CREATE_FILE,
    RAPI_WRITE_FILE,
    RAPI_CLOSE_HANDLE,
    RAPI_CREATE_PROCESS,
    RAPI_REG_OPEN_KEY_EX,
    RAPI_REG_QUERY_VALUE_EX,
    RAPI_REG_CLOSE_KEY,
    RAPI_FUNCTION_COUNT
};

constexpr const char* RAPI_FUNCTION_NAMES[RAPI_FUNCTION_COUNT] = {
    "CeRapiInitEx",   "CeRapiUninit",    "CeCreateFile",      "CeWriteFile",   "CeCloseHandle",
    "CeCreateProcess", "CeRegOpenKeyEx", "CeRegQueryValueEx", "CeRegCloseKey",
};
