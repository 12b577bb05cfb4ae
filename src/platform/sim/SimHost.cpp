#include "platform/sim/SimHost.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/LastError.h"
#include "common/Text.h"

namespace
{
constexpr SC_HANDLE_T SIM_MANAGER_HANDLE = 0x5C01;
constexpr SC_HANDLE_T SIM_SERVICE_HANDLE = 0x5C02;

std::string Lower(const char* pszText)
{
    std::string strText = pszText != nullptr ? pszText : "";
    std::transform(strText.begin(), strText.end(), strText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return strText;
}

bool SameText(const std::string& strA, const std::string& strB)
{
    return Lower(strA.c_str()) == Lower(strB.c_str());
}


bool IsAbsolute(const std::string& strPath)
{
    return (!strPath.empty() && (strPath[0] == '/' || strPath[0] == '\\')) ||
           (strPath.size() > 1 && strPath[1] == ':');
}

// The program of a command line: the text in leading quotes, else the text up to
// the end (the desktop tries the whole unquoted line as a path first).
std::string ProgramOf(const std::string& strCommandLine)
{
    if (!strCommandLine.empty() && strCommandLine[0] == '"')
    {
        size_t nEnd = strCommandLine.find('"', 1);
        return strCommandLine.substr(1, nEnd == std::string::npos ? std::string::npos : nEnd - 1);
    }
    return strCommandLine;
}

std::string BaseNameOf(const std::string& strPath)
{
    size_t nSep = strPath.find_last_of("\\/");
    return nSep == std::string::npos ? strPath : strPath.substr(nSep + 1);
}
}

CSimHost::CSimHost(IClock* pClock) : m_pClock(pClock)
{
}

// ---- Set-up and inspection ----

void CSimHost::SetVersion(DWORD dwMajor, DWORD dwMinor)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwMajor = dwMajor;
    m_dwMinor = dwMinor;
}

void CSimHost::SetEnvironment(const char* pszName, const char* pszValue)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (pszValue == nullptr)
        m_Environment.erase(pszName);
    else
        m_Environment[pszName] = pszValue;
}

std::string CSimHost::GetCurrentDirText()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_strCurrentDir;
}

void CSimHost::SetFreeSpaceBytes(QWORD qwBytes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_qwFreeSpace = qwBytes;
}

void CSimHost::AddFile(const char* pszPath)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Files.insert(pszPath);
}

bool CSimHost::HasFile(const char* pszPath)
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Files.count(pszPath) != 0;
}

void CSimHost::SetDeleteFailure(const char* pszPath, DWORD dwError)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_DeleteFailures[pszPath] = dwError;
}

void CSimHost::AddWindow(const char* pszClass, bool bRefusesClose)
{
    std::lock_guard<std::mutex> lock(m_csState);
    for (auto& [hWnd, window] : m_Windows)
    {
        if (window.strClass == pszClass)
        {
            window.bRefusesClose = bRefusesClose;
            return;
        }
    }
    m_Windows[m_hNextWindow++] = {pszClass, bRefusesClose};
}

void CSimHost::SetWindowRefusesClose(const char* pszClass, bool bRefuses)
{
    std::lock_guard<std::mutex> lock(m_csState);
    for (auto& [hWnd, window] : m_Windows)
        if (window.strClass == pszClass)
            window.bRefusesClose = bRefuses;
}

bool CSimHost::HasWindow(const char* pszClass)
{
    std::lock_guard<std::mutex> lock(m_csState);
    for (const auto& [hWnd, window] : m_Windows)
        if (window.strClass == pszClass)
            return true;
    return false;
}

std::vector<DWORD> CSimHost::CloseTimeouts()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_CloseTimeouts;
}

void CSimHost::SetManagerEvent(bool bExists)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bManagerEvent = bExists;
}

bool CSimHost::HasManagerEvent()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_bManagerEvent;
}

void CSimHost::SetRegistryText(const char* pszKey, const char* pszValueName, const char* pszText)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Registry[Lower(pszKey)][Lower(pszValueName)] = pszText;
}

void CSimHost::RemoveRegistryValue(const char* pszKey, const char* pszValueName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    auto it = m_Registry.find(Lower(pszKey));
    if (it != m_Registry.end())
        it->second.erase(Lower(pszValueName));
}

void CSimHost::RemoveRegistryKey(const char* pszKey)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Registry.erase(Lower(pszKey));
}

DWORD CSimHost::AddProcess(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    return AddProcessLocked(pszName);
}

int CSimHost::CountProcesses(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    int nCount = 0;
    for (const auto& [dwPid, process] : m_Processes)
        if (SameText(process.strName, pszName))
            ++nCount;
    return nCount;
}

