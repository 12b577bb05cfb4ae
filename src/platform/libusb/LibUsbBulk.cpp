#include "platform/libusb/LibUsbBulk.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <libusb.h>   // a system header: its zero-sized arrays raise no warning
#include <map>
#include <mutex>
#include <vector>

#include "common/LastError.h"

struct LIBUSB_ENTRY_POINTS
{
    decltype(&libusb_init) pfnInit = nullptr;
    decltype(&libusb_exit) pfnExit = nullptr;
    decltype(&libusb_wrap_sys_device) pfnWrapSysDevice = nullptr;
    decltype(&libusb_get_device) pfnGetDevice = nullptr;
    decltype(&libusb_set_auto_detach_kernel_driver) pfnSetAutoDetach = nullptr;
    decltype(&libusb_claim_interface) pfnClaimInterface = nullptr;
    decltype(&libusb_release_interface) pfnReleaseInterface = nullptr;
    decltype(&libusb_get_active_config_descriptor) pfnGetActiveConfig = nullptr;
    decltype(&libusb_free_config_descriptor) pfnFreeConfig = nullptr;
    decltype(&libusb_bulk_transfer) pfnBulkTransfer = nullptr;
    decltype(&libusb_close) pfnClose = nullptr;
};

namespace
{
constexpr unsigned READ_TIMEOUT_MS = 100;
constexpr unsigned WRITE_TIMEOUT_MS = 10000;
constexpr int READ_TRANSFER_SIZE = 16384;   // a multiple of every bulk packet size
constexpr int CLAIMED_INTERFACE = 0;

struct BULK_INTERFACE
{
    libusb_device_handle* pHandle = nullptr;
    std::mutex csCache;
    std::map<BYTE, std::deque<BYTE>> Cache;   // bytes received but not yet handed out, per IN pipe
};

DWORD ErrnoOf(int nLibUsbError)
{
    switch (nLibUsbError)
    {
    case LIBUSB_ERROR_IO: return EIO;
    case LIBUSB_ERROR_INVALID_PARAM: return EINVAL;
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_NOT_FOUND: return ENOENT;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_INTERRUPTED: return EINTR;
    case LIBUSB_ERROR_NO_MEM: return ENOMEM;
    case LIBUSB_ERROR_NOT_SUPPORTED: return ENOTSUP;
    default: return EIO;
    }
}

template <typename T>
void ResolveSymbol(void* hLibrary, const char* pszName, T* ppfn)
{
    void* pSymbol = dlsym(hLibrary, pszName);
    std::memcpy(ppfn, &pSymbol, sizeof(pSymbol));
}

BULK_INTERFACE* InterfaceOf(BULK_HANDLE hUsb)
{
    return static_cast<BULK_INTERFACE*>(hUsb);
}
}

CLibUsbBulk::CLibUsbBulk() : m_pEntry(new LIBUSB_ENTRY_POINTS)
{
}

CLibUsbBulk::~CLibUsbBulk()
{
    Unload();
    delete m_pEntry;
}

bool CLibUsbBulk::Load()
{
    if (m_hLibrary != nullptr)
        return true;
    m_hLibrary = dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (m_hLibrary == nullptr)
    {
        SetLastErrorCode(ENOENT);
        return false;
    }
    LIBUSB_ENTRY_POINTS& e = *m_pEntry;
    ResolveSymbol(m_hLibrary, "libusb_init", &e.pfnInit);
    ResolveSymbol(m_hLibrary, "libusb_exit", &e.pfnExit);
    ResolveSymbol(m_hLibrary, "libusb_wrap_sys_device", &e.pfnWrapSysDevice);
    ResolveSymbol(m_hLibrary, "libusb_get_device", &e.pfnGetDevice);
    ResolveSymbol(m_hLibrary, "libusb_set_auto_detach_kernel_driver", &e.pfnSetAutoDetach);
    ResolveSymbol(m_hLibrary, "libusb_claim_interface", &e.pfnClaimInterface);
    ResolveSymbol(m_hLibrary, "libusb_release_interface", &e.pfnReleaseInterface);
    ResolveSymbol(m_hLibrary, "libusb_get_active_config_descriptor", &e.pfnGetActiveConfig);
    ResolveSymbol(m_hLibrary, "libusb_free_config_descriptor", &e.pfnFreeConfig);
    ResolveSymbol(m_hLibrary, "libusb_bulk_transfer", &e.pfnBulkTransfer);
    ResolveSymbol(m_hLibrary, "libusb_close", &e.pfnClose);

    libusb_context* pContext = nullptr;
    int nError = e.pfnInit != nullptr ? e.pfnInit(&pContext) : LIBUSB_ERROR_NOT_SUPPORTED;
    if (nError != LIBUSB_SUCCESS)
    {
        SetLastErrorCode(ErrnoOf(nError));
        dlclose(m_hLibrary);
        m_hLibrary = nullptr;
        *m_pEntry = LIBUSB_ENTRY_POINTS{};
        return false;
    }
    m_pContext = pContext;
    return true;
}

