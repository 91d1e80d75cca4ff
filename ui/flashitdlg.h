// Flash it: programs the operator's image into the board's flash and, when the check box is
// ticked, reads it back and verifies it. The result tells the opener whether the link lives:
// 1 (OK) it does, 2 (Cancel) it failed and the opener reports the lost connection.
#pragma once

#include <QDialog>

#include "ui/boardaccess.h"

class CHexFile;
class CMessageBoxes;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CFlashItDlg : public QDialog
{
public:
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;

    // Borrows the board, the image and the message boxes. strImagePath names the image in the
    // operation's record.
    CFlashItDlg(QWidget* pParent, const CBoardAccess& board, const CHexFile* pHexFile, CMessageBoxes* pBoxes,
                const std::string& strImagePath = "");

    // Reads the check box into m_bVerify, as the progress steps do between blocks.
    void UpdateData();
    void OnFlashIt();
    // Escape and the close box: nothing failed, so the link lives and the end is OK; during a
    // run, whether to stop it.
    void reject() override;

    int m_bVerify;
    const CHexFile* m_pHexFile;
    CBoardAccess m_board;
    QWidget* m_pParent;

private:
    void OnInitDialog();
    // Ends the dialog with nResult after recording the operation with the errors kept in strKept.
    void End(COperationRecord& record, ESessionOutcome eOutcome, int nResult, const std::string& strKept);

    QPushButton* m_btnBack;
    QProgressBar* m_progVerify;
    QProgressBar* m_progFlash;
    QLineEdit* m_editStart;
    QLineEdit* m_editEnd;
    QCheckBox* m_checkVerify;
    CMessageBoxes* m_pBoxes;
    std::string m_strImagePath;
};
