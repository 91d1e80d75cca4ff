// kelvora: the window that flashes a C167 board over RS-232.
// Usage: kelvora [IMAGE]   (IMAGE: an Intel hex file, chosen at start as through the folder button)
#include "ui/kelvoraapp.h"

int main(int argc, char** argv)
{
    CKelvoraApp app(argc, argv);
    app.InitInstance();
    return 0;
}