bool CLibUsbBulk::Resolve(int nEntryPoint)
{
    if (m_hLibrary == nullptr)
        return false;
    const LIBUSB_ENTRY_POINTS& e = *m_pEntry;
    switch (nEntryPoint)
    {
    case BULK_INITIALIZE:
        return e.pfnWrapSysDevice != nullptr && e.pfnClaimInterface != nullptr && e.pfnClose != nullptr;
    case BULK_QUERY_INTERFACE_SETTINGS:
    case BULK_QUERY_PIPE:
        return e.pfnGetDevice != nullptr && e.pfnGetActiveConfig != nullptr && e.pfnFreeConfig != nullptr;
    case BULK_READ_PIPE:
    case BULK_WRITE_PIPE:
        return e.pfnBulkTransfer != nullptr;
    case BULK_FREE:
        return e.pfnReleaseInterface != nullptr && e.pfnClose != nullptr;
    case BULK_FLUSH_PIPE:
        return true;   // the cache is our own
    default:
        return false;
    }
}

void CLibUsbBulk::Unload()
{
    if (m_hLibrary == nullptr)
        return;
    if (m_pContext != nullptr && m_pEntry->pfnExit != nullptr)
        m_pEntry->pfnExit(static_cast<libusb_context*>(m_pContext));
    m_pContext = nullptr;
    dlclose(m_hLibrary);
    m_hLibrary = nullptr;
    *m_pEntry = LIBUSB_ENTRY_POINTS{};
}

bool CLibUsbBulk::Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb)
{
    if (phUsb != nullptr)
        *phUsb = nullptr;
    if (!Resolve(BULK_INITIALIZE) || phUsb == nullptr || hDevice < 0)
    {
        SetLastErrorCode(m_hLibrary == nullptr ? ENOSYS : EINVAL);
        return false;
    }
    const LIBUSB_ENTRY_POINTS& e = *m_pEntry;
    libusb_device_handle* pHandle = nullptr;
    int nError = e.pfnWrapSysDevice(static_cast<libusb_context*>(m_pContext), hDevice, &pHandle);
    if (nError != LIBUSB_SUCCESS)
    {
        SetLastErrorCode(ErrnoOf(nError));
        return false;
    }
    if (e.pfnSetAutoDetach != nullptr)
        e.pfnSetAutoDetach(pHandle, 1);
    nError = e.pfnClaimInterface(pHandle, CLAIMED_INTERFACE);
    if (nError != LIBUSB_SUCCESS)
    {
        e.pfnClose(pHandle);
        SetLastErrorCode(ErrnoOf(nError));
        return false;
    }
    BULK_INTERFACE* pInterface = new BULK_INTERFACE;
    pInterface->pHandle = pHandle;
    *phUsb = pInterface;
    return true;
}

// Runs fnUse on the claimed interface's alternate setting of the device's active
// configuration; false (with the thread's last error) when there is no such setting
// or fnUse finds nothing in it.
template <typename FN>
bool CLibUsbBulk::WithAltSetting(BULK_HANDLE hUsb, BYTE bAlternateSetting, FN fnUse)
{
    const LIBUSB_ENTRY_POINTS& e = *m_pEntry;
    libusb_config_descriptor* pConfig = nullptr;
    int nError = e.pfnGetActiveConfig(e.pfnGetDevice(InterfaceOf(hUsb)->pHandle), &pConfig);
    if (nError != LIBUSB_SUCCESS)
    {
        SetLastErrorCode(ErrnoOf(nError));
        return false;
    }
    bool bOk = CLAIMED_INTERFACE < pConfig->bNumInterfaces &&
               bAlternateSetting < pConfig->interface[CLAIMED_INTERFACE].num_altsetting &&
               fnUse(pConfig->interface[CLAIMED_INTERFACE].altsetting[bAlternateSetting]);
    if (!bOk)
        SetLastErrorCode(ENOENT);
    e.pfnFreeConfig(pConfig);
    return bOk;
}

