// The remote-API loader against the test "rapi.dll" beside this program (the virtual
// handset's remote-API side behind the documented functions), and without any
// library at all.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/LastError.h"
#include "link/Downloader.h"
#include "platform/Platform.h"
#include "platform/sim/SimRemoteApi.h"
#include "platform/win32/Win32RemoteApi.h"
#include "platform/win32/Win32SystemHeaders.h"
#include "support/RecordingMessageBox.h"
#include "windows/rapi/TestRapiExports.h"

namespace
{
template <typename PFN>
PFN TestFunction(const char* pszName)
{
    FARPROC pfnFound = GetProcAddress(GetModuleHandleW(L"rapi.dll"), pszName);
    PFN pfn = nullptr;
    std::memcpy(&pfn, &pfnFound, sizeof(pfn));
    return pfn;
}

std::wstring FolderOf(HMODULE hModule)
{
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(hModule, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L"\\/"));
}

// The loader with the library found by its name, the test handset made fresh, and
// the link on top of them.
class RemoteApiFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Api.IsAvailable()) << "rapi.dll beside the test program";
        m_pfnReset = TestFunction<PFN_VUQ_TEST_RAPI_RESET>("VuqTestRapi_Reset");
        m_pfnSetConnectMode = TestFunction<PFN_VUQ_TEST_RAPI_SET_CONNECT_MODE>("VuqTestRapi_SetConnectMode");
        m_pfnSetConnectDelayMs = TestFunction<PFN_VUQ_TEST_RAPI_SET_CONNECT_DELAY_MS>("VuqTestRapi_SetConnectDelayMs");
        m_pfnGetFile = TestFunction<PFN_VUQ_TEST_RAPI_GET_FILE>("VuqTestRapi_GetFile");
        m_pfnSetRegistryText = TestFunction<PFN_VUQ_TEST_RAPI_SET_REGISTRY_TEXT>("VuqTestRapi_SetRegistryText");
        m_pfnCalls = TestFunction<PFN_VUQ_TEST_RAPI_CALLS>("VuqTestRapi_Calls");
        m_pfnIsConnected = TestFunction<PFN_VUQ_TEST_RAPI_IS_CONNECTED>("VuqTestRapi_IsConnected");
        ASSERT_TRUE(m_pfnReset && m_pfnSetConnectMode && m_pfnSetConnectDelayMs && m_pfnGetFile &&
                    m_pfnSetRegistryText && m_pfnCalls && m_pfnIsConnected);
        m_pfnReset();
        m_Context.pClock = &m_Clock;
        m_Context.pRemoteApi = &m_Api;
        m_Context.pMessageBox = &m_Boxes;
    }
    void TearDown() override
    {
        if (m_pfnReset != nullptr)
            m_pfnReset();
    }

    std::string Calls()
    {
        char szCalls[4096];
        m_pfnCalls(szCalls, sizeof(szCalls));
        return szCalls;
    }
    std::vector<BYTE> HandsetFile(const char* pszName)
    {
        std::vector<BYTE> data(65536);
        int nSize = m_pfnGetFile(pszName, data.data(), static_cast<int>(data.size()));
        data.resize(nSize < 0 ? 0 : static_cast<size_t>(nSize));
        return data;
    }

    CWin32RemoteApi m_Api;
    CClock m_Clock{50};
    CRecordingMessageBox m_Boxes;
    PlatformContext m_Context;
    PFN_VUQ_TEST_RAPI_RESET m_pfnReset = nullptr;
    PFN_VUQ_TEST_RAPI_SET_CONNECT_MODE m_pfnSetConnectMode = nullptr;
    PFN_VUQ_TEST_RAPI_SET_CONNECT_DELAY_MS m_pfnSetConnectDelayMs = nullptr;
    PFN_VUQ_TEST_RAPI_GET_FILE m_pfnGetFile = nullptr;
    PFN_VUQ_TEST_RAPI_SET_REGISTRY_TEXT m_pfnSetRegistryText = nullptr;
    PFN_VUQ_TEST_RAPI_CALLS m_pfnCalls = nullptr;
    PFN_VUQ_TEST_RAPI_IS_CONNECTED m_pfnIsConnected = nullptr;
};
}

