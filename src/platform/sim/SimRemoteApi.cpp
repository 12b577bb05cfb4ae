#include "platform/sim/SimRemoteApi.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/LastError.h"
#include "platform/sim/SimHost.h"

namespace
{
constexpr char AGENT_PROGRAM[] = "tessik_console.exe";

std::string Lower(const char* pszText)
{
    std::string strText = pszText != nullptr ? pszText : "";
    std::transform(strText.begin(), strText.end(), strText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return strText;
}

std::string BaseNameOf(const std::string& strPath)
{
    size_t nSep = strPath.find_last_of("\\/");
    return nSep == std::string::npos ? strPath : strPath.substr(nSep + 1);
}

// UTF-8 to UTF-16LE bytes with a terminating NUL character. Bytes that do not form
// a character become U+FFFD.
std::vector<BYTE> ToUtf16Le(const char* pszUtf8)
{
    std::vector<BYTE> data;
    auto put = [&data](DWORD dwUnit) {
        data.push_back(static_cast<BYTE>(dwUnit));
        data.push_back(static_cast<BYTE>(dwUnit >> 8));
    };
    const auto* p = reinterpret_cast<const unsigned char*>(pszUtf8);
    while (*p != 0)
    {
        DWORD dwCode = 0xFFFD;
        int nMore = 0;
        if (*p < 0x80)
            dwCode = *p;
        else if ((*p & 0xE0) == 0xC0)
        {
            dwCode = *p & 0x1F;
            nMore = 1;
        }
        else if ((*p & 0xF0) == 0xE0)
        {
            dwCode = *p & 0x0F;
            nMore = 2;
        }
        else if ((*p & 0xF8) == 0xF0)
        {
            dwCode = *p & 0x07;
            nMore = 3;
        }
        ++p;
        for (int i = 0; i < nMore; ++i, ++p)
        {
            if ((*p & 0xC0) != 0x80)
            {
                dwCode = 0xFFFD;
                break;
            }
            dwCode = (dwCode << 6) | (*p & 0x3F);
        }
        if (dwCode >= 0x10000 && dwCode <= 0x10FFFF)
        {
            dwCode -= 0x10000;
            put(0xD800 + (dwCode >> 10));
            put(0xDC00 + (dwCode & 0x3FF));
        }
        else
            put(dwCode > 0x10FFFF ? 0xFFFD : dwCode);
    }
    put(0);
    return data;
}
}

CSimRemoteApi::CSimRemoteApi()
{
    SetRegistryText(SIM_ROM_VERSION_VALUE, SIM_DEFAULT_ROM_VERSION);
    SetRegistryText(SIM_GSM_VERSION_VALUE, SIM_DEFAULT_GSM_VERSION);
}

// ---- Set-up and inspection ----

void CSimRemoteApi::SetConnectMode(int nMode)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nConnectMode = nMode;
}

bool CSimRemoteApi::IsConnected()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_bConnected;
}

int CSimRemoteApi::CountConnects()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nConnects;
}

int CSimRemoteApi::CountDisconnects()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nDisconnects;
}

void CSimRemoteApi::PutFile(const char* pszName, const std::vector<BYTE>& data)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Files[Lower(pszName)] = {pszName, data};
}

bool CSimRemoteApi::HasFile(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Files.count(Lower(pszName)) != 0;
}

std::vector<BYTE> CSimRemoteApi::GetFile(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    auto it = m_Files.find(Lower(pszName));
    return it != m_Files.end() ? it->second.data : std::vector<BYTE>();
}

void CSimRemoteApi::SetCreateFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bCreateFails = bFails;
}

void CSimRemoteApi::SetWriteFailsAt(int nWrite)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nFailWriteAt = nWrite > 0 ? m_nWrites + nWrite : 0;
}

void CSimRemoteApi::SetShortWriteAt(int nWrite, DWORD dwBytes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nShortWriteAt = nWrite > 0 ? m_nWrites + nWrite : 0;
    m_dwShortWriteBytes = dwBytes;
}

int CSimRemoteApi::CountWrites()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nWrites;
}

void CSimRemoteApi::SetRegistryText(const char* pszValueName, const char* pszUtf8)
{
    SetRegistryRaw(pszValueName, CE_REG_SZ, ToUtf16Le(pszUtf8));
}

void CSimRemoteApi::SetRegistryRaw(const char* pszValueName, DWORD dwType, const std::vector<BYTE>& data)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Values[Lower(pszValueName)] = {dwType, data};
}

void CSimRemoteApi::RemoveRegistryValue(const char* pszValueName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Values.erase(Lower(pszValueName));
}

void CSimRemoteApi::SetDeviceInfoKeyPresent(bool bPresent)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bDeviceInfoKey = bPresent;
}

void CSimRemoteApi::SetAgentStartHook(std::function<void()> fnHook)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_fnAgentStart = std::move(fnHook);
}