bool CLibUsbBulk::QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                         USB_INTERFACE_DESCRIPTOR* pDescriptor)
{
    if (!Resolve(BULK_QUERY_INTERFACE_SETTINGS) || hUsb == nullptr || pDescriptor == nullptr)
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    return WithAltSetting(hUsb, bAlternateSetting, [pDescriptor](const libusb_interface_descriptor& d) {
        pDescriptor->bLength = d.bLength;
        pDescriptor->bDescriptorType = d.bDescriptorType;
        pDescriptor->bInterfaceNumber = d.bInterfaceNumber;
        pDescriptor->bAlternateSetting = d.bAlternateSetting;
        pDescriptor->bNumEndpoints = d.bNumEndpoints;
        pDescriptor->bInterfaceClass = d.bInterfaceClass;
        pDescriptor->bInterfaceSubClass = d.bInterfaceSubClass;
        pDescriptor->bInterfaceProtocol = d.bInterfaceProtocol;
        pDescriptor->iInterface = d.iInterface;
        return true;
    });
}

bool CLibUsbBulk::QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex, WINUSB_PIPE_INFORMATION* pPipe)
{
    if (!Resolve(BULK_QUERY_PIPE) || hUsb == nullptr || pPipe == nullptr)
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    return WithAltSetting(hUsb, bAlternateSetting, [pPipe, bPipeIndex](const libusb_interface_descriptor& d) {
        if (bPipeIndex >= d.bNumEndpoints)
            return false;
        const libusb_endpoint_descriptor& ep = d.endpoint[bPipeIndex];
        pPipe->PipeType = ep.bmAttributes & 0x03;
        pPipe->PipeId = ep.bEndpointAddress;
        pPipe->MaximumPacketSize = ep.wMaxPacketSize;
        pPipe->Interval = ep.bInterval;
        return true;
    });
}

bool CLibUsbBulk::ReadPipe(BULK_HANDLE hUsb, BYTE bPipeId, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead)
{
    if (pdwRead != nullptr)
        *pdwRead = 0;
    if (!Resolve(BULK_READ_PIPE) || hUsb == nullptr || pBuf == nullptr || pdwRead == nullptr)
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    BULK_INTERFACE* pInterface = InterfaceOf(hUsb);
    std::lock_guard<std::mutex> lock(pInterface->csCache);
    std::deque<BYTE>& cache = pInterface->Cache[bPipeId];
    if (cache.empty())
    {
        std::vector<BYTE> Transfer(READ_TRANSFER_SIZE);
        int nDone = 0;
        int nError = m_pEntry->pfnBulkTransfer(pInterface->pHandle, bPipeId, Transfer.data(), READ_TRANSFER_SIZE,
                                               &nDone, READ_TIMEOUT_MS);
        if (nError != LIBUSB_SUCCESS && nError != LIBUSB_ERROR_TIMEOUT)
        {
            SetLastErrorCode(ErrnoOf(nError));
            return false;
        }
        cache.insert(cache.end(), Transfer.begin(), Transfer.begin() + nDone);
    }
    DWORD dwCount = 0;
    while (dwCount < dwLen && !cache.empty())
    {
        pBuf[dwCount++] = cache.front();
        cache.pop_front();
    }
    *pdwRead = dwCount;
    return true;
}

bool CLibUsbBulk::WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten)
{
    if (pdwWritten != nullptr)
        *pdwWritten = 0;
    if (!Resolve(BULK_WRITE_PIPE) || hUsb == nullptr || (pBuf == nullptr && dwLen != 0) || pdwWritten == nullptr ||
        dwLen > 0x7FFFFFFFu)
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    int nDone = 0;
    // The library takes a non-const buffer for both directions; an OUT transfer only reads it.
    int nError = m_pEntry->pfnBulkTransfer(InterfaceOf(hUsb)->pHandle, bPipeId, const_cast<BYTE*>(pBuf),
                                           static_cast<int>(dwLen), &nDone, WRITE_TIMEOUT_MS);
    *pdwWritten = static_cast<DWORD>(nDone);
    if (nError != LIBUSB_SUCCESS)
    {
        SetLastErrorCode(ErrnoOf(nError));
        return false;
    }
    return true;
}

bool CLibUsbBulk::FlushPipe(BULK_HANDLE hUsb, BYTE bPipeId)
{
    if (hUsb == nullptr)
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    BULK_INTERFACE* pInterface = InterfaceOf(hUsb);
    std::lock_guard<std::mutex> lock(pInterface->csCache);
    pInterface->Cache[bPipeId].clear();
    return true;
}

bool CLibUsbBulk::Free(BULK_HANDLE hUsb)
{
    if (!Resolve(BULK_FREE) || hUsb == nullptr)
    {
        SetLastErrorCode(EINVAL);
        return false;
    }
    BULK_INTERFACE* pInterface = InterfaceOf(hUsb);
    m_pEntry->pfnReleaseInterface(pInterface->pHandle, CLAIMED_INTERFACE);
    // Closing a wrapped handle leaves the device node itself open; its owner closes it.
    m_pEntry->pfnClose(pInterface->pHandle);
    delete pInterface;
    return true;
}
