#include "link/DeviceChange.h"

#include "common/Trace.h"

CDeviceChangeHandler::CDeviceChangeHandler(CDownloader& downloader) : m_Downloader(downloader)
{
}

bool CDeviceChangeHandler::HandleArrival(const char* pszName)
{
    Trace(false, "WindowProc : message == WM_DEVICECHANGE");
    if (pszName == nullptr)
        return false;
    Trace(false, "WindowProc : wParam == DBT_DEVICEARRIVAL && lParam!=0");
    m_Downloader.AddUSB(pszName);
    if (m_Downloader.CheckUSBConnection())
    {
        m_Downloader.m_PortInfo[0].hArrivalEvent->Set();
        return true;
    }
    m_Downloader.RemoveUSB(pszName);
    return false;
}

bool CDeviceChangeHandler::HandleRemoval(const char* pszName)
{
    Trace(false, "WindowProc : message == WM_DEVICECHANGE");
    if (pszName == nullptr)
        return false;
    Trace(false, "WindowProc : wParam == DBT_DEVICEREMOVECOMPLETE && lParam!=0");
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