void CSimRemoteApi::SetCreateProcessFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bCreateProcessFails = bFails;
}

std::vector<std::string> CSimRemoteApi::StartedPrograms()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Started;
}

std::vector<std::string> CSimRemoteApi::Calls()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Calls;
}

void CSimRemoteApi::ClearCalls()
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Calls.clear();
}

void CSimRemoteApi::Record(const std::string& strCall)
{
    m_Calls.push_back(strCall);
}

// ---- IRemoteApi ----

LONG CSimRemoteApi::CeRapiInitEx(RAPIINIT* pInit)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("CeRapiInitEx");
    ++m_nConnects;
    // The start record has the desktop's 32-bit layout: 12 bytes.
    if (pInit == nullptr || pInit->cbSize != 12 || pInit->heRapiInit == nullptr ||
        m_nConnectMode == SIM_CONNECT_FAIL)
    {
        SetLastErrorCondition(std::errc::connection_refused);
        return SIM_CE_CONNECT_FAILED;
    }
    // The event is touched only here, never later: the caller owns it and may
    // destroy it as soon as its wait is over.
    switch (m_nConnectMode)
    {
    case SIM_CONNECT_READY:
        m_bConnected = true;
        pInit->hrRapiInit = 0;
        pInit->heRapiInit->Set();
        break;
    case SIM_CONNECT_ABANDONED:
        pInit->heRapiInit->Abandon();
        break;
    case SIM_CONNECT_WAIT_FAILED:
        pInit->heRapiInit->Break();
        break;
    default:
        break;
    }
    return 0;
}

LONG CSimRemoteApi::CeRapiUninit()
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("CeRapiUninit");
    ++m_nDisconnects;
    m_bConnected = false;
    m_OpenFiles.clear();
    m_OpenKeys.clear();
    return 0;
}

CE_HANDLE CSimRemoteApi::CeCreateFile(const char* pszName, DWORD dwAccess, DWORD, DWORD dwCreation, DWORD)
{
    constexpr DWORD CE_CREATE_NEW = 1;
    constexpr DWORD CE_OPEN_EXISTING = 3;
    constexpr DWORD CE_TRUNCATE_EXISTING = 5;
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("CeCreateFile ") + pszName + " " + std::to_string(dwCreation));
    if (!m_bConnected || m_bCreateFails)
    {
        SetLastErrorCode(m_bConnected ? EACCES : ENOTCONN);
        return CE_INVALID_HANDLE;
    }
    std::string strKey = Lower(pszName);
    auto it = m_Files.find(strKey);
    bool bExists = it != m_Files.end();
    if ((dwCreation == CE_CREATE_NEW && bExists) ||
        ((dwCreation == CE_OPEN_EXISTING || dwCreation == CE_TRUNCATE_EXISTING) && !bExists))
    {
        SetLastErrorCode(bExists ? EEXIST : ENOENT);
        return CE_INVALID_HANDLE;
    }
    if (!bExists)
        m_Files[strKey] = {pszName, {}};
    else if (dwCreation == CE_CREATE_ALWAYS || dwCreation == CE_TRUNCATE_EXISTING)
        it->second.data.clear();
    CE_HANDLE hFile = m_hNextFile++;
    m_OpenFiles[hFile] = {strKey, 0, (dwAccess & CE_GENERIC_WRITE) != 0};
    return hFile;
}

bool CSimRemoteApi::CeWriteFile(CE_HANDLE hFile, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("CeWriteFile " + std::to_string(dwLen));
    *pdwWritten = 0;
    auto it = m_OpenFiles.find(hFile);
    if (!m_bConnected || it == m_OpenFiles.end() || !it->second.bWrite)
    {
        SetLastErrorCode(m_bConnected ? EBADF : ENOTCONN);
        return false;
    }
    ++m_nWrites;
    if (m_nWrites == m_nFailWriteAt)
    {
        SetLastErrorCondition(std::errc::io_error);
        return false;
    }
    DWORD dwStore = m_nWrites == m_nShortWriteAt ? std::min(dwLen, m_dwShortWriteBytes) : dwLen;
    std::vector<BYTE>& data = m_Files[it->second.strKey].data;
    size_t nEnd = it->second.nPos + dwStore;
    if (data.size() < nEnd)
        data.resize(nEnd);
    if (dwStore > 0)
        std::memcpy(data.data() + it->second.nPos, pBuf, dwStore);
    it->second.nPos = nEnd;
    *pdwWritten = dwStore;
    return true;
}

bool CSimRemoteApi::CeCloseHandle(CE_HANDLE hFile)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("CeCloseHandle");
    if (m_OpenFiles.erase(hFile) == 0)
    {
        SetLastErrorCondition(std::errc::bad_file_descriptor);
        return false;
    }
    return true;
}

