// The image's version text: the leading bytes of the OEM info block, stored
// scrambled with the four bytes of "Key1".
#include "common/ByteOrder.h"
#include "image/OSUtil.h"

void COSUtil::GetVersionText(char* pszBuf, size_t nLen)
{
    if (pszBuf == nullptr || nLen == 0)
        return;
    BYTE key[4];
    WriteLE32(key, m_dwHeaderWords[FIELD_KEY1 - FIELD_RELEASE_TAG]);

    // Stored byte = (plain XOR key) + 10; the text ends at the first stored zero and
    // never runs past 63 bytes, even when no zero comes earlier.
    size_t nOut = 0;
    for (size_t i = 0; i < VERSION_TEXT_MAX && nOut + 1 < nLen; ++i)
    {
        BYTE bStored = m_OemInfo[i];
        if (bStored == 0)
            break;
        pszBuf[nOut++] = static_cast<char>(static_cast<BYTE>(bStored - 10) ^ key[i % 4]);
    }
    pszBuf[nOut] = '\0';
}
