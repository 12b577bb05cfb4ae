// The verbs of vuqctl. Each verb file adds its subcommand to the application and
// sets *pnExit when the subcommand runs.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/Types.h"

class COSUtil;

// Exit statuses shared by every verb.
constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

void AddInfoVerb(CLI::App& app, int* pnExit);
void AddPrepareVerb(CLI::App& app, int* pnExit);
void AddExtractVerb(CLI::App& app, int* pnExit);
void AddFlashVerb(CLI::App& app, int* pnExit);

// Helpers shared by the verbs (ImageFiles.cpp).

// Opens and parses IMAGE as the updater parses "temp.dat" (the file is only read).
// Returns EXIT_OK when it parsed, EXIT_FAILED when the parse refused it and EXIT_USAGE
// when it cannot be opened; the failure is reported on stderr. *pnCode gets the parse
// code (0 when the file could not be opened).
int OpenImage(const char* pszVerb, const std::string& strPath, COSUtil& util, int* pnCode);
// What a parse code means, for messages.
const char* ParseCodeText(int nCode);
// Writes bytes to a file; reports a failure on stderr.
bool WriteOutput(const char* pszVerb, const std::string& strPath, const std::vector<BYTE>& bytes);
// A number in hex (0x...) or decimal; false when the text is not one that fits 32 bits.
bool ParseNumber(const std::string& strText, DWORD* pdwValue);

// The line info --json prints (without its line end) for an image that util parsed
// as far as it got, with parse code nCode (InfoVerb.cpp).
std::string InfoJsonText(COSUtil& util, int nCode);
