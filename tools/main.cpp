// kelvora-cli: the command-line flasher. See CCliApp and 'kelvora-cli --help'.
#include "tools/cliapp.h"

int main(int argc, char** argv)
{
    return CCliApp().Run(argc, argv);
}
