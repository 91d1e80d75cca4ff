#include "ui/qtmessageboxes.h"

#include <QFileDialog>
#include <QMessageBox>

void CQtMessageBoxes::ShowMessage(QWidget* pParent, const std::string& strText, const std::string& strTitle,
                                  EBoxIcon eIcon)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (eIcon == EBoxIcon::Information)
        icon = QMessageBox::Information;
    else if (eIcon == EBoxIcon::Warning)
        icon = QMessageBox::Warning;
    QMessageBox box(icon, QString::fromStdString(strTitle), QString::fromStdString(strText), QMessageBox::Ok,
                    pParent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool CQtMessageBoxes::ChooseOpenFile(QWidget* pParent, const CFileDialogSpec& spec, std::string* pstrPath)
{
    QFileDialog dialog(pParent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(spec.bMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(QString::fromStdString(spec.strFilters).split(QStringLiteral(";;")));
    if (!spec.strDefaultSuffix.empty())
        dialog.setDefaultSuffix(QString::fromStdString(spec.strDefaultSuffix));
    if (!spec.strInitialName.empty())
        dialog.selectFile(QString::fromStdString(spec.strInitialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *pstrPath = dialog.selectedFiles().first().toStdString();
    return true;
}
