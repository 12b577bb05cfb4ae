#include "platform/win32/Win32RemoteApi.h"

#include <cstring>
#include <mutex>
#include <thread>

#include "common/LastError.h"
#include "platform/win32/RapiDeclarations.h"
#include "platform/win32/Win32Text.h"

struct WIN32_RAPI_STATE
{
    HMODULE hLibrary = nullptr;
    WIN_DWORD dwLoadError = ERROR_SUCCESS;   // why the library cannot be used
    PFN_CE_RAPI_INIT_EX pfnInitEx = nullptr;
    PFN_CE_RAPI_UNINIT pfnUninit = nullptr;
    PFN_CE_CREATE_FILE pfnCreateFile = nullptr;
    PFN_CE_WRITE_FILE pfnWriteFile = nullptr;
    PFN_CE_CLOSE_HANDLE pfnCloseHandle = nullptr;
    PFN_CE_CREATE_PROCESS pfnCreateProcess = nullptr;
    PFN_CE_REG_OPEN_KEY_EX pfnRegOpenKeyEx = nullptr;
    PFN_CE_REG_QUERY_VALUE_EX pfnRegQueryValueEx = nullptr;
    PFN_CE_REG_CLOSE_KEY pfnRegCloseKey = nullptr;

    // The connection start under way: the library holds the record and the event
    // until the connection is ended.
    std::mutex csStart;
    bool bStarted = false;
    RAPI_INIT_RECORD InitRecord{};
    HANDLE hInitEvent = nullptr;
    HANDLE hStopEvent = nullptr;
    std::thread InitWaiter;
};

namespace
{
template <typename PFN>
bool ResolveFunction(HMODULE hLibrary, RAPI_FUNCTION eFunction, PFN* ppfn)
{
    FARPROC pfnFound = GetProcAddress(hLibrary, RAPI_FUNCTION_NAMES[eFunction]);
    static_assert(sizeof(pfnFound) == sizeof(*ppfn));
    std::memcpy(ppfn, &pfnFound, sizeof(pfnFound));
    return pfnFound != nullptr;
}

HANDLE HandleOf(CE_HANDLE hFile)
{
    return reinterpret_cast<HANDLE>(hFile);
}

// The handset's predefined root keys are 32-bit values that the desktop's key type
// carries sign-extended, as the system's own predefined keys are.
HKEY KeyOf(CE_HKEY hKey)
{
    if (hKey >= static_cast<CE_HKEY>(0x80000000u) && hKey <= static_cast<CE_HKEY>(0x800000FFu))
        return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(hKey))));
    return reinterpret_cast<HKEY>(hKey);
}

LONG ResultOf(WIN_DWORD dwError)
{
    return static_cast<LONG>(HRESULT_FROM_WIN32(dwError));
}
}

CWin32RemoteApi::CWin32RemoteApi(const char* pszLibrary) : m_pState(std::make_unique<WIN32_RAPI_STATE>())
{
    WIN32_RAPI_STATE& s = *m_pState;
    s.hLibrary = LoadLibraryW(Utf8ToWide(pszLibrary).c_str());
    if (s.hLibrary == nullptr)
    {
        s.dwLoadError = GetLastError();
        return;
    }
    bool bAll = ResolveFunction(s.hLibrary, RAPI_INIT_EX, &s.pfnInitEx);
    bAll = ResolveFunction(s.hLibrary, RAPI_UNINIT, &s.pfnUninit) && bAll;
    bAll = ResolveFunction(s.hLibrary, RAPI_CREATE_FILE, &s.pfnCreateFile) && bAll;
    bAll = ResolveFunction(s.hLibrary, RAPI_WRITE_FILE, &s.pfnWriteFile) && bAll;
    bAll = ResolveFunction(s.hLibrary, RAPI_CLOSE_HANDLE, &s.pfnCloseHandle) && bAll;
    bAll = ResolveFunction(s.hLibrary, RAPI_CREATE_PROCESS, &s.pfnCreateProcess) && bAll;
    bAll = ResolveFunction(s.hLibrary, RAPI_REG_OPEN_KEY_EX, &s.pfnRegOpenKeyEx) && bAll;
    bAll = ResolveFunction(s.hLibrary, RAPI_REG_QUERY_VALUE_EX, &s.pfnRegQueryValueEx) && bAll;
    bAll = ResolveFunction(s.hLibrary, RAPI_REG_CLOSE_KEY, &s.pfnRegCloseKey) && bAll;
    if (!bAll)
    {
        // A library without all of them is not the one the programs know.
        FreeLibrary(s.hLibrary);
        s.hLibrary = nullptr;
        s.dwLoadError = ERROR_PROC_NOT_FOUND;
    }
}

