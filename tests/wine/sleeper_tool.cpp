// A program that only waits: the Wine tests of the process walk copy it under the
// names they kill or spare. It signals the event named on its command line once it
// runs (its modules are loaded by then), then sleeps; it ends by itself with exit
// code 3 after a minute, so a terminated copy is told apart by its exit code 0.
#include <windows.h>

int main(int argc, char **argv) {
    if (argc > 1) {
        if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1])) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    Sleep(60000);
    return 3;
}
