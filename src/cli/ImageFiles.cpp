// Opening images and writing outputs for the verbs of vuqctl.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/Verbs.h"
#include "image/OSUtil.h"

int OpenImage(const char* pszVerb, const std::string& strPath, COSUtil& util, int* pnCode)
{
    *pnCode = 0;
    // Tried here first so the message can give the system's reason.
    std::FILE* pProbe = std::fopen(strPath.c_str(), "rb");
    if (pProbe == nullptr)
    {
        std::fprintf(stderr, "vuqctl %s: %s: cannot open: %s\n", pszVerb, strPath.c_str(), std::strerror(errno));
        return EXIT_USAGE;
    }
    std::fclose(pProbe);

    int nCode = 0;
    bool bOk = util.InitFile(strPath.c_str(), &nCode);
    *pnCode = nCode;
    if (nCode == 0)
    {
        std::fprintf(stderr, "vuqctl %s: %s: cannot open\n", pszVerb, strPath.c_str());
        return EXIT_USAGE;
    }
    if (!bOk)
    {
        std::fprintf(stderr, "vuqctl %s: %s: not a usable image (code %d: %s)\n", pszVerb, strPath.c_str(), nCode,
                     ParseCodeText(nCode));
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

const char* ParseCodeText(int nCode)
{
    switch (nCode)
    {
    case IMAGE_OK:
        return "ok";
    case IMAGE_BAD_TAG:
        return "the file does not start with the tag TAVU";
    case IMAGE_BAD_LAYOUT:
        return "the file length does not match the size words, or no usable reserve region was found";
    case IMAGE_READ_ERROR:
        return "the header or the OEM info block cannot be read";
    default:
        return "unknown code";
    }
}

bool WriteOutput(const char* pszVerb, const std::string& strPath, const std::vector<BYTE>& bytes)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
    {
        std::fprintf(stderr, "vuqctl %s: %s: cannot create: %s\n", pszVerb, strPath.c_str(), std::strerror(errno));
        return false;
    }
    bool bOk = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), pFile) == bytes.size();
    int nWriteErr = errno;
    if (std::fclose(pFile) != 0 && bOk)
    {
        bOk = false;
        nWriteErr = errno;
    }
    if (!bOk)
        std::fprintf(stderr, "vuqctl %s: %s: cannot write: %s\n", pszVerb, strPath.c_str(), std::strerror(nWriteErr));
    return bOk;
}

bool ParseNumber(const std::string& strText, DWORD* pdwValue)
{
    bool bHex = strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X');
    const char* pszDigits = strText.c_str() + (bHex ? 2 : 0);
    if (*pszDigits == '\0' || *pszDigits == '-' || *pszDigits == '+' || *pszDigits == ' ')
        return false;
    char* pEnd = nullptr;
    errno = 0;
    unsigned long long nValue = std::strtoull(pszDigits, &pEnd, bHex ? 16 : 10);
    if (errno != 0 || *pEnd != '\0' || nValue > 0xFFFFFFFFull)
        return false;
    *pdwValue = static_cast<DWORD>(nValue);
    return true;
}
