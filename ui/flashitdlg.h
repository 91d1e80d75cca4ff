// Flash it: programs the operator's image into the board's flash and, when the check box is
// ticked, reads it back and verifies it. The result tells the opener whether the link lives:
// 1 (OK) it does, 2 (Cancel) it failed and the opener reports the lost connection.
#pragma once

#include <QDialog>

class CHexFile;
class CMessageBoxes;
class CTargetLink;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CFlashItDlg : public QDialog
{
public:
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;

    // Borrows the link, the image and the message boxes.
    CFlashItDlg(QWidget* pParent, CTargetLink* pLink, CHexFile* pHexFile, CMessageBoxes* pBoxes);

    // Reads the check box into m_bVerify, as the link's progress steps do between blocks.
    void UpdateData();
    void OnFlashIt();
    // Escape and the close box: nothing failed, so the link lives and the end is OK.
    void reject() override;

    int m_bVerify;
    CHexFile* m_pHexFile;
    CTargetLink* m_pLink;
    QWidget* m_pParent;

private:
    void OnInitDialog();

    QPushButton* m_btnBack;
    QProgressBar* m_progVerify;
    QProgressBar* m_progFlash;
    QLineEdit* m_editStart;
    QLineEdit* m_editEnd;
    QCheckBox* m_checkVerify;
    CMessageBoxes* m_pBoxes;
};
