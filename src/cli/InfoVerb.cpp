// vuqctl info [--json] IMAGE: parses IMAGE as the updater would and reports what it
// holds, as far as the parse got.
#include <cstdio>
#include <memory>

#include <nlohmann/json.hpp>

#include "cli/Verbs.h"
#include "image/OSUtil.h"

namespace
{
struct INFO_OPTIONS
{
    std::string strImage;
    bool bJson = false;
};

std::string HexBytes(const BYTE* pBytes, size_t nLen)
{
    static const char HEX[] = "0123456789abcdef";
    std::string strHex;
    for (size_t i = 0; i < nLen; ++i)
    {
        strHex += HEX[pBytes[i] >> 4];
        strHex += HEX[pBytes[i] & 0x0F];
    }
    return strHex;
}

nlohmann::json InfoJson(COSUtil& util, int nCode)
{
    nlohmann::json info;
    info["code"] = nCode;
    if (util.m_nParseStage >= PARSE_HEADER_KEPT)
    {
        info["image_flag"] = util.m_dwImageFlag;
        info["os_size"] = nlohmann::json::array();
        for (DWORD dwSize : util.m_dwOSSize)
            info["os_size"].push_back(dwSize);
        info["release_tag"] = util.m_dwHeaderWords[0];
        info["keys"] = nlohmann::json::array();
        for (int i = 1; i <= 8; ++i)
            info["keys"].push_back(util.m_dwHeaderWords[i]);
        info["flash_type"] = util.m_dwHeaderWords[9];
        info["key10"] = util.m_dwHeaderWords[10];
        info["bluetooth"] = HexBytes(util.m_Bluetooth, BLUETOOTH_SIZE);
    }
    if (util.m_nParseStage >= PARSE_OEM_READ)
    {
        char szVersion[VERSION_TEXT_MAX + 1];
        util.GetVersionText(szVersion, sizeof(szVersion));
        info["version"] = szVersion;
    }
    if (util.m_nParseStage >= PARSE_RESERVE_FOUND)
        info["reserve_blocks"] = util.m_dwReserveBlocks;
    if (nCode == IMAGE_OK)
    {
        info["parts"] = nlohmann::json::array();
        for (int nPart = PART_RESERVE; nPart <= PART_MOT_FILE; ++nPart)
        {
            const HEADER_DESCRIPTOR& entry = util.GetDescriptor(nPart);
            info["parts"].push_back(
                {{"id", nPart}, {"name", entry.pszName}, {"offset", entry.nOffset}, {"size", entry.nSize}});
        }
    }
    return info;
}

void PrintSummary(const std::string& strImage, COSUtil& util, int nCode)
{
    std::printf("Image:          %s\n", strImage.c_str());
    std::printf("Parse code:     %d (%s)\n", nCode, ParseCodeText(nCode));
    if (util.m_nParseStage >= PARSE_HEADER_KEPT)
    {
        std::printf("Image Flag:     0x%03X\n", util.m_dwImageFlag);
        std::printf("OS size:       ");
        for (DWORD dwSize : util.m_dwOSSize)
            std::printf(" %u", dwSize);
        std::printf("\n");
        std::printf("RELEASE Tag:    0x%08X\n", util.m_dwHeaderWords[0]);
        for (int i = 1; i <= 8; ++i)
            std::printf("Key%d:           0x%08X\n", i, util.m_dwHeaderWords[i]);
        std::printf("Flash Type:     0x%08X\n", util.m_dwHeaderWords[9]);
        std::printf("Key10:          %u\n", util.m_dwHeaderWords[10]);
        std::printf("Bluetooth:      %s\n", HexBytes(util.m_Bluetooth, BLUETOOTH_SIZE).c_str());
    }
    if (util.m_nParseStage >= PARSE_OEM_READ)
    {
        char szVersion[VERSION_TEXT_MAX + 1];
        util.GetVersionText(szVersion, sizeof(szVersion));
        std::printf("Version:        %s\n", szVersion);
    }
    if (util.m_nParseStage >= PARSE_RESERVE_FOUND)
        std::printf("Reserve blocks: %u\n", util.m_dwReserveBlocks);
    if (nCode == IMAGE_OK)
    {
        std::printf("Parts:\n  id  %-16s %12s %12s\n", "name", "offset", "size");
        for (int nPart = PART_RESERVE; nPart <= PART_MOT_FILE; ++nPart)
        {
            const HEADER_DESCRIPTOR& entry = util.GetDescriptor(nPart);
            std::printf("  %2d  %-16s %12lld %12lld\n", nPart, entry.pszName, static_cast<long long>(entry.nOffset),
                        static_cast<long long>(entry.nSize));
        }
    }
}

int RunInfo(const INFO_OPTIONS& options)
{
    COSUtil util;
    int nCode = 0;
    int nExit = OpenImage("info", options.strImage, util, &nCode);
    if (nCode == 0)
        return nExit;
    if (options.bJson)
    {
        std::printf("%s\n", InfoJsonText(util, nCode).c_str());
    }
    else
    {
        PrintSummary(options.strImage, util, nCode);
    }
    return nExit;
}
}

std::string InfoJsonText(COSUtil& util, int nCode)
{
    // The version text may hold any bytes: invalid UTF-8 is replaced, never thrown on.
    return InfoJson(util, nCode).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AddInfoVerb(CLI::App& app, int* pnExit)
{
    auto pOptions = std::make_shared<INFO_OPTIONS>();
    CLI::App* pVerb = app.add_subcommand("info", "Parse IMAGE as the updater would and report what it holds");
    pVerb->add_flag("--json", pOptions->bJson, "Print one JSON object instead of a summary");
    pVerb->add_option("IMAGE", pOptions->strImage, "Image file (read only)")->required();
    pVerb->callback([pOptions, pnExit] { *pnExit = RunInfo(*pOptions); });
}
