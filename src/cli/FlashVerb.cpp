// vuqctl flash (--port PATH | --simulate [--sim-transport pty|in-process]) [--legacy]
// IMAGE: flashes IMAGE into a handset that is already in its USB-downloader mode,
// with the updater's own download steps, waits and frames. No agent, no
// sync-software control, and no file is deleted: IMAGE is read in place.
//
// The virtual handset of --simulate lives on a pseudo-terminal where the build has
// them and one can be opened (reached through the tty driver, as a real port), and
// otherwise on the in-process bus (reached through CSimPortDriver). What depends on
// the machine (its platform, port names, temporary folder, pseudo-terminals) comes
// from cli/LocalPlatform.h; the flow, its messages and exit codes are the same on
// every platform.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/worker/UpdateWorker.h"
#include "cli/LocalPlatform.h"
#include "cli/TerminalProgressView.h"
#include "cli/Verbs.h"
#include "common/LastError.h"
#include "image/OSUtil.h"
#include "legacy/HostCode.h"
#include "legacy/LegacyRun.h"
#include "legacy/PortWatcher.h"
#include "link/DeviceChange.h"
#include "link/Downloader.h"
#include "platform/sim/SimPortBus.h"
#include "platform/sim/SimPortDriver.h"
#include "platform/sim/VirtualHandset.h"

namespace
{
// How long the legacy run waits for its port to appear before it starts.
constexpr DWORD LEGACY_PORT_WAIT_MS = 60000;
constexpr int EXIT_LEGACY_FAILED = 3;

constexpr char SIM_TRANSPORT_PTY[] = "pty";
constexpr char SIM_TRANSPORT_IN_PROCESS[] = "in-process";

struct FLASH_OPTIONS
{
    std::string strImage;
    std::string strPort;
    bool bSimulate = false;
    bool bLegacy = false;
    DWORD dwTimeScale = 1;
    std::string strSimTransport;   // empty: a pseudo-terminal where there is one
};

const char* RunResultText(int nResult)
{
    switch (nResult)
    {
    case RUN_PREPARE_FAILED: return "an image to send could not be prepared from the file";
    case RUN_NO_PORT: return "no download port appeared";
    case RUN_DOWNLOAD_FAILED: return "a download was not accepted by the link";
    case RUN_NOT_CONFIRMED: return "the handset did not confirm programming, or did not leave its first USB mode in time";
    case RUN_AGENT_FAILED: return "the device agent could not be copied or started";
    case RUN_ALLOC_FAILED: return "a download buffer could not be allocated";
    case RUN_AGENT_MISSING: return "the device agent file is missing";
    default: return "the update failed";
    }
}

const char* FrameKindText(int nKind)
{
    switch (nKind)
    {
    case HANDSET_FRAME_PHASE1: return "boot loader / USB downloader image";
    case HANDSET_FRAME_RESERVE: return "reserve region and add-on image";
    case HANDSET_FRAME_MODULE: return "communication module image";
    case HANDSET_FRAME_OS: return "operating system";
    case HANDSET_FRAME_CLOSING: return "closing frame";
    default: return "bad frame";
    }
}

void PrintHandsetRecord(CVirtualHandset& handset)
{
    std::printf("virtual handset received %zu frame(s):\n", handset.FrameCount());
    for (const HANDSET_FRAME& frame : handset.Frames())
        std::printf("  %-36s %10zu bytes  checksum %s\n", FrameKindText(frame.nKind), frame.Payload.size(),
                    frame.bChecksumOk ? "ok" : "BAD");
}

DWORD ScaledWriteLimit(DWORD dwTimeScale)
{
    constexpr DWORD MIN_WRITE_LIMIT_MS = 200;
    DWORD dwLimit = dwTimeScale > 1 ? PORT_WRITE_LIMIT_MS / dwTimeScale : PORT_WRITE_LIMIT_MS;
    return dwLimit < MIN_WRITE_LIMIT_MS ? MIN_WRITE_LIMIT_MS : dwLimit;
}

// The virtual handset of --simulate, its transport, and the port driver that
// reaches it: the platform's tty driver on a pseudo-terminal, a driver of the
// in-process bus otherwise.
struct SIMULATED_HANDSET
{
    std::unique_ptr<IHandsetTransport> pTransport;
    std::unique_ptr<CSimPortDriver> pBusDriver;   // in process only
    std::unique_ptr<CVirtualHandset> pHandset;
    IPortDriver* pDriver = nullptr;

