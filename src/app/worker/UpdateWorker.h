// The update worker: one update run from start to end, on a thread of its own.
// It copies and starts the device agent, releases the USB link from the sync
// software, waits for the handset's download port, sends phase 1 and phase 2,
// sends the closing frame, restores the host connection and ends the progress
// window with the run result code.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

#include "common/Types.h"
#include "platform/Platform.h"
#include "platform/ProgressView.h"

class CDownloader;
class COSUtil;
class CSyncServiceControl;

// Run result codes.
enum RUN_RESULT
{
    RUN_OK = 1,
    RUN_PREPARE_FAILED = 11,
    RUN_NO_PORT = 16,
    RUN_DOWNLOAD_FAILED = 18,
    RUN_NOT_CONFIRMED = 19,
    RUN_AGENT_FAILED = 20,
    RUN_ALLOC_FAILED = 21,
    RUN_AGENT_MISSING = 105,
};

// The worker sets "Key10" of every header it has built from phase 1 on.
constexpr DWORD UPDATE_KEY10 = 1001;
constexpr DWORD CLOSING_PAUSE_MS = 10000;
constexpr DWORD REMOVAL_WAIT_MS = 15000;

// What one run works with.
struct UPDATE_RUN_CONFIG
{
    CDownloader* pDownloader = nullptr;
    COSUtil* pOSUtil = nullptr;
    IProgressView* pView = nullptr;   // the progress window
    // True for the updater: agent, sync software, TEMP folder and clean-up around the
    // download. False for a handset already in its USB-downloader mode (vuqctl flash):
    // the download steps, waits and frames only; no file is deleted.
    bool bManageHost = true;
    // Download buffers; null: the heap. A failing allocator yields result 21.
    std::function<BYTE*(size_t)> fnAllocate;
    std::function<void(BYTE*)> fnFree;
    // The program's control of the sync software's service, kept across runs; null:
    // the run keeps one of its own.
    CSyncServiceControl* pSyncService = nullptr;
};

class CUpdateWorker
{
public:
    explicit CUpdateWorker(const UPDATE_RUN_CONFIG& config);
    ~CUpdateWorker();
    CUpdateWorker(const CUpdateWorker&) = delete;
    CUpdateWorker& operator=(const CUpdateWorker&) = delete;

    // Runs the update, ends the progress window with the result code and returns it.
    int Run();

private:
    bool SetUp();
    bool RunAgent();
    bool ReleaseLink();
    bool RunPhase1();
    bool RunPhase2();
    void RunClosing();

    // Sizes, allocates and prepares an image into the current download buffer.
    bool PrepareImage(DWORD dwMask, int nOsType, bool bSetKey10, const char* pszFailTrace);
    bool Fail(int nResult);
    void Warn(const char* pszText);
    void ShowCaption(UINT nStringId);
    BYTE* AllocateBuffer(DWORD dwLen);
    void FreeBuffer();
    void StopKeepServiceThread();
    CSyncServiceControl& SyncService();

    UPDATE_RUN_CONFIG m_Config;
    const PlatformContext& m_Platform;
    int m_nResult = RUN_OK;
    int m_nPortIndex = -1;
    BYTE* m_pBuf = nullptr;
    char m_szTempDir[MAX_PATH_LEN] = {};
    char m_szSavedDir[MAX_PATH_LEN] = {};
    bool m_bDirSaved = false;
    // Done flag of the thread that keeps the sync service stopped; it lives until
    // that thread has been joined.
    std::atomic<int> m_nDone{0};
    std::thread m_KeepServiceThread;
    std::unique_ptr<CSyncServiceControl> m_pOwnSyncService;
};

// The thread routine: pParam is an UPDATE_RUN_CONFIG. Returns 1 in every case; the
// outcome goes out as the progress window's result.
int UpdateThread(void* pParam);