CWin32RemoteApi::~CWin32RemoteApi()
{
    WIN32_RAPI_STATE& s = *m_pState;
    {
        std::lock_guard<std::mutex> lock(s.csStart);
        // A connection left open is ended while the library still holds our event.
        if (s.bStarted && s.pfnUninit != nullptr)
            s.pfnUninit();
        s.bStarted = false;
    }
    EndInitWait();
    if (s.hLibrary != nullptr)
        FreeLibrary(s.hLibrary);
}

bool CWin32RemoteApi::IsAvailable() const
{
    return m_pState->hLibrary != nullptr;
}

bool CWin32RemoteApi::Unavailable()
{
    if (m_pState->hLibrary != nullptr)
        return false;
    SetLastErrorCode(m_pState->dwLoadError);
    return true;
}

// Ends the thread that waits for the library's signal and closes the events. The
// library must no longer hold them: only after its CeRapiUninit, or a failed start.
void CWin32RemoteApi::EndInitWait()
{
    WIN32_RAPI_STATE& s = *m_pState;
    if (s.InitWaiter.joinable())
    {
        SetEvent(s.hStopEvent);
        s.InitWaiter.join();
    }
    if (s.hInitEvent != nullptr)
        CloseHandle(s.hInitEvent);
    if (s.hStopEvent != nullptr)
        CloseHandle(s.hStopEvent);
    s.hInitEvent = nullptr;
    s.hStopEvent = nullptr;
}

LONG CWin32RemoteApi::CeRapiInitEx(RAPIINIT* pInit)
{
    if (pInit == nullptr || pInit->heRapiInit == nullptr)
    {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return static_cast<LONG>(E_INVALIDARG);
    }
    if (Unavailable())
        return ResultOf(m_pState->dwLoadError);
    WIN32_RAPI_STATE& s = *m_pState;
    {
        std::lock_guard<std::mutex> lock(s.csStart);
        // A new start ends a connection that was left open.
        if (s.bStarted)
            s.pfnUninit();
        s.bStarted = false;
    }
    EndInitWait();

    std::lock_guard<std::mutex> lock(s.csStart);
    s.hInitEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    s.hStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (s.hInitEvent == nullptr || s.hStopEvent == nullptr)
    {
        WIN_DWORD dwError = GetLastError();
        EndInitWait();
        SetLastErrorCode(dwError);
        return ResultOf(dwError);
    }
    s.InitRecord.cbSize = sizeof(s.InitRecord);
    s.InitRecord.heRapiInit = s.hInitEvent;
    s.InitRecord.hrRapiInit = E_FAIL;
    HRESULT hr = s.pfnInitEx(&s.InitRecord);
    if (hr != S_OK)
    {
        SetLastErrorCode(GetLastError());
        EndInitWait();
        return static_cast<LONG>(hr);
    }
    s.bStarted = true;
    HANDLE hInitEvent = s.hInitEvent;
    HANDLE hStopEvent = s.hStopEvent;
    RAPI_INIT_RECORD* pRecord = &s.InitRecord;
    s.InitWaiter = std::thread([hInitEvent, hStopEvent, pRecord, pInit] {
        HANDLE handles[2] = {hInitEvent, hStopEvent};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0)
        {
            pInit->hrRapiInit = static_cast<LONG>(pRecord->hrRapiInit);
            pInit->heRapiInit->SetUnderLock();
        }
    });
    return 0;
}

LONG CWin32RemoteApi::CeRapiUninit()
{
    if (Unavailable())
        return ResultOf(m_pState->dwLoadError);
    WIN32_RAPI_STATE& s = *m_pState;
    HRESULT hr = S_OK;
    {
        std::lock_guard<std::mutex> lock(s.csStart);
        hr = s.pfnUninit();
        s.bStarted = false;
    }
    EndInitWait();
    return static_cast<LONG>(hr);
}

