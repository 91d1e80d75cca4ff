// Message boxes and the open-file dialog of the running program: QMessageBox and QFileDialog.
#pragma once

#include "ui/messagebox.h"

class QFileDialog;

// The open-file dialog set up as asked: filters, suffix, name; and wide enough that the size
// column shows whole sizes.
void PrepareFileDialog(QFileDialog& dialog, const CFileDialogSpec& spec);

class CQtMessageBoxes : public CMessageBoxes
{
public:
    void ShowMessage(QWidget* pParent, const std::string& strText, const std::string& strTitle,
                     EBoxIcon eIcon) override;
    bool ChooseOpenFile(QWidget* pParent, const CFileDialogSpec& spec, std::string* pstrPath) override;
    bool AskYesNo(QWidget* pParent, const std::string& strText, const std::string& strTitle) override;
    bool ChooseFolder(QWidget* pParent, const std::string& strTitle, const std::string& strStartDir,
                      std::string* pstrPath) override;
};
