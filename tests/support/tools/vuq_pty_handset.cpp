// vuq_pty_handset --link PATH [--legacy] [--time-scale N] --record FILE -- PROGRAM [ARGS...]
//
// Runs the virtual handset in its USB-downloader mode on a pseudo-terminal (Linux
// only), keeps PATH a symbolic link to its current node (it leaves after phase 1
// and comes back on a new one, and the link follows, as a stable device name or a
// Wine prefix's dosdevices/comN entry would), then runs PROGRAM with ARGS and waits
// for it. Once PROGRAM has ended, the handset is shut down and what it received is
// written to FILE, one line per frame:
//   KIND COMMAND DECLARED-SIZE PAYLOAD-SIZE CHECKSUM-OK HASH
// with HASH the FNV-1a 64 hash of the payload in hex, so two runs compare by their
// files. The exit status is PROGRAM's, or 125 when the handset or PROGRAM could not
// be started.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/DeviceNotifier.h"
#include "platform/sim/PtyHandsetTransport.h"
#include "platform/sim/VirtualHandset.h"

extern char** environ;

namespace
{
constexpr int EXIT_HELPER_FAILED = 125;

// Keeps PATH pointing at the handset's current node; no link while it is away.
class CFollowingLink : public IDeviceEvents
{
public:
    explicit CFollowingLink(std::string strLink) : m_strLink(std::move(strLink)) {}
    void OnDeviceArrival(const char* pszName) override
    {
        ::unlink(m_strLink.c_str());
        if (::symlink(pszName, m_strLink.c_str()) != 0)
            std::fprintf(stderr, "vuq_pty_handset: cannot link %s: %s\n", m_strLink.c_str(), std::strerror(errno));
    }
    void OnDeviceRemoval(const char*) override { ::unlink(m_strLink.c_str()); }

private:
    std::string m_strLink;
};

unsigned long long Fnv1a64(const std::vector<BYTE>& bytes)
{
    unsigned long long qwHash = 0xcbf29ce484222325ull;
    for (BYTE b : bytes)
    {
        qwHash ^= b;
        qwHash *= 0x100000001b3ull;
    }
    return qwHash;
}

bool WriteRecord(const std::string& strFile, const std::vector<HANDSET_FRAME>& frames)
{
    std::FILE* pFile = std::fopen(strFile.c_str(), "w");
    if (pFile == nullptr)
        return false;
    for (const HANDSET_FRAME& frame : frames)
        std::fprintf(pFile, "%d %u %u %zu %d %016llx\n", frame.nKind, frame.dwCommand, frame.dwDeclaredSize,
                     frame.Payload.size(), frame.bChecksumOk ? 1 : 0, Fnv1a64(frame.Payload));
    return std::fclose(pFile) == 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: vuq_pty_handset --link PATH [--legacy] [--time-scale N] --record FILE -- PROGRAM "
                         "[ARGS...]\n");
    return EXIT_HELPER_FAILED;
}
}

int main(int argc, char** argv)
{
    std::string strLink;
    std::string strRecord;
    int nDialect = HANDSET_DIALECT_CURRENT;
    unsigned long dwScale = 1;
    int nProgram = -1;
    for (int i = 1; i < argc; ++i)
    {
        std::string strArg = argv[i];
        if (strArg == "--link" && i + 1 < argc)
            strLink = argv[++i];
        else if (strArg == "--record" && i + 1 < argc)
            strRecord = argv[++i];
        else if (strArg == "--legacy")
            nDialect = HANDSET_DIALECT_LEGACY;
        else if (strArg == "--time-scale" && i + 1 < argc)
            dwScale = std::strtoul(argv[++i], nullptr, 10);
        else if (strArg == "--" && i + 1 < argc)
        {
            nProgram = i + 1;
            break;
        }
        else
            return Usage();
    }
    if (strLink.empty() || strRecord.empty() || nProgram < 0 || dwScale == 0 || dwScale > 10000)
        return Usage();

    CClock clock(static_cast<DWORD>(dwScale));
    CPtyHandsetTransport pty;
    CVirtualHandset handset(clock, pty, nDialect);
    CFollowingLink link(strLink);
    handset.SetEventSink(&link);
    if (!handset.EnterDownloaderMode() || !handset.WaitForArrivals(1, 10000))
    {
        std::fprintf(stderr, "vuq_pty_handset: the handset could not open a pseudo-terminal\n");
        handset.SetEventSink(nullptr);
        return EXIT_HELPER_FAILED;
    }

    pid_t nPid = 0;
    int nExit = EXIT_HELPER_FAILED;
    int nError = ::posix_spawnp(&nPid, argv[nProgram], nullptr, nullptr, argv + nProgram, environ);
    if (nError != 0)
    {
        std::fprintf(stderr, "vuq_pty_handset: %s: %s\n", argv[nProgram], std::strerror(nError));
    }
    else
    {
        int nStatus = 0;
        while (::waitpid(nPid, &nStatus, 0) < 0 && errno == EINTR)
        {
        }
        nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : EXIT_HELPER_FAILED;
    }

    handset.SetEventSink(nullptr);
    handset.Shutdown();
    ::unlink(strLink.c_str());
    if (!WriteRecord(strRecord, handset.Frames()))
    {
        std::fprintf(stderr, "vuq_pty_handset: cannot write %s\n", strRecord.c_str());
        return EXIT_HELPER_FAILED;
    }
    return nExit;
}
