// Writes the two numbered settings records to the registry by turns, through the
// real store, until it is terminated: a test kills it at arbitrary moments and looks
// at what a write cut short leaves. It signals the event named on its command line
// once the first write is done.
#include <windows.h>

#include "scheduler/scheduler.h"
#include "tests/support/settings_record.h"

int main(int argc, char **argv) {
    CVespraDlg one(nullptr, FALSE, FALSE, FALSE), two(nullptr, FALSE, FALSE, FALSE);
    NumberedSettings(one, 1);
    NumberedSettings(two, 2);
    for (unsigned i = 0;; ++i) {
        if (!(i % 2 ? two : one).WriteRegistry())
            return 1;
        if (i == 0 && argc > 1) {
            if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1])) {
                SetEvent(ready);
                CloseHandle(ready);
            }
        }
    }
}
