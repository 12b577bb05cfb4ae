// vuqctl prepare --flag F --os-type T [--key10 N] IMAGE OUT: writes to OUT the image
// the updater would build for that flag and OS_TYPE.
#include <cstdio>
#include <memory>

#include "cli/LocalPlatform.h"
#include "cli/Verbs.h"
#include "common/LastError.h"
#include "image/OSUtil.h"
#include "link/Downloader.h"

namespace
{
struct PREPARE_OPTIONS
{
    std::string strImage;
    std::string strOut;
    std::string strFlag;
    int nOsType = 0;
    std::string strKey10;
    std::string strFrame;   // Command of the download frame to write instead of the bare image
};

// Writes the download frame of the prepared image to strOut, built by the link's own
// framing and written through its file transport, exactly as it goes to a handset.
bool WriteFrame(COSUtil& util, std::vector<BYTE>& image, DWORD dwCommand, const std::string& strOut)
{
    // The framing needs the 10 spare bytes behind the image.
    image.resize(image.size() + FRAME_OVERHEAD, 0);
    util.m_pBuf = image.data();
    util.m_nBufLen = static_cast<DWORD>(image.size());
    std::unique_ptr<IPortDriver> pPort = CreateLocalPortDriver();
    if (!WriteOutput("prepare", strOut, {}))
        return false;

    CClock clock;
    PlatformContext platform;
    platform.pClock = &clock;
    platform.pPortDriver = pPort.get();
    CDownloader link(platform);
    link.AddUSB(strOut.c_str());
    int nResult = link.OpenUSB(0) ? link.ProcessDownload(&util, 0, dwCommand) : DOWNLOAD_WRITE_FAILED;
    if (nResult != DOWNLOAD_OK)
    {
        std::fprintf(stderr, "vuqctl prepare: %s: the frame could not be written (result %d): %s\n", strOut.c_str(),
                     nResult, GetLastErrorText());
        return false;
    }
    return true;
}

// Builds the prepared image for dwFlag and nOsType from a parsed image: exactly the
// bytes PrepareOSOnMem writes (its required size). On failure *pstrWhy says why.
bool PrepareImageBytes(COSUtil& util, DWORD dwFlag, int nOsType, std::vector<BYTE>* pImage, std::string* pstrWhy)
{
    DWORD dwSize = util.PrepareOSOnMem(dwFlag, nOsType, nullptr, 0);
    if (dwSize == 0)
    {
        if (dwFlag >= FLAG_LIMIT)
            *pstrWhy = "unknown flag (0x200 or above)";
        else if ((dwFlag & FLAG_OS) && (nOsType < OS_TYPE_OS || nOsType > OS_TYPE_RESERVE_AND_OS))
            *pstrWhy = "OS_TYPE unknown (0, 1 or 2 with flag bit 0x001)";
        else
            *pstrWhy = "the image would not fit 32 bits";
        return false;
    }
    // The buffer keeps the 10 spare bytes the updater gives every image for its framing.
    pImage->assign(static_cast<size_t>(dwSize) + 10, 0);
    if (util.PrepareOSOnMem(dwFlag, nOsType, pImage->data(), static_cast<DWORD>(pImage->size())) != 1)
    {
        *pstrWhy = "a part could not be read from the image";
        return false;
    }
    pImage->resize(dwSize);
    return true;
}

int RunPrepare(const PREPARE_OPTIONS& options)
{
    DWORD dwFlag = 0;
    if (!ParseNumber(options.strFlag, &dwFlag))
    {
        std::fprintf(stderr, "vuqctl prepare: --flag: not a number: %s\n", options.strFlag.c_str());
        return EXIT_USAGE;
    }
    DWORD dwKey10 = 0;
    if (!options.strKey10.empty() && !ParseNumber(options.strKey10, &dwKey10))
    {
        std::fprintf(stderr, "vuqctl prepare: --key10: not a number: %s\n", options.strKey10.c_str());
        return EXIT_USAGE;
    }
    COSUtil util;
    int nCode = 0;
    int nExit = OpenImage("prepare", options.strImage, util, &nCode);
    if (nExit != EXIT_OK)
        return nExit;
    if (!options.strKey10.empty())
        util.SetKey10(dwKey10);

    DWORD dwCommand = 0;
    if (!options.strFrame.empty() && !ParseNumber(options.strFrame, &dwCommand))
    {
        std::fprintf(stderr, "vuqctl prepare: --frame: not a number: %s\n", options.strFrame.c_str());
        return EXIT_USAGE;
    }
    std::vector<BYTE> image;
    std::string strWhy;
    if (!PrepareImageBytes(util, dwFlag, options.nOsType, &image, &strWhy))
    {
        std::fprintf(stderr, "vuqctl prepare: %s: flag 0x%X, OS_TYPE %d: %s\n", options.strImage.c_str(), dwFlag,
                     options.nOsType, strWhy.c_str());
        return EXIT_FAILED;
    }
    if (!options.strFrame.empty())
        return WriteFrame(util, image, dwCommand, options.strOut) ? EXIT_OK : EXIT_FAILED;
    return WriteOutput("prepare", options.strOut, image) ? EXIT_OK : EXIT_FAILED;
}
}

void AddPrepareVerb(CLI::App& app, int* pnExit)
{
    auto pOptions = std::make_shared<PREPARE_OPTIONS>();
    CLI::App* pVerb = app.add_subcommand("prepare", "Write the image the updater would send for a flag and OS_TYPE");
    pVerb->add_option("--flag", pOptions->strFlag, "Image Flag of the prepared image (hex 0x... or decimal)")
        ->required();
    pVerb->add_option("--os-type", pOptions->nOsType,
                      "What the OS part holds with bit 0x001: 0 operating system, 1 reserve region, 2 both")
        ->required();
    pVerb->add_option("--key10", pOptions->strKey10, "Set the held Key10 first (hex 0x... or decimal)");
    pVerb->add_option("--frame", pOptions->strFrame,
                      "Write the download frame with this Command (e.g. 0, or 57 for the closing frame) instead of "
                      "the bare image");
    pVerb->add_option("IMAGE", pOptions->strImage, "Image file (read only)")->required();
    pVerb->add_option("OUT", pOptions->strOut, "Output file")->required();
    pVerb->callback([pOptions, pnExit] { *pnExit = RunPrepare(*pOptions); });
}
