// The test "rapi.dll": each documented function converts its arguments to the
// project's terms and forwards them to one CSimRemoteApi, the virtual handset's
// remote-API side. A library's functions have no context, so the handset is the
// library's own.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

#include "common/LastError.h"
#include "platform/sim/SimRemoteApi.h"
#include "platform/win32/RapiDeclarations.h"
#include "platform/win32/Win32Text.h"
#include "TestRapiExports.h"

namespace
{
struct TEST_HANDSET
{
    std::mutex cs;
    std::unique_ptr<CSimRemoteApi> pApi = std::make_unique<CSimRemoteApi>();
    WIN_DWORD dwConnectDelayMs = 0;
    // The thread that signals a delayed connection, and its stop.
    std::thread Signaller;
    std::mutex csSignal;
    std::condition_variable cvSignal;
    bool bStopSignal = false;

    // A start that no test ended is left to the process's end.
    ~TEST_HANDSET()
    {
        if (Signaller.joinable())
            Signaller.detach();
    }
};

TEST_HANDSET& Handset()
{
    static TEST_HANDSET s_Handset;
    return s_Handset;
}

CSimRemoteApi& Api()
{
    return *Handset().pApi;
}

void StopSignaller()
{
    TEST_HANDSET& h = Handset();
    {
        std::lock_guard<std::mutex> lock(h.csSignal);
        h.bStopSignal = true;
    }
    h.cvSignal.notify_all();
    if (h.Signaller.joinable())
        h.Signaller.join();
    h.bStopSignal = false;
}

// The project's last error as the system's, for the caller's GetLastError.
void PassLastError()
{
    SetLastError(GetLastErrorCode());
}

HKEY HkeyOf(CE_HKEY hKey)
{
    return reinterpret_cast<HKEY>(hKey);
}

// The desktop's form of the handset's root key (sign-extended) back to ours.
CE_HKEY CeKeyOf(HKEY hKey)
{
    intptr_t nKey = reinterpret_cast<intptr_t>(hKey);
    if (nKey < 0 && nKey >= -0x80000000LL)
        return static_cast<CE_HKEY>(static_cast<uint32_t>(nKey));
    return nKey;
}
}

