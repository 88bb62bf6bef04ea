// A small program that calls the service-control client, for the tests under Wine:
// copied as "vespra.exe" into a folder so that the installer it starts is the
// "vesprasi.exe" beside it. The one argument is the command number.
#include <cstdlib>

#include "system/platform.h"

int main(int argc, char **argv) {
    if (argc != 2)
        return 2;
    UtilServiceControl(atoi(argv[1]));
    return 0;
}
