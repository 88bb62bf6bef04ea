#include "session/pipe_channel.h"

const char kPipeChannelPrefix[] = "\\\\.\\pipe\\Vespra-";

std::string PipeChannelName(const std::string &randomBytes) {
    static const char hex[] = "0123456789abcdef";
    std::string name = kPipeChannelPrefix;
    for (unsigned char c : randomBytes) {
        name += hex[c >> 4];
        name += hex[c & 15];
    }
    return name;
}

bool IsPipeChannelName(const std::string &name) {
    const size_t prefix = sizeof kPipeChannelPrefix - 1;
    if (name.size() != prefix + 2 * kPipeNameRandomBytes || name.compare(0, prefix, kPipeChannelPrefix) != 0)
        return false;
    for (size_t i = prefix; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

const char *PipeServerRefusal(const PipeServerFacts &server) {
    if (!server.canAsk)
        return nullptr;
    if (!server.sessionKnown)
        return "server unknown";
    if (server.sessionId == 0 && (!server.userKnown || server.userIsSystem))
        return nullptr;
    if (server.servicesSessionKnown && server.sessionId == server.servicesSessionId &&
        server.userIsServices)
        return nullptr;
    return server.sessionId == 0 ? "not SYSTEM" : "not in session 0";
}
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
