#include "ui/imagefiles.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

CFileDialogSpec HexFileDialogSpec()
{
    CFileDialogSpec spec;
    // "*.*" means every file on Windows; elsewhere the pattern is "*".
    spec.strFilters = "Intel Hex File (*.hex *.h86);;All Files (*.*) (*)";
    spec.strDefaultSuffix = "hex";
    spec.strInitialName = "*.hex; *.h86";
    spec.bMustExist = true;
    return spec;
}

std::string DroppedImagePath(const QMimeData& mime)
{
    const QList<QUrl> urls = mime.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return std::string();
    const QString strPath = urls.front().toLocalFile();
    const QString strSuffix = QFileInfo(strPath).suffix();
    if (strSuffix.compare(QLatin1String("hex"), Qt::CaseInsensitive) != 0 &&
        strSuffix.compare(QLatin1String("h86"), Qt::CaseInsensitive) != 0)
        return std::string();
    return strPath.toStdString();
}

std::string StartImagePath(const QStringList& arguments)
{
    if (arguments.size() < 2 || arguments[1].isEmpty())
        return std::string();
    return QFileInfo(arguments[1]).absoluteFilePath().toStdString();
}
