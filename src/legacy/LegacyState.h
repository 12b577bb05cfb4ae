// The run state that the legacy update run shares with its reply waits.
#pragma once

// Two counters that tell the reply wait whether it is the run's last wait: when
// they are equal, a "LENGTH" announcement re-derives the overall bar's step so the
// bar ends with the handset's own step count.
//
// Each run owns its counters and starts them at 0; the run sets them as it goes
// (last wait 2 with an OS part, 3 with a GSM part; waits done 1, 2 and 3 after
// phase 1, the reserve-region reply and the OS reply). A run that the wizard starts
// after another therefore takes only its own last wait for the last one. Only the
// run and the waits it makes on its own thread touch them; nothing is locked.
struct LEGACY_RUN_STATE
{
    int nLastWait = 0;    // number of the run's last reply wait
    int nWaitsDone = 0;   // reply waits completed so far
};
