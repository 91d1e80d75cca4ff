// Message boxes and file dialogs for tests: answered at once, everything shown is kept.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/messagebox.h"

struct CShownBox
{
    std::string strText;
    std::string strTitle;
    EBoxIcon eIcon;

    bool operator==(const CShownBox& other) const
    {
        return strText == other.strText && strTitle == other.strTitle && eIcon == other.eIcon;
    }
};

class CRecordingBoxes : public CMessageBoxes
{
public:
    void ShowMessage(QWidget*, const std::string& strText, const std::string& strTitle,
                     EBoxIcon eIcon) override
    {
        m_shown.push_back({strText, strTitle, eIcon});
        if (m_fnOnShow)
            m_fnOnShow(m_shown.back());
    }

    // Answered from m_paths in order; an empty entry, or none left, cancels the dialog.
    bool ChooseOpenFile(QWidget*, const CFileDialogSpec& spec, std::string* pstrPath) override
    {
        m_fileDialogs.push_back(spec);
        if (m_paths.empty())
            return false;
        const std::string strPath = m_paths.front();
        m_paths.pop_front();
        if (strPath.empty())
            return false;
        *pstrPath = strPath;
        return true;
    }

    // Recorded with the Question icon; answered from m_answers in order, No when none is left.
    bool AskYesNo(QWidget*, const std::string& strText, const std::string& strTitle) override
    {
        m_shown.push_back({strText, strTitle, EBoxIcon::Question});
        if (m_answers.empty())
            return false;
        const bool bYes = m_answers.front();
        m_answers.pop_front();
        return bYes;
    }

    // Answered from m_folders in order, as the open-file dialog from m_paths.
    bool ChooseFolder(QWidget*, const std::string&, const std::string&, std::string* pstrPath) override
    {
        if (m_folders.empty())
            return false;
        const std::string strDir = m_folders.front();
        m_folders.pop_front();
        if (strDir.empty())
            return false;
        *pstrPath = strDir;
        return true;
    }

    std::vector<CShownBox> m_shown;
    std::function<void(const CShownBox&)> m_fnOnShow;   // called while the box "is open"
    std::deque<std::string> m_paths;
    std::vector<CFileDialogSpec> m_fileDialogs;
    std::deque<bool> m_answers;
    std::deque<std::string> m_folders;
};
