// The application object: runs the main window until it ends, then the program ends.
#pragma once

#include <QApplication>

class CKelvoraApp : public QApplication
{
    Q_OBJECT

public:
    CKelvoraApp(int& argc, char** argv);
    // Runs the main window modally, with the image named on the command line; false, so that the
    // program ends afterwards.
    bool InitInstance();
};
