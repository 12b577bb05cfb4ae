// The legacy update run: phase 1 (the USB downloader with the start of the flash
// image), phase 2 (the reserve region with its version text decrypted and the small
// parts, then the operating system, then the GSM module firmware when the image has
// one), the closing frame, and the end of the progress window with 1 or 3.
#pragma once

#include <string>

#include "common/Types.h"
#include "legacy/LegacyState.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"
#include "platform/ProgressView.h"

constexpr int LEGACY_RUN_DONE = 1;
constexpr int LEGACY_RUN_FAILED = 3;

constexpr char LEGACY_IMAGE_NAME[] = "temp.dat";
constexpr DWORD LEGACY_RELEASE_TAG = 0xF4723D0A;
constexpr DWORD LEGACY_PHASE1_OS_SIZE = 33280;           // 64 sectors of the OS part
constexpr DWORD LEGACY_PHASE1_CLEAR_MASK = 0x159;        // OS, VN, EB, 0x040, GSM
constexpr DWORD LEGACY_PHASE2_CLEAR_MASK = 0x144;        // UD, 0x040, GSM
constexpr DWORD LEGACY_GSM_FLAG = 0x100;
constexpr DWORD LEGACY_GSM_BAR_UNIT = 3072;
constexpr DWORD LEGACY_COPY_PIECE = 512;
constexpr DWORD LEGACY_LIMIT_RESET_MS = 5000;
constexpr DWORD LEGACY_LIMIT_RESERVE_MS = 300000;
constexpr DWORD LEGACY_LIMIT_OS_MS = 600000;
constexpr DWORD LEGACY_LIMIT_GSM_MS = 600000;
constexpr DWORD LEGACY_REOPEN_PAUSE_MS = 5000;           // after closing the port on the reset reply
constexpr DWORD LEGACY_REOPEN_INTERVAL_MS = 3000;
constexpr DWORD LEGACY_REOPEN_LIMIT_MS = 60000;          // then the run fails
constexpr DWORD LEGACY_PAUSE_AFTER_RESERVE_MS = 2000;
constexpr DWORD LEGACY_PAUSE_BEFORE_GSM_MS = 2000;
constexpr DWORD LEGACY_PAUSE_BEFORE_CLOSING_MS = 5000;

// What one run works with.
struct LEGACY_RUN_CONFIG
{
    IClock& clock;
    IPortDriver& port;
    // The progress window (title, heading, step box, PROGRESS_BAR_OVERALL and
    // PROGRESS_BAR_STEP, message boxes). Null: the run keeps its bars to itself and
    // its message boxes become trace lines.
    IProgressView* pView = nullptr;
    // The image file. Empty: "temp.dat" in strStagingDir (the program passes TEMP).
    std::string strImagePath;
    // Folder of the staging file "TempFileToDown" (TEMP in the program, a private
    // temporary folder in vuqctl). Empty: the current directory.
    std::string strStagingDir;
    // Device of the download port. Empty: "\\.\wceusbsh001".
    std::string strPortName;
    // "Key10" of every header sent (see GetLegacyHostCode).
    DWORD dwHostCode = 1000;
    // Null, or where the run leaves its reply-wait counters when it ends. The run
    // keeps the counters itself and starts them at 0: nothing of an earlier run in the
    // same process reaches it.
    LEGACY_RUN_STATE* pState = nullptr;
};

// Runs the update and returns LEGACY_RUN_DONE or LEGACY_RUN_FAILED, without ending
// the view. Blocks until done; the waits go through config.clock.
int RunLegacyUpdate(const LEGACY_RUN_CONFIG& config);

// The progress window's worker: runs the update, ends config.pView with 1 (done) or
// 3 (failed) through EndDialog, and returns 0.
int UpdateRun(const LEGACY_RUN_CONFIG& config);
