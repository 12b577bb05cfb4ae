// Whole update runs of the worker against the virtual handset: what the handset
// received byte for byte, the run result, what is left in TEMP, what was done to
// the sync software, the step captions and the message boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/UpdateDesk.h"
#include "image/ImageFormat.h"
#include "support/TraceCapture.h"

namespace
{
// What one frame the handset received should be.
enum EXPECTED_FRAME
{
    EF_PHASE1,       // the boot loader / USB downloader image
    EF_RESERVE,      // the reserve region, Vantor and EB image
    EF_OS,           // the operating system, raw
    EF_CLOSING,      // Command 57 with the cut closing header
    EF_CUT_PHASE1,   // the phase-1 image, cut off by the handset leaving
};

const std::string QUIT_CALL = std::string("StartProcess \"") + SIM_MANAGER_PATH + "\" /quit";
const std::string RESTART_CALL = std::string("StartProcess ") + SIM_MANAGER_PATH;
const std::string KILL_COMM_CALL = std::string("TerminateProcess ") + SIM_COMM_PROCESS;
const std::string STOP_CALL = "ControlService " + std::to_string(SERVICE_CONTROL_CODE_STOP);

const char CAPTION_130[] = "STEP 2 : Download system program";
const char CAPTION_131[] = "STEP 3 : Update system program";
const char CAPTION_132[] = "STEP 4 : Download add-on program";
const char CAPTION_133[] = "STEP 5 : Update add-on program";
const char CAPTION_134[] = "STEP 6 : Download OS";

typedef std::vector<std::pair<std::string, std::string>> BOXES;

// The payload the handset must have received for a frame. Every header built
// after the worker set "Key10" carries 1001.
std::vector<BYTE> ExpectedPayload(const CImageBuilder& image, int nFrame, bool bKey10Set)
{
    CImageBuilder held = image;
    if (bKey10Set || nFrame == EF_PHASE1 || nFrame == EF_CUT_PHASE1)
        held.SetHeaderWord(10, UPDATE_KEY10);
    DWORD dwFlag = image.ImageFlag();
    switch (nFrame)
    {
    case EF_PHASE1:
    case EF_CUT_PHASE1:
        return held.PreparedImage(dwFlag & PHASE1_MASK, OS_TYPE_OS);
    case EF_RESERVE:
        return held.PreparedImage(dwFlag & ~PHASE2_CLEAR_MASK, OS_TYPE_RESERVE);
    case EF_OS:
        return image.PartBytes(PART_OS);
    default:
    {
        // The closing frame is 116 bytes in all: its head, 106 header bytes, the checksum.
        std::vector<BYTE> header = held.PreparedImage(0, OS_TYPE_OS);
        header.resize(IMAGE_HEADER_SIZE - FRAME_OVERHEAD);
        return header;
    }
    }
}

int HandsetKind(int nFrame)
{
    switch (nFrame)
    {
    case EF_PHASE1: return HANDSET_FRAME_PHASE1;
    case EF_RESERVE: return HANDSET_FRAME_RESERVE;
    case EF_OS: return HANDSET_FRAME_OS;
    case EF_CLOSING: return HANDSET_FRAME_CLOSING;
    default: return HANDSET_FRAME_BAD;
    }
}

// Where two byte strings first differ, for a readable failure instead of a dump.
std::string Difference(const std::vector<BYTE>& got, const std::vector<BYTE>& want)
{
    size_t nCommon = std::min(got.size(), want.size());
    size_t nAt = 0;
    while (nAt < nCommon && got[nAt] == want[nAt])
        ++nAt;
    if (nAt == nCommon && got.size() == want.size())
        return "same";
    return "got " + std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) +
           ", first difference at offset " + std::to_string(nAt);
}

std::string KindsText(const std::vector<HANDSET_FRAME>& frames)
{
    std::string strText = "received kinds:";
    for (const HANDSET_FRAME& frame : frames)
        strText += " " + std::to_string(frame.nKind) + "(" + std::to_string(frame.Payload.size()) + " bytes)";
    return strText;
}

