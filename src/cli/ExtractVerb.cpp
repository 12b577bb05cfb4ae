// vuqctl extract --part ID IMAGE OUT: writes one part of IMAGE as the updater reads it
// (the reserve region with the OEM info stamped).
#include <cstdio>
#include <memory>

#include "cli/Verbs.h"
#include "image/OSUtil.h"

namespace
{
struct EXTRACT_OPTIONS
{
    std::string strImage;
    std::string strOut;
    int nPart = 0;
};

int RunExtract(const EXTRACT_OPTIONS& options)
{
    COSUtil util;
    int nCode = 0;
    int nExit = OpenImage("extract", options.strImage, util, &nCode);
    if (nExit != EXIT_OK)
        return nExit;
    const HEADER_DESCRIPTOR& entry = util.GetDescriptor(options.nPart);
    std::vector<BYTE> part(static_cast<size_t>(entry.nSize));
    if (!util.Extract(options.nPart, part.data(), part.size()))
    {
        std::fprintf(stderr, "vuqctl extract: %s: part %d (%s) cannot be read\n", options.strImage.c_str(),
                     options.nPart, entry.pszName);
        return EXIT_FAILED;
    }
    return WriteOutput("extract", options.strOut, part) ? EXIT_OK : EXIT_FAILED;
}
}

void AddExtractVerb(CLI::App& app, int* pnExit)
{
    auto pOptions = std::make_shared<EXTRACT_OPTIONS>();
    CLI::App* pVerb = app.add_subcommand("extract", "Write one part of IMAGE as the updater reads it");
    pVerb->add_option("--part", pOptions->nPart,
                      "Part id: 15 Reserve Region, 16 OS, 17 BootLoader, 18 UsbDownloader, 19 Vantor, 20 IPL, "
                      "21 MOT Agent File, 22 MOT File")
        ->required()
        ->check(CLI::Range(PART_RESERVE, PART_MOT_FILE));
    pVerb->add_option("IMAGE", pOptions->strImage, "Image file (read only)")->required();
    pVerb->add_option("OUT", pOptions->strOut, "Output file")->required();
    pVerb->callback([pOptions, pnExit] { *pnExit = RunExtract(*pOptions); });
}
