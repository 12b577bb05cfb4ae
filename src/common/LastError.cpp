#include "common/LastError.h"

#include <cstring>
#include <string>
#include <system_error>

#ifdef _WIN32
// The system's message table is read with kernel32's FormatMessageA, declared here
// so that the core includes no OS header. (The C++ library's own text for these
// codes drops the final period and gives nothing for a text with inserts.)
extern "C" __declspec(dllimport) unsigned long __stdcall FormatMessageA(unsigned long ulFlags, const void* pSource,
                                                                         unsigned long ulMessageId,
                                                                         unsigned long ulLanguageId, char* pszBuffer,
                                                                         unsigned long ulSize, void* pArguments);
#endif

namespace
{
thread_local DWORD t_dwLastError = 0;
thread_local char t_szLastErrorText[256];

// The system's text for a code, with its line breaks; empty when there is none.
std::string SystemText(DWORD dwError)
{
#ifdef _WIN32
    constexpr unsigned long FORMAT_MESSAGE_FROM_SYSTEM_FLAG = 0x00001000;
    constexpr unsigned long FORMAT_MESSAGE_IGNORE_INSERTS_FLAG = 0x00000200;
    constexpr unsigned long LANGUAGE_USER_DEFAULT = 0x0400;   // neutral language, the user's default
    char szText[4096];
    unsigned long ulLen = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM_FLAG | FORMAT_MESSAGE_IGNORE_INSERTS_FLAG, nullptr,
                                         dwError, LANGUAGE_USER_DEFAULT, szText, sizeof(szText), nullptr);
    return std::string(szText, ulLen);
#else
    std::string strText = std::error_code(static_cast<int>(dwError), std::system_category()).message();
    // The C library names codes it does not know "Unknown error N": that is no text.
    if (strText.rfind("Unknown error", 0) == 0)
        return std::string();
    return strText;
#endif
}
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
    std::string strText = SystemText(dwError);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    std::strncpy(pszBuf, strText.c_str(), nLen - 1);
    pszBuf[nLen - 1] = '\0';
}

const char* GetLastErrorText()
{
    FormatErrorText(t_dwLastError, t_szLastErrorText, sizeof(t_szLastErrorText));
    return t_szLastErrorText;
}