void CheckFrames(const std::vector<HANDSET_FRAME>& frames, const CImageBuilder& image,
                 const std::vector<int>& expected, bool bKey10Set)
{
    ASSERT_EQ(frames.size(), expected.size()) << KindsText(frames);
    for (size_t i = 0; i < frames.size(); ++i)
    {
        SCOPED_TRACE("frame " + std::to_string(i));
        const HANDSET_FRAME& frame = frames[i];
        std::vector<BYTE> want = ExpectedPayload(image, expected[i], bKey10Set);
        if (expected[i] == EF_CUT_PHASE1)
        {
            EXPECT_FALSE(frame.bComplete);
            EXPECT_EQ(frame.nKind, HANDSET_FRAME_BAD);
            ASSERT_LE(frame.Payload.size(), want.size());
            want.resize(frame.Payload.size());
            EXPECT_TRUE(frame.Payload == want) << "the part that came is not the image's start: "
                                               << Difference(frame.Payload, want);
            continue;
        }
        EXPECT_TRUE(frame.Payload == want) << Difference(frame.Payload, want);
        EXPECT_EQ(frame.nKind, HandsetKind(expected[i]));
        EXPECT_TRUE(frame.bComplete);
        EXPECT_TRUE(frame.bChecksumOk);
        if (expected[i] == EF_CLOSING)
        {
            EXPECT_EQ(frame.dwCommand, CLOSING_COMMAND);
            EXPECT_EQ(frame.dwDeclaredSize, IMAGE_HEADER_SIZE);
        }
        else
        {
            EXPECT_EQ(frame.dwCommand, 0u);
            EXPECT_EQ(frame.dwDeclaredSize, want.size() + FRAME_OVERHEAD);
        }
        // The communication module's parts are never sent.
        EXPECT_EQ(frame.dwImageFlag & FLAG_MOT, 0u);
    }
}

BOXES BoxesOf(CRecordingProgressView& view)
{
    BOXES boxes;
    for (const RECORDED_MESSAGE_BOX& box : view.MessageBoxes())
        boxes.emplace_back(box.strText, box.strCaption);
    return boxes;
}

int CountCalls(const std::vector<std::string>& calls, const std::string& strPrefix)
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const std::string& s) { return s.rfind(strPrefix, 0) == 0; }));
}

// The sync software around the run: closed (quit, comm process killed) once the
// agent runs, and brought back at the end however the run went: the manager
// restarted on the file path; on the Vista path the service started again and no
// STOP of the keep-stopped thread after that start.
void CheckHost(CDesk& desk, int nHost, bool bLinkReleased)
{
    std::vector<std::string> calls = desk.m_Host.Calls();
    EXPECT_EQ(CountCalls(calls, QUIT_CALL), bLinkReleased ? 1 : 0);
    EXPECT_EQ(CountCalls(calls, KILL_COMM_CALL), bLinkReleased ? 1 : 0);
    std::vector<std::string> starts = desk.m_Host.CallsStartingWith("StartProcess ");
    if (nHost == DESK_HOST_FILE_PATH)
    {
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(starts.back(), RESTART_CALL) << "the manager is started again at the end";
        EXPECT_EQ(CountCalls(calls, "ControlService"), 0);
        EXPECT_EQ(CountCalls(calls, "StartService"), 0);
    }
    else
    {
        for (const std::string& strStart : starts)
            EXPECT_NE(strStart, RESTART_CALL) << "no start of the manager on the Vista path";
        // Stopped by the keep-stopped thread once the link was released, started at the end.
        EXPECT_EQ(CountCalls(calls, STOP_CALL) >= 1, bLinkReleased);
        EXPECT_EQ(CountCalls(calls, "StartService"), bLinkReleased ? 1 : 0);
        auto itStart = std::find(calls.begin(), calls.end(), "StartService");
        if (itStart != calls.end())
        {
            EXPECT_EQ(std::count(itStart, calls.end(), STOP_CALL), 0) << "a STOP followed the START";
        }
        EXPECT_EQ(desk.m_Host.GetServiceState(), static_cast<DWORD>(SERVICE_STATE_RUNNING));
    }
    EXPECT_TRUE(desk.m_Host.IsSyncLinkHeld()) << "the sync software is back";
    EXPECT_EQ(desk.m_Host.GetCurrentDirText(), "C:\\") << "the current directory is restored";
    EXPECT_TRUE(desk.m_Box.Texts().empty()) << "the host connection raised a box: " << desk.m_Box.Texts()[0];
}

// ---- Whole successful runs ----

struct WHOLE_RUN_CASE
{
    const char* pszName;
    DWORD dwFlag;
    int nHost;
};

