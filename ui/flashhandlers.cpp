// The Delete sectors and Flash it buttons.
#include "ui/deletesectorsdlg.h"
#include "ui/flashitdlg.h"
#include "ui/kelvoradlg.h"
#include "ui/messagebox.h"

#include "hex/hexfile.h"

void CKelvoraDlg::OnDeleteSectors()
{
    if (!m_pSession)
        return;
    CDeleteSectorsDlg dlg(this, GetBoardAccess(), m_pBoxes);
    EndBoardDialog(dlg.DoModal() == CDeleteSectorsDlg::kResultCancel);
}

void CKelvoraDlg::OnFlash()
{
    if (!m_pHexFile) {
        m_pBoxes->ShowMessage(this, "Please select a valid hex file", "Error", EBoxIcon::Warning);
        return;
    }
    if (!m_pSession)
        return;
    CFlashItDlg dlg(this, GetBoardAccess(), m_pHexFile.get(), m_pBoxes, m_pHexFile->m_szFileName);
    EndBoardDialog(dlg.exec() == CFlashItDlg::kResultCancel);
}

void CKelvoraDlg::EndBoardDialog(bool bCancelled)
{
    if (!m_pSession->IsConnected() && !m_pSession->GetStopText().empty())
        return ReportStopped();
    if (bCancelled) {
        Log(m_pSession->GetErrorText());
        ReportLostConnection();
    }
}