void CSimHost::SetProcessUnopenable(DWORD dwPid)
{
    std::lock_guard<std::mutex> lock(m_csState);
    auto it = m_Processes.find(dwPid);
    if (it != m_Processes.end())
        it->second.bUnopenable = true;
}

void CSimHost::SetStartProcessFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bStartProcessFails = bFails;
}

void CSimHost::SetEnumProcessesFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bEnumProcessesFails = bFails;
}

void CSimHost::SetServicePresent(bool bPresent)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bServicePresent = bPresent;
}

void CSimHost::SetServiceState(DWORD dwState)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwServiceState = dwState;
    m_dwServiceGoal = dwState;
    m_nPendingLeft = 0;
}

DWORD CSimHost::GetServiceState()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_dwServiceState;
}

void CSimHost::SetPendingQueries(int nQueries)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nPendingQueries = nQueries < 0 ? 0 : nQueries;
}

void CSimHost::SetStuckPending(bool bStuck)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bStuckPending = bStuck;
}

void CSimHost::SetQueryFailsAfter(int nGoodQueries)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_nQueriesBeforeFailure = nGoodQueries;
}

void CSimHost::SetControlFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bControlFails = bFails;
}

void CSimHost::SetStartFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bStartFails = bFails;
}

void CSimHost::SetOpenServiceManagerFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bOpenManagerFails = bFails;
}

void CSimHost::SetOpenServiceFails(bool bFails)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bOpenServiceFails = bFails;
}

void CSimHost::SetServiceErrorCode(DWORD dwError)
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_dwServiceError = dwError;
}

int CSimHost::CountServiceQueries()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_nServiceQueries;
}

void CSimHost::StartSyncSoftware()
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_Registry[Lower(SIM_MANAGER_KEY)].count("") == 0)
        m_Registry[Lower(SIM_MANAGER_KEY)][""] = SIM_MANAGER_PATH;
    StartSyncSoftwareLocked();
    if (m_bServicePresent)
    {
        m_dwServiceState = SERVICE_STATE_RUNNING;
        m_dwServiceGoal = SERVICE_STATE_RUNNING;
        m_nPendingLeft = 0;
    }
}

bool CSimHost::IsSyncLinkHeld()
{
    std::lock_guard<std::mutex> lock(m_csState);
    for (const auto& [dwPid, process] : m_Processes)
        if (SameText(process.strName, SIM_MANAGER_PROCESS) || SameText(process.strName, SIM_COMM_PROCESS))
            return true;
    return m_bServicePresent && m_dwServiceState != SERVICE_STATE_STOPPED;
}

std::vector<std::string> CSimHost::Calls()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Calls;
}

std::vector<std::string> CSimHost::CallsStartingWith(const std::string& strPrefix)
{
    std::lock_guard<std::mutex> lock(m_csState);
    std::vector<std::string> calls;
    for (const std::string& strCall : m_Calls)
        if (strCall.rfind(strPrefix, 0) == 0)
            calls.push_back(strCall);
    return calls;
}

void CSimHost::ClearCalls()
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_Calls.clear();
}

// ---- Helpers (the lock is held) ----

void CSimHost::Record(const std::string& strCall)
{
    m_Calls.push_back(strCall);
}

std::string CSimHost::ManagerPathLocked()
{
    auto itKey = m_Registry.find(Lower(SIM_MANAGER_KEY));
    if (itKey != m_Registry.end())
    {
        auto itValue = itKey->second.find("");
        if (itValue != itKey->second.end() && !itValue->second.empty())
            return itValue->second;
    }
    return SIM_MANAGER_PATH;
}

void CSimHost::StartSyncSoftwareLocked()
{
    bool bManager = false;
    bool bComm = false;
    for (const auto& [dwPid, process] : m_Processes)
    {
        bManager = bManager || SameText(process.strName, SIM_MANAGER_PROCESS);
        bComm = bComm || SameText(process.strName, SIM_COMM_PROCESS);
    }
    if (!bManager)
        AddProcessLocked(SIM_MANAGER_PROCESS);
    if (!bComm)
        AddProcessLocked(SIM_COMM_PROCESS);
    for (const char* pszClass : {SIM_CLASS_APP_MANAGER, SIM_CLASS_SYNC_MANAGER, SIM_CLASS_CONNECTION_MANAGER})
    {
        bool bFound = false;
        for (const auto& [hWnd, window] : m_Windows)
            bFound = bFound || window.strClass == pszClass;
        if (!bFound)
            m_Windows[m_hNextWindow++] = {pszClass, false};
    }
    m_bManagerEvent = true;
}

