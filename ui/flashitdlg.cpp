#include "ui/flashitdlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "hex/hexfile.h"
#include "job/jobtexts.h"
#include "job/verifyoutcome.h"
#include "link/targetlink.h"
#include "res/resource.h"
#include "res/templates.h"
#include "ui/barprogress.h"
#include "ui/busycursor.h"
#include "ui/dialogbuilder.h"
#include "ui/messagebox.h"

CFlashItDlg::CFlashItDlg(QWidget* pParent, CTargetLink* pLink, CHexFile* pHexFile, CMessageBoxes* pBoxes)
    : QDialog(pParent), m_bVerify(0), m_pHexFile(pHexFile), m_pLink(pLink), m_pParent(pParent),
      m_btnBack(nullptr), m_progVerify(nullptr), m_progFlash(nullptr), m_editStart(nullptr),
      m_editEnd(nullptr), m_checkVerify(nullptr), m_pBoxes(pBoxes)
{
    CDialogBuilder::Build(FlashItDialogTemplate(), this);
    m_btnBack = FindControl<QPushButton>(this, IDOK);
    m_progVerify = FindControl<QProgressBar>(this, IDC_PROGRESS_VERIFY);
    m_progFlash = FindControl<QProgressBar>(this, IDC_PROGRESS_FLASH);
    m_editStart = FindControl<QLineEdit>(this, IDC_FLASHIT_START);
    m_editEnd = FindControl<QLineEdit>(this, IDC_FLASHIT_END);
    m_checkVerify = FindControl<QCheckBox>(this, IDC_VERIFY);
    connect(m_btnBack, &QPushButton::clicked, this, [this] { done(kResultOk); });
    connect(FindControl<QPushButton>(this, IDC_FLASHIT), &QPushButton::clicked, this,
            [this] { OnFlashIt(); });
    OnInitDialog();
}

void CFlashItDlg::OnInitDialog()
{
    m_checkVerify->setChecked(m_bVerify == 1);
    m_editStart->setText(QString::fromStdString(FormatAddress(m_pHexFile->GetStartAddress())));
    m_editEnd->setText(QString::fromStdString(FormatAddress(m_pHexFile->GetEndAddress())));
    UpdateData();
}

void CFlashItDlg::UpdateData()
{
    m_bVerify = m_checkVerify->isChecked() ? 1 : 0;
}

void CFlashItDlg::reject()
{
    done(kResultOk);
}

void CFlashItDlg::OnFlashIt()
{
    CBusyCursor busy;
    if (m_pLink->SelectFlashGroup() != 0) {
        done(kResultCancel);
        return;
    }
    CBarProgress flashProgress(m_progFlash, [this] { UpdateData(); });
    if (m_pLink->ProgramImage(&flashProgress, m_pHexFile) != 0) {
        m_pBoxes->ShowMessage(this, kTextFlashFailed, "ERROR", EBoxIcon::Warning);
        done(kResultCancel);
        return;
    }
    if (m_bVerify == 1) {
        if (m_pLink->SelectFlashGroup() != 0) {
            done(kResultCancel);
            return;
        }
        CBarProgress verifyProgress(m_progVerify, [this] { UpdateData(); });
        const EVerifyOutcome eOutcome = VerifyOnBoard(*m_pLink, *m_pHexFile, &verifyProgress);
        if (eOutcome != EVerifyOutcome::Verified) {
            m_pBoxes->ShowMessage(this, VerifyFailedBoxText(*m_pLink), "ERROR", EBoxIcon::Warning);
            // A difference leaves the flasher program ready for the next command.
            done(eOutcome == EVerifyOutcome::Mismatch ? kResultOk : kResultCancel);
            return;
        }
        m_pBoxes->ShowMessage(this, kTextFlashedAndVerified, "Info", EBoxIcon::Information);
        done(kResultOk);
        return;
    }
    m_pBoxes->ShowMessage(this, kTextFlashed, "Info", EBoxIcon::Information);
    done(kResultOk);
}
