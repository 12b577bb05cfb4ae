// The run state that the legacy update run shares with its reply wait.
#pragma once

// Two counters that tell the reply wait whether it is the run's last wait: when
// they are equal, a "LENGTH" announcement re-derives the overall bar's step so the
// bar ends with the handset's own step count.
//
// The program keeps one process-wide instance (GetLegacyRunState). It starts at 0
// and is NOT reset when the wizard restarts another run: the run sets both fields
// as it goes (last wait 2 with an OS part, 3 with a GSM part; waits done 1, 2 and 3
// after phase 1, the reserve-region reply and the OS reply), so during the reset
// reply of a later run the waits-done counter still holds the previous run's value.
// Only the run and the waits it makes on its own thread touch it; nothing is locked.
struct LEGACY_RUN_STATE
{
    int nLastWait = 0;    // number of the run's last reply wait
    int nWaitsDone = 0;   // reply waits completed so far
};

// The process-wide run state of vuq-legacy.
LEGACY_RUN_STATE& GetLegacyRunState();
