// vuqctl prepare --frame and vuqctl flash, run as a user runs them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliTest.h"
#include "common/ByteOrder.h"
#include "link/Downloader.h"
#include "platform/sim/PtyHandsetTransport.h"
#include "platform/sim/VirtualHandset.h"
#include "support/ImageBuilder.h"

namespace
{
class FlashTest : public CCliTest
{
};

// Keeps a fixed name pointing at the virtual handset's current pseudo-terminal, as
// a stable device name under /dev/serial/by-id points at the current node.
class CStableName : public IDeviceEvents
{
public:
    explicit CStableName(std::string strLink) : m_strLink(std::move(strLink)) {}
    void OnDeviceArrival(const char* pszName) override
    {
        ::unlink(m_strLink.c_str());
        EXPECT_EQ(::symlink(pszName, m_strLink.c_str()), 0);
    }
    void OnDeviceRemoval(const char*) override { ::unlink(m_strLink.c_str()); }

private:
    std::string m_strLink;
};
}

TEST_F(FlashTest, PrepareFrameWritesTheDownloadFrame)
{
    CImageBuilder image;
    std::string strImage = m_Dir.File("image.dat");
    ASSERT_TRUE(image.WriteTo(strImage));
    const struct
    {
        const char* pszArgs;
        DWORD dwFlag;
        DWORD dwCommand;
    } cases[] = {
        {"--flag 0 --os-type 0 --frame 57", 0, 57},
        {"--flag 0x6 --os-type 0 --frame 0", 0x6, 0},
    };
    for (const auto& test : cases)
    {
        std::string strOut = m_Dir.File("frame.bin");
        CLI_RUN result = Run(std::string("prepare ") + test.pszArgs + " " + strImage + " " + strOut);
        ASSERT_EQ(result.nExit, 0) << test.pszArgs << ": " << result.strErr;

        std::vector<BYTE> payload = image.PreparedImage(test.dwFlag, 0);
        std::string strFrame = ReadAll(strOut);
        ASSERT_EQ(strFrame.size(), payload.size() + 10) << test.pszArgs;
        const BYTE* pFrame = reinterpret_cast<const BYTE*>(strFrame.data());
        EXPECT_EQ(ReadLE32(pFrame), test.dwCommand);
        EXPECT_EQ(ReadLE32(pFrame + 4), payload.size() + 10);
        EXPECT_EQ(std::vector<BYTE>(pFrame + 8, pFrame + 8 + payload.size()), payload);
        EXPECT_EQ(ReadLE16(pFrame + 8 + payload.size()),
                  CDownloader::ByteCheckSum(payload.data(), static_cast<int>(payload.size())));
    }
}

TEST_F(FlashTest, SimulatedHandsetIsFlashedAndTheImageStaysInPlace)
{
    CImageBuilder image;
    std::string strImage = m_Dir.File("my firmware.bin");
    ASSERT_TRUE(image.WriteTo(strImage));
    std::string strBefore = ReadAll(strImage);

    // Each dialect on each of the handset's transports; the trace tells where the
    // handset appeared.
    const struct
    {
        const char* pszMode;
        const char* pszArrival;
    } modes[] = {
        {"", "arrives as /dev/pts/"},
        {"--legacy ", "arrives as /dev/pts/"},
        {"--sim-transport pty ", "arrives as /dev/pts/"},
        {"--sim-transport in-process ", "arrives as sim:handset-1"},
        {"--sim-transport in-process --legacy ", "arrives as sim:handset-1"},
    };
    for (const auto& mode : modes)
    {
        const char* pszMode = mode.pszMode;
        CLI_RUN result = Run(std::string("-v flash --simulate --time-scale 100 ") + pszMode + "'" + strImage + "'");
        EXPECT_NE(result.strErr.find(mode.pszArrival), std::string::npos) << pszMode;
        EXPECT_EQ(result.nExit, 0) << pszMode << result.strErr;
        EXPECT_NE(result.strOut.find("flashed"), std::string::npos) << pszMode;
        EXPECT_NE(result.strOut.find("operating system"), std::string::npos) << pszMode;
        EXPECT_NE(result.strOut.find("closing frame"), std::string::npos) << pszMode;
        EXPECT_EQ(result.strOut.find("BAD"), std::string::npos) << pszMode;
        EXPECT_EQ(result.strOut.find("bad frame"), std::string::npos) << pszMode;
        EXPECT_EQ(ReadAll(strImage), strBefore) << "IMAGE is only read";
        EXPECT_FALSE(std::filesystem::exists(m_Dir.File("TempFileToDown"))) << "no staging file next to IMAGE";
    }
}

