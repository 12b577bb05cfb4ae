// Captures every trace line while it lives, from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class CTraceCapture
{
public:
    CTraceCapture();
    ~CTraceCapture();
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    std::vector<std::string> Lines();
    // True when some line contains pszText.
    bool Contains(const std::string& strText);
    // Number of lines that contain strText.
    int Count(const std::string& strText);
    // Index of the first line at or after nFrom that contains strText, or -1.
    int Find(const std::string& strText, int nFrom = 0);
    void Clear();

private:
    static void Sink(void* pContext, bool bOn, const char* pszLine);
    std::mutex m_csLines;
    std::vector<std::string> m_Lines;
};
