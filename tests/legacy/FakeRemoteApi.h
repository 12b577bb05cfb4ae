// A hand-written remote API for the legacy tests: a connection that is ready,
// times out, is abandoned, fails to start or whose wait breaks, and a file store
// on the handset that honours create-always and open-always.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/RemoteApi.h"

enum FAKE_CONNECT
{
    FAKE_CONNECT_READY,
    FAKE_CONNECT_SILENT,      // the event is never set
    FAKE_CONNECT_ABANDONED,
    FAKE_CONNECT_BROKEN,      // the wait fails
    FAKE_CONNECT_REFUSED,     // CeRapiInitEx fails
};

class CFakeRemoteApi : public IRemoteApi
{
public:
    FAKE_CONNECT m_nConnect = FAKE_CONNECT_READY;
    int m_nFailWriteAt = -1;            // CeWriteFile call index that fails
    CE_HANDLE m_hCreateResult = 7;      // what CeCreateFile returns
    std::map<std::string, std::vector<BYTE>> m_Files;
    std::vector<DWORD> m_Creations;     // disposition of each CeCreateFile
    std::vector<DWORD> m_WriteSizes;
    std::vector<std::string> m_Processes;
    int m_nInits = 0;
    int m_nUninits = 0;
    int m_nCloses = 0;

    LONG CeRapiInitEx(RAPIINIT* pInit) override
    {
        ++m_nInits;
        if (pInit == nullptr || pInit->cbSize != 12 || pInit->heRapiInit == nullptr)
            return 1;
        switch (m_nConnect)
        {
        case FAKE_CONNECT_READY:
            pInit->heRapiInit->Set();
            return 0;
        case FAKE_CONNECT_ABANDONED:
            pInit->heRapiInit->Abandon();
            return 0;
        case FAKE_CONNECT_BROKEN:
            pInit->heRapiInit->Break();
            return 0;
        case FAKE_CONNECT_SILENT:
            return 0;
        default:
            return 0x80004005;
        }
    }
    LONG CeRapiUninit() override
    {
        ++m_nUninits;
        return 0;
    }
    CE_HANDLE CeCreateFile(const char* pszName, DWORD, DWORD, DWORD dwCreation, DWORD) override
    {
        m_Creations.push_back(dwCreation);
        if (m_hCreateResult == 0 || m_hCreateResult == CE_INVALID_HANDLE)
            return m_hCreateResult;
        m_strOpen = pszName;
        if (dwCreation == CE_CREATE_ALWAYS)
            m_Files[m_strOpen].clear();
        m_nPos = 0;
        return m_hCreateResult;
    }
    bool CeWriteFile(CE_HANDLE, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override
    {
        int nIndex = static_cast<int>(m_WriteSizes.size());
        m_WriteSizes.push_back(dwLen);
        if (nIndex == m_nFailWriteAt)
        {
            *pdwWritten = 0;
            return false;
        }
        std::vector<BYTE>& file = m_Files[m_strOpen];
        if (file.size() < m_nPos + dwLen)
            file.resize(m_nPos + dwLen);
        std::copy(pBuf, pBuf + dwLen, file.begin() + static_cast<long>(m_nPos));
        m_nPos += dwLen;
        *pdwWritten = dwLen;
        return true;
    }
    bool CeCloseHandle(CE_HANDLE) override
    {
        ++m_nCloses;
        return true;
    }
    bool CeCreateProcess(const char* pszImageName, const char*) override
    {
        m_Processes.emplace_back(pszImageName);
        return true;
    }
    LONG CeRegOpenKeyEx(CE_HKEY, const char*, CE_HKEY*) override { return 2; }
    LONG CeRegQueryValueEx(CE_HKEY, const char*, DWORD*, BYTE*, DWORD*) override { return 2; }
    LONG CeRegCloseKey(CE_HKEY) override { return 0; }

private:
    std::string m_strOpen;
    size_t m_nPos = 0;
};
