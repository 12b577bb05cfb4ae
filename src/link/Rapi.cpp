// The device agent over the desktop's remote API: connect, copy the agent to the
// handset, start it there, and read the handset's versions from its registry.
// Each operation opens its own connection and ends it before it returns.
#include <cstring>

#include "common/ByteOrder.h"
#include "common/LastError.h"
#include "common/Trace.h"
#include "link/Downloader.h"

namespace
{
constexpr DWORD RAPI_INIT_SIZE = 12;          // the start record's size in the desktop's layout
constexpr DWORD RAPI_CONNECT_WAIT_MS = 5000;
constexpr DWORD RAPI_COPY_PIECE = 4096;
constexpr DWORD VERSION_BUFFER_SIZE = 64;     // caller's text buffers and the registry read buffer
constexpr char DEVICE_INFO_KEY[] = "ControlPanel\\DeviceInfo";

// Appends one code point as UTF-8; false when it does not fit before the terminator.
bool AppendUtf8(DWORD dwCode, char* pszOut, size_t* pnLen, size_t nMax)
{
    BYTE bytes[4];
    size_t nBytes = 0;
    if (dwCode < 0x80)
        bytes[nBytes++] = static_cast<BYTE>(dwCode);
    else if (dwCode < 0x800)
    {
        bytes[nBytes++] = static_cast<BYTE>(0xC0 | (dwCode >> 6));
        bytes[nBytes++] = static_cast<BYTE>(0x80 | (dwCode & 0x3F));
    }
    else if (dwCode < 0x10000)
    {
        bytes[nBytes++] = static_cast<BYTE>(0xE0 | (dwCode >> 12));
        bytes[nBytes++] = static_cast<BYTE>(0x80 | ((dwCode >> 6) & 0x3F));
        bytes[nBytes++] = static_cast<BYTE>(0x80 | (dwCode & 0x3F));
    }
    else
    {
        bytes[nBytes++] = static_cast<BYTE>(0xF0 | (dwCode >> 18));
        bytes[nBytes++] = static_cast<BYTE>(0x80 | ((dwCode >> 12) & 0x3F));
        bytes[nBytes++] = static_cast<BYTE>(0x80 | ((dwCode >> 6) & 0x3F));
        bytes[nBytes++] = static_cast<BYTE>(0x80 | (dwCode & 0x3F));
    }
    if (*pnLen + nBytes + 1 > nMax)
        return false;
    std::memcpy(pszOut + *pnLen, bytes, nBytes);
    *pnLen += nBytes;
    return true;
}

// Converts UTF-16LE text (up to its terminator or dwBytes) to UTF-8 in a buffer of
// nMax bytes. A text that does not fit whole gives an empty text, never a cut
// character. Unpaired surrogates become U+FFFD.
void Utf16LeToUtf8(const BYTE* pData, DWORD dwBytes, char* pszOut, size_t nMax)
{
    pszOut[0] = '\0';
    size_t nLen = 0;
    DWORD dwUnits = dwBytes / 2;
    for (DWORD i = 0; i < dwUnits; ++i)
    {
        DWORD dwCode = ReadLE16(pData + 2 * i);
        if (dwCode == 0)
            break;
        if (dwCode >= 0xD800 && dwCode < 0xDC00 && i + 1 < dwUnits)
        {
            DWORD dwLow = ReadLE16(pData + 2 * (i + 1));
            if (dwLow >= 0xDC00 && dwLow < 0xE000)
            {
                dwCode = 0x10000 + ((dwCode - 0xD800) << 10) + (dwLow - 0xDC00);
                ++i;
            }
            else
                dwCode = 0xFFFD;
        }
        else if (dwCode >= 0xD800 && dwCode < 0xE000)
            dwCode = 0xFFFD;
        if (!AppendUtf8(dwCode, pszOut, &nLen, nMax))
        {
            pszOut[0] = '\0';
            return;
        }
    }
    pszOut[nLen] = '\0';
}

// Reads one REG_SZ value of the handset's device-info key as UTF-8 text. A key or
// value that is missing, of another type or larger than the 64-byte read buffer
// gives an empty text.
void ReadDeviceInfoText(IRemoteApi* pRemoteApi, const char* pszValueName, char* pszOut, size_t nMax)
{
    pszOut[0] = '\0';
    CE_HKEY hKey = 0;
    if (pRemoteApi->CeRegOpenKeyEx(CE_HKEY_LOCAL_MACHINE, DEVICE_INFO_KEY, &hKey) != CE_ERROR_SUCCESS)
    {
        Trace(false, "CeRegOpenKeyEx %s failed\r\n", DEVICE_INFO_KEY);
        return;
    }
    BYTE data[VERSION_BUFFER_SIZE] = {};
    DWORD dwType = 0;
    DWORD cbData = sizeof(data);
    LONG lResult = pRemoteApi->CeRegQueryValueEx(hKey, pszValueName, &dwType, data, &cbData);
    if (lResult != CE_ERROR_SUCCESS || dwType != CE_REG_SZ || cbData > sizeof(data))
        Trace(false, "CeRegQueryValueEx %s failed, result = %d, type = %u\r\n", pszValueName,
              static_cast<int>(lResult), dwType);
    else
        Utf16LeToUtf8(data, cbData, pszOut, nMax);
    pRemoteApi->CeRegCloseKey(hKey);
}
}

