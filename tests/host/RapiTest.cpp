// The device agent over the remote API, against the virtual handset's side.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/HostTestFixture.h"
#include "link/Downloader.h"
#include "platform/posix/NoRemoteApi.h"

namespace
{
// A readable source file holding the bytes 0, 1, 2... (mod 251).
std::FILE* MakeSource(size_t nLen, std::vector<BYTE>* pContent)
{
    std::FILE* pFile = std::tmpfile();
    pContent->resize(nLen);
    for (size_t i = 0; i < nLen; ++i)
        (*pContent)[i] = static_cast<BYTE>(i % 251);
    if (nLen > 0)
        std::fwrite(pContent->data(), 1, nLen, pFile);
    std::rewind(pFile);
    return pFile;
}

std::vector<std::string> Writes(const std::vector<std::string>& calls)
{
    std::vector<std::string> writes;
    for (const std::string& strCall : calls)
        if (strCall.rfind("CeWriteFile", 0) == 0)
            writes.push_back(strCall);
    return writes;
}

std::vector<BYTE> Utf16(const char16_t* pszText, bool bTerminator = true)
{
    std::vector<BYTE> data;
    for (; *pszText != 0; ++pszText)
    {
        data.push_back(static_cast<BYTE>(*pszText));
        data.push_back(static_cast<BYTE>(*pszText >> 8));
    }
    if (bTerminator)
        data.insert(data.end(), {0, 0});
    return data;
}
}

class PDAInit : public CHostTest
{
protected:
    CDownloader m_Downloader{m_Platform};
};

struct PDAINIT_CASE
{
    int nMode;
    int nResult;
    const char* pszBox;      // null: no box
    bool bLeftConnected;
    int nDisconnects;
};

TEST_F(PDAInit, EachConnectOutcomeGivesItsResult)
{
    const PDAINIT_CASE CASES[] = {
        {SIM_CONNECT_READY, PDAINIT_READY, nullptr, true, 0},
        {SIM_CONNECT_NEVER, PDAINIT_TIMEOUT, nullptr, false, 1},
        {SIM_CONNECT_ABANDONED, PDAINIT_ABANDONED, nullptr, false, 1},
        {SIM_CONNECT_FAIL, PDAINIT_FAILED, "CeRapiInitEx failed", false, 0},
        // The pending connection is ended too: it refers to the event on PDAInit's stack.
        {SIM_CONNECT_WAIT_FAILED, PDAINIT_FAILED, "Wait failed", false, 1},
    };
    for (const PDAINIT_CASE& c : CASES)
    {
        SCOPED_TRACE(c.nMode);
        CSimRemoteApi remoteApi;
        CRecordingMessageBox box;
        PlatformContext platform = m_Platform;
        platform.pRemoteApi = &remoteApi;
        platform.pMessageBox = &box;
        CDownloader downloader(platform);
        remoteApi.SetConnectMode(c.nMode);

        EXPECT_EQ(downloader.PDAInit(), c.nResult);
        EXPECT_EQ(remoteApi.IsConnected(), c.bLeftConnected);
        EXPECT_EQ(remoteApi.CountDisconnects(), c.nDisconnects);
        std::vector<RECORDED_BOX> boxes = box.Boxes();
        if (c.pszBox == nullptr)
            EXPECT_TRUE(boxes.empty());
        else
        {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].strText, c.pszBox);
            EXPECT_EQ(boxes[0].strCaption, "VUQ");
            EXPECT_EQ(boxes[0].uStyle, MB_STYLE_OK);
        }
    }
}

TEST_F(PDAInit, SilentHandsetTimesOutAfterFiveSeconds)
{
    m_RemoteApi.SetConnectMode(SIM_CONNECT_NEVER);
    DWORD dwStart = m_Clock.GetTickCount();
    EXPECT_EQ(m_Downloader.PDAInit(), PDAINIT_TIMEOUT);
    DWORD dwElapsed = m_Clock.GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 5000u);
    EXPECT_LT(dwElapsed, 60000u);
    EXPECT_TRUE(m_Trace.Contains("CDownloader::PDAInit++"));
}

