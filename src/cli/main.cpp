// vuqctl: the command-line companion of the updater.
#include "cli/Verbs.h"

int main(int argc, char** argv)
{
    CLI::App app{"vuqctl: inspect and prepare firmware images, flash a handset in its USB-downloader mode"};
    app.require_subcommand(1);
    int nExit = 0;
    AddInfoVerb(app, &nExit);
    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        // CLI11 reports usage errors by exception; this is the only place they are caught.
        int nCode = app.exit(e);
        return nCode == 0 ? 0 : EXIT_USAGE;
    }
    return nExit;
}
