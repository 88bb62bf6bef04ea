#include "system/pipe_channel.h"

const char kPipeChannelName[] = "\\\\.\\pipe\\Vespra";
// FA = FILE_ALL_ACCESS for the system. Interactive users get FILE_GENERIC_READ and
// FILE_GENERIC_WRITE without FILE_APPEND_DATA (0x12019b): on a pipe that bit is
// FILE_CREATE_PIPE_INSTANCE, with which a user could add an instance of their own
// for our agent to reach. Specific rights, so what is stored reads back as written.
const char kPipeChannelSddl[] = "D:P(A;;FA;;;SY)(A;;0x12019b;;;IU)";

const char *PipeClientRefusal(DWORD expectedProcessId, DWORD expectedSessionId,
                              const PipeClientIdentity &client) {
    if (expectedProcessId == 0)
        return "no client expected";
    if (client.remote)
        return "another machine";
    if (client.processKnown && client.processId != expectedProcessId)
        return "another process";
    if (client.sessionKnown && client.sessionId != expectedSessionId)
        return "another session";
    return nullptr;
}
