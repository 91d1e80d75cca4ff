// Hex file selection: the folder button, Reload and Properties.
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "hex/hexfile.h"
#include "job/imagecheck.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "ui/hexinfodlg.h"
#include "ui/imagefiles.h"
#include "ui/kelvoradlg.h"
#include "ui/messagebox.h"

void CKelvoraDlg::LoadHexFile(const std::string& strPath, const std::string& strShownName)
{
    m_pHexFile.reset();
    m_pHexFile = std::make_unique<CHexFile>(strPath.c_str());
    CLineSink sink([this](const std::string& strLine) { Log(strLine); });
    const EImageLoad eLoad = LoadHexImage(*m_pHexFile, &sink);
    if (eLoad == EImageLoad::NotValid) {
        const std::string strText = NotValidHexText(strShownName);
        m_pBoxes->ShowMessage(this, strText, "Error", EBoxIcon::None);
        Log(strText);
        m_pPropertiesButton->setEnabled(false);
        m_pReloadButton->setEnabled(false);
        m_pHexFile.reset();
        return;
    }
    m_pFileNameEdit->setText(QString::fromStdString(strPath));
    if (eLoad == EImageLoad::NotLoaded) {
        Log(NotLoadedHexText(strPath));
        m_pPropertiesButton->setEnabled(false);
        m_pHexFile.reset();
        return;
    }
    m_pPropertiesButton->setEnabled(true);
    m_pReloadButton->setEnabled(true);
    Log(LoadedHexText(strPath));
}

void CKelvoraDlg::OnBrowse()
{
    std::string strPath;
    if (m_pBoxes->ChooseOpenFile(this, HexFileDialogSpec(), &strPath))
        OpenHexFile(strPath);
}

void CKelvoraDlg::OpenHexFile(const std::string& strPath)
{
    LoadHexFile(strPath, QFileInfo(QString::fromStdString(strPath)).fileName().toStdString());
    UpdateData(true);
}

void CKelvoraDlg::OnReload()
{
    UpdateData(true);
    const std::string strPath = m_strFileName;
    LoadHexFile(strPath, strPath);
}

void CKelvoraDlg::OnProperties()
{
    if (!m_pHexFile)
        return;
    CHexInfoDlg dlg(this, m_pHexFile.get());
    dlg.exec();
}
