#include "ui/qtmessageboxes.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QTreeView>

namespace
{
constexpr int kSizeColumn = 1;
// About the widest size the dialog writes: just under 1024 of a unit.
constexpr qint64 kWidestSize = 1024 * 1024 - 6;
}   // namespace

void PrepareFileDialog(QFileDialog& dialog, const CFileDialogSpec& spec)
{
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(spec.bMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(QString::fromStdString(spec.strFilters).split(QStringLiteral(";;")));
    if (!spec.strDefaultSuffix.empty())
        dialog.setDefaultSuffix(QString::fromStdString(spec.strDefaultSuffix));
    if (!spec.strInitialName.empty())
        dialog.selectFile(QString::fromStdString(spec.strInitialName));
    // Qt's own dialog (the native one sizes itself): size, type and date columns as wide as their
    // texts, "1,023.44 KiB" not cut to "1,0...KiB", the name in the room left, and the dialog
    // wide enough for all of them.
    QTreeView* pDetails = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (pDetails == nullptr)
        return;
    QHeaderView* pHeader = pDetails->header();
    pHeader->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int nColumn = kSizeColumn; nColumn < pHeader->count(); ++nColumn)
        pHeader->setSectionResizeMode(nColumn, QHeaderView::ResizeToContents);
    const int nWiden =
        pDetails->fontMetrics().horizontalAdvance(QLocale::system().formattedDataSize(kWidestSize));
    dialog.resize(dialog.sizeHint().width() + 2 * nWiden, dialog.sizeHint().height());
}

void CQtMessageBoxes::ShowMessage(QWidget* pParent, const std::string& strText, const std::string& strTitle,
                                  EBoxIcon eIcon)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (eIcon == EBoxIcon::Information)
        icon = QMessageBox::Information;
    else if (eIcon == EBoxIcon::Warning)
        icon = QMessageBox::Warning;
    else if (eIcon == EBoxIcon::Question)
        icon = QMessageBox::Question;
    QMessageBox box(icon, QString::fromStdString(strTitle), QString::fromStdString(strText), QMessageBox::Ok,
                    pParent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool CQtMessageBoxes::ChooseOpenFile(QWidget* pParent, const CFileDialogSpec& spec, std::string* pstrPath)
{
    QFileDialog dialog(pParent);
    PrepareFileDialog(dialog, spec);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *pstrPath = dialog.selectedFiles().first().toStdString();
    return true;
}

bool CQtMessageBoxes::AskYesNo(QWidget* pParent, const std::string& strText, const std::string& strTitle)
{
    QMessageBox box(QMessageBox::Question, QString::fromStdString(strTitle), QString::fromStdString(strText),
                    QMessageBox::Yes | QMessageBox::No, pParent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool CQtMessageBoxes::ChooseFolder(QWidget* pParent, const std::string& strTitle,
                                   const std::string& strStartDir, std::string* pstrPath)
{
    const QString strDir = QFileDialog::getExistingDirectory(pParent, QString::fromStdString(strTitle),
                                                             QString::fromStdString(strStartDir));
    if (strDir.isEmpty())
        return false;
    *pstrPath = strDir.toStdString();
    return true;
}
