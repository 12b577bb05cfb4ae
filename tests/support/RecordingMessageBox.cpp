#include "support/RecordingMessageBox.h"

int CRecordingMessageBox::MessageBox(const char* pszText, const char* pszCaption, UINT uStyle)
{
    std::lock_guard<std::mutex> lock(m_csBoxes);
    m_Boxes.push_back({pszText != nullptr ? pszText : "", pszCaption != nullptr ? pszCaption : "", uStyle});
    return m_nAnswer;
}

void CRecordingMessageBox::SetAnswer(int nAnswer)
{
    std::lock_guard<std::mutex> lock(m_csBoxes);
    m_nAnswer = nAnswer;
}

std::vector<RECORDED_BOX> CRecordingMessageBox::Boxes()
{
    std::lock_guard<std::mutex> lock(m_csBoxes);
    return m_Boxes;
}

std::vector<std::string> CRecordingMessageBox::Texts()
{
    std::lock_guard<std::mutex> lock(m_csBoxes);
    std::vector<std::string> texts;
    for (const RECORDED_BOX& box : m_Boxes)
        texts.push_back(box.strText);
    return texts;
}

void CRecordingMessageBox::Clear()
{
    std::lock_guard<std::mutex> lock(m_csBoxes);
    m_Boxes.clear();
}
