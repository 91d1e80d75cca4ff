// Message boxes and the open-file dialog of the running program: QMessageBox and QFileDialog.
#pragma once

#include "ui/messagebox.h"

class CQtMessageBoxes : public CMessageBoxes
{
public:
    void ShowMessage(QWidget* pParent, const std::string& strText, const std::string& strTitle,
                     EBoxIcon eIcon) override;
    bool ChooseOpenFile(QWidget* pParent, const CFileDialogSpec& spec, std::string* pstrPath) override;
};