void PrintTo(const WHOLE_RUN_CASE& c, std::ostream* pOut)
{
    *pOut << c.pszName;
}

// Every image over both of the handset's transports.
class WholeRunTest : public ::testing::TestWithParam<std::tuple<WHOLE_RUN_CASE, int>>
{
};

const WHOLE_RUN_CASE WHOLE_RUNS[] = {
    // Flag 0x11F: every part; the module bit 0x100 is never sent.
    {"FullImage", 0x11F, DESK_HOST_FILE_PATH},
    {"FullImageVista", 0x11F, DESK_HOST_VISTA},
    // No boot loader and no USB downloader: phase 1 is skipped.
    {"NoBootLoaderNoUsbDownloader", 0x119, DESK_HOST_FILE_PATH},
    {"NoBootLoaderNoUsbDownloaderVista", 0x119, DESK_HOST_VISTA},
    // None of the reserve region, Vantor and EB: phase 2 is skipped.
    {"NoReserveVantorEb", 0x106, DESK_HOST_FILE_PATH},
    {"OnlyUsbDownloader", 0x004, DESK_HOST_VISTA},
    // Vantor and EB without the reserve region still lead to the OS download.
    {"VantorAndEbWithoutReserve", 0x11E, DESK_HOST_FILE_PATH},
};
}

TEST_P(WholeRunTest, SendsEveryPartItHasAndCleansUp)
{
    const WHOLE_RUN_CASE& c = std::get<0>(GetParam());
    CImageBuilder image;
    image.SetImageFlag(c.dwFlag);
    CDesk desk(image, c.nHost, std::get<1>(GetParam()));
    ASSERT_TRUE(desk.m_bImageParsed);
    bool bPhase1 = (c.dwFlag & PHASE1_MASK) != 0;
    bool bPhase2 = (c.dwFlag & (FLAG_OS | FLAG_VN | FLAG_EB)) != 0;

    EXPECT_EQ(desk.Run(), RUN_OK);
    EXPECT_EQ(desk.m_View.Result(), RUN_OK);

    std::vector<int> expected;
    std::vector<std::string> captions;
    if (bPhase1)
    {
        expected.push_back(EF_PHASE1);
        captions.insert(captions.end(), {CAPTION_130, CAPTION_131});
    }
    if (bPhase2)
    {
        expected.insert(expected.end(), {EF_RESERVE, EF_OS});
        captions.insert(captions.end(), {CAPTION_132, CAPTION_133, CAPTION_134});
    }
    expected.push_back(EF_CLOSING);
    std::vector<HANDSET_FRAME> frames = desk.FramesAfterRun(expected.size());
    CheckFrames(frames, desk.m_Image, expected, bPhase1);
    for (size_t i = 1; bPhase1 && i < frames.size(); ++i)
    {
        EXPECT_NE(frames[i].strDevice, frames[0].strDevice) << "after phase 1 the handset comes back anew";
    }

    EXPECT_EQ(desk.m_View.Captions(), captions);
    EXPECT_TRUE(BoxesOf(desk.m_View).empty());
    EXPECT_EQ(desk.m_View.BarChangesAtPhase1End(), bPhase1 ? 0 : -1) << "phase 1 moves no bar";
    EXPECT_EQ(desk.m_pLink->GetDownloadStage(), bPhase2 ? 4 : 0);

    // The agent went to the handset and was started there.
    EXPECT_EQ(desk.m_RemoteApi.GetFile(AGENT_FILE_NAME), desk.AgentBytes());
    EXPECT_EQ(desk.m_RemoteApi.StartedPrograms(), std::vector<std::string>{AGENT_FILE_NAME});

    for (const char* pszName : DESK_TEMP_FILES)
        EXPECT_FALSE(desk.TempFileExists(pszName)) << pszName << " is deleted after success";
    CheckHost(desk, c.nHost, true);

    EXPECT_EQ(desk.LiveBuffers(), 0);
    EXPECT_EQ(desk.MaxLiveBuffers(), 1) << "one download buffer at a time";
    EXPECT_EQ(desk.Allocations(), (bPhase1 ? 1 : 0) + (bPhase2 ? 2 : 0));
}

// Named after the case; the in-process runs with "InProcess" appended.
std::string LinkCaseName(const char* pszName, int nLink)
{
    return std::string(pszName) + (nLink == HANDSET_LINK_PTY ? "" : HandsetLinkName(nLink));
}