TEST_F(RemoteApiFixture, LibraryIsLoadedByNameFromTheProgramsFolder)
{
    HMODULE hLibrary = GetModuleHandleW(L"rapi.dll");
    ASSERT_NE(hLibrary, nullptr);
    EXPECT_EQ(FolderOf(hLibrary), FolderOf(nullptr));
}

TEST_F(RemoteApiFixture, AgentIsCopiedStartedAndVersionsReadThroughTheLibrary)
{
    // A source of 4097 bytes goes in two pieces.
    std::vector<BYTE> agent(4097);
    for (size_t i = 0; i < agent.size(); ++i)
        agent[i] = static_cast<BYTE>(i * 13 + 1);
    std::FILE* pSource = std::tmpfile();
    ASSERT_NE(pSource, nullptr);
    std::fwrite(agent.data(), 1, agent.size(), pSource);
    std::rewind(pSource);

    CDownloader link(m_Context);
    EXPECT_EQ(link.RAPICopyFile(pSource), RAPICOPY_OK);
    std::fclose(pSource);
    EXPECT_EQ(HandsetFile(AGENT_FILE_NAME), agent);
    EXPECT_FALSE(m_pfnIsConnected()) << "the copy ends its connection";

    EXPECT_TRUE(link.CEProcess());
    EXPECT_FALSE(m_pfnIsConnected());

    m_pfnSetRegistryText(SIM_ROM_VERSION_VALUE, "2.05 gr\xC3\xBC\xC3\x9F");
    m_pfnSetRegistryText(SIM_GSM_VERSION_VALUE, "4.1.13.12");
    char szRom[64];
    char szGsm[64];
    EXPECT_NE(link.QueryDeviceVersion(szRom, szGsm), -1);
    EXPECT_STREQ(szRom, "2.05 gr\xC3\xBC\xC3\x9F ");
    EXPECT_STREQ(szGsm, "4.1.13.12");
    EXPECT_TRUE(m_Boxes.Texts().empty());

    EXPECT_EQ(Calls(), "CeRapiInitEx\n"
                       "CeCreateFile Tessik_Console.exe 2\n"
                       "CeWriteFile 4096\n"
                       "CeWriteFile 1\n"
                       "CeCloseHandle\n"
                       "CeRapiUninit\n"
                       "CeRapiInitEx\n"
                       "CeCreateProcess Tessik_Console.exe\n"
                       "CeRapiUninit\n"
                       "CeRapiInitEx\n"
                       "CeRegOpenKeyEx ControlPanel\\DeviceInfo\n"
                       "CeRegQueryValueEx RomVer\n"
                       "CeRegCloseKey\n"
                       "CeRegOpenKeyEx ControlPanel\\DeviceInfo\n"
                       "CeRegQueryValueEx GSMVer\n"
                       "CeRegCloseKey\n"
                       "CeRapiUninit\n");
}

