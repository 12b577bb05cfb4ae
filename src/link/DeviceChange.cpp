#include "link/DeviceChange.h"

#include <chrono>

#include "common/Trace.h"

CDeviceChangeHandler::CDeviceChangeHandler(CDownloader& downloader) : m_Downloader(downloader)
{
}

CDeviceChangeHandler::~CDeviceChangeHandler()
{
    StopCheck();
}

bool CDeviceChangeHandler::HandleArrival(const char* pszName)
{
    Trace(false, "WindowProc : message == WM_DEVICECHANGE");
    if (pszName == nullptr)
        return false;
    Trace(false, "WindowProc : wParam == DBT_DEVICEARRIVAL && lParam!=0");
    // A newer arrival replaces whatever was being checked.
    StopCheck();
    m_Downloader.AddUSB(pszName);
    if (m_Downloader.CheckUSBConnection(0, 1, nullptr))
    {
        m_Downloader.m_PortInfo[0].hArrivalEvent->Set();
        return true;
    }
    if (m_Downloader.m_PortInfo[0].FileName[0] == '\0')
    {
        // A refused name: nothing to check further.
        m_Downloader.RemoveUSB(pszName);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_csCheck);
    m_StopCheck.Reset();
    m_CheckDone.Reset();
    m_CheckThread = std::thread(&CDeviceChangeHandler::RunCheck, this, std::string(pszName));
    return false;
}

void CDeviceChangeHandler::RunCheck(std::string strName)
{
    if (m_Downloader.CheckUSBConnection(1, CHECK_ATTEMPTS, &m_StopCheck))
        m_Downloader.m_PortInfo[0].hArrivalEvent->Set();
    else if (!m_StopCheck.IsSignalled())
        m_Downloader.RemoveUSB(strName.c_str());
    m_CheckDone.Set();
}

void CDeviceChangeHandler::StopCheck()
{
    std::lock_guard<std::mutex> lock(m_csCheck);
    if (!m_CheckThread.joinable())
        return;
    // The check ends within one open attempt: its pause is a wait on this event.
    m_StopCheck.Set();
    m_CheckThread.join();
}

bool CDeviceChangeHandler::IsChecking()
{
    return !m_CheckDone.IsSignalled();
}

bool CDeviceChangeHandler::WaitForCheck(DWORD dwRealMs)
{
    return m_CheckDone.WaitReal(std::chrono::milliseconds(dwRealMs), false) == EVENT_SIGNALLED;
}

bool CDeviceChangeHandler::HandleRemoval(const char* pszName)
{
    Trace(false, "WindowProc : message == WM_DEVICECHANGE");
    if (pszName == nullptr)
        return false;
    Trace(false, "WindowProc : wParam == DBT_DEVICEREMOVECOMPLETE && lParam!=0");
    StopCheck();
    m_Downloader.RemoveUSB(pszName);
    m_Downloader.m_PortInfo[0].hRemovalEvent->Set();
    return false;
}

void CDeviceChangeHandler::OnDeviceArrival(const char* pszName)
{
    HandleArrival(pszName);
}

void CDeviceChangeHandler::OnDeviceRemoval(const char* pszName)
{
    HandleRemoval(pszName);
}
