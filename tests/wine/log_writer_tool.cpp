// Writes diagnostic log lines in turns with another process, for the test of two
// writers interleaving: log_writer_tool NAME COUNT MY_EVENT OTHER_EVENT. For each
// line it waits for its own event, writes "NAME i" and signals the other's event.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "system/log.h"

int main(int argc, char **argv) {
    if (argc != 5)
        return 2;
    const std::string name = argv[1];
    const int count = atoi(argv[2]);
    HANDLE mine = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, argv[3]);
    HANDLE other = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[4]);
    if (!mine || !other)
        return 3;
    for (int i = 0; i < count; ++i) {
        if (WaitForSingleObject(mine, 60000) != WAIT_OBJECT_0)
            return 4;
        WriteLog(name + " " + std::to_string(i));
        SetEvent(other);
    }
    CloseHandle(mine);
    CloseHandle(other);
    return 0;
}
