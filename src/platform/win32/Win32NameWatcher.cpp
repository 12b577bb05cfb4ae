#include "platform/win32/Win32NameWatcher.h"

#include <chrono>
#include <cstdio>

#include "common/LastError.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "platform/win32/Win32Text.h"

namespace
{
constexpr auto POLL_INTERVAL = std::chrono::milliseconds(50);

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool StartsWithNoCase(const std::string& strText, const char* pszPrefix)
{
    size_t i = 0;
    for (; pszPrefix[i] != '\0'; ++i)
    {
        if (i >= strText.size())
            return false;
        char a = strText[i];
        char b = pszPrefix[i];
        if (a >= 'a' && a <= 'z')
            a = static_cast<char>(a - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

// "COM7", "lpt1": the names of serial and parallel ports, which a device may take
// at any time.
bool IsPortName(const std::string& strName)
{
    if (!StartsWithNoCase(strName, "COM") && !StartsWithNoCase(strName, "LPT"))
        return false;
    if (strName.size() == 3)
        return false;
    for (size_t i = 3; i < strName.size(); ++i)
    {
        if (strName[i] < '0' || strName[i] > '9')
            return false;
    }
    return true;
}

// The target of a symbolic link of the device namespace; false when there is none.
bool QueryDeviceLink(const std::string& strLink, std::string* pstrTarget)
{
    std::wstring strWide = Utf8ToWide(strLink.c_str());
    if (strWide.empty())
        return false;
    wchar_t szTarget[1024];
    WIN_DWORD dwLen = QueryDosDeviceW(strWide.c_str(), szTarget, sizeof(szTarget) / sizeof(szTarget[0]));
    if (dwLen == 0)
        return false;
    *pstrTarget = WideToUtf8(szTarget);
    return true;
}

typedef WIN_DWORD(WINAPI* FINAL_PATH_FN)(HANDLE, LPWSTR, WIN_DWORD, WIN_DWORD);

// GetFinalPathNameByHandleW where the system has it (Windows 6.0 and later).
FINAL_PATH_FN FinalPathFunction()
{
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
    if (hKernel == nullptr)
        return nullptr;
    return reinterpret_cast<FINAL_PATH_FN>(
        reinterpret_cast<void*>(GetProcAddress(hKernel, "GetFinalPathNameByHandleW")));
}

// Opens the name with no access rights and closes it again: true when something is
// there (also when it refuses the open as held).
bool Probe(const std::string& strName, std::string* pstrIdentity)
{
    std::wstring strWide = Utf8ToWide(strName.c_str());
    if (strWide.empty())
        return false;
    HANDLE hFile = CreateFileW(strWide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        WIN_DWORD dwError = GetLastError();
        return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_BUSY;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(hFile, &info))
    {
        char szIdentity[64];
        std::snprintf(szIdentity, sizeof(szIdentity), "file %08lx:%08lx%08lx", info.dwVolumeSerialNumber,
                      info.nFileIndexHigh, info.nFileIndexLow);
        *pstrIdentity = szIdentity;
    }
    else if (FINAL_PATH_FN pfnFinalPath = FinalPathFunction())
    {
        wchar_t szPath[1024];
        WIN_DWORD dwLen = pfnFinalPath(hFile, szPath, sizeof(szPath) / sizeof(szPath[0]), 0);
        if (dwLen > 0 && dwLen < sizeof(szPath) / sizeof(szPath[0]))
            *pstrIdentity = "path " + WideToUtf8(szPath);
    }
    CloseHandle(hFile);
    return true;
}
}

bool GetDeviceLinkName(const char* pszName, std::string* pstrLink)
{
    if (pszName == nullptr)
        return false;
    std::string strName = pszName;
    if (strName.rfind("\\\\.\\", 0) == 0 || strName.rfind("\\\\?\\", 0) == 0)
    {
        std::string strRest = strName.substr(4);
        bool bDrivePath = strRest.size() >= 3 && IsAsciiLetter(strRest[0]) && strRest[1] == ':' &&
                          (strRest[2] == '\\' || strRest[2] == '/');
        if (bDrivePath || StartsWithNoCase(strRest, "UNC\\") || strRest.empty())
            return false;
        *pstrLink = strRest.substr(0, strRest.find('\\'));
        return !pstrLink->empty();
    }
    if (strName.empty() || strName.find_first_of("\\/:") != std::string::npos)
        return false;
    std::string strTarget;
    if (!IsPortName(strName) && !QueryDeviceLink(strName, &strTarget))
        return false;
    *pstrLink = strName;
    return true;
}

bool CWin32NameWatcher::LookAt(const std::string& strName, std::string* pstrIdentity)
{
    pstrIdentity->clear();
    std::string strLink;
    std::string strTarget;
    if (GetDeviceLinkName(strName.c_str(), &strLink) && QueryDeviceLink(strLink, &strTarget))
    {
        *pstrIdentity = "link " + strTarget;
        return true;
    }
    return Probe(strName, pstrIdentity);
}

CWin32NameWatcher::CWin32NameWatcher(const char* pszName) : m_strName(pszName)
{
}

CWin32NameWatcher::~CWin32NameWatcher()
{
    Stop();
}

bool CWin32NameWatcher::Start(IDeviceEvents* pEvents)
{
    if (m_Thread.joinable() || pEvents == nullptr)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    m_pEvents = pEvents;
    {
        std::lock_guard<std::mutex> lock(m_csStop);
        m_bStop = false;
    }
    m_Thread = std::thread([this] { Watch(); });
    return true;
}

void CWin32NameWatcher::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_csStop);
        m_bStop = true;
    }
    m_cvStop.notify_all();
    if (m_Thread.joinable())
        m_Thread.join();
}

void CWin32NameWatcher::Watch()
{
    bool bPresent = false;
    std::string strIdentity;
    std::unique_lock<std::mutex> lock(m_csStop);
    while (!m_bStop)
    {
        lock.unlock();
        std::string strNow;
        bool bNow = LookAt(m_strName, &strNow);
        // A look that cannot tell which device is there (one held against the probe)
        // keeps the device seen before.
        bool bOther = bNow && bPresent && !strNow.empty() && !strIdentity.empty() && strNow != strIdentity;
        if (bNow != bPresent || bOther)
        {
            if (bPresent)
                m_pEvents->OnDeviceRemoval(m_strName.c_str());
            if (bNow)
                m_pEvents->OnDeviceArrival(m_strName.c_str());
        }
        if (!bNow)
            strIdentity.clear();
        else if (!strNow.empty())
            strIdentity = strNow;
        bPresent = bNow;
        lock.lock();
        m_cvStop.wait_for(lock, POLL_INTERVAL, [this] { return m_bStop; });
    }
}