    bool IsInProcess() const { return pBusDriver != nullptr; }
};

// False (with the reason on stderr) when the transport asked for is not there.
bool MakeSimulatedHandset(const FLASH_OPTIONS& options, CLocalPlatform& platform, int nDialect,
                          SIMULATED_HANDSET* pSim)
{
    if (options.strSimTransport != SIM_TRANSPORT_IN_PROCESS)
        pSim->pTransport = CreatePtyHandsetTransport();
    if (!pSim->pTransport && options.strSimTransport == SIM_TRANSPORT_PTY)
    {
        std::fprintf(stderr, "vuqctl flash: the virtual handset could not open a pseudo-terminal\n");
        return false;
    }
    if (pSim->pTransport)
    {
        pSim->pDriver = platform.PortDriver();
    }
    else
    {
        auto pBus = std::make_unique<CSimPortBus>();
        pSim->pBusDriver = std::make_unique<CSimPortDriver>(*pBus, ScaledWriteLimit(options.dwTimeScale));
        pSim->pDriver = pSim->pBusDriver.get();
        pSim->pTransport = std::move(pBus);
    }
    pSim->pHandset = std::make_unique<CVirtualHandset>(platform.Clock(), *pSim->pTransport, nDialect);
    return true;
}

int FlashCurrent(const FLASH_OPTIONS& options, CTerminalProgressView& view)
{
    COSUtil util;
    int nCode = 0;
    if (OpenImage("flash", options.strImage, util, &nCode) != EXIT_OK)
    {
        std::fprintf(stderr, "vuqctl flash: %s: nothing was sent (run result %d)\n", options.strImage.c_str(),
                     RUN_PREPARE_FAILED);
        return RUN_PREPARE_FAILED;
    }

    // A port that is there but cannot be opened would only be tried for 100 s.
    if (!options.bSimulate &&
        (!IsUsablePortName(options.strPort, "flash") || !IsOpenablePortName(options.strPort, "flash")))
        return RUN_NO_PORT;

    std::unique_ptr<CLocalPlatform> pPlatform =
        CreateLocalPlatform(&view, options.dwTimeScale, ScaledWriteLimit(options.dwTimeScale));
    CLocalPlatform& platform = *pPlatform;
    SIMULATED_HANDSET sim;
    if (options.bSimulate)
    {
        if (!MakeSimulatedHandset(options, platform, HANDSET_DIALECT_CURRENT, &sim))
            return RUN_NO_PORT;
        platform.Context().pPortDriver = sim.pDriver;
    }
    CDownloader link(platform.Context());
    CDeviceChangeHandler handler(link);

    CVirtualHandset* pHandset = sim.pHandset.get();
    std::unique_ptr<IDeviceNotifier> pNotifier;
    if (options.bSimulate)
        pNotifier = CreateSimulatedDeviceNotifier(*pHandset);
    else
        pNotifier = CreatePortNameWatcher(options.strPort);
    if (!pNotifier->Start(&handler))
    {
        std::fprintf(stderr, "vuqctl flash: device events cannot be watched: %s\n", GetLastErrorText());
        return RUN_NO_PORT;
    }
    if (pHandset != nullptr && !pHandset->EnterDownloaderMode())
    {
        std::fprintf(stderr, "vuqctl flash: the virtual handset could not open a pseudo-terminal\n");
        return RUN_NO_PORT;
    }

    UPDATE_RUN_CONFIG config;
    config.pDownloader = &link;
    config.pOSUtil = &util;
    config.pView = &view;
    config.bManageHost = false;
    int nResult = CUpdateWorker(config).Run();

    pNotifier->Stop();
    if (pHandset != nullptr)
        pHandset->Shutdown();
    view.Finish();
    if (pHandset != nullptr)
        PrintHandsetRecord(*pHandset);

    if (nResult == RUN_OK)
    {
        std::printf("vuqctl flash: %s: flashed\n", options.strImage.c_str());
        return EXIT_OK;
    }
    std::fprintf(stderr, "vuqctl flash: %s: failed with run result %d: %s\n", options.strImage.c_str(), nResult,
                 RunResultText(nResult));
    return nResult;
}

int FlashLegacy(const FLASH_OPTIONS& options, CTerminalProgressView& view)
{
    if (!options.bSimulate && !IsUsablePortName(options.strPort, "flash --legacy"))
        return EXIT_LEGACY_FAILED;
    std::unique_ptr<CLocalPlatform> pPlatform =
        CreateLocalPlatform(&view, options.dwTimeScale, ScaledWriteLimit(options.dwTimeScale));
    CLocalPlatform& platform = *pPlatform;
    // The staging file lives in a private folder of its own, never next to IMAGE.
    std::string strStaging;
    if (!MakePrivateTempFolder(&strStaging))
        return EXIT_LEGACY_FAILED;
    std::error_code ec;

    IPortDriver* pPort = platform.PortDriver();
    std::string strPort = options.strPort;
    SIMULATED_HANDSET sim;
    std::unique_ptr<IDeviceEvents> pLink;
    if (options.bSimulate)
    {
        if (!MakeSimulatedHandset(options, platform, HANDSET_DIALECT_LEGACY, &sim))
        {
            std::filesystem::remove_all(strStaging, ec);
            return EXIT_LEGACY_FAILED;
        }
        pPort = sim.pDriver;
        if (sim.IsInProcess())
        {
            // The bus's alias follows the handset to its current endpoint.
            strPort = SIM_PORT_ALIAS;
        }
        else
        {
            // A name in the private folder follows the handset's current node.
            strPort = (std::filesystem::path(strStaging) / "ttyVUQ").string();
            pLink = CreateStableDeviceName(strPort);
            sim.pHandset->SetEventSink(pLink.get());
        }
        if (!sim.pHandset->EnterDownloaderMode())
        {
            sim.pHandset->SetEventSink(nullptr);
            std::fprintf(stderr, "vuqctl flash --legacy: the virtual handset could not open a pseudo-terminal\n");
            std::filesystem::remove_all(strStaging, ec);
            return EXIT_LEGACY_FAILED;
        }
    }
    CVirtualHandset* pHandset = sim.pHandset.get();

    // Start once the port can be opened, as the step page enables its UPDATE button.
    CPortWatcher watcher(*pPort, platform.Clock(), strPort.c_str());
    CEvent ready(true, false);
    watcher.Start([&ready](bool bReady) {
        if (bReady)
            ready.Set();
    });
    int nResult = EXIT_LEGACY_FAILED;
    if (platform.Clock().WaitForEvent(ready, LEGACY_PORT_WAIT_MS) != EVENT_SIGNALLED)
    {
        watcher.Stop();
        std::fprintf(stderr, "vuqctl flash --legacy: %s: no download port appeared\n", strPort.c_str());
    }
    else
    {
        watcher.Stop();
        LEGACY_RUN_CONFIG config{platform.Clock(), *pPort, &view, options.strImage, strStaging, strPort,
                                 GetLegacyHostCode(platform.Context().pHostVersion), nullptr};
        nResult = RunLegacyUpdate(config);
    }

    if (pHandset != nullptr)
    {
        pHandset->SetEventSink(nullptr);
        pHandset->Shutdown();
    }
    view.Finish();
    if (pHandset != nullptr)
        PrintHandsetRecord(*pHandset);
    std::filesystem::remove_all(strStaging, ec);

    if (nResult == 1)
    {
        std::printf("vuqctl flash --legacy: %s: flashed\n", options.strImage.c_str());
        return EXIT_OK;
    }
    std::fprintf(stderr, "vuqctl flash --legacy: %s: the update failed\n", options.strImage.c_str());
    return EXIT_LEGACY_FAILED;
}
}

