// In-memory bulk pipes for tests: a library that loads or not, entry points that
// are there or not, a pipe table, recorded writes, scripted IN bytes, short writes
// and failing calls. Thread-safe.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "platform/BulkUsb.h"

struct RECORDED_PIPE_WRITE
{
    BYTE bPipeId;
    std::vector<BYTE> Data;
};

class CMemoryBulkUsb : public IBulkUsb
{
public:
    CMemoryBulkUsb();

    // Configuration.
    void SetLoadFails(bool bFails);
    void SetMissingEntryPoint(int nEntryPoint);
    void SetPipes(const std::vector<WINUSB_PIPE_INFORMATION>& pipes);   // also sets bNumEndpoints
    void SetInitializeFails(DWORD dwError);                            // 0: succeeds
    void SetQuerySettingsFails(DWORD dwError);
    // The write with this number (0-based, over all pipes) reports one byte fewer.
    void SetShortWrite(int nWriteIndex);
    // The write with this number fails with dwError (nothing is taken).
    void SetWriteFails(int nWriteIndex, DWORD dwError);
    // The next nCount reads fail with dwError.
    void SetReadFails(int nCount, DWORD dwError);
    // Bytes the IN pipes deliver, in order, whatever pipe is read.
    void QueueInBytes(const std::vector<BYTE>& bytes);
    void QueueInText(const char* pszText);
    // Real time a read with nothing queued waits for bytes before it returns empty.
    void SetEmptyReadWaitMs(DWORD dwMs);

    // What happened.
    std::vector<RECORDED_PIPE_WRITE> Writes();
    std::vector<BYTE> WrittenBytes();          // all writes joined
    int LoadCount();
    int UnloadCount();
    int FreeCount();
    int FlushCount();
    int InitializeCount();
    size_t PendingInBytes();
    PORT_HANDLE InitializedDevice();

    // IBulkUsb.
    bool Load() override;
    bool Resolve(int nEntryPoint) override;
    void Unload() override;
    bool Initialize(PORT_HANDLE hDevice, BULK_HANDLE* phUsb) override;
    bool QueryInterfaceSettings(BULK_HANDLE hUsb, BYTE bAlternateSetting,
                                USB_INTERFACE_DESCRIPTOR* pDescriptor) override;
    bool QueryPipe(BULK_HANDLE hUsb, BYTE bAlternateSetting, BYTE bPipeIndex,
                   WINUSB_PIPE_INFORMATION* pPipe) override;
    bool ReadPipe(BULK_HANDLE hUsb, BYTE bPipeId, BYTE* pBuf, DWORD dwLen, DWORD* pdwRead) override;
    bool WritePipe(BULK_HANDLE hUsb, BYTE bPipeId, const BYTE* pBuf, DWORD dwLen, DWORD* pdwWritten) override;
    bool FlushPipe(BULK_HANDLE hUsb, BYTE bPipeId) override;
    bool Free(BULK_HANDLE hUsb) override;

private:
    bool IsOurs(BULK_HANDLE hUsb) const;

    std::mutex m_csState;
    std::condition_variable m_cvInBytes;
    bool m_bLoadFails = false;
    bool m_bLoaded = false;
    std::set<int> m_MissingEntryPoints;
    std::vector<WINUSB_PIPE_INFORMATION> m_Pipes;
    USB_INTERFACE_DESCRIPTOR m_Descriptor{};
    DWORD m_dwInitializeError = 0;
    DWORD m_dwQueryError = 0;
    int m_nShortWrite = -1;
    int m_nFailingWrite = -1;
    DWORD m_dwWriteError = 0;
    int m_nReadFailures = 0;
    DWORD m_dwReadError = 0;
    std::deque<BYTE> m_InBytes;
    DWORD m_dwEmptyReadWaitMs = 1;
    std::vector<RECORDED_PIPE_WRITE> m_Writes;
    int m_nWriteCount = 0;
    int m_nLoadCount = 0;
    int m_nUnloadCount = 0;
    int m_nFreeCount = 0;
    int m_nFlushCount = 0;
    int m_nInitializeCount = 0;
    PORT_HANDLE m_hDevice = INVALID_PORT;
    int m_nInterface = 0;   // its address is the handle
};
