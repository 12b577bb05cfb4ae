// vuqctl: the command-line companion of the updater.
#include "cli/Verbs.h"
#include "common/Trace.h"

int main(int argc, char** argv)
{
    CLI::App app{"vuqctl: inspect and prepare firmware images, flash a handset in its USB-downloader mode"};
    app.require_subcommand(1);
    // Arguments starting with '/' are paths on every system, never options; set
    // before the verbs are added, which take the setting over.
    app.allow_windows_style_options(false);
    app.add_flag_callback("-v,--verbose", [] { SetTraceSink(&TraceToStderr, nullptr); },
                          "Write the trace lines to standard error");
    int nExit = EXIT_OK;
    AddInfoVerb(app, &nExit);
    AddPrepareVerb(app, &nExit);
    AddExtractVerb(app, &nExit);
    AddFlashVerb(app, &nExit);
    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        // CLI11 reports usage errors by exception; this is the only place they are caught.
        int nCode = app.exit(e);
        return nCode == 0 ? EXIT_OK : EXIT_USAGE;
    }
    return nExit;
}