TEST_F(PDAInit, LinuxHasNoRemoteApi)
{
    // The Linux remote API refuses every connection, as a desktop without a sync link does.
    PlatformContext platform = m_Platform;
    CNoRemoteApi noApi;
    platform.pRemoteApi = &noApi;
    CDownloader downloader(platform);
    EXPECT_EQ(downloader.PDAInit(), PDAINIT_FAILED);
    EXPECT_EQ(m_Box.Texts(), std::vector<std::string>{"CeRapiInitEx failed"});
    EXPECT_TRUE(m_Trace.Contains("CDownloader::PDAInit--"));
}

class RAPICopyFile : public CHostTest
{
protected:
    CDownloader m_Downloader{m_Platform};
};

TEST_F(RAPICopyFile, EmptyAgentCreatesAnEmptyFile)
{
    m_RemoteApi.PutFile(AGENT_FILE_NAME, std::vector<BYTE>(100, 0xEE));   // replaced, not kept
    std::vector<BYTE> content;
    std::FILE* pSource = MakeSource(0, &content);
    EXPECT_EQ(m_Downloader.RAPICopyFile(pSource), RAPICOPY_OK);
    std::fclose(pSource);

    EXPECT_TRUE(m_RemoteApi.HasFile(AGENT_FILE_NAME));
    EXPECT_TRUE(m_RemoteApi.GetFile(AGENT_FILE_NAME).empty());
    EXPECT_TRUE(Writes(m_RemoteApi.Calls()).empty());
    EXPECT_EQ(m_Trace.Count("Download "), 0);
    EXPECT_FALSE(m_RemoteApi.IsConnected());
    EXPECT_TRUE(m_Trace.Contains("CDownloader::RAPICopyFile--"));
}

TEST_F(RAPICopyFile, AgentGoesInPiecesOf4096Bytes)
{
    std::vector<BYTE> content;
    std::FILE* pSource = MakeSource(4097, &content);
    EXPECT_EQ(m_Downloader.RAPICopyFile(pSource), RAPICOPY_OK);
    std::fclose(pSource);

    EXPECT_EQ(Writes(m_RemoteApi.Calls()), (std::vector<std::string>{"CeWriteFile 4096", "CeWriteFile 1"}));
    EXPECT_EQ(m_RemoteApi.GetFile(AGENT_FILE_NAME), content);
    EXPECT_TRUE(m_Trace.Contains("Download 4096 bytes(total 4097 bytes)"));
    EXPECT_TRUE(m_Trace.Contains("Download 4097 bytes(total 4097 bytes)"));
    EXPECT_EQ(m_Trace.Count("Download "), 2);
    // Created with "create always" under the bare name, closed, and the connection ended.
    std::vector<std::string> calls = m_RemoteApi.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "CeCreateFile Tessik_Console.exe 2"), calls.end());
    EXPECT_EQ(calls.back(), "CeRapiUninit");
    EXPECT_FALSE(m_RemoteApi.IsConnected());
}

struct COPY_FAILURE_CASE
{
    const char* pszName;
    int nConnectMode;
    bool bCreateFails;
    int nFailWriteAt;
    int nShortWriteAt;
    int nResult;
    const char* pszTrace;
    size_t nBytesLeftOnHandset;
};

