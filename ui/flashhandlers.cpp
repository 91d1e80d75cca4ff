// The Delete sectors and Flash it buttons.
#include "ui/deletesectorsdlg.h"
#include "ui/flashitdlg.h"
#include "ui/kelvoradlg.h"
#include "ui/messagebox.h"

#include "link/targetlink.h"

void CKelvoraDlg::OnDeleteSectors()
{
    if (!m_pLink)
        return;
    CDeleteSectorsDlg dlg(this, m_pLink.get(), m_pBoxes);
    if (dlg.DoModal() == CDeleteSectorsDlg::kResultCancel) {
        Log(m_pLink->GetErrorText());
        ReportLostConnection();
    }
}

void CKelvoraDlg::OnFlash()
{
    if (!m_pHexFile) {
        m_pBoxes->ShowMessage(this, "Please select a valid hex file", "Error", EBoxIcon::Warning);
        return;
    }
    if (!m_pLink)
        return;
    CFlashItDlg dlg(this, m_pLink.get(), m_pHexFile.get(), m_pBoxes);
    if (dlg.exec() == CFlashItDlg::kResultCancel) {
        Log(m_pLink->GetErrorText());
        ReportLostConnection();
    }
}