TEST_F(FlashTest, FailuresEndWithTheRunResult)
{
    CImageBuilder badTag;
    badTag.SetTag("XXXX");
    std::string strBad = m_Dir.File("bad.dat");
    ASSERT_TRUE(badTag.WriteTo(strBad));
    CImageBuilder good;
    std::string strGood = m_Dir.File("good.dat");
    ASSERT_TRUE(good.WriteTo(strGood));

    const struct
    {
        std::string strArgs;
        int nExit;
        const char* pszErr;
    } cases[] = {
        {"flash --simulate --time-scale 100 " + strBad, 11, "bad.dat"},
        {"flash --simulate --time-scale 100 " + m_Dir.File("missing.dat"), 11, "missing.dat"},
        {"flash --port " + m_Dir.File("no-such-port") + " --time-scale 1000 " + strGood, 16,
         "no download port appeared"},
        {"flash --legacy --port " + m_Dir.File("no-such-port") + " --time-scale 1000 " + strGood, 3,
         "no download port appeared"},
        {"flash -v --simulate --time-scale 100 " + strBad, 11, "COSUtil::Parse ++"},
        // A regular file or a folder given as the port is refused: a download would
        // overwrite the file.
        {"flash --port " + strBad + " --time-scale 1000 " + strGood, 16, "is a regular file, not a device"},
        {"flash --legacy --port " + m_Dir.Path() + " --time-scale 1000 " + strGood, 3, "is a folder, not a device"},
        {"flash " + strGood, 2, "--port"},
        {"flash --simulate --port /dev/null " + strGood, 2, ""},
        // Where the virtual handset lives is a choice of --simulate only, among the two there are.
        {"flash --sim-transport in-process --port /dev/null " + strGood, 2, "--simulate"},
        {"flash --simulate --sim-transport usb " + strGood, 2, "--sim-transport"},
    };
    for (const auto& test : cases)
    {
        CLI_RUN result = Run(test.strArgs);
        EXPECT_EQ(result.nExit, test.nExit) << test.strArgs << "\n" << result.strErr;
        EXPECT_NE(result.strErr.find(test.pszErr), std::string::npos) << test.strArgs << "\n" << result.strErr;
    }
}

TEST_F(FlashTest, PortIsWatchedUnderItsStableName)
{
    // The handset is on a pseudo-terminal behind a stable name; after phase 1 it
    // leaves and comes back on another node, and the name follows it.
    CClock clock(100);
    CPtyHandsetTransport pty;
    CVirtualHandset handset(clock, pty);
    std::string strPort = m_Dir.File("ttyVUQ");
    CStableName stableName(strPort);
    handset.SetEventSink(&stableName);
    ASSERT_TRUE(handset.EnterDownloaderMode());

    CImageBuilder image;
    std::string strImage = m_Dir.File("image.dat");
    ASSERT_TRUE(image.WriteTo(strImage));
    CLI_RUN result = Run("flash --port " + strPort + " --time-scale 100 " + strImage);
    handset.SetEventSink(nullptr);
    handset.Shutdown();

    EXPECT_EQ(result.nExit, 0) << result.strErr;
    std::vector<HANDSET_FRAME> frames = handset.Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].nKind, HANDSET_FRAME_PHASE1);
    EXPECT_EQ(frames[1].nKind, HANDSET_FRAME_RESERVE);
    EXPECT_EQ(frames[2].nKind, HANDSET_FRAME_OS);
    EXPECT_EQ(frames[2].Payload, image.PartBytes(PART_OS));
    EXPECT_EQ(frames[3].nKind, HANDSET_FRAME_CLOSING);
    EXPECT_NE(frames[0].strDevice, frames[1].strDevice) << "phase 2 went to the handset's new node";
}
