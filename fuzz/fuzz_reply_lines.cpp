// Fuzzes the classification of the handset's reply lines: the input after its first
// byte is cut into lines as the link reads them (up to a line feed, at most 255
// bytes, NUL-terminated) and each goes through CDownloader::ProcessResponse with a
// recording progress window attached. The first byte picks the download stage and
// whether a window is attached at all.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "link/Downloader.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "platform/sim/RecordingProgressView.h"

namespace
{
// Boxes raised with no window attached: counted and answered at once.
class CCountingMessageBox : public IMessageBox
{
public:
    int MessageBox(const char* pszText, const char* pszCaption, UINT) override
    {
        if (pszText == nullptr || pszCaption == nullptr)
            std::abort();
        ++m_nBoxes;
        return MB_ANSWER_OK;
    }

private:
    int m_nBoxes = 0;
};

constexpr size_t REPLY_MAX_BYTES = REPLY_BUFFER_SIZE - 1;
constexpr BYTE MODE_NO_WINDOW = 0x08;

// The position of the window's bar stays inside its range whatever the replies say.
void CheckBar(CRecordingProgressView& view)
{
    IProgressBar* pBar = view.GetBar(PROGRESS_BAR_MAIN);
    int nLower = 0;
    int nUpper = 0;
    pBar->GetRange(&nLower, &nUpper);
    int nPos = pBar->GetPos();
    if (nLower <= nUpper && (nPos < nLower || nPos > nUpper))
        std::abort();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static CClock s_Clock;
    static CCountingMessageBox s_MessageBox;
    static CDownloader* s_pDownloader = []
    {
        PlatformContext platform;
        platform.pClock = &s_Clock;
        platform.pMessageBox = &s_MessageBox;
        platform.pHostVersion = nullptr;   // the host version stays unknown: the serial path
        return new CDownloader(platform);
    }();

    if (nSize == 0)
        return 0;
    const BYTE bMode = pData[0];
    // The stages the worker sets (0, 2..4) and 1.
    s_pDownloader->SetDownloadStage(static_cast<int>(bMode & 0x07) % 5);
    CRecordingProgressView view;
    s_pDownloader->m_pAttachedDlg = (bMode & MODE_NO_WINDOW) ? nullptr : &view;

    char szReply[REPLY_BUFFER_SIZE];
    size_t nPos = 1;
    while (nPos < nSize)
    {
        size_t nLen = 0;
        while (nPos < nSize && nLen < REPLY_MAX_BYTES)
        {
            char cByte = static_cast<char>(pData[nPos++]);
            szReply[nLen++] = cByte;
            if (cByte == '\n')
                break;
        }
        szReply[nLen] = '\0';
        int nId = s_pDownloader->ProcessResponse(szReply);
        if (nId < ID_EDGEOK || nId > ID_NOT_DEFINE)
            std::abort();
        CheckBar(view);
    }
    s_pDownloader->m_pAttachedDlg = nullptr;
    return 0;
}