extern "C" {

HRESULT WINAPI CeRapiInitEx(RAPI_INIT_RECORD* pRapiInit)
{
    if (pRapiInit == nullptr || pRapiInit->cbSize != sizeof(RAPI_INIT_RECORD) || pRapiInit->heRapiInit == nullptr)
        return E_INVALIDARG;
    StopSignaller();
    CEvent simEvent(true, false);
    RAPIINIT simInit{12, &simEvent, -1};
    LONG lResult = Api().CeRapiInitEx(&simInit);
    if (lResult != 0)
    {
        PassLastError();
        return static_cast<HRESULT>(lResult);
    }
    // Only a ready connection signals; abandoned or failed waits have no Win32 form.
    if (simEvent.IsSignalled())
    {
        TEST_HANDSET& h = Handset();
        HANDLE hEvent = pRapiInit->heRapiInit;
        WIN_DWORD dwDelayMs = h.dwConnectDelayMs;
        if (dwDelayMs == 0)
        {
            pRapiInit->hrRapiInit = S_OK;
            SetEvent(hEvent);
        }
        else
        {
            h.Signaller = std::thread([pRapiInit, hEvent, dwDelayMs] {
                TEST_HANDSET& handset = Handset();
                std::unique_lock<std::mutex> lock(handset.csSignal);
                if (handset.cvSignal.wait_for(lock, std::chrono::milliseconds(dwDelayMs),
                                              [&handset] { return handset.bStopSignal; }))
                    return;
                pRapiInit->hrRapiInit = S_OK;
                SetEvent(hEvent);
            });
        }
    }
    return S_OK;
}

HRESULT WINAPI CeRapiUninit()
{
    // A start still under way is cancelled: the caller's event is not touched after this.
    StopSignaller();
    return static_cast<HRESULT>(Api().CeRapiUninit());
}

HANDLE WINAPI CeCreateFile(LPCWSTR lpFileName, WIN_DWORD dwDesiredAccess, WIN_DWORD dwShareMode,
                           LPSECURITY_ATTRIBUTES, WIN_DWORD dwCreationDisposition, WIN_DWORD dwFlagsAndAttributes,
                           HANDLE)
{
    CE_HANDLE hFile = Api().CeCreateFile(WideToUtf8(lpFileName).c_str(), dwDesiredAccess, dwShareMode,
                                         dwCreationDisposition, dwFlagsAndAttributes);
    if (hFile == CE_INVALID_HANDLE)
    {
        PassLastError();
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(hFile);
}

BOOL WINAPI CeWriteFile(HANDLE hFile, LPCVOID lpBuffer, WIN_DWORD nNumberOfBytesToWrite,
                        LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED)
{
    DWORD dwWritten = 0;
    bool bOk = Api().CeWriteFile(reinterpret_cast<CE_HANDLE>(hFile), static_cast<const BYTE*>(lpBuffer),
                                 nNumberOfBytesToWrite, &dwWritten);
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = dwWritten;
    if (!bOk)
        PassLastError();
    return bOk ? TRUE : FALSE;
}

BOOL WINAPI CeCloseHandle(HANDLE hObject)
{
    bool bOk = Api().CeCloseHandle(reinterpret_cast<CE_HANDLE>(hObject));
    if (!bOk)
        PassLastError();
    return bOk ? TRUE : FALSE;
}

BOOL WINAPI CeCreateProcess(LPCWSTR lpApplicationName, LPCWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                            LPSECURITY_ATTRIBUTES, BOOL, WIN_DWORD, LPVOID, LPWSTR, LPSTARTUPINFOW,
                            LPPROCESS_INFORMATION lpProcessInformation)
{
    std::string strCommandLine = WideToUtf8(lpCommandLine);
    bool bOk = Api().CeCreateProcess(WideToUtf8(lpApplicationName).c_str(),
                                     lpCommandLine != nullptr ? strCommandLine.c_str() : nullptr);
    if (lpProcessInformation != nullptr)
        *lpProcessInformation = PROCESS_INFORMATION{};
    if (!bOk)
        PassLastError();
    return bOk ? TRUE : FALSE;
}

WIN_LONG WINAPI CeRegOpenKeyEx(HKEY hKey, LPCWSTR lpszSubKey, WIN_DWORD, REGSAM, PHKEY phkResult)
{
    CE_HKEY hOpened = 0;
    LONG lResult = Api().CeRegOpenKeyEx(CeKeyOf(hKey), WideToUtf8(lpszSubKey).c_str(), &hOpened);
    if (phkResult != nullptr)
        *phkResult = HkeyOf(hOpened);
    return lResult;
}

WIN_LONG WINAPI CeRegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                  LPDWORD lpcbData)
{
    DWORD dwType = 0;
    DWORD dwSize = lpcbData != nullptr ? *lpcbData : 0;
    LONG lResult = Api().CeRegQueryValueEx(CeKeyOf(hKey), WideToUtf8(lpValueName).c_str(),
                                           lpType != nullptr ? &dwType : nullptr, lpData,
                                           lpcbData != nullptr ? &dwSize : nullptr);
    if (lpType != nullptr)
        *lpType = dwType;
    if (lpcbData != nullptr)
        *lpcbData = dwSize;
    return lResult;
}

WIN_LONG WINAPI CeRegCloseKey(HKEY hKey)
{
    return Api().CeRegCloseKey(CeKeyOf(hKey));
}

// ---- Test-only functions ----

void WINAPI VuqTestRapi_Reset()
{
    StopSignaller();
    TEST_HANDSET& h = Handset();
    h.pApi = std::make_unique<CSimRemoteApi>();
    h.dwConnectDelayMs = 0;
}

void WINAPI VuqTestRapi_SetConnectMode(int nMode)
{
    Api().SetConnectMode(nMode);
}

void WINAPI VuqTestRapi_SetConnectDelayMs(WIN_DWORD dwMs)
{
    Handset().dwConnectDelayMs = dwMs;
}

void WINAPI VuqTestRapi_PutFile(const char* pszName, const BYTE* pData, int nLen)
{
    Api().PutFile(pszName, std::vector<BYTE>(pData, pData + nLen));
}

int WINAPI VuqTestRapi_GetFile(const char* pszName, BYTE* pBuf, int nCapacity)
{
    if (!Api().HasFile(pszName))
        return -1;
    std::vector<BYTE> data = Api().GetFile(pszName);
    if (nCapacity > 0 && !data.empty())
        std::memcpy(pBuf, data.data(), std::min(data.size(), static_cast<size_t>(nCapacity)));
    return static_cast<int>(data.size());
}

void WINAPI VuqTestRapi_SetRegistryText(const char* pszValueName, const char* pszUtf8)
{
    Api().SetRegistryText(pszValueName, pszUtf8);
}

int WINAPI VuqTestRapi_Calls(char* pszBuf, int nCapacity)
{
    std::string strCalls;
    for (const std::string& strCall : Api().Calls())
        strCalls += strCall + "\n";
    if (nCapacity > 0)
    {
        size_t nCopy = std::min(strCalls.size(), static_cast<size_t>(nCapacity) - 1);
        std::memcpy(pszBuf, strCalls.data(), nCopy);
        pszBuf[nCopy] = '\0';
    }
    return static_cast<int>(strCalls.size());
}

BOOL WINAPI VuqTestRapi_IsConnected()
{
    return Api().IsConnected() ? TRUE : FALSE;
}
}

// The library's functions have exactly the documented signatures the loader declares.
static_assert(std::is_same_v<decltype(&CeRapiInitEx), PFN_CE_RAPI_INIT_EX>);
static_assert(std::is_same_v<decltype(&CeRapiUninit), PFN_CE_RAPI_UNINIT>);
static_assert(std::is_same_v<decltype(&CeCreateFile), PFN_CE_CREATE_FILE>);
static_assert(std::is_same_v<decltype(&CeWriteFile), PFN_CE_WRITE_FILE>);
static_assert(std::is_same_v<decltype(&CeCloseHandle), PFN_CE_CLOSE_HANDLE>);
static_assert(std::is_same_v<decltype(&CeCreateProcess), PFN_CE_CREATE_PROCESS>);
static_assert(std::is_same_v<decltype(&CeRegOpenKeyEx), PFN_CE_REG_OPEN_KEY_EX>);
static_assert(std::is_same_v<decltype(&CeRegQueryValueEx), PFN_CE_REG_QUERY_VALUE_EX>);
static_assert(std::is_same_v<decltype(&CeRegCloseKey), PFN_CE_REG_CLOSE_KEY>);
static_assert(std::is_same_v<decltype(&VuqTestRapi_Calls), PFN_VUQ_TEST_RAPI_CALLS>);
