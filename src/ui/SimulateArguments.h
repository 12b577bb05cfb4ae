// The command line of the wizards' simulated runs:
//
//   PROGRAM --simulate [--time-scale N]
//
// Without --simulate as its first argument a program reads no argument at all.
#pragma once

#include "common/Types.h"

constexpr DWORD MAX_TIME_SCALE = 1000;

// True when the first argument is --simulate.
bool IsSimulateCommand(int argc, char** argv);

// The time scale of a simulated run: the number after --time-scale (1 to 1000), 1
// without one or with a number out of range.
DWORD TimeScaleOf(int argc, char** argv);
