// The download frame, shared by every sender: a 4-byte Command, a 4-byte total
// length (payload + 10), the payload and a 16-bit byte sum of the payload, written
// in pieces of at most 12288 bytes, one transport write each.
#pragma once

#include <cstddef>

#include "common/Types.h"
#include "link/Transport.h"

constexpr DWORD DOWNLOAD_PIECE_SIZE = 12288;
constexpr DWORD FRAME_HEAD_SIZE = 8;   // Command, Download Size
constexpr DWORD FRAME_OVERHEAD = 10;   // head and checksum

// Writes Command and the frame's total length, little-endian, into 8 bytes.
void WriteFrameHead(BYTE* pHead, DWORD dwCommand, DWORD dwFrameLen);

// The exact sum of the bytes (64 bits), eight bytes at a time.
QWORD SumFrameBytes(const BYTE* pBuf, size_t nLen);

// The frame checksum: the byte sum modulo 65536, continued from wStart.
WORD FrameChecksum(const BYTE* pBuf, size_t nLen, WORD wStart = 0);

// Writes one piece with one transport call; true only when every byte went out.
bool WriteFramePiece(ITransport& transport, const BYTE* pPiece, DWORD dwLen, DWORD* pdwWritten);