CE_HANDLE CWin32RemoteApi::CeCreateFile(const char* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation,
                                        DWORD dwAttributes)
{
    if (Unavailable())
        return CE_INVALID_HANDLE;
    HANDLE hFile = m_pState->pfnCreateFile(Utf8ToWide(pszName).c_str(), dwAccess, dwShare, nullptr, dwCreation,
                                           dwAttributes, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        SetLastErrorCode(GetLastError());
        return CE_INVALID_HANDLE;
    }
    return reinterpret_cast<CE_HANDLE>(hFile);
}

bool CWin32RemoteApi::CeWriteFile(CE_HANDLE hFile, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    if (Unavailable())
        return false;
    WIN_DWORD dwWritten = 0;
    BOOL bOk = m_pState->pfnWriteFile(HandleOf(hFile), pBuf, dwLen, &dwWritten, nullptr);
    if (pdwWritten != nullptr)
        *pdwWritten = dwWritten;
    if (!bOk)
        SetLastErrorCode(GetLastError());
    return bOk != FALSE;
}

bool CWin32RemoteApi::CeCloseHandle(CE_HANDLE hFile)
{
    if (Unavailable())
        return false;
    if (!m_pState->pfnCloseHandle(HandleOf(hFile)))
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    return true;
}

bool CWin32RemoteApi::CeCreateProcess(const char* pszImageName, const char* pszCommandLine)
{
    if (Unavailable())
        return false;
    std::wstring strImage = Utf8ToWide(pszImageName);
    std::wstring strCommandLine = Utf8ToWide(pszCommandLine);
    // The handset's process record is received and not used further.
    PROCESS_INFORMATION processInfo{};
    BOOL bOk = m_pState->pfnCreateProcess(strImage.c_str(), pszCommandLine != nullptr ? strCommandLine.c_str() : nullptr,
                                          nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &processInfo);
    if (!bOk)
        SetLastErrorCode(GetLastError());
    return bOk != FALSE;
}

LONG CWin32RemoteApi::CeRegOpenKeyEx(CE_HKEY hRoot, const char* pszSubKey, CE_HKEY* phKey)
{
    if (phKey != nullptr)
        *phKey = 0;
    if (Unavailable())
        return static_cast<LONG>(m_pState->dwLoadError);
    HKEY hKey = nullptr;
    WIN_LONG lResult = m_pState->pfnRegOpenKeyEx(KeyOf(hRoot), Utf8ToWide(pszSubKey).c_str(), 0, 0, &hKey);
    if (lResult == ERROR_SUCCESS && phKey != nullptr)
        *phKey = reinterpret_cast<CE_HKEY>(hKey);
    if (lResult != ERROR_SUCCESS)
        SetLastErrorCode(static_cast<DWORD>(lResult));
    return static_cast<LONG>(lResult);
}

LONG CWin32RemoteApi::CeRegQueryValueEx(CE_HKEY hKey, const char* pszValueName, DWORD* pdwType, BYTE* pData,
                                        DWORD* pcbData)
{
    if (Unavailable())
        return static_cast<LONG>(m_pState->dwLoadError);
    WIN_DWORD dwType = 0;
    WIN_DWORD dwSize = pcbData != nullptr ? *pcbData : 0;
    WIN_LONG lResult = m_pState->pfnRegQueryValueEx(KeyOf(hKey), Utf8ToWide(pszValueName).c_str(), nullptr,
                                                    pdwType != nullptr ? &dwType : nullptr, pData,
                                                    pcbData != nullptr ? &dwSize : nullptr);
    if (pdwType != nullptr)
        *pdwType = dwType;
    if (pcbData != nullptr)
        *pcbData = dwSize;
    if (lResult != ERROR_SUCCESS)
        SetLastErrorCode(static_cast<DWORD>(lResult));
    return static_cast<LONG>(lResult);
}

LONG CWin32RemoteApi::CeRegCloseKey(CE_HKEY hKey)
{
    if (Unavailable())
        return static_cast<LONG>(m_pState->dwLoadError);
    WIN_LONG lResult = m_pState->pfnRegCloseKey(KeyOf(hKey));
    if (lResult != ERROR_SUCCESS)
        SetLastErrorCode(static_cast<DWORD>(lResult));
    return static_cast<LONG>(lResult);
}
