// Deleting the update's temporary files, on real files in a temporary folder.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/LastError.h"
#include "host/HostTestFixture.h"
#include "image/OSUtil.h"
#include "support/ImageBuilder.h"
#include "platform/posix/PosixHostEnvironment.h"

namespace fs = std::filesystem;

namespace
{
const char* const FILES[] = {"Tessik_Console.exe", "temp.dat", "Brenmor.exe"};

// A fresh folder with the named files in it, removed again at the end.
class CTempFolder
{
public:
    explicit CTempFolder(const std::vector<std::string>& files)
    {
        char szTemplate[] = "/tmp/vuq_cleanup_XXXXXX";
        m_Path = mkdtemp(szTemplate);
        for (const std::string& strName : files)
            std::ofstream(m_Path / strName) << "x";
        std::ofstream(m_Path / "other.txt") << "kept";
    }
    ~CTempFolder()
    {
        std::error_code ec;
        fs::remove_all(m_Path, ec);
    }
    bool Has(const char* pszName) const { return fs::exists(m_Path / pszName); }
    std::string Path() const { return m_Path.string(); }

private:
    fs::path m_Path;
};
}

class DeleteFiles : public CHostTest
{
protected:
    COSUtil m_OSUtil;
};

struct CLEANUP_CASE
{
    std::vector<std::string> present;
    std::vector<std::string> deletes;   // the DeleteFile calls made
    std::vector<std::string> left;      // files still there afterwards
    int nResult;
};

TEST_F(DeleteFiles, DeletesInOrderAndStopsAtTheFirstFailure)
{
    const CLEANUP_CASE CASES[] = {
        {{"Tessik_Console.exe", "temp.dat", "Brenmor.exe"},
         {"Tessik_Console.exe", "temp.dat", "Brenmor.exe"},
         {},
         1},
        {{"temp.dat", "Brenmor.exe"}, {"Tessik_Console.exe"}, {"temp.dat", "Brenmor.exe"}, 0},
        {{"Tessik_Console.exe", "Brenmor.exe"}, {"Tessik_Console.exe", "temp.dat"}, {"Brenmor.exe"}, 0},
        {{"Tessik_Console.exe", "temp.dat"}, {"Tessik_Console.exe", "temp.dat", "Brenmor.exe"}, {}, 0},
    };
    for (const CLEANUP_CASE& c : CASES)
    {
        CTempFolder folder(c.present);
        CSimHost host(&m_Clock);
        PlatformContext platform = m_Platform;
        AttachHost(platform, host);
        host.SetEnvironment("TEMP", folder.Path().c_str());
        m_Trace.Clear();

        EXPECT_EQ(::DeleteFiles(platform, &m_OSUtil), c.nResult == 1);

        std::vector<std::string> expected;
        for (const std::string& strName : c.deletes)
            expected.push_back("DeleteFile " + strName);
        EXPECT_EQ(host.CallsStartingWith("DeleteFile"), expected);
        for (const std::string& strName : c.left)
            EXPECT_TRUE(folder.Has(strName.c_str())) << strName;
        EXPECT_TRUE(folder.Has("other.txt"));
        EXPECT_EQ(host.GetCurrentDirText(), folder.Path());
        EXPECT_TRUE(m_Trace.Contains("Delete files++"));
        EXPECT_TRUE(m_Trace.Contains("Delete files --, result = " + std::to_string(c.nResult) + ", lastError = "));
    }
}

TEST_F(DeleteFiles, ALockedFileStopsTheDeletion)
{
    CTempFolder folder({"Tessik_Console.exe", "temp.dat", "Brenmor.exe"});
    m_Host.SetEnvironment("TEMP", folder.Path().c_str());
    m_Host.SetDeleteFailure("temp.dat", 13);
    EXPECT_FALSE(::DeleteFiles(m_Platform, &m_OSUtil));
    EXPECT_FALSE(folder.Has("Tessik_Console.exe"));
    EXPECT_TRUE(folder.Has("temp.dat"));
    EXPECT_TRUE(folder.Has("Brenmor.exe"));
    char szText[256];
    FormatErrorText(13, szText, sizeof(szText));
    EXPECT_TRUE(m_Trace.Contains(std::string("Delete files --, result = 0, lastError = ") + szText));
}

TEST_F(DeleteFiles, WithoutTempNothingIsDeleted)
{
    // The names are relative: without TEMP they would hit whatever folder is current.
    CTempFolder folder({"Tessik_Console.exe", "temp.dat", "Brenmor.exe"});
    m_Host.SetCurrentDir(folder.Path().c_str());
    m_Host.SetEnvironment("TEMP", nullptr);
    EXPECT_FALSE(::DeleteFiles(m_Platform, &m_OSUtil));
    EXPECT_TRUE(m_Host.CallsStartingWith("DeleteFile").empty());
    for (const char* pszName : FILES)
        EXPECT_TRUE(folder.Has(pszName)) << pszName;
    EXPECT_TRUE(m_Trace.Contains("Delete files --, result = 0"));
}

TEST_F(DeleteFiles, LinuxHostDeletesFromTemp)
{
    CTempFolder folder({"Tessik_Console.exe", "temp.dat", "Brenmor.exe"});
    char szSavedDir[4096];
    ASSERT_NE(getcwd(szSavedDir, sizeof(szSavedDir)), nullptr);
    const char* pszSavedTemp = getenv("TEMP");
    std::string strSavedTemp = pszSavedTemp != nullptr ? pszSavedTemp : "";
    setenv("TEMP", folder.Path().c_str(), 1);

    CPosixHostEnvironment posixHost;
    PlatformContext platform = m_Platform;
    AttachHost(platform, posixHost);
    bool bResult = ::DeleteFiles(platform, &m_OSUtil);
    char szDirAfter[4096];
    bool bHaveDir = getcwd(szDirAfter, sizeof(szDirAfter)) != nullptr;

    EXPECT_EQ(chdir(szSavedDir), 0);
    if (pszSavedTemp != nullptr)
        setenv("TEMP", strSavedTemp.c_str(), 1);
    else
        unsetenv("TEMP");

    EXPECT_TRUE(bResult);
    for (const char* pszName : FILES)
        EXPECT_FALSE(folder.Has(pszName)) << pszName;
    EXPECT_TRUE(folder.Has("other.txt"));
    ASSERT_TRUE(bHaveDir);
    EXPECT_EQ(fs::canonical(szDirAfter), fs::canonical(folder.Path()));
    EXPECT_TRUE(m_Trace.Contains("Delete files --, result = 1"));
}

TEST_F(DeleteFiles, ReleasesTheImageFileBeforeDeletingIt)
{
    CTempFolder folder({"Tessik_Console.exe", "Brenmor.exe"});
    CImageBuilder image;
    ASSERT_TRUE(image.WriteTo(folder.Path() + "/temp.dat"));
    COSUtil util;
    int nErr = 0;
    ASSERT_TRUE(util.InitFile((folder.Path() + "/temp.dat").c_str(), &nErr));
    m_Host.SetEnvironment("TEMP", folder.Path().c_str());

    EXPECT_TRUE(::DeleteFiles(m_Platform, &util));
    EXPECT_NE(util.m_nState, OSUTIL_INITIALIZED);
    EXPECT_FALSE(folder.Has("temp.dat"));
    int nClose = m_Trace.Find("COSUtil :: ~COSUtil++");
    ASSERT_GE(nClose, 0);
    EXPECT_GT(m_Trace.Find("Delete files --, result = 1", nClose), nClose);
}
