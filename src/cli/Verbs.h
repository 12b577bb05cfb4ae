// The verbs of vuqctl. Each verb file adds its subcommand to the application and
// sets *pnExit when the subcommand runs.
#pragma once

#include <CLI/CLI.hpp>

// Exit status for usage errors, shared by every verb.
constexpr int EXIT_USAGE = 2;

void AddInfoVerb(CLI::App& app, int* pnExit);
