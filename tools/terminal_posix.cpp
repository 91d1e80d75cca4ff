#include "tools/terminal.h"

#include <unistd.h>

bool IsEscapeTerminal(FILE* pStream)
{
    return isatty(fileno(pStream)) != 0;
}
