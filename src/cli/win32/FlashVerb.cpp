// vuqctl flash on Windows: the Windows port driver and a virtual handset that runs
// without a pseudo-terminal do not exist yet, so the verb is listed and reports that
// it cannot run here.
#include <cstdio>

#include "cli/Verbs.h"

void AddFlashVerb(CLI::App& app, int* pnExit)
{
    CLI::App* pVerb = app.add_subcommand(
        "flash", "Flash IMAGE into a handset that is already in its USB-downloader mode (not available on this "
                 "platform yet)");
    pVerb->allow_extras();
    pVerb->callback([pnExit] {
        std::fprintf(stderr, "vuqctl flash: not available on this platform yet\n");
        *pnExit = EXIT_FAILED;
    });
}
