#include "common/LastError.h"

#include <cstring>
#include <string>
#include <system_error>

#ifdef _WIN32
#include "platform/win32/Win32Text.h"   // the system message table (no system header here)
#endif

namespace
{
thread_local DWORD t_dwLastError = 0;
thread_local char t_szLastErrorText[256];
}

void SetLastErrorCode(DWORD dwError)
{
    t_dwLastError = dwError;
}

DWORD GetLastErrorCode()
{
    return t_dwLastError;
}

void SetLastErrorCondition(std::errc eCondition)
{
#ifdef _WIN32
    // The system error codes the portable conditions stand for on Windows.
    struct CONDITION_CODE
    {
        std::errc eCondition;
        DWORD dwCode;
    };
    static const CONDITION_CODE CODES[] = {
        {std::errc::no_such_file_or_directory, 2},   // ERROR_FILE_NOT_FOUND
        {std::errc::permission_denied, 5},           // ERROR_ACCESS_DENIED
        {std::errc::bad_file_descriptor, 6},         // ERROR_INVALID_HANDLE
        {std::errc::io_error, 31},                   // ERROR_GEN_FAILURE
        {std::errc::function_not_supported, 50},     // ERROR_NOT_SUPPORTED
        {std::errc::invalid_argument, 87},           // ERROR_INVALID_PARAMETER
        {std::errc::result_out_of_range, 122},       // ERROR_INSUFFICIENT_BUFFER
        {std::errc::device_or_resource_busy, 170},   // ERROR_BUSY
        {std::errc::no_such_process, 87},            // ERROR_INVALID_PARAMETER, as OpenProcess gives
        {std::errc::operation_in_progress, 1056},    // ERROR_SERVICE_ALREADY_RUNNING
        {std::errc::connection_refused, 1225},       // ERROR_CONNECTION_REFUSED
        {std::errc::timed_out, 1460},                // ERROR_TIMEOUT
    };
    for (const CONDITION_CODE& entry : CODES)
    {
        if (entry.eCondition == eCondition)
        {
            t_dwLastError = entry.dwCode;
            return;
        }
    }
    t_dwLastError = 31;
#else
    t_dwLastError = static_cast<DWORD>(eCondition);
#endif
}

void FormatErrorText(DWORD dwError, char* pszBuf, size_t nLen)
{
    if (pszBuf == nullptr || nLen == 0)
        return;
    pszBuf[0] = '\0';
#ifdef _WIN32
    // The C++ library's text of a Windows code drops the table's final full stop and
    // loses texts with inserts; the table itself is read instead.
    FormatWin32ErrorText(dwError, pszBuf, nLen);
#else
    std::string strText = std::error_code(static_cast<int>(dwError), std::system_category()).message();
    // The C library names codes it does not know "Unknown error N": that is no text.
    if (strText.rfind("Unknown error", 0) == 0)
        return;
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    std::strncpy(pszBuf, strText.c_str(), nLen - 1);
    pszBuf[nLen - 1] = '\0';
#endif
}

const char* GetLastErrorText()
{
    FormatErrorText(t_dwLastError, t_szLastErrorText, sizeof(t_szLastErrorText));
    return t_szLastErrorText;
}