bool CSimRemoteApi::CeCreateProcess(const char* pszImageName, const char* pszCommandLine)
{
    std::function<void()> fnHook;
    {
        std::lock_guard<std::mutex> lock(m_csState);
        Record(std::string("CeCreateProcess ") + pszImageName +
               (pszCommandLine != nullptr ? std::string(" ") + pszCommandLine : std::string()));
        if (!m_bConnected || m_bCreateProcessFails)
        {
            SetLastErrorCode(m_bConnected ? EACCES : ENOTCONN);
            return false;
        }
        if (m_Files.count(Lower(pszImageName)) == 0)
        {
            SetLastErrorCondition(std::errc::no_such_file_or_directory);
            return false;
        }
        m_Started.push_back(pszImageName);
        if (Lower(BaseNameOf(pszImageName).c_str()) == AGENT_PROGRAM)
            fnHook = m_fnAgentStart;
    }
    if (fnHook)
        fnHook();
    return true;
}

LONG CSimRemoteApi::CeRegOpenKeyEx(CE_HKEY hRoot, const char* pszSubKey, CE_HKEY* phKey)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("CeRegOpenKeyEx ") + pszSubKey);
    *phKey = 0;
    if (!m_bConnected)
        return SIM_CE_ERROR_NOT_CONNECTED;
    if (hRoot != CE_HKEY_LOCAL_MACHINE || !m_bDeviceInfoKey || Lower(pszSubKey) != Lower(SIM_DEVICE_INFO_KEY))
        return SIM_CE_ERROR_FILE_NOT_FOUND;
    *phKey = m_hNextKey++;
    m_OpenKeys[*phKey] = true;
    return CE_ERROR_SUCCESS;
}

LONG CSimRemoteApi::CeRegQueryValueEx(CE_HKEY hKey, const char* pszValueName, DWORD* pdwType, BYTE* pData,
                                      DWORD* pcbData)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("CeRegQueryValueEx ") + pszValueName);
    if (!m_bConnected)
        return SIM_CE_ERROR_NOT_CONNECTED;
    if (m_OpenKeys.count(hKey) == 0)
        return SIM_CE_ERROR_INVALID_HANDLE;
    auto it = m_Values.find(Lower(pszValueName));
    if (it == m_Values.end())
        return SIM_CE_ERROR_FILE_NOT_FOUND;
    DWORD dwSize = static_cast<DWORD>(it->second.data.size());
    if (pdwType != nullptr)
        *pdwType = it->second.dwType;
    if (pcbData == nullptr)
        return pData == nullptr ? CE_ERROR_SUCCESS : SIM_CE_ERROR_INVALID_HANDLE;
    if (pData != nullptr && *pcbData < dwSize)
    {
        *pcbData = dwSize;
        return SIM_CE_ERROR_MORE_DATA;
    }
    if (pData != nullptr && dwSize > 0)
        std::memcpy(pData, it->second.data.data(), dwSize);
    *pcbData = dwSize;
    return CE_ERROR_SUCCESS;
}

LONG CSimRemoteApi::CeRegCloseKey(CE_HKEY hKey)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("CeRegCloseKey");
    return m_OpenKeys.erase(hKey) != 0 ? CE_ERROR_SUCCESS : SIM_CE_ERROR_INVALID_HANDLE;
}

// ---- CSimAgentStart ----

CSimAgentStart::CSimAgentStart(CSimHost* pHost, IClock* pClock, std::function<void()> fnEnterDownloader,
                               DWORD dwPollMs)
    : m_pHost(pHost), m_pClock(pClock), m_fnEnterDownloader(std::move(fnEnterDownloader)), m_dwPollMs(dwPollMs)
{
}

CSimAgentStart::~CSimAgentStart()
{
    m_bStop = true;
    std::lock_guard<std::mutex> lock(m_csThread);
    if (m_Thread.joinable())
        m_Thread.join();
}

std::function<void()> CSimAgentStart::Hook()
{
    return [this] { Start(); };
}

void CSimAgentStart::Start()
{
    std::lock_guard<std::mutex> lock(m_csThread);
    if (m_bWaiting || m_bStop)
        return;
    if (m_Thread.joinable())
        m_Thread.join();
    m_bWaiting = true;
    m_Thread = std::thread(&CSimAgentStart::Run, this);
}

bool CSimAgentStart::WaitEntered(DWORD dwRealMs)
{
    return m_Entered.WaitReal(std::chrono::milliseconds(dwRealMs), false) == EVENT_SIGNALLED;
}

void CSimAgentStart::Run()
{
    while (!m_bStop && m_pHost != nullptr && m_pHost->IsSyncLinkHeld())
        m_pClock->Sleep(m_dwPollMs);
    if (!m_bStop)
    {
        if (m_fnEnterDownloader)
            m_fnEnterDownloader();
        m_Entered.Set();
    }
    m_bWaiting = false;
}