int CDownloader::PDAInit()
{
    Trace(false, "CDownloader::PDAInit++\r\n");
    IRemoteApi* pRemoteApi = m_Platform.pRemoteApi;
    CEvent initEvent(true, false);
    RAPIINIT init;
    init.cbSize = RAPI_INIT_SIZE;
    init.heRapiInit = &initEvent;
    init.hrRapiInit = -1;

    if (pRemoteApi == nullptr || pRemoteApi->CeRapiInitEx(&init) != 0)
    {
        ShowAppMessage(m_Platform, "CeRapiInitEx failed");
    }
    else
    {
        // A signalled event counts as a ready connection; the record's result is not consulted.
        switch (m_Platform.pClock->WaitForEvent(initEvent, RAPI_CONNECT_WAIT_MS))
        {
        case EVENT_SIGNALLED:
            return PDAINIT_READY;
        case EVENT_ABANDONED:
            pRemoteApi->CeRapiUninit();
            return PDAINIT_ABANDONED;
        case EVENT_TIMEOUT:
            pRemoteApi->CeRapiUninit();
            return PDAINIT_TIMEOUT;
        default:
            ShowAppMessage(m_Platform, "Wait failed");
            // The started connection still refers to the event on this stack: end it
            // before the event goes away.
            pRemoteApi->CeRapiUninit();
            break;
        }
    }
    Trace(false, "CDownloader::PDAInit--\r\n");
    return PDAINIT_FAILED;
}

