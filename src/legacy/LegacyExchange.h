// The legacy updater's exchange with a handset in USB-downloader mode: its one
// serial port, a stretch of a file sent as one download frame, the closing frame,
// and the wait for the handset's reply lines.
#pragma once

#include <cstdio>
#include <memory>

#include "common/Types.h"
#include "legacy/LegacyState.h"
#include "link/FrameFormat.h"
#include "link/Transport.h"
#include "platform/Clock.h"
#include "platform/PortDriver.h"
#include "platform/ProgressView.h"

constexpr DWORD LEGACY_WRITE_SIZE = DOWNLOAD_PIECE_SIZE;   // one write of a frame
constexpr DWORD LEGACY_CLOSING_COMMAND = 57;
constexpr DWORD LEGACY_CLOSING_FRAME_SIZE = 126;  // head, 116 zero bytes, checksum 0
constexpr DWORD LEGACY_PORT_INDEX = 1;
constexpr int LEGACY_PORT_NAME_LEN = 64;
constexpr DWORD LEGACY_LINE_BUFFER_SIZE = 128;    // a reply line, terminator included
constexpr DWORD LEGACY_SILENCE_LIMIT_MS = 60000;  // silence after the first byte that ends a wait
constexpr DWORD LEGACY_READ_TIMEOUT_MS = 100;     // a read returns after this with nothing

// Replies the wait waits for.
constexpr char LEGACY_REPLY_RESET[] = "device reset.\n";
constexpr char LEGACY_REPLY_RESERVE_OK[] = "Reserved region ok.\n";
constexpr char LEGACY_REPLY_OS_OK[] = "OS program ok!\n";
constexpr char LEGACY_REPLY_EDGE_OK[] = "EDGE program ok!\n";
// Replies that end a wait as failed.
constexpr char LEGACY_REPLY_FLASH_INCORRECT[] = "Flash Incorrect.\n";
constexpr char LEGACY_REPLY_OS_NOT_COMPATIBLE[] = "OS not compatible.\n";
constexpr char LEGACY_REPLY_STEP[] = ".\n";
constexpr char LEGACY_REPLY_LENGTH[] = "LENGTH";

// The desktop's name of the serial host driver port: "\\.\wceusbsh00%d" with
// nIndex (1 for the legacy updater). On Linux the caller names the device node.
void FormatLegacyPortName(char* pszBuf, size_t nLen, int nIndex = static_cast<int>(LEGACY_PORT_INDEX));

// Opens the port for reading and writing, held exclusively while it is open, and
// returns its transport; null when it cannot be opened (it exists only while the
// handset is in its USB-downloader mode). *phPort, when given, receives the device
// handle (INVALID_PORT on failure) for the trace.
std::unique_ptr<ITransport> OpenPort(IPortDriver& port, IClock& clock, const char* pszName,
                                     PORT_HANDLE* phPort = nullptr);

// Sends bytes dwOffset .. dwOffset + dwLen - 1 of pFile as one frame with Command
// dwValue, in writes of at most 12288 bytes. The step bar counts the writes, the
// overall bar moves once per write after the first. A failed or short write after
// the first (a handset that stopped reading included) shows "USB bulk transfer
// failed: size problem" on pView. The file position is the same afterwards. True
// when the whole frame was written; false without writing for an absent port.
bool DownloadFromFile(ITransport* pTransport, std::FILE* pFile, DWORD dwOffset, DWORD dwLen, DWORD dwValue,
                      IProgressView* pView);

// Writes the closing frame (Command dwCommand, size 126, 118 zero bytes) in one
// write. False without writing for an absent port; true when all 126 bytes went out.
bool SendClosingFrame(ITransport* pTransport, DWORD dwCommand);

// Reads reply lines until the whole line pszExpected arrives (1), or a failure
// line, dwLimitMs without the expected line, or 60 s of silence after the first
// byte (0). Missing bars, an absent port or a limit of 0 give 0 at once. The port reads with short
// time-outs during the wait, and its own time-outs are restored at every exit.
// "LENGTH" lines set the step bar's range; in the run's last wait (state.nLastWait
// equal to state.nWaitsDone) they also re-derive the overall bar's step. ".\n"
// steps both bars.
int ReceiveReply(ITransport* pTransport, IClock& clock, DWORD dwLimitMs, const char* pszExpected,
                 IProgressBar* pOverall, IProgressBar* pStep, const LEGACY_RUN_STATE& state);