void AddFlashVerb(CLI::App& app, int* pnExit)
{
    auto pOptions = std::make_shared<FLASH_OPTIONS>();
    CLI::App* pVerb = app.add_subcommand(
        "flash", "Flash IMAGE into a handset that is already in its USB-downloader mode (IMAGE is read in place)");
    // -v may also follow the verb.
    pVerb->fallthrough();
    CLI::Option* pPort = pVerb->add_option("--port", pOptions->strPort,
                                           std::string("The download port's device name, e.g. ") + PORT_NAME_EXAMPLE);
    CLI::Option* pSimulate = pVerb->add_flag("--simulate", pOptions->bSimulate, "Flash the built-in virtual handset");
    pPort->excludes(pSimulate);
    pVerb->add_option("--sim-transport", pOptions->strSimTransport,
                      "Where the virtual handset lives: pty (a pseudo-terminal, the default where there is one) or "
                      "in-process")
        ->check(CLI::IsMember({SIM_TRANSPORT_PTY, SIM_TRANSPORT_IN_PROCESS}))
        ->needs(pSimulate);
    pVerb->add_flag("--legacy", pOptions->bLegacy, "Run the legacy updater's exchange (older handsets)");
    pVerb->add_option("--time-scale", pOptions->dwTimeScale,
                      "Run every wait this many times faster (for trying the virtual handset quickly; default 1)")
        ->check(CLI::Range(1, 10000));
    pVerb->add_option("IMAGE", pOptions->strImage, "The firmware image file")->required();
    pVerb->callback([pOptions, pnExit] {
        if (pOptions->strPort.empty() && !pOptions->bSimulate)
        {
            std::fprintf(stderr, "vuqctl flash: give the download port (--port PATH) or --simulate\n");
            *pnExit = EXIT_USAGE;
            return;
        }
        CTerminalProgressView view(IsStdoutTerminal(), pOptions->bLegacy ? 2 : 1);
        *pnExit = pOptions->bLegacy ? FlashLegacy(*pOptions, view) : FlashCurrent(*pOptions, view);
    });
}