TEST_F(RAPICopyFile, FailuresStopTheCopyWithTheirCode)
{
    const COPY_FAILURE_CASE CASES[] = {
        {"no connection", SIM_CONNECT_NEVER, false, 0, 0, RAPICOPY_NO_CONNECTION, "PDAInit() failed", 0},
        {"create fails", SIM_CONNECT_READY, true, 0, 0, RAPICOPY_WRITE_FAILED, "CeCreateFile failed", 0},
        {"second write fails", SIM_CONNECT_READY, false, 2, 0, RAPICOPY_WRITE_FAILED, "CeWriteFile failed", 4096},
        {"short first write", SIM_CONNECT_READY, false, 0, 1, RAPICOPY_WRITE_FAILED,
         "CeWriteFile, write size mismatch, 4096 != 100", 100},
    };
    for (const COPY_FAILURE_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszName);
        CSimRemoteApi remoteApi;
        PlatformContext platform = m_Platform;
        platform.pRemoteApi = &remoteApi;
        CDownloader downloader(platform);
        remoteApi.SetConnectMode(c.nConnectMode);
        remoteApi.SetCreateFails(c.bCreateFails);
        remoteApi.SetWriteFailsAt(c.nFailWriteAt);
        remoteApi.SetShortWriteAt(c.nShortWriteAt, 100);
        m_Trace.Clear();

        std::vector<BYTE> content;
        std::FILE* pSource = MakeSource(3 * 4096, &content);
        EXPECT_EQ(downloader.RAPICopyFile(pSource), c.nResult);
        std::fclose(pSource);

        EXPECT_TRUE(m_Trace.Contains(c.pszTrace));
        EXPECT_LE(Writes(remoteApi.Calls()).size(), 2u);   // nothing after the bad piece
        EXPECT_EQ(remoteApi.GetFile(AGENT_FILE_NAME).size(), c.nBytesLeftOnHandset);
        // The connection is ended on every path, also after a failed connect.
        EXPECT_EQ(remoteApi.Calls().back(), "CeRapiUninit");
        EXPECT_FALSE(remoteApi.IsConnected());
    }
}

class CEProcess : public CHostTest
{
protected:
    CDownloader m_Downloader{m_Platform};
};

TEST_F(CEProcess, StartsTheAgentAndCallsTheHook)
{
    int nHookCalls = 0;
    m_RemoteApi.SetAgentStartHook([&nHookCalls] { ++nHookCalls; });
    m_RemoteApi.PutFile(AGENT_FILE_NAME, {1, 2, 3});
    EXPECT_TRUE(m_Downloader.CEProcess());
    EXPECT_EQ(m_RemoteApi.StartedPrograms(), std::vector<std::string>{AGENT_FILE_NAME});
    EXPECT_EQ(nHookCalls, 1);
    EXPECT_FALSE(m_RemoteApi.IsConnected());
    EXPECT_TRUE(m_Trace.Contains("CDownloader :: CEProcess--"));
}

TEST_F(CEProcess, ARefusedStartIsAFailure)
{
    // No agent on the handset: the handset refuses the start.
    int nHookCalls = 0;
    m_RemoteApi.SetAgentStartHook([&nHookCalls] { ++nHookCalls; });
    EXPECT_FALSE(m_Downloader.CEProcess());
    EXPECT_EQ(nHookCalls, 0);
    EXPECT_FALSE(m_RemoteApi.IsConnected());

    m_RemoteApi.PutFile(AGENT_FILE_NAME, {1});
    m_RemoteApi.SetCreateProcessFails(true);
    EXPECT_FALSE(m_Downloader.CEProcess());
}

TEST_F(CEProcess, NoConnectionIsAFailure)
{
    m_RemoteApi.PutFile(AGENT_FILE_NAME, {1});
    m_RemoteApi.SetConnectMode(SIM_CONNECT_NEVER);
    EXPECT_FALSE(m_Downloader.CEProcess());
    EXPECT_TRUE(m_Trace.Contains("PDAInit() failed"));
    EXPECT_TRUE(m_RemoteApi.StartedPrograms().empty());
}

class QueryDeviceVersion : public CHostTest
{
protected:
    void Query(int* pnResult)
    {
        std::memset(m_szRom, 'x', sizeof(m_szRom));
        std::memset(m_szGsm, 'x', sizeof(m_szGsm));
        *pnResult = m_Downloader.QueryDeviceVersion(m_szRom, m_szGsm);
    }

