#include "cli/Verbs.h"

void AddInfoVerb(CLI::App& app, int* pnExit)
{
    CLI::App* pVerb = app.add_subcommand("info", "Parse IMAGE as the updater would and report what it holds");
    pVerb->callback([pnExit] { *pnExit = 0; });
}
