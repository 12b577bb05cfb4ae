// TEMPORARY: stand-ins for CDownloader's constructor and destructor and for
// COSUtil's constructor, destructor and Close, so that the host tests link before
// the link and image code is in this branch. Delete this file when merging that
// code; the test below checks what only these stand-ins record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostConnection.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"
#include "platform/sim/SimHost.h"
#include "support/RecordingMessageBox.h"

namespace
{
CSimHost* s_pCloseObserver = nullptr;
size_t s_nCallsAtClose = 0;
int s_nCloseCalls = 0;
}

CDownloader::CDownloader(const PlatformContext& platform) : m_Platform(platform)
{
}

CDownloader::~CDownloader() = default;

COSUtil::COSUtil() = default;

COSUtil::~COSUtil() = default;

void COSUtil::Close()
{
    ++s_nCloseCalls;
    if (s_pCloseObserver != nullptr)
        s_nCallsAtClose = s_pCloseObserver->Calls().size();
}

TEST(DeleteFilesImageFile, IsReleasedBeforeAnythingIsDeleted)
{
    CClock clock(1000);
    CSimHost host(&clock);
    CRecordingMessageBox box;
    PlatformContext platform;
    platform.pClock = &clock;
    platform.pHost = &host;
    platform.pMessageBox = &box;
    host.SetEnvironment("TEMP", "C:\\Temp");
    for (const char* pszName : {"C:\\Temp\\Tessik_Console.exe", "C:\\Temp\\temp.dat", "C:\\Temp\\Brenmor.exe"})
        host.AddFile(pszName);

    COSUtil osUtil;
    s_pCloseObserver = &host;
    s_nCloseCalls = 0;
    EXPECT_TRUE(DeleteFiles(platform, &osUtil));
    s_pCloseObserver = nullptr;

    EXPECT_EQ(s_nCloseCalls, 1);
    std::vector<std::string> calls = host.Calls();
    for (size_t i = 0; i < s_nCallsAtClose && i < calls.size(); ++i)
        EXPECT_EQ(calls[i].rfind("DeleteFile", 0), std::string::npos) << calls[i];
    EXPECT_EQ(host.CallsStartingWith("DeleteFile").size(), 3u);
}
