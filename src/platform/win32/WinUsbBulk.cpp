#include "platform/win32/WinUsbBulk.h"

#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "common/LastError.h"
#include "platform/win32/WinUsbDeclarations.h"
#include "platform/win32/Win32Text.h"

namespace
{
constexpr DWORD READ_TIMEOUT_MS = 100;

// One initialised interface: WinUSB's handle and the pipes whose time-out is set.
struct WINUSB_INTERFACE_STATE
{
    WINUSB_INTERFACE hInterface = nullptr;
    std::mutex csPipes;
    std::set<BYTE> TimedPipes;
};

WINUSB_INTERFACE_STATE* InterfaceOf(BULK_HANDLE hUsb)
{
    return static_cast<WINUSB_INTERFACE_STATE*>(hUsb);
}
}

struct WINUSB_STATE
{
    std::wstring strLibrary;
    DWORD dwWriteLimitMs = PORT_WRITE_LIMIT_MS;
    HMODULE hLibrary = nullptr;
    FARPROC pfnEntry[WINUSB_ENTRY_POINT_COUNT] = {};

    template <typename PFN>
    PFN Entry(int nEntryPoint) const
    {
        PFN pfn = nullptr;
        static_assert(sizeof(pfn) == sizeof(pfnEntry[nEntryPoint]));
        std::memcpy(&pfn, &pfnEntry[nEntryPoint], sizeof(pfn));
        return pfn;
    }
};

CWinUsbBulk::CWinUsbBulk(const char* pszLibrary, DWORD dwWriteLimitMs) : m_pState(std::make_unique<WINUSB_STATE>())
{
    m_pState->strLibrary = Utf8ToWide(pszLibrary);
    m_pState->dwWriteLimitMs = dwWriteLimitMs;
}

CWinUsbBulk::~CWinUsbBulk()
{
    Unload();
}

bool CWinUsbBulk::Load()
{
    WINUSB_STATE& s = *m_pState;
    if (s.hLibrary != nullptr)
        return true;
    s.hLibrary = LoadLibraryW(s.strLibrary.c_str());
    if (s.hLibrary == nullptr)
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    for (int nEntry = 0; nEntry < WINUSB_ENTRY_POINT_COUNT; ++nEntry)
        s.pfnEntry[nEntry] = GetProcAddress(s.hLibrary, WINUSB_ENTRY_POINT_NAMES[nEntry]);
    return true;
}

bool CWinUsbBulk::Resolve(int nEntryPoint)
{
    return m_pState->hLibrary != nullptr && nEntryPoint >= 0 && nEntryPoint < BULK_ENTRY_POINT_COUNT &&
           m_pState->pfnEntry[nEntryPoint] != nullptr;
}

void CWinUsbBulk::Unload()
{
    WINUSB_STATE& s = *m_pState;
    if (s.hLibrary == nullptr)
        return;
    FreeLibrary(s.hLibrary);
    s.hLibrary = nullptr;
    for (FARPROC& pfn : s.pfnEntry)
        pfn = nullptr;
}

// True when the entry point can be called; otherwise the thread's last error says
// why: no library, or a library without it.
bool CWinUsbBulk::Usable(int nEntryPoint)
{
    if (Resolve(nEntryPoint))
        return true;
    SetLastErrorCode(m_pState->hLibrary == nullptr ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND);
    return false;
}

// Sets the pipe's transfer time-out once per interface and pipe. A library that
// has no pipe policy, or refuses it, keeps its own; the call goes ahead either way.
void CWinUsbBulk::SetPipeTimeout(BULK_HANDLE hUsb, BYTE bPipeId, DWORD dwMs)
{
    WINUSB_INTERFACE_STATE* pInterface = InterfaceOf(hUsb);
    {
        std::lock_guard<std::mutex> lock(pInterface->csPipes);
        if (!pInterface->TimedPipes.insert(bPipeId).second)
            return;
    }
    auto pfnSetPolicy = m_pState->Entry<PFN_WINUSB_SET_PIPE_POLICY>(WINUSB_SET_PIPE_POLICY);
    if (pfnSetPolicy == nullptr)
        return;
    ULONG ulTimeout = dwMs;
    WIN_DWORD dwError = GetLastError();
    pfnSetPolicy(pInterface->hInterface, bPipeId, WINUSB_PIPE_TRANSFER_TIMEOUT, sizeof(ulTimeout), &ulTimeout);
    SetLastError(dwError);
}

bool CWinUsbBulk::Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb)
{
    if (phUsb != nullptr)
        *phUsb = nullptr;
    if (!Usable(BULK_INITIALIZE))
        return false;
    if (phUsb == nullptr || hDevice == INVALID_PORT)
    {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return false;
    }
    WINUSB_INTERFACE hInterface = nullptr;
    if (!m_pState->Entry<PFN_WINUSB_INITIALIZE>(BULK_INITIALIZE)(reinterpret_cast<HANDLE>(hDevice), &hInterface))
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    WINUSB_INTERFACE_STATE* pInterface = new WINUSB_INTERFACE_STATE;
    pInterface->hInterface = hInterface;
    *phUsb = pInterface;
    return true;
}

