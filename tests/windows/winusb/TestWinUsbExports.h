// The test-only functions of the test "WinUsb.dll", for the tests that load it.
#pragma once

#include "platform/win32/WinUsbDeclarations.h"

// A fresh device: a bulk IN pipe 0x81 and a bulk OUT pipe 0x02 of 512 bytes, nothing
// queued or written, writes that go through, an empty call record.
typedef void(WINAPI* PFN_VUQ_TEST_WINUSB_RESET)();
typedef void(WINAPI* PFN_VUQ_TEST_WINUSB_SET_PIPES)(const WINUSB_PIPE_INFORMATION_RECORD* pPipes, int nCount);
// One transfer the device sends on its IN pipe.
typedef void(WINAPI* PFN_VUQ_TEST_WINUSB_QUEUE_IN)(const BYTE* pData, int nLen);
// Every byte written to pipe bPipeId, in order: the count (the first nCapacity copied).
typedef int(WINAPI* PFN_VUQ_TEST_WINUSB_WRITTEN)(UCHAR bPipeId, BYTE* pBuf, int nCapacity);
// The device stops taking bytes: writes wait for their pipe's time-out and fail.
typedef void(WINAPI* PFN_VUQ_TEST_WINUSB_SET_WRITES_STALL)(BOOL bStall);
// The record of calls, one a line; the text's length (cut to fit pszBuf).
typedef int(WINAPI* PFN_VUQ_TEST_WINUSB_CALLS)(char* pszBuf, int nCapacity);
// The device file the interface was initialised on.
typedef HANDLE(WINAPI* PFN_VUQ_TEST_WINUSB_DEVICE)();
