// Shared helpers of the image container's tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/ByteOrder.h"
#include "image/OSUtil.h"
#include "support/ImageBuilder.h"

inline bool WriteBytes(const std::string& strPath, const std::vector<BYTE>& bytes)
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    bool bOk = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), pFile) == bytes.size();
    return std::fclose(pFile) == 0 && bOk;
}

// Writes the bytes as "temp.dat" in the current directory and runs Init; returns the
// parse code, or 0 when Init left it unset.
inline int InitWith(COSUtil& util, const std::vector<BYTE>& bytes)
{
    WriteBytes("temp.dat", bytes);
    int nErr = 0;
    util.Init(&nErr);
    return nErr;
}

inline int InitWith(COSUtil& util, const CImageBuilder& image)
{
    return InitWith(util, image.Build());
}
