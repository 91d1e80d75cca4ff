#include "ui/windowchoices.h"

#include <QSettings>

namespace
{
struct CTextKey
{
    const char* pszKey;
    std::string CWindowChoices::*pMember;
};
const CTextKey kTextKeys[] = {
    {"port", &CWindowChoices::strPort},
    {"speed", &CWindowChoices::strSpeed},
    {"board", &CWindowChoices::strBoard},
    {"flashChip", &CWindowChoices::strFlashChip},
    {"image", &CWindowChoices::strImage},
    {"loaderDir", &CWindowChoices::strLoaderDir},
    {"recordFile", &CWindowChoices::strRecordFile},
};
const char kGeometryKey[] = "geometry";
const char kFastTransferKey[] = "fastTransfer";
}   // namespace

CWindowChoices ReadWindowChoices()
{
    const QSettings settings;
    CWindowChoices choices;
    for (const CTextKey& key : kTextKeys)
        choices.*key.pMember = settings.value(QLatin1String(key.pszKey)).toString().toStdString();
    choices.geometry = settings.value(QLatin1String(kGeometryKey)).toByteArray();
    choices.bFastTransfer = settings.value(QLatin1String(kFastTransferKey), false).toBool();
    return choices;
}

void WriteWindowChoices(const CWindowChoices& choices)
{
    QSettings settings;
    for (const CTextKey& key : kTextKeys)
        settings.setValue(QLatin1String(key.pszKey), QString::fromStdString(choices.*key.pMember));
    settings.setValue(QLatin1String(kGeometryKey), choices.geometry);
    settings.setValue(QLatin1String(kFastTransferKey), choices.bFastTransfer);
}
