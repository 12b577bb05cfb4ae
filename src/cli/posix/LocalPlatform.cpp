// vuqctl on Linux: the tty file transport, libusb, the Linux host, no remote API;
// ports are device nodes watched by path; the virtual handset may live on a
// pseudo-terminal, followed by a symbolic link.
#include "cli/LocalPlatform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/libusb/LibUsbBulk.h"
#include "platform/posix/NoRemoteApi.h"
#include "platform/posix/PathDeviceNotifier.h"
#include "platform/posix/PosixHostEnvironment.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/TtyPortDriver.h"
#include "platform/sim/PtyHandsetTransport.h"
#include "platform/sim/SimDeviceNotifier.h"

namespace
{
// Linux has no desktop windows, registry or service manager: those facilities
// stay null.
class CPosixPlatform : public CLocalPlatform
{
public:
    CPosixPlatform(IMessageBox* pBoxes, DWORD dwTimeScale, DWORD dwWriteLimitMs)
        : CLocalPlatform(dwTimeScale), m_Port(dwWriteLimitMs)
    {
        m_pPortDriver = &m_Port;
        m_Context.pPortDriver = &m_Port;
        m_Context.pBulkUsb = &m_Bulk;
        m_Context.pRemoteApi = &m_Rapi;
        m_Context.pHostVersion = &m_Host;
        m_Context.pHostEnvironment = &m_Host;
        m_Context.pProcesses = &m_Processes;
        m_Context.pMessageBox = pBoxes;
    }

private:
    CTtyPortDriver m_Port;
    CLibUsbBulk m_Bulk;
    CNoRemoteApi m_Rapi;
    CPosixHostEnvironment m_Host;
    CPosixProcesses m_Processes;
};

// Keeps a name pointing at the virtual handset's current device node.
class CStableDeviceLink : public IDeviceEvents
{
public:
    explicit CStableDeviceLink(std::string strLink) : m_strLink(std::move(strLink)) {}
    void OnDeviceArrival(const char* pszName) override
    {
        ::unlink(m_strLink.c_str());
        if (::symlink(pszName, m_strLink.c_str()) != 0)
            std::fprintf(stderr, "vuqctl flash: cannot link %s: %s\n", m_strLink.c_str(), std::strerror(errno));
    }
    void OnDeviceRemoval(const char*) override { ::unlink(m_strLink.c_str()); }

private:
    std::string m_strLink;
};
}

const char PORT_NAME_EXAMPLE[] = "/dev/serial/by-id/...";

std::unique_ptr<CLocalPlatform> CreateLocalPlatform(IMessageBox* pBoxes, DWORD dwTimeScale, DWORD dwWriteLimitMs)
{
    return std::make_unique<CPosixPlatform>(pBoxes, dwTimeScale, dwWriteLimitMs);
}

std::unique_ptr<IPortDriver> CreateLocalPortDriver()
{
    return std::make_unique<CTtyPortDriver>();
}

// A download written into a regular file would overwrite it, and a folder is no
// port. Character devices, pipes and sockets are ports.
bool IsUsablePortName(const std::string& strPort, const char* pszVerb)
{
    struct stat st{};
    if (::stat(strPort.c_str(), &st) != 0 || S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return true;
    std::fprintf(stderr, "vuqctl %s: %s is a %s, not a device: nothing was sent\n", pszVerb, strPort.c_str(),
                 S_ISDIR(st.st_mode) ? "folder" : "regular file");
    return false;
}

bool IsOpenablePortName(const std::string& strPort, const char* pszVerb)
{
    if (::access(strPort.c_str(), F_OK) != 0 || ::access(strPort.c_str(), R_OK | W_OK) == 0)
        return true;
    std::fprintf(stderr, "vuqctl %s: %s: cannot be opened for reading and writing: %s\n", pszVerb, strPort.c_str(),
                 std::strerror(errno));
    return false;
}

std::unique_ptr<IDeviceNotifier> CreatePortNameWatcher(const std::string& strPort)
{
    return std::make_unique<CPathDeviceNotifier>(strPort.c_str());
}

std::unique_ptr<IDeviceNotifier> CreateSimulatedDeviceNotifier(CVirtualHandset& handset)
{
    return std::make_unique<CSimDeviceNotifier>(handset);
}

bool MakePrivateTempFolder(std::string* pstrFolder)
{
    std::error_code ec;
    std::filesystem::path tempRoot = std::filesystem::temp_directory_path(ec);
    if (ec)
        tempRoot = "/tmp";
    std::string strTemplate = (tempRoot / "vuqctl-XXXXXX").string();
    if (::mkdtemp(strTemplate.data()) == nullptr)
    {
        std::fprintf(stderr, "vuqctl flash: cannot create a private temporary folder: %s\n", std::strerror(errno));
        return false;
    }
    *pstrFolder = strTemplate;
    return true;
}

std::unique_ptr<IHandsetTransport> CreatePtyHandsetTransport()
{
    auto pPty = std::make_unique<CPtyHandsetTransport>();
    if (!pPty->OpenEndpoint())
        return nullptr;
    return pPty;
}

std::unique_ptr<IDeviceEvents> CreateStableDeviceName(const std::string& strName)
{
    return std::make_unique<CStableDeviceLink>(strName);
}

bool IsStdoutTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}
