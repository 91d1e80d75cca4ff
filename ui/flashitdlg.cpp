#include "ui/flashitdlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "hex/hexfile.h"
#include "job/jobtexts.h"
#include "res/resource.h"
#include "res/templates.h"
#include "ui/boardworker.h"
#include "ui/busycursor.h"
#include "ui/dialogbuilder.h"
#include "ui/messagebox.h"
#include "ui/windowsink.h"

CFlashItDlg::CFlashItDlg(QWidget* pParent, const CBoardAccess& board, const CHexFile* pHexFile,
                         CMessageBoxes* pBoxes, const std::string& strImagePath)
    : QDialog(pParent), m_bVerify(0), m_pHexFile(pHexFile), m_board(board), m_pParent(pParent),
      m_btnBack(nullptr), m_progVerify(nullptr), m_progFlash(nullptr), m_editStart(nullptr),
      m_editEnd(nullptr), m_checkVerify(nullptr), m_pBoxes(pBoxes), m_strImagePath(strImagePath)
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
    if (m_board.pWorker->IsRunning()) {
        AskToStopRun(*m_board.pWorker, *m_pBoxes, this);
        return;
    }
    done(kResultOk);
}

void CFlashItDlg::End(COperationRecord& record, ESessionOutcome eOutcome, int nResult,
                      const std::string& strKept)
{
    record.Finish(eOutcome, *m_board.pSession, strKept);
    if (m_board.fnRecord)
        m_board.fnRecord(record.Result());
    done(nResult);
}

void CFlashItDlg::OnFlashIt()
{
    CBusyCursor busy;
    COperationRecord record("flash");
    CBoardResult& result = record.Result();
    result.strImage = m_strImagePath;
    result.strErase = "none";
    m_board.pSink->SetBar(EJobBar::Flash, m_progFlash);
    m_board.pSink->SetBar(EJobBar::Verify, m_progVerify);
    m_board.pSink->SetAfterStep([this] { UpdateData(); });

    // "Flash failed" is the session's failed step, shown as a box before the dialog ends.
    ESessionOutcome eOutcome = ESessionOutcome::LinkLost;
    RunDialogOperation(m_board, this, m_pBoxes, [&] { eOutcome = m_board.pSession->Program(*m_pHexFile); });
    result.nBytes = m_board.pSession->GetProgrammedBytes();
    if (eOutcome != ESessionOutcome::Done)
        return End(record, eOutcome, kResultCancel, m_board.pSink->GetErrors());
    UpdateData();
    if (m_bVerify != 1) {
        m_pBoxes->ShowMessage(this, kTextFlashed, "Info", EBoxIcon::Information);
        return End(record, eOutcome, kResultOk, "");
    }
    RunDialogOperation(m_board, this, m_pBoxes, [&] { eOutcome = m_board.pSession->Verify(*m_pHexFile); });
    if (eOutcome == ESessionOutcome::Done) {
        result.bVerified = true;
        m_pBoxes->ShowMessage(this, kTextFlashedAndVerified, "Info", EBoxIcon::Information);
        return End(record, eOutcome, kResultOk, "");
    }
    if (const CByteDifference* pDifference = m_board.pSession->GetVerifyMismatch()) {
        result.bDifference = true;
        result.dwFirstDifference = pDifference->dwAddress;
    }
    if (eOutcome != ESessionOutcome::Stopped)
        m_pBoxes->ShowMessage(this, m_board.pSession->GetVerifyFailedBoxText(), "ERROR", EBoxIcon::Warning);
    // A difference leaves the flasher program ready for the next command.
    End(record, eOutcome, eOutcome == ESessionOutcome::Refused ? kResultOk : kResultCancel,
        m_board.pSession->GetVerifyFailedLine());
}