void CSimHost::QuitManagerLocked()
{
    for (auto it = m_Processes.begin(); it != m_Processes.end();)
        it = SameText(it->second.strName, SIM_MANAGER_PROCESS) ? m_Processes.erase(it) : std::next(it);
    for (auto it = m_Windows.begin(); it != m_Windows.end();)
        it = it->second.bRefusesClose ? std::next(it) : m_Windows.erase(it);
    m_bManagerEvent = false;
}

DWORD CSimHost::AddProcessLocked(const char* pszName)
{
    DWORD dwPid = m_dwNextPid;
    m_dwNextPid += 4;
    m_Processes[dwPid] = {pszName, false};
    return dwPid;
}

bool CSimHost::EnterPendingLocked(DWORD dwPending, DWORD dwGoal)
{
    m_dwServiceGoal = dwGoal;
    if (m_nPendingQueries == 0 && !m_bStuckPending)
    {
        m_dwServiceState = dwGoal;
        return true;
    }
    m_dwServiceState = dwPending;
    m_nPendingLeft = m_nPendingQueries;
    return true;
}

// ---- Host interfaces ----

bool CSimHost::GetVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("GetVersion");
    *pdwMajor = m_dwMajor;
    *pdwMinor = m_dwMinor;
    return true;
}

bool CSimHost::GetEnvironment(const char* pszName, char* pszBuf, DWORD dwLen)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("GetEnvironment ") + pszName);
    auto it = m_Environment.find(pszName);
    if (it == m_Environment.end())
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return false;
    }
    return CopyTextToBuffer(it->second.c_str(), pszBuf, dwLen);
}

bool CSimHost::GetCurrentDir(char* pszBuf, DWORD dwLen)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("GetCurrentDir");
    return CopyTextToBuffer(m_strCurrentDir.c_str(), pszBuf, dwLen);
}

bool CSimHost::SetCurrentDir(const char* pszPath)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("SetCurrentDir ") + pszPath);
    if (pszPath[0] == '\0')
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return false;
    }
    m_strCurrentDir = pszPath;
    return true;
}

bool CSimHost::GetFreeSpace(const char* pszPath, QWORD* pqwFreeBytes)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("GetFreeSpace ") + pszPath);
    *pqwFreeBytes = m_qwFreeSpace;
    return true;
}

bool CSimHost::DeleteFile(const char* pszPath)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("DeleteFile ") + pszPath);
    auto itFailure = m_DeleteFailures.find(pszPath);
    if (itFailure != m_DeleteFailures.end())
    {
        SetLastErrorCode(itFailure->second);
        return false;
    }
    std::string strPath = pszPath;
    if (!IsAbsolute(strPath))
    {
        bool bBackslash = m_strCurrentDir.find('\\') != std::string::npos;
        char cSep = bBackslash ? '\\' : '/';
        bool bEndsInSep = m_strCurrentDir.empty() || m_strCurrentDir.back() == cSep;
        strPath = m_strCurrentDir + (bEndsInSep ? std::string() : std::string(1, cSep)) + strPath;
    }
    if (m_Files.erase(strPath) != 0 || m_Files.erase(pszPath) != 0)
        return true;

    std::error_code ec;
    if (std::filesystem::is_regular_file(strPath, ec) && std::filesystem::remove(strPath, ec))
        return true;
    SetLastErrorCode(ec ? static_cast<DWORD>(ec.value()) : ENOENT);
    return false;
}

WINDOW_HANDLE CSimHost::FindWindowByClass(const char* pszClass)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("FindWindow ") + pszClass);
    for (const auto& [hWnd, window] : m_Windows)
        if (window.strClass == pszClass)
            return hWnd;
    return 0;
}

bool CSimHost::SendCloseWithTimeout(WINDOW_HANDLE hWnd, DWORD dwTimeoutMs)
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        auto it = m_Windows.find(hWnd);
        Record("SendClose " + (it != m_Windows.end() ? it->second.strClass : std::string("<none>")));
        m_CloseTimeouts.push_back(dwTimeoutMs);
        if (it == m_Windows.end())
        {
            SetLastErrorCondition(std::errc::invalid_argument);
            return false;
        }
        if (!it->second.bRefusesClose)
        {
            m_Windows.erase(it);
            return true;
        }
    }
    // A window that does not handle the message keeps the sender waiting its time-out.
    if (m_pClock != nullptr)
        m_pClock->Sleep(dwTimeoutMs);
    SetLastErrorCondition(std::errc::timed_out);
    return false;
}

