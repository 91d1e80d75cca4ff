// kelvora: the window that flashes a C167 board over RS-232. Takes no arguments.
#include "ui/kelvoraapp.h"

int main(int argc, char** argv)
{
    CKelvoraApp app(argc, argv);
    app.InitInstance();
    return 0;
}
