// Hex file selection: the folder button, Reload and Properties.
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "hex/hexfile.h"
#include "ui/hexinfodlg.h"
#include "ui/kelvoradlg.h"
#include "ui/messagebox.h"

namespace
{
CFileDialogSpec HexFileDialogSpec()
{
    CFileDialogSpec spec;
    // "*.*" means every file on Windows; elsewhere the pattern is "*".
    spec.strFilters = "Intel Hex File (*.hex)(*.h86) (*.hex *.h86);;All Files (*.*) (*)";
    spec.strDefaultSuffix = "hex";
    spec.strInitialName = "*.hex; *.h86";
    spec.bMustExist = true;
    return spec;
}
}   // namespace

// Replaces the held image by the file at strPath: verify, then load. strShownName names the
// file in the "not valid" box and line.
static void LoadHexFile(CKelvoraDlg& dlg, const std::string& strPath, const std::string& strShownName)
{
    dlg.m_pHexFile.reset();
    dlg.m_pHexFile = std::make_unique<CHexFile>(strPath.c_str());

    dlg.Log("Verifying hexfile...please wait");
    if (dlg.m_pHexFile->Verify() != 0) {
        const std::string strText = strShownName + " is not a valid intel hex file";
        dlg.m_pBoxes->ShowMessage(&dlg, strText, "Error", EBoxIcon::None);
        dlg.Log(strText);
        dlg.m_pPropertiesButton->setEnabled(false);
        dlg.m_pReloadButton->setEnabled(false);
        dlg.m_pHexFile.reset();
        return;
    }

    dlg.Log("Loading hexfile...please wait");
    dlg.m_pFileNameEdit->setText(QString::fromStdString(strPath));
    if (dlg.m_pHexFile->Load() != 0) {
        dlg.Log(strPath + " cannot be loaded into memory");
        dlg.m_pPropertiesButton->setEnabled(false);
        dlg.m_pHexFile.reset();
        return;
    }
    dlg.m_pPropertiesButton->setEnabled(true);
    dlg.m_pReloadButton->setEnabled(true);
    dlg.Log(strPath + " successfully loaded");
}

void CKelvoraDlg::OnBrowse()
{
    std::string strPath;
    if (!m_pBoxes->ChooseOpenFile(this, HexFileDialogSpec(), &strPath))
        return;
    LoadHexFile(*this, strPath, QFileInfo(QString::fromStdString(strPath)).fileName().toStdString());
    UpdateData(true);
}

void CKelvoraDlg::OnReload()
{
    UpdateData(true);
    const std::string strPath = m_strFileName;
    LoadHexFile(*this, strPath, strPath);
}

void CKelvoraDlg::OnProperties()
{
    if (!m_pHexFile)
        return;
    CHexInfoDlg dlg(this, m_pHexFile.get());
    dlg.exec();
}
