#include "ui/hexinfodlg.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "hex/hexdumpmodel.h"
#include "hex/hexfile.h"
#include "res/resource.h"
#include "res/templates.h"
#include "ui/dialogbuilder.h"
#include "ui/hexdumpview.h"

CHexInfoDlg::CHexInfoDlg(QWidget* pParent, CHexFile* pHexFile)
    : QDialog(pParent), m_pHexFile(pHexFile), m_pDumpView(nullptr)
{
    CDialogBuilder::Build(HexInfoDialogTemplate(), this);
    // OK is the default button: a click on it and Return close the dialog, as Escape does.
    connect(FindControl<QPushButton>(this, IDOK), &QPushButton::clicked, this, &QDialog::accept);
    OnInitDialog();
}

void CHexInfoDlg::OnInitDialog()
{
    const unsigned nStart = m_pHexFile->GetStartAddress();
    FindControl<QLineEdit>(this, IDC_HEXINFO_START)->setText(QString::asprintf("0x%x", nStart));
    FindControl<QLineEdit>(this, IDC_HEXINFO_END)
        ->setText(QString::asprintf("0x%x", static_cast<unsigned>(m_pHexFile->GetEndAddress())));
    FindControl<QLineEdit>(this, IDC_HEXINFO_COUNT)
        ->setText(QString::asprintf("%d", m_pHexFile->m_nByteCount));

    // The dump field of the template becomes a list that makes only the lines in sight: the
    // whole text of a large image would be tens of megabytes.
    QPlainTextEdit* pField = FindControl<QPlainTextEdit>(this, IDC_HEXINFO_DUMP);
    m_pDumpModel = std::make_unique<CHexDumpModel>(m_pHexFile);
    m_pDumpView = new CHexDumpView(this);
    m_pDumpView->setObjectName(pField->objectName());
    m_pDumpView->setGeometry(pField->geometry());
    m_pDumpView->setFont(pField->font());
    m_pDumpView->SetDumpModel(m_pDumpModel.get());
    QWidget::setTabOrder(pField, m_pDumpView);
    delete pField;
}