TEST_F(RemoteApiFixture, CallsCarryNamesHandlesAndResultsBothWays)
{
    CEvent initEvent(true, false);
    RAPIINIT init{12, &initEvent, -1};
    ASSERT_EQ(m_Api.CeRapiInitEx(&init), 0);
    ASSERT_EQ(initEvent.WaitReal(std::chrono::seconds(5), false), EVENT_SIGNALLED);
    EXPECT_EQ(init.hrRapiInit, 0);

    // A name beyond ASCII reaches the handset whole.
    const char* NAME = "gr\xC3\xBC\xC3\x9F.bin";
    CE_HANDLE hFile = m_Api.CeCreateFile(NAME, CE_GENERIC_WRITE, 0, CE_CREATE_ALWAYS, CE_FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(hFile, CE_INVALID_HANDLE);
    DWORD dwWritten = 0;
    const BYTE DATA[] = {1, 2, 3};
    EXPECT_TRUE(m_Api.CeWriteFile(hFile, DATA, sizeof(DATA), &dwWritten));
    EXPECT_EQ(dwWritten, 3u);
    EXPECT_TRUE(m_Api.CeCloseHandle(hFile));
    EXPECT_EQ(HandsetFile(NAME), std::vector<BYTE>(DATA, DATA + 3));
    EXPECT_FALSE(m_Api.CeCloseHandle(hFile)) << "closed already";

    // The registry: the root key, the value's type and size, a buffer too small.
    CE_HKEY hKey = 0;
    ASSERT_EQ(m_Api.CeRegOpenKeyEx(CE_HKEY_LOCAL_MACHINE, SIM_DEVICE_INFO_KEY, &hKey), CE_ERROR_SUCCESS);
    DWORD dwType = 0;
    BYTE value[64];
    DWORD dwSize = sizeof(value);
    EXPECT_EQ(m_Api.CeRegQueryValueEx(hKey, SIM_GSM_VERSION_VALUE, &dwType, value, &dwSize), CE_ERROR_SUCCESS);
    EXPECT_EQ(dwType, CE_REG_SZ);
    EXPECT_EQ(dwSize, 2 * (std::strlen(SIM_DEFAULT_GSM_VERSION) + 1));
    dwSize = 4;
    EXPECT_EQ(m_Api.CeRegQueryValueEx(hKey, SIM_GSM_VERSION_VALUE, &dwType, value, &dwSize),
              SIM_CE_ERROR_MORE_DATA);
    EXPECT_EQ(m_Api.CeRegQueryValueEx(hKey, "NoSuchValue", &dwType, value, &dwSize), SIM_CE_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_Api.CeRegCloseKey(hKey), CE_ERROR_SUCCESS);
    EXPECT_EQ(m_Api.CeRegOpenKeyEx(CE_HKEY_LOCAL_MACHINE, "NoSuchKey", &hKey), SIM_CE_ERROR_FILE_NOT_FOUND);

    // A program the handset does not hold fails to start, with the handset's reason.
    EXPECT_FALSE(m_Api.CeCreateProcess("missing.exe", nullptr));
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(m_Api.CeCreateProcess(NAME, "-x"));
    EXPECT_NE(Calls().find("CeCreateProcess gr\xC3\xBC\xC3\x9F.bin -x\n"), std::string::npos);

    EXPECT_EQ(m_Api.CeRapiUninit(), 0);
    EXPECT_FALSE(m_pfnIsConnected());
}

TEST_F(RemoteApiFixture, ConnectionReadyLaterSetsTheCallersEvent)
{
    m_pfnSetConnectDelayMs(300);
    CEvent initEvent(true, false);
    RAPIINIT init{12, &initEvent, -1};
    auto tpStart = std::chrono::steady_clock::now();
    ASSERT_EQ(m_Api.CeRapiInitEx(&init), 0);
    EXPECT_FALSE(initEvent.IsSignalled());
    ASSERT_EQ(initEvent.WaitReal(std::chrono::seconds(10), false), EVENT_SIGNALLED);
    EXPECT_GE(std::chrono::steady_clock::now() - tpStart, std::chrono::milliseconds(250));
    EXPECT_EQ(init.hrRapiInit, 0) << "the library's result is handed on";
    EXPECT_EQ(m_Api.CeRapiUninit(), 0);

    // Through the link: a connection that comes within its 5 s wait is ready.
    m_pfnSetConnectDelayMs(20);
    CDownloader link(m_Context);
    EXPECT_EQ(link.PDAInit(), PDAINIT_READY);
    m_Api.CeRapiUninit();
}

TEST_F(RemoteApiFixture, EndingAStartUnderWayLeavesTheCallersEventAlone)
{
    m_pfnSetConnectDelayMs(300);
    auto pEvent = std::make_unique<CEvent>(true, false);
    RAPIINIT init{12, pEvent.get(), -1};
    ASSERT_EQ(m_Api.CeRapiInitEx(&init), 0);
    EXPECT_EQ(m_Api.CeRapiUninit(), 0);
    Sleep(600);
    EXPECT_FALSE(pEvent->IsSignalled());
    EXPECT_EQ(init.hrRapiInit, -1);

    // The link's wait runs out (5 s at 50x: 100 ms) before the handset answers.
    m_pfnSetConnectDelayMs(2000);
    CDownloader link(m_Context);
    EXPECT_EQ(link.PDAInit(), PDAINIT_TIMEOUT);
    std::string strCalls = Calls();
    EXPECT_EQ(strCalls.substr(strCalls.size() - std::strlen("CeRapiInitEx\nCeRapiUninit\n")),
              "CeRapiInitEx\nCeRapiUninit\n");
}

TEST_F(RemoteApiFixture, RefusedConnectionFailsAtOnce)
{
    m_pfnSetConnectMode(SIM_CONNECT_FAIL);
    CEvent initEvent(true, false);
    RAPIINIT init{12, &initEvent, -1};
    EXPECT_EQ(m_Api.CeRapiInitEx(&init), SIM_CE_CONNECT_FAILED);
    EXPECT_FALSE(initEvent.IsSignalled());

    CDownloader link(m_Context);
    m_Boxes.Clear();
    EXPECT_EQ(link.PDAInit(), PDAINIT_FAILED);
    EXPECT_EQ(m_Boxes.Texts(), std::vector<std::string>{"CeRapiInitEx failed"});
}

TEST(Win32RemoteApi, WithoutTheLibraryTheHandsetIsNotConnected)
{
    CWin32RemoteApi api("C:\\vuq-no-such-folder\\rapi.dll");
    EXPECT_FALSE(api.IsAvailable());

    CEvent initEvent(true, false);
    RAPIINIT init{12, &initEvent, -1};
    LONG lResult = api.CeRapiInitEx(&init);
    EXPECT_LT(lResult, 0) << "a failure result";
    EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(initEvent.IsSignalled());
    EXPECT_EQ(api.CeCreateFile("a", CE_GENERIC_WRITE, 0, CE_CREATE_ALWAYS, 0), CE_INVALID_HANDLE);
    DWORD dwWritten = 7;
    BYTE byData = 0;
    EXPECT_FALSE(api.CeWriteFile(0x40, &byData, 1, &dwWritten));
    EXPECT_EQ(dwWritten, 0u);
    EXPECT_FALSE(api.CeCloseHandle(0x40));
    EXPECT_FALSE(api.CeCreateProcess(AGENT_FILE_NAME, nullptr));
    CE_HKEY hKey = 5;
    EXPECT_NE(api.CeRegOpenKeyEx(CE_HKEY_LOCAL_MACHINE, SIM_DEVICE_INFO_KEY, &hKey), CE_ERROR_SUCCESS);
    EXPECT_EQ(hKey, 0);
    EXPECT_NE(api.CeRegQueryValueEx(0x70, "RomVer", nullptr, nullptr, nullptr), CE_ERROR_SUCCESS);
    EXPECT_NE(api.CeRegCloseKey(0x70), CE_ERROR_SUCCESS);
    EXPECT_NE(api.CeRapiUninit(), 0);

    // The link sees a handset that is not connected.
    CClock clock(50);
    CRecordingMessageBox boxes;
    PlatformContext context;
    context.pClock = &clock;
    context.pRemoteApi = &api;
    context.pMessageBox = &boxes;
    CDownloader link(context);
    char szRom[64];
    char szGsm[64];
    EXPECT_EQ(link.QueryDeviceVersion(szRom, szGsm), -1);
    EXPECT_STREQ(szRom, "");
    EXPECT_STREQ(szGsm, "");
    EXPECT_FALSE(link.CEProcess());
    EXPECT_EQ(link.RAPICopyFile(nullptr), RAPICOPY_NO_CONNECTION);
}
