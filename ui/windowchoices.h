// The operator's choices kept between runs of the window, in the application's QSettings.
#pragma once

#include <QByteArray>

#include <string>

struct CWindowChoices
{
    std::string strPort;   // as the Port list shows it
    std::string strSpeed;
    std::string strBoard;
    std::string strFlashChip;
    std::string strImage;         // full path of the last image loaded
    std::string strLoaderDir;     // the folder of the loader files the operator chose; empty for none
    std::string strRecordFile;    // where each flash and erase appends its record; empty for none
    bool bFastTransfer = false;   // send ahead of echoes
    QByteArray geometry;          // QWidget::saveGeometry
};

// What was written last; empty fields for what never was.
CWindowChoices ReadWindowChoices();
void WriteWindowChoices(const CWindowChoices& choices);
