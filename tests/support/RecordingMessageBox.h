// A message box that records every box raised on it and answers at once with a
// set answer. Tests hand it to code that shows boxes without a progress window.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

struct RECORDED_BOX
{
    std::string strText;
    std::string strCaption;
    UINT uStyle;
};

class CRecordingMessageBox : public IMessageBox
{
public:
    int MessageBox(const char* pszText, const char* pszCaption, UINT uStyle) override;

    void SetAnswer(int nAnswer);
    std::vector<RECORDED_BOX> Boxes();
    // The texts of the boxes, in the order they were shown.
    std::vector<std::string> Texts();
    void Clear();

private:
    std::mutex m_csBoxes;
    std::vector<RECORDED_BOX> m_Boxes;
    int m_nAnswer = MB_ANSWER_OK;
};