bool CSimHost::OpenNamedEvent(const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("OpenNamedEvent ") + pszName);
    if (m_bManagerEvent && std::strcmp(pszName, SIM_MANAGER_EVENT) == 0)
        return true;
    SetLastErrorCondition(std::errc::no_such_file_or_directory);
    return false;
}

LONG CSimHost::RegOpenKey(const char* pszSubKey, REG_KEY* phKey)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("RegOpenKey ") + pszSubKey);
    *phKey = 0;
    if (m_Registry.count(Lower(pszSubKey)) == 0)
        return REG_RESULT_FILE_NOT_FOUND;
    *phKey = m_hNextKey++;
    m_OpenKeys[*phKey] = Lower(pszSubKey);
    return REG_RESULT_SUCCESS;
}

LONG CSimHost::RegQueryText(REG_KEY hKey, const char* pszValueName, char* pszBuf, DWORD dwLen)
{
    constexpr LONG REG_RESULT_INVALID_HANDLE = 6;
    constexpr LONG REG_RESULT_MORE_DATA = 234;
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("RegQueryText ") + (pszValueName != nullptr ? pszValueName : "(default)"));
    auto itKey = m_OpenKeys.find(hKey);
    if (itKey == m_OpenKeys.end())
        return REG_RESULT_INVALID_HANDLE;
    auto itRegKey = m_Registry.find(itKey->second);
    if (itRegKey == m_Registry.end())
        return REG_RESULT_FILE_NOT_FOUND;
    auto itValue = itRegKey->second.find(Lower(pszValueName));
    if (itValue == itRegKey->second.end())
        return REG_RESULT_FILE_NOT_FOUND;
    if (itValue->second.size() + 1 > dwLen)
        return REG_RESULT_MORE_DATA;
    std::memcpy(pszBuf, itValue->second.c_str(), itValue->second.size() + 1);
    return REG_RESULT_SUCCESS;
}

void CSimHost::RegCloseKey(REG_KEY hKey)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("RegCloseKey");
    m_OpenKeys.erase(hKey);
}

bool CSimHost::StartProcess(const char* pszCommandLine)
{
    std::lock_guard<std::mutex> lock(m_csState);
    std::string strCommandLine = pszCommandLine;
    Record("StartProcess " + strCommandLine);
    if (m_bStartProcessFails)
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return false;
    }
    std::string strManager = ManagerPathLocked();
    if (SameText(strCommandLine, "\"" + strManager + "\" /quit"))
    {
        QuitManagerLocked();
        return true;
    }
    std::string strProgram = ProgramOf(strCommandLine);
    if (strProgram.empty())
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    if (SameText(strProgram, strManager))
        StartSyncSoftwareLocked();
    else
        AddProcessLocked(BaseNameOf(strProgram).c_str());
    return true;
}

bool CSimHost::EnumProcesses(DWORD* pdwPids, DWORD dwMax, DWORD* pdwCount)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("EnumProcesses");
    *pdwCount = 0;
    if (m_bEnumProcessesFails)
    {
        SetLastErrorCondition(std::errc::permission_denied);
        return false;
    }
    for (const auto& [dwPid, process] : m_Processes)
    {
        if (*pdwCount >= dwMax)
            break;
        pdwPids[(*pdwCount)++] = dwPid;
    }
    return true;
}

PROCESS_HANDLE CSimHost::OpenProcess(DWORD dwPid)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("OpenProcess " + std::to_string(dwPid));
    auto it = m_Processes.find(dwPid);
    if (it == m_Processes.end() || it->second.bUnopenable)
    {
        SetLastErrorCode(it == m_Processes.end() ? ESRCH : EACCES);
        return 0;
    }
    return static_cast<PROCESS_HANDLE>(dwPid);
}

bool CSimHost::GetProcessBaseName(PROCESS_HANDLE hProcess, char* pszBuf, DWORD dwLen)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("GetProcessBaseName " + std::to_string(hProcess));
    auto it = m_Processes.find(static_cast<DWORD>(hProcess));
    if (it == m_Processes.end())
    {
        SetLastErrorCondition(std::errc::no_such_process);
        return false;
    }
    return CopyTextToBuffer(it->second.strName.c_str(), pszBuf, dwLen);
}

bool CSimHost::GetProcessExitCode(PROCESS_HANDLE hProcess, DWORD* pdwExitCode)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("GetProcessExitCode " + std::to_string(hProcess));
    if (m_Processes.count(static_cast<DWORD>(hProcess)) == 0)
    {
        SetLastErrorCondition(std::errc::no_such_process);
        return false;
    }
    *pdwExitCode = SIM_STILL_ACTIVE;
    return true;
}

