// Fixed-width aliases used across the code base, and the few shared limits.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int32_t LONG;
typedef unsigned int UINT;

// Longest path text, terminator included, that fixed path buffers hold.
constexpr int MAX_PATH_LEN = 260;

// A wait without a time limit.
constexpr DWORD WAIT_FOREVER = 0xFFFFFFFFu;
