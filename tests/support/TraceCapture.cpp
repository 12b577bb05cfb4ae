#include "support/TraceCapture.h"

#include "common/Trace.h"

CTraceCapture::CTraceCapture()
{
    SetTraceSink(&CTraceCapture::Sink, this);
}

CTraceCapture::~CTraceCapture()
{
    SetTraceSink(nullptr, nullptr);
}

void CTraceCapture::Sink(void* pContext, bool, const char* pszLine)
{
    auto* pThis = static_cast<CTraceCapture*>(pContext);
    std::lock_guard<std::mutex> lock(pThis->m_csLines);
    pThis->m_Lines.emplace_back(pszLine);
}

std::vector<std::string> CTraceCapture::Lines()
{
    std::lock_guard<std::mutex> lock(m_csLines);
    return m_Lines;
}

bool CTraceCapture::Contains(const std::string& strText)
{
    return Find(strText) >= 0;
}

int CTraceCapture::Count(const std::string& strText)
{
    std::lock_guard<std::mutex> lock(m_csLines);
    int nCount = 0;
    for (const std::string& strLine : m_Lines)
        if (strLine.find(strText) != std::string::npos)
            ++nCount;
    return nCount;
}

int CTraceCapture::Find(const std::string& strText, int nFrom)
{
    std::lock_guard<std::mutex> lock(m_csLines);
    for (size_t i = static_cast<size_t>(nFrom < 0 ? 0 : nFrom); i < m_Lines.size(); ++i)
        if (m_Lines[i].find(strText) != std::string::npos)
            return static_cast<int>(i);
    return -1;
}

void CTraceCapture::Clear()
{
    std::lock_guard<std::mutex> lock(m_csLines);
    m_Lines.clear();
}
