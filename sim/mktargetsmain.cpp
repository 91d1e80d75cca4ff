// kelvora-mktargets OUTDIR: writes our simulator target files and the sample image.
#include "sim/targetfiles.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: kelvora-mktargets OUTDIR\n"
                     "Writes prel1.hex, prel2.hex, main.h86, mainnex.h86, mainamd.h86 and sample.hex:\n"
                     "target programs for kelvora-boardsim (not for a real board) and a sample image.\n");
        return argc == 2 ? 0 : 2;
    }
    if (CTargetFiles::WriteStandardSet(argv[1]) != 0) {
        std::fprintf(stderr, "kelvora-mktargets: cannot write the files into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
