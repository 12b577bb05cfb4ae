// What the legacy updater's pages do to the desktop around an update: stop the
// sync software before the link is needed, start it again afterwards, and delete
// the temporary files of the update from TEMP.
#pragma once

#include "common/Types.h"
#include "platform/Platform.h"

// The temporary files of a legacy update, deleted from TEMP by the clean-up.
constexpr char LEGACY_TEMP_AGENT[] = "Tessik_Console.exe";
constexpr char LEGACY_TEMP_PROGRAM[] = "VUQ.exe";
constexpr char LEGACY_TEMP_IMAGE[] = "temp.dat";
constexpr char LEGACY_TEMP_STAGING[] = "TempFileToDown";

// Frees the link from the sync software: closes its windows and asks the manager
// to quit (the outcome is not used), then terminates its processes.
void StopSyncSoftware(const PlatformContext& platform);

// Starts the sync manager again, twice in a row: first its path from the registry,
// in double quotes and with nothing appended, as a new process whose handles are
// closed at once; then RestartActiveSync, which reports its own failures. True when
// the first start succeeded.
bool StartSyncSoftware(const PlatformContext& platform);

// Makes TEMP the current directory and deletes "Tessik_Console.exe", "VUQ.exe",
// "temp.dat" and "TempFileToDown" there, each attempted whatever happened to the
// others (a file still held open elsewhere stays, the rest go). Nothing is deleted
// when TEMP cannot be read or made current: the names are relative. True when the
// deletions were attempted in TEMP.
bool DeleteLegacyTempFiles(const PlatformContext& platform);

// Deletes the staging file "TempFileToDown" from TEMP (made the current directory)
// before a restart, so the new run starts from a fresh one. True when it was
// deleted.
bool DeleteLegacyStagingFile(const PlatformContext& platform);
