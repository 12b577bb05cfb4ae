#include "common/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace
{
std::mutex s_SinkLock;
TRACE_SINK s_pfnSink = nullptr;
void* s_pSinkContext = nullptr;
}

void SetTraceSink(TRACE_SINK pfnSink, void* pContext)
{
    std::lock_guard<std::mutex> lock(s_SinkLock);
    s_pfnSink = pfnSink;
    s_pSinkContext = pContext;
}

void Trace(bool bOn, const char* pszFormat, ...)
{
    char szLine[TRACE_BUFFER_LEN];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(szLine, sizeof(szLine), pszFormat, args);
    va_end(args);

    // The lock keeps a sink from being detached while a line is being handed to it.
    std::lock_guard<std::mutex> lock(s_SinkLock);
    if (s_pfnSink != nullptr)
        s_pfnSink(s_pSinkContext, bOn, szLine);
}

void TraceToStderr(void*, bool, const char* pszLine)
{
    std::fputs(pszLine, stderr);
    // Lines carry their own CR LF in most places; keep one line per call on a terminal.
    size_t nLen = 0;
    while (pszLine[nLen] != '\0')
        ++nLen;
    if (nLen == 0 || pszLine[nLen - 1] != '\n')
        std::fputc('\n', stderr);
}