bool CSimHost::TerminateProcess(PROCESS_HANDLE hProcess, DWORD dwExitCode)
{
    std::lock_guard<std::mutex> lock(m_csState);
    auto it = m_Processes.find(static_cast<DWORD>(hProcess));
    Record("TerminateProcess " + (it != m_Processes.end() ? it->second.strName : std::string("<none>")) + " " +
           std::to_string(dwExitCode));
    if (it == m_Processes.end())
    {
        SetLastErrorCondition(std::errc::no_such_process);
        return false;
    }
    m_Processes.erase(it);
    return true;
}

void CSimHost::CloseProcess(PROCESS_HANDLE hProcess)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("CloseProcess " + std::to_string(hProcess));
}

SC_HANDLE_T CSimHost::OpenServiceManager()
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("OpenServiceManager");
    if (m_bOpenManagerFails)
    {
        SetLastErrorCode(m_dwServiceError);
        return 0;
    }
    return SIM_MANAGER_HANDLE;
}

SC_HANDLE_T CSimHost::OpenService(SC_HANDLE_T hManager, const char* pszName)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record(std::string("OpenService ") + pszName);
    if (hManager != SIM_MANAGER_HANDLE || m_bOpenServiceFails)
    {
        SetLastErrorCode(hManager != SIM_MANAGER_HANDLE ? EINVAL : m_dwServiceError);
        return 0;
    }
    if (!m_bServicePresent || !SameText(pszName, SIM_SERVICE_NAME))
    {
        SetLastErrorCondition(std::errc::no_such_file_or_directory);
        return 0;
    }
    return SIM_SERVICE_HANDLE;
}

bool CSimHost::QueryServiceState(SC_HANDLE_T hService, DWORD* pdwState)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("QueryServiceState");
    ++m_nServiceQueries;
    if (hService != SIM_SERVICE_HANDLE || !m_bServicePresent)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    if (m_nQueriesBeforeFailure == 0)
    {
        SetLastErrorCode(m_dwServiceError);
        return false;
    }
    if (m_nQueriesBeforeFailure > 0)
        --m_nQueriesBeforeFailure;
    if (m_dwServiceState != m_dwServiceGoal && !m_bStuckPending)
    {
        if (m_nPendingLeft > 0)
            --m_nPendingLeft;
        else
            m_dwServiceState = m_dwServiceGoal;
    }
    *pdwState = m_dwServiceState;
    return true;
}

bool CSimHost::ControlService(SC_HANDLE_T hService, DWORD dwControl, DWORD* pdwState)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("ControlService " + std::to_string(dwControl));
    if (hService != SIM_SERVICE_HANDLE || !m_bServicePresent)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    if (m_bControlFails)
    {
        SetLastErrorCode(m_dwServiceError);
        return false;
    }
    bool bAccepted = false;
    if (dwControl == SERVICE_CONTROL_CODE_STOP &&
        (m_dwServiceState == SERVICE_STATE_RUNNING || m_dwServiceState == SERVICE_STATE_PAUSED))
        bAccepted = EnterPendingLocked(SERVICE_STATE_STOP_PENDING, SERVICE_STATE_STOPPED);
    else if (dwControl == SERVICE_CONTROL_CODE_PAUSE && m_dwServiceState == SERVICE_STATE_RUNNING)
        bAccepted = EnterPendingLocked(SERVICE_STATE_PAUSE_PENDING, SERVICE_STATE_PAUSED);
    else if (dwControl == SERVICE_CONTROL_CODE_CONTINUE && m_dwServiceState == SERVICE_STATE_PAUSED)
        bAccepted = EnterPendingLocked(SERVICE_STATE_CONTINUE_PENDING, SERVICE_STATE_RUNNING);
    if (!bAccepted)
    {
        SetLastErrorCode(m_dwServiceState == SERVICE_STATE_STOPPED ? EINVAL : EBUSY);
        return false;
    }
    if (pdwState != nullptr)
        *pdwState = m_dwServiceState;
    return true;
}

bool CSimHost::StartService(SC_HANDLE_T hService)
{
    std::lock_guard<std::mutex> lock(m_csState);
    Record("StartService");
    if (hService != SIM_SERVICE_HANDLE || !m_bServicePresent)
    {
        SetLastErrorCondition(std::errc::invalid_argument);
        return false;
    }
    if (m_bStartFails)
    {
        SetLastErrorCode(m_dwServiceError);
        return false;
    }
    if (m_dwServiceState != SERVICE_STATE_STOPPED)
    {
        SetLastErrorCondition(std::errc::operation_in_progress);
        return false;
    }
    return EnterPendingLocked(SERVICE_STATE_START_PENDING, SERVICE_STATE_RUNNING);
}
