// Every message box and file dialog of the windows goes through this interface, so that the
// program shows real ones (CQtMessageBoxes) and tests answer them at once and keep what was shown.
#pragma once

#include <string>

class QWidget;

enum class EBoxIcon
{
    None,
    Information,
    Warning,
    Question,   // a box with Yes and No
};

// The open-file dialog's settings.
struct CFileDialogSpec
{
    std::string strFilters;         // Qt filter syntax, ";;" between the filters; the first is active
    std::string strDefaultSuffix;   // added to a typed name without one
    std::string strInitialName;     // shown in the name field
    bool bMustExist = true;
};

class CMessageBoxes
{
public:
    virtual ~CMessageBoxes();
    // A modal box with one OK button; returns when the operator confirmed it.
    virtual void ShowMessage(QWidget* pParent, const std::string& strText, const std::string& strTitle,
                             EBoxIcon eIcon) = 0;
    // The open-file dialog: true with the chosen file's full path, false when cancelled.
    virtual bool ChooseOpenFile(QWidget* pParent, const CFileDialogSpec& spec, std::string* pstrPath) = 0;
    // A modal question box with Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* pParent, const std::string& strText, const std::string& strTitle) = 0;
    // The folder dialog, opened at strStartDir: true with the chosen folder, false when cancelled.
    virtual bool ChooseFolder(QWidget* pParent, const std::string& strTitle, const std::string& strStartDir,
                              std::string* pstrPath) = 0;
};