    CDownloader m_Downloader{m_Platform};
    char m_szRom[64];
    char m_szGsm[64];
};

TEST_F(QueryDeviceVersion, RomVersionGetsOneBlankModuleVersionNone)
{
    m_RemoteApi.SetRegistryText("RomVer", "1.20.00 WWE");
    m_RemoteApi.SetRegistryText("GSMVer", "4.1.13.12");
    int nResult = 0;
    Query(&nResult);
    EXPECT_NE(nResult, -1);
    EXPECT_STREQ(m_szRom, "1.20.00 WWE ");
    EXPECT_STREQ(m_szGsm, "4.1.13.12");
    EXPECT_FALSE(m_RemoteApi.IsConnected());
    EXPECT_TRUE(m_Trace.Contains("QueryDeviceVersion-- "));

    m_RemoteApi.SetRegistryText("RomVer", "A");
    Query(&nResult);
    EXPECT_STREQ(m_szRom, "A ");
}

TEST_F(QueryDeviceVersion, NoConnectionLeavesBothEmpty)
{
    m_RemoteApi.SetConnectMode(SIM_CONNECT_FAIL);
    int nResult = 0;
    Query(&nResult);
    EXPECT_EQ(nResult, -1);
    EXPECT_STREQ(m_szRom, "");
    EXPECT_STREQ(m_szGsm, "");
}

struct REGISTRY_CASE
{
    const char* pszName;
    bool bPresent;
    DWORD dwType;
    std::vector<BYTE> data;
    const char* pszExpected;
};

TEST_F(QueryDeviceVersion, OddRegistryValuesGiveEmptyTexts)
{
    const REGISTRY_CASE CASES[] = {
        {"missing", false, CE_REG_SZ, {}, ""},
        {"other type", true, 4, {1, 0, 0, 0}, ""},
        {"longer than the buffer", true, CE_REG_SZ, Utf16(u"0123456789012345678901234567890123"), ""},
        {"fills the buffer exactly", true, CE_REG_SZ, Utf16(u"0123456789012345678901234567890"),
         "0123456789012345678901234567890"},
        {"no terminator", true, CE_REG_SZ, Utf16(u"1.5", false), "1.5"},
        {"non-ASCII", true, CE_REG_SZ, Utf16(u"\u00C4\u20AC"), "\xC3\x84\xE2\x82\xAC"},
        // 31 characters of three bytes each do not fit in 64 bytes: no cut text.
        {"too long once converted", true, CE_REG_SZ, Utf16(std::u16string(31, u'\u4E00').c_str()), ""},
    };
    for (const REGISTRY_CASE& c : CASES)
    {
        SCOPED_TRACE(c.pszName);
        if (c.bPresent)
        {
            m_RemoteApi.SetRegistryRaw("GSMVer", c.dwType, c.data);
            m_RemoteApi.SetRegistryRaw("RomVer", c.dwType, c.data);
        }
        else
        {
            m_RemoteApi.RemoveRegistryValue("GSMVer");
            m_RemoteApi.RemoveRegistryValue("RomVer");
        }
        int nResult = 0;
        Query(&nResult);
        EXPECT_NE(nResult, -1);
        EXPECT_STREQ(m_szGsm, c.pszExpected);
        EXPECT_EQ(std::string(m_szRom), std::string(c.pszExpected) + " ");
    }
}

TEST_F(QueryDeviceVersion, MissingKeyGivesEmptyTexts)
{
    m_RemoteApi.SetDeviceInfoKeyPresent(false);
    int nResult = 0;
    Query(&nResult);
    EXPECT_NE(nResult, -1);
    EXPECT_STREQ(m_szRom, " ");
    EXPECT_STREQ(m_szGsm, "");
}