INSTANTIATE_TEST_SUITE_P(Images, WholeRunTest,
                         ::testing::Combine(::testing::ValuesIn(WHOLE_RUNS), ::testing::ValuesIn(HANDSET_LINKS)),
                         [](const ::testing::TestParamInfo<std::tuple<WHOLE_RUN_CASE, int>>& param) {
                             return LinkCaseName(std::get<0>(param.param).pszName, std::get<1>(param.param));
                         });

// ---- Failures ----

namespace
{
struct FAILURE_CASE
{
    const char* pszName;
    int nHost;
    std::function<void(CImageBuilder&)> fnImage;   // changes to the image (may be empty)
    std::function<void(CDesk&)> fnArrange;         // the fault (may be empty)
    int nResult;
    std::vector<int> frames;
    bool bKey10Set;        // phase 1 was prepared, so later headers carry 1001
    BOXES boxes;
    bool bLinkReleased;    // the sync software was closed for the download
    const char* pszTrace;  // a line the run must have traced (may be null)
};

void PrintTo(const FAILURE_CASE& c, std::ostream* pOut)
{
    *pOut << c.pszName;
}

// A failure over one of the handset's transports.
class FailureTest : public ::testing::TestWithParam<std::tuple<FAILURE_CASE, int>>
{
};

const char OS_PROGRAM_FAILED[] = "OS program failed!\n";

const FAILURE_CASE FAILURES[] = {
    {"AgentMissing", DESK_HOST_FILE_PATH, nullptr,
     [](CDesk& desk) { desk.RemoveTempFile("Tessik_Console.exe"); }, RUN_AGENT_MISSING, {}, false,
     {{"File not found, Tessik_Console.exe", "Warning"}}, false, nullptr},
    {"AgentMissingVista", DESK_HOST_VISTA, nullptr,
     [](CDesk& desk) { desk.RemoveTempFile("Tessik_Console.exe"); }, RUN_AGENT_MISSING, {}, false,
     {{"File not found, Tessik_Console.exe", "Warning"}}, false, nullptr},
    {"AgentNotCopied", DESK_HOST_FILE_PATH, nullptr, [](CDesk& desk) { desk.m_RemoteApi.SetWriteFailsAt(1); },
     RUN_AGENT_FAILED, {}, false, {{"RAPICopyFile error", "Warning"}}, false, nullptr},
    {"AgentNotStarted", DESK_HOST_FILE_PATH, nullptr,
     [](CDesk& desk) { desk.m_RemoteApi.SetCreateProcessFails(true); }, RUN_AGENT_FAILED, {}, false,
     {{"CeCreateProcess error", "Warning"}}, false, nullptr},
    {"NoPort", DESK_HOST_FILE_PATH, nullptr, [](CDesk& desk) { desk.m_bHandsetAnswers = false; }, RUN_NO_PORT, {},
     false, {{"No USB connect detected", "Warning"}}, true, nullptr},
    {"NoPortVista", DESK_HOST_VISTA, nullptr, [](CDesk& desk) { desk.m_bHandsetAnswers = false; }, RUN_NO_PORT, {},
     false, {{"No USB connect detected", "Warning"}}, true, nullptr},
    // The first buffer fails before the port was ever opened: the closing frame has
    // nothing to go through, and "Key10" was never set.
    {"NoBufferAtAll", DESK_HOST_FILE_PATH, nullptr, [](CDesk& desk) { desk.SetFailingAllocation(1); },
     RUN_ALLOC_FAILED, {}, false, {}, true, "Allocate USBDL buffer(35183) failed"},
    // Without phase 1 the port is opened before the first buffer, so the closing frame
    // goes, with the header words as the file has them.
    {"NoBufferWithoutPhase1", DESK_HOST_FILE_PATH, [](CImageBuilder& image) { image.SetImageFlag(0x119); },
     [](CDesk& desk) { desk.SetFailingAllocation(1); }, RUN_ALLOC_FAILED, {EF_CLOSING}, false, {}, true,
     "Allocate USBDL buffer("},
    {"NoBufferForTheOs", DESK_HOST_FILE_PATH, nullptr, [](CDesk& desk) { desk.SetFailingAllocation(3); },
     RUN_ALLOC_FAILED, {EF_PHASE1, EF_RESERVE, EF_CLOSING}, true, {}, true, "Allocate USBDL buffer("},
    // Nothing is started for an image that was not parsed.
    {"ImageNotParsed", DESK_HOST_FILE_PATH, [](CImageBuilder& image) { image.SetTag("XXXX"); }, nullptr,
     RUN_PREPARE_FAILED, {}, false, {}, false, "image file is not usable"},
    {"ImageNotParsedVista", DESK_HOST_VISTA, [](CImageBuilder& image) { image.SetTag("XXXX"); }, nullptr,
     RUN_PREPARE_FAILED, {}, false, {}, false, "image file is not usable"},
    // The handset drops off in the middle of the phase-1 frame, which is far larger
    // than what its link can hold, so the write must fail.
    {"WriteFails", DESK_HOST_FILE_PATH, [](CImageBuilder& image) { image.SetSize(1, 300000); },
     [](CDesk& desk) { desk.m_Handset.DropAfterBytes(5000, false); }, RUN_DOWNLOAD_FAILED, {EF_CUT_PHASE1}, true, {},
     true, "phase 1: download USBDL fail, ErrorCode = 18"},
    // The handset stays on the bus but stops reading in the middle of the phase-1
    // frame: the write fails once the port's write limit passes, and the closing
    // frame, which cannot go out either, is bounded the same way.
    {"HandsetStopsReading", DESK_HOST_FILE_PATH, [](CImageBuilder& image) { image.SetSize(1, 300000); },
     [](CDesk& desk) { desk.m_Handset.StopReadingAfterBytes(5000); }, RUN_DOWNLOAD_FAILED, {}, true, {}, true,
     "phase 1: download USBDL fail, ErrorCode = 18"},
    {"ReserveNotProgrammed", DESK_HOST_FILE_PATH, nullptr,
     [](CDesk& desk) { desk.m_Handset.ScriptReplies(1, {OS_PROGRAM_FAILED}); }, RUN_NOT_CONFIRMED,
     {EF_PHASE1, EF_RESERVE, EF_CLOSING}, true, {{"os program fail", "ERROR"}}, true, "phase 2: program OS fail"},
    {"OsNotProgrammedVista", DESK_HOST_VISTA, nullptr,
     [](CDesk& desk) { desk.m_Handset.ScriptReplies(2, {OS_PROGRAM_FAILED}); }, RUN_NOT_CONFIRMED,
     {EF_PHASE1, EF_RESERVE, EF_OS, EF_CLOSING}, true, {{"os program fail", "ERROR"}}, true,
     "phase 2: program OS fail"},
    // The handset stays on the bus after phase 1: 15000 ms, then 19.
    {"HandsetDoesNotLeave", DESK_HOST_FILE_PATH, nullptr, [](CDesk& desk) { desk.m_Handset.SetRefuseToLeave(true); },
     RUN_NOT_CONFIRMED, {EF_PHASE1, EF_CLOSING}, true, {}, true, "phase 1: program USBDL fail"},
};
}