bool CWinUsbBulk::QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                         USB_INTERFACE_DESCRIPTOR* pDescriptor)
{
    if (!Usable(BULK_QUERY_INTERFACE_SETTINGS))
        return false;
    if (hUsb == nullptr || pDescriptor == nullptr)
    {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    WINUSB_INTERFACE_DESCRIPTOR_RECORD record{};
    if (!m_pState->Entry<PFN_WINUSB_QUERY_INTERFACE_SETTINGS>(BULK_QUERY_INTERFACE_SETTINGS)(
            InterfaceOf(hUsb)->hInterface, bAlternateSetting, &record))
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    pDescriptor->bLength = record.bLength;
    pDescriptor->bDescriptorType = record.bDescriptorType;
    pDescriptor->bInterfaceNumber = record.bInterfaceNumber;
    pDescriptor->bAlternateSetting = record.bAlternateSetting;
    pDescriptor->bNumEndpoints = record.bNumEndpoints;
    pDescriptor->bInterfaceClass = record.bInterfaceClass;
    pDescriptor->bInterfaceSubClass = record.bInterfaceSubClass;
    pDescriptor->bInterfaceProtocol = record.bInterfaceProtocol;
    pDescriptor->iInterface = record.iInterface;
    return true;
}

bool CWinUsbBulk::QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex, WINUSB_PIPE_INFORMATION* pPipe)
{
    if (!Usable(BULK_QUERY_PIPE))
        return false;
    if (hUsb == nullptr || pPipe == nullptr)
    {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    WINUSB_PIPE_INFORMATION_RECORD record{};
    if (!m_pState->Entry<PFN_WINUSB_QUERY_PIPE>(BULK_QUERY_PIPE)(InterfaceOf(hUsb)->hInterface, bAlternateSetting,
                                                                 bPipeIndex, &record))
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    pPipe->PipeType = record.PipeType;
    pPipe->PipeId = record.PipeId;
    pPipe->MaximumPacketSize = record.MaximumPacketSize;
    pPipe->Interval = record.Interval;
    return true;
}

bool CWinUsbBulk::ReadPipe(BULK_HANDLE hUsb, BYTE bPipeId, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    if (pdwRead != nullptr)
        *pdwRead = 0;
    if (!Usable(BULK_READ_PIPE))
        return false;
    if (hUsb == nullptr || pBuf == nullptr || pdwRead == nullptr)
    {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    SetPipeTimeout(hUsb, bPipeId, READ_TIMEOUT_MS);
    ULONG ulRead = 0;
    BOOL bOk = m_pState->Entry<PFN_WINUSB_READ_PIPE>(BULK_READ_PIPE)(InterfaceOf(hUsb)->hInterface, bPipeId, pBuf,
                                                                     dwLen, &ulRead, nullptr);
    *pdwRead = ulRead;
    if (bOk)
        return true;
    WIN_DWORD dwError = GetLastError();
    // The pipe's time-out: nothing (more) came within the read's time.
    if (dwError == ERROR_SEM_TIMEOUT)
        return true;
    SetLastErrorCode(dwError);
    return false;
}

bool CWinUsbBulk::WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    if (!Usable(BULK_WRITE_PIPE))
        return false;
    if (hUsb == nullptr || (pBuf == nullptr && dwLen != 0) || pdwWritten == nullptr)
    {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    SetPipeTimeout(hUsb, bPipeId, m_pState->dwWriteLimitMs);
    ULONG ulWritten = 0;
    // WinUsb_WritePipe only reads the buffer; it is declared with a non-const one.
    BOOL bOk = m_pState->Entry<PFN_WINUSB_WRITE_PIPE>(BULK_WRITE_PIPE)(
        InterfaceOf(hUsb)->hInterface, bPipeId, const_cast<BYTE*>(pBuf), dwLen, &ulWritten, nullptr);
    *pdwWritten = ulWritten;
    if (!bOk)
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    return true;
}

bool CWinUsbBulk::FlushPipe(BULK_HANDLE hUsb, BYTE bPipeId)
{
    if (!Usable(BULK_FLUSH_PIPE))
        return false;
    if (hUsb == nullptr)
    {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!m_pState->Entry<PFN_WINUSB_FLUSH_PIPE>(BULK_FLUSH_PIPE)(InterfaceOf(hUsb)->hInterface, bPipeId))
    {
        SetLastErrorCode(GetLastError());
        return false;
    }
    return true;
}

bool CWinUsbBulk::Free(BULK_HANDLE hUsb)
{
    if (!Usable(BULK_FREE))
        return false;
    if (hUsb == nullptr)
    {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    WINUSB_INTERFACE_STATE* pInterface = InterfaceOf(hUsb);
    BOOL bOk = m_pState->Entry<PFN_WINUSB_FREE>(BULK_FREE)(pInterface->hInterface);
    WIN_DWORD dwError = GetLastError();
    delete pInterface;
    if (!bOk)
    {
        SetLastErrorCode(dwError);
        return false;
    }
    return true;
}