int CDownloader::RAPICopyFile(std::FILE* pSource)
{
    Trace(false, "CDownloader::RAPICopyFile++\r\n");
    IRemoteApi* pRemoteApi = m_Platform.pRemoteApi;
    int nResult = RAPICOPY_OK;

    long lLength = -1;
    if (pSource != nullptr && std::fseek(pSource, 0, SEEK_END) == 0)
    {
        lLength = std::ftell(pSource);
        if (std::fseek(pSource, 0, SEEK_SET) != 0)
            lLength = -1;
    }

    if (PDAInit() != PDAINIT_READY)
    {
        Trace(false, "PDAInit() failed\r\n");
        nResult = RAPICOPY_NO_CONNECTION;
    }
    else if (lLength < 0 || lLength > 0x7FFFFFFF)
    {
        // Nothing is sent from a source whose length cannot be known.
        Trace(false, "Agent file length unknown\r\n");
        nResult = RAPICOPY_WRITE_FAILED;
    }
    else
    {
        CE_HANDLE hFile = pRemoteApi->CeCreateFile(AGENT_FILE_NAME, CE_GENERIC_WRITE,
                                                   CE_FILE_SHARE_READ | CE_FILE_SHARE_WRITE, CE_CREATE_ALWAYS,
                                                   CE_FILE_ATTRIBUTE_NORMAL);
        if (hFile == CE_INVALID_HANDLE)
        {
            Trace(false, "CeCreateFile failed\r\n");
            nResult = RAPICOPY_WRITE_FAILED;
        }
        else
        {
            DWORD dwTotal = static_cast<DWORD>(lLength);
            DWORD dwDone = 0;
            BYTE buffer[RAPI_COPY_PIECE];
            while (dwDone < dwTotal)
            {
                DWORD dwPiece = dwTotal - dwDone < RAPI_COPY_PIECE ? dwTotal - dwDone : RAPI_COPY_PIECE;
                // A piece that cannot be read whole would send stale bytes: stop instead.
                if (std::fread(buffer, 1, dwPiece, pSource) != dwPiece)
                {
                    Trace(false, "Read agent file failed\r\n");
                    nResult = RAPICOPY_WRITE_FAILED;
                    break;
                }
                DWORD dwWritten = 0;
                if (!pRemoteApi->CeWriteFile(hFile, buffer, dwPiece, &dwWritten))
                {
                    Trace(false, "CeWriteFile failed\r\n");
                    nResult = RAPICOPY_WRITE_FAILED;
                    break;
                }
                dwDone += dwPiece;
                Trace(false, "Download %d bytes(total %d bytes)\r\n", static_cast<int>(dwDone),
                      static_cast<int>(dwTotal));
                if (dwWritten < dwPiece)
                {
                    Trace(false, "CeWriteFile, write size mismatch, %d != %d\r\n", static_cast<int>(dwPiece),
                          static_cast<int>(dwWritten));
                    nResult = RAPICOPY_WRITE_FAILED;
                    break;
                }
            }
            pRemoteApi->CeCloseHandle(hFile);
        }
    }

    if (pRemoteApi != nullptr)
        pRemoteApi->CeRapiUninit();
    Trace(false, "CDownloader::RAPICopyFile--\r\n");
    return nResult;
}

bool CDownloader::CEProcess()
{
    Trace(false, "CDownloader :: CEProcess++\r\n");
    if (PDAInit() != PDAINIT_READY)
    {
        Trace(false, "PDAInit() failed\r\n");
        return false;
    }
    IRemoteApi* pRemoteApi = m_Platform.pRemoteApi;
    // A start the handset refuses is a failure: the worker then stops the update
    // instead of waiting for a downloader mode that never comes.
    bool bStarted = pRemoteApi->CeCreateProcess(AGENT_FILE_NAME, nullptr);
    if (!bStarted)
        Trace(false, "CeCreateProcess failed, lastError = %s\r\n", GetLastErrorText());
    Trace(false, "CDownloader :: CEProcess--\r\n");
    pRemoteApi->CeRapiUninit();
    return bStarted;
}

int CDownloader::QueryDeviceVersion(char* pszRomVersion, char* pszGsmVersion)
{
    Trace(false, "QueryDeviceVersion++ \r\n");
    pszRomVersion[0] = '\0';
    pszGsmVersion[0] = '\0';
    if (PDAInit() != PDAINIT_READY)
        return -1;

    IRemoteApi* pRemoteApi = m_Platform.pRemoteApi;
    char szText[VERSION_BUFFER_SIZE];
    ReadDeviceInfoText(pRemoteApi, "RomVer", szText, sizeof(szText));
    // The ROM version is followed by one blank, as long as it fits in the caller's buffer.
    size_t nRom = std::strlen(szText);
    std::memcpy(pszRomVersion, szText, nRom + 1);
    if (nRom + 2 <= VERSION_BUFFER_SIZE)
    {
        pszRomVersion[nRom] = ' ';
        pszRomVersion[nRom + 1] = '\0';
    }

    ReadDeviceInfoText(pRemoteApi, "GSMVer", szText, sizeof(szText));
    std::memcpy(pszGsmVersion, szText, std::strlen(szText) + 1);

    Trace(false, "Last error = %s\r\n", GetLastErrorText());
    pRemoteApi->CeRapiUninit();
    Trace(false, "QueryDeviceVersion-- \r\n");
    return 1;
}