TEST_P(FailureTest, EndsWithItsCodeAndStillCloses)
{
    const FAILURE_CASE& c = std::get<0>(GetParam());
    CTraceCapture trace;
    CImageBuilder image;
    if (c.fnImage)
        c.fnImage(image);
    CDesk desk(image, c.nHost, std::get<1>(GetParam()));
    if (c.fnArrange)
        c.fnArrange(desk);
    std::vector<bool> bPresent;
    for (const char* pszName : DESK_TEMP_FILES)
        bPresent.push_back(desk.TempFileExists(pszName));

    EXPECT_EQ(desk.Run(), c.nResult);
    EXPECT_EQ(desk.m_View.Result(), c.nResult);

    CheckFrames(desk.FramesAfterRun(c.frames.size()), desk.m_Image, c.frames, c.bKey10Set);
    EXPECT_EQ(BoxesOf(desk.m_View), c.boxes);
    if (c.pszTrace != nullptr)
    {
        EXPECT_TRUE(trace.Contains(c.pszTrace)) << c.pszTrace;
    }

    // Temporary files stay after a failure.
    for (size_t i = 0; i < bPresent.size(); ++i)
        EXPECT_EQ(desk.TempFileExists(DESK_TEMP_FILES[i]), bPresent[i]) << DESK_TEMP_FILES[i];
    CheckHost(desk, c.nHost, c.bLinkReleased);
    EXPECT_EQ(desk.LiveBuffers(), 0);
    EXPECT_LE(desk.MaxLiveBuffers(), 1);
}

