// Sample files for simulated runs: an image file the updater accepts and a device
// agent for the virtual handset to store, so that a simulated run can start where
// "temp.dat" and "Tessik_Console.exe" are not in TEMP.
//
// The sample image: flag 0x11F (OS part, boot loader, USB downloader, Vantor, IPL,
// and the communication module's two files, which the updater never sends), an OS
// part of two flash blocks whose first is the reserve region (a boot sector at its
// first sector, the layout sector after it with the entries "IPL" and "REV" 1), the
// version text SAMPLE_VERSION_TEXT scrambled with "Key1" in the OEM info block, and
// small parts filled with a counting pattern.
#pragma once

#include <string>
#include <vector>

#include "common/Types.h"

constexpr char SAMPLE_VERSION_TEXT[] = "VUQ SAMPLE 1.00 WWE";
constexpr char SAMPLE_IMAGE_FILE[] = "temp.dat";
constexpr char SAMPLE_AGENT_FILE[] = "Tessik_Console.exe";

std::vector<BYTE> MakeSampleImage();
// Bytes for the agent's place on the handset (the virtual handset stores, never runs it).
std::vector<BYTE> MakeSampleAgent();

// Writes the sample image and agent into the folder where a file of that name is
// missing; files that are there are left as they are. False when one could not be
// written.
bool WriteMissingSampleFiles(const std::string& strFolder);