std::string FailureName(const ::testing::TestParamInfo<std::tuple<FAILURE_CASE, int>>& param)
{
    return LinkCaseName(std::get<0>(param.param).pszName, std::get<1>(param.param));
}

// The failures that come from the handset's side of the link, over the in-process bus too.
std::vector<FAILURE_CASE> LinkFailures()
{
    const std::vector<std::string> names = {"NoPortVista", "WriteFails", "HandsetStopsReading",
                                            "OsNotProgrammedVista", "HandsetDoesNotLeave"};
    std::vector<FAILURE_CASE> cases;
    for (const FAILURE_CASE& c : FAILURES)
        if (std::find(names.begin(), names.end(), c.pszName) != names.end())
            cases.push_back(c);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, FailureTest,
                         ::testing::Combine(::testing::ValuesIn(FAILURES), ::testing::Values(HANDSET_LINK_PTY)),
                         FailureName);
INSTANTIATE_TEST_SUITE_P(LinkFaults, FailureTest,
                         ::testing::Combine(::testing::ValuesIn(LinkFailures()),
                                            ::testing::Values(HANDSET_LINK_IN_PROCESS)),
                         FailureName);

// An image that could not be parsed ends the run before the agent is touched.
TEST(UpdateWorkerTest, UnparsedImageStartsNothing)
{
    CImageBuilder image;
    image.SetTag("XXXX");
    CDesk desk(image, DESK_HOST_FILE_PATH);
    ASSERT_FALSE(desk.m_bImageParsed);
    EXPECT_EQ(desk.Run(), RUN_PREPARE_FAILED);
    EXPECT_EQ(desk.m_RemoteApi.CountConnects(), 0);
    EXPECT_FALSE(desk.m_RemoteApi.HasFile(AGENT_FILE_NAME));
    EXPECT_TRUE(desk.m_View.Captions().empty());
    EXPECT_EQ(desk.Allocations(), 0);
}

// Without the host management (a handset already in its downloader mode), an
// unparsed image sends no frame at all, not even the closing one.
TEST(UpdateWorkerTest, UnparsedImageSendsNoFrameToAPresentHandset)
{
    CImageBuilder image;
    image.SetTag("XXXX");
    CDesk desk(image, DESK_HOST_FILE_PATH);
    desk.m_bManageHost = false;
    ASSERT_TRUE(desk.m_Handset.EnterDownloaderMode());
    ASSERT_TRUE(desk.m_Handset.WaitForArrivals(1, DESK_REAL_WAIT_MS));
    EXPECT_EQ(desk.Run(), RUN_PREPARE_FAILED);
    EXPECT_TRUE(desk.FramesAfterRun(0).empty());
    for (const char* pszName : DESK_TEMP_FILES)
        EXPECT_TRUE(desk.TempFileExists(pszName));
}

// A run that follows one which failed in the OS download, on the same link (the
// wizard's retry), starts from stage 0: its phase 1 moves no bar, while its phase 2
// does. It also opens the handset it finds: the failed run left no port open.
TEST(UpdateWorkerTest, ARetryOnTheSameLinkStartsFromStageZeroWithAFreshPort)
{
    CImageBuilder image;
    CDesk desk(image, DESK_HOST_FILE_PATH);
    desk.m_Handset.ScriptReplies(2, {OS_PROGRAM_FAILED});
    ASSERT_EQ(desk.Run(), RUN_NOT_CONFIRMED);
    ASSERT_EQ(desk.m_pLink->GetDownloadStage(), 4) << "the failed run ends where it stopped";
    EXPECT_EQ(desk.m_pLink->m_PortInfo[0].hOut, INVALID_PORT) << "the failed run closed its port";

    // The user brings the handset back to normal and presses Continue again.
    desk.m_Handset.Shutdown();
    int nBarChanges = static_cast<int>(desk.m_View.Bar(PROGRESS_BAR_MAIN).History().size());
    EXPECT_EQ(desk.Run(), RUN_OK);
    EXPECT_EQ(desk.m_View.BarChangesAtPhase1End(), nBarChanges) << "phase 1 moved the bar";
    EXPECT_GT(desk.m_View.Bar(PROGRESS_BAR_MAIN).History().size(), static_cast<size_t>(nBarChanges))
        << "phase 2 moves the bar";
}
